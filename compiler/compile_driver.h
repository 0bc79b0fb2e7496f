// The compile driver and the script entry points of the engine: compiling source text or files
// to modules (diagnostics into the engine's message buffer), telling script files from compiled
// ones, running text, files and modules, and the globals `eval` and `evals`.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/embed.h"
#include "runtime/script_engine.h"

namespace quill {

// The compile option bits derived from a settings word.
uint32_t compileOptionsFromSettings(uint32_t settings, bool configFlag);
// Registers `eval` and `evals`.
void registerEvalFunctions(ScriptEngine* engine);

}  // namespace quill
