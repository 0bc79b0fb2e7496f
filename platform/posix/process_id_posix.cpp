// The process id of non-Windows builds.
#include <unistd.h>

#include "platform/process_id.h"

namespace quill::platform {

uint32_t currentProcessId() {
    return static_cast<uint32_t>(getpid());
}

}  // namespace quill::platform
