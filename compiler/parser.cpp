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

Token Parser::next() {
    Token t = hasAhead_ ? ahead_ : lexer_.next();
    hasAhead_ = false;
    ctx_.lastLine = t.line;
    ++ctx_.tokenCount;
    if (t.kind == kTokIdentifier && t.length == sizeof kArgumentsName - 1 &&
        std::memcmp(t.text, kArgumentsName, sizeof kArgumentsName - 1) == 0) {
        ++ctx_.argumentsCount;
    }
    return t;
}

void Parser::expect(uint32_t kind, const char* text) {
    if (!peekIs(kind)) fail(text);
    next();
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
        next();
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

SyntaxNode* Parser::parseStatementList(uint32_t* height) {
    NodeList list;
    uint32_t h = 0;
    while (SyntaxNode* statement = parseStatement()) {
        list.append(statement);
        if (statement->height > h) h = statement->height;
    }
    *height = h;
    return list.first;
}

// '{' statements '}'. An empty block is a single empty statement.
SyntaxNode* Parser::parseBlock() {
    next();  // '{'
    const Token& first = peek();
    if (first.kind == '}') {
        Token close = next();
        return newNode(kNodeEmpty, close.line);
    }
    SyntaxNode* block = newNode(kNodeBlock, first.line);
    uint32_t height;
    block->a.node = parseStatementList(&height);
    expect('}', kMsgMissingBraceAfterBlock);
    setHeight(block, height);
    return block;
}

// ---------------------------------------------------------------------------------------------
// Functions.

SyntaxNode* Parser::parseFunction() {
    uint32_t argumentsBefore = ctx_.argumentsCount;
    Token keyword = next();  // function
    uint32_t line = keyword.line;
    auto freshName = [this] {
        char name[24];
        std::snprintf(name, sizeof name, "@F_%u", ctx_.anonymousCounter++);
        return static_cast<const char*>(ctx_.arena.copyText(name, std::strlen(name)));
    };
    const char* declared;
    const char* internal;
    if (peekIs(kTokIdentifier)) {
        Token name = next();
        line = name.line;
        declared = name.text;
        // Only top-level functions keep their own name as the global that holds them.
        internal = functionNames_.empty() ? declared : freshName();
    } else {
        declared = internal = freshName();
    }
    functionNames_.push_back(internal);

    expect('(', kMsgMissingParenBeforeFormals);
    NodeList parameters;
    if (!peekIs(')')) {
        for (;;) {
            if (!peekIs(kTokIdentifier)) fail(kMsgIllegalIdentifier);
            Token name = next();
            parameters.append(identifierNode(name.text, name.line));
            if (peekIs(',')) {
                next();
                if (!peekIs(kTokIdentifier)) fail(kMsgIllegalIdentifier);
                continue;
            }
            if (!peekIs(')')) fail(kMsgMissingParenAfterFormals);
            break;
        }
    }
    expect(')', kMsgMissingParenAfterFormals);

    if (!peekIs('{')) fail(kMsgInvalidFunctionBody);
    uint32_t bodyLine = peek().line;
    SyntaxNode* body = parseBlock();

    SyntaxNode* function = newNode(kNodeFunction, line);
    function->a.word = bodyLine;
    function->b.word = ctx_.argumentsCount != argumentsBefore ? 1 : 0;
    function->c.text = internal;
    function->d.text = declared;
    function->e.node = parameters.first;
    function->f.node = body->kind == kNodeBlock ? body->a.node : body;
    setHeight(function, body->kind == kNodeBlock ? body->height - 1 : body->height);
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
        case ';': {
            Token semicolon = next();
            return newNode(kNodeEmpty, semicolon.line);
        }
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
        next();
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
        Token name = next();
        SyntaxNode* declarator = newNode(kNodeDeclarator, name.line);
        declarator->a.text = name.text;
        if (peekIs('=')) {
            next();
            declarator->b.node = parseAssignment();
            if (!declarator->b.node) fail(kMsgInvalidVariableInit);
            setHeight(declarator, declarator->b.node->height);
        }
        if (declarator->height > h) h = declarator->height;
        declarators.append(declarator);
        if (!peekIs(',')) break;
        next();
        const Token& following = peek();
        if (following.kind != kTokIdentifier) fail(following.line, kMsgIllegalIdentifier);
    }
    *count = declarators.count;
    *height = h;
    return declarators.first;
}

