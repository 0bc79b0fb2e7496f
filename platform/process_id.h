// The current process's id, which keeps names that must be unique across processes apart (MIME
// boundaries).
#pragma once

#include <cstdint>

namespace quill::platform {

uint32_t currentProcessId();

}  // namespace quill::platform
