// The Math object: the C library's functions over script numbers, round and pow with their
// integer results, max and min, the constants, and the drand48-style random generator.
#include <cmath>
#include <cstdlib>

#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "builtins/random48.h"
#include "platform/system_time.h"

namespace quill {

namespace {

enum Member {
    kAbs,
    kAcos,
    kAsin,
    kAtan,
    kAtan2,
    kCeil,
    kCos,
    kExp,
    kFloor,
    kLog,
    kMax,
    kMin,
    kPow,
    kRandom,
    kRound,
    kSin,
    kSqrt,
    kTan,
    kE,
    kLN10,
    kLN2,
    kLOG10E,
    kLOG2E,
    kPI,
    kSQRT1_2,
    kSQRT2,
};

constexpr double kConstants[] = {
    2.718281828459045,  2.302585092994046, 0.6931471805599453, 0.4342944819032518,
    1.4426950408889634, 3.141592653589793, 0.7071067811865476, 1.4142135623730951,
};

// 2^53: integers of smaller magnitude are exact in a double.
constexpr double kExactLimit = 9007199254740992.0;

struct MathClassData {
    NameAtoms* names;
    Random48 random;
};

void freeMathClassData(void* data) {
    auto* d = static_cast<MathClassData*>(data);
    std::free(d->names);
    std::free(d);
}

int memberOf(const MathClassData* data, uint32_t atom) {
    for (uint32_t i = 0; i < data->names->count; ++i) {
        if (data->names->atoms[i] == atom) return static_cast<int>(i);
    }
    return -1;
}

// The i-th argument as a number; NaN (also for a missing argument) is returned as a NaN double.
ScriptValue numberArg(ScriptEngine* engine, const ScriptValue* argv, uint32_t i) {
    if (!hasArg(argv, i)) return makeNaN();
    return toNumber(engine, argv[i]);
}

double asDouble(const ScriptValue& n) {
    if (n.tag == kTagInteger) return static_cast<double>(n.i);
    if (n.tag == kTagNumber) return n.d;
    return NAN;
}

// base^exponent for a non-negative exponent when the exact result stays below 2^53 in
// magnitude; false otherwise. Exact arithmetic keeps both targets' results identical.
bool exactIntegerPower(int64_t base, int64_t exponent, int64_t* out) {
    constexpr int64_t kLimit = int64_t(1) << 53;
    if (exponent < 0) return false;
    if (base == 0) {
        *out = exponent == 0 ? 1 : 0;
        return true;
    }
    if (base == 1 || base == -1) {
        *out = (base == -1 && (exponent & 1)) ? -1 : 1;
        return true;
    }
    if (base <= -kLimit || base >= kLimit) return exponent == 0 ? (*out = 1, true) : false;
    int64_t result = 1;
    for (int64_t i = 0; i < exponent; ++i) {  // |base| >= 2, so at most 53 rounds
        result *= base;
        if (result <= -kLimit || result >= kLimit) return false;
    }
    *out = result;
    return true;
}

ScriptValue power(const ScriptValue& x, const ScriptValue& y) {
    if (x.tag == kTagInteger && y.tag == kTagInteger) {
        int64_t exact;
        if (exactIntegerPower(x.i, y.i, &exact)) return makeInteger(exact);
    }
    double r = std::pow(asDouble(x), asDouble(y));
    // Integer arguments give an integer when the result is a whole number that a double holds
    // exactly (pow(1, -3) is 1; pow(2, -1) stays 0.5).
    if (x.tag == kTagInteger && y.tag == kTagInteger && std::fabs(r) < kExactLimit &&
        r == std::floor(r)) {
        return makeInteger(static_cast<int64_t>(r));
    }
    return makeNumber(r);
}

ScriptValue roundValue(const ScriptValue& x) {
    if (x.tag == kTagInteger) return x;
    double d = asDouble(x);
    if (std::isnan(d) || std::isinf(d)) return makeNumber(d);
    double r = std::floor(d + 0.5);
    // Whole numbers beyond the 64-bit range stay doubles rather than wrapping.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0) return makeNumber(r);
    return makeInteger(static_cast<int64_t>(r));
}

ScriptValue extreme(ScriptEngine* engine, const ScriptValue* argv, bool largest) {
    uint32_t n = argCount(argv);
    if (n == 0) return makeNaN();
    bool sawNaN = false;
    double best = 0;
    for (uint32_t i = 1; i <= n; ++i) {
        double d = asDouble(toNumber(engine, argv[i]));
        if (std::isnan(d)) sawNaN = true;  // every argument is still converted
        if (i == 1 || (largest ? d > best : d < best)) best = d;
    }
    return sawNaN ? makeNaN() : makeNumber(best);
}

// The one-argument members: the C library function of the same meaning.
double applyUnary(int member, double x) {
    switch (member) {
        case kAbs:
            return std::fabs(x);
        case kAcos:
            return std::acos(x);
        case kAsin:
            return std::asin(x);
        case kAtan:
            return std::atan(x);
        case kCeil:
            return std::ceil(x);
        case kCos:
            return std::cos(x);
        case kExp:
            return std::exp(x);
        case kFloor:
            return std::floor(x);
        case kLog:
            return std::log(x);
        case kSin:
            return std::sin(x);
        case kSqrt:
            return std::sqrt(x);
        default:
            return std::tan(x);
    }
}

int mathMethod(ScriptEngine* engine, ClassDescriptor* cls, void*, uint32_t atom,
               ScriptValue* result, ScriptValue* argv) {
    auto* data = static_cast<MathClassData*>(cls->classData);
    if (atom == engine->atomToString) {
        *result = newStringFromAscii(engine, "[object Math]");
        return 1;
    }
    int member = memberOf(data, atom);
    if (member < 0 || member >= kE) return 0;
    switch (member) {
        case kMax:
        case kMin:
            *result = extreme(engine, argv, member == kMax);
            return 1;
        case kRandom:
            *result = makeNumber(data->random.next());
            return 1;
        case kRound:
            *result = roundValue(numberArg(engine, argv, 1));
            return 1;
        case kAtan2:
        case kPow: {
            ScriptValue a = numberArg(engine, argv, 1);
            ScriptValue b = numberArg(engine, argv, 2);
            if (a.tag == kTagNaN || b.tag == kTagNaN) {
                *result = makeNaN();
            } else if (member == kPow) {
                *result = power(a, b);
            } else {
                *result = makeNumber(std::atan2(asDouble(a), asDouble(b)));
            }
            return 1;
        }
        default: {
            double x = asDouble(numberArg(engine, argv, 1));
            *result = std::isnan(x) ? makeNaN() : makeNumber(applyUnary(member, x));
            return 1;
        }
    }
}

// The constants read as doubles; assigning to them is accepted and changes nothing.
int mathProperty(ScriptEngine* engine, ClassDescriptor* cls, void*, uint32_t atom, int mode,
                 ScriptValue* value) {
    (void)engine;
    int member = memberOf(static_cast<MathClassData*>(cls->classData), atom);
    if (member < kE) {
        if (mode == 0) *value = makeUndefined();
        return 0;
    }
    if (mode == 0) *value = makeNumber(kConstants[member - kE]);
    return 1;
}

}  // namespace

bool seedMathRandom(ScriptEngine* engine, uint32_t seed) {
    ClassDescriptor* math = classById(engine, ClassId::kMath);
    if (!math) return false;
    static_cast<MathClassData*>(math->classData)->random.seed(seed);
    return true;
}

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kMathReference[] = {
    bind::describedClassMethod("toString", "", "\"[object Math]\"."),
    bind::describedClassMethod("abs", "x", "The absolute value, as a number."),
    bind::describedClassMethod("acos", "x", "The arc cosine in radians."),
    bind::describedClassMethod("asin", "x", "The arc sine in radians."),
    bind::describedClassMethod("atan", "x", "The arc tangent in radians."),
    bind::describedClassMethod("atan2", "y, x", "The angle of the point (x, y) in radians."),
    bind::describedClassMethod("ceil", "x", "The smallest whole number not below x, as a number."),
    bind::describedClassMethod("cos", "x", "The cosine of x radians."),
    bind::describedClassMethod("exp", "x", "e to the power x."),
    bind::describedClassMethod("floor", "x", "The largest whole number not above x, as a number."),
    bind::describedClassMethod("log", "x", "The natural logarithm."),
    bind::describedClassMethod(
        "max", "value, ...",
        "The largest of the values, as a number; NaN when one is NaN or there are none."),
    bind::describedClassMethod(
        "min", "value, ...",
        "The smallest of the values, as a number; NaN when one is NaN or there are none."),
    bind::describedClassMethod("pow", "x, y",
                               "x to the power y: an integer when both are integers and the result "
                               "is whole and exact, else a number."),
    bind::describedClassMethod("random", "",
                               "A pseudo-random number from 0 up to 1, seeded from the clock."),
    bind::describedClassMethod("round", "x",
                               "x rounded half up, as an integer (NaN and infinities stay)."),
    bind::describedClassMethod("sin", "x", "The sine of x radians."),
    bind::describedClassMethod("sqrt", "x", "The square root."),
    bind::describedClassMethod("tan", "x", "The tangent of x radians."),
    bind::describedClassProperty("E", "Euler's number e, 2.718281828459045."),
    bind::describedClassProperty("LN10", "The natural logarithm of 10, 2.302585092994046."),
    bind::describedClassProperty("LN2", "The natural logarithm of 2, 0.6931471805599453."),
    bind::describedClassProperty("LOG10E", "The base-10 logarithm of e, 0.4342944819032518."),
    bind::describedClassProperty("LOG2E", "The base-2 logarithm of e, 1.4426950408889634."),
    bind::describedClassProperty("PI", "Pi, 3.141592653589793."),
    bind::describedClassProperty("SQRT1_2", "The square root of 1/2, 0.7071067811865476."),
    bind::describedClassProperty("SQRT2", "The square root of 2, 1.4142135623730951."),
};

void registerMath(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "Math", ClassId::kMath);
    cls->summary =
        "Mathematical functions and constants, used on the class (Math.sqrt(2)); arguments are "
        "converted to numbers.";
    auto* data = static_cast<MathClassData*>(plainCalloc(engine, 1, sizeof(MathClassData)));
    cls->classData = data;
    cls->classDataDestructor = freeMathClassData;
    data->names = internNames(
        engine, {"abs", "acos", "asin", "atan",   "atan2",  "ceil",  "cos",     "exp",  "floor",
                 "log", "max",  "min",  "pow",    "random", "round", "sin",     "sqrt", "tan",
                 "E",   "LN10", "LN2",  "LOG10E", "LOG2E",  "PI",    "SQRT1_2", "SQRT2"});
    data->random.seed(static_cast<uint32_t>(platform::currentTimeMillis() / 1000));
    cls->method = mathMethod;
    cls->property = mathProperty;
}

bind::MemberTable mathReference() {
    return kMathReference;
}

}  // namespace quill
