// An anti-aliasing scanline rasteriser over a 32-bit pixel buffer. Edges add their exact signed
// area to an accumulation row; a sweep along each row turns the running sum into coverage
// (non-zero rule) and blends the paint. The same code draws on every target, so a frame drawn
// natively in a test and in the control under Windows has the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "control/movie_model.h"

namespace quill::movie {

// Pixels are 0xAARRGGBB words (premultiplied), rows top to bottom: the layout of a 32-bit
// top-down Windows device-independent bitmap.
struct Canvas {
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    int stride = 0;  // in pixels
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * stride + x]; }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * stride + x]; }
};

// A canvas that owns its pixels.
struct PixelBuffer {
    std::vector<uint32_t> storage;
    Canvas canvas;
    void resize(int width, int height);
};

uint32_t packColor(const Rgba& c);  // premultiplied
void fillCanvas(Canvas& canvas, const Rgba& color);

struct Paint {
    enum Kind : uint8_t { kSolid, kLinear, kRadial };
    Kind kind = kSolid;
    uint32_t color = 0;    // kSolid, premultiplied
    Transform toGradient;  // device pixel centre to gradient space (-16384..16384 twips)
    uint32_t ramp[256]{};  // gradients, premultiplied
};

// Builds a paint for a fill style under a colour transform; `toDevice` maps the shape's twips
// to device pixels. False when the fill cannot be drawn (bitmaps).
bool makePaint(const FillStyle& style, const ColorTransform& cx, const Transform& toDevice,
               Paint* paint);

class Rasterizer {
  public:
    // Prepares for drawing into a canvas of this size; the clip rectangle limits blending.
    void begin(int width, int height);
    void setClip(int x0, int y0, int x1, int y1);

    void line(double x0, double y0, double x1, double y1);
    // A quadratic curve, flattened to straight pieces no further than a quarter pixel off.
    void quad(double x0, double y0, double cx, double cy, double x1, double y1);

    // Blends the accumulated area with the paint and clears it for the next path.
    void fill(Canvas& canvas, const Paint& paint, bool antialias);

    // Stroke outlines: a band of the given width around each piece, rounded at both ends.
    void strokeLine(double x0, double y0, double x1, double y1, double width);
    void strokeQuad(double x0, double y0, double cx, double cy, double x1, double y1, double width);

  private:
    void cap(double x, double y, double radius);

    int width_ = 0, height_ = 0, stride_ = 0;
    std::vector<float> area_;
    int minX_ = 0, maxX_ = -1, minY_ = 0, maxY_ = -1;  // touched cells
    int clipX0_ = 0, clipY0_ = 0, clipX1_ = 0, clipY1_ = 0;
};

}  // namespace quill::movie
