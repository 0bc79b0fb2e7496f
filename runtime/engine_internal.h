// Runtime internals shared by the runtime's own sources: atom and keyword entries, the object
// name index, and the collector's view of records.
#pragma once

#include <cstdint>

#include "runtime/script_engine.h"

namespace quill {

struct AtomEntry {
    AtomEntry* next;  // bucket chain
    char* name;       // NUL-terminated copy
    uint32_t length;
    uint32_t index;
    uint32_t hash;
};

struct KeywordEntry {
    KeywordEntry* next;
    char* spelling;
    uint32_t kind;
};

// The by-name index of an object: 128 buckets of slot positions chained through `next`
// (one link per slot). Entries are added at the head of their bucket.
struct NameIndex {
    int32_t heads[128];
    uint32_t counts[128];
    uint32_t capacity;  // entries in `next`
    int32_t next[1];
};

// Kinds of gray blocks, kept in the low bits of the pointer on the collector's work stack.
enum GrayKind : uintptr_t {
    kGrayString = 0,
    kGrayArray = 1,
    kGrayObject = 2,
    kGrayHost = 3,
    kGrayFunction = 4,
    kGrayClass = 5,
    kGrayWith = 6,
};

void pushGray(ScriptEngine* engine, void* block, GrayKind kind);
void markClass(ScriptEngine* engine, ClassDescriptor* cls);
void markObject(ScriptEngine* engine, ScriptObject* object);

// Heap teardown for destroyEngine: runs every finalizer, then frees every chunk.
void finalizeAllAndFreeHeap(ScriptEngine* engine);

// Atom table teardown.
void freeAtoms(ScriptEngine* engine);
void freeKeywords(ScriptEngine* engine);

// Creates the engine's static strings.
void initStaticStrings(ScriptEngine* engine);

// The registration of every built-in and host class, in the engine's fixed order.
// The host's own classes join at their positions (see HostRegistration).
void registerBuiltins(ScriptEngine* engine, std::span<const HostRegistration> hostClasses);

// Stack-overflow guard used by the interpreter and host entry points.
[[noreturn]] void raiseStackOverflow(ScriptEngine* engine);

}  // namespace quill
