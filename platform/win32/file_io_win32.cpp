// File services of the Windows build: the C runtime's ANSI fopen, temporary files named by
// GetTempFileNameA in the user's temporary directory, 64-bit seeks and Win32 size calls on the
// handle beneath the C stream.
#include <io.h>
#include <windows.h>

#include <string>

#include "platform/file_io.h"

namespace quill::platform {
namespace {

HANDLE handleOf(std::FILE* file) {
    intptr_t h = _get_osfhandle(_fileno(file));
    return h == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(h);
}

}  // namespace

std::FILE* openFile(const char* ansiPath, const char* mode) {
    if (!ansiPath || !*ansiPath) return nullptr;
    return std::fopen(ansiPath, mode);
}

bool fileExists(const char* ansiPath) {
    if (!ansiPath || !*ansiPath) return false;
    return GetFileAttributesA(ansiPath) != INVALID_FILE_ATTRIBUTES;
}

std::FILE* createTempFile(std::string* nativePath) {
    char dir[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n > MAX_PATH) return nullptr;
    char name[MAX_PATH + 1];
    // Creates the empty file, so the name stays ours until it is deleted.
    if (GetTempFileNameA(dir, "qsf", 0, name) == 0) return nullptr;
    std::FILE* file = std::fopen(name, "w+b");
    if (!file) {
        DeleteFileA(name);
        return nullptr;
    }
    *nativePath = name;
    return file;
}

bool removeNativeFile(const std::string& nativePath) {
    return DeleteFileA(nativePath.c_str()) != 0;
}

bool seekFile(std::FILE* file, int64_t offset, int whence) {
    return _fseeki64(file, offset, whence) == 0;
}

int64_t tellFile(std::FILE* file) {
    return _ftelli64(file);
}

int64_t fileLength(std::FILE* file) {
    HANDLE h = handleOf(file);
    LARGE_INTEGER size;
    if (h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h, &size)) return -1;
    return size.QuadPart;
}

bool truncateFile(std::FILE* file, int64_t length) {
    if (length < 0 || std::fflush(file) != 0) return false;
    HANDLE h = handleOf(file);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER target;
    target.QuadPart = length;
    LARGE_INTEGER here;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    // SetEndOfFile cuts at the handle's own position; put it back afterwards so the C stream's
    // idea of the position stays true.
    if (!SetFilePointerEx(h, zero, &here, FILE_CURRENT)) return false;
    if (!SetFilePointerEx(h, target, nullptr, FILE_BEGIN)) return false;
    bool ok = SetEndOfFile(h) != 0;
    SetFilePointerEx(h, here, nullptr, FILE_BEGIN);
    return ok;
}

}  // namespace quill::platform
