// Bytes read at arbitrary offsets: an executable in memory (the packer's stub, a fuzz input) or
// on disk (an executable being unpacked, whose movies need not all fit in memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace quill::project {

class RandomAccessSource {
  public:
    virtual ~RandomAccessSource() = default;
    virtual uint64_t size() const = 0;
    // All `n` bytes at `offset`, or false.
    virtual bool readAt(uint64_t offset, void* out, size_t n) const = 0;
};

class MemorySource final : public RandomAccessSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MemorySource(const std::vector<uint8_t>& data)
        : data_(data.data()), size_(data.size()) {}
    uint64_t size() const override { return size_; }
    bool readAt(uint64_t offset, void* out, size_t n) const override;
    const uint8_t* data() const { return data_; }

  private:
    const uint8_t* data_;
    size_t size_;
};

// Over a C stream opened in binary mode, which the caller keeps open and closes.
class FileSource final : public RandomAccessSource {
  public:
    explicit FileSource(std::FILE* file);
    uint64_t size() const override { return size_; }
    bool readAt(uint64_t offset, void* out, size_t n) const override;

  private:
    std::FILE* file_;
    uint64_t size_ = 0;
};

// Little-endian helpers over byte buffers.
inline uint16_t loadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t loadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void storeU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace quill::project
