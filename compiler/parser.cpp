// The parser's token handling, the program, statements and function declarations. Every
// statement form ends in the automatic-semicolon rule where the grammar has a ';'.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "compiler/diagnostics.h"
#include "compiler/messages.h"
#include "compiler/parser_internal.h"

namespace quill::compiler {

namespace {

constexpr char kArgumentsName[] = "arguments";

}  // namespace

void parseProgram(CompileContext& ctx) {
    Parser parser(ctx);
    parser.parseProgram();
}

// ---------------------------------------------------------------------------------------------
// Tokens and diagnostics.

void Parser::fill() {
    ahead_ = lexer_.next();
    hasAhead_ = true;
}

const Token& Parser::advance() {
    if (!hasAhead_) fill();
    hasAhead_ = false;
    ctx_.lastLine = ahead_.line;
    ++ctx_.tokenCount;
    if (ahead_.kind == kTokIdentifier && ahead_.length == sizeof kArgumentsName - 1 &&
        std::memcmp(ahead_.text, kArgumentsName, sizeof kArgumentsName - 1) == 0) {
        ++ctx_.argumentsCount;
    }
    return ahead_;
}

void Parser::expect(uint32_t kind, const char* text) {
    if (!peekIs(kind)) fail(text);
    advance();
}

void Parser::fail(uint32_t line, const char* text) {
    syntaxError(ctx_, line, text);
}

void Parser::tooDeep() {
    compileError(ctx_, ctx_.lastLine, kMsgNestingTooDeep, static_cast<int>(kMaxNestingDepth));
}

// A ';' where the grammar wants one is taken as present before '}', at the end of input and
// before a token on a later line.
void Parser::autoSemicolon() {
    const Token& t = peek();
    if (t.kind == ';') {
        advance();
        return;
    }
    if (t.kind == '}' || t.kind == kTokEnd || t.line > ctx_.lastLine) {
        ++ctx_.autoSemicolons;
        if (ctx_.option(kOptionWarnMissingSemicolon)) {
            compileWarning(ctx_, ctx_.lastLine, "%s", kMsgMissingSemicolon);
        }
        return;
    }
    compileError(ctx_, ctx_.lastLine, "%s", kMsgMissingSemicolon);
}

SyntaxNode* Parser::identifierNode(const char* name, uint32_t line) {
    SyntaxNode* node = newNode(kNodeIdentifier, line);
    node->a.text = name;
    return node;
}

// ---------------------------------------------------------------------------------------------
// Program and statement lists.

void Parser::parseProgram() {
    while (!peekIs(kTokEnd)) {
        if (peekIs(kTokFunction)) {  // a top-level declaration only joins the function list
            parseFunction();
            continue;
        }
        SyntaxNode* statement = parseStatement();
        if (!statement) fail(kMsgInvalidStatement);
        if (statement->kind == kNodeVar) statement->a.word = 1;
        ctx_.statements.append(statement);
    }
}

// '{' statements '}'. An empty block is a single empty statement.
SyntaxNode* Parser::parseBlock() {
    advance();  // '{'
    const Token& first = peek();
    if (first.kind == '}') return newNode(kNodeEmpty, advance().line);
    SyntaxNode* block = newNode(kNodeBlock, first.line);
    NodeList list;
    uint32_t height = 0;
    while (SyntaxNode* statement = parseStatement()) {
        list.append(statement);
        if (statement->height > height) height = statement->height;
    }
    expect('}', kMsgMissingBraceAfterBlock);
    block->a.node = list.first;
    setHeight(block, height);
    return block;
}

// ---------------------------------------------------------------------------------------------
// Functions.

const char* Parser::freshFunctionName() {
    char name[24];
    int length = std::snprintf(name, sizeof name, "@F_%u", ctx_.anonymousCounter++);
    return ctx_.arena.copyText(name, static_cast<size_t>(length));
}

// Formal parameters after '(' up to and including ')'.
SyntaxNode* Parser::parseParameters() {
    NodeList parameters;
    if (!peekIs(')')) {
        for (;;) {
            if (!peekIs(kTokIdentifier)) fail(kMsgIllegalIdentifier);
            const Token& name = advance();
            parameters.append(identifierNode(name.text, name.line));
            if (peekIs(',')) {
                advance();
                if (!peekIs(kTokIdentifier)) fail(kMsgIllegalIdentifier);
                continue;
            }
            if (!peekIs(')')) fail(kMsgMissingParenAfterFormals);
            break;
        }
    }
    expect(')', kMsgMissingParenAfterFormals);
    return parameters.first;
}

SyntaxNode* Parser::parseFunction() {
    uint32_t argumentsBefore = ctx_.argumentsCount;
    SyntaxNode* function = newNode(kNodeFunction, advance().line);
    if (peekIs(kTokIdentifier)) {
        const Token& name = advance();
        function->line = name.line;
        function->d.text = name.text;
        // Only top-level functions keep their own name as the global that holds them.
        function->c.text = functionNames_.empty() ? name.text : freshFunctionName();
    } else {
        function->c.text = function->d.text = freshFunctionName();
    }
    functionNames_.push_back(function->c.text);

    expect('(', kMsgMissingParenBeforeFormals);
    function->e.node = parseParameters();
    if (!peekIs('{')) fail(kMsgInvalidFunctionBody);
    function->a.word = peek().line;
    SyntaxNode* body = parseBlock();

    function->b.word = ctx_.argumentsCount != argumentsBefore ? 1 : 0;
    if (body->kind == kNodeBlock) {
        function->f.node = body->a.node;
        setHeight(function, body->height - 1);
    } else {
        function->f.node = body;
        setHeight(function, body->height);
    }
    ctx_.functions.append(function);
    functionNames_.pop_back();
    return function;
}

// A declaration in statement position: at top level it only joins the function list (an empty
// statement stands in its place); nested, it becomes a property of the enclosing function.
SyntaxNode* Parser::parseFunctionStatement() {
    SyntaxNode* function = parseFunction();
    if (functionNames_.empty()) return newNode(kNodeEmpty, function->line);
    SyntaxNode* inner = newNode(kNodeInnerFunction, ctx_.lastLine);
    inner->a.text = functionNames_.back();
    inner->b.text = function->c.text;
    inner->c.text = function->d.text;
    return inner;
}

// ---------------------------------------------------------------------------------------------
// Statements.

SyntaxNode* Parser::parseStatement() {
    Nesting nesting(*this);
    const Token& t = peek();
    switch (t.kind) {
        case '{':
            return parseBlock();
        case kTokFunction:
            return parseFunctionStatement();
        case kTokVar:
            return parseVar();
        case kTokIf:
            return parseIf();
        case kTokDo:
            return parseDoWhile();
        case kTokWhile:
            return parseWhile();
        case kTokFor:
            return parseFor();
        case ';':
            return newNode(kNodeEmpty, advance().line);
        case kTokContinue:
            return parseJump(kNodeContinue);
        case kTokBreak:
            return parseJump(kNodeBreak);
        case kTokReturn:
            return parseReturn();
        case kTokSwitch:
            return parseSwitch();
        case kTokWith:
            return parseWith();
        case kTokTry:
            return parseTry();
        case kTokThrow:
            return parseThrow();
        default:
            return parseExpressionStatement();
    }
}

// An expression statement, or a label: a lone identifier followed by ':' on its own line.
SyntaxNode* Parser::parseExpressionStatement() {
    SyntaxNode* expression = parseExpression();
    if (!expression) return nullptr;
    if (expression->kind == kNodeIdentifier && peekIs(':') && peek().line == expression->line) {
        advance();
        SyntaxNode* body = parseStatement();
        if (!body) fail(kMsgInvalidLabel);
        SyntaxNode* label = newNode(kNodeLabel, expression->line);
        label->a.text = expression->a.text;
        label->b.node = body;
        setHeight(label, body->height);
        return label;
    }
    autoSemicolon();
    SyntaxNode* statement = newNode(kNodeExpression, expression->line);
    statement->a.node = expression;
    setHeight(statement, expression->height);
    return statement;
}

SyntaxNode* Parser::parseDeclarators(uint32_t varLine, uint32_t* count, uint32_t* height) {
    if (!peekIs(kTokIdentifier)) fail(varLine, kMsgMissingVariableName);
    NodeList declarators;
    uint32_t h = 0;
    for (;;) {
        const Token& name = advance();
        SyntaxNode* declarator = newNode(kNodeDeclarator, name.line);
        declarator->a.text = name.text;
        if (peekIs('=')) {
            advance();
            declarator->b.node = parseAssignment();
            if (!declarator->b.node) fail(kMsgInvalidVariableInit);
            setHeight(declarator, declarator->b.node->height);
        }
        if (declarator->height > h) h = declarator->height;
        declarators.append(declarator);
        if (!peekIs(',')) break;
        advance();
        const Token& following = peek();
        if (following.kind != kTokIdentifier) fail(following.line, kMsgIllegalIdentifier);
    }
    *count = declarators.count;
    *height = h;
    return declarators.first;
}

SyntaxNode* Parser::parseVar() {
    SyntaxNode* node = newNode(kNodeVar, advance().line);
    uint32_t count;
    uint32_t height;
    node->c.node = parseDeclarators(node->line, &count, &height);
    node->b.word = count;
    setHeight(node, height);
    autoSemicolon();
    return node;
}

SyntaxNode* Parser::parseCondition() {
    expect('(', kMsgMissingParenBeforeCondition);
    SyntaxNode* condition = parseExpression();
    if (!condition) fail(kMsgInvalidCondition);
    expect(')', kMsgMissingParenAfterCondition);
    return condition;
}

SyntaxNode* Parser::parseIf() {
    SyntaxNode* node = newNode(kNodeIf, advance().line);
    node->a.node = parseCondition();
    node->b.node = parseStatement();
    if (!node->b.node) fail(kMsgInvalidStatement);
    if (peekIs(kTokElse)) {
        advance();
        node->c.node = parseStatement();
        if (!node->c.node) fail(kMsgInvalidStatement);
    }
    setHeight(node, maxHeight({node->a.node, node->b.node, node->c.node}));
    return node;
}

SyntaxNode* Parser::parseWhile() {
    SyntaxNode* node = newNode(kNodeWhile, advance().line);
    node->a.node = parseCondition();
    node->b.node = parseStatement();
    if (!node->b.node) fail(kMsgInvalidStatement);
    setHeight(node, maxHeight({node->a.node, node->b.node}));
    return node;
}

SyntaxNode* Parser::parseDoWhile() {
    SyntaxNode* node = newNode(kNodeDoWhile, advance().line);
    node->b.node = parseStatement();
    if (!node->b.node) fail(kMsgInvalidStatement);
    expect(kTokWhile, kMsgMissingWhileAfterDo);
    node->a.node = parseCondition();
    autoSemicolon();
    setHeight(node, maxHeight({node->a.node, node->b.node}));
    return node;
}

// for (init; condition; update) and for (name in object), with or without `var`.
SyntaxNode* Parser::parseFor() {
    uint32_t line = advance().line;
    expect('(', kMsgMissingParenAfterFor);
    SyntaxNode* declarators = nullptr;
    SyntaxNode* initializer = nullptr;
    uint32_t count = 0;
    uint32_t declaratorHeight = 0;
    if (peekIs(kTokVar)) {
        uint32_t varLine = advance().line;
        declarators = parseDeclarators(varLine, &count, &declaratorHeight);
    } else if (!peekIs(';')) {
        initializer = parseExpression();
        if (!initializer) fail(kMsgInvalidForInit);
    }

    uint32_t separator = advance().kind;
    SyntaxNode* node;
    if (separator == ';') {
        node = newNode(kNodeFor, line);
        node->a.node = declarators;
        node->b.node = initializer;
        node->f.word = count;
        if (!peekIs(';')) {
            node->c.node = parseExpression();
            if (!node->c.node) fail(kMsgInvalidForCondition);
        }
        expect(';', kMsgMissingSemicolonAfterForCondition);
        if (!peekIs(')')) {
            node->d.node = parseExpression();
            if (!node->d.node) fail(kMsgInvalidForControl);
        }
        expect(')', kMsgMissingParenAfterForControl);
        node->e.node = parseStatement();
        if (!node->e.node) fail(kMsgInvalidStatement);
        setHeight(node, std::max(declaratorHeight, maxHeight({initializer, node->c.node,
                                                              node->d.node, node->e.node})));
        return node;
    }
    if (separator != kTokIn) fail(kMsgMissingSemicolonAfterForInit);

    if (declarators) {
        if (count != 1) fail(line, kMsgMoreThanOneVariable);
    } else if (initializer->kind != kNodeIdentifier) {
        fail(initializer->line, kMsgIllegalIdentifier);
    }
    node = newNode(kNodeForIn, line);
    node->a.node = declarators;
    node->b.node = initializer;
    node->e.word = 1;
    node->c.node = parseExpression();
    if (!node->c.node) fail(kMsgInvalidExpression);
    expect(')', kMsgMissingParenAfterForControl);
    node->d.node = parseStatement();
    if (!node->d.node) fail(kMsgInvalidStatement);
    setHeight(node,
              std::max(declaratorHeight, maxHeight({initializer, node->c.node, node->d.node})));
    return node;
}

// continue / break, with a label only when it stands on the keyword's line.
SyntaxNode* Parser::parseJump(uint32_t kind) {
    SyntaxNode* node = newNode(kind, advance().line);
    const Token& t = peek();
    if (t.kind == kTokIdentifier && t.line == node->line) node->a.text = advance().text;
    autoSemicolon();
    return node;
}

SyntaxNode* Parser::parseReturn() {
    SyntaxNode* node = newNode(kNodeReturn, advance().line);
    const Token& t = peek();
    if (t.kind == ';') {
        advance();
        return node;
    }
    if (t.line > ctx_.lastLine) {  // a line break ends a bare return
        ++ctx_.autoSemicolons;
        if (ctx_.option(kOptionWarnMissingSemicolon)) {
            compileWarning(ctx_, ctx_.lastLine, "%s", kMsgMissingSemicolon);
        }
        return node;
    }
    node->a.node = parseExpression();
    if (!node->a.node) fail(kMsgInvalidReturn);
    setHeight(node, node->a.node->height);
    autoSemicolon();
    return node;
}

SyntaxNode* Parser::parseWith() {
    SyntaxNode* node = newNode(kNodeWith, advance().line);
    expect('(', kMsgMissingParenBeforeWith);
    node->a.node = parseExpression();
    if (!node->a.node) fail(kMsgInvalidWithObject);
    expect(')', kMsgMissingParenAfterWith);
    node->b.node = parseStatement();
    if (!node->b.node) fail(kMsgInvalidWithBlock);
    setHeight(node, maxHeight({node->a.node, node->b.node}));
    return node;
}

SyntaxNode* Parser::parseSwitch() {
    SyntaxNode* node = newNode(kNodeSwitch, advance().line);
    expect('(', kMsgMissingParenBeforeSwitch);
    node->b.node = parseExpression();
    if (!node->b.node) fail(kMsgInvalidSwitchExpression);
    expect(')', kMsgMissingParenAfterSwitch);
    expect('{', kMsgMissingBraceBeforeSwitch);

    NodeList clauses;
    uint32_t defaults = 0;
    uint32_t height = node->b.node->height;
    for (;;) {
        const Token& label = advance();
        uint32_t kind = label.kind;
        if (kind == '}') break;
        SyntaxNode* clause = newNode(kNodeEmpty, label.line);
        if (kind == kTokCase) {
            clause->a.node = parseExpression();
            if (!clause->a.node) fail(kMsgInvalidCaseExpression);
        } else if (kind == kTokDefault) {
            ++defaults;
        } else {
            fail(kMsgMissingBraceAfterSwitch);
        }
        const Token& colon = peek();
        if (colon.kind != ':') fail(colon.line, kMsgMissingColonAfterCase);
        advance();
        NodeList statements;
        uint32_t clauseHeight = heightOf(clause->a.node);
        for (;;) {
            const Token& t = peek();
            if (t.kind == '}' || t.kind == kTokCase || t.kind == kTokDefault) break;
            SyntaxNode* statement = parseStatement();
            if (!statement) fail(kMsgInvalidStatement);
            statements.append(statement);
            if (statement->height > clauseHeight) clauseHeight = statement->height;
        }
        clause->b.node = statements.first;
        clause->e.word = peek().line;
        setHeight(clause, clauseHeight);
        if (clause->height > height) height = clause->height;
        clauses.append(clause);
    }
    if (defaults > 1) compileError(ctx_, ctx_.lastLine, "%s", kMsgMoreThanOneDefault);
    node->a.word = ctx_.lastLine;
    node->c.node = clauses.first;
    setHeight(node, height);
    return node;
}

// try S, then any number of catch (name [if condition]) S, then an optional finally S.
SyntaxNode* Parser::parseTry() {
    SyntaxNode* node = newNode(kNodeTry, advance().line);
    node->c.node = parseStatement();
    if (!node->c.node) fail(kMsgInvalidStatement);
    node->a.word = ctx_.lastLine;
    if (!peekIs(kTokCatch) && !peekIs(kTokFinally)) fail(kMsgMissingCatchOrFinally);

    NodeList clauses;
    uint32_t height = node->c.node->height;
    while (peekIs(kTokCatch)) {
        SyntaxNode* clause = newNode(kNodeEmpty, advance().line);
        expect('(', kMsgMissingParenBeforeCatch);
        if (!peekIs(kTokIdentifier)) fail(kMsgMissingIdentifierInCatch);
        clause->b.text = advance().text;
        if (peekIs(kTokIf)) {
            advance();
            clause->e.node = parseExpression();
            if (!clause->e.node) fail(kMsgInvalidStatement);
        }
        expect(')', kMsgMissingParenAfterCatch);
        clause->f.node = parseStatement();
        if (!clause->f.node) fail(kMsgInvalidStatement);
        setHeight(clause, maxHeight({clause->e.node, clause->f.node}));
        if (clause->height > height) height = clause->height;
        clauses.append(clause);
    }
    if (clauses.first) clauses.first->a.word = peek().line;
    if (peekIs(kTokFinally)) {
        advance();
        node->e.node = parseStatement();
        if (!node->e.node) fail(kMsgInvalidStatement);
        if (node->e.node->height > height) height = node->e.node->height;
    }
    node->b.word = ctx_.lastLine;
    node->d.node = clauses.first;
    setHeight(node, height);
    return node;
}

SyntaxNode* Parser::parseThrow() {
    SyntaxNode* node = newNode(kNodeThrow, advance().line);
    node->a.node = parseExpression();
    if (!node->a.node) fail(kMsgInvalidThrow);
    setHeight(node, node->a.node->height);
    autoSemicolon();
    return node;
}

}  // namespace quill::compiler
