// The fuzz engine: budget hook, limits, the file-write guard and the after-run check, plus the
// input reader the targets share.
#include "fuzz/fuzz_engine.h"

#include <dlfcn.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "builtins/builtin_support.h"
#include "compiler/compile_driver.h"

namespace quill::fuzz {

namespace {

// Set while an engine exists; the fuzzer itself writes its corpus and crash files in between.
bool blockFileWrites = false;

// libFuzzer saves the input that crashed or hung while the engine still exists: those files
// (named by their kind) must still be written.
bool fuzzerArtifact(const char* path) {
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    for (const char* kind : {"crash-", "timeout-", "oom-", "leak-", "slow-unit-", "minimized-"}) {
        if (std::strncmp(name, kind, std::strlen(kind)) == 0) return true;
    }
    return false;
}

bool refusedWrite(const char* path, const char* mode) {
    if (!blockFileWrites || !path || !mode) return false;
    bool writes = std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+');
    return writes && !fuzzerArtifact(path);
}

// Host classes that reach beyond the process (files by path, registry, network, devices).
// Whichever of them a build registers is hidden from fuzzed scripts.
const char* const kOutsideWorld[] = {
    "Folder",   "File",        "Drive",    "RegKey", "RegValue",      "Ini",           "Shell",
    "Shortcut", "URLShortcut", "Dialogs",  "MCI",    "Playback",      "Mail",          "SendMail",
    "RecvMail", "Inet",        "IPConfig", "Socket", "ActiveXObject", "createControl",
};

// `print` as the command-line tool has it, minus the output: the conversions still run.
void printNative(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result, ScriptValue* argv) {
    for (uint32_t i = 1; i <= argCount(argv); ++i) toString(e, argv[i]);
    *result = makeUndefined();
}

}  // namespace

FuzzEngine::FuzzEngine(const FuzzLimits& limits)
    : limit_(limits.hookCalls), seconds_(limits.seconds), start_(std::chrono::steady_clock::now()) {
    EngineConfig config;
    config.stackSlots = limits.stackSlots;
    config.maxHeapBytes = limits.heapBytes;
    config.gcStress = limits.gcStress;
    config.hook = hook;
    config.hookUser = this;
    engine_ = createEngine(config);
    if (!engine_) fail("createEngine failed under the fuzz limits");
    blockFileWrites = true;
    registerClass(engine_, "print")->call = printNative;
    for (const char* name : kOutsideWorld) {
        if (findAtom(engine_, name, std::strlen(name)) >= 0)
            setGlobal(engine_, name, makeUndefined());
    }
}

FuzzEngine::~FuzzEngine() {
    destroyEngine(engine_);
    blockFileWrites = false;
}

int FuzzEngine::hook(int, void* user) {
    auto* self = static_cast<FuzzEngine*>(user);
    if (++self->used_ > self->limit_) return 1;
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - self->start_;
    return spent.count() > self->seconds_ ? 2 : 0;
}

void FuzzEngine::expectUsable() {
    refill();
    collect(engine_, engine_->stackTop);
    if (engine_->stackTop != engine_->stackEnd) fail("the value stack was not unwound");
    if (!engine_->traps.empty()) fail("error traps were left behind");
    if (engine_->runDepth != 0 || engine_->nativeDepth != 0) fail("nesting counters leaked");
    int ok = runScriptText(engine_, "6 * 7");
    if (ok && engine_->returnSlot.tag == kTagInteger && engine_->returnSlot.i == 42) return;
    if (!ok && std::strcmp(engine_->errorBuffer, "Runtime error: Out of memory") == 0) return;
    fail("the engine no longer runs scripts", engine_->errorBuffer);
}

void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz check failed: %s", what);
    if (!detail.empty()) std::fprintf(stderr, ": %.*s", int(detail.size()), detail.data());
    std::fputc('\n', stderr);
    std::abort();
}

uint8_t FuzzInput::byte() {
    return pos_ < size_ ? data_[pos_++] : 0;
}

std::u16string FuzzInput::field() {
    return text(true);
}

std::u16string FuzzInput::rest() {
    return text(false);
}

std::string_view FuzzInput::restBytes() const {
    if (pos_ >= size_) return {};
    return std::string_view(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
}

std::u16string FuzzInput::text(bool stopAtSeparator) {
    std::u16string out;
    while (pos_ < size_) {
        uint8_t b = data_[pos_++];
        if (b == 0xFF && stopAtSeparator) break;
        if (b == 0xFE && pos_ + 2 <= size_) {
            out.push_back(char16_t(data_[pos_] | (data_[pos_ + 1] << 8)));
            pos_ += 2;
            continue;
        }
        out.push_back(char16_t(b));
    }
    return out;
}

uint64_t inputHash(const uint8_t* data, size_t size) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ull;
    return h;
}

std::string describe(const ScriptValue& v) {
    char buffer[64];
    switch (v.tag) {
        case kTagInteger:
            std::snprintf(buffer, sizeof buffer, "integer %" PRId64, v.i);
            return buffer;
        case kTagNumber:
            std::snprintf(buffer, sizeof buffer, "number %.17g", v.d);
            return buffer;
        case kTagString:
            return "string \"" + toUtf8String(stringView(v)) + "\"";
        default:
            std::snprintf(buffer, sizeof buffer, "tag %u", v.tag);
            return buffer;
    }
}

}  // namespace quill::fuzz

// Scripts under fuzzing may name any path; while an engine exists, opening a file for writing
// fails as it would in a read-only folder. Reading stays possible.
namespace {

using FopenFunction = std::FILE* (*)(const char*, const char*);

std::FILE* guardedOpen(const char* symbol, const char* path, const char* mode) {
    if (quill::fuzz::refusedWrite(path, mode)) {
        errno = EACCES;
        return nullptr;
    }
    auto real = reinterpret_cast<FopenFunction>(dlsym(RTLD_NEXT, symbol));
    return real ? real(path, mode) : nullptr;
}

}  // namespace

extern "C" std::FILE* fopen(const char* __restrict path, const char* __restrict mode) {
    return guardedOpen("fopen", path, mode);
}

extern "C" std::FILE* fopen64(const char* __restrict path, const char* __restrict mode) {
    return guardedOpen("fopen64", path, mode);
}
