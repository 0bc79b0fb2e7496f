// The Math object: argument conversion and NaN, round and pow with their integer results, max and
// min, the read-only constants, and the drand48 sequence of the random generator.
#include <cmath>
#include <cstdlib>

#include "builtins/random48.h"
#include "native_call_support.h"

using namespace quill;
using namespace quill::test;

namespace {

class MathObject : public NativeTest {
  protected:
    ScriptValue math(const char* name, const std::vector<ScriptValue>& args = {}) {
        return method(getGlobal(engine, "Math"), name, args);
    }
};

TEST_F(MathObject, RoundAndPowGiveIntegersWhereTheyShould) {
    EXPECT_TRUE(isInteger(math("round", {d(2.5)}), 3));
    EXPECT_TRUE(isInteger(math("round", {d(-2.5)}), -2));
    EXPECT_TRUE(isInteger(math("round", {d(-2.6)}), -3));
    EXPECT_TRUE(isInteger(math("round", {d(-0.4)}), 0));
    EXPECT_TRUE(isInteger(math("round", {i(INT64_MAX)}), INT64_MAX)) << "integers stay exact";
    EXPECT_TRUE(isInteger(math("round", {s(u"7.5")}), 8));
    EXPECT_TRUE(isDouble(math("round", {d(INFINITY)}), INFINITY));
    EXPECT_TRUE(isDouble(math("round", {d(-INFINITY)}), -INFINITY));
    EXPECT_TRUE(isDouble(math("round", {d(1e300)}), 1e300)) << "too large for an integer";
    EXPECT_EQ(math("round").tag, kTagNaN);

    EXPECT_TRUE(isInteger(math("pow", {i(2), i(10)}), 1024));
    EXPECT_TRUE(isInteger(math("pow", {i(-3), i(3)}), -27));
    EXPECT_TRUE(isInteger(math("pow", {i(0), i(0)}), 1));
    EXPECT_TRUE(isInteger(math("pow", {i(3), i(33)}), 5559060566555523));
    EXPECT_TRUE(isDouble(math("pow", {i(-2), i(53)}), -9007199254740992.0))
        << "2^53 in magnitude is not below the limit";
    EXPECT_TRUE(isDouble(math("pow", {i(2), i(53)}), 9007199254740992.0));
    EXPECT_TRUE(isInteger(math("pow", {i(1), i(-3)}), 1));
    EXPECT_TRUE(isDouble(math("pow", {i(2), i(-1)}), 0.5)) << "a fraction stays a double";
    EXPECT_TRUE(isDouble(math("pow", {i(0), i(-1)}), INFINITY));
    EXPECT_TRUE(isDouble(math("pow", {i(2), d(0.5)}), std::sqrt(2.0)));
    EXPECT_TRUE(isDouble(math("pow", {d(2.0), i(3)}), 8.0));
    EXPECT_TRUE(isInteger(math("pow", {s(u"2"), s(u"5")}), 32));
    EXPECT_EQ(math("pow", {i(2)}).tag, kTagNaN) << "both arguments are needed";
    EXPECT_EQ(math("pow", {i(1), makeNaN()}).tag, kTagNaN);
    EXPECT_EQ(math("atan2", {i(1)}).tag, kTagNaN);
    EXPECT_TRUE(isDouble(math("atan2", {i(1), i(1)}), std::atan2(1.0, 1.0)));
}

TEST_F(MathObject, OneArgumentFunctionsAndExtremes) {
    EXPECT_TRUE(isDouble(math("abs", {i(-3)}), 3.0)) << "results are doubles";
    EXPECT_TRUE(isDouble(math("floor", {d(-1.5)}), -2.0));
    EXPECT_TRUE(isDouble(math("ceil", {d(-1.5)}), -1.0));
    EXPECT_TRUE(isDouble(math("sqrt", {i(16)}), 4.0));
    EXPECT_TRUE(isDouble(math("exp", {i(0)}), 1.0));
    EXPECT_TRUE(isDouble(math("log", {i(0)}), -INFINITY));
    EXPECT_TRUE(isDouble(math("cos", {i(0)}), 1.0));
    EXPECT_TRUE(isDouble(math("sin", {i(0)}), 0.0));
    EXPECT_TRUE(isDouble(math("tan", {i(0)}), 0.0));
    EXPECT_TRUE(isDouble(math("atan", {i(0)}), 0.0));
    EXPECT_TRUE(isDouble(math("asin", {i(1)}), std::asin(1.0)));
    EXPECT_TRUE(isDouble(math("acos", {s(u"1")}), 0.0));
    EXPECT_EQ(math("sqrt", {i(-1)}).tag, kTagNaN) << "a NaN result is the NaN value";
    EXPECT_EQ(math("abs", {s(u"x")}).tag, kTagNaN);
    EXPECT_EQ(math("abs").tag, kTagNaN);

    EXPECT_EQ(math("max").tag, kTagNaN);
    EXPECT_EQ(math("min").tag, kTagNaN);
    EXPECT_TRUE(isDouble(math("max", {i(1), d(2.5), i(-7)}), 2.5));
    EXPECT_TRUE(isDouble(math("min", {i(1), d(2.5), i(-7)}), -7.0));
    EXPECT_TRUE(isDouble(math("max", {s(u"10"), i(9)}), 10.0));
    EXPECT_EQ(math("max", {i(1), makeNaN(), i(3)}).tag, kTagNaN);
    EXPECT_EQ(math("min", {s(u"q"), i(3)}).tag, kTagNaN);
}

TEST_F(MathObject, ConstantsAreReadOnlyAndUnknownNamesAreNotHandled) {
    ScriptValue m = getGlobal(engine, "Math");
    EXPECT_TRUE(isDouble(property(m, "PI"), 3.141592653589793));
    EXPECT_TRUE(isDouble(property(m, "E"), 2.718281828459045));
    EXPECT_TRUE(isDouble(property(m, "LN10"), 2.302585092994046));
    EXPECT_TRUE(isDouble(property(m, "LN2"), 0.6931471805599453));
    EXPECT_TRUE(isDouble(property(m, "LOG10E"), 0.4342944819032518));
    EXPECT_TRUE(isDouble(property(m, "LOG2E"), 1.4426950408889634));
    EXPECT_TRUE(isDouble(property(m, "SQRT1_2"), std::sqrt(0.5)));
    EXPECT_TRUE(isDouble(property(m, "SQRT2"), std::sqrt(2.0)));
    setProperty(engine, m, intern(engine, "PI"), makeInteger(3));
    EXPECT_TRUE(isDouble(property(m, "PI"), 3.141592653589793));
    EXPECT_TRUE(trace.empty()) << "assigning a constant is accepted silently";

    EXPECT_EQ(property(m, "abs").tag, kTagUndefined);
    EXPECT_EQ(str(math("toString")), "[object Math]");
    EXPECT_EQ(text(m), "[object Math]");
    math("PI");
    EXPECT_EQ(ok, 0) << "a constant is not a method";
    math("cbrt", {i(8)});
    EXPECT_EQ(ok, 0);
    EXPECT_STREQ(engine->errorBuffer, "Warning: unknown method \"cbrt\"");
}

TEST_F(MathObject, RandomFollowsTheDrand48Sequence) {
    ASSERT_TRUE(seedMathRandom(engine, 12345));
    EXPECT_TRUE(isDouble(math("random"), 0.22532851279629895));
    EXPECT_TRUE(isDouble(math("random"), 0.919183068533556));
    EXPECT_TRUE(isDouble(math("random"), 0.20684125324818226));
    ASSERT_TRUE(seedMathRandom(engine, 0));
    EXPECT_TRUE(isDouble(math("random"), 0.17082803610628972));
    EXPECT_TRUE(isDouble(math("random"), 0.7499019804849638));

#ifndef _WIN32
    // The C library's own generator, where there is one.
    for (uint32_t seed : {1u, 0xFFFFFFFFu, 20010709u}) {
        srand48(seed);
        ASSERT_TRUE(seedMathRandom(engine, seed));
        for (int k = 0; k < 1000; ++k) ASSERT_TRUE(isDouble(math("random"), drand48())) << k;
    }
#endif
    Random48 r;
    r.seed(7);
    for (int k = 0; k < 100000; ++k) {
        double v = r.next();
        ASSERT_TRUE(v >= 0.0 && v < 1.0);
    }
}

}  // namespace
