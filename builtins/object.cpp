// The Object class: conversion and construction of plain objects, and the methods every object
// answers when neither it nor its prototypes define them (toString, valueOf, toSource).
#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"

namespace quill {

namespace {

bool noValue(const ScriptValue* argv) {
    return !hasArg(argv, 1) || argv[1].tag == kTagUndefined || argv[1].tag == kTagNull;
}

void objectCall(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result, ScriptValue* argv) {
    // Only a lone undefined or null makes an empty object; Object(null, x) converts null.
    bool empty = argCount(argv) == 0 || (argCount(argv) == 1 && noValue(argv));
    *result = empty ? makeObject(newObject(e)) : toObject(e, argv[1]);
}

void objectConstruct(ScriptEngine* e, ClassDescriptor*, ScriptValue* argv, ScriptValue* result) {
    if (noValue(argv)) {
        *result = makeObject(newObject(e));
    } else if (argv[1].tag == kTagString) {
        *result = toObject(e, argv[1]);
    } else {
        *result = argv[1];
    }
}

int objectMethod(ScriptEngine* e, ClassDescriptor*, void* data, uint32_t atom, ScriptValue* result,
                 ScriptValue*) {
    const auto* self = static_cast<const ScriptValue*>(data);
    if (atom == e->atomToString) {
        *result =
            self ? staticString(e, kStrObjectObject) : newStringFromAscii(e, "[type Function]");
        return 1;
    }
    if (atom == e->atomValueOf) {
        *result = self ? *self : getGlobal(e, "Object");
        return 1;
    }
    if (atom == e->atomToSource) {
        *result = self ? makeUndefined() : newStringFromAscii(e, "new Object()");
        return 1;
    }
    return 0;
}

}  // namespace

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kObjectReference[] = {
    bind::describedClassMethod("toString", "",
                               "\"[object Object]\"; \"[type Function]\" on the class. A function "
                               "property of the same name replaces it."),
    bind::describedClassMethod("valueOf", "", "The object itself; the Object class on the class."),
    bind::describedClassMethod("toSource", "",
                               "Undefined for objects; \"new Object()\" on the class."),
};

void registerObject(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "Object", ClassId::kObject);
    cls->synopsis = "[value]";
    cls->summary =
        "Plain objects: new Object() is an empty object; its members, which a script can replace "
        "by assigning a function property, also answer for values of other types that lack "
        "them.";
    cls->call = objectCall;
    cls->construct = objectConstruct;
    cls->method = objectMethod;
    engine->typeTable[kTagObject] = cls;
}

bind::MemberTable objectReference() {
    return kObjectReference;
}

}  // namespace quill
