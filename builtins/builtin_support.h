// Small helpers shared by the built-in and host classes: argument access in the native layout,
// class data made of interned member names, and class registration.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "runtime/script_engine.h"

namespace quill {

// Argument count of a native argument array (element 0). Array literals pass a negative count
// to constructors; its magnitude is the number of items.
inline uint32_t argCount(const ScriptValue* argv) {
    int64_t n = argv[0].i;
    return static_cast<uint32_t>(n < 0 ? -n : n);
}
// The i-th argument (1-based), or undefined past the end.
inline ScriptValue arg(const ScriptValue* argv, uint32_t i) {
    return i <= argCount(argv) ? argv[i] : makeUndefined();
}
inline bool hasArg(const ScriptValue* argv, uint32_t i) {
    return i <= argCount(argv);
}
// An integer argument only when the value is an integer (many members take positions and counts
// only from integer values and ignore other types).
inline bool intArg(const ScriptValue* argv, uint32_t i, int64_t* out) {
    if (i > argCount(argv) || argv[i].tag != kTagInteger) return false;
    *out = argv[i].i;
    return true;
}

// Slots of ScriptEngine::builtinState, one per class that keeps engine-wide state there.
enum BuiltinStateSlot : int {
    kStateRegExp = 0,       // RegExpState*: the RegExp statics, reached by the literal factory
    kStateWindows = 1,      // window::Registry*: the Window objects of the engine (Windows only)
    kStateFlashPlayer = 2,  // the projector's movie-variable bindings (projector only)
};

// The atoms of a class's member names, kept as its class data; index them in the order given.
struct NameAtoms {
    uint32_t count;
    uint32_t atoms[1];
};

inline NameAtoms* internNames(ScriptEngine* engine, std::initializer_list<const char*> names) {
    auto* table = static_cast<NameAtoms*>(
        plainAlloc(engine, sizeof(NameAtoms) + names.size() * sizeof(uint32_t)));
    table->count = 0;
    for (const char* name : names) table->atoms[table->count++] = intern(engine, name);
    return table;
}

inline void freeNameAtoms(void* data) {
    std::free(data);
}

// Registers a class under `name` with its member-name atoms as class data. Returns the
// descriptor; the caller sets the hooks.
inline ClassDescriptor* registerClassWithNames(ScriptEngine* engine, const char* name, ClassId id,
                                               std::initializer_list<const char*> members) {
    ClassDescriptor* cls = registerClass(engine, name, id);
    cls->classData = internNames(engine, members);
    cls->classDataDestructor = freeNameAtoms;
    return cls;
}

// The index of `atom` among a class's member names, or -1.
inline int memberIndex(const ClassDescriptor* cls, uint32_t atom) {
    const auto* table = static_cast<const NameAtoms*>(cls->classData);
    if (!table) return -1;
    for (uint32_t i = 0; i < table->count; ++i) {
        if (table->atoms[i] == atom) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace quill
