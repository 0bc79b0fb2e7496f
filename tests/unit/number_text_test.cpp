// Number <-> text conversions: the runtime's "%g", "%.*f", wide printf and wcstod behaviour,
// checked against exact decimal expansions computed here so both builds prove correct rounding.
#include "platform/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace quill::platform;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The exact value of mantissa * 2^exponent as integer digits and a count of decimals:
// value = digits * 10^-decimals. Big integer in base 10^9, independent of the code under test.
struct ExactDecimal {
    std::string digits;
    int32_t decimals = 0;
};

ExactDecimal exactDecimal(uint64_t mantissa, int32_t exponent) {
    constexpr uint64_t kBase = 1000000000;
    std::vector<uint64_t> limbs;  // little-endian
    for (uint64_t m = mantissa; m != 0; m /= kBase) limbs.push_back(m % kBase);
    if (limbs.empty()) limbs.push_back(0);
    auto multiply = [&](uint64_t factor) {
        uint64_t carry = 0;
        for (uint64_t& limb : limbs) {
            uint64_t product = limb * factor + carry;
            limb = product % kBase;
            carry = product / kBase;
        }
        for (; carry != 0; carry /= kBase) limbs.push_back(carry % kBase);
    };
    ExactDecimal result;
    if (exponent >= 0) {
        for (int32_t left = exponent; left > 0; left -= 29)
            multiply(uint64_t{1} << std::min(left, 29));
    } else {
        // m * 2^-k = m * 5^k / 10^k
        result.decimals = -exponent;
        for (int32_t left = -exponent; left > 0; left -= 13) {
            uint64_t power = 1;
            for (int32_t i = 0; i < std::min(left, 13); ++i) power *= 5;
            multiply(power);
        }
    }
    result.digits = std::to_string(limbs.back());
    for (size_t i = limbs.size() - 1; i-- > 0;) {
        std::string part = std::to_string(limbs[i]);
        result.digits += std::string(9 - part.size(), '0') + part;
    }
    return result;
}

void splitDouble(double value, uint64_t& mantissa, int32_t& exponent) {
    uint64_t bits = std::bit_cast<uint64_t>(std::fabs(value));
    auto biased = static_cast<int32_t>(bits >> 52);
    mantissa = bits & ((uint64_t{1} << 52) - 1);
    if (biased != 0) mantissa |= uint64_t{1} << 52;
    exponent = (biased == 0 ? 1 : biased) - 1075;
}

ExactDecimal exactDecimal(double value) {
    uint64_t mantissa = 0;
    int32_t exponent = 0;
    splitDouble(value, mantissa, exponent);
    return exactDecimal(mantissa, exponent);
}

// Keeps all but the last `drop` digits, rounding half-even on the exact remainder.
std::string roundOff(const std::string& digits, size_t drop) {
    if (drop == 0) return digits;
    if (drop > digits.size()) return "0";
    std::string kept = digits.substr(0, digits.size() - drop);
    std::string rest = digits.substr(digits.size() - drop);
    bool restZero = rest.find_first_not_of('0', 1) == std::string::npos;
    bool up = rest[0] > '5' || (rest[0] == '5' && !restZero) ||
              (rest[0] == '5' && restZero && !kept.empty() && (kept.back() - '0') % 2 == 1);
    if (kept.empty()) kept = "0";
    if (up) {
        size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
        if (i == 0) {
            kept.insert(kept.begin(), '1');
        } else {
            ++kept[i - 1];
        }
    }
    return kept;
}

std::string referenceFixed(double value, int32_t precision) {
    ExactDecimal exact = exactDecimal(value);
    std::string digits =
        exact.decimals >= precision
            ? roundOff(exact.digits, static_cast<size_t>(exact.decimals - precision))
            : exact.digits + std::string(precision - exact.decimals, '0');
    if (digits.size() < static_cast<size_t>(precision) + 1) {
        digits.insert(0, precision + 1 - digits.size(), '0');
    }
    if (precision > 0) digits.insert(digits.size() - precision, ".");
    return (std::signbit(value) ? "-" : "") + digits;
}

