// Fuzz target: regular expressions. Fields of the input: a flag byte, the pattern, the subject,
// the replacement text and a second pattern for `compile`. The pattern runs through exec (looped
// for `g`), test, the four String operations and the statics.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_engine.h"

using namespace quill;

namespace {

// Values the target keeps across calls that may collect.
enum Slot { kPattern, kSubject, kReplacement, kSecondPattern, kFlags, kRegExp, kSlotCount };

bool call(ScriptEngine* engine, const ScriptValue& receiver, const char* member,
          std::initializer_list<ScriptValue> arguments) {
    ScriptValue args[4] = {makeInteger(int64_t(arguments.size()))};
    uint32_t n = 1;
    for (const ScriptValue& a : arguments) args[n++] = a;
    return callMethod(engine, receiver, member, n, args) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    fuzz::FuzzInput in(data, size);
    uint8_t flagBits = in.byte();
    std::u16string pattern = in.field();
    std::u16string subject = in.field();
    std::u16string replacement = in.field();
    std::u16string second = in.field();
    std::u16string flags;
    if (flagBits & 1) flags += u'g';
    if (flagBits & 2) flags += u'i';
    if (flagBits & 4) flags += u'm';
    if (flagBits & 8) flags += u'x';  // not a flag: ignored

    fuzz::FuzzEngine fuzzEngine;
    ScriptEngine* engine = fuzzEngine.get();
    ScriptValue v[kSlotCount];
    for (ScriptValue& value : v) value = makeUndefined();
    RootedValues keep(engine, v, kSlotCount);
    v[kPattern] = newString(engine, pattern);
    v[kSubject] = newString(engine, subject);
    v[kReplacement] = newString(engine, replacement);
    v[kSecondPattern] = newString(engine, second);
    v[kFlags] = newString(engine, flags);

    ScriptValue args[3] = {makeInteger(2), v[kPattern], v[kFlags]};
    if (callFunction(engine, "RegExp", nullptr, 3, args) && engine->returnSlot.tag == kTagHost) {
        v[kRegExp] = engine->returnSlot;
        const ScriptValue& re = v[kRegExp];
        // A global expression walks the subject; every step must move or end the loop.
        for (int i = 0; i < 64; ++i) {
            if (!call(engine, re, "exec", {v[kSubject]}) || engine->returnSlot.tag != kTagArray)
                break;
        }
        call(engine, re, "test", {v[kSubject]});
        call(engine, v[kSubject], "match", {re});
        call(engine, v[kSubject], "search", {re});
        call(engine, v[kSubject], "replace", {re, v[kReplacement]});
        call(engine, v[kSubject], "split", {re});
        call(engine, v[kSubject], "split", {re, makeInteger(flagBits >> 4)});
        static const char* const kStatics[] = {
            "$1", "$9", "lastMatch", "lastParen", "leftContext", "rightContext", "input"};
        for (const char* name : kStatics) {
            guardHostCall(engine, [&] {
                ScriptValue out;
                getProperty(engine, re, intern(engine, name), &out);
            });
        }
        call(engine, re, "toString", {});
        if (call(engine, re, "compile", {v[kSecondPattern], v[kFlags]})) {
            call(engine, re, "exec", {v[kSubject]});
            call(engine, v[kSubject], "replace", {re, v[kReplacement]});
        }
    }
    // Plain strings as patterns take the other path of the String operations.
    call(engine, v[kSubject], "replace", {v[kPattern], v[kReplacement]});
    call(engine, v[kSubject], "split", {v[kPattern]});
    fuzzEngine.expectUsable();
    return 0;
}
