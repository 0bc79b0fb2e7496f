// The String class from native code: the argument rules of every method (positions only from
// integer values), boundaries, the class-level members, `new String`, case mapping, the HTML
// methods on long text, and conversions that run scripts which change the string under way.
#include <cmath>

#include "builtins/string_support.h"
#include "text_builtins_fixture.h"

using namespace quill;
using namespace quill::test;

namespace {

class Strings : public TextBuiltinsTest {};

TEST_F(Strings, CharAtAndCharCodeAtTakeOnlyIntegerPositions) {
    ScriptValue abc = s("abc");
    EXPECT_EQ(text(abc, "charAt", {d(1.0)}), "");
    EXPECT_EQ(text(abc, "charAt", {i(1)}), "b");
    EXPECT_EQ(text(abc, "charAt", {i(-1)}), "");
    EXPECT_EQ(text(abc, "charAt", {i(3)}), "");
    EXPECT_EQ(text(abc, "charAt", {s("1")}), "");
    EXPECT_EQ(text(abc, "charAt"), "");
    EXPECT_EQ(text(abc, "charAt", {i(INT64_MIN)}), "");

    EXPECT_EQ(method(abc, "charCodeAt").i, 97);
    EXPECT_EQ(method(abc, "charCodeAt", {i(2)}).i, 99);
    EXPECT_EQ(method(abc, "charCodeAt", {i(3)}).tag, kTagNaN);
    EXPECT_EQ(method(abc, "charCodeAt", {i(-1)}).tag, kTagNaN);
    EXPECT_EQ(method(abc, "charCodeAt", {d(0.0)}).tag, kTagNaN);
    EXPECT_EQ(method(s(""), "charCodeAt").tag, kTagNaN);
    EXPECT_EQ(method(s("\xE2\x82\xAC"), "charCodeAt", {i(0)}).i, 0x20AC);
}

TEST_F(Strings, IndexOfAndLastIndexOf) {
    EXPECT_EQ(method(s("abcabc"), "indexOf", {s("c"), i(3)}).i, 5);
    EXPECT_EQ(method(s("abc"), "indexOf", {s("")}).i, 0);
    EXPECT_EQ(method(s("abc"), "indexOf", {s(""), i(3)}).i, 3);
    EXPECT_EQ(method(s("abc"), "indexOf", {s(""), i(4)}).i, -1);
    EXPECT_EQ(method(s("abc"), "indexOf", {s("c"), i(-5)}).i, 2) << "a negative start is 0";
    EXPECT_EQ(method(s("abc"), "indexOf", {s("c"), d(3.0)}).i, 2) << "a double start is ignored";
    EXPECT_EQ(method(s("abc"), "indexOf", {s("bcd")}).i, -1);
    EXPECT_EQ(method(s("abc"), "indexOf", {s("c"), i(INT64_MAX)}).i, -1);
    // The text is converted: numbers and undefined are searched for as their text.
    EXPECT_EQ(method(s("a12b"), "indexOf", {i(12)}).i, 1);
    EXPECT_EQ(method(s("xundefined"), "indexOf").i, 1);

    EXPECT_EQ(method(s("abc"), "lastIndexOf", {s("c")}).i, 2);
    EXPECT_EQ(method(s("abcabc"), "lastIndexOf", {s("abc")}).i, 3);
    EXPECT_EQ(method(s("abcabc"), "lastIndexOf", {s("abc"), i(2)}).i, 0);
    EXPECT_EQ(method(s("abcabc"), "lastIndexOf", {s("abc"), i(99)}).i, 3);
    EXPECT_EQ(method(s("abcabc"), "lastIndexOf", {s("a"), i(-1)}).i, -1);
    EXPECT_EQ(method(s("ab"), "lastIndexOf", {s("abc")}).i, -1);
    EXPECT_EQ(method(s("abc"), "lastIndexOf", {s("")}).i, 3);
}

TEST_F(Strings, SliceSubstrAndSubstringBoundaries) {
    ScriptValue v = s("abcdef");
    EXPECT_EQ(text(v, "slice", {i(-2)}), "ef");
    EXPECT_EQ(text(v, "slice", {i(1), i(-1)}), "bcde");
    EXPECT_EQ(text(v, "slice", {i(-99), i(2)}), "ab");
    EXPECT_EQ(text(v, "slice", {i(4), i(2)}), "");
    EXPECT_EQ(text(v, "slice", {i(99)}), "");
    EXPECT_EQ(text(v, "slice", {i(2), d(4.0)}), "cdef") << "a double end means the length";
    EXPECT_EQ(text(v, "slice", {d(2.0)}), "");
    EXPECT_EQ(text(v, "slice"), "");

    EXPECT_EQ(text(v, "substring", {i(4), i(1)}), "") << "bounds are not swapped";
    EXPECT_EQ(text(v, "substring", {i(1), i(4)}), "bcd");
    EXPECT_EQ(text(v, "substring", {i(-3), i(2)}), "ab");
    EXPECT_EQ(text(v, "substring", {i(2), i(99)}), "cdef");
    EXPECT_EQ(text(v, "substring", {i(2), i(-1)}), "");
    EXPECT_EQ(text(v, "substring", {i(9)}), "");
    EXPECT_EQ(text(v, "substring", {s("1")}), "");

    EXPECT_EQ(text(v, "substr", {i(-3), i(2)}), "de");
    EXPECT_EQ(text(v, "substr", {i(2)}), "cdef");
    EXPECT_EQ(text(v, "substr", {i(2), i(-1)}), "");
    EXPECT_EQ(text(v, "substr", {i(4), i(INT64_MAX)}), "ef");
    EXPECT_EQ(text(v, "substr", {i(99), i(1)}), "");
    EXPECT_EQ(text(v, "substr", {i(-99), i(1)}), "a");
    EXPECT_EQ(text(v, "substr", {d(1.0), i(1)}), "");
}

TEST_F(Strings, SplitWithStringsAndLimits) {
    EXPECT_EQ(elements(method(s("a,b,"), "split", {s(",")})), (Texts{"a", "b", ""}));
    EXPECT_EQ(elements(method(s("abc"), "split", {s("")})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("a,b,c"), "split", {s(","), i(2)})), (Texts{"a", "b"}));
    EXPECT_EQ(elements(method(s("a,b,c"), "split", {s(","), i(3)})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("a,b,c"), "split", {s(","), i(0)})), Texts{});
    EXPECT_EQ(elements(method(s("a,b,c"), "split", {s(","), i(-1)})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("a,b,c"), "split", {s(","), d(1.0)})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("abc"), "split", {s(""), i(2)})), (Texts{"a", "b"}));
    EXPECT_EQ(elements(method(s(""), "split", {s("")})), Texts{});
    EXPECT_EQ(elements(method(s(""), "split", {s(",")})), Texts{""});
    EXPECT_EQ(elements(method(s("a<>b<><>"), "split", {s("<>")})), (Texts{"a", "b", "", ""}));
    // No separator, or one of another type: the whole string.
    EXPECT_EQ(elements(method(s("a,b"), "split")), Texts{"a,b"});
    EXPECT_EQ(elements(method(s("a1b"), "split", {i(1)})), Texts{"a1b"});
    // The pieces are plain arrays made by the method.
    EXPECT_EQ(method(s("a,b"), "split", {s(",")}).arr->props, nullptr);
}

