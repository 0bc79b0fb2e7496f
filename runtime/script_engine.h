// The script engine's public surface: the engine instance, the collected heap, runtime errors,
// atoms and globals, strings, objects, host classes, property access and conversions.
// Everything else in the system (interpreter, compiler, built-ins, host objects, projector)
// builds on this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/class_ids.h"
#include "runtime/embed.h"
#include "runtime/value.h"

namespace quill {

struct ScriptEngine;
struct ClassDescriptor;
struct CompiledFunction;

// ---------------------------------------------------------------------------------------------
// Host classes. Every built-in and host object is a ClassDescriptor with up to four hooks.
// Argument arrays ("argv") put the argument count n as an integer value in element 0 and the
// arguments in elements 1..n. Natives always write their result (callers preset undefined).
// Method and property hooks return 1 when they handled the name, 0 to let the caller go on.
// Hooks of type-table descriptors receive a pointer to the value itself as `data`.

using NativeFunction = void (*)(ScriptEngine* engine, ClassDescriptor* cls, void* data,
                                ScriptValue* result, ScriptValue* argv);
using MethodHook = int (*)(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                           ScriptValue* result, ScriptValue* argv);
// mode 0 reads into *value, mode 1 writes from it.
using PropertyHook = int (*)(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                             int mode, ScriptValue* value);
using ConstructHook = void (*)(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv,
                               ScriptValue* result);
// Instance finalizer and mark hook. A mark hook reports the values its instance data refers to
// with markValue().
using InstanceHook = void (*)(ScriptEngine* engine, ClassDescriptor* cls, void* data);
using ClassDataDestructor = void (*)(void* classData);

// The first payload word of every finalizable heap block.
using BlockFinalizer = void (*)(ScriptEngine* engine, void* block);

struct ClassDescriptor {
    BlockFinalizer selfFinalizer;  // runs classDataDestructor(classData)
    NativeFunction call;
    MethodHook method;
    PropertyHook property;
    ConstructHook construct;
    InstanceHook finalizeInstance;
    InstanceHook markInstance;
    void* classData;  // usually the atoms of the class's member names
    ClassDataDestructor classDataDestructor;
    ScriptObject* prototype;  // the class prototype object; its __proto__ is null
    const char* name;         // the registered global name, for messages (static text)
    ClassId id;               // the class's identity (kNone for plain native functions)
    // The reference's text (static): how it is called or constructed, and one line on it.
    const char* synopsis;
    const char* summary;
};

struct HostInstance {
    BlockFinalizer finalizer;  // calls cls->finalizeInstance(data) when set
    ClassDescriptor* cls;
    void* data;           // owned by the class; null for a class value or a plain native function
    ScriptObject* props;  // own properties, or null
};

struct FunctionValue {
    CompiledFunction* code;
    ScriptObject* props;  // the function's own properties, created on first use
};

// ---------------------------------------------------------------------------------------------
// Objects: property slots in insertion order (a slot never moves; deletion frees it in place),
// a prototype through the own property __proto__, and a by-name index built on first need.

constexpr uint32_t kFreeSlot = 0xFFFFFFFFu;
// The name of slots appended by a positional write past the end: never found by name, never
// reused for a named property, never enumerated.
constexpr uint32_t kUnnamedSlot = 0xFFFFFFFEu;

// A property slot: the value, with the atom of the property's name in its spare word.
struct PropertyEntry {
    ScriptValue value;

    uint32_t atom() const { return value.aux; }
    void set(uint32_t atom, const ScriptValue& v) {
        value = v;
        value.aux = atom;
    }
    void setValue(const ScriptValue& v) {
        uint32_t atom = value.aux;
        value = v;
        value.aux = atom;
    }
};

struct NameIndex;

// Small objects keep their first slots inside the object itself, so an object with a prototype
// link and two properties is a single heap block.
constexpr uint32_t kInlineSlots = 3;

struct ScriptObject {
    PropertyEntry* slots;  // inlineSlots until the object outgrows them
    uint32_t count;
    uint32_t capacity;
    NameIndex* index;  // null until the first by-name access or enumeration
    PropertyEntry inlineSlots[kInlineSlots];

