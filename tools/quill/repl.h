// The interactive `quill` (no arguments, or `quill repl`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/embed.h"

namespace quill::tool {

struct ReplOptions {
    uint32_t settings = kDefaultCompileSettings;
    size_t maxHeap = 0;  // 0: no limit
};

// Reads entries from standard input until its end; always 0.
int replMain(const ReplOptions& options);

// Whether text that did not compile is only unfinished: an open bracket or comment, or a
// trailing operator or separator.
bool looksUnfinished(std::string_view text);

// Writes what went wrong in the last run to standard error (the tool's own format).
void reportFailure(ScriptEngine* engine);

}  // namespace quill::tool
