// Helpers for the compiler front-end tests: one engine for the keyword hash, a compilation over
// a source text, token streams and printed trees as strings.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "compiler/ast_print.h"
#include "compiler/compile_context.h"
#include "compiler/diagnostics.h"
#include "compiler/lexer.h"
#include "compiler/parser.h"
#include "runtime/script_engine.h"

namespace quill::compiler::testing {

inline ScriptEngine* sharedEngine() {
    static std::unique_ptr<ScriptEngine, void (*)(ScriptEngine*)> engine(createEngine(),
                                                                         destroyEngine);
    return engine.get();
}

// One compilation over `source`: its reader, its context, and what the front end left.
struct Compilation {
    explicit Compilation(std::string_view source, uint32_t options = 0)
        : input(SourceReader::fromString(source)), ctx(sharedEngine(), input.get(), options) {}

    bool parse() {
        return guardCompile([this] { parseProgram(ctx); });
    }
    std::string diagnostics() const { return std::string(ctx.diagnostics->text()); }
    std::string program() const { return printProgram(ctx); }

    std::unique_ptr<SourceReader> input;
    CompileContext ctx;
};

// The printed program (functions, then statements, one per line), or "ERROR " and the
// diagnostic text when the parse failed.
inline std::string parseText(std::string_view source, uint32_t options = 0) {
    Compilation c(source, options);
    if (!c.parse()) return "ERROR " + c.diagnostics();
    return c.program();
}

// The diagnostic text of a parse (warnings and the error line, if any).
inline std::string diagnosticsOf(std::string_view source, uint32_t options = 0) {
    Compilation c(source, options);
    c.parse();
    return c.diagnostics();
}

// The single error line a parse must end with: "error: line N: message\r\n".
inline std::string errorLine(uint32_t line, const std::string& message) {
    return "error: line " + std::to_string(line) + ": " + message + "\r\n";
}
inline std::string syntaxErrorLine(uint32_t line, const std::string& text) {
    return errorLine(line, "syntax error: " + text);
}
inline std::string warningLine(uint32_t line, const std::string& message) {
    return "warning: line " + std::to_string(line) + ": " + message + "\r\n";
}

// A token in printed form: keywords and operators as spelled, literals with their values.
inline std::string describeToken(const Token& t) {
    switch (t.kind) {
        case kTokEnd:
            return "<end>";
        case kTokIdentifier:
            return "id:" + std::string(t.text, t.length);
        case kTokString:
            return "str:" + std::string(t.text, t.length);
        case kTokInteger:
            return "int:" + std::to_string(t.integer);
        case kTokFloat: {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", t.number);
            return "num:" + std::string(text);
        }
        default:
            return tokenKindName(t.kind);
    }
}

}  // namespace quill::compiler::testing
