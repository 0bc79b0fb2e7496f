// The peephole passes run over every generated instruction list.
#pragma once

#include "compiler/codegen.h"

namespace quill::compiler {

void optimize(InstructionList& list);

}  // namespace quill::compiler
