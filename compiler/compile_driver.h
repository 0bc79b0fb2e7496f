// The compile driver and the script entry points of the engine: compiling source text or files
// to modules (diagnostics into the engine's message buffer), telling script files from compiled
// ones, running text, files and modules, and the globals `eval` and `evals`.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/script_engine.h"

namespace quill {

// The host's default settings word.
constexpr uint32_t kDefaultCompileSettings = 0x58200;
// Compile option bits the driver itself reads.
constexpr uint32_t kCompileRewindForListing = 1u << 1;
constexpr uint32_t kCompileDebugInfo = 1u << 2;

// The compile option bits derived from a settings word.
uint32_t compileOptionsFromSettings(uint32_t settings, bool configFlag);
// The options the engine's own compilations use (from engine->compileSettings).
uint32_t engineCompileOptions(const ScriptEngine* engine);

// Compiles source text or a source file; true with the module bytes, false on a compile error
// or an unreadable file. The diagnostics (or the open failure) are left in engine->messageBuffer.
// With a listing or output path the listing header or the module is also written there.
bool compileText(ScriptEngine* engine, std::string_view text, uint32_t options,
                 std::vector<uint8_t>* module, const char* listingPath = nullptr,
                 const char* outputPath = nullptr);
bool compileFile(ScriptEngine* engine, const char* path, uint32_t options,
                 std::vector<uint8_t>* module, const char* listingPath = nullptr,
                 const char* outputPath = nullptr);

// Runs a script file: `.qsc` is compiled, `.qls` source (any letter case); other names are
// sniffed for the compiled-module magic after an optional "#" line. Returns 1 or 0.
int runScriptFile(ScriptEngine* engine, const char* path);
// Compiles and runs text; the completion value is left in engine->returnSlot.
int runScriptText(ScriptEngine* engine, std::string_view text);

// Registers `eval` and `evals`.
void registerEvalFunctions(ScriptEngine* engine);

}  // namespace quill
