// BMP reading and region data writing for window masks; see mask_image.h.
#include "projector/layout/mask_image.h"

#include <algorithm>

namespace quill::projector::layout {
namespace {

uint32_t u32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
uint16_t u16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::optional<Picture> fail(std::string* error, const char* text) {
    if (error) *error = text;
    return std::nullopt;
}

struct Run {
    int32_t left;
    int32_t right;
    bool operator==(const Run&) const = default;
};

}  // namespace

std::optional<Picture> readBmp(std::span<const uint8_t> file, std::string* error) {
    constexpr size_t kFileHeader = 14;
    if (file.size() < kFileHeader + 40 || file[0] != 'B' || file[1] != 'M') {
        return fail(error, "not a BMP picture");
    }
    uint32_t dataOffset = u32(file, 10);
    uint32_t infoSize = u32(file, 14);
    if (infoSize < 40 || infoSize > file.size() - kFileHeader) {
        return fail(error, "the BMP header is damaged");
    }
    int32_t width = static_cast<int32_t>(u32(file, 18));
    int32_t rawHeight = static_cast<int32_t>(u32(file, 22));
    uint16_t bits = u16(file, 28);
    uint32_t compression = u32(file, 30);
    uint32_t colorsUsed = u32(file, 46);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 32767 ||
        std::abs(rawHeight) > 32767) {
        return fail(error, "the picture's size is not usable");
    }
    bool topDown = rawHeight < 0;
    int32_t height = std::abs(rawHeight);
    if (uint64_t(width) * uint64_t(height) > kMaxPicturePixels) {
        return fail(error, "the picture is too large");
    }
    bool bitFields = compression == 3 && bits == 32;
    if (compression != 0 && !bitFields) return fail(error, "compressed BMP pictures are not read");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        return fail(error, "the picture's pixel format is not read");
    }
    if (bitFields) {
        // Masks after the info header (or inside a longer one): only the usual order is read.
        size_t at = kFileHeader + (infoSize >= 52 ? 40 : infoSize);
        if (at + 12 > file.size() || u32(file, at) != 0xFF0000 || u32(file, at + 4) != 0xFF00 ||
            u32(file, at + 8) != 0xFF) {
            return fail(error, "the picture's pixel format is not read");
        }
    }
    std::vector<uint32_t> palette;
    if (bits <= 8) {
        size_t count = colorsUsed ? colorsUsed : (size_t{1} << bits);
        if (count > (size_t{1} << bits)) return fail(error, "the BMP palette is damaged");
        size_t at = kFileHeader + infoSize;
        if (at + count * 4 > file.size()) return fail(error, "the BMP palette is damaged");
        for (size_t i = 0; i < count; i++) {
            size_t p = at + i * 4;
            palette.push_back(uint32_t(file[p + 2]) << 16 | uint32_t(file[p + 1]) << 8 | file[p]);
        }
    }
    uint64_t stride = ((uint64_t(width) * bits + 31) / 32) * 4;
    if (dataOffset > file.size() || stride * uint64_t(height) > file.size() - dataOffset) {
        return fail(error, "the BMP pixel data is cut short");
    }
    Picture picture{width, height, {}};
    picture.pixels.resize(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; y++) {
        size_t row = dataOffset + size_t(stride) * size_t(topDown ? y : height - 1 - y);
        for (int32_t x = 0; x < width; x++) {
            uint32_t rgb = 0;
            if (bits >= 24) {
                size_t p = row + size_t(x) * (bits / 8);
                rgb = uint32_t(file[p + 2]) << 16 | uint32_t(file[p + 1]) << 8 | file[p];
            } else {
                size_t bit = size_t(x) * bits;
                uint8_t byte = file[row + bit / 8];
                unsigned index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index >= palette.size()) return fail(error, "the BMP palette is damaged");
                rgb = palette[index];
            }
            picture.pixels[size_t(y) * size_t(width) + size_t(x)] = rgb;
        }
    }
    return picture;
}

std::vector<uint8_t> maskFromPicture(const Picture& picture, uint32_t background) {
    std::vector<uint32_t> rects;  // left, top, right, bottom, flattened
    std::vector<Run> band, row;
    size_t bandStart = 0;  // index of the band's first rectangle in `rects`
    int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = 0, maxY = 0;
    for (int32_t y = 0; y < picture.height; y++) {
        row.clear();
        const uint32_t* line = picture.pixels.data() + size_t(y) * size_t(picture.width);
        for (int32_t x = 0; x < picture.width;) {
            while (x < picture.width && (line[x] & 0xFFFFFF) == background) x++;
            int32_t start = x;
            while (x < picture.width && (line[x] & 0xFFFFFF) != background) x++;
            if (x > start) row.push_back({start, x});
        }
        if (!row.empty() && row == band && y > 0 && rects.size() >= 4 &&
            int32_t(rects[bandStart + 3]) == y) {
            for (size_t i = bandStart; i < rects.size(); i += 4) rects[i + 3] = uint32_t(y + 1);
        } else {
            bandStart = rects.size();
            for (const Run& r : row) {
                rects.insert(rects.end(),
                             {uint32_t(r.left), uint32_t(y), uint32_t(r.right), uint32_t(y + 1)});
            }
            band = row;
        }
        if (!row.empty()) {
            minX = std::min(minX, row.front().left);
            maxX = std::max(maxX, row.back().right);
            minY = std::min(minY, y);
            maxY = y + 1;
        }
    }
    uint32_t count = static_cast<uint32_t>(rects.size() / 4);
    std::vector<uint8_t> out;
    out.reserve(4 + 32 + rects.size() * 4);
    put32(out, 32 + count * 16);
    put32(out, 32);  // header size
    put32(out, 1);   // rectangles
    put32(out, count);
    put32(out, count * 16);
    if (count == 0) minX = minY = maxX = maxY = 0;
    for (int32_t v : {minX, minY, maxX, maxY}) put32(out, uint32_t(v));
    for (uint32_t v : rects) put32(out, v);
    return out;
}

}  // namespace quill::projector::layout
