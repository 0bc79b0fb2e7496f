// Unpacking and building the "SM" resource container.
#include "projector/records/packed_resource.h"

#include <algorithm>

namespace quill::project {
namespace {

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Deflate never expands data more than 1032 to 1, so a header that claims more than that cannot
// be filled; reserving the claim would only let a few bytes ask for 4 GB.
size_t allocationFor(uint32_t unpackedSize, uint32_t packedSize) {
    uint64_t most = uint64_t(packedSize) * 1032 + 1024;
    return static_cast<size_t>(std::min<uint64_t>(unpackedSize, most));
}

// zlib's one-shot uncompress into a buffer of `room` bytes, with its result codes, but filling
// `out` only as far as the stream really goes: memory follows the data, not the header's claim.
int uncompressInto(const uint8_t* packed, uint32_t packedSize, size_t room,
                   std::vector<uint8_t>* out) {
    constexpr size_t kStep = 1 << 20;
    try {
        out->reserve(room);
    } catch (const std::bad_alloc&) {
        // Grow as the data arrives instead.
    }
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return Z_MEM_ERROR;
    zs.next_in = const_cast<Bytef*>(packed);
    zs.avail_in = packedSize;
    size_t produced = 0;
    // zlib refuses a null output pointer even when there is no room to write.
    Bytef spare = 0;
    int result;
    do {
        size_t step = std::min(kStep, room - produced);
        out->resize(produced + step);
        zs.next_out = step ? out->data() + produced : &spare;
        zs.avail_out = static_cast<uInt>(step);
        result = inflate(&zs, Z_NO_FLUSH);
        produced += step - zs.avail_out;
        out->resize(produced);
        if (result == Z_BUF_ERROR && produced < room) result = Z_DATA_ERROR;  // input ran out
    } while (result == Z_OK);
    inflateEnd(&zs);
    if (result == Z_STREAM_END) return Z_OK;
    return result == Z_NEED_DICT ? Z_DATA_ERROR : result;
}

constexpr size_t kDeflateChunk = 64 * 1024;

}  // namespace

const char* zlibErrorText(int code) {
    switch (code) {
        case Z_BUF_ERROR:
            return "There was not enough room in the compress(uncompress) output buffer";
        case Z_MEM_ERROR:
            return "There was not enough memory for compress(uncompress)";
        case Z_DATA_ERROR:
            return "The compress(uncompress) input data was corrupted";
        case Z_STREAM_ERROR:
            return "The compress level parameter is invalid";
        default:
            return "Compression or uncompression failed";
    }
}

bool UnpackContainer(const uint8_t* bytes, size_t count, std::vector<uint8_t>* out,
                     const ErrorReporter& report) {
    out->clear();
    try {
        if (count <= kContainerHeaderSize) throw TextError("Bad compressed data length");
        if (bytes[0] != 0x53 || bytes[1] != 0x4D || bytes[2] != 0x01 || bytes[3] != 0x00) {
            throw TextError("Bad compressed data header");
        }
        uint32_t unpackedSize = readU32(bytes + 4);
        uint32_t packedSize = readU32(bytes + 8);
        if (count - kContainerHeaderSize < packedSize)
            throw TextError("Bad compressed data length");
        std::vector<uint8_t> buffer;
        int result = uncompressInto(bytes + kContainerHeaderSize, packedSize,
                                    allocationFor(unpackedSize, packedSize), &buffer);
        if (result != Z_OK) throw TextError(zlibErrorText(result));
        *out = std::move(buffer);
        return true;
    } catch (const TextError& error) {
        reportError(report, error.what());
    } catch (const std::bad_alloc&) {
        reportError(report, zlibErrorText(Z_MEM_ERROR));
    }
    out->clear();
    return false;
}

ContainerWriter::ContainerWriter() {
    const uint8_t header[kContainerHeaderSize] = {};
    out_.append(header, sizeof header);
    crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
    if (deflateInit(&zs_, Z_DEFAULT_COMPRESSION) != Z_OK) failed_ = true;
}

ContainerWriter::~ContainerWriter() {
    deflateEnd(&zs_);
}

bool ContainerWriter::deflateSome(int flush) {
    uint8_t chunk[kDeflateChunk];
    int result;
    do {
        zs_.next_out = chunk;
        zs_.avail_out = sizeof chunk;
        result = deflate(&zs_, flush);
        if (result == Z_STREAM_ERROR) return false;
        out_.append(chunk, sizeof chunk - zs_.avail_out);
    } while (zs_.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return true;
}

bool ContainerWriter::write(const void* data, size_t n) {
    if (failed_ || finished_) return false;
    if (n == 0) return true;
    if (unpacked_ + n > 0xFFFFFFFFu) {
        failed_ = tooLarge_ = true;
        return false;
    }
    auto bytes = static_cast<const Bytef*>(data);
    // zlib counts in uInt: feed large writes in pieces.
    while (n > 0) {
        uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc_ = static_cast<uint32_t>(crc32(crc_, bytes, step));
        zs_.next_in = const_cast<Bytef*>(bytes);
        zs_.avail_in = step;
        if (!deflateSome(Z_NO_FLUSH)) {
            failed_ = true;
            return false;
        }
        bytes += step;
        n -= step;
        unpacked_ += step;
    }
    return true;
}

ChunkedBytes ContainerWriter::finish() {
    if (!failed_ && !finished_) {
        zs_.next_in = nullptr;
        zs_.avail_in = 0;
        if (!deflateSome(Z_FINISH)) failed_ = true;
    }
    finished_ = true;
    if (failed_) {
        throw TextError(tooLarge_ ? "The resource is larger than 4 GB"
                                  : zlibErrorText(Z_STREAM_ERROR));
    }
    size_t packed = out_.size() - kContainerHeaderSize;
    if (packed > 0xFFFFFFFFu) throw TextError("The packed resource is larger than 4 GB");
    uint8_t header[kContainerHeaderSize] = {0x53, 0x4D, 0x01, 0x00};
    putU32(header + 4, static_cast<uint32_t>(unpacked_));
    putU32(header + 8, static_cast<uint32_t>(packed));
    putU32(header + 12, crc_);
    out_.overwrite(0, header, sizeof header);
    return std::move(out_);
}

std::vector<uint8_t> packContainer(const uint8_t* data, size_t size) {
    ContainerWriter writer;
    writer.write(data, size);
    return writer.finish().flatten();
}

}  // namespace quill::project
