// Pieces grow with the buffer (4 KB up to 1 MB) so that small resources stay small.
#include "projector/records/chunked_bytes.h"

#include <algorithm>
#include <cstring>

namespace quill::project {
namespace {

constexpr size_t kSmallestPiece = 4096;
constexpr size_t kLargestPiece = 1 << 20;

}  // namespace

void ChunkedBytes::append(const uint8_t* data, size_t n) {
    while (n > 0) {
        if (chunks_.empty() || chunks_.back().size() == chunks_.back().capacity()) {
            size_t capacity = std::clamp(size_, kSmallestPiece, kLargestPiece);
            chunks_.emplace_back();
            chunks_.back().reserve(capacity);
        }
        std::vector<uint8_t>& last = chunks_.back();
        size_t step = std::min(n, last.capacity() - last.size());
        last.insert(last.end(), data, data + step);
        data += step;
        n -= step;
        size_ += step;
    }
}

void ChunkedBytes::overwrite(size_t offset, const uint8_t* data, size_t n) {
    for (std::vector<uint8_t>& chunk : chunks_) {
        if (n == 0) break;
        if (offset >= chunk.size()) {
            offset -= chunk.size();
            continue;
        }
        size_t step = std::min(n, chunk.size() - offset);
        std::memcpy(chunk.data() + offset, data, step);
        data += step;
        n -= step;
        offset = 0;
    }
}

std::vector<uint8_t> ChunkedBytes::flatten() const {
    std::vector<uint8_t> out;
    out.reserve(size_);
    for (const std::vector<uint8_t>& chunk : chunks_)
        out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

}  // namespace quill::project
