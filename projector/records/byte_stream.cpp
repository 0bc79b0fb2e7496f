// The in-memory and C-stream byte streams of the records.
#include "projector/records/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace quill::project {

size_t MemoryStream::read(void* out, size_t n) {
    size_t count = std::min(n, size_ - position_);
    if (count > 0) std::memcpy(out, view_ + position_, count);
    position_ += count;
    return count;
}

bool MemoryStream::write(const void* data, size_t n) {
    auto bytes = static_cast<const uint8_t*>(data);
    written_.insert(written_.end(), bytes, bytes + n);
    return true;
}

size_t StdioStream::read(void* out, size_t n) {
    return std::fread(out, 1, n, file_);
}

bool StdioStream::write(const void* data, size_t n) {
    return std::fwrite(data, 1, n, file_) == n;
}

}  // namespace quill::project
