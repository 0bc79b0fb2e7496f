// File views of non-Windows builds: mmap, populated at once where the system can (one call
// instead of a page fault for every page).
#include <sys/mman.h>

#include "platform/file_map.h"

namespace quill::platform {

bool mapFile(std::FILE* file, size_t size, FileView* view) {
    *view = FileView();
    if (size == 0) return true;
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;
#endif
    void* data = mmap(nullptr, size, PROT_READ, flags, fileno(file), 0);
    if (data == MAP_FAILED) return false;
    view->data = static_cast<const char*>(data);
    view->size = size;
    return true;
}

void unmapFile(FileView* view) {
    if (view->data) munmap(const_cast<char*>(view->data), view->size);
    *view = FileView();
}

}  // namespace quill::platform
