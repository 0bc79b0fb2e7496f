// The warning and error routines of the compiler: one formatted line per diagnostic in the
// compilation's diagnostic output; an error also ends the compilation.
#include "compiler/diagnostics.h"

#include <cstdarg>
#include <cstdio>

#include "compiler/messages.h"

namespace quill::compiler {

namespace {

void writeLine(CompileContext& ctx, const char* prefix, uint32_t line, const char* format,
               va_list args) {
    char message[kMessageBufferSize];
    std::vsnprintf(message, sizeof message, format, args);
    ctx.diagnostics->write("sasss", {prefix, line, kMsgLineSeparator, message, kMsgLineEnd});
}

}  // namespace

void compileWarning(CompileContext& ctx, uint32_t line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(ctx, kMsgWarningPrefix, line, format, args);
    va_end(args);
}

void compileError(CompileContext& ctx, uint32_t line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(ctx, kMsgErrorPrefix, line, format, args);
    va_end(args);
    throw CompileError{line};
}

void syntaxError(CompileContext& ctx, uint32_t line, const char* text) {
    compileError(ctx, line, kMsgSyntaxError, text);
}

}  // namespace quill::compiler
