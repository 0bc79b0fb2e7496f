// Tokens: the kinds the lexer produces and the record it hands to the parser. A character that
// is not part of a longer token is its own kind (its code); named kinds start at 128.
#pragma once

#include <cstdint>
#include <string>

namespace quill::compiler {

enum TokenKind : uint32_t {
    kTokEnd = 128,
    kTokInteger = 129,
    kTokFloat = 130,
    kTokString = 131,
    kTokIdentifier = 132,

    kTokBreak = 133,
    kTokContinue = 134,
    kTokDelete = 135,
    kTokElse = 136,
    kTokFor = 137,
    kTokFunction = 138,
    kTokIf = 139,
    kTokIn = 140,
    kTokNew = 141,
    kTokReturn = 142,
    kTokThis = 143,
    kTokTypeof = 144,
    kTokVar = 145,
    kTokVoid = 146,
    kTokWhile = 147,
    kTokWith = 148,
    kTokCase = 149,
    kTokCatch = 150,
    kTokClass = 151,
    kTokConst = 152,
    kTokDebugger = 153,
    kTokDefault = 154,
    kTokDo = 155,
    kTokEnum = 156,
    kTokExport = 157,
    kTokExtends = 158,
    kTokFinally = 159,
    kTokImport = 160,
    kTokSuper = 161,
    kTokSwitch = 162,
    kTokThrow = 163,
    kTokTry = 164,
    kTokNull = 165,
    kTokTrue = 166,
    kTokFalse = 167,

    kTokEq = 168,          // ==
    kTokNe = 169,          // !=
    kTokLe = 170,          // <=
    kTokGe = 171,          // >=
    kTokAndAnd = 172,      // &&
    kTokOrOr = 173,        // ||
    kTokIncrement = 174,   // ++
    kTokDecrement = 175,   // --
    kTokMulAssign = 176,   // *=
    kTokDivAssign = 177,   // /=
    kTokModAssign = 178,   // %=
    kTokAddAssign = 179,   // +=
    kTokSubAssign = 180,   // -=
    kTokAndAssign = 181,   // &=
    kTokXorAssign = 182,   // ^=
    kTokOrAssign = 183,    // |=
    kTokShlAssign = 184,   // <<=
    kTokShl = 185,         // <<
    kTokShr = 186,         // >>
    kTokUshr = 187,        // >>>
    kTokShrAssign = 188,   // >>=
    kTokUshrAssign = 189,  // >>>=
    kTokStrictEq = 190,    // ===
    kTokStrictNe = 191,    // !==
    kTokUndefined = 192,

    // A byte of 128 or more outside literals. Such bytes cannot be their own code, which would
    // collide with the named kinds above (0x80 would read as the end of input, 0x84 as an
    // identifier without text); they become kTokForeignByte + byte, which no rule accepts.
    kTokForeignByte = 0x100,
};

// The {pattern, flags} record of a regular-expression literal. The pattern is NUL-terminated;
// `length` also counts bytes after a NUL that an escape such as \x00 put into it.
struct RegExpLiteral {
    const char* pattern;
    uint32_t length;
    uint32_t flags;  // 1 global (g), 2 ignore case (i), 4 multiline (m)
};

struct Token {
    uint32_t kind;
    uint32_t line;  // the line counter when the token's first character was read
    union {
        int64_t integer;   // kTokInteger (also character literals)
        double number;     // kTokFloat
        const char* text;  // kTokString, kTokIdentifier: NUL-terminated, in the arena
    };
    uint32_t length;  // bytes of `text` (a string literal may hold NULs from escapes)
};

// Readable spelling of a kind ("==", "identifier", "while", "(", "byte 0xE9") for tests and
// tools.
std::string tokenKindName(uint32_t kind);

}  // namespace quill::compiler
