// The URI coding functions: the kept sets of each, UTF-8 with surrogate pairs, escapes that decode
// to reserved characters, "Invalid URI string" and the undefined result for invalid UTF-8.
#include "native_call_support.h"

using namespace quill;
using namespace quill::test;

namespace {

class UriCoding : public NativeTest {
  protected:
    std::u16string coded(const char* function, std::u16string_view text) {
        ScriptValue v = call(function, {s(text)});
        EXPECT_EQ(ok, 1) << function << ": " << errorText();
        EXPECT_EQ(v.tag, kTagString);
        return v.tag == kTagString ? std::u16string(stringView(v)) : u"<not a string>";
    }
    std::string failure(const char* function, std::u16string_view text) {
        call(function, {s(text)});
        return ok ? "<no error>" : errorText();
    }
};

TEST_F(UriCoding, EncodersKeepTheirSets) {
    EXPECT_EQ(coded("encodeURI", u"a b/c"), u"a%20b/c");
    EXPECT_EQ(coded("encodeURIComponent", u"a b/c"), u"a%20b%2Fc");
    EXPECT_EQ(coded("encodeURI", u";/?:@&=+$,#"), u";/?:@&=+$,#");
    EXPECT_EQ(coded("encodeURIComponent", u";/?:@&=+$,#"), u"%3B%2F%3F%3A%40%26%3D%2B%24%2C%23");
    const char16_t* unescaped = u"azAZ09-_.!~*'()";
    EXPECT_EQ(coded("encodeURI", unescaped), unescaped);
    EXPECT_EQ(coded("encodeURIComponent", unescaped), unescaped);
    EXPECT_EQ(coded("encodeURI", u"%\"<>\\^`{|}[]"), u"%25%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D");
    EXPECT_EQ(coded("encodeURI", u"\u00e9\u20AC\U0001F600"), u"%C3%A9%E2%82%AC%F0%9F%98%80");
    EXPECT_EQ(coded("encodeURI", u"\uFFFF\u0080\u07FF\u0800"), u"%EF%BF%BF%C2%80%DF%BF%E0%A0%80");
    EXPECT_EQ(coded("encodeURIComponent", std::u16string(1, u'\0')), u"%00");
    EXPECT_EQ(coded("encodeURI", u""), u"");
    EXPECT_EQ(str(call("encodeURI", {i(12)})), "12");
    EXPECT_EQ(call("encodeURI").tag, kTagUndefined);
    EXPECT_EQ(call("encodeURIComponent").tag, kTagUndefined);

    // Lone surrogates, written as code units (a literal cannot hold them).
    const std::u16string lone[] = {{char16_t(0xD800)},
                                   {char16_t(0xDC00)},
                                   {u'a', char16_t(0xD800), u'b'},
                                   {u'x', char16_t(0xD83D)},
                                   {char16_t(0xDE00), char16_t(0xD83D)}};
    for (const std::u16string& bad : lone) {
        EXPECT_EQ(failure("encodeURI", bad), "Runtime error: Invalid URI string");
        EXPECT_EQ(failure("encodeURIComponent", bad), "Runtime error: Invalid URI string");
    }
}

TEST_F(UriCoding, DecodersKeepReservedEscapesAsWritten) {
    EXPECT_EQ(coded("decodeURI", u"%2F"), u"%2F");
    EXPECT_EQ(coded("decodeURI", u"%2f%3b%23"), u"%2f%3b%23") << "kept with their case";
    EXPECT_EQ(coded("decodeURIComponent", u"%2F"), u"/");
    EXPECT_EQ(coded("decodeURI", u"%41%20b"), u"A b");
    EXPECT_EQ(coded("decodeURIComponent", u"%E2%82%AC"), u"\u20AC");
    EXPECT_EQ(coded("decodeURI", u"%e2%82%ac"), u"\u20AC");
    EXPECT_EQ(coded("decodeURI", u"%F0%9F%98%80!"), u"\U0001F600!");
    EXPECT_EQ(coded("decodeURI", u"%F4%8F%BF%BF"), u"\U0010FFFF");
    EXPECT_EQ(coded("decodeURI", u"%00"), std::u16string(1, u'\0'));
    EXPECT_EQ(coded("decodeURI", u"\u263A plain"), u"\u263A plain");
    EXPECT_EQ(call("decodeURI").tag, kTagUndefined);
    EXPECT_EQ(call("decodeURIComponent").tag, kTagUndefined);
}

TEST_F(UriCoding, MalformedEscapesAreErrorsAndInvalidUtf8IsUndefined) {
    for (const char16_t* bad :
         {u"%", u"%4", u"a%G1", u"%80", u"%BF", u"%FE", u"%FF%80", u"%E2%82", u"%E2%82%A",
          u"%E2%82A", u"%E2%41%AC", u"%E2%C2%AC", u"%F4%90%80%80", u"%F7%BF%BF%BF",
          u"%F8%88%80%80%80", u"%FD%BF%BF%BF%BF%BF"}) {
        EXPECT_EQ(failure("decodeURI", bad), "Runtime error: Invalid URI string") << str(s(bad));
        EXPECT_EQ(failure("decodeURIComponent", bad), "Runtime error: Invalid URI string");
    }
    for (const char16_t* invalid :
         {u"%C0%80", u"%C1%BF", u"%E0%80%80", u"%E0%9F%BF", u"%F0%8F%BF%BF", u"%ED%A0%80",
          u"%ED%BF%BF", u"%F8%80%80%80%80", u"%FC%80%80%80%80%80", u"ok%C0%80%"}) {
        EXPECT_EQ(call("decodeURIComponent", {s(invalid)}).tag, kTagUndefined) << str(s(invalid));
        EXPECT_EQ(ok, 1);
    }
}

TEST_F(UriCoding, EveryCharacterSurvivesTheRoundTrip) {
    std::u16string all;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
    }
    for (uint32_t cp : {0x10000u, 0x1F600u, 0x10FFFFu}) {
        all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    EXPECT_EQ(coded("decodeURIComponent", coded("encodeURIComponent", all)), all);
    EXPECT_EQ(coded("decodeURI", coded("encodeURI", all)), all);
}

}  // namespace
