// The tagged script value and the records its reference tags point to. Tag numbers are fixed:
// compiled modules and the interpreter's tables use them.
#pragma once

#include <cmath>
#include <cstdint>

namespace quill {

struct StringRecord;
struct ArrayRecord;
struct ScriptObject;
struct HostInstance;
struct FunctionValue;
struct WithList;

enum Tag : uint32_t {
    kTagUndefined = 0,
    kTagNull = 1,
    kTagBoolean = 2,
    kTagInteger = 3,
    kTagString = 4,
    kTagNumber = 5,
    kTagArray = 6,
    kTagObject = 7,
    // 8 and 9 are never created; every operation treats them as having no type.
    kTagAtom = 10,
    kTagHost = 11,
    kTagFunction = 12,
    kTagNaN = 13,
    kTagFrameMark = 14,  // only on the value stack: a call frame's own slots
    kTagFramePad = 15,   // only on the value stack: the argument-padding slot of a frame
};

constexpr int kTypeTableSize = 15;

// Copied by value; reference payloads share the record they point to.
struct ScriptValue {
    uint32_t tag;
    // The word between the tag and the payload carries no part of the value. Object property
    // slots keep their name's atom here, so a slot is no larger than a value.
    uint32_t aux;
    union {
        int64_t i;  // integer; boolean (0 or 1); atom index in the low word
        double d;
        void* p;
        StringRecord* str;
        ArrayRecord* arr;
        ScriptObject* obj;
        HostInstance* host;
        FunctionValue* fn;
        WithList* with;
        ScriptValue* frame;
        const uint32_t* code;
    };

    bool isUndefined() const { return tag == kTagUndefined; }
    bool isNull() const { return tag == kTagNull; }
    bool isString() const { return tag == kTagString; }
    bool isInteger() const { return tag == kTagInteger; }
    bool isNumeric() const { return tag == kTagInteger || tag == kTagNumber || tag == kTagNaN; }
    uint32_t atom() const { return static_cast<uint32_t>(i); }
};

inline ScriptValue makeUndefined() {
    ScriptValue v;
    v.tag = kTagUndefined;
    v.i = 0;
    return v;
}
inline ScriptValue makeNull() {
    ScriptValue v;
    v.tag = kTagNull;
    v.i = 0;
    return v;
}
inline ScriptValue makeBoolean(bool b) {
    ScriptValue v;
    v.tag = kTagBoolean;
    v.i = b ? 1 : 0;
    return v;
}
inline ScriptValue makeInteger(int64_t n) {
    ScriptValue v;
    v.tag = kTagInteger;
    v.i = n;
    return v;
}
inline ScriptValue makeNaN() {
    ScriptValue v;
    v.tag = kTagNaN;
    v.i = 0;
    return v;
}
// A double; a not-a-number result becomes the NaN tag, never a double payload.
inline ScriptValue makeNumber(double d) {
    ScriptValue v;
    if (std::isnan(d)) return makeNaN();
    v.tag = kTagNumber;
    v.d = d;
    return v;
}
inline ScriptValue makeAtom(uint32_t atom) {
    ScriptValue v;
    v.tag = kTagAtom;
    v.i = atom;
    return v;
}
inline ScriptValue makeString(StringRecord* s) {
    ScriptValue v;
    v.tag = kTagString;
    v.str = s;
    return v;
}
inline ScriptValue makeObject(ScriptObject* o) {
    ScriptValue v;
    v.tag = kTagObject;
    v.obj = o;
    return v;
}
inline ScriptValue makeArray(ArrayRecord* a) {
    ScriptValue v;
    v.tag = kTagArray;
    v.arr = a;
    return v;
}
inline ScriptValue makeHost(HostInstance* h) {
    ScriptValue v;
    v.tag = kTagHost;
    v.host = h;
    return v;
}
inline ScriptValue makeFunction(FunctionValue* f) {
    ScriptValue v;
    v.tag = kTagFunction;
    v.fn = f;
    return v;
}

// One string value. The record is shared by every value that holds it: element assignment
// changes it in place, concatenation always makes a new record.
struct StringRecord {
    uint32_t flags;  // kStringStatic: the characters are not owned and never change
    uint32_t length;  // in UTF-16 code units
    char16_t* chars;  // not NUL-terminated
    ScriptObject* props;  // the string's own properties, created on first use
};
constexpr uint32_t kStringStatic = 1;
// The characters lie in a growable buffer that several records may share (concatenation
// appends in place when nothing was appended after the left operand). The buffer's used length
// is the 64-bit word just before the characters.
constexpr uint32_t kStringBuffered = 2;
// Short strings keep their characters in the same heap block, right after the record.
constexpr uint32_t kStringInline = 4;

}  // namespace quill
