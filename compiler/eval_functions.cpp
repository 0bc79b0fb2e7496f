// The globals `eval` (compile and run text in the same engine) and `evals` (the same for a
// source file); both give the completion value the run leaves in the engine.
#include <string>

#include "builtins/builtin_support.h"
#include "compiler/compile_driver.h"
#include "runtime/module.h"

namespace quill {

namespace {

std::string ansiText(ScriptEngine* e, const ScriptValue& string) {
    char* text = toAnsi(e, string);
    std::string copy(text);
    plainFree(text);
    return copy;
}

void evalNative(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result, ScriptValue* argv) {
    if (!hasArg(argv, 1)) {
        *result = makeUndefined();
        return;
    }
    if (argv[1].tag != kTagString) {
        *result = argv[1];
        return;
    }
    runScriptText(e, ansiText(e, argv[1]));
    *result = e->returnSlot;
}

void evalsNative(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result, ScriptValue* argv) {
    if (!hasArg(argv, 1) || argv[1].tag != kTagString) {
        *result = makeUndefined();
        return;
    }
    std::string path = ansiText(e, argv[1]);
    std::vector<uint8_t> module;
    if (compileFile(e, path.c_str(), engineCompileOptions(e), &module)) {
        runModule(e, module.data(), module.size());
    }
    *result = e->returnSlot;
}

}  // namespace

void registerEvalFunctions(ScriptEngine* engine) {
    ClassDescriptor* eval = registerClass(engine, "eval");
    eval->call = evalNative;
    eval->synopsis = "text";
    eval->summary =
        "Compiles and runs text in this engine (its top-level var statements make globals) and "
        "answers its completion value; a value that is not a string is answered unchanged.";
    ClassDescriptor* evals = registerClass(engine, "evals");
    evals->call = evalsNative;
    evals->synopsis = "path";
    evals->summary =
        "Compiles and runs the script source file in this engine and answers its completion "
        "value; undefined when path is not a string.";
}

}  // namespace quill
