// File services of non-Windows builds: ANSI paths become UTF-8 file names, temporary files come
// from mkstemp in $TMPDIR (or /tmp), positions and sizes use the 64-bit off_t calls.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/ansi_codepage.h"
#include "platform/file_io.h"
#include "platform/utf8_text.h"

namespace quill::platform {
namespace {

std::string utf8Path(const char* ansiPath) {
    std::string bytes(ansiPath);
    std::u16string wide(bytes.size(), u'\0');
    wide.resize(ansiToWide(bytes.data(), bytes.size(), wide.data()));
    return utf16ToUtf8(wide);
}

}  // namespace

std::FILE* openFile(const char* ansiPath, const char* mode) {
    if (!ansiPath || !*ansiPath) return nullptr;
    std::FILE* file = std::fopen(utf8Path(ansiPath).c_str(), mode);
    // Windows refuses to open a folder as a file; a folder opened here for reading would give
    // an empty read instead of a failure.
    struct stat info;
    if (file && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool fileExists(const char* ansiPath) {
    if (!ansiPath || !*ansiPath) return false;
    struct stat info;
    return stat(utf8Path(ansiPath).c_str(), &info) == 0;
}

std::FILE* createTempFile(std::string* nativePath) {
    const char* dir = std::getenv("TMPDIR");
    std::string name = dir && *dir ? dir : "/tmp";
    if (name.back() != '/') name += '/';
    name += "qsfXXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        close(fd);
        unlink(name.c_str());
        return nullptr;
    }
    *nativePath = name;
    return file;
}

bool removeNativeFile(const std::string& nativePath) {
    return unlink(nativePath.c_str()) == 0;
}

bool seekFile(std::FILE* file, int64_t offset, int whence) {
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
}

int64_t tellFile(std::FILE* file) {
    return static_cast<int64_t>(ftello(file));
}

int64_t fileLength(std::FILE* file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

bool truncateFile(std::FILE* file, int64_t length) {
    if (length < 0 || std::fflush(file) != 0) return false;
    return ftruncate(fileno(file), static_cast<off_t>(length)) == 0;
}

}  // namespace quill::platform
