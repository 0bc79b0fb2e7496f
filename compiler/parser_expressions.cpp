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
    if (!left || !peekIs(',')) return left;
    return parseCommaRest(left);
}

SyntaxNode* Parser::parseCommaRest(SyntaxNode* left) {
    while (peekIs(',')) {
        uint32_t line = advance().line;
        SyntaxNode* right = parseAssignment();
        if (!right) fail(kMsgInvalidExpression);
        SyntaxNode* node = newNode(kNodeComma, line);
        node->a.node = left;
        node->b.node = right;
        setHeight(node, std::max(left->height, right->height));
        left = node;
    }
    return left;
}

// assignment: conditional [op assignment]; conditional: binary [? assignment : assignment].
SyntaxNode* Parser::parseAssignment() {
    Nesting nesting(*this);
    SyntaxNode* left = parseBinary();
    if (!left) return nullptr;
    uint32_t kind = peek().kind;
    if (kind == '?') return parseConditionalRest(left);
    if (isAssignmentOperator(kind) && takesAssignment(left->kind)) return parseAssignmentRest(left);
    return left;
}

SyntaxNode* Parser::parseConditionalRest(SyntaxNode* condition) {
    SyntaxNode* node = newNode(kNodeConditional, advance().line);
    node->a.node = condition;
    node->b.node = parseAssignment();
    if (!node->b.node) fail(kMsgInvalidExpression);
    expect(':', kMsgMissingColonInConditional);
    node->c.node = parseAssignment();
    if (!node->c.node) fail(kMsgInvalidExpression);
    setHeight(node, maxHeight({node->a.node, node->b.node, node->c.node}));
    return node;
}

SyntaxNode* Parser::parseAssignmentRest(SyntaxNode* target) {
    const Token& op = advance();
    SyntaxNode* node = newNode(kNodeAssign, op.line);
    node->a.word = op.kind;
    node->c.node = target;
    SyntaxNode* value = parseAssignment();
    if (!value) {
        // The one place a function may stand in an expression: the right side of a plain '='.
        // The value is then the name of the new function.
        if (node->a.word != '=' || !peekIs(kTokFunction)) fail(kMsgInvalidExpression);
        SyntaxNode* function = parseFunction();
        value = identifierNode(function->c.text, function->line);
    }
    node->d.node = value;
    setHeight(node, std::max(target->height, value->height));
    return node;
}

SyntaxNode* Parser::parseBinary() {
    SyntaxNode* first = parseUnary();
    if (!first || binaryOperator(peek().kind).precedence == 0) return first;
    return parseOperators(first);
}

// Binary operators with an explicit operator stack: an operator is pushed only above operators
// of lower precedence, so each call holds at most one pending operator per level, and the
// native recursion is the same however the levels are mixed. The trees are the left-associative
// ones of the grammar's one-rule-per-level form.
SyntaxNode* Parser::parseOperators(SyntaxNode* first) {
    const size_t base = operators_.size();
    operands_.push_back(first);
    auto reduce = [this] {
        PendingOperator p = operators_.back();
        operators_.pop_back();
        SyntaxNode* right = operands_.back();
        operands_.pop_back();
        SyntaxNode* left = operands_.back();
        BinaryOperator op = binaryOperator(p.kind);
        SyntaxNode* node = newNode(op.node, p.line);
        node->a.word = p.kind;
        node->c.node = left;
        node->d.node = right;
        if (op.node == kNodeEquality || op.node == kNodeRelational ||
            (op.node == kNodeLogical && left->staticType == kTagBoolean &&
             right->staticType == kTagBoolean)) {
            node->staticType = kTagBoolean;
        }
        setHeight(node, std::max(left->height, right->height));
        operands_.back() = node;
    };
    for (;;) {
        int precedence = binaryOperator(peek().kind).precedence;
        if (precedence == 0) break;
        while (operators_.size() > base &&
               binaryOperator(operators_.back().kind).precedence >= precedence) {
            reduce();
        }
        const Token& t = advance();
        operators_.push_back({t.kind, t.line});
        SyntaxNode* right = parseUnary();
        if (!right) fail(kMsgInvalidExpression);
        operands_.push_back(right);
    }
    while (operators_.size() > base) reduce();
    SyntaxNode* result = operands_.back();
    operands_.pop_back();
    return result;
}

SyntaxNode* Parser::parseUnary() {
    if (isUnaryOperator(peek().kind)) return parseUnaryOperator();
    return parsePostfix();
}

SyntaxNode* Parser::parseUnaryOperator() {
    Nesting nesting(*this);
    const Token& t = advance();
    SyntaxNode* node = newNode(kNodeUnary, t.line);
    node->a.word = t.kind;
    node->b.node = parseUnary();
    if (!node->b.node) fail(kMsgInvalidExpression);
    setHeight(node, node->b.node->height);
    return node;
}

// A primary or `new` expression, then calls, indexes and member names in any order, then a
// postfix ++ or --.
SyntaxNode* Parser::parsePostfix() {
    SyntaxNode* expression = peekIs(kTokNew) ? parseNew() : parsePrimary();
    if (!expression) return nullptr;
    for (;;) {
        uint32_t kind = peek().kind;
        if (kind == '(' || kind == '[' || kind == '.') {
            expression = parseSuffix(expression);
        } else if (kind == kTokIncrement || kind == kTokDecrement) {
            return parsePostfixOperator(expression);
        } else {
            return expression;
        }
    }
}