std::string referenceG(double value) {
    if (value == 0) return std::signbit(value) ? "-0" : "0";
    ExactDecimal exact = exactDecimal(value);
    auto exponent = static_cast<int32_t>(exact.digits.size()) - 1 - exact.decimals;
    std::string digits =
        roundOff(exact.digits, exact.digits.size() - std::min<size_t>(6, exact.digits.size()));
    if (digits.size() > 6) {  // the rounding carried into a new leading digit
        digits.pop_back();
        ++exponent;
    }
    digits.resize(6, '0');
    bool scientific = exponent < -4 || exponent >= 6;
    int32_t point = scientific ? 1 : std::max(exponent + 1, 1);
    if (!scientific && exponent < 0) digits.insert(0, -exponent, '0');
    std::string text = digits.substr(0, point) + "." + digits.substr(point);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    if (scientific) {
        std::string e = std::to_string(std::abs(exponent));
        text +=
            (exponent < 0 ? "e-" : "e+") + std::string(3 - std::min<size_t>(3, e.size()), '0') + e;
    }
    return (value < 0 ? "-" : "") + text;
}

// Random finite doubles spread over every binary exponent.
double randomDouble(std::mt19937_64& random) {
    for (;;) {
        double value = std::bit_cast<double>(random());
        if (std::isfinite(value)) return value;
    }
}

double parse(const std::string& text, size_t* consumed = nullptr) {
    double value = -1234.5;
    size_t used = parseDecimal(text.data(), text.size(), &value);
    if (consumed != nullptr) *consumed = used;
    return value;
}

}  // namespace

TEST(NumberText, DoubleGMatchesRuntimeLayout) {
    EXPECT_EQ(formatDoubleG(1e6), "1e+006");
    EXPECT_EQ(formatDoubleG(1.0 / 3e4), "3.33333e-005");
    EXPECT_EQ(formatDoubleG(1234567.0), "1.23457e+006");
    EXPECT_EQ(formatDoubleG(1e100), "1e+100");
    EXPECT_EQ(formatDoubleG(1e-300), "1e-300");
    EXPECT_EQ(formatDoubleG(0.1), "0.1");
    EXPECT_EQ(formatDoubleG(2.0), "2");
    EXPECT_EQ(formatDoubleG(1.0 / 3), "0.333333");
    EXPECT_EQ(formatDoubleG(0.0), "0");
    EXPECT_EQ(formatDoubleG(-0.0), "-0");
    EXPECT_EQ(formatDoubleG(100000.0), "100000");
    EXPECT_EQ(formatDoubleG(0.0001), "0.0001");
    EXPECT_EQ(formatDoubleG(0.00001), "1e-005");
    EXPECT_EQ(formatDoubleG(-2.5e-7), "-2.5e-007");
    EXPECT_EQ(formatDoubleG(std::numeric_limits<double>::max()), "1.79769e+308");
    EXPECT_EQ(formatDoubleG(std::numeric_limits<double>::denorm_min()), "4.94066e-324");
}

TEST(NumberText, DoubleGRoundsHalfEvenOnTheExactValue) {
    // Exact ties go to the even digit; rounding that carries moves to the next exponent.
    EXPECT_EQ(formatDoubleG(1234565.0), "1.23456e+006");
    EXPECT_EQ(formatDoubleG(1234575.0), "1.23458e+006");
    EXPECT_EQ(formatDoubleG(999999.5), "1e+006");
    EXPECT_EQ(formatDoubleG(999999.4), "999999");
    EXPECT_EQ(formatDoubleG(0.000099999996), "0.0001");
    // Decimal ties that are not binary ones: 0.1234565 is stored just below, 123.4565 just above.
    EXPECT_EQ(formatDoubleG(0.1234565), "0.123456");
    EXPECT_EQ(formatDoubleG(123.4565), "123.457");
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 3000; ++i) {
        double value = randomDouble(random);
        ASSERT_EQ(formatDoubleG(value), referenceG(value)) << std::hexfloat << value;
    }
}

TEST(NumberText, NonFiniteValuesUseRuntimeNames) {
    EXPECT_EQ(formatDoubleG(kInf), "1.#INF");
    EXPECT_EQ(formatDoubleG(-kInf), "-1.#INF");
    EXPECT_EQ(formatDoubleG(std::numeric_limits<double>::quiet_NaN()), "1.#QNAN");
    EXPECT_EQ(formatDoubleG(std::bit_cast<double>(uint64_t{0xFFF8000000000000})), "-1.#IND");
    EXPECT_EQ(formatDoubleG(std::bit_cast<double>(uint64_t{0x7FF0000000000001})), "1.#SNAN");
    // Precision and rounding act on the name's characters as if they were digits.
    EXPECT_EQ(formatDoubleFixed(kInf, 6), "1.#INF00");
    EXPECT_EQ(formatDoubleFixed(kInf, 2), "1.#J");
    EXPECT_EQ(formatDoubleFixed(-kInf, 0), "-1");
    EXPECT_EQ(formatDouble(u"%e", kInf), u"1.#INF00e+000");
    EXPECT_EQ(formatDouble(u"%E", -kInf), u"-1.#INF00E+000");
    EXPECT_EQ(formatDouble(u"%.3g", kInf), u"1.#J");
    EXPECT_EQ(formatDouble(u"%10.1f|", kInf), u"       1.$|");
    EXPECT_EQ(formatDouble(u"%f", std::bit_cast<double>(uint64_t{0xFFF8000000000000})),
              u"-1.#IND00");
}

