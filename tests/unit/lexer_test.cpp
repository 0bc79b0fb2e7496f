// The lexer: token kinds and values, line counting, comments, number boundaries, string,
// character and regular-expression literals with their escapes, and lexical diagnostics.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "compiler/messages.h"
#include "compiler_test_support.h"

using namespace quill::compiler;
using namespace quill::compiler::testing;

namespace {

struct LexResult {
    bool ok = false;
    std::string tokens;      // printed tokens without the end token, separated by spaces
    std::vector<Token> all;  // including the end token
    std::string diagnostics;
};

LexResult lex(std::string_view source, uint32_t options = 0) {
    Compilation c(source, options);
    Lexer lexer(c.ctx);
    LexResult r;
    r.ok = guardCompile([&] {
        for (;;) {
            Token t = lexer.next();
            r.all.push_back(t);
            if (t.kind == kTokEnd) break;
            if (!r.tokens.empty()) r.tokens += ' ';
            r.tokens += describeToken(t);
        }
    });
    r.diagnostics = c.diagnostics();
    return r;
}

std::string tokens(std::string_view source) {
    LexResult r = lex(source);
    EXPECT_TRUE(r.ok) << r.diagnostics;
    return r.tokens;
}

// A token that outlives its compilation (the text is copied out of the arena).
struct LexedToken {
    uint32_t kind = 0;
    uint32_t line = 0;
    int64_t integer = 0;
    double number = 0;
    std::string text;
    uint32_t length = 0;
};

// The one token a source holds (checked).
LexedToken single(std::string_view source) {
    Compilation c(source);
    Lexer lexer(c.ctx);
    LexedToken out;
    bool ok = guardCompile([&] {
        Token t = lexer.next();
        out.kind = t.kind;
        out.line = t.line;
        if (t.kind == kTokFloat) {
            out.number = t.number;
        } else if (t.kind == kTokString || t.kind == kTokIdentifier) {
            out.text.assign(t.text, t.length);
            out.length = t.length;
        } else {
            out.integer = t.integer;
        }
        EXPECT_EQ(lexer.next().kind, static_cast<uint32_t>(kTokEnd)) << source;
    });
    EXPECT_TRUE(ok) << c.diagnostics();
    return out;
}

std::string stringValue(std::string_view source) {
    Compilation c(source);
    Lexer lexer(c.ctx);
    std::string value = "<error>";
    guardCompile([&] {
        Token t = lexer.next();
        EXPECT_EQ(t.kind, kTokString);
        value.assign(t.text, t.length);
    });
    return value;
}

std::string lexError(std::string_view source) {
    LexResult r = lex(source);
    EXPECT_FALSE(r.ok) << source;
    return r.diagnostics;
}

// Lexes "/" then scans a regular expression as the parser does in operand position.
struct RegExpResult {
    bool ok = false;
    std::string pattern;
    uint32_t flags = 0;
    std::string rest;  // the tokens after the literal
    std::string diagnostics;
};

RegExpResult regexp(std::string_view source) {
    Compilation c(source);
    Lexer lexer(c.ctx);
    RegExpResult r;
    r.ok = guardCompile([&] {
        Token slash = lexer.next();
        EXPECT_EQ(slash.kind, static_cast<uint32_t>('/'));
        RegExpLiteral* literal = lexer.scanRegExp(slash.line);
        r.pattern.assign(literal->pattern, literal->length);
        r.flags = literal->flags;
        for (Token t = lexer.next(); t.kind != kTokEnd; t = lexer.next()) {
            if (!r.rest.empty()) r.rest += ' ';
            r.rest += describeToken(t);
        }
    });
    r.diagnostics = c.diagnostics();
    return r;
}

}  // namespace

TEST(Lexer, EndOfInputRepeatsAndKeepsItsLine) {
    LexResult empty = lex("");
    ASSERT_TRUE(empty.ok);
    ASSERT_EQ(empty.all.size(), 1u);
    EXPECT_EQ(empty.all[0].line, 0u);

    Compilation c("x\n\n");
    Lexer lexer(c.ctx);
    EXPECT_EQ(lexer.next().kind, kTokIdentifier);
    for (int i = 0; i < 3; ++i) {
        Token end = lexer.next();
        EXPECT_EQ(end.kind, kTokEnd);
        EXPECT_EQ(end.line, 2u);
    }
}

