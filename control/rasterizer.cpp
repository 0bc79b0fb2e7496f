// The accumulation rasteriser: each edge adds, per pixel it crosses, the signed share of the
// pixel's area that lies to the right of it; a running sum along the row is then the covered
// fraction of each pixel.
#include "control/rasterizer.h"

#include <algorithm>
#include <cmath>

namespace quill::movie {
namespace {

constexpr double kPi = 3.14159265358979323846;

inline uint32_t mul8(uint32_t x, uint32_t a) {
    uint32_t t = x * a + 128;
    return (t + (t >> 8)) >> 8;
}

// Source premultiplied colour with coverage `a` (0..255) over the destination.
inline uint32_t blend(uint32_t dst, uint32_t src, uint32_t a) {
    uint32_t sa = mul8(src >> 24, a);
    if (sa == 255) return src | 0xFF000000u;
    uint32_t inv = 255 - sa;
    uint32_t r = mul8((src >> 16) & 0xFF, a) + mul8((dst >> 16) & 0xFF, inv);
    uint32_t g = mul8((src >> 8) & 0xFF, a) + mul8((dst >> 8) & 0xFF, inv);
    uint32_t b = mul8(src & 0xFF, a) + mul8(dst & 0xFF, inv);
    uint32_t al = sa + mul8(dst >> 24, inv);
    return (std::min(al, 255u) << 24) | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) |
           std::min(b, 255u);
}

}  // namespace

void PixelBuffer::resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    storage.assign(static_cast<size_t>(width) * height, 0);
    canvas.pixels = storage.data();
    canvas.width = width;
    canvas.height = height;
    canvas.stride = width;
}

uint32_t packColor(const Rgba& c) {
    uint32_t a = c.a;
    return (a << 24) | (mul8(c.r, a) << 16) | (mul8(c.g, a) << 8) | mul8(c.b, a);
}

void fillCanvas(Canvas& canvas, const Rgba& color) {
    uint32_t v = packColor(color);
    for (int y = 0; y < canvas.height; ++y) {
        std::fill_n(&canvas.at(0, y), canvas.width, v);
    }
}

bool makePaint(const FillStyle& style, const ColorTransform& cx, const Transform& toDevice,
               Paint* paint) {
    if (style.kind == kFillSolid) {
        paint->kind = Paint::kSolid;
        paint->color = packColor(applyColorTransform(style.color, cx));
        return true;
    }
    if (style.kind != kFillLinearGradient && style.kind != kFillRadialGradient &&
        style.kind != kFillFocalGradient) {
        return false;  // bitmap fills: there are no bitmaps to draw
    }
    if (style.stops.empty()) return false;
    std::vector<GradientStop> stops = style.stops;
    for (GradientStop& s : stops) s.color = applyColorTransform(s.color, cx);
    for (int i = 0; i < 256; ++i) {
        size_t k = 0;
        while (k < stops.size() && stops[k].ratio < i) ++k;
        Rgba c;
        if (k == 0) {
            c = stops.front().color;
        } else if (k == stops.size()) {
            c = stops.back().color;
        } else {
            const GradientStop& a = stops[k - 1];
            const GradientStop& b = stops[k];
            double t = b.ratio == a.ratio ? 1.0 : double(i - a.ratio) / (b.ratio - a.ratio);
            auto mix = [t](uint8_t p, uint8_t q) {
                return static_cast<uint8_t>(std::lround(p + (q - p) * t));
            };
            c = {mix(a.color.r, b.color.r), mix(a.color.g, b.color.g), mix(a.color.b, b.color.b),
                 mix(a.color.a, b.color.a)};
        }
        paint->ramp[i] = packColor(c);
    }
    Transform gradientToDevice = toDevice * Transform::fromMatrix(style.matrix);
    if (!gradientToDevice.invert(&paint->toGradient)) {
        paint->kind = Paint::kSolid;
        paint->color = paint->ramp[128];
        return true;
    }
    paint->kind = style.kind == kFillLinearGradient ? Paint::kLinear : Paint::kRadial;
    return true;
}

