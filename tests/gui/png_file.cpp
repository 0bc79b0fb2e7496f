// A minimal PNG writer for snapshots: signature, IHDR, one IDAT holding a zlib stream of stored
// deflate blocks (every row with filter 0), IEND; each chunk with its CRC, the stream with its
// Adler-32.
#include "tests/gui/png_file.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quill::gui {
namespace {

// A stored deflate block holds at most this many bytes.
constexpr size_t kStoredBlockMax = 65535;

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void putChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + typeAt, out.size() - typeAt));
}

}  // namespace

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t adler32(const uint8_t* data, size_t size) {
    constexpr uint32_t kModulus = 65521;
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % kModulus;
        b = (b + a) % kModulus;
    }
    return (b << 16) | a;
}

std::vector<uint8_t> encodePng(const Snapshot& snapshot) {
    if (snapshot.width <= 0 || snapshot.height <= 0 ||
        snapshot.pixels.size() < static_cast<size_t>(snapshot.width) * snapshot.height) {
        return {};
    }
    const auto width = static_cast<size_t>(snapshot.width);
    const auto height = static_cast<size_t>(snapshot.height);

    std::vector<uint8_t> raw;
    raw.reserve(height * (1 + width * 3));
    for (size_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (size_t x = 0; x < width; ++x) {
            uint32_t pixel = snapshot.pixels[y * width + x];  // 0x00RRGGBB
            raw.push_back(static_cast<uint8_t>(pixel >> 16));
            raw.push_back(static_cast<uint8_t>(pixel >> 8));
            raw.push_back(static_cast<uint8_t>(pixel));
        }
    }

    std::vector<uint8_t> zlib = {0x78, 0x01};  // deflate, 32 KB window, no dictionary
    size_t at = 0;
    do {
        size_t length = std::min(kStoredBlockMax, raw.size() - at);
        bool last = at + length == raw.size();
        zlib.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<ptrdiff_t>(at),
                    raw.begin() + static_cast<ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    putBigEndian(zlib, adler32(raw.data(), raw.size()));

    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", {});
    return png;
}

bool savePng(const Snapshot& snapshot, const std::string& path) {
    std::vector<uint8_t> png = encodePng(snapshot);
    if (png.empty()) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace quill::gui