TEST(NumberText, FixedIsExact) {
    EXPECT_EQ(formatDoubleFixed(0.1, 30), "0.100000000000000005551115123126");
    EXPECT_EQ(formatDoubleFixed(2.5, 0), "2");
    EXPECT_EQ(formatDoubleFixed(3.5, 0), "4");
    EXPECT_EQ(formatDoubleFixed(0.125, 2), "0.12");
    EXPECT_EQ(formatDoubleFixed(-0.0, 2), "-0.00");
    EXPECT_EQ(formatDoubleFixed(-0.001, 2), "-0.00");
    EXPECT_EQ(formatDoubleFixed(1e21, 0), "1000000000000000000000");
    EXPECT_EQ(formatDoubleFixed(1.5, -3), "2");
    // The precision stops at the runtime's limit of 512 decimals.
    std::string tiny = formatDoubleFixed(5e-324, 100000);
    EXPECT_EQ(tiny.size(), 514u);
    EXPECT_EQ(tiny, referenceFixed(5e-324, 512));
    EXPECT_EQ(formatDoubleFixed(1.0 / 1024, 512), referenceFixed(1.0 / 1024, 512));
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int32_t> binaryExponent(-80, 80);
    std::uniform_int_distribution<int32_t> precision(0, 60);
    for (int i = 0; i < 2000; ++i) {
        double value = std::ldexp(std::bit_cast<double>((random() >> 12) | 0x3FF0000000000000),
                                  binaryExponent(random));
        if (i % 2 == 1) value = -value;
        int32_t digits = precision(random);
        ASSERT_EQ(formatDoubleFixed(value, digits), referenceFixed(value, digits))
            << std::hexfloat << value << " " << digits;
    }
}

TEST(NumberText, IntegerRadix) {
    EXPECT_EQ(formatIntegerRadix(255, 16), "ff");
    EXPECT_EQ(formatIntegerRadix(-1, 16), "ffffffffffffffff");
    EXPECT_EQ(formatIntegerRadix(-1, 10), "-1");
    EXPECT_EQ(formatIntegerRadix(INT64_MIN, 10), "-9223372036854775808");
    EXPECT_EQ(formatIntegerRadix(INT64_MIN, 2), "1" + std::string(63, '0'));
    EXPECT_EQ(formatIntegerRadix(0, 2), "0");
    EXPECT_EQ(formatIntegerRadix(35, 36), "z");
    EXPECT_EQ(formatIntegerRadix(-8, 8), "1777777777777777777770");
    EXPECT_EQ(formatIntegerRadix(-42, 1), "-42");
    EXPECT_EQ(formatIntegerRadix(42, 37), "42");
}

TEST(NumberText, PrintfIntegerConversions) {
    EXPECT_EQ(formatInteger(u"%I64d", 42), u"42");
    EXPECT_EQ(formatInteger(u"%x", 255), u"ff");
    EXPECT_EQ(formatInteger(u"%#X", 255), u"0XFF");
    EXPECT_EQ(formatInteger(u"%+d", 5), u"+5");
    EXPECT_EQ(formatInteger(u"% d", 5), u" 5");
    EXPECT_EQ(formatInteger(u"%+ d", 5), u"+5");
    EXPECT_EQ(formatInteger(u"%-5d|", 42), u"42   |");
    EXPECT_EQ(formatInteger(u"%05d", -42), u"-0042");
    EXPECT_EQ(formatInteger(u"%-05d|", 42), u"42   |");
    EXPECT_EQ(formatInteger(u"%05.3d", 7), u"  007");
    EXPECT_EQ(formatInteger(u"%.0d|", 0), u"|");
    EXPECT_EQ(formatInteger(u"%#x %#o %#.0o", 0), u"0 0 0");
    EXPECT_EQ(formatInteger(u"%#o", 8), u"010");
    EXPECT_EQ(formatInteger(u"%#06x", 255), u"0x00ff");
    EXPECT_EQ(formatInteger(u"%+u %+x", 5), u"5 5");
    EXPECT_EQ(formatInteger(u"%c%c", 65), u"AA");
    EXPECT_EQ(formatInteger(u"%3c|%-3c|%03c", 0x20AC), u"  \u20ac|\u20ac  |00\u20ac");
    EXPECT_EQ(formatInteger(u"%hc", 0x1E9), u"\u00e9");
    EXPECT_EQ(formatInteger(u"Value: %d%%", 7), u"Value: 7%");
    EXPECT_EQ(formatInteger(u"%d and %x", 26), u"26 and 1a");
}