TEST(Lexer, LinesCountFromZeroAcrossWhitespaceAndComments) {
    LexResult r = lex("a\r\n\tb \v\f c\n/* one\ntwo */ d // x\ne #! y\n\nf");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.tokens, "id:a id:b id:c id:d id:e id:f");
    std::vector<uint32_t> lines;
    for (const Token& t : r.all) lines.push_back(t.line);
    EXPECT_EQ(lines, (std::vector<uint32_t>{0, 1, 1, 3, 4, 6, 6}));
}

TEST(Lexer, CommentsAnywhere) {
    // #! is a comment in the middle of a line too; a lone # is its own token.
    EXPECT_EQ(tokens("a #! b c\nd"), "id:a id:d");
    EXPECT_EQ(tokens("a # b"), "id:a # id:b");
    EXPECT_EQ(tokens("#!"), "");
    EXPECT_EQ(tokens("/**/a/***/b/*/ */c"), "id:a id:b id:c");
    // An unterminated block comment ends silently with the input.
    LexResult r = lex("a /* x\ny");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.tokens, "id:a");
    EXPECT_EQ(r.all.back().line, 1u);
    EXPECT_EQ(r.diagnostics, "");
}

TEST(Lexer, OperatorsTakeTheLongestMatch) {
    EXPECT_EQ(tokens("x===y"), "id:x === id:y");
    EXPECT_EQ(tokens("a>>>=b"), "id:a >>>= id:b");
    EXPECT_EQ(tokens("= == === ! != !== < <= << <<="), "= == === ! != !== < <= << <<=");
    EXPECT_EQ(tokens("> >= >> >>= >>> >>>="), "> >= >> >>= >>> >>>=");
    EXPECT_EQ(tokens("& && &= | || |= + ++ += - -- -="), "& && &= | || |= + ++ += - -- -=");
    EXPECT_EQ(tokens("* *= / /= % %= ^ ^="), "* *= / /= % %= ^ ^=");
    EXPECT_EQ(tokens("====!===>>>>"), "=== = !== = >>> >");
    EXPECT_EQ(tokens("a+++b"), "id:a ++ + id:b");
    EXPECT_EQ(tokens("( ) [ ] { } ; , . : ? ~ @ \\ `"), "( ) [ ] { } ; , . : ? ~ @ \\ `");
    // No token for these: => is two, instanceof an identifier.
    EXPECT_EQ(tokens("=> instanceof"), "= > id:instanceof");
    EXPECT_EQ(single("!==").kind, static_cast<uint32_t>(kTokStrictNe));
    EXPECT_EQ(single(">>>=").kind, 189u);
}

TEST(Lexer, KeywordsAndIdentifiers) {
    EXPECT_EQ(tokens("instanceof Instanceof Null null undefined Undefined"),
              "id:instanceof id:Instanceof id:Null null undefined id:Undefined");
    EXPECT_EQ(single("undefined").kind, 192u);
    EXPECT_EQ(single("break").kind, 133u);
    EXPECT_EQ(single("false").kind, 167u);
    // Reserved words lex as keywords.
    EXPECT_EQ(tokens("class const debugger enum export extends import super"),
              "class const debugger enum export extends import super");
    EXPECT_EQ(tokens("$ _ $a_1 a$ _9 iff in2 x1y"),
              "id:$ id:_ id:$a_1 id:a$ id:_9 id:iff id:in2 id:x1y");
    // A digit ends a number, not an identifier; letters after a number start a new token.
    EXPECT_EQ(tokens("3in"), "int:3 in");

    std::string longName(200000, 'n');
    LexedToken t = single(longName + "1");
    EXPECT_EQ(t.kind, static_cast<uint32_t>(kTokIdentifier));
    EXPECT_EQ(t.length, 200001u);
    EXPECT_EQ(t.text, longName + "1");
}

TEST(Lexer, ZeroPrefixedNumbersAreHexOrOctal) {
    EXPECT_EQ(tokens("0x1F 0X1f 017 0 0x"), "int:31 int:31 int:15 int:0 int:0");
    EXPECT_EQ(tokens("08"), "int:0 int:8");
    EXPECT_EQ(tokens("0779"), "int:63 int:9");
    EXPECT_EQ(tokens("0xfg"), "int:15 id:g");
    // 64-bit accumulation that takes no notice of overflow.
    EXPECT_EQ(single("0xFFFFFFFFFFFFFFFF").integer, -1);
    EXPECT_EQ(single("0x10000000000000001").integer, 1);
    EXPECT_EQ(single("0x8000000000000000").integer, INT64_MIN);
    EXPECT_EQ(single("01777777777777777777777").integer, -1);
}