TEST_F(Strings, ReplaceWithStrings) {
    EXPECT_EQ(text(s("hello"), "replace", {s("l"), s("L")}), "heLlo");
    EXPECT_EQ(text(s("hello"), "replace", {s("z"), s("L")}), "hello");
    EXPECT_EQ(text(s("hello"), "replace", {s("l"), i(1)}), "");
    EXPECT_EQ(text(s("hello"), "replace", {s("l")}), "");
    EXPECT_EQ(text(s("hello"), "replace", {i(1), s("x")}), "");
    EXPECT_EQ(text(s("hello"), "replace", {s(""), s(">")}), ">hello");
    EXPECT_EQ(text(s("a$b"), "replace", {s("$"), s("$&$$")}), "a$&$$b") << "no substitutions";
    ScriptValue same = s("hello");
    EXPECT_EQ(method(same, "replace", {s("z"), s("L")}).str, same.str);
}

TEST_F(Strings, ConcatConvertsEveryArgument) {
    EXPECT_EQ(text(s("a"), "concat", {i(1), d(0.5), makeNull(), makeBoolean(true), s("z")}),
              "a10.5undefinedtruez");
    EXPECT_EQ(text(s("a"), "concat"), "a");
}

TEST_F(Strings, FromCharCodeReadsEachArgumentByItsType) {
    ScriptValue cls = global("String");
    EXPECT_EQ(text(cls, "fromCharCode", {i(72), s("105")}), "Hi");
    EXPECT_EQ(text(s("any"), "fromCharCode", {i(72), i(0x10069)}), "Hi") << "low 16 bits";
    EXPECT_EQ(text(cls, "fromCharCode", {d(72.9), d(-65536.0 + 105)}), "Hi");
    EXPECT_EQ(text(cls, "fromCharCode", {s("  +72xyz"), s("0105")}), "Hi");
    ScriptValue v = method(cls, "fromCharCode", {s("abc"), makeNaN(), makeNull(), d(INFINITY)});
    ASSERT_EQ(v.tag, kTagString);
    ASSERT_EQ(v.str->length, 4u);
    for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(v.str->chars[k], 0) << k;
    // The string form stops after 20 characters and saturates like the C library.
    v = method(cls, "fromCharCode", {s("00000000000000000000065"), s("99999999999999"), s("-1")});
    ASSERT_EQ(v.str->length, 3u);
    EXPECT_EQ(v.str->chars[0], 0);
    EXPECT_EQ(v.str->chars[1], 0xFFFF);  // 2^31 - 1, low 16 bits
    EXPECT_EQ(v.str->chars[2], 0xFFFF);
    EXPECT_EQ(text(cls, "fromCharCode"), "");
}

