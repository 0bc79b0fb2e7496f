// Code generation for expressions: literals, names, properties and elements, assignments and
// their compound forms, operators, calls, construction and array and object literals.
#include <cstring>

#include "compiler/codegen.h"
#include "compiler/diagnostics.h"
#include "compiler/messages.h"

namespace quill::compiler {

void CodeGenerator::identifierLoad(const char* name, uint32_t line) {
    if (const Binding* b = resolve(name)) {
        op(b->kind == NameKind::kParameter ? OP_LOAD_ARG : OP_LOAD_LOCAL, line, b->slot);
    } else {
        this->name(insideWith() ? OP_GET_NAME : OP_LOAD_GLOBAL, name, line);
    }
}

void CodeGenerator::identifierStore(const char* name, uint32_t line) {
    if (const Binding* b = resolve(name)) {
        op(b->kind == NameKind::kParameter ? OP_STORE_ARG : OP_STORE_LOCAL, line, b->slot);
    } else {
        this->name(insideWith() ? OP_SET_NAME : OP_STORE_GLOBAL, name, line);
    }
}

void CodeGenerator::requireReference(SyntaxNode* target, uint32_t line) {
    uint32_t kind = target->kind;
    if (kind != kNodeIdentifier && kind != kNodeMember && kind != kNodeIndex) {
        compileError(ctx_, line, "%s", kMsgInvalidAssignmentTarget);
    }
}

// The current value of an assignable target.
void CodeGenerator::loadTarget(SyntaxNode* target) {
    expression(target);
}

// Stores the value on top of the stack into the target, consuming it. The object and index of
// a property or element are evaluated again here.
void CodeGenerator::storeTarget(SyntaxNode* target, uint32_t line) {
    switch (target->kind) {
        case kNodeIdentifier:
            identifierStore(target->a.text, line);
            return;
        case kNodeMember:
            expression(target->b.node);
            name(OP_SET_PROPERTY, target->a.text, line);
            return;
        case kNodeIndex:
            expression(target->a.node);
            expression(target->b.node);
            op(OP_SET_ELEMENT, line);
            return;
        default:
            compileError(ctx_, line, "%s", kMsgInvalidAssignmentTarget);
    }
}

void CodeGenerator::binaryOperator(uint32_t token, uint32_t line) {
    uint8_t opcode;
    switch (token) {
        case '|':
        case kTokOrAssign:
            opcode = OP_BIT_OR;
            break;
        case '^':
        case kTokXorAssign:
            opcode = OP_BIT_XOR;
            break;
        case '&':
        case kTokAndAssign:
            opcode = OP_BIT_AND;
            break;
        case kTokEq:
            opcode = OP_EQ;
            break;
        case kTokNe:
            opcode = OP_NE;
            break;
        case kTokStrictEq:
            opcode = OP_STRICT_EQ;
            break;
        case kTokStrictNe:
            opcode = OP_STRICT_NE;
            break;
        case '<':
            opcode = OP_LT;
            break;
        case '>':
            opcode = OP_GT;
            break;
        case kTokLe:
            opcode = OP_LE;
            break;
        case kTokGe:
            opcode = OP_GE;
            break;
        case kTokShl:
        case kTokShlAssign:
            opcode = OP_SHL;
            break;
        case kTokShr:
        case kTokShrAssign:
            opcode = OP_SHR;
            break;
        case kTokUshr:
        case kTokUshrAssign:
            opcode = OP_USHR;
            break;
        case '*':
        case kTokMulAssign:
            opcode = OP_MUL;
            break;
        case '/':
        case kTokDivAssign:
            opcode = OP_DIV;
            break;
        case '%':
        case kTokModAssign:
            opcode = OP_MOD;
            break;
        case '+':
        case kTokAddAssign:
            opcode = OP_ADD;
            break;
        default:
            opcode = OP_SUB;
            break;
    }
    op(opcode, line);
}

void CodeGenerator::assignment(SyntaxNode* node) {
    uint32_t line = node->line;
    SyntaxNode* target = node->c.node;
    requireReference(target, line);
    if (node->a.word == '=') {
        expression(node->d.node);
    } else {
        loadTarget(target);
        expression(node->d.node);
        binaryOperator(node->a.word, line);
    }
    op(OP_DUP, line);
    storeTarget(target, line);
}

void CodeGenerator::unary(SyntaxNode* node) {
    uint32_t line = node->line;
    SyntaxNode* operand = node->b.node;
    switch (node->a.word) {
        case '!':
            expression(operand);
            op(OP_NOT, line);
            return;
        case '-':
            expression(operand);
            op(OP_NEGATE, line);
            return;
        case '+':
            expression(operand);
            return;
        case '~':
            expression(operand);
            emit(Instruction::pushInteger(-1, line));
            op(OP_BIT_XOR, line);
            return;
        case kTokTypeof:
            expression(operand);
            op(OP_TYPEOF, line);
            return;
        case kTokVoid:
            expression(operand);
            op(OP_POP, line);
            op(OP_PUSH_UNDEFINED, line);
            return;
        case kTokDelete:
            switch (operand->kind) {
                case kNodeMember:
                    expression(operand->b.node);
                    name(OP_DELETE_PROPERTY, operand->a.text, line);
                    return;
                case kNodeIndex:
                    expression(operand->a.node);
                    expression(operand->b.node);
                    op(OP_DELETE_ELEMENT, line);
                    return;
                case kNodeIdentifier:
                    op(OP_PUSH_NULL, line);
                    name(OP_DELETE_NAME, operand->a.text, line);
                    return;
                default:
                    // Deleting something that is not a reference deletes nothing and is true.
                    expression(operand);
                    op(OP_POP, line);
                    op(OP_PUSH_TRUE, line);
                    return;
            }
        case kTokIncrement:
        case kTokDecrement:
            requireReference(operand, line);
            loadTarget(operand);
            op(OP_PUSH_1, line);
            op(node->a.word == kTokIncrement ? OP_ADD : OP_SUB, line);
            op(OP_DUP, line);
            storeTarget(operand, line);
            return;
        default:
            expression(operand);
            return;
    }
}

void CodeGenerator::postfix(SyntaxNode* node) {
    uint32_t line = node->line;
    SyntaxNode* operand = node->b.node;
    requireReference(operand, line);
    loadTarget(operand);
    op(OP_DUP, line);
    op(OP_PUSH_1, line);
    op(node->a.word == kTokIncrement ? OP_ADD : OP_SUB, line);
    storeTarget(operand, line);
}

void CodeGenerator::call(SyntaxNode* node) {
    uint32_t line = node->line;
    int64_t argc = node->a.word;
    for (SyntaxNode* a = node->c.node; a; a = a->next) expression(a);  // last argument first
    pushCount(argc, line);
    SyntaxNode* callee = node->b.node;
    if (callee->kind == kNodeIdentifier) {
        const char* calleeName = callee->a.text;
        if (!resolve(calleeName) && insideWith()) {
            // Inside `with` the callee's global value is pushed and the scopes are asked first.
            name(OP_GET_NAME, calleeName, line);
            name(OP_CALL_NAME, calleeName, line);
        } else {
            identifierLoad(calleeName, callee->line);
            op(OP_CALL, line);
        }
    } else if (callee->kind == kNodeMember) {
        expression(callee->b.node);
        name(OP_CALL_METHOD, callee->a.text, line);
    } else {
        expression(callee);
        op(OP_CALL, line);
    }
    collapse(argc + 2, line);
}

void CodeGenerator::construct(SyntaxNode* node) {
    uint32_t line = node->line;
    int64_t argc = node->a.word;
    for (SyntaxNode* a = node->c.node; a; a = a->next) expression(a);
    pushCount(argc, line);
    expression(node->b.node);
    op(OP_NEW, line);
    op(OP_SWAP, line);
    collapse(argc + 2, line);
}

void CodeGenerator::arrayLiteral(SyntaxNode* node) {
    uint32_t line = node->line;
    int64_t n = node->a.word;
    for (SyntaxNode* item = node->b.node; item; item = item->next) {
        if (item->kind == kNodeEmpty) {
            op(OP_PUSH_UNDEFINED, item->line);
        } else {
            expression(item);
        }
    }
    // A negative count tells the constructor that the items are the elements.
    op(OP_PUSH_INT, line, static_cast<int32_t>(-n));
    name(OP_LOAD_GLOBAL, "Array", line);
    op(OP_NEW, line);
    op(OP_SWAP, line);
    collapse(n + 2, line);
}

void CodeGenerator::objectLiteral(SyntaxNode* node) {
    uint32_t line = node->line;
    op(OP_PUSH_0, line);
    name(OP_LOAD_GLOBAL, "Object", line);
    op(OP_NEW, line);
    op(OP_SWAP, line);
    op(OP_COLLAPSE, line, 2);
    // Properties come last written first, so the first of two equal keys is stored last.
    for (SyntaxNode* p = node->b.node; p; p = p->next) {
        uint32_t pline = p->line;
        op(OP_DUP, pline);
        expression(p->c.node);
        op(OP_SWAP, pline);
        switch (p->a.word) {
            case kTokIdentifier:
                name(OP_SET_PROPERTY, p->b.text, pline);
                break;
            case kTokString:
                emit(Instruction::pushString(std::string_view(p->b.text, p->d.word), pline));
                op(OP_SET_ELEMENT, pline);
                break;
            default:
                pushCount(static_cast<int32_t>(p->b.integer), pline);
                op(OP_SET_ELEMENT, pline);
                break;
        }
    }
}

void CodeGenerator::expression(SyntaxNode* node) {
    if (!node) return;
    uint32_t line = node->line;
    switch (node->kind) {
        case kNodeComma:
            expression(node->a.node);
            op(OP_POP, line);
            expression(node->b.node);
            return;
        case kNodeAssign:
            assignment(node);
            return;
        case kNodeConditional: {
            int32_t elseLabel = newLabel(), end = newLabel();
            expression(node->a.node);
            jumpIfFalse(node->a.node, elseLabel, line);
            expression(node->b.node);
            jump(OP_JUMP, end, line);
            placeLabel(elseLabel);
            expression(node->c.node);
            placeLabel(end);
            return;
        }
        case kNodeLogical: {
            int32_t end = newLabel();
            expression(node->c.node);
            op(OP_DUP, line);
            if (node->a.word == kTokAndAnd) {
                jumpIfFalse(node->c.node, end, line);
            } else {
                jumpIfTrue(node->c.node, end, line);
            }
            op(OP_POP, line);
            expression(node->d.node);
            placeLabel(end);
            return;
        }
        case kNodeBitwise:
        case kNodeEquality:
        case kNodeRelational:
        case kNodeShift:
        case kNodeMultiplicative:
        case kNodeAdditive:
            expression(node->c.node);
            expression(node->d.node);
            binaryOperator(node->a.word, line);
            return;
        case kNodeThis:
            op(OP_LOAD_ARG, line, 0);
            return;
        case kNodeNull:
            op(OP_PUSH_NULL, line);
            return;
        case kNodeTrue:
            op(OP_PUSH_TRUE, line);
            return;
        case kNodeFalse:
            op(OP_PUSH_FALSE, line);
            return;
        case kNodeUndefined:
            op(OP_PUSH_UNDEFINED, line);
            return;
        case kNodeIdentifier:
            identifierLoad(node->a.text, line);
            return;
        case kNodeFloat:
            emit(Instruction::pushNumber(node->a.number, line));
            return;
        case kNodeInteger:
            if (node->a.integer >= 0 && node->a.integer <= 3) {
                pushCount(node->a.integer, line);
            } else {
                emit(Instruction::pushInteger(node->a.integer, line));
            }
            return;
        case kNodeString:
            emit(Instruction::pushString(std::string_view(node->a.text, node->b.word), line));
            return;
        case kNodeRegExp: {
            const RegExpLiteral* re = node->a.regexp;
            emit(Instruction::pushRegExp(std::string_view(re->pattern, re->length),
                                         static_cast<uint8_t>(re->flags), line));
            return;
        }
        case kNodeCall:
            call(node);
            return;
        case kNodeMember:
            expression(node->b.node);
            name(OP_GET_PROPERTY, node->a.text, line);
            return;
        case kNodeIndex:
            expression(node->a.node);
            expression(node->b.node);
            op(OP_GET_ELEMENT, line);
            return;
        case kNodeNew:
            construct(node);
            return;
        case kNodePostfix:
            postfix(node);
            return;
        case kNodeUnary:
            unary(node);
            return;
        case kNodeArray:
            arrayLiteral(node);
            return;
        case kNodeObject:
            objectLiteral(node);
            return;
        default:
            op(OP_PUSH_UNDEFINED, line);
            return;
    }
}

}  // namespace quill::compiler
