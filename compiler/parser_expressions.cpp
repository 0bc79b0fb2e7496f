// The parser's expressions, from the comma operator down to primaries and literals. Binary
// operators are parsed by precedence climbing, which builds the same left-associative trees as
// one function per level but keeps the native recursion per bracket level short.
#include <algorithm>

#include "compiler/diagnostics.h"
#include "compiler/messages.h"
#include "compiler/parser_internal.h"
#include "runtime/value.h"

namespace quill::compiler {

namespace {

struct BinaryOperator {
    int precedence;  // 0: not a binary operator
    uint32_t node;
};

BinaryOperator binaryOperator(uint32_t kind) {
    switch (kind) {
        case kTokOrOr:
            return {1, kNodeLogical};
        case kTokAndAnd:
            return {2, kNodeLogical};
        case '|':
            return {3, kNodeBitwise};
        case '^':
            return {4, kNodeBitwise};
        case '&':
            return {5, kNodeBitwise};
        case kTokEq:
        case kTokNe:
        case kTokStrictEq:
        case kTokStrictNe:
            return {6, kNodeEquality};
        case '<':
        case '>':
        case kTokLe:
        case kTokGe:
            return {7, kNodeRelational};
        case kTokShl:
        case kTokShr:
        case kTokUshr:
            return {8, kNodeShift};
        case '+':
        case '-':
            return {9, kNodeAdditive};
        case '*':
        case '/':
        case '%':
            return {10, kNodeMultiplicative};
        default:
            return {0, 0};
    }
}

bool isAssignmentOperator(uint32_t kind) {
    switch (kind) {
        case '=':
        case kTokMulAssign:
        case kTokDivAssign:
        case kTokModAssign:
        case kTokAddAssign:
        case kTokSubAssign:
        case kTokShlAssign:
        case kTokShrAssign:
        case kTokUshrAssign:
        case kTokAndAssign:
        case kTokXorAssign:
        case kTokOrAssign:
            return true;
        default:
            return false;
    }
}

// Left sides after which an assignment operator is taken; whether they can really be stored
// to is the code generator's business.
bool takesAssignment(uint32_t nodeKind) {
    return (nodeKind >= kNodeThis && nodeKind <= kNodeNew) || nodeKind == kNodeRegExp ||
           nodeKind == kNodeArray || nodeKind == kNodeUndefined;
}

bool isUnaryOperator(uint32_t kind) {
    switch (kind) {
        case kTokDelete:
        case kTokVoid:
        case kTokTypeof:
        case kTokIncrement:
        case kTokDecrement:
        case '+':
        case '-':
        case '~':
        case '!':
            return true;
        default:
            return false;
    }
}

}  // namespace

SyntaxNode* Parser::parseExpression() {
    SyntaxNode* left = parseAssignment();
    if (!left) return nullptr;
    while (peekIs(',')) {
        Token comma = next();
        SyntaxNode* right = parseAssignment();
        if (!right) fail(kMsgInvalidExpression);
        SyntaxNode* node = newNode(kNodeComma, comma.line);
        node->a.node = left;
        node->b.node = right;
        setHeight(node, std::max(left->height, right->height));
        left = node;
    }
    return left;
}

SyntaxNode* Parser::parseAssignment() {
    Nesting nesting(*this);
    SyntaxNode* target = parseConditional();
    if (!target) return nullptr;
    const Token& t = peek();
    if (!isAssignmentOperator(t.kind) || !takesAssignment(target->kind)) return target;
    Token op = next();
    SyntaxNode* value = parseAssignment();
    if (!value) {
        // The one place a function may stand in an expression: the right side of a plain '='.
        // The value is then the name of the new function.
        if (op.kind != '=' || !peekIs(kTokFunction)) fail(kMsgInvalidExpression);
        SyntaxNode* function = parseFunction();
        value = identifierNode(function->c.text, function->line);
    }
    SyntaxNode* node = newNode(kNodeAssign, op.line);
    node->a.word = op.kind;
    node->c.node = target;
    node->d.node = value;
    setHeight(node, std::max(target->height, value->height));
    return node;
}

SyntaxNode* Parser::parseConditional() {
    SyntaxNode* condition = parseBinary(1);
    if (!condition || !peekIs('?')) return condition;
    Token question = next();
    SyntaxNode* node = newNode(kNodeConditional, question.line);
    node->a.node = condition;
    node->b.node = parseAssignment();
    if (!node->b.node) fail(kMsgInvalidExpression);
    expect(':', kMsgMissingColonInConditional);
    node->c.node = parseAssignment();
    if (!node->c.node) fail(kMsgInvalidExpression);
    setHeight(node, maxHeight({node->a.node, node->b.node, node->c.node}));
    return node;
}

SyntaxNode* Parser::parseBinary(int minPrecedence) {
    SyntaxNode* left = parseUnary();
    if (!left) return nullptr;
    for (;;) {
        BinaryOperator op = binaryOperator(peek().kind);
        if (op.precedence == 0 || op.precedence < minPrecedence) return left;
        Token t = next();
        SyntaxNode* right = parseBinary(op.precedence + 1);
        if (!right) fail(kMsgInvalidExpression);
        SyntaxNode* node = newNode(op.node, t.line);
        node->a.word = t.kind;
        node->c.node = left;
        node->d.node = right;
        if (op.node == kNodeEquality || op.node == kNodeRelational ||
            (op.node == kNodeLogical && left->staticType == kTagBoolean &&
             right->staticType == kTagBoolean)) {
            node->staticType = kTagBoolean;
        }
        setHeight(node, std::max(left->height, right->height));
        left = node;
    }
}

SyntaxNode* Parser::parseUnary() {
    if (!isUnaryOperator(peek().kind)) return parsePostfix();
    Nesting nesting(*this);
    Token op = next();
    SyntaxNode* operand = parseUnary();
    if (!operand) fail(kMsgInvalidExpression);
    SyntaxNode* node = newNode(kNodeUnary, op.line);
    node->a.word = op.kind;
    node->b.node = operand;
    setHeight(node, operand->height);
    return node;
}

// A postfix ++ or -- belongs to its operand only on the operand's last line; on a later line it
// starts the next statement.
SyntaxNode* Parser::parsePostfix() {
    SyntaxNode* operand = parseCall();
    if (!operand) return nullptr;
    const Token& t = peek();
    if (t.kind != kTokIncrement && t.kind != kTokDecrement) return operand;
    if (t.line != ctx_.lastLine) {
        if (ctx_.option(kOptionWarnMissingSemicolon)) {
            compileWarning(ctx_, t.line, "%s", kMsgMissingSemicolon);
        }
        return operand;
    }
    Token op = next();
    SyntaxNode* node = newNode(kNodePostfix, op.line);
    node->a.word = op.kind;
    node->b.node = operand;
    setHeight(node, operand->height);
    return node;
}

SyntaxNode* Parser::parseCall() {
    SyntaxNode* expression = parseMember();
    if (!expression) return nullptr;
    for (;;) {
        if (peekIs('(')) {
            Token open = next();
            SyntaxNode* call = newNode(kNodeCall, open.line);
            uint32_t count;
            uint32_t height;
            call->c.node = parseArguments(&count, &height);
            call->a.word = count;
            call->b.node = expression;
            setHeight(call, std::max(expression->height, height));
            expression = call;
        } else if (SyntaxNode* selected = parseSelector(expression)) {
            expression = selected;
        } else {
            return expression;
        }
    }
}

SyntaxNode* Parser::parseMember() {
    SyntaxNode* expression;
    if (peekIs(kTokNew)) {
        Nesting nesting(*this);
        Token keyword = next();
        SyntaxNode* constructor = parseMember();
        if (!constructor) fail(kMsgInvalidExpression);
        expression = newNode(kNodeNew, keyword.line);
        expression->b.node = constructor;
        uint32_t height = 0;
        if (peekIs('(')) {
            next();
            uint32_t count;
            expression->c.node = parseArguments(&count, &height);
            expression->a.word = count;
        }
        setHeight(expression, std::max(constructor->height, height));
    } else {
        expression = parsePrimary();
        if (!expression) return nullptr;
    }
    while (SyntaxNode* selected = parseSelector(expression)) expression = selected;
    return expression;
}

SyntaxNode* Parser::parseSelector(SyntaxNode* object) {
    const Token& t = peek();
    if (t.kind == '[') {
        Token open = next();
        SyntaxNode* node = newNode(kNodeIndex, open.line);
        node->a.node = object;
        node->b.node = parseExpression();
        if (!node->b.node) fail(kMsgInvalidExpression);
        expect(']', kMsgMissingBracketInIndex);
        setHeight(node, std::max(object->height, node->b.node->height));
        return node;
    }
    if (t.kind == '.') {
        Token dot = next();
        if (!peekIs(kTokIdentifier)) fail(kMsgIllegalIdentifier);
        SyntaxNode* node = newNode(kNodeMember, dot.line);
        node->a.text = next().text;
        node->b.node = object;
        setHeight(node, object->height);
        return node;
    }
    return nullptr;
}

SyntaxNode* Parser::parseArguments(uint32_t* count, uint32_t* height) {
    SyntaxNode* arguments = nullptr;
    uint32_t n = 0;
    uint32_t h = 0;
    if (peekIs(')')) {
        next();
    } else {
        for (;;) {
            SyntaxNode* argument = parseAssignment();
            if (!argument) fail(kMsgInvalidExpression);
            argument->next = arguments;  // the list runs from the last argument to the first
            arguments = argument;
            ++n;
            h = std::max(h, argument->height);
            const Token& t = peek();
            if (t.kind == ',') {
                next();
            } else if (t.kind == ')') {
                next();
                break;
            } else {
                fail(t.line, kMsgMissingParenAfterArguments);
            }
        }
    }
    *count = n;
    *height = h;
    return arguments;
}

SyntaxNode* Parser::parsePrimary() {
    const Token& t = peek();
    SyntaxNode* node;
    switch (t.kind) {
        case kTokThis:
            return newNode(kNodeThis, next().line);
        case kTokNull:
            node = newNode(kNodeNull, next().line);
            node->staticType = kTagNull;
            return node;
        case kTokTrue:
        case kTokFalse:
            node = newNode(t.kind == kTokTrue ? kNodeTrue : kNodeFalse, t.line);
            next();
            node->staticType = kTagBoolean;
            return node;
        case kTokUndefined:
            return newNode(kNodeUndefined, next().line);
        case kTokIdentifier: {
            Token name = next();
            return identifierNode(name.text, name.line);
        }
        case kTokFloat: {
            Token literal = next();
            node = newNode(kNodeFloat, literal.line);
            node->a.number = literal.number;
            node->staticType = kTagNumber;
            return node;
        }
        case kTokInteger: {
            Token literal = next();
            node = newNode(kNodeInteger, literal.line);
            node->a.integer = literal.integer;
            node->staticType = kTagInteger;
            return node;
        }
        case kTokString: {
            Token literal = next();
            node = newNode(kNodeString, literal.line);
            node->a.text = literal.text;
            node->b.word = literal.length;
            node->staticType = kTagString;
            return node;
        }
        case '/': {
            // The lexer stopped right after the '/', so the literal's body is still unread.
            Token slash = next();
            node = newNode(kNodeRegExp, slash.line);
            node->a.regexp = lexer_.scanRegExp(slash.line);
            node->staticType = kTagHost;
            return node;
        }
        case '[':
            return parseArrayLiteral();
        case '{':
            return parseObjectLiteral();
        case '(': {
            next();
            SyntaxNode* inner = parseExpression();
            if (!inner) fail(kMsgInvalidExpression);
            expect(')', kMsgInvalidExpression);
            return inner;
        }
        default:
            return nullptr;
    }
}

// A ',' after '[' or after another ',' is a hole; a list that ends right after a ',' gets one
// more hole, so [1,] has two elements and [,] too.
SyntaxNode* Parser::parseArrayLiteral() {
    Token open = next();
    SyntaxNode* node = newNode(kNodeArray, open.line);
    node->staticType = kTagArray;
    SyntaxNode* elements = nullptr;
    uint32_t count = 0;
    uint32_t height = 0;
    auto add = [&](SyntaxNode* item) {
        item->next = elements;  // last element first
        elements = item;
        ++count;
        height = std::max(height, item->height);
    };
    bool atStart = true;
    bool afterComma = false;
    for (;;) {
        const Token& t = peek();
        if (t.kind == ']') {
            Token close = next();
            if (afterComma && count > 0) add(newNode(kNodeEmpty, close.line));
            break;
        }
        if (t.kind == ',') {
            Token comma = next();
            if (atStart || afterComma) add(newNode(kNodeEmpty, comma.line));
            atStart = false;
            afterComma = true;
            continue;
        }
        if (!atStart && !afterComma) fail(t.line, kMsgMissingBracketAfterElements);
        SyntaxNode* element = parseAssignment();
        if (!element) fail(kMsgInvalidExpression);
        add(element);
        atStart = false;
        afterComma = false;
    }
    node->a.word = count;
    node->b.node = elements;
    setHeight(node, height);
    return node;
}

SyntaxNode* Parser::parseObjectLiteral() {
    Token open = next();
    SyntaxNode* node = newNode(kNodeObject, open.line);
    node->staticType = kTagObject;
    SyntaxNode* properties = nullptr;
    uint32_t count = 0;
    uint32_t height = 0;
    if (peekIs('}')) {
        next();
    } else {
        for (;;) {
            const Token& key = peek();
            if (key.kind != kTokIdentifier && key.kind != kTokString && key.kind != kTokInteger) {
                fail(key.line, kMsgInvalidPropertyId);
            }
            Token name = next();
            SyntaxNode* property = newNode(kNodeEmpty, name.line);
            property->a.word = name.kind;
            if (name.kind == kTokInteger) {
                property->b.integer = name.integer;
            } else {
                property->b.text = name.text;
                property->d.word = name.length;
            }
            expect(':', kMsgMissingColonAfterPropertyId);
            property->c.node = parseAssignment();
            if (!property->c.node) fail(kMsgInvalidExpression);
            setHeight(property, property->c.node->height);
            property->next = properties;  // last written first
            properties = property;
            ++count;
            height = std::max(height, property->height);
            const Token& t = peek();
            if (t.kind == ',') {
                next();
                if (peekIs('}')) {
                    next();
                    break;
                }
            } else if (t.kind == '}') {
                next();
                break;
            } else {
                fail(t.line, kMsgMissingBraceAfterProperties);
            }
        }
    }
    node->a.word = count;
    node->b.node = properties;
    setHeight(node, height);
    return node;
}

}  // namespace quill::compiler