TEST(NumberText, PrintfSizePrefixesSelectTheBits) {
    EXPECT_EQ(formatInteger(u"%lld", -1), u"-1");
    EXPECT_EQ(formatInteger(u"%I64u", -1), u"18446744073709551615");
    EXPECT_EQ(formatInteger(u"%llx", -1), u"ffffffffffffffff");
    EXPECT_EQ(formatInteger(u"%I64d", INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(formatInteger(u"%u", -1), u"4294967295");
    EXPECT_EQ(formatInteger(u"%d", 4294967297), u"1");
    EXPECT_EQ(formatInteger(u"%ld", 2147483648), u"-2147483648");
    EXPECT_EQ(formatInteger(u"%x", -1), u"ffffffff");
    EXPECT_EQ(formatInteger(u"%o", -1), u"37777777777");
    EXPECT_EQ(formatInteger(u"%hd", 65537), u"1");
    EXPECT_EQ(formatInteger(u"%hd", 32768), u"-32768");
    EXPECT_EQ(formatInteger(u"%hu", -1), u"65535");
}

TEST(NumberText, PrintfDoubleConversions) {
    EXPECT_EQ(formatDouble(u"%.2f", 3.14159), u"3.14");
    EXPECT_EQ(formatDouble(u"%08.3f", -3.5), u"-003.500");
    EXPECT_EQ(formatDouble(u"%e", 12345.678), u"1.234568e+004");
    EXPECT_EQ(formatDouble(u"%G", 1e-10), u"1E-010");
    EXPECT_EQ(formatDouble(u"%g", 1e6), u"1e+006");
    EXPECT_EQ(formatDouble(u"%f", 1.0), u"1.000000");
    EXPECT_EQ(formatDouble(u"%.0e", 12345.0), u"1e+004");
    EXPECT_EQ(formatDouble(u"%+.1E", 0.00012), u"+1.2E-004");
    EXPECT_EQ(formatDouble(u"%.3g", 1234.5), u"1.23e+003");
    EXPECT_EQ(formatDouble(u"%.0g", 25.0), u"2e+001");
    EXPECT_EQ(formatDouble(u"%.15g", 0.1), u"0.1");
    EXPECT_EQ(formatDouble(u"%.17g", 0.1), u"0.10000000000000001");
    EXPECT_EQ(formatDouble(u"% 010.2f|%-9.1f|", 2.25), u" 000002.25|2.2      |");
    // '#' keeps the point and, for %g, the trailing zeros.
    EXPECT_EQ(formatDouble(u"%#.0f %#.0e", 3.0), u"3. 3.e+000");
    EXPECT_EQ(formatDouble(u"%#g", 1.0), u"1.00000");
    EXPECT_EQ(formatDouble(u"%#g", 1e-5), u"1.00000e-005");
    EXPECT_EQ(formatDouble(u"%#.3G", 0.0001234), u"0.000123");
    EXPECT_EQ(formatDouble(u"%g %f", -0.0), u"-0 -0.000000");
}

TEST(NumberText, PrintfConvertsToTheConversionsKind) {
    EXPECT_EQ(formatInteger(u"%f", 3), u"3.000000");
    EXPECT_EQ(formatInteger(u"%g", 1000000), u"1e+006");
    EXPECT_EQ(formatInteger(u"%.0f", INT64_MAX), u"9223372036854775808");
    EXPECT_EQ(formatDouble(u"%d", 3.99), u"3");
    EXPECT_EQ(formatDouble(u"%d", -3.99), u"-3");
    EXPECT_EQ(formatDouble(u"%x", -1.0), u"ffffffff");
    EXPECT_EQ(formatDouble(u"%I64d", 1e30), u"9223372036854775807");
    EXPECT_EQ(formatDouble(u"%I64d", -1e30), u"-9223372036854775808");
    EXPECT_EQ(formatDouble(u"%d %d", kInf), u"0 0");
    EXPECT_EQ(formatDouble(u"%d", std::numeric_limits<double>::quiet_NaN()), u"0");
    EXPECT_EQ(formatDouble(u"%c", 66.7), u"B");
}

TEST(NumberText, PrintfCopiesWhatItDoesNotKnow) {
    EXPECT_EQ(formatInteger(u"%s %p %n", 1), u"%s %p %n");
    EXPECT_EQ(formatInteger(u"%*d", 1), u"%*d");
    EXPECT_EQ(formatInteger(u"%5.2s|%I32d|%hhd|%Lf", 1), u"%5.2s|%I32d|%hhd|%Lf");
    EXPECT_EQ(formatInteger(u"100%", 1), u"100%");
    EXPECT_EQ(formatInteger(u"%-", 1), u"%-");
    EXPECT_EQ(formatInteger(u"%I6", 1), u"%I6");
    EXPECT_EQ(formatInteger(u"", 1), u"");
    EXPECT_EQ(formatInteger(u"caf\u00e9 %d \U0001F600", 1), u"caf\u00e9 1 \U0001F600");
    // The runtime's result was NUL-terminated text, so a NUL ends it.
    EXPECT_EQ(formatInteger(std::u16string_view(u"a%db\0c%d", 8), 1), u"a1b");
    EXPECT_EQ(formatInteger(u"x%cy", 0), u"x");
}

TEST(NumberText, PrintfOutputIsBounded) {
    EXPECT_EQ(formatInteger(u"%d", 123456, 3), u"123");
    EXPECT_EQ(formatInteger(u"abc", 1, 0), u"");
    EXPECT_EQ(formatInteger(u"%99999999999d", 1), std::u16string(255, u' '));
    EXPECT_EQ(formatInteger(u"%-99999999999d", 1), u"1" + std::u16string(254, u' '));
    EXPECT_EQ(formatDouble(u"%.99999999f", 1.0, 10000).size(), 514u);
    EXPECT_EQ(formatInteger(u"%.99999d", 7, 10000), std::u16string(511, u'0') + u"7");
    EXPECT_EQ(formatDouble(u"%.512e|", -1e308, 10000).size(), 1 + 1 + 1 + 512 + 5 + 1u);
    EXPECT_EQ(formatDouble(u"%f", -std::numeric_limits<double>::max(), 10000).size(), 317u);
    std::u16string longFormat(1 << 20, u'x');
    EXPECT_EQ(formatInteger(longFormat, 1).size(), 255u);
    // The longest body there is: every integer digit of the largest double and 512 decimals.
    EXPECT_EQ(formatDouble(u"%.512f", -std::numeric_limits<double>::max(), 10000).size(), 823u);
}

TEST(NumberText, ParseSyntax) {
    struct Case {
        const char* text;
        double value;
        size_t used;
    };
    const Case cases[] = {
        {"1e", 1.0, 1},         {"1e+", 1.0, 1},
        {".5", 0.5, 2},         {"5.", 5.0, 2},
        {".", 0.0, 0},          {"-.e5", 0.0, 0},
        {"-.5e-3", -0.0005, 6}, {" \t\r\n\v\f+12.5d2xyz", 1250.0, 13},
        {"3D-1", 0.3, 4},       {"0x1A", 0.0, 1},
        {"inf", 0.0, 0},        {"  ", 0.0, 0},
        {"- 5", 0.0, 0},        {"1,5", 1.0, 1},
        {"007", 7.0, 3},
    };
    for (const Case& c : cases) {
        size_t used = 0;
        EXPECT_EQ(parse(c.text, &used), c.value) << c.text;
        EXPECT_EQ(used, c.used) << c.text;
    }
    EXPECT_TRUE(std::signbit(parse("-0")));
    EXPECT_TRUE(std::signbit(parse("-0e99999")));
    EXPECT_EQ(parseDecimal(static_cast<const char*>(nullptr), 0, nullptr), 0u);

    // The wide overload reads the same text and stops at any non-ASCII unit.
    std::u16string wide = u"  -1.25E+2\u0661";
    double value = 0;
    EXPECT_EQ(parseDecimal(wide.data(), wide.size(), &value), 10u);
    EXPECT_EQ(value, -125.0);
    std::u16string arabicDigit = u"\u0661";
    EXPECT_EQ(parseDecimal(arabicDigit.data(), arabicDigit.size(), &value), 0u);
    EXPECT_EQ(value, 0.0);
    std::u16string shortLength = u"12345";
    EXPECT_EQ(parseDecimal(shortLength.data(), 2, &value), 2u);
    EXPECT_EQ(value, 12.0);
}

TEST(NumberText, ParseRangeLimits) {
    EXPECT_EQ(parse("1e309"), kInf);
    EXPECT_EQ(parse("-1e99999999999999999999"), -kInf);
    EXPECT_EQ(parse("1.7976931348623157e308"), std::numeric_limits<double>::max());
    EXPECT_EQ(parse("1.7976931348623158e308"), std::numeric_limits<double>::max());
    EXPECT_EQ(parse("1.7976931348623159e308"), kInf);
    EXPECT_EQ(parse("0.0000001e316"), kInf);
    EXPECT_EQ(parse("1000000e-330"), 0.0);
    EXPECT_EQ(parse("4.9e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(parse("2.4703282292062328e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(parse("2.4703282292062327e-324"), 0.0);
    EXPECT_EQ(parse("2.2250738585072011e-308"),
              std::bit_cast<double>(uint64_t{0x000FFFFFFFFFFFFF}));
    EXPECT_EQ(parse("1e-99999999999999999999"), 0.0);
    EXPECT_TRUE(std::signbit(parse("-1e-400")));
    EXPECT_EQ(parse("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(parse("9007199254740995"), 9007199254740996.0);
}

TEST(NumberText, ParseHugeInputsStayLinear) {
    // 10 MB of digits: a tie broken only by the last digit, and a point shifted far away.
    std::string halfway = "1.00000000000000011102230246251565404236316680908203125";
    std::string text = halfway + std::string(10000000, '0');
    EXPECT_EQ(parse(text), 1.0);
    text += "1";
    EXPECT_EQ(parse(text), std::nextafter(1.0, 2.0));
    std::string shifted = "1" + std::string(10000000, '0') + "e-10000000";
    size_t used = 0;
    EXPECT_EQ(parse(shifted, &used), 1.0);
    EXPECT_EQ(used, shifted.size());
    std::string leadingZeros = "0." + std::string(10000000, '0') + "1e10000001";
    EXPECT_EQ(parse(leadingZeros), 1.0);
    std::string longExponent = "1e-" + std::string(10000000, '0') + "1";
    EXPECT_EQ(parse(longExponent, &used), 0.1);
    EXPECT_EQ(used, longExponent.size());
}

TEST(NumberText, ParseRoundsMidpointsCorrectly) {
    // Exact midpoints between neighbouring doubles go to the even one; a hair either side
    // decides. Also each double's full exact expansion and its "%.17g" text read back exactly.
    std::mt19937_64 random(99);
    for (int i = 0; i < 1500; ++i) {
        double value = std::fabs(randomDouble(random));
        if (value == std::numeric_limits<double>::max()) continue;
        double next = std::nextafter(value, kInf);
        uint64_t mantissa = 0;
        int32_t exponent = 0;
        splitDouble(value, mantissa, exponent);
        ExactDecimal mid = exactDecimal(2 * mantissa + 1, exponent - 1);
        std::string scale = "e-" + std::to_string(mid.decimals);
        double even = mantissa % 2 == 0 ? value : next;
        ASSERT_EQ(parse(mid.digits + scale), even) << std::hexfloat << value;
        ASSERT_EQ(parse(mid.digits + "0000001e-" + std::to_string(mid.decimals + 7)), next)
            << std::hexfloat << value;
        std::string below = mid.digits;
        size_t k = below.size();
        while (below[k - 1] == '0') below[--k] = '9';
        --below[k - 1];
        ASSERT_EQ(parse(below + "9999999e-" + std::to_string(mid.decimals + 7)), value)
            << std::hexfloat << value;
        ExactDecimal exact = exactDecimal(value);
        ASSERT_EQ(parse(exact.digits + "e-" + std::to_string(exact.decimals)), value);
        std::u16string shortest = formatDouble(u"%.17g", value);
        double back = 0;
        ASSERT_EQ(parseDecimal(shortest.data(), shortest.size(), &back), shortest.size());
        ASSERT_EQ(back, value) << std::hexfloat << value;
    }
}
