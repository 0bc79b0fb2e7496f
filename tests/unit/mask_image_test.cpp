// Window masks from pictures: BMP variants a paint program writes, the region data the window
// reads back, and damaged pictures refused with a reason.
#include "projector/layout/mask_image.h"

#include <gtest/gtest.h>

#include "projector/layout/window_layout.h"

namespace quill::projector::layout {
namespace {

void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}

// A BMP of `rows` (top row first) at `bits` per pixel: 24 and 32 take 0xRRGGBB values, 8 and 1
// palette indexes into `palette`.
std::vector<uint8_t> bmp(int width, const std::vector<std::vector<uint32_t>>& rows, int bits,
                         const std::vector<uint32_t>& palette = {}, bool topDown = false) {
    int height = int(rows.size());
    size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    uint32_t offset = 14 + 40 + uint32_t(palette.size() * 4);
    std::vector<uint8_t> b{'B', 'M'};
    put32(b, offset + uint32_t(stride * height));
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, uint32_t(width));
    put32(b, uint32_t(topDown ? -height : height));
    put16(b, 1);
    put16(b, uint16_t(bits));
    put32(b, 0);
    put32(b, uint32_t(stride * height));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, uint32_t(palette.size()));
    put32(b, 0);
    for (uint32_t c : palette) put32(b, c);
    for (int r = 0; r < height; r++) {
        const auto& row = rows[size_t(topDown ? r : height - 1 - r)];
        std::vector<uint8_t> line(stride);
        for (int x = 0; x < width; x++) {
            uint32_t v = row[size_t(x)];
            if (bits >= 24) {
                size_t p = size_t(x) * (bits / 8);
                line[p] = uint8_t(v), line[p + 1] = uint8_t(v >> 8), line[p + 2] = uint8_t(v >> 16);
            } else {
                size_t bit = size_t(x) * bits;
                line[bit / 8] |= uint8_t(v << (8 - bits - bit % 8));
            }
        }
        b.insert(b.end(), line.begin(), line.end());
    }
    return b;
}

std::vector<std::array<uint32_t, 4>> rectsOf(const std::vector<uint8_t>& mask) {
    auto data = maskRegionData(mask);
    EXPECT_TRUE(data);
    std::vector<std::array<uint32_t, 4>> out;
    if (!data) return out;
    auto u32 = [&](size_t at) {
        return uint32_t((*data)[at]) | uint32_t((*data)[at + 1]) << 8 |
               uint32_t((*data)[at + 2]) << 16 | uint32_t((*data)[at + 3]) << 24;
    };
    for (size_t at = 32; at + 16 <= data->size(); at += 16) {
        out.push_back({u32(at), u32(at + 4), u32(at + 8), u32(at + 12)});
    }
    return out;
}

constexpr uint32_t W = 0xFFFFFF, R = 0xFF0000;

TEST(MaskImageTest, EveryPixelButTheBackgroundInBandsOfEqualRows) {
    // Rows 0-1 share their runs (one band), row 2 differs, row 3 is all background.
    std::vector<std::vector<uint32_t>> rows = {
        {W, R, R, W, R}, {W, R, R, W, R}, {R, R, R, R, W}, {W, W, W, W, W}};
    for (int bits : {24, 32}) {
        for (bool topDown : {false, true}) {
            auto picture = readBmp(bmp(5, rows, bits, {}, topDown), nullptr);
            ASSERT_TRUE(picture) << bits;
            EXPECT_EQ(picture->pixels[1], R);
            auto mask = maskFromPicture(*picture, W);
            using Rect = std::array<uint32_t, 4>;
            EXPECT_EQ(rectsOf(mask), (std::vector<Rect>{{1, 0, 3, 2}, {4, 0, 5, 2}, {0, 2, 4, 3}}))
                << bits << topDown;
            // The bounds cover the rectangles.
            EXPECT_EQ(mask[4 + 16], 0);
            EXPECT_EQ(mask[4 + 24], 5);
            EXPECT_EQ(mask[4 + 28], 3);
        }
    }
}

TEST(MaskImageTest, PalettedPicturesAndAnEmptyMask) {
    std::vector<std::vector<uint32_t>> rows = {{0, 1, 1, 0, 0, 0, 0, 0, 0, 1}};
    auto eight = readBmp(bmp(10, rows, 8, {W, R}), nullptr);
    auto one = readBmp(bmp(10, rows, 1, {W, R}), nullptr);
    ASSERT_TRUE(eight && one);
    EXPECT_EQ(eight->pixels, one->pixels);
    using Rect = std::array<uint32_t, 4>;
    EXPECT_EQ(rectsOf(maskFromPicture(*one, W)), (std::vector<Rect>{{1, 0, 3, 1}, {9, 0, 10, 1}}));
    // A background colour the picture lacks keeps all of it; all background keeps nothing (a
    // valid region without rectangles).
    EXPECT_EQ(rectsOf(maskFromPicture(*one, 0x123456)), (std::vector<Rect>{{0, 0, 10, 1}}));
    EXPECT_TRUE(rectsOf(maskFromPicture(Picture{2, 1, {W, W}}, W)).empty());
}

TEST(MaskImageTest, DamagedPicturesAreRefusedWithAReason) {
    std::vector<std::vector<uint32_t>> rows = {{W, R}, {R, W}};
    auto good = bmp(2, rows, 24);
    std::string error;
    EXPECT_FALSE(readBmp(std::vector<uint8_t>{'B', 'M', 0}, &error));
    EXPECT_EQ(error, "not a BMP picture");
    auto cut = good;
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(readBmp(cut, &error));
    EXPECT_EQ(error, "the BMP pixel data is cut short");
    auto compressed = good;
    compressed[30] = 1;
    EXPECT_FALSE(readBmp(compressed, &error));
    EXPECT_EQ(error, "compressed BMP pictures are not read");
    auto huge = good;
    huge[18] = 0xFF, huge[19] = 0x7F, huge[22] = 0xFF, huge[23] = 0x7F;  // 32767 x 32767
    EXPECT_FALSE(readBmp(huge, &error));
    EXPECT_EQ(error, "the picture is too large");
    auto sixteen = good;
    sixteen[28] = 16;
    EXPECT_FALSE(readBmp(sixteen, &error));
    // A palette index beyond the palette.
    auto paletted = bmp(2, {{0, 1}}, 8, {W});
    EXPECT_FALSE(readBmp(paletted, &error));
    EXPECT_EQ(error, "the BMP palette is damaged");
}

}  // namespace
}  // namespace quill::projector::layout