// A postfix ++ or -- belongs to its operand only on the operand's last line; on a later line it
// starts the next statement.
SyntaxNode* Parser::parsePostfixOperator(SyntaxNode* operand) {
    const Token& t = peek();
    if (t.line != ctx_.lastLine) {
        if (ctx_.option(kOptionWarnMissingSemicolon)) {
            compileWarning(ctx_, t.line, "%s", kMsgMissingSemicolon);
        }
        return operand;
    }
    advance();
    SyntaxNode* node = newNode(kNodePostfix, t.line);
    node->a.word = t.kind;
    node->b.node = operand;
    setHeight(node, operand->height);
    return node;
}

// `new` member-expression [arguments]: the constructor takes index and member suffixes but no
// call, so the first argument list belongs to the `new`.
SyntaxNode* Parser::parseNew() {
    Nesting nesting(*this);
    SyntaxNode* node = newNode(kNodeNew, advance().line);
    SyntaxNode* constructor = peekIs(kTokNew) ? parseNew() : parsePrimary();
    if (!constructor) fail(kMsgInvalidExpression);
    while (peekIs('[') || peekIs('.')) constructor = parseSuffix(constructor);
    node->b.node = constructor;
    uint32_t height = 0;
    if (peekIs('(')) {
        advance();
        uint32_t count;
        node->c.node = parseArguments(&count, &height);
        node->a.word = count;
    }
    setHeight(node, std::max(constructor->height, height));
    return node;
}

SyntaxNode* Parser::parseSuffix(SyntaxNode* object) {
    const Token& t = advance();
    SyntaxNode* node;
    if (t.kind == '(') {
        node = newNode(kNodeCall, t.line);
        uint32_t count;
        uint32_t height;
        node->c.node = parseArguments(&count, &height);
        node->a.word = count;
        node->b.node = object;
        setHeight(node, std::max(object->height, height));
    } else if (t.kind == '[') {
        node = newNode(kNodeIndex, t.line);
        node->a.node = object;
        node->b.node = parseExpression();
        if (!node->b.node) fail(kMsgInvalidExpression);
        expect(']', kMsgMissingBracketInIndex);
        setHeight(node, std::max(object->height, node->b.node->height));
    } else {
        node = newNode(kNodeMember, t.line);
        if (!peekIs(kTokIdentifier)) fail(kMsgIllegalIdentifier);
        node->a.text = advance().text;
        node->b.node = object;
        setHeight(node, object->height);
    }
    return node;
}

SyntaxNode* Parser::parseArguments(uint32_t* count, uint32_t* height) {
    SyntaxNode* arguments = nullptr;
    uint32_t n = 0;
    uint32_t h = 0;
    if (peekIs(')')) {
        advance();
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
                advance();
            } else if (t.kind == ')') {
                advance();
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
    switch (peek().kind) {
        case kTokIdentifier: {
            const Token& name = advance();
            return identifierNode(name.text, name.line);
        }
        case '(': {
            advance();
            SyntaxNode* inner = parseExpression();
            if (!inner) fail(kMsgInvalidExpression);
            expect(')', kMsgInvalidExpression);
            return inner;
        }
        case '[':
            return parseArrayLiteral();
        case '{':
            return parseObjectLiteral();
        default:
            return parseLiteral();
    }
}

// The primaries without operands of their own: keywords, numbers, strings, regular
// expressions; null when the next token is none of them.
SyntaxNode* Parser::parseLiteral() {
    const Token& t = peek();
    SyntaxNode* node;
    switch (t.kind) {
        case kTokThis:
            return newNode(kNodeThis, advance().line);
        case kTokNull:
            node = newNode(kNodeNull, advance().line);
            node->staticType = kTagNull;
            return node;
        case kTokTrue:
        case kTokFalse:
            node = newNode(t.kind == kTokTrue ? kNodeTrue : kNodeFalse, advance().line);
            node->staticType = kTagBoolean;
            return node;
        case kTokUndefined:
            return newNode(kNodeUndefined, advance().line);
        case kTokFloat:
            node = newNode(kNodeFloat, advance().line);
            node->a.number = t.number;
            node->staticType = kTagNumber;
            return node;
        case kTokInteger:
            node = newNode(kNodeInteger, advance().line);
            node->a.integer = t.integer;
            node->staticType = kTagInteger;
            return node;
        case kTokString:
            node = newNode(kNodeString, advance().line);
            node->a.text = t.text;
            node->b.word = t.length;
            node->staticType = kTagString;
            return node;
        case '/':
            // The lexer stopped right after the '/', so the literal's body is still unread.
            node = newNode(kNodeRegExp, advance().line);
            node->a.regexp = lexer_.scanRegExp(node->line);
            node->staticType = kTagHost;
            return node;
        default:
            return nullptr;
    }
}

// A ',' after '[' or after another ',' is a hole; a list that ends right after a ',' gets one
// more hole, so [1,] has two elements and [,] too.
SyntaxNode* Parser::parseArrayLiteral() {
    const Token& open = advance();
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
            const Token& close = advance();
            if (afterComma && count > 0) add(newNode(kNodeEmpty, close.line));
            break;
        }
        if (t.kind == ',') {
            const Token& comma = advance();
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
    const Token& open = advance();
    SyntaxNode* node = newNode(kNodeObject, open.line);
    node->staticType = kTagObject;
    SyntaxNode* properties = nullptr;
    uint32_t count = 0;
    uint32_t height = 0;
    if (peekIs('}')) {
        advance();
    } else {
        for (;;) {
            const Token& key = peek();
            if (key.kind != kTokIdentifier && key.kind != kTokString && key.kind != kTokInteger) {
                fail(key.line, kMsgInvalidPropertyId);
            }
            const Token& name = advance();
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
                advance();
                if (peekIs('}')) {
                    advance();
                    break;
                }
            } else if (t.kind == '}') {
                advance();
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
