// Every syntax diagnostic of the parser, with the line it is reported at: the last consumed
// token's line as a rule, the offending token's line where the language says so.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "compiler/messages.h"
#include "compiler_test_support.h"

using namespace quill::compiler;
using namespace quill::compiler::testing;

namespace {

struct Case {
    const char* source;
    uint32_t line;
    const char* text;
};

// Checks that each source fails with exactly one line "error: line N: syntax error: text".
void expectSyntaxErrors(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(diagnosticsOf(c.source), syntaxErrorLine(c.line, c.text)) << c.source;
    }
}

}  // namespace

TEST(ParserErrors, Functions) {
    expectSyntaxErrors({
        {"function f {}", 0, "missing ( before formal parameters"},
        {"function f(1) {}", 0, "illegal identifier"},
        {"function f(a,) {}", 0, "illegal identifier"},
        {"function f(a,\n\n1) {}", 0, "illegal identifier"},
        {"function f(a b) {}", 0, "missing ) after formal parameters"},
        {"function f(a", 0, "missing ) after formal parameters"},
        {"function f(", 0, "illegal identifier"},
        {"function f()", 0, "invalid function body"},
        {"function f()\n\nreturn", 0, "invalid function body"},
        {"function f() { a;\n", 0, "missing } after block"},
        {"function (a) {}\nfunction 1", 1, "missing ( before formal parameters"},
    });
}

TEST(ParserErrors, FunctionExpressionsOnlyRightOfPlainAssignment) {
    expectSyntaxErrors({
        {"var x = function(){}", 0, "invalid variable initialization"},
        {"x += function(){}", 0, "invalid expression"},
        {"f(function(){})", 0, "invalid expression"},
        {"x = [function(){}]", 0, "invalid expression"},
        {"x = {a: function(){}}", 0, "invalid expression"},
        {"function f() { return function(){} }", 0, "invalid return"},
        {"x = (function(){})", 0, "invalid expression"},
        {"x = 1 + function(){}", 0, "invalid expression"},
    });
}

TEST(ParserErrors, Blocks) {
    expectSyntaxErrors({
        {"{ a;", 0, "missing } after block"},
        {"{ a;\n) }", 0, "missing } after block"},
        {")", 0, "invalid statement"},
        {"a;\n\n]", 0, "invalid statement"},
        {"{ a: }", 0, "invalid label"},
        {"x:\n", 0, "invalid label"},
    });
}

TEST(ParserErrors, VarStatements) {
    expectSyntaxErrors({
        {"var;", 0, "missing variable name"},
        {"var\n\n;", 0, "missing variable name"},
        {"var 1", 0, "missing variable name"},
        {"var a,\n1", 1, "illegal identifier"},
        {"var a, ;", 0, "illegal identifier"},
        {"var x = ;", 0, "invalid variable initialization"},
        {"var x =\n", 0, "invalid variable initialization"},
    });
    EXPECT_EQ(diagnosticsOf("var a b"), errorLine(0, "missing ;"));
}

TEST(ParserErrors, IfWhileDo) {
    expectSyntaxErrors({
        {"if x", 0, "missing ( before condition"},
        {"if (x", 0, "missing ) after condition"},
        {"if ()", 0, "invalid condition expression"},
        {"if (x)", 0, "invalid statement"},
        {"if (x) a; else", 0, "invalid statement"},
        {"if (x) a; else }", 0, "invalid statement"},
        {"while x", 0, "missing ( before condition"},
        {"while (x) }", 0, "invalid statement"},
        {"while (;)", 0, "invalid condition expression"},
        {"do ; x", 0, "missing while after do-loop body"},
        {"do ; while x", 0, "missing ( before condition"},
        {"do ; while (x", 0, "missing ) after condition"},
        {"do }", 0, "invalid statement"},
    });
    EXPECT_EQ(diagnosticsOf("do ; while (x) y"), errorLine(0, "missing ;"));
}

