// Compiler diagnostics: warnings are written and compilation goes on; the first error is written
// and then stops the whole compilation by unwinding (a C++ exception) to the driver's guard.
#pragma once

#include <cstdint>

#include "compiler/compile_context.h"

namespace quill::compiler {

// Thrown by compileError after its line was written; caught only by the compile guard.
struct CompileError {
    uint32_t line;
};

// Writes "warning: line N: <message>\r\n"; the message is formatted with printf rules into
// kMessageBufferSize bytes (longer text is cut).
void compileWarning(CompileContext& ctx, uint32_t line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Writes "error: line N: <message>\r\n" and throws CompileError.
[[noreturn]] void compileError(CompileContext& ctx, uint32_t line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// compileError with "syntax error: %s" and one of the parser's texts.
[[noreturn]] void syntaxError(CompileContext& ctx, uint32_t line, const char* text);

// Runs `work` (lexing, parsing, generating) under the compile guard: true when it finished,
// false when an error stopped it (its line is then the last one in ctx.diagnostics).
template <typename Work>
bool guardCompile(Work&& work) {
    try {
        work();
        return true;
    } catch (const CompileError&) {
        return false;
    }
}

}  // namespace quill::compiler
