// The byte streams the records are read from and written to: an in-memory buffer (a resource,
// a registry value) or an open file (a settings file named on the command line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace quill::project {

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // Reads up to `n` bytes; fewer only at the end of the data.
    virtual size_t read(void* out, size_t n) = 0;
    // Appends `n` bytes; false when they could not all be written.
    virtual bool write(const void* data, size_t n) = 0;
};

// Reads from a buffer it does not own, or collects what is written into a buffer of its own.
class MemoryStream final : public ByteStream {
  public:
    MemoryStream() = default;
    MemoryStream(const uint8_t* data, size_t size) : view_(data), size_(size) {}
    explicit MemoryStream(const std::vector<uint8_t>& data)
        : view_(data.data()), size_(data.size()) {}

    size_t read(void* out, size_t n) override;
    bool write(const void* data, size_t n) override;

    // What has been written.
    const std::vector<uint8_t>& bytes() const { return written_; }
    std::vector<uint8_t> takeBytes() { return std::move(written_); }
    size_t position() const { return position_; }

  private:
    const uint8_t* view_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
    std::vector<uint8_t> written_;
};

// Over a C stream the caller opened in binary mode and closes.
class StdioStream final : public ByteStream {
  public:
    explicit StdioStream(std::FILE* file) : file_(file) {}
    size_t read(void* out, size_t n) override;
    bool write(const void* data, size_t n) override;

  private:
    std::FILE* file_;
};

}  // namespace quill::project
