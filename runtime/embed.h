// The interface for programs that embed the engine: the quill tool and the projector. It creates
// and destroys engines, compiles and runs scripts and modules, calls script functions, and reports
// failures as text with their kind and place. It holds no value or heap types: host classes and
// built-ins use runtime/script_engine.h and runtime/class_binding.h instead, and reach an engine
// through EngineConfig::hostClasses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/class_ids.h"

namespace quill {

struct ScriptEngine;

constexpr uint32_t kEngineFlagConfig = 1u << 0;     // set from the host's configuration record
constexpr uint32_t kEngineWarnUndefined = 1u << 2;  // warn when reading an undefined global

// The host's default compile settings word.
constexpr uint32_t kDefaultCompileSettings = 0x58200;
// Compile option bits the compile driver itself reads.
constexpr uint32_t kCompileRewindForListing = 1u << 1;
constexpr uint32_t kCompileDebugInfo = 1u << 2;

// The collection hook: called after each collection point's check with (2, user word); a nonzero
// answer stops the running script with "hook break %d".
using CollectionHook = int (*)(int reason, void* user);

// A class (or a group of global functions) a host adds to its engines, registered at `at`: the
// registration order is the order of the class ids, and a host's classes come after the
// engine's own at the same position.
struct HostRegistration {
    ClassId at;
    void (*add)(ScriptEngine* engine);
};

struct EngineConfig {
    uint32_t stackSlots = 4096;
    uint32_t flags = kEngineWarnUndefined;
    CollectionHook hook = nullptr;
    void* hookUser = nullptr;
    bool gcStress = false;    // collect at every collection point (also QUILL_GC_STRESS=1)
    size_t maxHeapBytes = 0;  // 0: no limit; beyond it allocations raise "Out of memory"
                              // (stream contents and other charged memory count too)
    uint32_t compileSettings = kDefaultCompileSettings;
    std::span<const HostRegistration> hostClasses = {};
};

// Creates an engine with every built-in class, the host classes of this build and those of
// `config.hostClasses`, in the fixed order. Null when creation fails.
ScriptEngine* createEngine(const EngineConfig& config = EngineConfig());
void destroyEngine(ScriptEngine* engine);

// Where warnings and the script's `trace` go, as UTF-8 text (none by default).
using TextOutput = void (*)(void* user, std::string_view text);
void setTraceText(ScriptEngine* engine, TextOutput output, void* user);

// ---------------------------------------------------------------------------------------------
// Running. Each returns 1 on success; on failure 0, with errorKind() and errorText() telling
// what went wrong.

// Compiles and runs script text; its completion value is then completionText().
int runScriptText(ScriptEngine* engine, std::string_view text);
// Runs a script file: `.qsc` is compiled, `.qls` source (any letter case); other names are
// sniffed for the compiled-module magic after an optional "#" line.
int runScriptFile(ScriptEngine* engine, const char* path);
// Reads, loads and runs module bytes.
int runModule(ScriptEngine* engine, const uint8_t* bytes, size_t length);
// Calls the global function `name` with string arguments (UTF-8).
int callGlobalFunction(ScriptEngine* engine, const char* name,
                       std::initializer_list<std::string_view> arguments = {});

enum class ErrorKind {
    kNone,
    kCompile,  // the source did not compile: diagnostics() has the messages
    kFile,     // a script file could not be opened: diagnostics() says which
    kRuntime,  // "Runtime error: ..." reached the host
    kThrown,   // a value the script threw reached the host (errorText() is its text)
};
ErrorKind errorKind(const ScriptEngine* engine);
// The last error or warning message (8-bit text as the engine wrote it).
std::string errorText(const ScriptEngine* engine);
// Compiler diagnostics of the last compilation ("error: line N: ...\r\n" lines), or the failure
// to open a script file.
std::string diagnostics(const ScriptEngine* engine);
// Where the last runtime failure happened, when that is known.
struct ErrorPlace {
    bool known = false;
    std::string function;  // ".main" outside functions
    std::string source;    // empty without debug information
    uint32_t line = 0;     // counted from 0
};
ErrorPlace errorPlace(ScriptEngine* engine);
// The completion value of the last run or call, as text (UTF-8).
std::string completionText(ScriptEngine* engine);
// True with the value when the last run or call completed with a boolean (the projector's
// start-up script answers this way); false for every other kind of value.
bool completionBoolean(const ScriptEngine* engine, bool* value);

// ---------------------------------------------------------------------------------------------
// Compiling and listing.

// The compile option bits of the engine's settings word.
uint32_t engineCompileOptions(const ScriptEngine* engine);
// Compiles source text or a source file; true with the module bytes, false on a compile error
// or an unreadable file (see diagnostics()). With a listing or output path the listing header
// or the module is also written there.
bool compileText(ScriptEngine* engine, std::string_view text, uint32_t options,
                 std::vector<uint8_t>* module, const char* listingPath = nullptr,
                 const char* outputPath = nullptr);
bool compileFile(ScriptEngine* engine, const char* path, uint32_t options,
                 std::vector<uint8_t>* module, const char* listingPath = nullptr,
                 const char* outputPath = nullptr);
// A readable listing of module bytes (whatever could be read), and whether they are a module.
std::string listModule(const uint8_t* bytes, size_t length);
bool isWellFormedModule(const uint8_t* bytes, size_t length);

}  // namespace quill