    bool slotsInline() const { return slots == inlineSlots; }
};

// The with-scope list of a call frame.
struct WithList {
    uint32_t count;
    uint32_t capacity;
    ScriptValue values[1];  // `capacity` entries
};

// The runnable form of one script function (built by the module loader).
struct LineEntry {
    uint32_t word;  // word offset in `code`
    uint32_t line;
};

struct CompiledFunction {
    BlockFinalizer finalizer;  // frees everything below
    char* name;
    uint32_t* code;  // one word per opcode, one per operand, END appended
    uint32_t codeWords;
    char* sourceName;  // "unknown" without debug information
    LineEntry* lines;
    uint32_t lineCount;
    uint32_t maxStack;  // stack slots the code needs beyond its frame (verified at load)
};

// ---------------------------------------------------------------------------------------------
// Engine configuration and instance.

// Where warnings and `trace` go: a one-argument call in the native argument layout.
using TraceOutput = void (*)(ScriptEngine* engine, void* user, const ScriptValue* argv);

// An entry of the error-trap chain. Host entry points install host-level traps (scriptTry
// false); the interpreter installs one per script `try`.
struct TrapEntry {
    bool scriptTry;
    uint32_t runDepth;  // the interpreter run that owns a script trap
    ScriptValue* savedTop;
    ScriptValue* savedFrame;
    const uint32_t* catchAddress;
    uint32_t savedWithCount;
};

// Extra collector roots held by native code across calls that may collect (see RootedValues).
struct RootBlock {
    RootBlock* next;
    ScriptValue* values;
    size_t count;
};

struct AtomEntry;
struct KeywordEntry;
struct ModuleRecord;

struct HeapChunk;
// How much may be handed out between collections: a quarter of what the last collection found
// live, at least 1 MB; a heap with little live data collects sooner, after four times its live
// bytes but at least 256 KB, since tracing it costs next to nothing (see nextThreshold).
constexpr size_t kSmallThreshold = 0x40000;
constexpr size_t kLargeThreshold = 0x100000;

struct HeapState {
    HeapChunk* chunks = nullptr;
    void* freeLists[64] = {};
    uint64_t nonEmpty = 0;         // bit c set when free list c may hold blocks
    char* regionCursor = nullptr;  // small blocks are carved from [regionCursor, regionEnd)
    char* regionEnd = nullptr;
    size_t bytesInChunks = 0;
    size_t bytesSinceCollect = 0;
    size_t freeBytes = 0;
    size_t liveBytes = 0;       // after the last collection
    size_t externalBytes = 0;   // held by host objects for scripts (see chargeExternalMemory)
    bool limitReached = false;  // maxHeapBytes refused memory since the last collection
    size_t threshold = kSmallThreshold;
    uint32_t collections = 0;
    bool sweeping = false;
};

constexpr size_t kErrorBufferSize = 1024;

struct ScriptEngine {
    uint32_t flags = 0;

    // Constant table: every loaded module appends its constants here.
    ScriptValue* constants = nullptr;
    uint32_t constantCount = 0;
    uint32_t constantCapacity = 0;

    // Atom table and global slots (one slot per atom).
    AtomEntry* atomBuckets[256] = {};
    std::vector<AtomEntry*> atomsByIndex;
    ScriptValue* globals = nullptr;
    uint32_t globalCount = 0;
    uint32_t globalCapacity = 0;

    // Value stack: grows from stackEnd toward stackBase; stackTop points at the top value.
    ScriptValue* stackBase = nullptr;
    ScriptValue* stackEnd = nullptr;
    uint32_t stackSlots = 0;
    ScriptValue* stackTop = nullptr;
    const uint32_t* ip = nullptr;  // stored by the interpreter before calling out
    ScriptValue* frame = nullptr;  // the current frame head, stored likewise
    uint32_t runDepth = 0;         // nested interpreter runs
    uint32_t nativeDepth = 0;      // nested host calls and conversions, bounded

