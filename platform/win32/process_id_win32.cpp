// The process id of Windows builds.
#include <windows.h>

#include "platform/process_id.h"

namespace quill::platform {

uint32_t currentProcessId() {
    return GetCurrentProcessId();
}

}  // namespace quill::platform
