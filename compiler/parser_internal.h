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
    const Token& peek() {
        if (!hasAhead_) {
            ahead_ = lexer_.next();
            hasAhead_ = true;
        }
        return ahead_;
    }
    // Consumes the next token: records its line as the last consumed line and counts
    // identifiers spelled "arguments".
    Token next();
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
    SyntaxNode* parseStatementList(uint32_t* height);
    SyntaxNode* parseBlock();
    // Parses `function` ... body, appends the definition to the function list and returns it.
    SyntaxNode* parseFunction();
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
    SyntaxNode* parseExpression();
    SyntaxNode* parseAssignment();
    SyntaxNode* parseConditional();
    SyntaxNode* parseBinary(int minPrecedence);
    SyntaxNode* parseUnary();
    SyntaxNode* parsePostfix();
    SyntaxNode* parseCall();
    SyntaxNode* parseMember();
    // One `[index]` or `.name` applied to `object`; null when neither follows.
    SyntaxNode* parseSelector(SyntaxNode* object);
    SyntaxNode* parsePrimary();
    SyntaxNode* parseArrayLiteral();
    SyntaxNode* parseObjectLiteral();
    // After '(': the arguments up to ')', last first.
    SyntaxNode* parseArguments(uint32_t* count, uint32_t* height);

    CompileContext& ctx_;
    Lexer lexer_;
    Token ahead_{};
    bool hasAhead_ = false;
    uint32_t depth_ = 0;
    // Internal names of the functions being parsed, innermost last.
    std::vector<const char*> functionNames_;
};

}  // namespace quill::compiler