TEST_F(Strings, TheClassValueConvertsConstructsAndAnswersItsOwnMembers) {
    ScriptValue cls = global("String");
    EXPECT_EQ(text(cls, "toString"), "[Object String]");
    EXPECT_EQ(method(cls, "valueOf").host, cls.host);
    EXPECT_EQ(str(toString(engine, cls)), "[Object String]");
    // Methods that need a string are not answered on the class.
    method(cls, "charAt", {i(0)});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), "Warning: unknown method \"charAt\"");

    EXPECT_EQ(str(call(cls)), "");
    EXPECT_EQ(str(call(cls, {i(42)})), "42");
    EXPECT_EQ(str(call(cls, {makeNull()})), "undefined");

    ScriptValue original = s("abc");
    ScriptValue made = construct("String", {original});
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(made.tag, kTagString);
    EXPECT_EQ(str(made), "abc");
    EXPECT_NE(made.str, original.str) << "a copy, so that its properties stay its own";
    ASSERT_NE(made.str->props, nullptr);
    EXPECT_EQ(objectPrototype(engine, made.str->props), cls.host->cls->prototype);
    setProperty(engine, made, intern(engine, "tag"), i(7));
    EXPECT_EQ(property(made, "tag").i, 7);
    EXPECT_TRUE(property(original, "tag").isUndefined());
    EXPECT_EQ(str(construct("String")), "");
    EXPECT_EQ(str(construct("String", {d(2.5)})), "2.5");

    EXPECT_EQ(property(s("abcd"), "length").i, 4);
    EXPECT_EQ(property(s(""), "length").i, 0);
    ScriptValue v = s("abc");
    setProperty(engine, v, intern(engine, "length"), i(1));
    EXPECT_EQ(property(v, "length").i, 3) << "writing length changes nothing";
    EXPECT_EQ(property(cls, "length").i, 1);
    EXPECT_EQ(text(v, "toString"), "abc");
    EXPECT_EQ(method(v, "valueOf").str, v.str);
}

TEST_F(Strings, CaseMappingCoversAllOfUnicodeUnitByUnit) {
    EXPECT_EQ(text(s("\xC3\xA9"), "toUpperCase"), "\xC3\x89");  // é -> É
    // ΣΑΣ -> σασ: every sigma becomes the same small letter.
    EXPECT_EQ(text(s("\xCE\xA3\xCE\x91\xCE\xA3"), "toLowerCase"), "\xCF\x83\xCE\xB1\xCF\x83");
    EXPECT_EQ(text(s("Hello, World 1!"), "toUpperCase"), "HELLO, WORLD 1!");
    EXPECT_EQ(text(s("Hello, World 1!"), "toLowerCase"), "hello, world 1!");
    EXPECT_EQ(text(s("\xC3\x9F"), "toUpperCase"), "\xC3\x9F") << "ß has no one-unit capital";
    EXPECT_EQ(text(s("\xC4\xB0"), "toLowerCase"), "i");                         // İ -> i
    EXPECT_EQ(text(s("\xD0\x96\xD0\xB6"), "toLowerCase"), "\xD0\xB6\xD0\xB6");  // Жж
    // A character outside the 16-bit range is two units that stay as they are.
    EXPECT_EQ(text(s("\xF0\x90\x90\x80"), "toLowerCase"), "\xF0\x90\x90\x80");
    EXPECT_EQ(text(s(""), "toUpperCase"), "");
}

