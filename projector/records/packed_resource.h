// The container around every packed resource: "SM", version 1, the unpacked size, the packed
// size, the CRC-32 of the unpacked data, then one zlib stream. Reading follows the projector's
// rules exactly; writing streams the data through deflate so that a large resource is never
// held uncompressed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <zlib.h>

#include "projector/records/byte_stream.h"
#include "projector/records/chunked_bytes.h"
#include "projector/records/record_errors.h"

namespace quill::project {

inline constexpr size_t kContainerHeaderSize = 16;

// Unpacks a container. On success `out` holds the unpacked bytes (the real length of what the
// stream produced, which may be less than the header claims). On failure the message goes to
// `report`, `out` is left empty and the result is false. The CRC field is not compared.
bool UnpackContainer(const uint8_t* bytes, size_t count, std::vector<uint8_t>* out,
                     const ErrorReporter& report);

// Builds a container from data written to it piece by piece.
class ContainerWriter final : public ByteStream {
  public:
    ContainerWriter();
    ~ContainerWriter() override;
    ContainerWriter(const ContainerWriter&) = delete;
    ContainerWriter& operator=(const ContainerWriter&) = delete;

    size_t read(void*, size_t) override { return 0; }
    // False once the data passes 4 GB - 1 bytes (the header's limit) or zlib fails.
    bool write(const void* data, size_t n) override;
    // The whole container; the writer is spent afterwards. Throws TextError when a write failed.
    ChunkedBytes finish();

    uint64_t unpackedSize() const { return unpacked_; }

  private:
    bool deflateSome(int flush);

    z_stream zs_{};
    ChunkedBytes out_;
    uint64_t unpacked_ = 0;
    uint32_t crc_ = 0;
    bool failed_ = false;
    bool tooLarge_ = false;
    bool finished_ = false;
};

std::vector<uint8_t> packContainer(const uint8_t* data, size_t size);
inline std::vector<uint8_t> packContainer(const std::vector<uint8_t>& data) {
    return packContainer(data.data(), data.size());
}

}  // namespace quill::project
