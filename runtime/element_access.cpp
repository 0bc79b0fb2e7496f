// Element access on objects (by position or name), arrays (by index), strings (code units, with
// in-place assignment) and host values (string keys as property names), and for-in stepping.
#include "runtime/element_access.h"

#include <cmath>
#include <cstring>

#include "runtime/array.h"
#include "runtime/engine_internal.h"

namespace quill {

namespace {

void warnInvalidIndex(ScriptEngine* e) {
    warn(e, "Warning: invalid index for operator []");
}

// An array index from an integer or number key: integers as they are, numbers truncated toward
// zero. Negative and non-numeric keys give false.
bool arrayIndex(const ScriptValue& key, uint64_t* index) {
    if (key.tag == kTagInteger) {
        if (key.i < 0) return false;
        *index = static_cast<uint64_t>(key.i);
        return true;
    }
    if (key.tag == kTagNumber) {
        double t = std::trunc(key.d);
        if (!(t >= 0.0 && t < 9007199254740992.0)) return false;
        *index = static_cast<uint64_t>(t);
        return true;
    }
    return false;
}

uint32_t internKey(ScriptEngine* e, const ScriptValue& key) {
    char* name = toAnsi(e, key);
    uint32_t atom;
    try {
        atom = intern(e, name, std::strlen(name));
    } catch (...) {
        plainFree(name);
        throw;
    }
    plainFree(name);
    return atom;
}

ScriptValue readHostElement(ScriptEngine* e, const ScriptValue& container, const ScriptValue& key) {
    ClassDescriptor* cls = container.host->cls;
    if (cls == e->activeXClass && cls->method) {
        ScriptValue argv[2] = {makeInteger(1), key};
        ScriptValue result = makeUndefined();
        if (!cls->method(e, cls, container.host->data, e->atomItem, &result, argv)) {
            return makeUndefined();
        }
        return result;
    }
    if (key.tag == kTagInteger) return makeUndefined();
    if (key.tag != kTagString) {
        warnInvalidIndex(e);
        return makeUndefined();
    }
    uint32_t atom = internKey(e, key);
    if (!cls->property) {
        warnf(e, "Warning: using undefined property \"%s\"", atomName(e, atom));
        return makeUndefined();
    }
    ScriptValue result;
    getProperty(e, container, atom, &result);
    return result;
}

void writeStringElement(ScriptEngine* e, const ScriptValue& container, const ScriptValue& key,
                        const ScriptValue& value) {
    if (key.tag != kTagInteger) {
        warnInvalidIndex(e);
        return;
    }
    StringRecord* s = container.str;
    if (s->flags & kStringStatic) {
        warn(e, "Warning: can't change a static string");
        return;
    }
    if (key.i < 0) {
        warnInvalidIndex(e);
        return;
    }
    if (value.tag != kTagInteger && value.tag != kTagString) {
        warn(e, "Warning: can't store a non-charactor value to string");
        return;
    }
    if (uint64_t(key.i) >= 0x7FFFFFFFu) raiseError(e, "Out of memory");
    uint32_t index = static_cast<uint32_t>(key.i);
    // Other strings may share these characters, or they may have no room to grow.
    makeStringPrivate(e, s, size_t(index) + 1);
    if (index >= s->length) {
        size_t length = size_t(index) + 1;
        for (uint32_t i = s->length; i < index; ++i) s->chars[i] = u' ';
        s->length = static_cast<uint32_t>(length);
    }
    char16_t unit;
    if (value.tag == kTagInteger) {
        unit = static_cast<char16_t>(static_cast<uint64_t>(value.i) & 0xFF);
    } else {
        unit = value.str->length ? value.str->chars[0] : u'\0';
    }
    s->chars[index] = unit;
}

}  // namespace

ScriptValue readElement(ScriptEngine* e, const ScriptValue& container, const ScriptValue& key) {
    switch (container.tag) {
        case kTagHost:
            return readHostElement(e, container, key);
        case kTagObject: {
            ScriptValue result;
            if (key.tag == kTagAtom) {
                lookup(e, container.obj, key.atom(), &result);
            } else {
                getByKey(e, container.obj, key, &result);
            }
            return result;
        }
        case kTagArray: {
            uint64_t index;
            if (arrayIndex(key, &index)) {
                if (index >= container.arr->length) return makeUndefined();
                ScriptValue* element = getElement(e, container, index);
                return element ? *element : makeUndefined();
            }
            if (key.tag != kTagInteger && key.tag != kTagNumber) warnInvalidIndex(e);
            return makeUndefined();
        }
        case kTagString: {
            if (key.tag != kTagInteger) {
                warnInvalidIndex(e);
                return makeUndefined();
            }
            if (key.i < 0 || uint64_t(key.i) >= container.str->length) {
                warn(e, "Warning: string index out of range");
                return makeUndefined();
            }
            return makeInteger(container.str->chars[key.i]);
        }
        default:
            return makeUndefined();
    }
}

void writeElement(ScriptEngine* e, const ScriptValue& container, const ScriptValue& key,
                  const ScriptValue& value) {
    switch (container.tag) {
        case kTagHost: {
            if (key.tag == kTagInteger) return;
            if (key.tag != kTagString) {
                warnInvalidIndex(e);
                return;
            }
            uint32_t atom = internKey(e, key);
            if (!container.host->cls->property) {
                warnf(e, "Warning: using undefined property \"%s\"", atomName(e, atom));
                return;
            }
            setProperty(e, container, atom, value);
            return;
        }
        case kTagObject:
            if (key.tag == kTagAtom) {
                setByAtom(e, container.obj, key.atom(), value);
            } else {
                setByKey(e, container.obj, key, value);
            }
            return;
        case kTagArray: {
            uint64_t index;
            if (!arrayIndex(key, &index) || index == UINT64_MAX) {
                warnInvalidIndex(e);
                return;
            }
            if (index >= container.arr->length) container.arr->length = index + 1;
            setElement(e, container, value, index);
            return;
        }
        case kTagString:
            writeStringElement(e, container, key, value);
            return;
        default:
            return;
    }
}

void deleteElement(ScriptEngine* e, const ScriptValue& container, const ScriptValue& key) {
    if (container.tag == kTagObject) {
        if (key.tag == kTagAtom) {
            deleteByAtom(e, container.obj, key.atom());
        } else {
            deleteByKey(e, container.obj, key);
        }
    } else if (container.tag == kTagArray && key.tag == kTagInteger && key.i >= 0) {
        removeAt(e, container, static_cast<uint64_t>(key.i));
    }
}

bool enumerateNext(ScriptEngine* e, const ScriptValue& container, const ScriptValue& position,
                   ScriptValue* item) {
    if (position.tag != kTagInteger || position.i < 0) return false;
    uint64_t i = static_cast<uint64_t>(position.i);
    switch (container.tag) {
        case kTagString:
            if (i >= container.str->length) return false;
            *item = makeInteger(container.str->chars[i]);
            return true;
        case kTagArray: {
            if (i >= container.arr->length) return false;
            ScriptValue* element = getElement(e, container, i);
            *item = element ? *element : makeUndefined();
            return true;
        }
        case kTagObject:
            if (i > 0xFFFFFFFFu) return false;
            return propertyAt(e, container.obj, static_cast<uint32_t>(i), item) != 0;
        default:
            return false;
    }
}

}  // namespace quill