void Rasterizer::begin(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width != width_ || height != height_) {
        width_ = width;
        height_ = height;
        stride_ = width + 2;
        area_.assign(static_cast<size_t>(stride_) * std::max(height, 1), 0.0f);
    }
    minX_ = stride_;
    maxX_ = -1;
    minY_ = height_;
    maxY_ = -1;
    setClip(0, 0, width_, height_);
}

void Rasterizer::setClip(int x0, int y0, int x1, int y1) {
    clipX0_ = std::clamp(x0, 0, width_);
    clipY0_ = std::clamp(y0, 0, height_);
    clipX1_ = std::clamp(x1, clipX0_, width_);
    clipY1_ = std::clamp(y1, clipY0_, height_);
}

void Rasterizer::line(double x0, double y0, double x1, double y1) {
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;
    if (y0 == y1) return;
    double dir = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dir = -1;
    }
    if (y1 <= 0 || y0 >= height_) return;
    double dxdy = (x1 - x0) / (y1 - y0);
    double x = x0;
    if (y0 < 0) {
        x -= y0 * dxdy;
        y0 = 0;
    }
    int yStart = static_cast<int>(y0);
    int yEnd = std::min(height_, static_cast<int>(std::ceil(y1)));
    double w = width_;
    for (int y = yStart; y < yEnd; ++y) {
        float* row = &area_[static_cast<size_t>(y) * stride_];
        double dy = std::min(y + 1.0, y1) - std::max(double(y), y0);
        double xnext = x + dxdy * dy;
        double d = dy * dir;
        double xa = std::clamp(x, 0.0, w), xb = std::clamp(xnext, 0.0, w);
        double lo = std::min(xa, xb), hi = std::max(xa, xb);
        double loFloor = std::floor(lo);
        int x0i = static_cast<int>(loFloor);
        int x1i = static_cast<int>(std::ceil(hi));
        if (x1i <= x0i + 1) {
            double xmf = 0.5 * (xa + xb) - loFloor;
            row[x0i] += static_cast<float>(d - d * xmf);
            row[x0i + 1] += static_cast<float>(d * xmf);
        } else {
            double s = 1.0 / (hi - lo);
            double x0f = lo - loFloor;
            double a0 = 0.5 * s * (1 - x0f) * (1 - x0f);
            double x1f = hi - x1i + 1;
            double am = 0.5 * s * x1f * x1f;
            row[x0i] += static_cast<float>(d * a0);
            if (x1i == x0i + 2) {
                row[x0i + 1] += static_cast<float>(d * (1 - a0 - am));
            } else {
                double a1 = s * (1.5 - x0f);
                row[x0i + 1] += static_cast<float>(d * (a1 - a0));
                for (int xi = x0i + 2; xi < x1i - 1; ++xi) row[xi] += static_cast<float>(d * s);
                double a2 = a1 + (x1i - x0i - 3) * s;
                row[x1i - 1] += static_cast<float>(d * (1 - a2 - am));
            }
            row[x1i] += static_cast<float>(d * am);
        }
        minX_ = std::min(minX_, x0i);
        maxX_ = std::max(maxX_, x1i + 1);
        x = xnext;
    }
    minY_ = std::min(minY_, yStart);
    maxY_ = std::max(maxY_, yEnd - 1);
}

void Rasterizer::quad(double x0, double y0, double cx, double cy, double x1, double y1) {
    double ddx = x0 - 2 * cx + x1, ddy = y0 - 2 * cy + y1;
    double dd = std::sqrt(ddx * ddx + ddy * ddy);
    if (!std::isfinite(dd)) return;
    int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(dd * 0.5))), 1, 100);
    double px = x0, py = y0;
    for (int i = 1; i <= n; ++i) {
        double t = double(i) / n, u = 1 - t;
        double nx = u * u * x0 + 2 * u * t * cx + t * t * x1;
        double ny = u * u * y0 + 2 * u * t * cy + t * t * y1;
        line(px, py, nx, ny);
        px = nx;
        py = ny;
    }
}