TEST_F(Strings, HtmlMethodsWrapTheWholeText) {
    EXPECT_EQ(text(s("x"), "bold"), "<B>x</B>");
    EXPECT_EQ(text(s("x"), "link"), "<A HREF=\"\">x</A>");
    EXPECT_EQ(text(s("x"), "anchor", {s("n")}), "<A NAME=\"n\">x</A>");
    EXPECT_EQ(text(s("x"), "fontSize", {i(3)}), "<FONT SIZE=\"3\">x</FONT>");
    EXPECT_EQ(text(s("x"), "fontColor", {s("red")}), "<FONT COLOR=\"red\">x</FONT>");
    EXPECT_EQ(text(s("x"), "big"), "<BIG>x</BIG>");
    EXPECT_EQ(text(s("x"), "blink"), "<BLINK>x</BLINK>");
    EXPECT_EQ(text(s("x"), "fixed"), "<TT>x</TT>");
    EXPECT_EQ(text(s("x"), "italics"), "<I>x</I>");
    EXPECT_EQ(text(s("x"), "small"), "<SMALL>x</SMALL>");
    EXPECT_EQ(text(s("x"), "strike"), "<STRIKE>x</STRIKE>");
    EXPECT_EQ(text(s("x"), "sub"), "<SUB>x</SUB>");
    EXPECT_EQ(text(s("x"), "sup", {s("ignored")}), "<SUP>x</SUP>");
    // Far beyond a 1024-unit buffer, in both the string and the argument.
    std::string longText(5000, 'q');
    std::string url(3000, 'u');
    EXPECT_EQ(text(s(longText), "link", {s(url)}), "<A HREF=\"" + url + "\">" + longText + "</A>");
    EXPECT_EQ(text(s(longText), "sup"), "<SUP>" + longText + "</SUP>");
}

TEST_F(Strings, PatternMethodsWithoutAPatternGiveEmptyResults) {
    EXPECT_EQ(elements(method(s("abc"), "match", {s("b")})), Texts{});
    EXPECT_EQ(method(s("abc"), "match").tag, kTagArray);
    EXPECT_EQ(method(s("abc"), "search", {s("b")}).i, -1);
    EXPECT_EQ(method(s("abc"), "search").i, -1);
    // A RegExp argument of another engine-level kind (a plain object) is not a pattern.
    ScriptValue object = makeObject(newObject(engine));
    EXPECT_EQ(method(s("abc"), "search", {object}).i, -1);
    EXPECT_EQ(text(s("abc"), "replace", {object, s("x")}), "");
}

// Scripts run by the string conversion may grow the very string being worked on (element
// assignment changes a string in place); under collection stress nothing may dangle.
TEST_F(Strings, ConversionsThatChangeTheStringUnderWay) {
    EngineConfig config;
    config.gcStress = true;
    restart(config);
    Asm a;
    a.fn("grow").prologue(0);
    a.string("x").name(OP_LOAD_GLOBAL, "g").integer(3000).op(OP_SET_ELEMENT);
    a.string("T").op(OP_RETURN);
    a.fn(".main").op(OP_PUSH_NULL);
    ASSERT_EQ(runBytes(a.bytes()), 1) << errorText();
    ScriptObject* object = newObject(engine);
    ScriptValue objectValue = makeObject(object);
    setGlobal(engine, "o", objectValue);
    setByAtom(engine, object, engine->atomToString, global("grow"));
    auto fresh = [&] {
        setGlobal(engine, "g", s("abc"));
        return global("g");
    };

    EXPECT_EQ(text(fresh(), "concat", {objectValue, s("!")}), "abcT!");
    EXPECT_EQ(global("g").str->length, 3001u);
    EXPECT_EQ(method(fresh(), "indexOf", {objectValue}).i, -1);
    EXPECT_EQ(method(fresh(), "lastIndexOf", {objectValue}).i, -1);
    std::string grown = "abc" + std::string(2997, ' ') + "x";
    EXPECT_EQ(text(fresh(), "anchor", {objectValue}), "<A NAME=\"T\">" + grown + "</A>");
    EXPECT_EQ(str(call(global("String"), {objectValue})), "T");
}

}  // namespace

TEST(FindText, AgreesWithTheStandardSearch) {
    // Units whose high byte equals the first unit's low byte, odd alignments, matches at both
    // ends, empty needles and starts past the end.
    const std::u16string text = u"\u2020a \u0020\u2000b  ab\u4E2D\u2D4Eab";
    const std::u16string needles[] = {
        u"",       u" ",        u"  ",       u"ab",           u"b",  u"\u2020", u"\u4E2D",
        u"\u2D4E", u"\u2D4Eab", u"ab\u4E2D", u"\u0020\u2000", u"zz", text};
    for (const std::u16string& needle : needles) {
        for (size_t from = 0; from <= text.size() + 1; ++from) {
            EXPECT_EQ(findText(text, needle, from), std::u16string_view(text).find(needle, from))
                << "from " << from << " needle length " << needle.size();
        }
    }
    // A long text with the match at the very end.
    std::u16string haystack(100000, u'\u2061');
    haystack += u"a=";
    EXPECT_EQ(findText(haystack, u"a="), 100000u);
    EXPECT_EQ(findText(haystack, u"="), 100001u);
    EXPECT_EQ(findText(haystack, u"=a"), std::u16string_view::npos);
}
