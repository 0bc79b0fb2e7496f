// Window masks from pictures: reads an uncompressed BMP and writes the .msk file whose region
// holds every pixel that is not the background colour, so authors can make shaped windows with
// any paint program.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quill::projector::layout {

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
};

// Pictures larger than this many pixels (or 32,767 on a side) are refused.
inline constexpr uint64_t kMaxPicturePixels = 64ull * 1024 * 1024;

// A BMP file with a 40-byte or longer info header, 1, 4, 8, 24 or 32 bits per pixel, without
// compression (32-bit bit fields in the usual order are accepted); nothing, with the reason in
// `error`, for anything else.
std::optional<Picture> readBmp(std::span<const uint8_t> file, std::string* error);

// The .msk file: a u32 byte count and the region data (header and rectangles) of the pixels
// that differ from `background` (0x00RRGGBB). Rows with the same runs share one band.
std::vector<uint8_t> maskFromPicture(const Picture& picture, uint32_t background);

}  // namespace quill::projector::layout