void Rasterizer::cap(double x, double y, double r) {
    int n = std::clamp(static_cast<int>(std::ceil(r * 1.5)), 6, 64);
    double px = x + r, py = y;
    for (int i = 1; i <= n; ++i) {
        // Clockwise in these coordinates, the same turn as the bands of strokeLine.
        double t = -2 * kPi * i / n;
        double nx = x + r * std::cos(t), ny = y + r * std::sin(t);
        line(px, py, nx, ny);
        px = nx;
        py = ny;
    }
}

void Rasterizer::strokeLine(double x0, double y0, double x1, double y1, double width) {
    double hw = std::max(width, 1.0) / 2;
    double dx = x1 - x0, dy = y1 - y0;
    double len = std::sqrt(dx * dx + dy * dy);
    if (!std::isfinite(len)) return;
    if (len > 1e-9) {
        double nx = -dy / len * hw, ny = dx / len * hw;
        line(x0 + nx, y0 + ny, x1 + nx, y1 + ny);
        line(x1 + nx, y1 + ny, x1 - nx, y1 - ny);
        line(x1 - nx, y1 - ny, x0 - nx, y0 - ny);
        line(x0 - nx, y0 - ny, x0 + nx, y0 + ny);
    }
    if (hw > 0.75) {
        cap(x0, y0, hw);
        cap(x1, y1, hw);
    }
}

void Rasterizer::strokeQuad(double x0, double y0, double cx, double cy, double x1, double y1,
                            double width) {
    double ddx = x0 - 2 * cx + x1, ddy = y0 - 2 * cy + y1;
    double dd = std::sqrt(ddx * ddx + ddy * ddy);
    if (!std::isfinite(dd)) return;
    int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(dd * 0.5))), 1, 100);
    double px = x0, py = y0;
    for (int i = 1; i <= n; ++i) {
        double t = double(i) / n, u = 1 - t;
        double nx = u * u * x0 + 2 * u * t * cx + t * t * x1;
        double ny = u * u * y0 + 2 * u * t * cy + t * t * y1;
        strokeLine(px, py, nx, ny, width);
        px = nx;
        py = ny;
    }
}

void Rasterizer::fill(Canvas& canvas, const Paint& paint, bool antialias) {
    if (maxY_ < minY_ || maxX_ < minX_) return;
    int x0 = std::max(minX_, 0);
    int x1 = std::min(maxX_, stride_ - 1);
    int drawX0 = std::max(x0, clipX0_);
    int drawX1 = std::min(std::min(x1, width_ - 1), clipX1_ - 1);
    for (int y = minY_; y <= maxY_; ++y) {
        float* row = &area_[static_cast<size_t>(y) * stride_];
        bool drawRow = y >= clipY0_ && y < clipY1_ && y < canvas.height;
        float acc = 0;
        uint32_t* out = drawRow ? &canvas.at(0, y) : nullptr;
        for (int x = x0; x <= x1; ++x) {
            acc += row[x];
            row[x] = 0;
            if (!drawRow || x < drawX0 || x > drawX1) continue;
            float c = std::fabs(acc);
            uint32_t a;
            if (antialias) {
                a = c >= 1.0f ? 255u : static_cast<uint32_t>(c * 255.0f + 0.5f);
            } else {
                a = c >= 0.5f ? 255u : 0u;
            }
            if (a == 0) continue;
            uint32_t src;
            if (paint.kind == Paint::kSolid) {
                src = paint.color;
            } else {
                double gx = paint.toGradient.mapX(x + 0.5, y + 0.5);
                double gy = paint.toGradient.mapY(x + 0.5, y + 0.5);
                double t = paint.kind == Paint::kLinear ? (gx + 16384.0) / 32768.0
                                                        : std::sqrt(gx * gx + gy * gy) / 16384.0;
                int index =
                    std::isfinite(t) ? std::clamp(static_cast<int>(t * 255 + 0.5), 0, 255) : 255;
                src = paint.ramp[index];
            }
            out[x] = blend(out[x], src, a);
        }
    }
    minX_ = stride_;
    maxX_ = -1;
    minY_ = height_;
    maxY_ = -1;
}

}  // namespace quill::movie
