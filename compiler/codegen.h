// The code generator: turns the parser's syntax tree into the instruction list of a module
// (every function definition, then `.main`), resolving identifiers to argument slots, local
// slots or names and laying out jumps through labels. The peephole passes run afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "compiler/compile_context.h"
#include "runtime/module.h"

namespace quill::compiler {

using InstructionList = std::vector<Instruction>;

// Emits the whole program of `ctx` (after parseProgram) into `out`.
void generateProgram(CompileContext& ctx, InstructionList& out);

// The change in stack depth an instruction causes (+1 per push, -1 per pop or store, ...).
int32_t stackEffect(const Instruction& in);

class CodeGenerator {
  public:
    CodeGenerator(CompileContext& ctx, InstructionList& out) : ctx_(ctx), out_(out) {}
    void program();

  private:
    enum class NameKind { kParameter = 1, kLocal = 2 };
    struct Binding {
        NameKind kind;
        int32_t slot;
        uint32_t line;
        uint32_t uses;
    };
    struct Scope {
        Scope* outer;
        int32_t nextSlot;
        std::unordered_map<std::string, Binding> names;
    };
    struct Frame {
        int32_t breakLabel = 0;
        int32_t continueLabel = 0;
        const char* label = nullptr;
        int32_t stackValues = 0;  // values the construct keeps on the stack
        int32_t withDepth = 0;
        int32_t tryDepth = 0;
    };

    // --- emission ---
    void emit(Instruction in) { out_.push_back(std::move(in)); }
    void op(uint8_t opcode, uint32_t line, int32_t operand = 0) {
        emit(Instruction::op(opcode, line, operand));
    }
    void name(uint8_t opcode, const char* identifier, uint32_t line) {
        emit(Instruction::name(opcode, identifier, line));
    }
    void jump(uint8_t opcode, int32_t target, uint32_t line) {
        emit(Instruction::jump(opcode, target, line));
    }
    void placeLabel(int32_t label) { emit(Instruction::label(label)); }
    int32_t newLabel() { return nextLabel_++; }
    void pushCount(int64_t n, uint32_t line);
    void collapse(int64_t n, uint32_t line);
    void drop(int64_t n, uint32_t line);
    void jumpIfFalse(SyntaxNode* condition, int32_t target, uint32_t line);
    void jumpIfTrue(SyntaxNode* condition, int32_t target, uint32_t line);

    // --- scopes ---
    void openScope();
    void closeScope();
    void declare(const char* name, NameKind kind, int32_t slot, uint32_t line);
    int32_t declareLocal(const char* name, uint32_t line);
    const Binding* resolve(const char* name);
    bool insideWith() const;

    // --- functions and statements ---
    void function(SyntaxNode* fn);
    void mainCode();
    void statementList(SyntaxNode* first);
    void statement(SyntaxNode* node);
    void varStatement(SyntaxNode* node);
    void ifStatement(SyntaxNode* node);
    void whileStatement(SyntaxNode* node, const char* label);
    void doWhileStatement(SyntaxNode* node, const char* label);
    void forStatement(SyntaxNode* node, const char* label);
    void forInStatement(SyntaxNode* node, const char* label);
    void switchStatement(SyntaxNode* node);
    void withStatement(SyntaxNode* node);
    void labelStatement(SyntaxNode* node);
    void jumpStatement(SyntaxNode* node, bool isBreak);
    void returnStatement(SyntaxNode* node);
    void tryStatement(SyntaxNode* node);
    void innerFunction(SyntaxNode* node);

    // --- expressions ---
    void expression(SyntaxNode* node);
    void identifierLoad(const char* name, uint32_t line);
    void identifierStore(const char* name, uint32_t line);
    void loadTarget(SyntaxNode* target);
    void storeTarget(SyntaxNode* target, uint32_t line);
    void requireReference(SyntaxNode* target, uint32_t line);
    void assignment(SyntaxNode* node);
    void unary(SyntaxNode* node);
    void postfix(SyntaxNode* node);
    void call(SyntaxNode* node);
    void construct(SyntaxNode* node);
    void arrayLiteral(SyntaxNode* node);
    void objectLiteral(SyntaxNode* node);
    void binaryOperator(uint32_t token, uint32_t line);

    // --- slot counting ---
    static int32_t localNeed(SyntaxNode* first);
    static int32_t directCount(SyntaxNode* node);
    static int32_t nestedCount(SyntaxNode* node);
    static int32_t varCount(SyntaxNode* node);

    CompileContext& ctx_;
    InstructionList& out_;
    int32_t nextLabel_ = 1;
    Scope* scope_ = nullptr;  // the innermost of scopes_
    std::vector<std::unique_ptr<Scope>> scopes_;
    std::vector<Frame> frames_;
    std::string functionName_;
};

}  // namespace quill::compiler