SyntaxNode* Parser::parseVar() {
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeVar, keyword.line);
    uint32_t count;
    uint32_t height;
    node->c.node = parseDeclarators(keyword.line, &count, &height);
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
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeIf, keyword.line);
    node->a.node = parseCondition();
    node->b.node = parseStatement();
    if (!node->b.node) fail(kMsgInvalidStatement);
    if (peekIs(kTokElse)) {
        next();
        node->c.node = parseStatement();
        if (!node->c.node) fail(kMsgInvalidStatement);
    }
    setHeight(node, maxHeight({node->a.node, node->b.node, node->c.node}));
    return node;
}

SyntaxNode* Parser::parseWhile() {
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeWhile, keyword.line);
    node->a.node = parseCondition();
    node->b.node = parseStatement();
    if (!node->b.node) fail(kMsgInvalidStatement);
    setHeight(node, maxHeight({node->a.node, node->b.node}));
    return node;
}

SyntaxNode* Parser::parseDoWhile() {
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeDoWhile, keyword.line);
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
    Token keyword = next();
    expect('(', kMsgMissingParenAfterFor);
    SyntaxNode* declarators = nullptr;
    SyntaxNode* initializer = nullptr;
    uint32_t count = 0;
    uint32_t declaratorHeight = 0;
    if (peekIs(kTokVar)) {
        Token var = next();
        declarators = parseDeclarators(var.line, &count, &declaratorHeight);
    } else if (!peekIs(';')) {
        initializer = parseExpression();
        if (!initializer) fail(kMsgInvalidForInit);
    }

    Token separator = next();
    SyntaxNode* node;
    if (separator.kind == ';') {
        node = newNode(kNodeFor, keyword.line);
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
    if (separator.kind != kTokIn) fail(kMsgMissingSemicolonAfterForInit);

    if (declarators) {
        if (count != 1) fail(keyword.line, kMsgMoreThanOneVariable);
    } else if (initializer->kind != kNodeIdentifier) {
        fail(initializer->line, kMsgIllegalIdentifier);
    }
    node = newNode(kNodeForIn, keyword.line);
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
    Token keyword = next();
    SyntaxNode* node = newNode(kind, keyword.line);
    const Token& t = peek();
    if (t.kind == kTokIdentifier && t.line == keyword.line) node->a.text = next().text;
    autoSemicolon();
    return node;
}

SyntaxNode* Parser::parseReturn() {
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeReturn, keyword.line);
    const Token& t = peek();
    if (t.kind == ';') {
        next();
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
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeWith, keyword.line);
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
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeSwitch, keyword.line);
    expect('(', kMsgMissingParenBeforeSwitch);
    node->b.node = parseExpression();
    if (!node->b.node) fail(kMsgInvalidSwitchExpression);
    expect(')', kMsgMissingParenAfterSwitch);
    expect('{', kMsgMissingBraceBeforeSwitch);

    NodeList clauses;
    uint32_t defaults = 0;
    uint32_t height = node->b.node->height;
    for (;;) {
        Token label = next();
        if (label.kind == '}') break;
        SyntaxNode* clause = newNode(kNodeEmpty, label.line);
        if (label.kind == kTokCase) {
            clause->a.node = parseExpression();
            if (!clause->a.node) fail(kMsgInvalidCaseExpression);
        } else if (label.kind == kTokDefault) {
            ++defaults;
        } else {
            fail(kMsgMissingBraceAfterSwitch);
        }
        const Token& colon = peek();
        if (colon.kind != ':') fail(colon.line, kMsgMissingColonAfterCase);
        next();
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
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeTry, keyword.line);
    node->c.node = parseStatement();
    if (!node->c.node) fail(kMsgInvalidStatement);
    node->a.word = ctx_.lastLine;
    if (!peekIs(kTokCatch) && !peekIs(kTokFinally)) fail(kMsgMissingCatchOrFinally);

    NodeList clauses;
    uint32_t height = node->c.node->height;
    while (peekIs(kTokCatch)) {
        Token word = next();
        SyntaxNode* clause = newNode(kNodeEmpty, word.line);
        expect('(', kMsgMissingParenBeforeCatch);
        if (!peekIs(kTokIdentifier)) fail(kMsgMissingIdentifierInCatch);
        clause->b.text = next().text;
        if (peekIs(kTokIf)) {
            next();
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
        next();
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
    Token keyword = next();
    SyntaxNode* node = newNode(kNodeThrow, keyword.line);
    node->a.node = parseExpression();
    if (!node->a.node) fail(kMsgInvalidThrow);
    setHeight(node, node->a.node->height);
    autoSemicolon();
    return node;
}

}  // namespace quill::compiler
