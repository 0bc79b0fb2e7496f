// The Boolean class: conversion by call or construction (always a primitive) and the methods of
// boolean values.
#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"

namespace quill {

namespace {

void booleanConvert(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result,
                    ScriptValue* argv) {
    *result = makeBoolean(hasArg(argv, 1) && toBoolean(e, argv[1]));
}

void booleanConstruct(ScriptEngine* e, ClassDescriptor* cls, ScriptValue* argv,
                      ScriptValue* result) {
    booleanConvert(e, cls, nullptr, result, argv);
}

int booleanMethod(ScriptEngine* e, ClassDescriptor*, void* data, uint32_t atom, ScriptValue* result,
                  ScriptValue*) {
    const auto* self = static_cast<const ScriptValue*>(data);
    if (atom == e->atomToString) {
        if (!self) {
            *result = newStringFromAscii(e, "[type Function]");
        } else {
            *result = staticString(e, self->i ? kStrTrue : kStrFalse);
        }
        return 1;
    }
    if (atom == e->atomValueOf) {
        *result = self ? *self : getGlobal(e, "Boolean");
        return 1;
    }
    return 0;
}

}  // namespace

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kBooleanReference[] = {
    bind::describedClassMethod("toString", "",
                               "\"true\" or \"false\"; \"[type Function]\" on the class."),
    bind::describedClassMethod("valueOf", "",
                               "The boolean itself; the Boolean class on the class."),
};

void registerBoolean(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "Boolean", ClassId::kBoolean);
    cls->synopsis = "[value]";
    cls->summary =
        "Converts value to a boolean primitive (there are no wrapper objects; no argument gives "
        "false).";
    cls->call = booleanConvert;
    cls->construct = booleanConstruct;
    cls->method = booleanMethod;
    engine->typeTable[kTagBoolean] = cls;
}

bind::MemberTable booleanReference() {
    return kBooleanReference;
}

}  // namespace quill
