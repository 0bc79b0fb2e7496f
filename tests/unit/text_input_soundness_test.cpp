// Hostile text for the date parser, unescape and the URI coders: thousands of random and mutated
// inputs and a few 10 MB ones. Run under the sanitizers, this catches reads past the end, and
// every input must finish with a defined result or a clean "Invalid URI string".
#include <cmath>
#include <iterator>
#include <random>
#include <string>

#include "builtins/date_calendar.h"
#include "builtins/date_parse.h"
#include "native_call_support.h"

using namespace quill;
using namespace quill::test;

namespace {

class TextInputSoundness : public NativeTest {
  protected:
    std::mt19937 rng{20010709};

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }

    // Text drawn mostly from the characters the parsers care about.
    std::string randomText(size_t maxLength) {
        static const std::string kAlphabet =
            "0123456789%%%%uU+-/:,() ()aAeEfFxXzZGMTpdstJulMonPDTam\x80\xC3\xE2\xF0\xFF\t";
        std::string text(below(maxLength + 1), ' ');
        for (char& c : text)
            c = below(8) == 0 ? char(below(256)) : kAlphabet[below(kAlphabet.size())];
        return text;
    }
    std::u16string randomWide(size_t maxLength) {
        std::u16string text(below(maxLength + 1), u' ');
        for (char16_t& c : text) {
            switch (below(4)) {
                case 0:
                    c = static_cast<char16_t>(0xD800 + below(0x800));
                    break;  // surrogates
                case 1:
                    c = static_cast<char16_t>(below(0x10000));
                    break;
                default:
                    c = static_cast<char16_t>(u"%0123456789ABCDEFabcdefu"[below(24)]);
                    break;
            }
        }
        return text;
    }
    std::string mutate(std::string text) {
        for (size_t k = below(4) + 1; k-- > 0;) {
            size_t at = text.empty() ? 0 : below(text.size() + 1);
            switch (below(4)) {
                case 0:
                    if (at < text.size()) text.erase(at, 1);
                    break;
                case 1:
                    text.insert(at, 1, "%(-+:/)09"[below(9)]);
                    break;
                case 2:
                    if (at < text.size()) text[at] = char(below(256));
                    break;
                default:
                    text.resize(at);
                    break;  // cut short
            }
        }
        return text;
    }

    // Calls a text function and checks its outcome is one of the defined ones.
    void feed(const char* function, const ScriptValue& text) {
        ScriptValue v = call(function, {text});
        if (!ok) {
            EXPECT_STREQ(engine->errorBuffer, "Runtime error: Invalid URI string") << function;
            return;
        }
        EXPECT_TRUE(v.tag == kTagString || v.tag == kTagUndefined) << function;
        if (v.tag == kTagString) {
            EXPECT_LE(v.str->length, text.str->length) << "decoding never lengthens";
        }
    }
    void feedAll(const std::string& bytes) {
        double t = 0;
        if (date::parseDateText(bytes, 480, &t)) {
            EXPECT_FALSE(std::isinf(t)) << bytes;  // NaN (impossible year) or finite
        }
        ScriptValue text;
        newStringFromAnsi(engine, &text, bytes.data(), bytes.size());
        RootedValues keep(engine, &text, 1);
        ScriptValue parsed = method(getGlobal(engine, "Date"), "parse", {text});
        ASSERT_EQ(ok, 1);
        ASSERT_EQ(parsed.tag, kTagInteger);
        EXPECT_LE(std::abs(double(parsed.i)), date::kMaxTimeValue);
        feed("unescape", text);
        feed("decodeURI", text);
        feed("decodeURIComponent", text);
    }
};

TEST_F(TextInputSoundness, RandomAndMutatedText) {
    const std::string samples[] = {
        "Mon, 09 Jul 2001 08:30:15 GMT+05:30 (India (IST))",
        "7/9/2001 10:15 PM PDT",
        "%u263A%41%zz%",
        "%E2%82%AC%F0%9F%98%80%2F",
        "12/31/69 23:59:59 -0800",
        "%C0%80%ED%A0%80",
    };
    for (int round = 0; round < 3000; ++round) {
        feedAll(randomText(64));
        feedAll(mutate(samples[below(std::size(samples))]));
    }
    for (int round = 0; round < 2000; ++round) {
        ScriptValue wide = s(randomWide(32));
        RootedValues keep(engine, &wide, 1);
        feed("unescape", wide);
        feed("decodeURIComponent", wide);
        static constexpr const char* kPairs[][2] = {{"encodeURI", "decodeURI"},
                                                    {"encodeURIComponent", "decodeURIComponent"},
                                                    {"escape", "unescape"}};
        for (const auto& [encoder, decoder] : kPairs) {
            ScriptValue v = call(encoder, {wide});
            if (!ok) {
                EXPECT_STREQ(engine->errorBuffer, "Runtime error: Invalid URI string");
            } else {
                // Whatever an encoder accepts, its decoder gives back.
                ScriptValue back = call(decoder, {v});
                ASSERT_EQ(ok, 1) << decoder;
                EXPECT_TRUE(stringView(back) == stringView(wide)) << decoder;
            }
        }
    }
}

TEST_F(TextInputSoundness, TenMegabyteInputs) {
    constexpr size_t kSize = 10 * 1024 * 1024;
    auto repeat = [&](std::string_view unit) {
        std::string text(unit);
        while (text.size() < kSize) text += text;
        return text;
    };
    // Unbalanced comments, endless digits, endless words, a date at the very end.
    for (const std::string& text :
         {repeat("("), repeat(")"), repeat("9"), repeat("Jul "), repeat(" ") + "Jul 9 2001 GMT",
          repeat("(") + "Jul 9 2001", repeat("+1"), repeat("12:")}) {
        double t = 0;
        bool parsed = date::parseDateText(text, 0, &t);
        EXPECT_EQ(parsed, text.back() == 'T') << text.substr(0, 8);
        if (parsed) {
            EXPECT_EQ(t, 994636800000.0);
        }
    }
    for (const std::string& text :
         {repeat("%u263"), repeat("%"), repeat("%41"), repeat("%E2%82")}) {
        ScriptValue v = newStringFromAscii(engine, text);
        RootedValues keep(engine, &v, 1);
        ScriptValue u = call("unescape", {v});
        ASSERT_EQ(u.tag, kTagString);
        for (const char* decoder : {"decodeURI", "decodeURIComponent"}) {
            ScriptValue r = call(decoder, {v});
            if (text[1] == '4') {
                ASSERT_EQ(ok, 1);
                EXPECT_EQ(r.str->length * 3, text.size());
            } else {
                EXPECT_EQ(ok, 0) << "truncated escapes are errors";
            }
        }
    }
    // Encoding grows text ninefold at most.
    ScriptValue big = s(std::u16string(kSize / 10, u'\u20AC'));
    RootedValues keep(engine, &big, 1);
    ScriptValue encoded = call("encodeURIComponent", {big});
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(encoded.str->length, kSize / 10 * 9);
}

}  // namespace
