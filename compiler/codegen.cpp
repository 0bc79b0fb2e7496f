// Code generation for functions, scopes and statements: prologues, the `arguments` object,
// local slots, loops, `switch`, `with`, labels, `break`/`continue` with their clean-up, and
// `try` with multiple and conditional `catch` clauses and `finally`.
#include "compiler/codegen.h"

#include <algorithm>
#include <cstring>

#include "compiler/diagnostics.h"
#include "compiler/messages.h"

namespace quill::compiler {

namespace {

// Operand fields of i8 instructions hold at most this many slots per instruction.
constexpr int64_t kMaxByteOperand = 127;

}  // namespace

void generateProgram(CompileContext& ctx, InstructionList& out) {
    CodeGenerator generator(ctx, out);
    generator.program();
}

void CodeGenerator::program() {
    for (SyntaxNode* fn = ctx_.functions.first; fn; fn = fn->next) function(fn);
    mainCode();
}

// ---------------------------------------------------------------------------------------------
// Emission helpers.

void CodeGenerator::pushCount(int64_t n, uint32_t line) {
    static constexpr uint8_t kSmall[] = {OP_PUSH_0, OP_PUSH_1, OP_PUSH_2, OP_PUSH_3};
    if (n >= 0 && n <= 3) {
        op(kSmall[n], line);
    } else {
        op(OP_PUSH_INT, line, static_cast<int32_t>(n));
    }
}

// COLLAPSE and DROP take a byte; longer runs are split, which removes the same slots.
void CodeGenerator::collapse(int64_t n, uint32_t line) {
    while (n > kMaxByteOperand) {
        op(OP_COLLAPSE, line, int32_t(kMaxByteOperand));
        n -= kMaxByteOperand;
    }
    if (n > 0) op(OP_COLLAPSE, line, int32_t(n));
}

void CodeGenerator::drop(int64_t n, uint32_t line) {
    if (n == 1) {
        op(OP_POP, line);
        return;
    }
    while (n > kMaxByteOperand) {
        op(OP_DROP, line, int32_t(kMaxByteOperand));
        n -= kMaxByteOperand;
    }
    if (n > 0) op(OP_DROP, line, int32_t(n));
}

void CodeGenerator::jumpIfFalse(SyntaxNode* condition, int32_t target, uint32_t line) {
    jump(condition->staticType == 2 ? OP_JUMP_IF_ZERO : OP_JUMP_IF_FALSE, target, line);
}

void CodeGenerator::jumpIfTrue(SyntaxNode* condition, int32_t target, uint32_t line) {
    jump(condition->staticType == 2 ? OP_JUMP_IF_NONZERO : OP_JUMP_IF_TRUE, target, line);
}

// ---------------------------------------------------------------------------------------------
// Scopes.

void CodeGenerator::openScope() {
    scopes_.push_back(std::make_unique<Scope>(Scope{scope_, scope_ ? scope_->nextSlot : 0, {}}));
    scope_ = scopes_.back().get();
}

void CodeGenerator::closeScope() {
    scope_ = scope_->outer;
    scopes_.pop_back();
}

void CodeGenerator::declare(const char* name, NameKind kind, int32_t slot, uint32_t line) {
    auto it = scope_->names.find(name);
    if (it != scope_->names.end()) {
        if (it->second.kind == kind) return;  // the same kind keeps the first declaration
        it->second.kind = kind;
        it->second.slot = slot;
        it->second.line = line;
        return;
    }
    scope_->names.emplace(name, Binding{kind, slot, line, 0});
}

int32_t CodeGenerator::declareLocal(const char* name, uint32_t line) {
    auto it = scope_->names.find(name);
    if (it != scope_->names.end() && it->second.kind == NameKind::kLocal) return it->second.slot;
    int32_t slot = scope_->nextSlot++;
    declare(name, NameKind::kLocal, slot, line);
    return slot;
}

const CodeGenerator::Binding* CodeGenerator::resolve(const char* name) {
    for (Scope* s = scope_; s; s = s->outer) {
        auto it = s->names.find(name);
        if (it != s->names.end()) {
            it->second.uses++;
            return &it->second;
        }
    }
    return nullptr;
}

bool CodeGenerator::insideWith() const {
    for (const Frame& f : frames_) {
        if (f.withDepth > 0) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Local slot counting: what RESERVE_LOCALS reserves. Sibling scopes share slots, so a list
// needs its direct declarations plus the largest need of any one nested construct.

int32_t CodeGenerator::varCount(SyntaxNode* node) {
    if (!node || node->kind != kNodeVar || node->a.word) return 0;
    return static_cast<int32_t>(node->b.word);
}

int32_t CodeGenerator::localNeed(SyntaxNode* first) {
    int32_t direct = 0, nested = 0;
    for (SyntaxNode* s = first; s; s = s->next) {
        direct += directCount(s);
        nested = std::max(nested, nestedCount(s));
    }
    return direct + nested;
}

int32_t CodeGenerator::directCount(SyntaxNode* node) {
    switch (node->kind) {
        case kNodeVar:
            return varCount(node);
        case kNodeIf:
            return varCount(node->b.node) + varCount(node->c.node);
        case kNodeWhile:
        case kNodeWith:
            return varCount(node->b.node);
        case kNodeDoWhile:
            return varCount(node->b.node);
        case kNodeFor:
            return varCount(node->e.node);
        case kNodeForIn:
            return varCount(node->d.node);
        case kNodeTry: {
            int32_t n = varCount(node->c.node) + varCount(node->e.node);
            for (SyntaxNode* c = node->d.node; c; c = c->next) n += varCount(c->f.node);
            return n + (node->d.node ? 1 : 0);
        }
        case kNodeSwitch: {
            int32_t n = 0;
            for (SyntaxNode* c = node->c.node; c; c = c->next) {
                for (SyntaxNode* s = c->b.node; s; s = s->next) n += varCount(s);
            }
            return n;
        }
        default:
            return 0;
    }
}

int32_t CodeGenerator::nestedCount(SyntaxNode* node) {
    if (!node) return 0;
    switch (node->kind) {
        case kNodeBlock:
            return localNeed(node->a.node);
        case kNodeIf:
            return std::max(nestedCount(node->b.node), nestedCount(node->c.node));
        case kNodeWhile:
        case kNodeDoWhile:
        case kNodeWith:
        case kNodeLabel:
            return nestedCount(node->b.node);
        case kNodeFor:
            return nestedCount(node->e.node) + (node->a.node ? int32_t(node->f.word) : 0);
        case kNodeForIn:
            return nestedCount(node->d.node) + (node->a.node ? 1 : 0);
        case kNodeTry: {
            int32_t n = std::max(nestedCount(node->c.node), nestedCount(node->e.node));
            for (SyntaxNode* c = node->d.node; c; c = c->next)
                n = std::max(n, nestedCount(c->f.node));
            return n;
        }
        case kNodeSwitch: {
            int32_t n = 0;
            for (SyntaxNode* c = node->c.node; c; c = c->next) {
                for (SyntaxNode* s = c->b.node; s; s = s->next) n = std::max(n, nestedCount(s));
            }
            return n;
        }
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Functions and the main code.

void CodeGenerator::function(SyntaxNode* fn) {
    functionName_ = fn->c.text;
    frames_.assign(1, Frame{});
    openScope();
    int32_t params = 0;
    for (SyntaxNode* p = fn->e.node; p; p = p->next) {
        declare(p->a.text, NameKind::kParameter, 2 + params, p->line);
        ++params;
    }
    if (params + 2 > kMaxByteOperand) {
        compileError(ctx_, fn->line, "%s", kMsgTooManyParameters);
    }
    emit(Instruction::functionStart(fn->c.text, fn->line));
    uint32_t bodyLine = fn->a.word;
    op(OP_LOAD_ARG, bodyLine, 1);
    op(OP_ADD_TWO, bodyLine);
    op(OP_ADJUST_ARGS, bodyLine, params + 2);
    bool usesArguments = fn->b.word != 0;
    int64_t locals = int64_t(localNeed(fn->f.node)) + (usesArguments ? 1 : 0);
    if (locals > 32767) compileError(ctx_, fn->line, "%s", kMsgTooManyLocals);
    if (locals > 0) op(OP_RESERVE_LOCALS, bodyLine, int32_t(locals));
    if (usesArguments) {
        int32_t s = declareLocal("arguments", bodyLine);
        uint32_t line = bodyLine;
        op(OP_PUSH_0, line);
        name(OP_LOAD_GLOBAL, "Object", line);
        op(OP_NEW, line);
        op(OP_SWAP, line);
        op(OP_COLLAPSE, line, 2);
        op(OP_STORE_LOCAL, line, s);
        int32_t loop = newLabel(), done = newLabel();
        op(OP_PUSH_0, line);
        placeLabel(loop);
        op(OP_DUP, line);
        op(OP_LOAD_ARG, line, 1);
        op(OP_GE, line);
        jump(OP_JUMP_IF_NONZERO, done, line);
        op(OP_DUP, line);
        op(OP_DUP, line);
        op(OP_ADD_TWO, line);
        op(OP_GET_ARG_AT, line);
        op(OP_SWAP, line);
        op(OP_LOAD_LOCAL, line, s);
        op(OP_SWAP, line);
        op(OP_SET_ELEMENT, line);
        op(OP_INCREMENT, line);
        jump(OP_JUMP, loop, line);
        placeLabel(done);
        op(OP_LOAD_LOCAL, line, s);
        name(OP_SET_PROPERTY, "length", line);
        name(OP_LOAD_GLOBAL, fn->c.text, line);
        op(OP_LOAD_LOCAL, line, s);
        name(OP_SET_PROPERTY, "callee", line);
    }
    uint32_t lastLine = fn->line;
    for (SyntaxNode* s = fn->f.node; s; s = s->next) {
        statement(s);
        lastLine = s->line;
    }
    op(OP_PUSH_UNDEFINED, lastLine);
    op(OP_RETURN, lastLine);
    closeScope();
}

void CodeGenerator::mainCode() {
    SyntaxNode* first = ctx_.statements.first;
    if (!first) return;
    functionName_ = ".main";
    frames_.assign(1, Frame{});
    openScope();
    emit(Instruction::functionStart(".main", first->line));
    int32_t locals = localNeed(first);
    if (locals > 32767) compileError(ctx_, first->line, "%s", kMsgTooManyLocals);
    if (locals > 0) op(OP_RESERVE_LOCALS, first->line, locals);
    uint32_t lastLine = first->line;
    for (SyntaxNode* s = first; s; s = s->next) {
        statement(s);
        lastLine = s->line;
    }
    // The value of a final expression statement is the script's result.
    if (!out_.empty() && out_.back().kind == Instruction::kOp && out_.back().opcode == OP_POP) {
        out_.pop_back();
    } else {
        op(OP_PUSH_UNDEFINED, lastLine);
    }
    closeScope();
}

// ---------------------------------------------------------------------------------------------
// Statements.

void CodeGenerator::statementList(SyntaxNode* first) {
    for (SyntaxNode* s = first; s; s = s->next) statement(s);
}

void CodeGenerator::statement(SyntaxNode* node) {
    if (!node) return;
    switch (node->kind) {
        case kNodeExpression:
            expression(node->a.node);
            op(OP_POP, node->line);
            return;
        case kNodeBlock:
            openScope();
            statementList(node->a.node);
            closeScope();
            return;
        case kNodeVar:
            varStatement(node);
            return;
        case kNodeIf:
            ifStatement(node);
            return;
        case kNodeWhile:
            whileStatement(node, nullptr);
            return;
        case kNodeDoWhile:
            doWhileStatement(node, nullptr);
            return;
        case kNodeFor:
            forStatement(node, nullptr);
            return;
        case kNodeForIn:
            forInStatement(node, nullptr);
            return;
        case kNodeSwitch:
            switchStatement(node);
            return;
        case kNodeWith:
            withStatement(node);
            return;
        case kNodeLabel:
            labelStatement(node);
            return;
        case kNodeBreak:
            jumpStatement(node, true);
            return;
        case kNodeContinue:
            jumpStatement(node, false);
            return;
        case kNodeReturn:
            returnStatement(node);
            return;
        case kNodeThrow:
            expression(node->a.node);
            op(OP_THROW, node->line);
            return;
        case kNodeTry:
            tryStatement(node);
            return;
        case kNodeInnerFunction:
            innerFunction(node);
            return;
        default:
            return;  // the empty statement
    }
}

void CodeGenerator::varStatement(SyntaxNode* node) {
    bool global = node->a.word != 0;
    for (SyntaxNode* d = node->c.node; d; d = d->next) {
        if (global) {
            if (d->b.node) {
                expression(d->b.node);
                name(OP_STORE_GLOBAL, d->a.text, d->line);
            }
            continue;
        }
        int32_t slot = declareLocal(d->a.text, d->line);
        if (d->b.node) {
            expression(d->b.node);
            op(OP_STORE_LOCAL, d->line, slot);
        }
    }
}

void CodeGenerator::ifStatement(SyntaxNode* node) {
    int32_t elseLabel = newLabel(), end = newLabel();
    expression(node->a.node);
    jumpIfFalse(node->a.node, elseLabel, node->line);
    statement(node->b.node);
    jump(OP_JUMP, end, node->line);
    placeLabel(elseLabel);
    statement(node->c.node);
    placeLabel(end);
}

void CodeGenerator::whileStatement(SyntaxNode* node, const char* label) {
    int32_t top = newLabel(), end = newLabel();
    placeLabel(top);
    expression(node->a.node);
    jumpIfFalse(node->a.node, end, node->line);
    frames_.push_back(Frame{end, top, label});
    statement(node->b.node);
    frames_.pop_back();
    jump(OP_JUMP, top, node->line);
    placeLabel(end);
}

void CodeGenerator::doWhileStatement(SyntaxNode* node, const char* label) {
    int32_t top = newLabel(), cont = newLabel(), end = newLabel();
    placeLabel(top);
    frames_.push_back(Frame{end, cont, label});
    statement(node->b.node);
    frames_.pop_back();
    placeLabel(cont);
    expression(node->a.node);
    jumpIfTrue(node->a.node, top, node->line);
    placeLabel(end);
}

void CodeGenerator::forStatement(SyntaxNode* node, const char* label) {
    bool scoped = node->a.node != nullptr;
    if (scoped) {
        openScope();
        for (SyntaxNode* d = node->a.node; d; d = d->next) {
            int32_t slot = declareLocal(d->a.text, d->line);
            if (d->b.node) {
                expression(d->b.node);
                op(OP_STORE_LOCAL, d->line, slot);
            }
        }
    } else if (node->b.node) {
        expression(node->b.node);
        op(OP_POP, node->line);
    }
    int32_t top = newLabel(), cont = newLabel(), end = newLabel();
    placeLabel(top);
    if (node->c.node) {
        expression(node->c.node);
        jumpIfFalse(node->c.node, end, node->line);
    } else {
        op(OP_PUSH_TRUE, node->line);
        jump(OP_JUMP_IF_ZERO, end, node->line);
    }
    frames_.push_back(Frame{end, cont, label});
    statement(node->e.node);
    frames_.pop_back();
    placeLabel(cont);
    if (node->d.node) {
        expression(node->d.node);
        op(OP_POP, node->line);
    }
    jump(OP_JUMP, top, node->line);
    placeLabel(end);
    if (scoped) closeScope();
}

void CodeGenerator::forInStatement(SyntaxNode* node, const char* label) {
    bool scoped = node->a.node != nullptr;
    int32_t slot = 0;
    if (scoped) {
        openScope();
        SyntaxNode* d = node->a.node;
        slot = declareLocal(d->a.text, d->line);
        if (d->b.node) {
            expression(d->b.node);
            op(OP_STORE_LOCAL, d->line, slot);
        }
    }
    uint32_t line = node->line;
    expression(node->c.node);
    op(OP_DUP, line);
    op(OP_PUSH_0, line);
    op(OP_SWAP, line);
    op(OP_PUSH_0, line);
    int32_t loop = newLabel(), done = newLabel(), brk = newLabel(), cont = newLabel();
    placeLabel(loop);
    op(OP_ENUM_NEXT, line);
    jump(OP_JUMP_IF_ZERO, done, line);
    if (scoped) {
        op(OP_STORE_LOCAL, line, slot);
    } else {
        identifierStore(node->b.node->a.text, line);
    }
    // The object and the running index stay on the stack for the whole loop.
    Frame frame{brk, cont, label};
    frame.stackValues = 2;
    frames_.push_back(frame);
    statement(node->d.node);
    frames_.pop_back();
    placeLabel(cont);
    op(OP_PUSH_1, line);
    op(OP_ADD, line);
    op(OP_DUP, line);
    op(OP_MOVE, line, -3);
    op(OP_DUP, line);
    op(OP_MOVE, line, 4);
    op(OP_SWAP, line);
    jump(OP_JUMP, loop, line);
    placeLabel(done);
    op(OP_POP, line);
    placeLabel(brk);
    op(OP_DROP, line, 2);
    if (scoped) closeScope();
}

void CodeGenerator::switchStatement(SyntaxNode* node) {
    uint32_t line = node->line;
    expression(node->b.node);
    int32_t end = newLabel();
    Frame frame{end, 0, nullptr};
    frame.stackValues = 1;
    frames_.push_back(frame);

    std::vector<SyntaxNode*> clauses;
    for (SyntaxNode* c = node->c.node; c; c = c->next) clauses.push_back(c);
    size_t n = clauses.size();
    size_t defaultIndex = n;
    for (size_t i = 0; i < n; ++i) {
        if (!clauses[i]->a.node) defaultIndex = i;
    }
    std::vector<int32_t> test(n, 0), body(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 || !clauses[i]->a.node) test[i] = newLabel();
        if (i > 0) body[i] = newLabel();
    }
    auto failTarget = [&](size_t i) -> int32_t {
        if (i + 1 == n) {
            if (defaultIndex < n && defaultIndex != i) return test[defaultIndex];
            return end;
        }
        size_t next = i + 1;
        if (next == defaultIndex && next + 1 < n) return test[next + 1];
        return test[next];
    };
    for (size_t i = 0; i < n; ++i) {
        SyntaxNode* clause = clauses[i];
        if (!clause->a.node) {
            if (i == 0) {
                int32_t fail = failTarget(i);
                if (fail != end) jump(OP_JUMP, fail, clause->line);
            }
            placeLabel(test[i]);
        } else {
            if (i > 0) placeLabel(test[i]);
            op(OP_DUP, clause->line);
            expression(clause->a.node);
            op(OP_STRICT_EQ, clause->line);
            jump(OP_JUMP_IF_ZERO, failTarget(i), clause->line);
        }
        if (i > 0) placeLabel(body[i]);
        statementList(clause->b.node);
        jump(OP_JUMP, i + 1 < n ? body[i + 1] : end, clause->e.word);
    }
    frames_.pop_back();
    placeLabel(end);
    op(OP_POP, node->a.word ? node->a.word : line);
}

void CodeGenerator::withStatement(SyntaxNode* node) {
    expression(node->a.node);
    op(OP_PUSH_WITH, node->line);
    frames_.back().withDepth++;
    statement(node->b.node);
    frames_.back().withDepth--;
    op(OP_POP_WITH, node->line, 1);
}

void CodeGenerator::labelStatement(SyntaxNode* node) {
    const char* label = node->a.text;
    SyntaxNode* body = node->b.node;
    // A labelled loop carries the label itself, so `continue label` continues the loop (runs a
    // for loop's update, tests a do-while's condition) instead of restarting the statement.
    if (body) {
        switch (body->kind) {
            case kNodeWhile:
                whileStatement(body, label);
                return;
            case kNodeDoWhile:
                doWhileStatement(body, label);
                return;
            case kNodeFor:
                forStatement(body, label);
                return;
            case kNodeForIn:
                forInStatement(body, label);
                return;
            default:
                break;
        }
    }
    // Other labelled statements can be left with `break label`; `continue` passes them by and
    // finds the enclosing loop (continuing a statement that is not a loop has no meaning).
    int32_t end = newLabel();
    frames_.push_back(Frame{end, 0, label});
    statement(body);
    placeLabel(end);
    frames_.pop_back();
}

void CodeGenerator::jumpStatement(SyntaxNode* node, bool isBreak) {
    const char* label = node->a.text;
    size_t target = frames_.size();
    for (size_t i = frames_.size(); i-- > 0;) {
        const Frame& f = frames_[i];
        bool match = label ? (f.label && std::strcmp(f.label, label) == 0)
                           : (isBreak ? f.breakLabel != 0 : f.continueLabel != 0);
        if (match) {
            target = i;
            break;
        }
    }
    if (target == frames_.size() ||
        (isBreak ? frames_[target].breakLabel == 0 : frames_[target].continueLabel == 0)) {
        compileError(ctx_, node->line, "%s", isBreak ? kMsgInvalidBreak : kMsgInvalidContinue);
    }
    int32_t withs = 0, traps = 0, values = 0;
    for (size_t i = target; i < frames_.size(); ++i) {
        withs += frames_[i].withDepth;
        traps += frames_[i].tryDepth;
        // The target's own values are its business: a break lands on its clean-up, a continue
        // stays inside it.
        if (i > target) values += frames_[i].stackValues;
    }
    if (withs > 0) op(OP_POP_WITH, node->line, withs);
    if (traps > 0) op(OP_POP_TRAPS, node->line, traps);
    if (values > 0) drop(values, node->line);
    jump(OP_JUMP, isBreak ? frames_[target].breakLabel : frames_[target].continueLabel, node->line);
}

void CodeGenerator::returnStatement(SyntaxNode* node) {
    // The value is computed while the protected regions are still in force, so an error raised
    // by `return f();` inside `try` reaches its `catch`.
    if (node->a.node) {
        expression(node->a.node);
    } else {
        op(OP_PUSH_UNDEFINED, node->line);
    }
    int32_t traps = 0;
    for (const Frame& f : frames_) traps += f.tryDepth;
    if (traps > 0) op(OP_POP_TRAPS, node->line, traps);
    op(OP_RETURN, node->line);
}

// The pending exception travels under a flag: catch bodies run with [flag, exception] on the
// stack and the finally body with [exception or undefined, flag], so that `break` and `continue`
// out of them know exactly how many values to drop.
void CodeGenerator::tryStatement(SyntaxNode* node) {
    uint32_t line = node->line;
    int32_t finallyLabel = newLabel(), handler = newLabel();
    jump(OP_TRY, handler, line);
    frames_.back().tryDepth++;
    statement(node->c.node);
    frames_.back().tryDepth--;
    uint32_t tryEnd = node->a.word;
    op(OP_POP_TRAPS, tryEnd, 1);
    op(OP_PUSH_UNDEFINED, tryEnd);
    op(OP_PUSH_FALSE, tryEnd);
    jump(OP_JUMP, finallyLabel, tryEnd);
    placeLabel(handler);
    SyntaxNode* clause = node->d.node;
    if (!clause) {
        op(OP_PUSH_TRUE, line);
    } else {
        uint32_t catchLine = clause->line;
        int32_t catchFail = newLabel(), none = newLabel(), handled = newLabel();
        op(OP_PUSH_FALSE, catchLine);
        op(OP_SWAP, catchLine);
        jump(OP_TRY, catchFail, catchLine);
        frames_.back().tryDepth++;
        std::vector<SyntaxNode*> clauses;
        for (SyntaxNode* c = clause; c; c = c->next) clauses.push_back(c);
        std::vector<int32_t> entry(clauses.size());
        for (int32_t& e : entry) e = newLabel();
        for (size_t k = 0; k < clauses.size(); ++k) {
            SyntaxNode* c = clauses[k];
            int32_t next = k + 1 < clauses.size() ? entry[k + 1] : none;
            int32_t bodyLabel = newLabel();
            placeLabel(entry[k]);
            openScope();
            int32_t slot = declareLocal(c->b.text, c->line);
            op(OP_DUP, c->line);
            op(OP_STORE_LOCAL, c->line, slot);
            if (c->e.node) {
                int32_t condFail = newLabel();
                jump(OP_TRY, condFail, c->line);
                frames_.back().tryDepth++;
                expression(c->e.node);
                frames_.back().tryDepth--;
                op(OP_POP_TRAPS, c->line, 1);
                jumpIfFalse(c->e.node, next, c->line);
                jump(OP_JUMP, bodyLabel, c->line);
                placeLabel(condFail);
                op(OP_POP, c->line);
                jump(OP_JUMP, next, c->line);
            }
            placeLabel(bodyLabel);
            op(OP_SWAP, c->line);
            op(OP_POP, c->line);
            op(OP_PUSH_TRUE, c->line);
            op(OP_SWAP, c->line);
            Frame body;
            body.stackValues = 2;
            frames_.push_back(body);
            statement(c->f.node);
            frames_.pop_back();
            closeScope();
            jump(OP_JUMP, none, c->line);
        }
        uint32_t endLine = clause->a.word;
        placeLabel(none);
        frames_.back().tryDepth--;
        op(OP_POP_TRAPS, endLine, 1);
        op(OP_SWAP, endLine);
        jump(OP_JUMP_IF_NONZERO, handled, endLine);
        op(OP_PUSH_TRUE, endLine);
        jump(OP_JUMP, finallyLabel, endLine);
        placeLabel(handled);
        op(OP_PUSH_FALSE, endLine);  // the handled exception stays below as the filler
        jump(OP_JUMP, finallyLabel, endLine);
        placeLabel(catchFail);
        op(OP_COLLAPSE, endLine, 2);
        op(OP_PUSH_TRUE, endLine);
    }
    uint32_t lastLine = node->b.word;
    int32_t after = newLabel();
    placeLabel(finallyLabel);
    if (node->e.node) {
        Frame body;
        body.stackValues = 2;
        frames_.push_back(body);
        statement(node->e.node);
        frames_.pop_back();
    }
    jump(OP_JUMP_IF_ZERO, after, lastLine);
    op(OP_THROW, lastLine);
    placeLabel(after);
    op(OP_POP, lastLine);
}

void CodeGenerator::innerFunction(SyntaxNode* node) {
    name(OP_LOAD_GLOBAL, node->b.text, node->line);
    name(OP_LOAD_GLOBAL, node->a.text, node->line);
    name(OP_SET_PROPERTY, node->c.text, node->line);
}

}  // namespace quill::compiler