TEST(ParserErrors, ForLoops) {
    expectSyntaxErrors({
        {"for x", 0, "missing ( after for"},
        {"for (]", 0, "invalid for-loop initializer or for-in expression"},
        {"for (a b", 0, "missing ; after for-loop initializer"},
        {"for (var;", 0, "missing variable name"},
        {"for (var a = ;", 0, "invalid variable initialization"},
        {"for (var a b", 0, "missing ; after for-loop initializer"},
        {"for (;]", 0, "invalid for-loop condition expression"},
        {"for (; a b", 0, "missing ; after for-loop condition"},
        {"for (;; ]", 0, "invalid for-loop control expression"},
        {"for (;; a b", 0, "missing ) after for-loop control"},
        {"for (;;)", 0, "invalid statement"},
        {"for (o.p in q) ;", 0, "illegal identifier"},
        {"for (var i, j in o) ;", 0, "more than one variable declaration"},
        {"for (x in ) ;", 0, "invalid expression"},
        {"for (x in o ;", 0, "missing ) after for-loop control"},
        {"for (x in o)\n", 0, "invalid statement"},
    });
}

TEST(ParserErrors, JumpsReturnThrow) {
    expectSyntaxErrors({
        {"function f() { return }", 0, "invalid return"},
        {"return )", 0, "invalid return"},
        {"throw;", 0, "invalid throw"},
        {"throw\n", 0, "invalid throw"},
    });
    EXPECT_EQ(diagnosticsOf("break 1"), errorLine(0, "missing ;"));
    // ".1" is a number, so a member name cannot start with a digit either way.
    EXPECT_EQ(diagnosticsOf("a.1"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("continue a b"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("return 1 2"), errorLine(0, "missing ;"));
}

TEST(ParserErrors, With) {
    expectSyntaxErrors({
        {"with x", 0, "missing ( before with-statement object"},
        {"with ()", 0, "invalid with-statement object"},
        {"with (x y", 0, "missing ) after with-statement object"},
        {"with (x)", 0, "invalid with block"},
    });
}

TEST(ParserErrors, Switch) {
    expectSyntaxErrors({
        {"switch x", 0, "missing ( before switch expression"},
        {"switch ()", 0, "invalid switch expression"},
        {"switch (x y", 0, "missing ) after switch expression"},
        {"switch (x) x", 0, "missing { before switch body"},
        {"switch (x) { foo }", 0, "missing } after switch block"},
        {"switch (x) {", 0, "missing } after switch block"},
        {"switch (x) { case : }", 0, "invalid case expression"},
        {"switch (x) { case 1 }", 0, "missing : after case label"},
        {"switch (x) { case 1\n\n}", 2, "missing : after case label"},
        {"switch (x) { default }", 0, "missing : after case label"},
        {"switch (x) { case 1: ) }", 0, "invalid statement"},
        {"switch (x) { case 1: a;", 0, "invalid statement"},
    });
    // Not prefixed with "syntax error: ", and reported at the switch's closing brace.
    EXPECT_EQ(diagnosticsOf("switch (x) { default: a(); default: b(); }"),
              errorLine(0, "more than one switch default"));
    EXPECT_EQ(diagnosticsOf("switch (x) {\ndefault:\ncase 1:\ndefault:\n}"),
              errorLine(4, "more than one switch default"));
    EXPECT_EQ(diagnosticsOf("switch (x) { default: case 1: }"), "");
}

TEST(ParserErrors, Try) {
    expectSyntaxErrors({
        {"try", 0, "invalid statement"},
        {"try x; y", 0, "missing catch or finally after try"},
        {"try {} catch x", 0, "missing ( before catch"},
        {"try {} catch (1)", 0, "missing identifier in catch"},
        {"try {} catch (e if) {}", 0, "invalid statement"},
        {"try {} catch (e {}", 0, "missing ) after catch"},
        {"try {} catch (e if a b) {}", 0, "missing ) after catch"},
        {"try {} catch (e)", 0, "invalid statement"},
        {"try {} catch (e) {} finally", 0, "invalid statement"},
        {"try {} finally\n\n", 0, "invalid statement"},
    });
}

TEST(ParserErrors, Expressions) {
    expectSyntaxErrors({
        {"a = ;", 0, "invalid expression"},
        {"a\n+\n;", 1, "invalid expression"},
        {"a, ;", 0, "invalid expression"},
        {"-;", 0, "invalid expression"},
        {"typeof", 0, "invalid expression"},
        {"new;", 0, "invalid expression"},
        {"(a", 0, "invalid expression"},
        {"();", 0, "invalid expression"},
        {"x = /=a/", 0, "invalid expression"},
        {"a ? b c", 0, "missing : in conditional expression"},
        {"a ? : c", 0, "invalid expression"},
        {"a ? b : ;", 0, "invalid expression"},
        {"a[1 2]", 0, "missing ] in index expression"},
        {"a[]", 0, "invalid expression"},
        {"a.(b)", 0, "illegal identifier"},
        {"a.default", 0, "illegal identifier"},
        {"a.\n'b'", 0, "illegal identifier"},
        {"f(a b)", 0, "missing ) after argument list"},
        {"f(a\n\nb)", 2, "missing ) after argument list"},
        {"f(a,)", 0, "invalid expression"},
        {"f(,a)", 0, "invalid expression"},
        {"f(a", 0, "missing ) after argument list"},
        {"new F(a b)", 0, "missing ) after argument list"},
    });
}

TEST(ParserErrors, ArrayAndObjectLiterals) {
    expectSyntaxErrors({
        {"x = [1 2]", 0, "missing ] after element list"},
        {"x = [1\n\n2]", 2, "missing ] after element list"},
        {"x = [1, )", 0, "invalid expression"},
        {"x = [", 0, "invalid expression"},
        {"x = {a 1}", 0, "missing : after property id"},
        {"x = {1.5: 0}", 0, "invalid property id"},
        {"x = {a: 1,\n\n1.5: 0}", 2, "invalid property id"},
        {"x = {default: 1}", 0, "invalid property id"},
        {"x = {,}", 0, "invalid property id"},
        {"x = {a: 1,,}", 0, "invalid property id"},
        {"x = {a: }", 0, "invalid expression"},
        {"x = {a: 1 b: 2}", 0, "missing } after property list"},
        {"x = {a: 1\n\nb: 2}", 2, "missing } after property list"},
        {"x = {a: 1", 0, "missing } after property list"},
    });
}

TEST(ParserErrors, MissingSemicolonHasNoPrefix) {
    EXPECT_EQ(diagnosticsOf("a = 1 b = 2"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("a\n= 1 b"), errorLine(1, "missing ;"));
    EXPECT_EQ(diagnosticsOf("eval(\"a b\")\na b"), errorLine(1, "missing ;"));
    // Warnings written before the error are kept, in order.
    EXPECT_EQ(
        diagnosticsOf("a\nb\nc d", kOptionWarnMissingSemicolon),
        warningLine(0, "missing ;") + warningLine(1, "missing ;") + errorLine(2, "missing ;"));
}

TEST(ParserErrors, LexicalErrorsStopTheParse) {
    EXPECT_EQ(diagnosticsOf("x = 1;\ny = \"abc"), errorLine(1, "unterminated string constant"));
    EXPECT_EQ(diagnosticsOf("x = 1e+;"),
              errorLine(0, "invalid exponent part in a decimal literal"));
    EXPECT_EQ(diagnosticsOf("x = /abc\n\n"),
              errorLine(0, "unterminated regular expression constant"));
    EXPECT_EQ(diagnosticsOf("x = '\\q'; y = 'a\nb'", kOptionWarnLineTerminators),
              warningLine(0, "unknown escape sequence '\\q'") +
                  warningLine(0, "ECMAScript don't allow line terminators in string constants"));
}

TEST(ParserErrors, MessageTableHoldsEveryTextOnce) {
    std::set<std::string> seen;
    for (size_t i = 0; i < kCompilerMessageCount; ++i) {
        EXPECT_TRUE(seen.insert(kCompilerMessages[i]).second) << kCompilerMessages[i];
    }
    EXPECT_TRUE(seen.count("syntax error: %s"));
    EXPECT_TRUE(seen.count("invalid break"));
    EXPECT_TRUE(seen.count("invalid continue"));
    EXPECT_TRUE(seen.count("illegal function name"));
    EXPECT_EQ(std::string(kMsgLineTerminatorInConstant),
              "ECMAScript don't allow line terminators in %s constants");
}
