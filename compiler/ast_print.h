// A compact printed form of syntax trees, for tests and for looking at what the parser built:
// S-expressions such as (expr (= x (+ 1 (call f a b)))). Lists print in source order, also the
// ones the tree keeps last-first (arguments, elements, properties).
#pragma once

#include <string>

#include "compiler/ast.h"
#include "compiler/compile_context.h"

namespace quill::compiler {

// One node and everything below it; "-" for null.
std::string printNode(const SyntaxNode* node);
// A statement list, items separated by one space.
std::string printStatements(const SyntaxNode* first);
// Every function definition in list order, then the top-level statements: one per line.
std::string printProgram(const CompileContext& ctx);

}  // namespace quill::compiler
