// The state of one compilation: its input, its diagnostic output, the option bits, the arena
// that owns tokens and syntax nodes, and what the parser leaves for the code generator.
#pragma once

#include <cstdint>
#include <memory>

#include "compiler/arena.h"
#include "compiler/ast.h"
#include "compiler/source_reader.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::compiler {

// Compile option bits the front end reads (the rest are stored for the code generator and the
// driver).
constexpr uint32_t kOptionWarnMissingSemicolon = 1u << 20;  // warning "missing ;"
constexpr uint32_t kOptionWarnLineTerminators = 1u << 21;   // line feeds inside strings

struct CompileContext {
    CompileContext(ScriptEngine* engine, SourceReader* input, uint32_t options)
        : engine(engine), input(input), diagnostics(SourceReader::newBuffer()), options(options) {}
    CompileContext(const CompileContext&) = delete;
    CompileContext& operator=(const CompileContext&) = delete;

    bool option(uint32_t bit) const { return (options & bit) != 0; }

    ScriptEngine* engine;  // the keyword hash lives here
    SourceReader* input;   // not owned
    // The diagnostic lines of this compilation ("warning: line N: ...\r\n"), a growable buffer.
    std::unique_ptr<SourceReader> diagnostics;
    uint32_t options;
    Arena arena;

    // ---- the parser's results and counters ----------------------------------------------------
    // Top-level statements in source order (a top-level `var` has its global flag set).
    NodeList statements;
    // Every function definition (kind 49), in the order their parsing ended: an inner function
    // comes before the function that contains it.
    NodeList functions;
    uint32_t anonymousCounter = 0;  // the next "@F_%d" number
    uint32_t tokenCount = 0;        // tokens consumed
    uint32_t argumentsCount = 0;    // identifier tokens spelled "arguments" consumed
    uint32_t autoSemicolons = 0;    // semicolons taken as present
    uint32_t lastLine = 0;          // line of the last consumed token
};

}  // namespace quill::compiler
