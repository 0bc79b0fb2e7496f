// Writing with a running PE checksum: the one's-complement sum of the file's 16-bit words,
// folded to 16 bits, plus the file's length.
#include "projector/records/output_file.h"

#include <algorithm>

namespace quill::project {

bool OutputFile::write(const void* data, size_t n) {
    if (n == 0) return true;
    if (std::fwrite(data, 1, n, file_) != n) return false;
    auto p = static_cast<const uint8_t*>(data);
    size_t i = 0;
    if (pendingLow_ >= 0) {
        sum_ += uint32_t(pendingLow_) | uint32_t(p[0]) << 8;
        pendingLow_ = -1;
        i = 1;
    }
    uint64_t sum = sum_;
    for (; i + 1 < n; i += 2) sum += uint32_t(p[i]) | uint32_t(p[i + 1]) << 8;
    // Fold now and then so that the sum cannot overflow on huge files.
    sum_ = (sum & 0xFFFFFFFFu) + (sum >> 32);
    if (i < n) pendingLow_ = p[i];
    position_ += n;
    return true;
}

bool OutputFile::padTo(uint64_t offset) {
    static const uint8_t kZeros[4096] = {};
    while (position_ < offset) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(offset - position_, sizeof kZeros));
        if (!write(kZeros, step)) return false;
    }
    return true;
}

uint32_t OutputFile::checksum() const {
    uint64_t sum = sum_;
    if (pendingLow_ >= 0) sum += uint32_t(pendingLow_);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + position_);
}

}  // namespace quill::project