TEST(Lexer, DecimalNumbers) {
    EXPECT_EQ(tokens("0.5 .5 1. 1e3 1E+3 2e-1 0e0 12.5e1"),
              "num:0.5 num:0.5 num:1 num:1000 num:1000 num:0.20000000000000001 num:0 num:125");
    EXPECT_EQ(single("1.").kind, static_cast<uint32_t>(kTokFloat));
    EXPECT_EQ(tokens("1..a"), "num:1 . id:a");
    EXPECT_EQ(tokens("a.b .x"), "id:a . id:b . id:x");
    EXPECT_EQ(single("0.1").number, 0.1);
    EXPECT_EQ(single("1.7976931348623157e308").number, 1.7976931348623157e308);
    EXPECT_EQ(single("2.2250738585072014e-308").number, 2.2250738585072014e-308);
    EXPECT_TRUE(std::isinf(single("1e400").number));
    EXPECT_EQ(single("1e-400").number, 0.0);
}

TEST(Lexer, IntegersUpTo2To63Minus1StayIntegers) {
    LexedToken max = single("9223372036854775807");
    EXPECT_EQ(max.kind, static_cast<uint32_t>(kTokInteger));
    EXPECT_EQ(max.integer, INT64_MAX);

    LexedToken over = single("9223372036854775808");
    EXPECT_EQ(over.kind, static_cast<uint32_t>(kTokFloat));
    EXPECT_EQ(over.number, 9223372036854775808.0);
    // Past 2^64 the value must not wrap around into a small integer.
    LexedToken wrapped = single("18446744073709551616");
    EXPECT_EQ(wrapped.kind, static_cast<uint32_t>(kTokFloat));
    EXPECT_EQ(wrapped.number, 18446744073709551616.0);
    LexedToken huge = single(std::string(400, '9'));
    EXPECT_EQ(huge.kind, static_cast<uint32_t>(kTokFloat));
    EXPECT_TRUE(std::isinf(huge.number));
    EXPECT_EQ(single("1234567890123").integer, 1234567890123);
}

TEST(Lexer, ExponentNeedsADigit) {
    std::string message = errorLine(0, kMsgInvalidExponent);
    EXPECT_EQ(lexError("1e"), message);
    EXPECT_EQ(lexError("1e+"), message);
    EXPECT_EQ(lexError("2.5E-x"), message);
    EXPECT_EQ(lexError("\n\n3ex"), errorLine(2, kMsgInvalidExponent));
}

