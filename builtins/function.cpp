// The Function class: the methods of function values and the constructor that compiles a
// function from text.
#include <string>

#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "compiler/compile_driver.h"

namespace quill {

namespace {

int functionMethod(ScriptEngine* e, ClassDescriptor*, void* data, uint32_t atom,
                   ScriptValue* result, ScriptValue*) {
    const auto* self = static_cast<const ScriptValue*>(data);
    if (atom == e->atomToString) {
        *result = newStringFromAscii(e, "[object Function]");
        return 1;
    }
    if (atom == e->atomValueOf) {
        *result = self ? *self : getGlobal(e, "Function");
        return 1;
    }
    return 0;
}

std::string ansiText(ScriptEngine* e, const ScriptValue& string) {
    char* text = toAnsi(e, string);
    std::string copy(text);
    plainFree(text);
    return copy;
}

// new Function(p1, ..., pn, body): compiles "function (p1, ..., pn) {body}"; the anonymous
// function it defines is the global "@F_n" numbered from the counter before the compilation.
void functionConstruct(ScriptEngine* e, ClassDescriptor*, ScriptValue* argv, ScriptValue* result) {
    uint32_t n = argCount(argv);
    std::string text = "function (";
    bool first = true;
    for (uint32_t i = 1; i < n; ++i) {
        if (argv[i].tag != kTagString) continue;
        if (!first) text += ", ";
        text += ansiText(e, argv[i]);
        first = false;
    }
    text += ") {";
    if (n >= 1 && argv[n].tag == kTagString) text += ansiText(e, argv[n]);
    text += "}";
    uint32_t before = e->anonymousCounter;
    if (!runScriptText(e, text)) {
        *result = makeNull();
        return;
    }
    *result = getGlobal(e, ("@F_" + std::to_string(before)).c_str());
}

}  // namespace

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kFunctionReference[] = {
    bind::describedClassMethod("toString", "",
                               "\"[object Function]\", for every function (not its source)."),
    bind::describedClassMethod("valueOf", "",
                               "The function itself; the Function class on the class."),
};

void registerFunction(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "Function", ClassId::kFunction);
    cls->synopsis = "[parameter, ...,] body";
    cls->summary =
        "Script functions; new Function(...) compiles a new function from text (parameters and "
        "body as strings), null when it does not compile.";
    cls->method = functionMethod;
    cls->construct = functionConstruct;
    engine->typeTable[kTagFunction] = cls;
}

bind::MemberTable functionReference() {
    return kFunctionReference;
}

}  // namespace quill
