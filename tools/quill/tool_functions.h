// The functions the quill tool gives scripts besides the engine's classes: `print`, which writes
// its arguments as UTF-8 to standard output, and on Windows `processMsg`, which dispatches the
// thread's waiting messages.
#pragma once

#include <span>

#include "runtime/embed.h"

namespace quill {

std::span<const HostRegistration> toolFunctions();

}  // namespace quill
