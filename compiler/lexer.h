// The lexer: turns the bytes of one compilation into tokens, one at a time, on the parser's
// demand. It works on 8-bit characters; identifiers are ASCII; literal texts go to the arena.
#pragma once

#include <cstdint>
#include <string>

#include "compiler/compile_context.h"
#include "compiler/token.h"

namespace quill::compiler {

class Lexer {
  public:
    explicit Lexer(CompileContext& ctx) : ctx_(ctx), in_(*ctx.input) {}

    // Scans one token; the end of input gives kTokEnd, as often as asked. Lexical errors throw
    // CompileError (after writing their line); warnings are written and scanning goes on.
    Token next();

    // Called right after the parser consumed a '/' in operand position: reads the rest of a
    // regular-expression literal up to the closing '/' and its flag letters. `startLine` is the
    // line of the '/', where an unterminated literal is reported.
    RegExpLiteral* scanRegExp(uint32_t startLine);

  private:
    // After a backslash: the byte an escape stands for. `kindWord` names the literal in the
    // "unterminated %s constant" error, which is reported at `startLine`.
    int scanEscape(uint32_t startLine, const char* kindWord);

    Token scanIdentifier(int first, uint32_t line);
    Token scanNumber(int first, uint32_t line);
    Token scanZeroPrefixed(uint32_t line);
    Token scanString(int quote, uint32_t line);
    Token scanCharacter(uint32_t line);
    void skipBlockComment();
    void skipLineComment();

    // One of two kinds, depending on whether the next byte is `second`.
    uint32_t either(int second, uint32_t longer, uint32_t shorter) {
        int c = in_.get();
        if (c == second) return longer;
        in_.unget(c);
        return shorter;
    }

    CompileContext& ctx_;
    SourceReader& in_;
    std::string buffer_;  // literal and identifier text being collected; reused, grows by doubling
};

}  // namespace quill::compiler
