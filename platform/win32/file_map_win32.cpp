// File views of Windows builds: a read-only file mapping of the C stream's file handle.
#include <io.h>
#include <windows.h>

#include "platform/file_map.h"

namespace quill::platform {

bool mapFile(std::FILE* file, size_t size, FileView* view) {
    *view = FileView();
    if (size == 0) return true;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return false;
    auto length = static_cast<unsigned long long>(size);
    HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, DWORD(length >> 32),
                                        DWORD(length), nullptr);
    if (!mapping) return false;
    void* data = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
    if (!data) {
        CloseHandle(mapping);
        return false;
    }
    view->data = static_cast<const char*>(data);
    view->size = size;
    view->handle = mapping;
    return true;
}

void unmapFile(FileView* view) {
    if (view->data) UnmapViewOfFile(view->data);
    if (view->handle) CloseHandle(static_cast<HANDLE>(view->handle));
    *view = FileView();
}

}  // namespace quill::platform
