// The file a packed executable is written to: counts the bytes and sums them for the PE header
// checksum as they pass, so that a large executable is never read back to be summed.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quill::project {

class OutputFile {
  public:
    explicit OutputFile(std::FILE* file) : file_(file) {}

    bool write(const void* data, size_t n);
    // Zero bytes up to `offset` (no-op when already there).
    bool padTo(uint64_t offset);
    uint64_t position() const { return position_; }
    // The PE checksum of everything written so far, taking the checksum field as zero (it is
    // written as zero and patched afterwards).
    uint32_t checksum() const;
    std::FILE* file() const { return file_; }

  private:
    std::FILE* file_;
    uint64_t position_ = 0;
    uint64_t sum_ = 0;     // 16-bit words added with their carries kept
    int pendingLow_ = -1;  // a byte waiting for its partner of the same word
};

}  // namespace quill::project
