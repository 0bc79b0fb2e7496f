// Fuzz target: number text both ways. The text goes through the string-to-number conversion,
// parseInt (with a radix from the input), parseFloat and the in-house decimal parser; the values
// come back out through the number's own toString(radix) and format, and the fixed-point and
// printf-style formatters. Checked on the way: the two paths of the string conversion agree, and
// enough fixed-point digits read back as the same double.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_engine.h"
#include "platform/number_text.h"

using namespace quill;

namespace {

bool sameValue(const ScriptValue& a, const ScriptValue& b) {
    if (a.tag != b.tag) return false;
    if (a.tag == kTagInteger) return a.i == b.i;
    if (a.tag == kTagNumber) return std::memcmp(&a.d, &b.d, sizeof a.d) == 0;
    return true;
}

double asDouble(const ScriptValue& v) {
    if (v.tag == kTagInteger) return double(v.i);
    if (v.tag == kTagNumber) return v.d;
    return NAN;
}

// A double printed with 20 digits after the point has at least 20 significant digits once its
// magnitude is 1 or more, which reads back exactly.
void checkFixedRoundTrip(double d) {
    if (!std::isfinite(d) || std::fabs(d) < 1.0) return;
    std::string text = platform::formatDoubleFixed(d, 20);
    double back = 0;
    size_t used = platform::parseDecimal(text.data(), text.size(), &back);
    if (used != text.size() || back != d) fuzz::fail("fixed-point text does not read back", text);
}

// The value's own members, as scripts reach them.
void formatValue(ScriptEngine* engine, const ScriptValue& value, int64_t radix,
                 const std::u16string& format) {
    ScriptValue args[2] = {makeInteger(1), makeInteger(radix)};
    callMethod(engine, value, "toString", 2, args);
    args[1] = newString(engine, format);
    callMethod(engine, value, "format", 2, args);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    fuzz::FuzzInput in(data, size);
    uint8_t radixByte = in.byte();
    uint8_t precision = in.byte();
    std::u16string format = in.field();
    std::u16string text = in.rest();

    ScriptValue direct = stringToNumber(text);
    double decimal = 0;
    size_t used = platform::parseDecimal(text.data(), text.size(), &decimal);
    if (used > text.size()) fuzz::fail("parseDecimal read past its text");
    checkFixedRoundTrip(decimal);
    checkFixedRoundTrip(asDouble(direct));
    platform::formatDoubleFixed(decimal, precision);
    platform::formatDoubleG(decimal);
    int64_t whole = std::fabs(decimal) < 9.2e18 ? int64_t(decimal) : 0;
    platform::formatInteger(format, whole, 4096);
    platform::formatDouble(format, decimal, 4096);

    fuzz::FuzzEngine fuzzEngine;
    ScriptEngine* engine = fuzzEngine.get();
    ScriptValue string = newString(engine, text);
    RootedValues keep(engine, &string, 1);

    ScriptValue converted = makeUndefined();
    if (!guardHostCall(engine, [&] { converted = toNumber(engine, string); })) {
        fuzz::fail("toNumber of a string raised", engine->errorBuffer);
    }
    if (!sameValue(converted, direct)) {
        fuzz::fail("toNumber and stringToNumber disagree",
                   fuzz::describe(converted) + " vs " + fuzz::describe(direct));
    }

    // Radix bytes 0..39 give -2..37 (the bounds and just past them); 255 passes no radix.
    ScriptValue args[3] = {makeInteger(2), string, makeInteger(int64_t(radixByte % 40) - 2)};
    callFunction(engine, "parseInt", nullptr, radixByte == 255 ? 2 : 3, args);
    ScriptValue parsedInt = engine->returnSlot;
    callFunction(engine, "parseFloat", nullptr, 2, args);
    ScriptValue parsedFloat = engine->returnSlot;
    checkFixedRoundTrip(asDouble(parsedFloat));

    int64_t radix = int64_t(precision % 40) - 2;
    formatValue(engine, direct, radix, format);
    formatValue(engine, parsedInt, radix, format);
    formatValue(engine, parsedFloat, radix, format);
    fuzzEngine.expectUsable();
    return 0;
}
