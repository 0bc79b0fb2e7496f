// Fuzz target: Date.parse on arbitrary text, and the text forms of what it gives. Checked: a
// time whose GMT text has a four-digit year from 1970 reads back as the same second.
#include <cstdint>
#include <string>

#include "builtins/date.h"
#include "fuzz/fuzz_engine.h"

using namespace quill;

namespace {

ScriptValue parseDate(ScriptEngine* engine, const ScriptValue& dateClass, const ScriptValue& text) {
    ScriptValue args[2] = {makeInteger(1), text};
    if (!callMethod(engine, dateClass, "parse", 2, args)) {
        fuzz::fail("Date.parse failed", engine->errorBuffer);
    }
    return engine->returnSlot;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    fuzz::FuzzInput in(data, size);
    std::u16string text = in.rest();

    fuzz::FuzzEngine fuzzEngine;
    ScriptEngine* engine = fuzzEngine.get();
    ScriptValue values[3] = {getGlobal(engine, "Date"), newString(engine, text), makeUndefined()};
    RootedValues keep(engine, values, 3);

    ScriptValue parsed = parseDate(engine, values[0], values[1]);
    if (parsed.tag != kTagInteger) fuzz::fail("Date.parse gave no integer", fuzz::describe(parsed));
    newDate(engine, &values[2], double(parsed.i));
    static const char* const kTextForms[] = {"toString", "toLocaleString", "toGMTString",
                                             "toUTCString"};
    ScriptValue none[1] = {makeInteger(0)};
    for (const char* member : kTextForms) callMethod(engine, values[2], member, 1, none);

    callMethod(engine, values[2], "getUTCFullYear", 1, none);
    int64_t year = engine->returnSlot.tag == kTagInteger ? engine->returnSlot.i : 0;
    if (year >= 1970 && year <= 9999 && callMethod(engine, values[2], "toGMTString", 1, none)) {
        ScriptValue gmt = engine->returnSlot;
        ScriptValue again = parseDate(engine, values[0], gmt);
        int64_t second = parsed.i - ((parsed.i % 1000) + 1000) % 1000;
        if (again.tag != kTagInteger || again.i != second) {
            fuzz::fail("GMT text does not read back",
                       fuzz::describe(gmt) + " gives " + fuzz::describe(again));
        }
    }
    fuzzEngine.expectUsable();
    return 0;
}
