// The global functions and constants: parseInt's 64-bit and 53-bit rules, parseFloat, escape and
// unescape, isNaN and isFinite, trace, NaN and Infinity.
#include <cmath>

#include "native_call_support.h"

using namespace quill;
using namespace quill::test;

namespace {

class Globals : public NativeTest {
  protected:
    ScriptValue parseInt(std::u16string_view text) { return call("parseInt", {s(text)}); }
    ScriptValue parseInt(std::u16string_view text, ScriptValue radix) {
        return call("parseInt", {s(text), radix});
    }
};

TEST_F(Globals, ParseIntPrefixesSignsAndRadixes) {
    EXPECT_TRUE(isInteger(parseInt(u"  -0x1F"), -31));
    EXPECT_TRUE(isInteger(parseInt(u"08"), 0)) << "a leading 0 means octal";
    EXPECT_TRUE(isInteger(parseInt(u"017"), 15));
    EXPECT_TRUE(isInteger(parseInt(u"12abc"), 12));
    EXPECT_TRUE(isInteger(parseInt(u"z", i(36)), 35));
    EXPECT_TRUE(isInteger(parseInt(u"Z", i(36)), 35));
    EXPECT_TRUE(isInteger(parseInt(u"- \t 42"), -42)) << "white space may follow the sign";
    EXPECT_TRUE(isInteger(parseInt(u"\u00A0\u3000+7"), 7));
    EXPECT_TRUE(isInteger(parseInt(u"-0"), 0));
    EXPECT_TRUE(isInteger(parseInt(u"ff", i(16)), 255));
    EXPECT_TRUE(isInteger(parseInt(u"0XfF", i(16)), 255)) << "radix 16 skips the prefix too";
    EXPECT_TRUE(isInteger(parseInt(u"0xff", i(10)), 0));
    EXPECT_TRUE(isInteger(parseInt(u"0xff", s(u"16")), 255)) << "the radix is converted";
    EXPECT_TRUE(isInteger(parseInt(u"101", d(2.9)), 5)) << "a double radix is truncated";
    EXPECT_TRUE(isInteger(parseInt(u"12", makeUndefined()), 12));
    EXPECT_TRUE(isInteger(parseInt(u"z1", i(37)), 35 * 37 + 1)) << "no upper bound on the radix";
    EXPECT_TRUE(isInteger(parseInt(u"0001", i(1)), 0));

    for (const char16_t* text : {u"", u"   ", u"-", u"abc", u"0x", u"+ x", u"\u2060 1"}) {
        EXPECT_EQ(parseInt(text).tag, kTagNaN) << str(s(text));
    }
    EXPECT_EQ(parseInt(u"1", i(1)).tag, kTagNaN);
    EXPECT_EQ(parseInt(u"1", i(-5)).tag, kTagNaN) << "a negative radix accepts no digit";
    EXPECT_EQ(call("parseInt").tag, kTagNaN);
    EXPECT_EQ(call("parseInt", {makeUndefined()}).tag, kTagNaN);
    EXPECT_TRUE(isInteger(call("parseInt", {i(-17)}), -17));
}

TEST_F(Globals, ParseIntBeyondTheIntegerRange) {
    EXPECT_TRUE(isInteger(parseInt(u"9223372036854775807"), INT64_MAX));
    EXPECT_TRUE(isDouble(parseInt(u"9223372036854775808"), 9223372036854775808.0));
    EXPECT_TRUE(isDouble(parseInt(u"-9223372036854775808"), -9223372036854775808.0));
    EXPECT_TRUE(isInteger(parseInt(u"7fffffffffffffff", i(16)), INT64_MAX));
    // Decimal: the digit text through the correctly rounded decimal conversion.
    EXPECT_TRUE(isDouble(parseInt(u"123456789012345678901234567890"), 1.2345678901234568e29));
    EXPECT_TRUE(isDouble(parseInt(u"1" + std::u16string(400, u'0')), INFINITY));
    // Power-of-two radixes round exactly to 53 bits, ties to even, all later bits counted.
    EXPECT_TRUE(isDouble(parseInt(u"0x8000000000000400"), 9223372036854775808.0));
    EXPECT_TRUE(isDouble(parseInt(u"0x8000000000000C00"), 9223372036854779904.0));
    EXPECT_TRUE(isDouble(parseInt(u"0x80000000000004001"), 147573952589676445696.0));
    EXPECT_TRUE(isDouble(parseInt(u"-0x1FFFFFFFFFFFFFFFF"), -36893488147419103232.0));
    EXPECT_TRUE(isDouble(parseInt(u"1" + std::u16string(64, u'0'), i(2)), 18446744073709551616.0));
    EXPECT_TRUE(isDouble(parseInt(u"10000000000000", i(32)), 36893488147419103232.0));
    EXPECT_TRUE(isInteger(parseInt(u"0777777777777777777777"), INT64_MAX));
    EXPECT_TRUE(isDouble(parseInt(u"01000000000000000000000"), 9223372036854775808.0));
    // Other radixes keep the double accumulated digit by digit.
    double d3 = 0;
    for (int k = 0; k < 45; ++k) d3 = d3 * 3 + 2;
    EXPECT_TRUE(isDouble(parseInt(std::u16string(45, u'2'), i(3)), d3));
}

TEST_F(Globals, ParseFloatConvertsTheWholeText) {
    EXPECT_TRUE(isDouble(call("parseFloat", {s(u"1.5e3")}), 1500.0));
    EXPECT_TRUE(isDouble(call("parseFloat", {s(u"12")}), 12.0)) << "integers become doubles";
    EXPECT_TRUE(isDouble(call("parseFloat", {i(-3)}), -3.0));
    EXPECT_TRUE(isDouble(call("parseFloat", {s(u" 3.25 ")}), 3.25));
    EXPECT_TRUE(isDouble(call("parseFloat", {s(u"")}), 0.0));
    EXPECT_EQ(call("parseFloat", {s(u"abc")}).tag, kTagNaN);
    EXPECT_EQ(call("parseFloat", {makeNaN()}).tag, kTagNaN);
    EXPECT_EQ(call("parseFloat").tag, kTagNaN);
}

TEST_F(Globals, EscapeAndUnescape) {
    EXPECT_EQ(str(call("escape", {s(u"a b")})), "a%20b");
    EXPECT_EQ(str(call("escape", {s(u"\u263A")})), "%u263A");
    EXPECT_EQ(str(call("escape", {s(u"AZaz09@*_+-./")})), "AZaz09@*_+-./");
    EXPECT_EQ(str(call("escape", {s(u"\u00e9~\u0100\uFFFF")})), "%E9%7E%u0100%uFFFF");
    EXPECT_EQ(str(call("escape", {s(std::u16string(1, u'\0'))})), "%00");
    EXPECT_EQ(str(call("escape", {i(12)})), "12");
    EXPECT_EQ(str(call("escape")), "");

    ScriptValue u = call("unescape", {s(u"%u263A%41%zz")});
    EXPECT_TRUE(stringView(u) ==
                u"\u263A"
                u"A%zz");
    EXPECT_TRUE(stringView(call("unescape", {s(u"%e9%E9%u00e9")})) == u"\u00e9\u00e9\u00e9");
    // Escapes cut short or malformed stay as written.
    for (const char16_t* text :
         {u"%", u"%4", u"%u", u"%u26", u"%u263", u"%U263A", u"%u26G3", u"a%"}) {
        EXPECT_TRUE(stringView(call("unescape", {s(text)})) == text) << str(s(text));
    }
    EXPECT_TRUE(stringView(call("unescape", {s(u"%u0041%41%4")})) == u"AA%4");
    EXPECT_EQ(call("unescape").tag, kTagUndefined);

    // Every code unit survives the round trip.
    std::u16string all;
    for (uint32_t c = 0; c < 0x10000; ++c) all.push_back(static_cast<char16_t>(c));
    ScriptValue escaped = call("escape", {s(all)});
    ScriptValue back = call("unescape", {escaped});
    EXPECT_TRUE(stringView(back) == all);
}

TEST_F(Globals, IsNaNAndIsFinite) {
    EXPECT_EQ(call("isNaN", {s(u"abc")}).i, 1);
    EXPECT_EQ(call("isNaN", {d(1.5)}).i, 0);
    EXPECT_EQ(call("isNaN", {makeNaN()}).i, 1);
    EXPECT_EQ(call("isNaN", {s(u"12")}).i, 0);
    EXPECT_EQ(call("isNaN", {makeUndefined()}).i, 1);
    EXPECT_EQ(call("isNaN", {makeNull()}).i, 0);
    EXPECT_EQ(call("isNaN", {d(INFINITY)}).i, 0);
    EXPECT_EQ(call("isNaN").tag, kTagUndefined);

    EXPECT_EQ(call("isFinite", {d(INFINITY)}).i, 0);
    EXPECT_EQ(call("isFinite", {d(-INFINITY)}).i, 0);
    EXPECT_EQ(call("isFinite", {i(INT64_MIN)}).i, 1);
    EXPECT_EQ(call("isFinite", {d(1e308)}).i, 1);
    EXPECT_EQ(call("isFinite", {makeNaN()}).i, 0);
    EXPECT_EQ(call("isFinite", {s(u"1e400")}).i, 0);
    EXPECT_EQ(call("isFinite", {s(u"7")}).i, 1);
    EXPECT_EQ(call("isFinite", {s(u"x")}).i, 0);
    EXPECT_EQ(call("isFinite", {makeBoolean(true)}).i, 1);
    EXPECT_EQ(call("isFinite").tag, kTagUndefined);
    EXPECT_EQ(call("isFinite", {i(1)}).tag, kTagBoolean);
}

TEST_F(Globals, TraceReachesTheTraceOutput) {
    EXPECT_EQ(call("trace", {s(u"hello \u263A")}).tag, kTagUndefined);
    EXPECT_EQ(call("trace", {d(1.5)}).tag, kTagUndefined);
    call("trace");
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[0], "hello \u263A") << "characters beyond the code page arrive unchanged";
    EXPECT_EQ(trace[1], "1.5");
    setTraceOutput(engine, nullptr, nullptr);
    call("trace", {s(u"nowhere")});
    EXPECT_EQ(ok, 1);
}

TEST_F(Globals, ConstantsAreOrdinaryGlobals) {
    EXPECT_EQ(getGlobal(engine, "NaN").tag, kTagNaN);
    EXPECT_TRUE(isDouble(getGlobal(engine, "Infinity"), INFINITY));
    setGlobal(engine, "NaN", makeInteger(1));
    EXPECT_TRUE(isInteger(getGlobal(engine, "NaN"), 1));
}

}  // namespace
