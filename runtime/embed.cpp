// The embedding interface's own pieces: trace text, calls by global name with string arguments,
// and the failure, place and completion reports (the rest of embed.h is implemented where the
// engine, the compile driver and the module loader live).
#include "runtime/embed.h"

#include <vector>

#include "runtime/module.h"
#include "runtime/script_engine.h"

namespace quill {

namespace {

void traceAsText(ScriptEngine* engine, void* user, const ScriptValue* argv) {
    if (!engine->traceText || argv[0].i < 1 || argv[1].tag != kTagString) return;
    engine->traceText(user, toUtf8String(stringView(argv[1])));
}

}  // namespace

void setTraceText(ScriptEngine* engine, TextOutput output, void* user) {
    engine->traceText = output;
    setTraceOutput(engine, output ? traceAsText : nullptr, user);
}

int callGlobalFunction(ScriptEngine* engine, const char* name,
                       std::initializer_list<std::string_view> arguments) {
    std::vector<ScriptValue> argv(arguments.size() + 1, makeUndefined());
    argv[0] = makeInteger(int64_t(arguments.size()));
    RootedValues rooted(engine, argv.data(), argv.size());
    int made = guardHostCall(engine, [&] {
        size_t i = 1;
        for (std::string_view text : arguments) argv[i++] = newStringFromUtf8(engine, text);
    });
    if (!made) return finishEntry(engine, 0);
    return callFunction(engine, name, nullptr, uint32_t(argv.size()), argv.data());
}

ErrorKind errorKind(const ScriptEngine* engine) {
    return engine->errorKind;
}

std::string errorText(const ScriptEngine* engine) {
    return engine->errorBuffer;
}

std::string diagnostics(const ScriptEngine* engine) {
    return engine->messageBuffer;
}

ErrorPlace errorPlace(ScriptEngine* engine) {
    ErrorPlace place;
    if (!engine->errorLocated || !engine->errorIp) return place;
    place.known = true;
    place.function = functionNameAt(engine, engine->errorIp);
    const char* source = sourceLineAt(engine, engine->errorIp, &place.line);
    if (source) place.source = source;
    return place;
}

std::string completionText(ScriptEngine* engine) {
    // The conversion may run a script's toString; the return slot is kept aside meanwhile.
    ScriptValue value = engine->returnSlot;
    RootedValues rooted(engine, &value, 1);
    std::string text;
    guardHostCall(engine, [&] { text = toUtf8String(stringView(toString(engine, value))); });
    engine->returnSlot = value;
    return text;
}

bool completionBoolean(const ScriptEngine* engine, bool* value) {
    if (engine->returnSlot.tag != kTagBoolean) return false;
    *value = engine->returnSlot.i != 0;
    return true;
}

bool isWellFormedModule(const uint8_t* bytes, size_t length) {
    ModuleRecord* module = readModule(bytes, length);
    bool wellFormed = module != nullptr;
    freeModule(module);
    return wellFormed;
}

}  // namespace quill
