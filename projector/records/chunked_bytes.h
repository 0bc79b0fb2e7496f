// A growing byte buffer kept in pieces: appending never copies what is already held, so a large
// packed resource costs its own size and no more while it is built and written out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quill::project {

class ChunkedBytes {
  public:
    ChunkedBytes() = default;
    explicit ChunkedBytes(const std::vector<uint8_t>& bytes) { append(bytes.data(), bytes.size()); }

    void append(const uint8_t* data, size_t n);
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Overwrites bytes already appended (a header patched at the end).
    void overwrite(size_t offset, const uint8_t* data, size_t n);

    // Calls `visit(pointer, length)` for each piece, in order, until it returns false.
    template <typename Visit>
    bool forEachPiece(Visit visit) const {
        for (const std::vector<uint8_t>& chunk : chunks_) {
            if (!visit(chunk.data(), chunk.size())) return false;
        }
        return true;
    }

    std::vector<uint8_t> flatten() const;
    bool operator==(const ChunkedBytes& other) const { return flatten() == other.flatten(); }

  private:
    std::vector<std::vector<uint8_t>> chunks_;
    size_t size_ = 0;
};

}  // namespace quill::project
