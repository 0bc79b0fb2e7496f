// The lexer: whitespace and comments, operators by longest match, identifiers and keywords,
// numbers (64-bit integers, doubles past 2^63 - 1), string, character and regular-expression
// literals with their escapes.
#include "compiler/lexer.h"

#include <cstdint>
#include <limits>

#include "compiler/diagnostics.h"
#include "compiler/messages.h"
#include "platform/number_text.h"
#include "runtime/script_engine.h"

namespace quill::compiler {

namespace {

constexpr uint32_t kNotKeyword = kTokEnd;  // what the engine's keyword lookup answers

inline bool isDigit(int c) {
    return c >= '0' && c <= '9';
}
inline bool isIdentifierStart(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '$' || c == '_';
}
inline bool isIdentifierPart(int c) {
    return isIdentifierStart(c) || isDigit(c);
}
inline int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Token makeToken(uint32_t kind, uint32_t line) {
    Token t;
    t.kind = kind;
    t.line = line;
    t.integer = 0;
    t.length = 0;
    return t;
}

}  // namespace

Token Lexer::next() {
    for (;;) {
        int c = in_.get();
        if (c == 0) return makeToken(kTokEnd, in_.line());
        if (c == '\n') {
            in_.nextLine();
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\v' || c == '\r' || c == '\f') continue;
        uint32_t line = in_.line();

        if (isIdentifierStart(c)) return scanIdentifier(c, line);
        if (c >= '1' && c <= '9') return scanNumber(c, line);

        switch (c) {
            case '/': {
                int d = in_.get();
                if (d == '*') {
                    skipBlockComment();
                    continue;
                }
                if (d == '/') {
                    skipLineComment();
                    continue;
                }
                if (d == '=') return makeToken(kTokDivAssign, line);
                in_.unget(d);
                return makeToken('/', line);
            }
            case '#': {
                int d = in_.get();
                if (d == '!') {
                    skipLineComment();
                    continue;
                }
                if (d == '\'') return scanCharacter(line);
                in_.unget(d);
                return makeToken('#', line);
            }
            case '"':
            case '\'':
                return scanString(c, line);
            case '0':
                return scanZeroPrefixed(line);
            case '.':
                if (isDigit(in_.peek())) return scanNumber(c, line);
                return makeToken('.', line);
            case '=':
                if (in_.peek() != '=') return makeToken('=', line);
                in_.get();
                return makeToken(either('=', kTokStrictEq, kTokEq), line);
            case '!':
                if (in_.peek() != '=') return makeToken('!', line);
                in_.get();
                return makeToken(either('=', kTokStrictNe, kTokNe), line);
            case '<': {
                int d = in_.get();
                if (d == '=') return makeToken(kTokLe, line);
                if (d == '<') return makeToken(either('=', kTokShlAssign, kTokShl), line);
                in_.unget(d);
                return makeToken('<', line);
            }
            case '>': {
                int d = in_.get();
                if (d == '=') return makeToken(kTokGe, line);
                if (d != '>') {
                    in_.unget(d);
                    return makeToken('>', line);
                }
                d = in_.get();
                if (d == '=') return makeToken(kTokShrAssign, line);
                if (d == '>') return makeToken(either('=', kTokUshrAssign, kTokUshr), line);
                in_.unget(d);
                return makeToken(kTokShr, line);
            }
            case '&': {
                int d = in_.get();
                if (d == '&') return makeToken(kTokAndAnd, line);
                if (d == '=') return makeToken(kTokAndAssign, line);
                in_.unget(d);
                return makeToken('&', line);
            }
            case '|': {
                int d = in_.get();
                if (d == '|') return makeToken(kTokOrOr, line);
                if (d == '=') return makeToken(kTokOrAssign, line);
                in_.unget(d);
                return makeToken('|', line);
            }
            case '+': {
                int d = in_.get();
                if (d == '+') return makeToken(kTokIncrement, line);
                if (d == '=') return makeToken(kTokAddAssign, line);
                in_.unget(d);
                return makeToken('+', line);
            }
            case '-': {
                int d = in_.get();
                if (d == '-') return makeToken(kTokDecrement, line);
                if (d == '=') return makeToken(kTokSubAssign, line);
                in_.unget(d);
                return makeToken('-', line);
            }
            case '*':
                return makeToken(either('=', kTokMulAssign, '*'), line);
            case '%':
                return makeToken(either('=', kTokModAssign, '%'), line);
            case '^':
                return makeToken(either('=', kTokXorAssign, '^'), line);
            default:
                if (c >= 128) return makeToken(kTokForeignByte + static_cast<uint32_t>(c), line);
                return makeToken(static_cast<uint32_t>(c), line);
        }
    }
}

void Lexer::skipBlockComment() {
    int previous = 0;
    for (;;) {
        int c = in_.get();
        if (c == 0) return;  // the next scan reads the end of input again
        if (c == '\n') in_.nextLine();
        if (previous == '*' && c == '/') return;
        previous = c;
    }
}

void Lexer::skipLineComment() {
    for (;;) {
        int c = in_.get();
        if (c == 0) return;
        if (c == '\n') {
            in_.unget(c);
            return;
        }
    }
}

Token Lexer::scanIdentifier(int first, uint32_t line) {
    buffer_.clear();
    int c = first;
    do {
        buffer_.push_back(static_cast<char>(c));
        c = in_.get();
    } while (isIdentifierPart(c));
    in_.unget(c);
    uint32_t kind = keywordLookup(ctx_.engine, buffer_.data(), buffer_.size());
    if (kind != kNotKeyword) return makeToken(kind, line);
    Token t = makeToken(kTokIdentifier, line);
    t.text = ctx_.arena.copyText(buffer_.data(), buffer_.size());
    t.length = static_cast<uint32_t>(buffer_.size());
    return t;
}

// A leading 0 not followed by '.', 'e' or 'E': hexadecimal after 0x, octal otherwise. The
// accumulator silently drops bits above 64; the first byte that is not a digit of the base ends
// the literal, so "08" is the two literals 0 and 8.
Token Lexer::scanZeroPrefixed(uint32_t line) {
    int c = in_.get();
    if (c == '.' || c == 'e' || c == 'E') {
        in_.unget(c);
        return scanNumber('0', line);
    }
    uint64_t value = 0;
    if (c == 'x' || c == 'X') {
        for (;;) {
            c = in_.get();
            int digit = hexValue(c);
            if (digit < 0) break;
            value = value * 16 + static_cast<uint64_t>(digit);
        }
    } else {
        while (c >= '0' && c <= '7') {
            value = value * 8 + static_cast<uint64_t>(c - '0');
            c = in_.get();
        }
    }
    in_.unget(c);
    Token t = makeToken(kTokInteger, line);
    t.integer = static_cast<int64_t>(value);
    return t;
}

// A decimal literal starting with `first` (a digit, or '.' followed by a digit). Integers up to
// 2^63 - 1 stay integers; a larger value, a fraction or an exponent makes a double, converted
// with correct rounding from the whole text.
Token Lexer::scanNumber(int first, uint32_t line) {
    buffer_.clear();
    uint64_t value = 0;
    bool tooBig = false;
    bool isFloat = false;
    int c = first;
    while (isDigit(c)) {
        buffer_.push_back(static_cast<char>(c));
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
            tooBig = true;
        } else {
            value = value * 10 + digit;
        }
        c = in_.get();
    }
    if (c == '.') {
        isFloat = true;
        do {
            buffer_.push_back(static_cast<char>(c));
            c = in_.get();
        } while (isDigit(c));
    }
    if (c == 'e' || c == 'E') {
        isFloat = true;
        buffer_.push_back(static_cast<char>(c));
        c = in_.get();
        if (c == '+' || c == '-') {
            buffer_.push_back(static_cast<char>(c));
            c = in_.get();
        }
        if (!isDigit(c)) compileError(ctx_, in_.line(), "%s", kMsgInvalidExponent);
        do {
            buffer_.push_back(static_cast<char>(c));
            c = in_.get();
        } while (isDigit(c));
    }
    in_.unget(c);

    if (!isFloat && !tooBig && value <= static_cast<uint64_t>(INT64_MAX)) {
        Token t = makeToken(kTokInteger, line);
        t.integer = static_cast<int64_t>(value);
        return t;
    }
    Token t = makeToken(kTokFloat, line);
    platform::parseDecimal(buffer_.data(), buffer_.size(), &t.number);
    return t;
}

Token Lexer::scanString(int quote, uint32_t line) {
    buffer_.clear();
    bool warned = false;
    for (;;) {
        int c = in_.get();
        if (c == quote) break;
        if (c == '\n') {
            if (!warned && ctx_.option(kOptionWarnLineTerminators)) {
                compileWarning(ctx_, in_.line(), kMsgLineTerminatorInConstant, kWordString);
                warned = true;
            }
            in_.nextLine();
        } else if (c == 0) {
            compileError(ctx_, line, kMsgUnterminatedConstant, kWordString);
        } else if (c == '\\') {
            int d = in_.get();
            if (d == '\n') {  // line continuation: nothing is added
                in_.nextLine();
                continue;
            }
            in_.unget(d);
            c = scanEscape(line, kWordString);
        }
        buffer_.push_back(static_cast<char>(c));
    }
    Token t = makeToken(kTokString, line);
    t.text = ctx_.arena.copyText(buffer_.data(), buffer_.size());
    t.length = static_cast<uint32_t>(buffer_.size());
    return t;
}

// #'c': one byte or one escape between single quotes, as a signed 8-bit integer literal.
Token Lexer::scanCharacter(uint32_t line) {
    int c = in_.get();
    if (c == '\\') {
        c = scanEscape(line, kWordCharacter);
    } else if (c == '\n') {
        in_.nextLine();
    }
    if (in_.get() != '\'') compileError(ctx_, in_.line(), "%s", kMsgIllegalCharacter);
    Token t = makeToken(kTokInteger, line);
    t.integer = static_cast<int8_t>(static_cast<uint8_t>(c));
    return t;
}

int Lexer::scanEscape(uint32_t startLine, const char* kindWord) {
    int e = in_.get();
    switch (e) {
        case 0:
            compileError(ctx_, startLine, kMsgUnterminatedConstant, kindWord);
        case 'n':
            return 10;
        case 't':
            return 9;
        case 'v':
            return 11;
        case 'b':
            return 8;
        case 'r':
            return 13;
        case 'f':
            return 12;
        case 'a':
            return 7;
        case '\\':
        case '?':
        case '\'':
        case '"':
            return e;
        case 'x': {
            int h1 = in_.get();
            int h2 = in_.get();
            if (h1 == 0 || h2 == 0)
                compileError(ctx_, startLine, kMsgUnterminatedConstant, kindWord);
            if (hexValue(h1) < 0 || hexValue(h2) < 0) {
                compileError(ctx_, in_.line(), kMsgIllegalHexCharacter, kTextHexEscape, h1, h2);
            }
            return hexValue(h1) * 16 + hexValue(h2);
        }
        case 'u': {
            // Four digits are read and checked, but only the low byte of the code point is
            // kept: the language's strings are 8-bit at this stage.
            int h[4];
            for (int& digit : h) digit = in_.get();
            for (int digit : h) {
                if (digit == 0) compileError(ctx_, startLine, kMsgUnterminatedConstant, kindWord);
            }
            for (int digit : h) {
                if (hexValue(digit) < 0) {
                    compileError(ctx_, in_.line(), kMsgIllegalUnicodeCharacter, kTextUnicodeEscape,
                                 h[0], h[1], h[2], h[3]);
                }
            }
            return hexValue(h[2]) * 16 + hexValue(h[3]);
        }
        default:
            break;
    }
    if (e >= '0' && e <= '7') {
        int value = e - '0';
        int more = e == '0' ? 3 : 2;
        for (int i = 0; i < more; ++i) {
            int d = in_.get();
            if (d < '0' || d > '7') {
                in_.unget(d);
                break;
            }
            value = value * 8 + (d - '0');
        }
        return value & 0xFF;
    }
    compileWarning(ctx_, in_.line(), kMsgUnknownEscape, '\\', e);
    if (e == '\n') in_.nextLine();
    return e;
}

RegExpLiteral* Lexer::scanRegExp(uint32_t startLine) {
    buffer_.clear();
    for (;;) {
        int c = in_.get();
        if (c == '/') break;
        if (c == 0) compileError(ctx_, startLine, kMsgUnterminatedConstant, kWordRegularExpression);
        if (c == '\n') {
            in_.nextLine();
        } else if (c == '\\') {
            int e = in_.get();
            switch (e) {
                case 0:
                    compileError(ctx_, startLine, kMsgUnterminatedConstant, kWordRegularExpression);
                case '\n':  // an escaped line break is dropped
                    in_.nextLine();
                    continue;
                case 'f':
                    c = 12;
                    break;
                case 'n':
                    c = 10;
                    break;
                case 'r':
                    c = 13;
                    break;
                case 't':
                    c = 9;
                    break;
                case 'v':
                    c = 11;
                    break;
                case 'c': {
                    int x = in_.get();
                    if (x == 0) {
                        compileError(ctx_, startLine, kMsgUnterminatedConstant,
                                     kWordRegularExpression);
                    }
                    if (x == '\n') in_.nextLine();
                    buffer_ += "\\c";
                    c = x;
                    break;
                }
                case 'u':
                case 'x':
                case '0':
                    // Decoded here to one byte, which then stands for itself in the pattern.
                    in_.unget(e);
                    c = scanEscape(startLine, kWordRegularExpression);
                    break;
                default:
                    buffer_.push_back('\\');
                    c = e;
                    break;
            }
        }
        buffer_.push_back(static_cast<char>(c));
    }
    uint32_t flags = 0;
    for (;;) {
        int c = in_.get();
        if (c == 'g') {
            flags |= 1;
        } else if (c == 'i') {
            flags |= 2;
        } else if (c == 'm') {
            flags |= 4;
        } else {
            in_.unget(c);
            break;
        }
    }
    auto* literal = ctx_.arena.makeZeroed<RegExpLiteral>();
    literal->pattern = ctx_.arena.copyText(buffer_.data(), buffer_.size());
    literal->length = static_cast<uint32_t>(buffer_.size());
    literal->flags = flags;
    return literal;
}

// ---------------------------------------------------------------------------------------------

std::string tokenKindName(uint32_t kind) {
    static const char* const kNamed[] = {
        "end",    "integer",   "float",   "string",   "identifier", "break",   "continue",
        "delete", "else",      "for",     "function", "if",         "in",      "new",
        "return", "this",      "typeof",  "var",      "void",       "while",   "with",
        "case",   "catch",     "class",   "const",    "debugger",   "default", "do",
        "enum",   "export",    "extends", "finally",  "import",     "super",   "switch",
        "throw",  "try",       "null",    "true",     "false",      "==",      "!=",
        "<=",     ">=",        "&&",      "||",       "++",         "--",      "*=",
        "/=",     "%=",        "+=",      "-=",       "&=",         "^=",      "|=",
        "<<=",    "<<",        ">>",      ">>>",      ">>=",        ">>>=",    "===",
        "!==",    "undefined",
    };
    if (kind >= kTokEnd && kind <= kTokUndefined) return kNamed[kind - kTokEnd];
    if (kind >= kTokForeignByte && kind < kTokForeignByte + 256) {
        static const char kHex[] = "0123456789ABCDEF";
        uint32_t byte = kind - kTokForeignByte;
        return std::string("byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
    }
    if (kind >= 32 && kind < 127) return std::string(1, static_cast<char>(kind));
    return "kind " + std::to_string(kind);
}

}  // namespace quill::compiler
