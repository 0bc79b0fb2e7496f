// The small records every movie is built from (colours, rectangles, matrices, colour
// transforms) and the tag and action codes the player knows. Coordinates are twips (1/20 pixel).
#pragma once

#include <cstdint>
#include <string>

namespace quill::movie {

constexpr int kTwipsPerPixel = 20;

enum TagCode : uint16_t {
    kTagEnd = 0,
    kTagShowFrame = 1,
    kTagDefineShape = 2,
    kTagPlaceObject = 4,
    kTagRemoveObject = 5,
    kTagDefineButton = 7,
    kTagSetBackgroundColor = 9,
    kTagDefineFont = 10,
    kTagDoAction = 12,
    kTagDefineFontInfo = 13,
    kTagDefineShape2 = 22,
    kTagProtect = 24,
    kTagPlaceObject2 = 26,
    kTagRemoveObject2 = 28,
    kTagDefineShape3 = 32,
    kTagDefineButton2 = 34,
    kTagDefineEditText = 37,
    kTagDefineSprite = 39,
    kTagFrameLabel = 43,
    kTagDefineFont2 = 48,
    kTagFileAttributes = 69,
};

// A readable name for `quill movie info`; "Unknown" for codes the player does not know.
const char* tagName(uint16_t code);

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

struct Rect {
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool operator==(const Rect&) const = default;
    int32_t width() const { return xMax - xMin; }
    int32_t height() const { return yMax - yMin; }
};

// The file's 2x3 matrix: scale and skew as 16.16 fixed point, translation in twips.
struct Matrix {
    int32_t scaleX = 65536, scaleY = 65536;
    int32_t skew0 = 0, skew1 = 0;  // rotate/skew terms: x' = sx*x + s1*y, y' = s0*x + sy*y
    int32_t translateX = 0, translateY = 0;
    bool operator==(const Matrix&) const = default;
};

// Multiply terms are 8.8 fixed point (256 = 1.0); add terms are added to 0..255 channels.
struct ColorTransform {
    int16_t multR = 256, multG = 256, multB = 256, multA = 256;
    int16_t addR = 0, addG = 0, addB = 0, addA = 0;
    bool operator==(const ColorTransform&) const = default;
    bool isIdentity() const { return *this == ColorTransform{}; }
};

// A matrix in floating point for drawing and hit tests: x' = a*x + c*y + tx, y' = b*x + d*y + ty.
struct Transform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static Transform fromMatrix(const Matrix& m) {
        return {m.scaleX / 65536.0, m.skew0 / 65536.0,    m.skew1 / 65536.0,
                m.scaleY / 65536.0, double(m.translateX), double(m.translateY)};
    }
    // this after other: first `other`, then this.
    Transform operator*(const Transform& o) const {
        return {a * o.a + c * o.b, b * o.a + d * o.b,        a * o.c + c * o.d,
                b * o.c + d * o.d, a * o.tx + c * o.ty + tx, b * o.tx + d * o.ty + ty};
    }
    double mapX(double x, double y) const { return a * x + c * y + tx; }
    double mapY(double x, double y) const { return b * x + d * y + ty; }
    // False when the matrix cannot be inverted (a zero scale).
    bool invert(Transform* out) const;
    // How far a unit step may stretch under this matrix (for curve flattening and line widths).
    double maxScale() const;
};

Rgba applyColorTransform(const Rgba& color, const ColorTransform& cx);
ColorTransform combine(const ColorTransform& outer, const ColorTransform& inner);

}  // namespace quill::movie