TEST(Lexer, StringEscapes) {
    EXPECT_EQ(stringValue(R"("\n\t\v\b\r\f\a")"), "\n\t\v\b\r\f\a");
    EXPECT_EQ(stringValue(R"('\\\?\'\"')"), "\\?'\"");
    EXPECT_EQ(stringValue(R"("a'b" )"), "a'b");
    EXPECT_EQ(stringValue(R"('a"b')"), "a\"b");
    EXPECT_EQ(stringValue(R"("\x41\x6a\x6A")"), "Ajj");
    // \u keeps only the low byte of the code point.
    EXPECT_EQ(stringValue(R"("\u4E2D")"), "\x2D");
    EXPECT_EQ(stringValue(R"("\u0041\uFFe9")"), "A\xE9");
    // Octal: a leading 0 allows three more digits, any other digit two more.
    EXPECT_EQ(stringValue(R"("\101\0101")"), "AA");
    EXPECT_EQ(stringValue(R"("\1011\08\7")"), std::string("A1\0"
                                                          "8\x07",
                                                          5));
    EXPECT_EQ(stringValue(R"("\777")"), "\xFF");
    EXPECT_EQ(stringValue(R"("")"), "");
    EXPECT_EQ(stringValue("\"caf\xE9\x80\xFF\""), "caf\xE9\x80\xFF");

    LexedToken withNul = single(R"("a\0b")");
    EXPECT_EQ(withNul.length, 3u);
    EXPECT_EQ(withNul.text, std::string("a\0b", 3));
}

TEST(Lexer, UnknownEscapeWarnsAndKeepsTheCharacter) {
    LexResult r = lex("\n\"\\q\\z\" x");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.tokens, "str:qz id:x");
    EXPECT_EQ(r.diagnostics, warningLine(1, "unknown escape sequence '\\q'") +
                                 warningLine(1, "unknown escape sequence '\\z'"));
}

TEST(Lexer, LineBreaksInsideStrings) {
    // Backslash-newline continues the literal without adding anything, and counts the line.
    LexResult cont = lex("\"ab\\\ncd\" x");
    ASSERT_TRUE(cont.ok);
    EXPECT_EQ(cont.tokens, "str:abcd id:x");
    EXPECT_EQ(cont.all[1].line, 1u);

    // A raw line feed stays in the string; the warning needs option bit 21 and comes once per
    // literal, at the line of the first line feed.
    LexResult quiet = lex("'a\nb\nc' x");
    ASSERT_TRUE(quiet.ok);
    EXPECT_EQ(quiet.diagnostics, "");
    EXPECT_EQ(quiet.all[1].line, 2u);
    LexResult loud = lex("x\n'a\nb\nc' 'd\ne'", kOptionWarnLineTerminators);
    ASSERT_TRUE(loud.ok);
    EXPECT_EQ(loud.tokens, "id:x str:a\nb\nc str:d\ne");
    EXPECT_EQ(loud.diagnostics,
              warningLine(1, "ECMAScript don't allow line terminators in string constants") +
                  warningLine(3, "ECMAScript don't allow line terminators in string constants"));
}

TEST(Lexer, StringErrors) {
    // Unterminated constants are reported at the line where they start.
    EXPECT_EQ(lexError("x\n\"abc\n\n"), errorLine(1, "unterminated string constant"));
    EXPECT_EQ(lexError("'abc\\"), errorLine(0, "unterminated string constant"));
    EXPECT_EQ(lexError("'\\x4"), errorLine(0, "unterminated string constant"));
    EXPECT_EQ(lexError("'\\u12"), errorLine(0, "unterminated string constant"));
    EXPECT_EQ(lexError(std::string("'abc\0def'", 9)), errorLine(0, "unterminated string constant"));
    EXPECT_EQ(lexError(R"("\x4g")"), errorLine(0, "illegal character '\\x4g'"));
    EXPECT_EQ(lexError(R"("\xg4")"), errorLine(0, "illegal character '\\xg4'"));
    EXPECT_EQ(lexError(R"("\u12G4")"), errorLine(0, "illegal unicode character '\\u12G4'"));
    EXPECT_EQ(lexError(R"("\u12"x)"), errorLine(0, "illegal unicode character '\\u12\"x'"));
}

TEST(Lexer, CharacterLiterals) {
    EXPECT_EQ(single("#'A'").integer, 65);
    EXPECT_EQ(single("#'A'").kind, static_cast<uint32_t>(kTokInteger));
    EXPECT_EQ(single("#'\\n'").integer, 10);
    EXPECT_EQ(single("#'\\x41'").integer, 65);
    EXPECT_EQ(single("#'''").integer, 39);
    EXPECT_EQ(single("#'\"'").integer, 34);
    // Bytes from 128 up are signed 8-bit values.
    EXPECT_EQ(single("#'\xE9'").integer, -23);
    EXPECT_EQ(single("#'\\xFF'").integer, -1);
    EXPECT_EQ(single("#'\\x80'").integer, -128);
    EXPECT_EQ(tokens("#'a'+#'b'"), "int:97 + int:98");

    EXPECT_EQ(lexError("#'A"), errorLine(0, "illegal character"));
    EXPECT_EQ(lexError("#'AB'"), errorLine(0, "illegal character"));
    EXPECT_EQ(lexError("#'"), errorLine(0, "illegal character"));
    EXPECT_EQ(lexError("\n#'\\"), errorLine(1, "unterminated character constant"));
    EXPECT_EQ(lexError("#'\\xZZ'"), errorLine(0, "illegal character '\\xZZ'"));
}

TEST(Lexer, RegularExpressions) {
    RegExpResult r = regexp("/a\\/b/g x");
    ASSERT_TRUE(r.ok) << r.diagnostics;
    EXPECT_EQ(r.pattern, "a\\/b");
    EXPECT_EQ(r.flags, 1u);
    EXPECT_EQ(r.rest, "id:x");

    r = regexp("/[a-z]+\\d\\\\/gimgx");
    EXPECT_EQ(r.pattern, "[a-z]+\\d\\\\");
    EXPECT_EQ(r.flags, 7u);
    EXPECT_EQ(r.rest, "id:x");

    // Control escapes become bytes; \c keeps its three characters; \x, \u and \0 are decoded,
    // and a decoded '/' does not end the literal.
    r = regexp("/\\f\\n\\r\\t\\v\\cA\\x41\\u002F\\0x/");
    EXPECT_EQ(r.pattern, std::string("\f\n\r\t\v\\cAA/\0x", 12));
    EXPECT_EQ(r.flags, 0u);

    // An escaped line break is dropped; a raw one is kept; both count.
    r = regexp("/a\\\nb\nc/ x");
    EXPECT_EQ(r.pattern, "ab\nc");
    EXPECT_EQ(r.rest, "id:x");
    EXPECT_EQ(r.diagnostics, "");
    Compilation c("/a\nb\\\nc/ x");
    Lexer lexer(c.ctx);
    lexer.scanRegExp(lexer.next().line);
    EXPECT_EQ(lexer.next().line, 2u);

    EXPECT_EQ(regexp("\n/abc").diagnostics,
              errorLine(1, "unterminated regular expression constant"));
    EXPECT_EQ(regexp("/abc\\").diagnostics,
              errorLine(0, "unterminated regular expression constant"));
    EXPECT_EQ(regexp("/a\\c").diagnostics,
              errorLine(0, "unterminated regular expression constant"));
    EXPECT_EQ(regexp("/\\x4").diagnostics,
              errorLine(0, "unterminated regular expression constant"));
    EXPECT_EQ(regexp("/\\u00zz/").diagnostics, errorLine(0, "illegal unicode character '\\u00zz'"));
    // /= is its own token, so "/=x/" is not a regular expression in any position.
    EXPECT_EQ(tokens("/=x/"), "/= id:x /");
}

TEST(Lexer, EmbeddedNulEndsTheInput) {
    LexResult r = lex(std::string("a b\0c d", 7));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.tokens, "id:a id:b");
    EXPECT_EQ(r.all.back().kind, static_cast<uint32_t>(kTokEnd));
    // In the middle of an identifier, a comment or right after an operator.
    EXPECT_EQ(lex(std::string("abc\0def", 7)).tokens, "id:abc");
    EXPECT_EQ(lex(std::string("x /* \0 */ y", 11)).tokens, "id:x");
    EXPECT_EQ(lex(std::string("x >>\0= y", 8)).tokens, "id:x >>");
    EXPECT_EQ(lex(std::string("0x\0"
                              "1",
                              4))
                  .tokens,
              "int:0");
}

TEST(Lexer, HighBytesAreTokensThatCannotBeMistakenForNamedKinds) {
    // 0x80 is the code of the end token and 0x84 of identifiers: as bytes they stay apart.
    LexResult r = lex("\x80 \x84 \xE9x");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.all.size(), 5u);
    EXPECT_EQ(r.all[0].kind, kTokForeignByte + 0x80);
    EXPECT_EQ(r.all[1].kind, kTokForeignByte + 0x84);
    EXPECT_EQ(r.all[2].kind, kTokForeignByte + 0xE9);
    EXPECT_EQ(r.tokens, "byte 0x80 byte 0x84 byte 0xE9 id:x");
    // Not whitespace either: 0xA0 (no-break space in the ANSI code page) is a token.
    EXPECT_EQ(tokens("a\xA0"
                     "b"),
              "id:a byte 0xA0 id:b");
}

TEST(Lexer, MissingFinalNewline) {
    EXPECT_EQ(tokens("a = 1"), "id:a = int:1");
    EXPECT_EQ(lex("a").all.back().line, 0u);
    EXPECT_EQ(lex("a\n").all.back().line, 1u);
    EXPECT_EQ(tokens("x // comment"), "id:x");
    EXPECT_EQ(tokens("12"), "int:12");
    EXPECT_EQ(tokens("1.5e3"), "num:1500");
}

TEST(Lexer, LongLiteralsKeepEveryByte) {
    std::string body(1 << 20, 'q');
    body[12345] = 'Z';
    LexedToken t = single("'" + body + "'");
    ASSERT_EQ(t.length, body.size());
    EXPECT_EQ(t.text, body);
    std::string digits = "1" + std::string(5000, '0');
    EXPECT_TRUE(std::isinf(single(digits).number));
    EXPECT_EQ(single("0." + std::string(5000, '0') + "1e5001").number, 1.0);
}
