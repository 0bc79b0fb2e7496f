// Host classes (descriptors, instances, registration) and property access on any value: reads,
// writes with their warnings, and the conditional write used by `with` scopes.
#include <cstring>

#include "runtime/array.h"
#include "runtime/engine_internal.h"

namespace quill {

namespace {

void finalizeClass(ScriptEngine* engine, void* block) {
    auto* cls = static_cast<ClassDescriptor*>(block);
    if (cls->classDataDestructor && cls->classData) {
        // Freed after the sweep; instances swept in the same pass still reach it until then.
        engine->deferredClassData.emplace_back(cls->classDataDestructor, cls->classData);
    }
}

void finalizeHost(ScriptEngine* engine, void* block) {
    auto* host = static_cast<HostInstance*>(block);
    if (host->cls && host->cls->finalizeInstance && host->data) {
        host->cls->finalizeInstance(engine, host->cls, host->data);
    }
    host->data = nullptr;
}

ScriptObject** ownPropsField(const ScriptValue& value) {
    switch (value.tag) {
        case kTagString:
            return &value.str->props;
        case kTagArray:
            return &value.arr->props;
        case kTagFunction:
            return &value.fn->props;
        default:
            return nullptr;
    }
}

// Where a host value keeps its properties: its own props object, or the class prototype.
ScriptObject* hostProps(const ScriptValue& value) {
    return value.host->props ? value.host->props : value.host->cls->prototype;
}

}  // namespace

ClassDescriptor* newClass(ScriptEngine* engine) {
    auto* cls =
        static_cast<ClassDescriptor*>(gcAllocZeroFinalizable(engine, sizeof(ClassDescriptor)));
    cls->selfFinalizer = finalizeClass;
    cls->prototype = newObjectWithProto(engine, nullptr);
    return cls;
}

void newHostValue(ScriptEngine* engine, ScriptValue* out, ClassDescriptor* cls, void* data) {
    auto* host = static_cast<HostInstance*>(gcAllocZeroFinalizable(engine, sizeof(HostInstance)));
    host->finalizer = finalizeHost;
    host->cls = cls;
    host->data = data;
    // No collection can happen before the value is stored.
    if (data) host->props = newObjectWithProto(engine, cls->prototype);
    *out = makeHost(host);
}

ClassDescriptor* registerClass(ScriptEngine* engine, const char* name) {
    return registerClass(engine, name, ClassId::kNone);
}

ClassDescriptor* registerClass(ScriptEngine* engine, const char* name, ClassId id) {
    ClassDescriptor* cls = newClass(engine);
    cls->name = name;
    cls->id = id;
    if (id != ClassId::kNone) engine->classes[static_cast<uint32_t>(id)] = cls;
    registerClassAlias(engine, name, cls);
    return cls;
}

void registerClassAlias(ScriptEngine* engine, const char* name, ClassDescriptor* cls) {
    uint32_t atom = intern(engine, name);
    // Stored before the class value is made: that allocation may collect.
    engine->registeredNames.emplace_back(atom, cls);
    // An alias shares the class value of the first name while that still holds it, so that
    // Stream === FileStream.
    ScriptValue value = getGlobal(engine, cls->name);
    if (value.tag != kTagHost || value.host->cls != cls || value.host->data) {
        newHostValue(engine, &value, cls, nullptr);
    }
    globalSlot(engine, atom) = value;
}

int isHostInstanceOf(ScriptEngine* engine, const ScriptValue& value, const char* className) {
    if (value.tag != kTagHost) return 0;
    int64_t atom = findAtom(engine, className, std::strlen(className));
    if (atom < 0) return 0;
    for (const auto& [name, cls] : engine->registeredNames) {
        if (name == uint32_t(atom)) return cls == value.host->cls;
    }
    return 0;
}

void* hostData(ScriptEngine* engine, const ScriptValue& value, const char* className) {
    return isHostInstanceOf(engine, value, className) ? value.host->data : nullptr;
}

ScriptObject* ownProps(ScriptEngine* engine, const ScriptValue& value, bool create) {
    ScriptObject** field = ownPropsField(value);
    if (!field) return nullptr;
    if (!*field && create) {
        ClassDescriptor* type = engine->typeTable[value.tag];
        *field = newObjectWithProto(engine, type ? type->prototype : nullptr);
    }
    return *field;
}

int getProperty(ScriptEngine* engine, const ScriptValue& target, uint32_t atom,
                ScriptValue* result) {
    *result = makeUndefined();
    switch (target.tag) {
        case kTagObject:
            return lookup(engine, target.obj, atom, result);
        case kTagHost: {
            ClassDescriptor* cls = target.host->cls;
            if (!cls->property) return 0;
            if (cls->property(engine, cls, target.host->data, atom, 0, result)) return 1;
            if (atom == engine->atomProto) {
                *result = makeObject(hostProps(target));
                return 1;
            }
            return lookup(engine, hostProps(target), atom, result);
        }
        default:
            break;
    }
    if (target.tag >= kTypeTableSize) return 0;
    ClassDescriptor* type = engine->typeTable[target.tag];
    if (!type) return 0;
    if (type->property) {
        ScriptValue self = target;
        if (type->property(engine, type, &self, atom, 0, result)) return 1;
        *result = makeUndefined();
    }
    ScriptObject** field = ownPropsField(target);
    if (atom == engine->atomProto && field) {
        *result = makeObject(ownProps(engine, target, true));
        return 1;
    }
    if (field && *field) return lookup(engine, *field, atom, result);
    return lookup(engine, type->prototype, atom, result);
}

void setProperty(ScriptEngine* engine, const ScriptValue& target, uint32_t atom,
                 const ScriptValue& value) {
    switch (target.tag) {
        case kTagObject:
            setByAtom(engine, target.obj, atom, value);
            return;
        case kTagHost: {
            HostInstance* host = target.host;
            ClassDescriptor* cls = host->cls;
            if (!cls->property) {
                warnf(engine, "Warning: using undefined property \"%s\"", atomName(engine, atom));
                return;
            }
            ScriptValue v = value;
            if (cls->property(engine, cls, host->data, atom, 1, &v)) return;
            if (atom == engine->atomProto) {
                if (value.tag != kTagObject) {
                    warnf(engine, "Warning: can't set property \"%s\" with a wrong type",
                          atomName(engine, atom));
                } else if (host->props) {
                    host->props = value.obj;
                } else {
                    cls->prototype = value.obj;
                }
                return;
            }
            setByAtom(engine, hostProps(target), atom, value);
            return;
        }
        default:
            break;
    }
    ClassDescriptor* type = target.tag < kTypeTableSize ? engine->typeTable[target.tag] : nullptr;
    if (!type) {
        warnf(engine, "Warning: using undefined property \"%s\"", atomName(engine, atom));
        return;
    }
    if (type->property) {
        ScriptValue self = target;
        ScriptValue v = value;
        if (type->property(engine, type, &self, atom, 1, &v)) return;
    }
    ScriptObject** field = ownPropsField(target);
    if (!field) {
        warnf(engine, "Warning: using undefined property \"%s\"", atomName(engine, atom));
        return;
    }
    if (atom == engine->atomProto) {
        if (value.tag != kTagObject) {
            warnf(engine, "Warning: can't set property \"%s\" with a wrong type",
                  atomName(engine, atom));
        } else {
            *field = value.obj;
        }
        return;
    }
    setByAtom(engine, ownProps(engine, target, true), atom, value);
}

int setPropertyIfPresent(ScriptEngine* engine, const ScriptValue& target, uint32_t atom,
                         const ScriptValue& value) {
    ScriptValue found;
    switch (target.tag) {
        case kTagObject:
            if (!lookup(engine, target.obj, atom, &found)) return 0;
            setByAtom(engine, target.obj, atom, value);
            return 1;
        case kTagHost: {
            HostInstance* host = target.host;
            ClassDescriptor* cls = host->cls;
            if (cls->property) {
                ScriptValue v = value;
                if (cls->property(engine, cls, host->data, atom, 1, &v)) return 1;
            }
            if (atom == engine->atomProto) {
                if (value.tag != kTagObject) {
                    warnf(engine, "Warning: can't set property \"%s\" with a wrong type",
                          atomName(engine, atom));
                    return 0;
                }
                if (host->props) {
                    host->props = value.obj;
                } else {
                    cls->prototype = value.obj;
                }
                return 1;
            }
            if (host->props && lookup(engine, host->props, atom, &found)) {
                setByAtom(engine, host->props, atom, value);
                return 1;
            }
            if (lookup(engine, cls->prototype, atom, &found)) {
                setByAtom(engine, cls->prototype, atom, value);
                return 1;
            }
            return 0;
        }
        case kTagString:
        case kTagArray:
        case kTagFunction: {
            ClassDescriptor* type = engine->typeTable[target.tag];
            if (type && type->property) {
                ScriptValue self = target;
                ScriptValue v = value;
                if (type->property(engine, type, &self, atom, 1, &v)) return 1;
            }
            ScriptObject* props = ownProps(engine, target, false);
            if (props && findOwnSlot(props, atom) >= 0) {
                setByAtom(engine, props, atom, value);
                return 1;
            }
            return 0;
        }
        default: {
            ClassDescriptor* type =
                target.tag < kTypeTableSize ? engine->typeTable[target.tag] : nullptr;
            if (type && type->property) {
                ScriptValue self = target;
                ScriptValue v = value;
                if (type->property(engine, type, &self, atom, 1, &v)) return 1;
            }
            return 0;
        }
    }
}

}  // namespace quill
