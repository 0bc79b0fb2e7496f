// The parser's working state, shared by its two sources: parser.cpp (program, statements,
// functions) and parser_expressions.cpp (expressions and literals).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "compiler/ast.h"
#include "compiler/compile_context.h"
#include "compiler/lexer.h"
#include "compiler/parser.h"

namespace quill::compiler {

class Parser {
  public:
    explicit Parser(CompileContext& ctx) : ctx_(ctx), lexer_(ctx) {}

    void parseProgram();

  private:
    // ---- tokens -------------------------------------------------------------------------------
    // Recursive frames never hold a Token of their own: the look-ahead lives here, and the
    // consumed token stays readable through advance()'s answer until the next peek.
    const Token& peek() {
        if (!hasAhead_) fill();
        return ahead_;
    }
    void fill();
    // Consumes the next token: records its line as the last consumed line and counts
    // identifiers spelled "arguments". The reference is valid until the next peek().
    const Token& advance();
    bool peekIs(uint32_t kind) { return peek().kind == kind; }
    // Consumes a token of `kind`, or stops with "syntax error: <text>" at the last line.
    void expect(uint32_t kind, const char* text);
    void autoSemicolon();

    [[noreturn]] void fail(const char* text) { fail(ctx_.lastLine, text); }
    [[noreturn]] void fail(uint32_t line, const char* text);
    [[noreturn]] void tooDeep();

    // ---- nodes --------------------------------------------------------------------------------
    SyntaxNode* newNode(uint32_t kind, uint32_t line) {
        SyntaxNode* node = ctx_.arena.makeZeroed<SyntaxNode>();
        node->kind = kind;
        node->line = line;
        node->height = 1;
        return node;
    }
    // Sets the node's height from its children (null ones allowed) and enforces the limit.
    void setHeight(SyntaxNode* node, uint32_t childHeight) {
        if (childHeight >= kMaxNestingDepth) tooDeep();
        node->height = childHeight + 1;
    }
    static uint32_t heightOf(const SyntaxNode* node) { return node ? node->height : 0; }
    static uint32_t maxHeight(std::initializer_list<const SyntaxNode*> nodes) {
        uint32_t h = 0;
        for (const SyntaxNode* n : nodes) {
            if (n && n->height > h) h = n->height;
        }
        return h;
    }
    static uint32_t listHeight(const SyntaxNode* first) {
        uint32_t h = 0;
        for (; first; first = first->next) {
            if (first->height > h) h = first->height;
        }
        return h;
    }
    SyntaxNode* identifierNode(const char* name, uint32_t line);

    // Counts one level of native recursion for the lifetime of the object.
    class Nesting {
      public:
        explicit Nesting(Parser& parser) : parser_(parser) {
            if (++parser_.depth_ > kMaxNestingDepth) parser_.tooDeep();
        }
        ~Nesting() { --parser_.depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

      private:
        Parser& parser_;
    };

    // ---- statements (parser.cpp) ------------------------------------------------------------
    // Each returns null, having consumed nothing, when no such construct starts here.
    SyntaxNode* parseStatement();
    SyntaxNode* parseBlock();
    // Parses `function` ... body, appends the definition to the function list and returns it.
    SyntaxNode* parseFunction();
    [[gnu::noinline]] SyntaxNode* parseParameters();
    [[gnu::noinline]] const char* freshFunctionName();
    SyntaxNode* parseFunctionStatement();
    SyntaxNode* parseDeclarators(uint32_t varLine, uint32_t* count, uint32_t* height);
    SyntaxNode* parseVar();
    SyntaxNode* parseIf();
    SyntaxNode* parseWhile();
    SyntaxNode* parseDoWhile();
    SyntaxNode* parseFor();
    SyntaxNode* parseJump(uint32_t kind);
    SyntaxNode* parseReturn();
    SyntaxNode* parseWith();
    SyntaxNode* parseSwitch();
    SyntaxNode* parseTry();
    SyntaxNode* parseThrow();
    SyntaxNode* parseExpressionStatement();
    // '(' expression ')' of if, while and do-while.
    SyntaxNode* parseCondition();

    // ---- expressions (parser_expressions.cpp) -----------------------------------------------
    // The functions on the recursive path (expression, assignment, binary, unary, postfix,
    // primary) keep small frames: whatever is rare or bulky lives in the non-inlined helpers
    // after them, which run only when their construct is actually there.
    SyntaxNode* parseExpression();
    SyntaxNode* parseAssignment();
    SyntaxNode* parseBinary();
    SyntaxNode* parseUnary();
    // Member and call suffixes and a postfix ++/-- on a primary or `new` expression.
    SyntaxNode* parsePostfix();
    [[gnu::noinline]] SyntaxNode* parseCommaRest(SyntaxNode* left);
    [[gnu::noinline]] SyntaxNode* parseConditionalRest(SyntaxNode* condition);
    [[gnu::noinline]] SyntaxNode* parseAssignmentRest(SyntaxNode* target);
    [[gnu::noinline]] SyntaxNode* parseOperators(SyntaxNode* first);
    [[gnu::noinline]] SyntaxNode* parseUnaryOperator();
    [[gnu::noinline]] SyntaxNode* parseNew();
    // The call, `[index]` or `.name` that follows (the caller has seen '(', '[' or '.'),
    // applied to `object`.
    [[gnu::noinline]] SyntaxNode* parseSuffix(SyntaxNode* object);
    [[gnu::noinline]] SyntaxNode* parsePostfixOperator(SyntaxNode* operand);
    SyntaxNode* parsePrimary();
    [[gnu::noinline]] SyntaxNode* parseArrayLiteral();
    [[gnu::noinline]] SyntaxNode* parseObjectLiteral();
    [[gnu::noinline]] SyntaxNode* parseLiteral();
    // After '(': the arguments up to ')', last first.
    SyntaxNode* parseArguments(uint32_t* count, uint32_t* height);

    CompileContext& ctx_;
    Lexer lexer_;
    Token ahead_{};
    bool hasAhead_ = false;
    uint32_t depth_ = 0;
    // Internal names of the functions being parsed, innermost last.
    std::vector<const char*> functionNames_;
    // The binary operators and operands not yet combined, for every parseOperators() active
    // at once: kept here rather than in native frames.
    struct PendingOperator {
        uint32_t kind;
        uint32_t line;
    };
    std::vector<PendingOperator> operators_;
    std::vector<SyntaxNode*> operands_;
};

}  // namespace quill::compiler
