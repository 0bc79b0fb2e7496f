// Engine creation and destruction, runtime errors and traps, warnings, and the plain allocator
// with its "Out of memory" reporting.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/engine_internal.h"

namespace quill {

// ---------------------------------------------------------------------------------------------
// Errors.

namespace {

void writeErrorBuffer(ScriptEngine* engine, const char* text, size_t length) {
    if (length > kErrorBufferSize - 1) length = kErrorBufferSize - 1;
    std::memmove(engine->errorBuffer, text, length);
    engine->errorBuffer[length] = '\0';
}

}  // namespace

void setErrorText(ScriptEngine* engine, std::string_view text) {
    writeErrorBuffer(engine, text.data(), text.size());
}

void setErrorTextf(ScriptEngine* engine, const char* format, ...) {
    char buffer[kErrorBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    writeErrorBuffer(engine, buffer, std::strlen(buffer));
}

void raiseRuntimeError(ScriptEngine* engine) {
    static constexpr char kPrefix[] = "Runtime error: ";
    constexpr size_t kPrefixLength = sizeof kPrefix - 1;
    size_t length = std::strlen(engine->errorBuffer);
    if (length > kErrorBufferSize - 1 - kPrefixLength)
        length = kErrorBufferSize - 1 - kPrefixLength;
    std::memmove(engine->errorBuffer + kPrefixLength, engine->errorBuffer, length);
    std::memcpy(engine->errorBuffer, kPrefix, kPrefixLength);
    engine->errorBuffer[kPrefixLength + length] = '\0';
    engine->errorKind = ErrorKind::kRuntime;
    // A new error: the innermost interpreter records where it happened. An earlier error that a
    // native swallowed (a failed toString in a conversion) must not lend it its location.
    engine->errorLocated = false;
    throw ScriptError{};
}

void raiseError(ScriptEngine* engine, const char* format, ...) {
    char buffer[kErrorBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    writeErrorBuffer(engine, buffer, std::strlen(buffer));
    raiseRuntimeError(engine);
}

void raiseStackOverflow(ScriptEngine* engine) {
    raiseError(engine, "stack overflow");
}

void noteOutOfMemory(ScriptEngine* engine) {
    setErrorText(engine, "Runtime error: Out of memory");
    engine->errorKind = ErrorKind::kRuntime;
    engine->errorLocated = false;
}

void noteHostException(ScriptEngine* engine, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        noteOutOfMemory(engine);
        return;
    } catch (const std::exception& e) {
        setErrorTextf(engine, "Runtime error: %s", e.what());
    } catch (...) {
        setErrorText(engine, "Runtime error: unexpected failure in a host object");
    }
    engine->errorKind = ErrorKind::kRuntime;
    engine->errorLocated = false;
}

HostTrap::HostTrap(ScriptEngine* engine)
    : engine_(engine),
      trapCount_(engine->traps.size()),
      savedTop_(engine->stackTop),
      savedFrame_(engine->frame),
      savedIp_(engine->ip) {
    TrapEntry entry{};
    entry.scriptTry = false;
    entry.runDepth = engine->runDepth;
    entry.savedTop = engine->stackTop;
    engine->traps.push_back(entry);
}

HostTrap::~HostTrap() {
    engine_->traps.resize(trapCount_);
    engine_->stackTop = savedTop_;
    engine_->frame = savedFrame_;
    engine_->ip = savedIp_;
}

NativeDepthGuard::NativeDepthGuard(ScriptEngine* engine) : engine_(engine) {
    if (++engine->nativeDepth > kMaxNativeDepth) {
        --engine->nativeDepth;
        raiseStackOverflow(engine);
    }
}

RootedValues::RootedValues(ScriptEngine* engine, ScriptValue* values, size_t count)
    : engine_(engine), block_{engine->roots, values, count} {
    engine->roots = &block_;
}

RootedValues::~RootedValues() {
    engine_->roots = block_.next;
}

// ---------------------------------------------------------------------------------------------
// Warnings and trace output.

void setTraceOutput(ScriptEngine* engine, TraceOutput output, void* user) {
    engine->trace = output;
    engine->traceUser = user;
}

void warn(ScriptEngine* engine, const char* text) {
    writeErrorBuffer(engine, text, std::strlen(text));
    if (!engine->trace) return;
    ScriptValue argv[2];
    argv[0] = makeInteger(1);
    newStringFromAnsi(engine, &argv[1], text, std::strlen(text));
    engine->trace(engine, engine->traceUser, argv);
}

void warnf(ScriptEngine* engine, const char* format, ...) {
    char buffer[kErrorBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    warn(engine, buffer);
}

// ---------------------------------------------------------------------------------------------
// Plain allocation.

namespace {

void* checked(ScriptEngine* engine, void* block) {
    if (!block && engine) raiseError(engine, "Out of memory");
    return block;
}

}  // namespace

void* plainAlloc(ScriptEngine* engine, size_t size) {
    return checked(engine, std::malloc(size ? size : 1));
}

void* plainCalloc(ScriptEngine* engine, size_t count, size_t size) {
    if (count == 0 || size == 0) return checked(engine, std::calloc(1, 1));
    return checked(engine, std::calloc(count, size));
}

void* plainRealloc(ScriptEngine* engine, void* block, size_t size) {
    return checked(engine, std::realloc(block, size ? size : 1));
}

void plainFree(void* block) {
    std::free(block);
}

char* plainStrdup(ScriptEngine* engine, const char* text) {
    size_t n = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(plainAlloc(engine, n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

char16_t* plainWcsdup(ScriptEngine* engine, const char16_t* text, size_t length) {
    auto* copy = static_cast<char16_t*>(plainAlloc(engine, (length + 1) * sizeof(char16_t)));
    if (copy) {
        if (length) std::memcpy(copy, text, length * sizeof(char16_t));
        copy[length] = 0;
    }
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Creation and destruction.

ScriptEngine* createEngine(const EngineConfig& config) {
    auto* engine = new (std::nothrow) ScriptEngine();
    if (!engine) return nullptr;
    engine->flags = config.flags;
    engine->hook = config.hook;
    engine->hookUser = config.hookUser;
    engine->maxHeapBytes = config.maxHeapBytes;
    engine->compileSettings = config.compileSettings;
    const char* stress = std::getenv("QUILL_GC_STRESS");
    engine->gcStress = config.gcStress || (stress && std::strcmp(stress, "1") == 0);
    uint32_t slots = config.stackSlots < 64 ? 64 : config.stackSlots;
    engine->stackBase = static_cast<ScriptValue*>(std::calloc(slots, sizeof(ScriptValue)));
    if (!engine->stackBase) {
        delete engine;
        return nullptr;
    }
    engine->stackSlots = slots;
    engine->stackEnd = engine->stackBase + slots;
    engine->stackTop = engine->stackEnd;

    int ok = guardHostCall(engine, [engine, &config] {
        engine->atomProto = intern(engine, "__proto__");
        engine->atomPrototype = intern(engine, "prototype");
        engine->atomToSource = intern(engine, "toSource");
        engine->atomToString = intern(engine, "toString");
        engine->atomValueOf = intern(engine, "valueOf");
        loadKeywordTable(engine);
        initStaticStrings(engine);
        registerBuiltins(engine, config.hostClasses);
    });
    if (!ok) {
        destroyEngine(engine);
        return nullptr;
    }
    engine->errorBuffer[0] = '\0';
    return engine;
}

void destroyEngine(ScriptEngine* engine) {
    if (!engine) return;
    // Every finalizer runs: nothing is marked.
    finalizeAllAndFreeHeap(engine);
    for (void* data : engine->moduleData) plainFree(data);
    engine->moduleData.clear();
    plainFree(engine->constants);
    freeAtoms(engine);
    freeKeywords(engine);
    plainFree(engine->globals);
    std::free(engine->stackBase);
    delete engine;
}

}  // namespace quill