    ClassDescriptor* typeTable[kTypeTableSize] = {};
    // Every registered class by id, and every name a class or native function was registered
    // under (atom, descriptor). Both are collector roots: a class outlives any script that
    // assigns something else to its global name.
    ClassDescriptor* classes[kMaxClassIds] = {};
    std::vector<std::pair<uint32_t, ClassDescriptor*>> registeredNames;
    // The class registered as ActiveXObject: element reads on its instances call `Item`.
    ClassDescriptor* activeXClass = nullptr;
    uint32_t atomItem = 0;

    uint32_t atomProto = 0, atomPrototype = 0, atomToSource = 0, atomToString = 0, atomValueOf = 0;

    uint32_t anonymousCounter = 0;

    HeapState heap;
    bool gcStress = false;
    size_t maxHeapBytes = 0;
    std::vector<void*> grayStack;
    RootBlock* roots = nullptr;
    std::vector<std::pair<ClassDataDestructor, void*>> deferredClassData;

    std::vector<TrapEntry> traps;
    char errorBuffer[kErrorBufferSize] = {};
    // A value thrown by a script toward a script `try` of an enclosing run.
    ScriptValue thrownValue = makeUndefined();
    bool hasThrownValue = false;
    // Where the last uncaught error happened (the innermost interpreter position).
    const uint32_t* errorIp = nullptr;
    CompiledFunction* errorFunction = nullptr;  // the function errorIp lies in
    bool errorLocated = false;

    // Compiler diagnostics of the last compilation, or the last failure to open a script file.
    std::string messageBuffer;
    // The host's settings word from which compile options are derived.
    uint32_t compileSettings = kDefaultCompileSettings;
    // What the last failed entry point failed of (see embed.h).
    ErrorKind errorKind = ErrorKind::kNone;

    ScriptValue returnSlot = makeUndefined();

    CollectionHook hook = nullptr;
    void* hookUser = nullptr;
    uint32_t hookCountdown = 4096;  // backward jumps until the hook is asked again
    TraceOutput trace = nullptr;
    void* traceUser = nullptr;
    TextOutput traceText = nullptr;  // setTraceText's output, behind `trace`

    // Host-visible services stored as function pointers.
    int (*runModuleFunctions)(ScriptEngine*, ModuleRecord*) = nullptr;
    const char* (*functionNameAtHook)(ScriptEngine*, const uint32_t*) = nullptr;
    const char* (*sourceLineAtHook)(ScriptEngine*, const uint32_t*, uint32_t*) = nullptr;

    KeywordEntry* keywordBuckets[32] = {};

    // Frequently used strings with static characters, created once.
    ScriptValue staticStrings[16] = {};

    // Engine-wide state that built-ins and host classes keep (regular-expression factory,
    // the last match, random generator, ...), reached through these slots.
    void* builtinState[8] = {};
    // Values that built-ins keep alive for the life of the engine.
    std::vector<ScriptValue> builtinRoots;
    // Arrays whose join is under way (a cyclic array joins to nothing where it recurs).
    std::vector<const void*> joinsInProgress;

