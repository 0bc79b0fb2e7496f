// Read-only views of open files: a large file (a mail message of tens of megabytes) is parsed
// where it lies in the system's file cache instead of being copied into fresh memory first.
#pragma once

#include <cstddef>
#include <cstdio>

namespace quill::platform {

struct FileView {
    const char* data = nullptr;
    size_t size = 0;
    void* handle = nullptr;  // what the system needs to close the view
};

// Maps the first `size` bytes of the open file (which the caller has flushed). False when the
// system cannot map it; an empty file gives an empty view.
bool mapFile(std::FILE* file, size_t size, FileView* view);
void unmapFile(FileView* view);

}  // namespace quill::platform
