// Fuzz target: the URI decoders and unescape on arbitrary text, and the round trips a script
// relies on: encoding then decoding gives the text back (when it encodes at all), and unescape
// undoes escape for every text.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_engine.h"

using namespace quill;

namespace {

// Calls a global function of one argument; the result is in *out when the call succeeded.
bool callGlobal(ScriptEngine* engine, const char* name, const ScriptValue& argument,
                ScriptValue* out) {
    ScriptValue args[2] = {makeInteger(1), argument};
    if (!callFunction(engine, name, nullptr, 2, args)) return false;
    *out = engine->returnSlot;
    return true;
}

void expectSameText(ScriptEngine* engine, const char* what, const ScriptValue& original,
                    const ScriptValue& back) {
    if (back.tag != kTagString || !stringEquals(original, back)) {
        fuzz::fail(
            what, engine->errorBuffer[0] ? std::string(engine->errorBuffer) : fuzz::describe(back));
    }
}

void roundTrip(ScriptEngine* engine, const char* encoder, const char* decoder, ScriptValue* v) {
    // v[0] the text, v[1] its encoding, v[2] the decoded encoding.
    if (!callGlobal(engine, encoder, v[0], &v[1])) return;  // lone surrogates do not encode
    if (!callGlobal(engine, decoder, v[1], &v[2])) {
        fuzz::fail("the decoder rejects what the encoder wrote", engine->errorBuffer);
    }
    expectSameText(engine, "decoding an encoding changes the text", v[0], v[2]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    fuzz::FuzzInput in(data, size);
    std::u16string text = in.rest();

    fuzz::FuzzEngine fuzzEngine;
    ScriptEngine* engine = fuzzEngine.get();
    ScriptValue v[3] = {newString(engine, text), makeUndefined(), makeUndefined()};
    RootedValues keep(engine, v, 3);

    ScriptValue out;
    callGlobal(engine, "decodeURI", v[0], &out);
    callGlobal(engine, "decodeURIComponent", v[0], &out);
    callGlobal(engine, "unescape", v[0], &out);

    roundTrip(engine, "encodeURIComponent", "decodeURIComponent", v);
    roundTrip(engine, "encodeURI", "decodeURI", v);
    if (!callGlobal(engine, "escape", v[0], &v[1]))
        fuzz::fail("escape failed", engine->errorBuffer);
    if (!callGlobal(engine, "unescape", v[1], &v[2])) {
        fuzz::fail("unescape failed", engine->errorBuffer);
    }
    expectSameText(engine, "unescape does not undo escape", v[0], v[2]);
    fuzzEngine.expectUsable();
    return 0;
}
