// Number <-> text conversions with the exact behaviour of the Windows C runtime that scripts
// were written against ("%g" with three-digit exponents, "%I64d", wide printf, wcstod), done
// in-house so that both builds produce the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quill::platform {

// printf "%g": six significant digits, trailing zeros removed, exponent sign and at least three
// exponent digits (1e+006, 3.33333e-005, 1.23457e+006, 0.1, 2, -0). Infinities print as
// "1.#INF" / "-1.#INF" and a NaN double as "1.#QNAN" / "-1.#IND" the way that runtime does.
std::string formatDoubleG(double value);

// The 64-bit integer in a radix from 2 to 36: radix 10 writes a leading '-' for negative values;
// any other radix writes the two's-complement bit pattern as an unsigned number. Digits above 9
// are lower-case letters. Radixes outside 2..36 are treated as 10.
std::string formatIntegerRadix(int64_t value, int radix);

// Exact fixed-point text of a double with `precision` digits after the point ("%.*f"), rounded
// half-even on the exact binary value. The precision is clamped to 0..512 (the runtime's own
// limit); infinities and NaNs print as that runtime's "%f" does ("1.#INF00").
std::string formatDoubleFixed(double value, int precision);

// Wide printf of one value with a script-supplied format: literal text, "%%", and conversions
// with flags (- + space # 0), width and precision (numbers or '*' is not supported and is
// printed literally), size prefixes I64, ll, l, h, and the conversions d i u x X o c for
// integers and e E f g G for doubles. Every conversion formats the one value, converted to the
// conversion's kind (an integer for d..o, a double for e..G); anything that is not a recognised
// conversion is copied as it stands. The output is capped at `maxUnits` code units.
// Without a size prefix (or with l) the integer conversions use the low 32 bits of the value,
// with h the low 16 bits, and %hc the low byte; a double given to an integer conversion is
// truncated toward zero and saturated to the 64-bit range (infinities and NaNs give 0).
// Precisions are capped at 512 and widths at 65536. As with the runtime's NUL-terminated
// result, a NUL in the format or a "%c" of 0 ends the text.
std::u16string formatInteger(std::u16string_view format, int64_t value, size_t maxUnits = 255);
std::u16string formatDouble(std::u16string_view format, double value, size_t maxUnits = 255);

// The C runtime's wide decimal conversion (wcstod): optional leading white space (space, tab,
// LF, VT, FF, CR), optional sign, digits with an optional '.', an optional exponent introduced by
// e, E, d or D with optional sign and at least one digit (without a digit the exponent is not
// consumed). No hexadecimal, no inf/nan words. Correctly rounded; overflow gives an infinity.
// Returns the number of code units consumed (0 when no number was found; *out is then 0.0).
size_t parseDecimal(const char16_t* text, size_t length, double* out);
size_t parseDecimal(const char* text, size_t length, double* out);

// The value of a digit or letter in radixes up to 36 (a and A are 10); 99 for anything else.
int digitValue(char16_t c);
// The value of a run of digits in a radix of 2^bitsPerDigit (2 to 32), rounded to 53
// significant bits, ties to even, with every remaining bit counted.
double roundBinaryDigits(std::u16string_view digits, int bitsPerDigit);

}  // namespace quill::platform
