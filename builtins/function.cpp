// The Function class: the methods of function values and the constructor that compiles a
// function from text.
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"

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

}  // namespace

void registerFunction(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "Function");
    cls->method = functionMethod;
    engine->typeTable[kTagFunction] = cls;
}

}  // namespace quill