    // Owned by the module loader: characters of string constants, and the factory that makes
    // regular-expression constants (installed by the RegExp class).
    std::vector<void*> moduleData;
    void* regexpFactory = nullptr;
};

// Indices into ScriptEngine::staticStrings.
enum StaticString : int {
    kStrEmpty,
    kStrUndefined,
    kStrNull,
    kStrObject,
    kStrBoolean,
    kStrNumber,
    kStrString,
    kStrFunction,
    kStrTrue,
    kStrFalse,
    kStrNaN,
    kStrUnknown,
    kStrObjectObject,
    kStrStaticCount
};

// ---------------------------------------------------------------------------------------------
// Runtime errors. The failing code writes its message into the error buffer, then raises: the
// message becomes "Runtime error: %s" and control resumes at the innermost trap (a script `try`
// or a host entry point). Implemented with a C++ exception of this type.
struct ScriptError {};

[[noreturn]] void raiseRuntimeError(ScriptEngine* engine);
// Formats the message (printf rules, at most 1023 bytes) and raises.
[[noreturn]] void raiseError(ScriptEngine* engine, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Writes text into the error buffer without raising (truncated to 1023 bytes).
void setErrorText(ScriptEngine* engine, std::string_view text);
void setErrorTextf(ScriptEngine* engine, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// A host-level trap for the lifetime of the object: on destruction every trap installed since is
// removed and the value-stack top restored. Host entry points catch ScriptError around the work
// they guard (see guardHostCall).
class HostTrap {
  public:
    explicit HostTrap(ScriptEngine* engine);
    ~HostTrap();
    HostTrap(const HostTrap&) = delete;
    HostTrap& operator=(const HostTrap&) = delete;

  private:
    ScriptEngine* engine_;
    size_t trapCount_;
    ScriptValue* savedTop_;
    ScriptValue* savedFrame_;
    const uint32_t* savedIp_;
};

// Runs `work` under a host-level trap; returns 1 when it completed, 0 when a runtime error or an
// uncaught throw reached the trap (the message is then in the error buffer). Allocation failure
// of the C++ library counts as "Out of memory".
template <typename Work>
int guardHostCall(ScriptEngine* engine, Work&& work);

// Bounds native recursion (conversions calling scripts that convert again, nested host calls):
// past the limit the runtime error "stack overflow" is raised.
class NativeDepthGuard {
  public:
    explicit NativeDepthGuard(ScriptEngine* engine);
    ~NativeDepthGuard() { --engine_->nativeDepth; }
    NativeDepthGuard(const NativeDepthGuard&) = delete;
    NativeDepthGuard& operator=(const NativeDepthGuard&) = delete;

  private:
    ScriptEngine* engine_;
};
constexpr uint32_t kMaxNativeDepth = 200;

// Keeps `count` values reachable while native code calls something that may collect.
class RootedValues {
  public:
    RootedValues(ScriptEngine* engine, ScriptValue* values, size_t count);
    ~RootedValues();
    RootedValues(const RootedValues&) = delete;
    RootedValues& operator=(const RootedValues&) = delete;

  private:
    ScriptEngine* engine_;
    RootBlock block_;
};

// ---------------------------------------------------------------------------------------------
// Warnings and trace output.

// Hands the text to the trace output (and keeps it in the error buffer as the last message).
void warn(ScriptEngine* engine, const char* text);
void warnf(ScriptEngine* engine, const char* format, ...) __attribute__((format(printf, 2, 3)));
void setTraceOutput(ScriptEngine* engine, TraceOutput output, void* user);

// ---------------------------------------------------------------------------------------------
// Plain allocation (outside the collected heap). With an engine, failure raises "Out of memory";
// without one it returns null.

void* plainAlloc(ScriptEngine* engine, size_t size);
void* plainCalloc(ScriptEngine* engine, size_t count, size_t size);
void* plainRealloc(ScriptEngine* engine, void* block, size_t size);
void plainFree(void* block);
char* plainStrdup(ScriptEngine* engine, const char* text);
char16_t* plainWcsdup(ScriptEngine* engine, const char16_t* text, size_t length);

// ---------------------------------------------------------------------------------------------
// Collected heap. Blocks live until a collection finds them unreachable; collections run only at
// the interpreter's collection points.

void* gcAlloc(ScriptEngine* engine, size_t size);  // contents undefined
void* gcAllocZero(ScriptEngine* engine, size_t size);
void* gcAllocZeroFinalizable(ScriptEngine* engine, size_t size);  // first word: BlockFinalizer
void* gcRealloc(ScriptEngine* engine, void* block, size_t size);
void gcFree(ScriptEngine* engine, void* block);
size_t gcBlockSize(const void* block);
// Marks a block; returns 1 when newly marked, 0 for null or an already marked block.
int mark(void* block);
int isMarked(const void* block);  // null counts as marked
// Marks a value and everything it reaches (for mark hooks and roots).
void markValue(ScriptEngine* engine, const ScriptValue& value);
// Marks from the roots (with the value stack from `stackTop` to its end) and sweeps.
// Returns the number of live bytes.
size_t collect(ScriptEngine* engine, ScriptValue* stackTop);
// The interpreter's collection point: collects when due, then asks the collection hook.
void collectionPoint(ScriptEngine* engine, ScriptValue* stackTop);
// Whether a collection point has anything to do (a collection may be due, or a hook or heap
// limit needs looking at).
inline bool collectionPointDue(const ScriptEngine* engine) {
    return engine->heap.bytesSinceCollect >= engine->heap.threshold || engine->hook ||
           engine->gcStress || engine->maxHeapBytes;
}
// Memory that host objects keep for scripts outside the collected heap (stream contents) counts
// toward maxHeapBytes, so a script cannot go around the limit through them. A charge that would
// pass the limit is refused (false) and changes nothing; the holder releases what it charged.
bool chargeExternalMemory(ScriptEngine* engine, size_t bytes);
void releaseExternalMemory(ScriptEngine* engine, size_t bytes);

// ---------------------------------------------------------------------------------------------
// Atoms, global slots and the constant table.

uint32_t intern(ScriptEngine* engine, const char* name, size_t length);
inline uint32_t intern(ScriptEngine* engine, std::string_view name) {
    return intern(engine, name.data(), name.size());
}
// The atom's name, or "???" for an index never handed out.
const char* atomName(const ScriptEngine* engine, uint32_t atom);
// The atom of a name if it was interned before, else -1; never adds.
int64_t findAtom(const ScriptEngine* engine, const char* name, size_t length);
uint32_t nameHash(const char* name, size_t length);
uint32_t atomHash(const ScriptEngine* engine, uint32_t atom);

inline ScriptValue& globalSlot(ScriptEngine* engine, uint32_t atom) {
    return engine->globals[atom];
}
// Stores a value in the global slot of a name (interning it).
void setGlobal(ScriptEngine* engine, const char* name, const ScriptValue& value);
ScriptValue getGlobal(ScriptEngine* engine, const char* name);

// Appends to the constant table; returns the new entry's index.
uint32_t appendConstant(ScriptEngine* engine, const ScriptValue& value);

// The keyword table of the compiler: spelling -> token kind (128 when not a keyword).
void loadKeywordTable(ScriptEngine* engine);
uint32_t keywordLookup(const ScriptEngine* engine, const char* spelling, size_t length);

// ---------------------------------------------------------------------------------------------
// Strings. Text crosses to the platform through the ANSI code page.

void newStringFromAnsi(ScriptEngine* engine, ScriptValue* out, const char* bytes, size_t length);
void newStaticString(ScriptEngine* engine, ScriptValue* out, const char16_t* chars,
                     uint32_t length);
// A new string with its own copy of the characters.
void newStringFromWide(ScriptEngine* engine, ScriptValue* out, const char16_t* chars,
                       size_t length);
ScriptValue newString(ScriptEngine* engine, std::u16string_view text);
// Text given as UTF-8 (command-line arguments, files written by the tool) or plain ASCII.
ScriptValue newStringFromUtf8(ScriptEngine* engine, std::string_view text);
ScriptValue newStringFromAscii(ScriptEngine* engine, std::string_view text);
// A new record of `length` code units whose characters the caller fills in.
StringRecord* allocString(ScriptEngine* engine, size_t length);
inline ScriptValue staticString(const ScriptEngine* engine, StaticString which) {
    return engine->staticStrings[which];
}
inline std::u16string_view stringView(const ScriptValue& v) {
    return std::u16string_view(v.str->chars, v.str->length);
}
// Allocated ANSI text, NUL-terminated; the caller frees it with plainFree.
char* toAnsi(ScriptEngine* engine, const ScriptValue& string);
// The same as a std::string (not engine-allocated).
std::string toAnsiString(const std::u16string_view text);
std::string toUtf8String(const std::u16string_view text);
// Allocated NUL-terminated UTF-16 copy; the caller frees it with plainFree.
char16_t* copyWide(ScriptEngine* engine, const ScriptValue& string);
// Concatenation into a new string.
ScriptValue concatStrings(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b);
// Before changing a string's characters in place: gives it characters of its own, with room
// for `capacity` code units, when it shares a concatenation buffer with other strings or keeps
// its characters inside its record.
void makeStringPrivate(ScriptEngine* engine, StringRecord* s, size_t capacity);
// The heap block that holds a string's characters (null for static characters and for
// characters kept inside the record's own block).
inline void* stringCharsBlock(const StringRecord* s) {
    if (s->flags & (kStringStatic | kStringInline)) return nullptr;
    if (s->flags & kStringBuffered) return reinterpret_cast<uint64_t*>(s->chars) - 1;
    return s->chars;
}
bool stringEquals(const ScriptValue& a, const ScriptValue& b);
// Compares by UTF-16 code units; a proper prefix is smaller.
int compareStrings(const ScriptValue& a, const ScriptValue& b);

// ---------------------------------------------------------------------------------------------
// Objects.

ScriptObject* newObject(ScriptEngine* engine);
// An object whose __proto__ slot holds `proto` (an object) or null.
ScriptObject* newObjectWithProto(ScriptEngine* engine, ScriptObject* proto);
// Own slots first, then along the __proto__ chain (a cyclic chain answers "not found").
int lookup(ScriptEngine* engine, ScriptObject* object, uint32_t atom, ScriptValue* result);
// Own slot only; returns its position or -1.
int64_t findOwnSlot(const ScriptObject* object, uint32_t atom);
void setByAtom(ScriptEngine* engine, ScriptObject* object, uint32_t atom, const ScriptValue& v);
void deleteByAtom(ScriptEngine* engine, ScriptObject* object, uint32_t atom);
int getByKey(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key,
             ScriptValue* result);
void setByKey(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key,
              const ScriptValue& value);
void deleteByKey(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key);
// The i-th name of the enumeration order as a string value.
int propertyAt(ScriptEngine* engine, ScriptObject* object, uint32_t i, ScriptValue* name);
// The prototype of an object (its __proto__ slot when that holds an object), or null.
ScriptObject* objectPrototype(const ScriptEngine* engine, const ScriptObject* object);

// ---------------------------------------------------------------------------------------------
// Host classes and property access on any value.

ClassDescriptor* newClass(ScriptEngine* engine);
void newHostValue(ScriptEngine* engine, ScriptValue* out, ClassDescriptor* cls, void* data);
// Registers a class (or a global native function) under `name`: stores a host value with null
// instance data into the global slot. Returns the descriptor.
ClassDescriptor* registerClass(ScriptEngine* engine, const char* name);
// Registers a class under `name` and records it under `id` (see class_ids.h).
ClassDescriptor* registerClass(ScriptEngine* engine, const char* name, ClassId id);
// Registers an existing class under one more global name (FileStream as Stream).
void registerClassAlias(ScriptEngine* engine, const char* name, ClassDescriptor* cls);
// The class registered under `id` in this engine, or null.
inline ClassDescriptor* classById(const ScriptEngine* engine, ClassId id) {
    auto index = static_cast<uint32_t>(id);
    return index < kMaxClassIds ? engine->classes[index] : nullptr;
}
// Whether the value is a host value of the class registered under that name (or alias), also
// after a script assigned something else to the global.
int isHostInstanceOf(ScriptEngine* engine, const ScriptValue& value, const char* className);
inline bool isHostInstanceOf(const ScriptValue& value, ClassId id) {
    return value.tag == kTagHost && value.host->cls->id == id && id != ClassId::kNone;
}
// The instance data of a host value of the class, or null (also for the class value itself).
template <typename T>
T* unwrap(ScriptEngine*, const ScriptValue& value, ClassId id) {
    return isHostInstanceOf(value, id) ? static_cast<T*>(value.host->data) : nullptr;
}
void* hostData(ScriptEngine* engine, const ScriptValue& value, const char* className);

int getProperty(ScriptEngine* engine, const ScriptValue& target, uint32_t atom,
                ScriptValue* result);
// The interpreter's property store, with its warnings.
void setProperty(ScriptEngine* engine, const ScriptValue& target, uint32_t atom,
                 const ScriptValue& value);
int setPropertyIfPresent(ScriptEngine* engine, const ScriptValue& target, uint32_t atom,
                         const ScriptValue& value);
// The own props object of a string, array or function value (created on demand with the type's
// prototype as __proto__), or null for other tags.
ScriptObject* ownProps(ScriptEngine* engine, const ScriptValue& value, bool create);

// ---------------------------------------------------------------------------------------------
// Conversions.

constexpr int kHintString = 4;
ScriptValue toPrimitive(ScriptEngine* engine, const ScriptValue& value, int hint);
ScriptValue toString(ScriptEngine* engine, const ScriptValue& value);
ScriptValue toNumber(ScriptEngine* engine, const ScriptValue& value);
int toBoolean(ScriptEngine* engine, const ScriptValue& value);
int32_t toInt32(ScriptEngine* engine, const ScriptValue& value);
int64_t toInt64(ScriptEngine* engine, const ScriptValue& value);
ScriptValue toObject(ScriptEngine* engine, const ScriptValue& value);
// The numeric value of a string's text (the rules of toNumber for strings).
ScriptValue stringToNumber(std::u16string_view text);
// Text of numbers as scripts see it: integers in decimal, doubles with "%g".
ScriptValue numberToString(ScriptEngine* engine, const ScriptValue& number);
// The truth value without conversions (used by jumps and `!`).
inline bool isTruthy(const ScriptValue& v) {
    switch (v.tag) {
        case kTagBoolean:
        case kTagInteger:
            return v.i != 0;
        case kTagNumber:
            return v.d != 0.0;
        case kTagString:
            return v.str->length != 0;
        case kTagArray:
        case kTagObject:
        case kTagHost:
        case kTagFunction:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Calling scripts from native code (the interpreter implements these). `argv` is in the native
// layout: argv[0] the integer count n, argv[1..n] the arguments; `count` = n + 1. Each returns 1
// on success, 0 on failure (message in the error buffer); the result is in engine->returnSlot.

void run(ScriptEngine* engine, const ScriptValue* thisValue, CompiledFunction* function,
         uint32_t count, const ScriptValue* values);
int callFunction(ScriptEngine* engine, const char* globalName, const ScriptValue* function,
                 uint32_t count, const ScriptValue* values);
int callFunctionWithThis(ScriptEngine* engine, const ScriptValue& thisValue,
                         const ScriptValue& function, uint32_t count, const ScriptValue* values);
int callMethod(ScriptEngine* engine, const ScriptValue& receiver, const char* methodName,
               uint32_t count, const ScriptValue* values);

// ---------------------------------------------------------------------------------------------
// Implementation of guardHostCall.

void noteOutOfMemory(ScriptEngine* engine);
// The end of a host entry point: a failure without a kind of its own is a runtime error; a
// success forgets errors the script caught on the way.
inline int finishEntry(ScriptEngine* engine, int ok) {
    if (ok) {
        engine->errorKind = ErrorKind::kNone;
    } else if (engine->errorKind == ErrorKind::kNone) {
        engine->errorKind = ErrorKind::kRuntime;
    }
    return ok;
}
// Writes "Runtime error: <what>" for a C++ exception that reached the engine ("Out of memory" for
// std::bad_alloc).
void noteHostException(ScriptEngine* engine, std::exception_ptr error);

template <typename Work>
int guardHostCall(ScriptEngine* engine, Work&& work) {
    HostTrap trap(engine);
    try {
        work();
        return 1;
    } catch (const ScriptError&) {
        return 0;
    } catch (...) {
        noteHostException(engine, std::current_exception());
        return 0;
    }
}

}  // namespace quill
