// The parser's trees: precedence and associativity, every statement form, functions and their
// names, automatic semicolons, list order, static types and the lines nodes carry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler_test_support.h"
#include "runtime/value.h"

using namespace quill::compiler;
using namespace quill::compiler::testing;

namespace {

// The printed tree of a source that must parse, without the trailing newline.
std::string tree(std::string_view source, uint32_t options = 0) {
    Compilation c(source, options);
    bool ok = c.parse();
    EXPECT_TRUE(ok) << source << "\n" << c.diagnostics();
    std::string text = c.program();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The expression of a single expression statement.
std::string expr(std::string_view source) {
    std::string text = tree(source);
    if (text.rfind("(expr ", 0) != 0) return "not an expression statement: " + text;
    return text.substr(6, text.size() - 7);
}

}  // namespace

TEST(Parser, BinaryPrecedenceAndAssociativity) {
    EXPECT_EQ(expr("a = b + c * d - e"), "(= a (- (+ b (* c d)) e))");
    EXPECT_EQ(expr("a || b && c | d ^ e & f == g < h << i + j * k"),
              "(|| a (&& b (| c (^ d (& e (== f (< g (<< h (+ i (* j k))))))))))");
    EXPECT_EQ(expr("a * b + c << d < e == f & g ^ h | i && j || k"),
              "(|| (&& (| (^ (& (== (< (<< (+ (* a b) c) d) e) f) g) h) i) j) k)");
    // Every binary level is left-associative; assignment and ?: nest to the right.
    EXPECT_EQ(expr("a - b - c"), "(- (- a b) c)");
    EXPECT_EQ(expr("a / b % c * d"), "(* (% (/ a b) c) d)");
    EXPECT_EQ(expr("a === b !== c != d == e"), "(== (!= (!== (=== a b) c) d) e)");
    EXPECT_EQ(expr("a >>> b >> c << d"), "(<< (>> (>>> a b) c) d)");
    EXPECT_EQ(expr("a <= b >= c < d > e"), "(> (< (>= (<= a b) c) d) e)");
    EXPECT_EQ(expr("a = b = c"), "(= a (= b c))");
    EXPECT_EQ(expr("a ? b : c ? d : e"), "(? a b (? c d e))");
    EXPECT_EQ(expr("a ? b = 1 : c = 2"), "(? a (= b 1) (= c 2))");
    EXPECT_EQ(expr("x = a ? b : c"), "(= x (? a b c))");
    EXPECT_EQ(expr("a, b = 1, c"), "(, (, a (= b 1)) c)");
    EXPECT_EQ(expr("(a + b) * c"), "(* (+ a b) c)");
    EXPECT_EQ(expr("x *= y /= z %= 1"), "(*= x (/= y (%= z 1)))");
    EXPECT_EQ(expr("a <<= b >>= c >>>= d &= e ^= f |= g += h -= i"),
              "(<<= a (>>= b (>>>= c (&= d (^= e (|= f (+= g (-= h i))))))))");
}

TEST(Parser, UnaryPostfixCallMemberAndNew) {
    EXPECT_EQ(expr("!-~+x"), "(! (- (~ (+ x))))");
    EXPECT_EQ(expr("typeof void delete a.b"), "(typeof (void (delete (. a b))))");
    EXPECT_EQ(expr("-a * b"), "(* (- a) b)");
    EXPECT_EQ(expr("++a + --b"), "(+ (++ a) (-- b))");
    EXPECT_EQ(expr("a++ - b--"), "(- (post++ a) (post-- b))");
    EXPECT_EQ(expr("- -a"), "(- (- a))");
    EXPECT_EQ(expr("a.b.c(d, e)(f)[g]"), "([] (call (call (. (. a b) c) d e) f) g)");
    EXPECT_EQ(expr("f()"), "(call f)");
    EXPECT_EQ(expr("new A"), "(new A)");
    EXPECT_EQ(expr("new A(1, 2)"), "(new A 1 2)");
    // `new` takes a member expression and at most one argument list; what follows is a call.
    EXPECT_EQ(expr("new a.b.C(x).d"), "(. (new (. (. a b) C) x) d)");
    EXPECT_EQ(expr("new a[0](1)(2)"), "(call (new ([] a 0) 1) 2)");
    EXPECT_EQ(expr("new new X(1)(2)"), "(new (new X 1) 2)");
    EXPECT_EQ(expr("f(g(), h)[0].x++"), "(post++ (. ([] (call f (call g) h) 0) x))");
    // `in` and `instanceof` are no operators: the expression ends before them.
    EXPECT_EQ(diagnosticsOf("x = o instanceof C"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("x = 'a' in o"), errorLine(0, "missing ;"));
}

TEST(Parser, Literals) {
    EXPECT_EQ(expr("this"), "this");
    EXPECT_EQ(expr("[null, true, false, undefined]"), "(array null true false undefined)");
    EXPECT_EQ(expr("[1, 1.5, 'x', #'A', 0x10, 1e3]"), "(array 1 1.5 \"x\" 65 16 1000.0)");
    EXPECT_EQ(expr("x = /a\\/b\"/gi"), "(= x /a\\/b\"/gi)");
    EXPECT_EQ(expr("x = a / b / c"), "(= x (/ (/ a b) c))");
    EXPECT_EQ(expr("f(/x/, /y/m)"), "(call f /x/ /y/m)");
    EXPECT_EQ(expr("x = {a: 1, \"b\": 2, 3: 4}"), "(= x (object (a 1) (\"b\" 2) (3 4)))");
    EXPECT_EQ(expr("x = {}"), "(= x (object))");
    EXPECT_EQ(expr("x = {a: {b: [1]}, c: f(),}"),
              "(= x (object (a (object (b (array 1)))) (c (call f))))");
    EXPECT_EQ(expr("x = {#'a': 1}"), "(= x (object (97 1)))");
}

TEST(Parser, ArrayHoles) {
    EXPECT_EQ(expr("[]"), "(array)");
    EXPECT_EQ(expr("[1]"), "(array 1)");
    EXPECT_EQ(expr("[1,]"), "(array 1 <hole>)");
    EXPECT_EQ(expr("[1,2,]"), "(array 1 2 <hole>)");
    EXPECT_EQ(expr("[,]"), "(array <hole> <hole>)");
    EXPECT_EQ(expr("[1,,]"), "(array 1 <hole> <hole>)");
    EXPECT_EQ(expr("[,1]"), "(array <hole> 1)");
    EXPECT_EQ(expr("[1,,2]"), "(array 1 <hole> 2)");
    EXPECT_EQ(expr("[,,]"), "(array <hole> <hole> <hole>)");

    Compilation c("[1,2,]");
    ASSERT_TRUE(c.parse());
    const SyntaxNode* array = c.ctx.statements.first->a.node;
    EXPECT_EQ(array->a.word, 3u);
    EXPECT_EQ(array->staticType, quill::kTagArray);
}

TEST(Parser, ReverseBuiltListsStartWithTheLastItem) {
    Compilation c("f(a, b, c); new C(x, y); [1, 2]; o = {p: 1, q: 2}");
    ASSERT_TRUE(c.parse());
    auto names = [](const SyntaxNode* first) {
        std::string out;
        for (const SyntaxNode* n = first; n; n = n->next) {
            out += n->kind == kNodeEmpty ? n->b.text : printNode(n);
        }
        return out;
    };
    const SyntaxNode* s = c.ctx.statements.first;
    const SyntaxNode* call = s->a.node;
    EXPECT_EQ(call->kind, kNodeCall);
    EXPECT_EQ(call->a.word, 3u);
    EXPECT_EQ(names(call->c.node), "cba");
    s = s->next;
    EXPECT_EQ(s->a.node->kind, kNodeNew);
    EXPECT_EQ(s->a.node->a.word, 2u);
    EXPECT_EQ(names(s->a.node->c.node), "yx");
    s = s->next;
    EXPECT_EQ(names(s->a.node->b.node), "21");
    s = s->next;
    const SyntaxNode* object = s->a.node->d.node;
    EXPECT_EQ(object->a.word, 2u);
    EXPECT_EQ(names(object->b.node), "qp");
    EXPECT_EQ(object->b.node->a.word, static_cast<uint32_t>(kTokIdentifier));
}

TEST(Parser, AssignmentOnlyAfterPrimaryLikeLeftSides) {
    EXPECT_EQ(expr("f() = 1"), "(= (call f) 1)");
    EXPECT_EQ(expr("1 = 2"), "(= 1 2)");
    EXPECT_EQ(expr("this = a[0] = b.c"), "(= this (= ([] a 0) (. b c)))");
    // After an operator node or an object literal the '=' stays in the input.
    EXPECT_EQ(diagnosticsOf("a + b = c"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("x = ({a: 1}) = 2"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("-a = 1"), errorLine(0, "missing ;"));
}

TEST(Parser, StaticTypes) {
    Compilation c(
        "true && false; a && true; a == b; a < b; 1; 1.5; 's'; null; [1]; ({}); /x/; a + 1;"
        "(a < b) || (c == d)");
    ASSERT_TRUE(c.parse());
    std::vector<uint32_t> types;
    for (const SyntaxNode* s = c.ctx.statements.first; s; s = s->next) {
        types.push_back(s->a.node->staticType);
    }
    EXPECT_EQ(types, (std::vector<uint32_t>{2, 0, 2, 2, 3, 5, 4, 1, 6, 7, 11, 0, 2}));
}

TEST(Parser, Statements) {
    EXPECT_EQ(tree("var a = 1, b; { var c; }"), "(var-global a=1 b)\n(block (var c))");
    EXPECT_EQ(tree("if (a) b(); else { c(); d() }"),
              "(if a (expr (call b)) (block (expr (call c)) (expr (call d))))");
    EXPECT_EQ(tree("if (a) if (b) c; else d"), "(if a (if b (expr c) (expr d)))");
    EXPECT_EQ(tree("if (x) {}"), "(if x ;)");
    EXPECT_EQ(tree("while (a) a--;"), "(while a (expr (post-- a)))");
    EXPECT_EQ(tree("do a++; while (a < 3)"), "(do (expr (post++ a)) (< a 3))");
    EXPECT_EQ(tree("do {} while (a); x"), "(do ; a)\n(expr x)");
    EXPECT_EQ(tree("for (var i = 0, j; i < 3; i++) ;"), "(for (var i=0 j) (< i 3) (post++ i) ;)");
    EXPECT_EQ(tree("for (;;) {}"), "(for - - - ;)");
    EXPECT_EQ(tree("for (x = 0, y = 1; ; ) break"), "(for (, (= x 0) (= y 1)) - - (break))");
    EXPECT_EQ(tree("for (var k in o) continue"), "(for-in (var k) o (continue))");
    EXPECT_EQ(tree("for (var k = 1 in f()) ;"), "(for-in (var k=1) (call f) ;)");
    EXPECT_EQ(tree("for (k in o) {}"), "(for-in k o ;)");
    EXPECT_EQ(tree("outer: for (;;) { break outer; continue outer }"),
              "(label outer (for - - - (block (break outer) (continue outer))))");
    EXPECT_EQ(tree("return; return 1"), "(return)\n(return 1)");
    EXPECT_EQ(tree("with (o) x = 1"), "(with o (expr (= x 1)))");
    EXPECT_EQ(tree("throw new Error('x')"), "(throw (new Error \"x\"))");
    EXPECT_EQ(tree(";;"), ";\n;");
    EXPECT_EQ(tree("{}"), ";");
    EXPECT_EQ(tree("{{a}}"), "(block (block (expr a)))");
    // Reserved words are keywords that no rule accepts.
    EXPECT_EQ(diagnosticsOf("class A {}"), syntaxErrorLine(0, "invalid statement"));
}

TEST(Parser, SwitchClausesInSourceOrder) {
    EXPECT_EQ(tree("switch (x) { case 1: a(); case 2: default: b(); break }"),
              "(switch x (case 1 (expr (call a))) (case 2) (default (expr (call b)) (break)))");
    EXPECT_EQ(tree("switch (x) { default: r = 1; break; case 2: r = 2; }"),
              "(switch x (default (expr (= r 1)) (break)) (case 2 (expr (= r 2))))");
    EXPECT_EQ(tree("switch (a, b) {}"), "(switch (, a b))");
}

TEST(Parser, TryWithConditionalAndSeveralCatches) {
    EXPECT_EQ(tree("try { f(); } catch (e if e == 1) { } catch (e) { } finally { }"),
              "(try (block (expr (call f))) (catch e if (== e 1) ;) (catch e ;) (finally ;))");
    EXPECT_EQ(tree("try x(); finally y();"), "(try (expr (call x)) (finally (expr (call y))))");
    EXPECT_EQ(tree("try x(); catch (e) y();"), "(try (expr (call x)) (catch e (expr (call y))))");
}

TEST(Parser, LabelsNeedTheColonOnTheIdentifiersLine) {
    EXPECT_EQ(tree("a: b: x++"), "(label a (label b (expr (post++ x))))");
    EXPECT_EQ(parseText("a\n: b"), "ERROR " + syntaxErrorLine(0, "invalid statement"));
    EXPECT_EQ(tree("(a): ;"), "(label a ;)");
    // break/continue take a label only on their own line.
    EXPECT_EQ(tree("break\nx"), "(break)\n(expr x)");
    EXPECT_EQ(tree("continue x\ny"), "(continue x)\n(expr y)");
}

TEST(Parser, FunctionsAndTheirInternalNames) {
    Compilation c(
        "function f(a, b) { function g() { return arguments } var h; h = function() {}; }\n"
        "x = function (a) { return a; };\n"
        "function outer() { function inner() {} }\n"
        "{ function inBlock() {} }\n"
        "y = function named() {};");
    ASSERT_TRUE(c.parse()) << c.diagnostics();
    EXPECT_EQ(c.program(),
              "(function g=@F_0 () arguments (return arguments))\n"
              "(function @F_1 () ;)\n"
              "(function f (a b) arguments (inner-function f @F_0 g) (var h) (expr (= h @F_1)))\n"
              "(function @F_2 (a) (return a))\n"
              "(function inner=@F_3 () ;)\n"
              "(function outer () (inner-function outer @F_3 inner))\n"
              "(function inBlock () ;)\n"
              "(function named () ;)\n"
              "(expr (= x @F_2))\n"
              "(block ;)\n"
              "(expr (= y named))\n");
    EXPECT_EQ(c.ctx.functions.count, 8u);
    EXPECT_EQ(c.ctx.anonymousCounter, 4u);
    EXPECT_EQ(c.ctx.statements.count, 3u);
}

TEST(Parser, FirstAnonymousFunctionIsNumberZero) {
    EXPECT_EQ(tree("x = function (a) { return a; }"),
              "(function @F_0 (a) (return a))\n(expr (= x @F_0))");
    // Nested: inner is listed first, with an internal name of its own.
    EXPECT_EQ(tree("function outer() { function inner() {} }"),
              "(function inner=@F_0 () ;)\n(function outer () (inner-function outer @F_0 inner))");
    // A function expression inside a function is named, not declared: no inner declaration.
    EXPECT_EQ(tree("function o() { p = function q() {} }"),
              "(function q=@F_0 () ;)\n(function o () (expr (= p @F_0)))");
}

TEST(Parser, UsesArgumentsFlag) {
    Compilation c(
        "function a() { return arguments.length }\n"
        "function b() { return 1 }\n"
        "function c() { function d() { arguments } }\n"
        "function e(arguments) {}\n"
        "function f() { x = {arguments: 1} }\n"
        "function g() { x.arguments }\n"
        "function h() { 'arguments' }");
    ASSERT_TRUE(c.parse());
    std::string flags;
    for (const SyntaxNode* f = c.ctx.functions.first; f; f = f->next) {
        flags += std::string(f->d.text) + (f->b.word ? "1 " : "0 ");
    }
    // Every identifier token spelled "arguments" counts: parameters, property names, members.
    EXPECT_EQ(flags, "a1 b0 d1 c1 e1 f1 g1 h0 ");
    EXPECT_EQ(c.ctx.argumentsCount, 5u);
}

TEST(Parser, AutomaticSemicolons) {
    EXPECT_EQ(tree("a = 1\nb = 2"), "(expr (= a 1))\n(expr (= b 2))");
    EXPECT_EQ(diagnosticsOf("a = 1\nb = 2"), "");
    EXPECT_EQ(diagnosticsOf("a = 1\nb = 2", kOptionWarnMissingSemicolon),
              warningLine(0, "missing ;") + warningLine(1, "missing ;"));
    EXPECT_EQ(diagnosticsOf("a = 1 b = 2"), errorLine(0, "missing ;"));
    EXPECT_EQ(diagnosticsOf("{ a } b; {c}", kOptionWarnMissingSemicolon),
              warningLine(0, "missing ;") + warningLine(0, "missing ;"));
    Compilation c("a\nb;c\n{d}");
    ASSERT_TRUE(c.parse());
    EXPECT_EQ(c.ctx.autoSemicolons, 3u);
    EXPECT_EQ(c.ctx.tokenCount, 7u);
}

TEST(Parser, PostfixOperatorOnALaterLineStartsTheNextStatement) {
    EXPECT_EQ(tree("a\n++b"), "(expr a)\n(expr (++ b))");
    EXPECT_EQ(tree("a\n--\nb"), "(expr a)\n(expr (-- b))");
    EXPECT_EQ(tree("a++\nb"), "(expr (post++ a))\n(expr b)");
    EXPECT_EQ(parseText("x = a.\nb\n++"), "ERROR " + syntaxErrorLine(2, "invalid expression"));
    // With bit 20 the stranded operator warns at its own line, then the semicolon is inserted.
    EXPECT_EQ(
        diagnosticsOf("a\n++b", kOptionWarnMissingSemicolon),
        warningLine(1, "missing ;") + warningLine(0, "missing ;") + warningLine(1, "missing ;"));
}

TEST(Parser, ReturnValueMustStartOnTheSameLine) {
    EXPECT_EQ(tree("function f() { return\n 1 }"), "(function f () (return) (expr 1))");
    EXPECT_EQ(diagnosticsOf("function f() { return\n 1 }", kOptionWarnMissingSemicolon),
              warningLine(0, "missing ;") + warningLine(1, "missing ;"));
    EXPECT_EQ(diagnosticsOf("function f() { return }"), syntaxErrorLine(0, "invalid return"));
    EXPECT_EQ(parseText("return"), "ERROR " + syntaxErrorLine(0, "invalid return"));
    EXPECT_EQ(tree("return\n"), "(return)");
    EXPECT_EQ(tree("function f() { return a, b }"), "(function f () (return (, a b)))");
}

TEST(Parser, NodeLines) {
    Compilation c(
        "a\n+\nb;\n"                                    // 0-2: additive at the operator
        "f\n(\n1);\n"                                   // 3-5: call at '('
        "{\n\nx }\n"                                    // 6-8: block at its first token
        "try {\n} catch (e) {\n}\n"                     // 9-11
        "finally\n{ }\n"                                // 12-13
        "switch (x) {\ncase 1:\n}\n"                    // 14-16
        "function g(\n) {\n function h() {\n }\n}\n");  // 17-21
    ASSERT_TRUE(c.parse()) << c.diagnostics();
    const SyntaxNode* s = c.ctx.statements.first;
    EXPECT_EQ(s->line, 1u);
    EXPECT_EQ(s->a.node->line, 1u);
    s = s->next;
    EXPECT_EQ(s->a.node->line, 4u);
    s = s->next;
    EXPECT_EQ(s->kind, kNodeBlock);
    EXPECT_EQ(s->line, 8u);
    s = s->next;
    EXPECT_EQ(s->kind, kNodeTry);
    EXPECT_EQ(s->line, 9u);
    EXPECT_EQ(s->a.word, 10u);  // the try body's last token
    EXPECT_EQ(s->b.word, 13u);  // the construct's last token
    EXPECT_EQ(s->d.node->line, 10u);
    EXPECT_EQ(s->d.node->a.word, 12u);  // the token after the last catch clause
    s = s->next;
    EXPECT_EQ(s->kind, kNodeSwitch);
    EXPECT_EQ(s->a.word, 16u);
    EXPECT_EQ(s->c.node->line, 15u);
    EXPECT_EQ(s->c.node->e.word, 16u);

    const SyntaxNode* h = c.ctx.functions.first;
    const SyntaxNode* g = h->next;
    EXPECT_EQ(h->line, 19u);
    EXPECT_EQ(h->a.word, 19u);
    EXPECT_EQ(g->line, 17u);
    EXPECT_EQ(g->a.word, 18u);
    EXPECT_EQ(g->f.node->kind, kNodeInnerFunction);
    EXPECT_EQ(g->f.node->line, 20u);
    EXPECT_EQ(c.ctx.lastLine, 21u);
}

TEST(Parser, ForInTargets) {
    EXPECT_EQ(tree("for ((k) in o) ;"), "(for-in k o ;)");
    EXPECT_EQ(diagnosticsOf("for (o.p in q) ;"), syntaxErrorLine(0, "illegal identifier"));
    EXPECT_EQ(diagnosticsOf("for (\no[0]\nin q) ;"), syntaxErrorLine(1, "illegal identifier"));
    EXPECT_EQ(diagnosticsOf("for (var i, j in o) ;"),
              syntaxErrorLine(0, "more than one variable declaration"));
    EXPECT_EQ(diagnosticsOf("for\n(var i,\nj in o) ;"),
              syntaxErrorLine(0, "more than one variable declaration"));
}

TEST(Parser, InputEdges) {
    EXPECT_EQ(tree(""), "");
    EXPECT_EQ(tree("  \n\t// only a comment"), "");
    EXPECT_EQ(tree("x = 1"), "(expr (= x 1))");
    EXPECT_EQ(tree("#!/usr/bin/quill\nx"), "(expr x)");
    // A NUL ends the program; nothing after it is read.
    EXPECT_EQ(tree(std::string("a;\0 )))", 7)), "(expr a)");
    // Bytes from 128 up are never an identifier, a keyword or the end of input.
    EXPECT_EQ(tree("x = 'caf\xE9'"), "(expr (= x \"caf\\xE9\"))");
    EXPECT_EQ(diagnosticsOf("x = \xE9t\xE9"), syntaxErrorLine(0, "invalid expression"));
    EXPECT_EQ(diagnosticsOf("a; \x80"), syntaxErrorLine(0, "invalid statement"));
    EXPECT_EQ(diagnosticsOf("f(\x84)"), syntaxErrorLine(0, "invalid expression"));
}
