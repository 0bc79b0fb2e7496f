// Memory and file sources for random-access reading.
#include "projector/records/random_access.h"

#include <cstring>

#include "platform/file_io.h"

namespace quill::project {

bool MemorySource::readAt(uint64_t offset, void* out, size_t n) const {
    if (offset > size_ || n > size_ - offset) return false;
    if (n > 0) std::memcpy(out, data_ + offset, n);
    return true;
}

FileSource::FileSource(std::FILE* file) : file_(file) {
    int64_t length = platform::fileLength(file);
    size_ = length < 0 ? 0 : static_cast<uint64_t>(length);
}

bool FileSource::readAt(uint64_t offset, void* out, size_t n) const {
    if (offset > size_ || n > size_ - offset) return false;
    if (n == 0) return true;
    if (!platform::seekFile(file_, static_cast<int64_t>(offset), SEEK_SET)) return false;
    return std::fread(out, 1, n, file_) == n;
}

}  // namespace quill::project
