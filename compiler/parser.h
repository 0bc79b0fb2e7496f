// The parser: recursive descent with one token of look-ahead over the lexer's tokens. It leaves
// the top-level statements and every function definition in the CompileContext for the code
// generator; the first syntax error stops the compilation (CompileError).
#pragma once

#include <cstdint>

#include "compiler/compile_context.h"

namespace quill::compiler {

// How deeply statements and expressions may nest (blocks, branches, brackets, operands, nested
// functions), and how tall any syntax tree may grow. Deeper input is the compile error
// "nesting too deep (more than 1000 levels)". The bound keeps the parser's native recursion,
// and any recursive walk of the tree, well inside a 1 MB stack.
constexpr uint32_t kMaxNestingDepth = 1000;

// Parses the whole input of `ctx` into ctx.statements and ctx.functions.
void parseProgram(CompileContext& ctx);

}  // namespace quill::compiler
