// Outlines to shape records. Positions are kept in twips from the start so that the relative
// edge deltas add up exactly to the points given.
#include "control/shape_builder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quill::movie {
namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

int32_t toTwips(double pixels) {
    double t = std::round(pixels * kTwipsPerPixel);
    if (!std::isfinite(t)) return 0;
    return static_cast<int32_t>(std::clamp(t, -1e9, 1e9));
}

void ShapeBuilder::moveTo(double x, double y) {
    contours_.push_back({toTwips(x), toTwips(y), {}, false});
}

void ShapeBuilder::lineTo(double x, double y) {
    if (contours_.empty() || contours_.back().closed) {
        int32_t sx = contours_.empty() ? 0 : contours_.back().x0,
                sy = contours_.empty() ? 0 : contours_.back().y0;
        contours_.push_back({sx, sy, {}, false});
    }
    contours_.back().edges.push_back({false, 0, 0, toTwips(x), toTwips(y)});
}

void ShapeBuilder::quadTo(double cx, double cy, double x, double y) {
    if (contours_.empty() || contours_.back().closed) {
        int32_t sx = contours_.empty() ? 0 : contours_.back().x0,
                sy = contours_.empty() ? 0 : contours_.back().y0;
        contours_.push_back({sx, sy, {}, false});
    }
    contours_.back().edges.push_back({true, toTwips(cx), toTwips(cy), toTwips(x), toTwips(y)});
}

void ShapeBuilder::close() {
    if (contours_.empty()) return;
    Contour& c = contours_.back();
    if (c.closed) return;
    int32_t lx = c.edges.empty() ? c.x0 : c.edges.back().x,
            ly = c.edges.empty() ? c.y0 : c.edges.back().y;
    if (lx != c.x0 || ly != c.y0) c.edges.push_back({false, 0, 0, c.x0, c.y0});
    c.closed = true;
}

void ShapeBuilder::rect(double x, double y, double w, double h, double radius) {
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    double r = std::clamp(radius, 0.0, std::min(w, h) / 2);
    if (r <= 0) {
        moveTo(x, y);
        lineTo(x + w, y);
        lineTo(x + w, y + h);
        lineTo(x, y + h);
        close();
        return;
    }
    moveTo(x + r, y);
    lineTo(x + w - r, y);
    quadTo(x + w, y, x + w, y + r);
    lineTo(x + w, y + h - r);
    quadTo(x + w, y + h, x + w - r, y + h);
    lineTo(x + r, y + h);
    quadTo(x, y + h, x, y + h - r);
    lineTo(x, y + r);
    quadTo(x, y, x + r, y);
    close();
}

void ShapeBuilder::ellipse(double cx, double cy, double rx, double ry) {
    // Eight quadratic arcs; each control point lies on the tangents' crossing.
    const double k = 1 / std::cos(kPi / 8);
    moveTo(cx + rx, cy);
    for (int i = 1; i <= 8; ++i) {
        double a = i * kPi / 4, m = a - kPi / 8;
        quadTo(cx + rx * k * std::cos(m), cy + ry * k * std::sin(m), cx + rx * std::cos(a),
               cy + ry * std::sin(a));
    }
    contours_.back().edges.back().x = contours_.back().x0;
    contours_.back().edges.back().y = contours_.back().y0;
    contours_.back().closed = true;
}

void ShapeBuilder::polygon(const std::vector<std::pair<double, double>>& points) {
    if (points.empty()) return;
    moveTo(points[0].first, points[0].second);
    for (size_t i = 1; i < points.size(); ++i) lineTo(points[i].first, points[i].second);
    close();
}

bool ShapeBuilder::path(const std::string& text, std::string* error) {
    size_t i = 0;
    char command = 0;
    size_t commandAt = 0;
    double x = 0, y = 0, startX = 0, startY = 0;
    auto skipSpace = [&] {
        while (i < text.size() &&
               (std::isspace(static_cast<unsigned char>(text[i])) || text[i] == ','))
            ++i;
    };
    auto number = [&](double* out) {
        skipSpace();
        if (i >= text.size()) return false;
        const char* begin = text.c_str() + i;
        char* end = nullptr;
        double v = std::strtod(begin, &end);
        if (end == begin || !std::isfinite(v)) return false;
        i += static_cast<size_t>(end - begin);
        *out = v;
        return true;
    };
    auto fail = [&](const std::string& what) {
        *error = "path: " + what + " at character " + std::to_string(i + 1);
        return false;
    };
    for (;;) {
        skipSpace();
        if (i >= text.size()) break;
        char c = text[i];
        if (std::isalpha(static_cast<unsigned char>(c))) {
            command = c;
            commandAt = i;
            ++i;
            if (command == 'Z' || command == 'z') {
                close();
                x = startX;
                y = startY;
                continue;
            }
        } else if (!command || command == 'Z' || command == 'z') {
            return fail("a command letter is expected");
        }
        bool rel = std::islower(static_cast<unsigned char>(command));
        double a, b, c2, d;
        switch (std::toupper(static_cast<unsigned char>(command))) {
            case 'M':
                if (!number(&a) || !number(&b)) return fail("M needs x and y");
                x = rel ? x + a : a;
                y = rel ? y + b : b;
                moveTo(x, y);
                startX = x;
                startY = y;
                command = rel ? 'l' : 'L';  // further pairs draw lines
                break;
            case 'L':
                if (!number(&a) || !number(&b)) return fail("L needs x and y");
                x = rel ? x + a : a;
                y = rel ? y + b : b;
                lineTo(x, y);
                break;
            case 'H':
                if (!number(&a)) return fail("H needs x");
                x = rel ? x + a : a;
                lineTo(x, y);
                break;
            case 'V':
                if (!number(&a)) return fail("V needs y");
                y = rel ? y + a : a;
                lineTo(x, y);
                break;
            case 'Q':
                if (!number(&a) || !number(&b) || !number(&c2) || !number(&d)) {
                    return fail("Q needs a control point and an end point");
                }
                if (rel) {
                    a += x;
                    b += y;
                    c2 += x;
                    d += y;
                }
                quadTo(a, b, c2, d);
                x = c2;
                y = d;
                break;
            default:
                i = commandAt;
                return fail(std::string("unknown command ") + command +
                            " (paths have M, L, H, V, Q and Z; curves are quadratic)");
        }
    }
    if (contours_.empty()) {
        *error = "path: nothing is drawn";
        return false;
    }
    return true;
}

namespace {

struct Point {
    double x, y;
};

bool inside(const std::vector<Point>& poly, double px, double py) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        if ((poly[i].y > py) != (poly[j].y > py) &&
            px < (poly[j].x - poly[i].x) * (py - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x) {
            in = !in;
        }
    }
    return in;
}

}  // namespace

ShapeDefinition ShapeBuilder::build(const std::optional<Rgba>& fill,
                                    const std::optional<Rgba>& line, double lineWidth,
                                    int version) const {
    ShapeDefinition shape;
    shape.version = std::clamp(version, 1, 3);
    StyleSet styles;
    if (fill) styles.fills.push_back({kFillSolid, *fill, {}, {}, 0});
    uint16_t width =
        static_cast<uint16_t>(std::clamp(std::lround(lineWidth * kTwipsPerPixel), 0L, 65535L));
    if (line) styles.lines.push_back({width, *line});
    shape.styleSets.push_back(styles);

    // Outlines as polygons (curves by their control points suffice for nesting and turn).
    std::vector<std::vector<Point>> polys;
    for (const Contour& c : contours_) {
        std::vector<Point> p{{double(c.x0), double(c.y0)}};
        for (const Edge& e : c.edges) {
            if (e.curve) p.push_back({double(e.cx), double(e.cy)});
            p.push_back({double(e.x), double(e.y)});
        }
        polys.push_back(std::move(p));
    }
    int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
    auto extend = [&](int32_t x, int32_t y) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    };
    for (size_t k = 0; k < contours_.size(); ++k) {
        const Contour& c = contours_[k];
        if (c.edges.empty()) continue;
        uint32_t fill0 = 0, fill1 = 0;
        if (fill) {
            double area = 0;
            const auto& p = polys[k];
            for (size_t i = 0; i < p.size(); ++i) {
                const Point& a = p[i];
                const Point& b = p[(i + 1) % p.size()];
                area += a.x * b.y - b.x * a.y;
            }
            int nesting = 0;
            for (size_t j = 0; j < polys.size(); ++j) {
                if (j != k && polys[j].size() > 2 && inside(polys[j], p[0].x, p[0].y)) ++nesting;
            }
            bool filledInside = nesting % 2 == 0;
            uint32_t in = filledInside ? 1 : 0, out = filledInside ? 0 : 1;
            // With y pointing down, a positive area turns clockwise: the inside is on the right.
            if (area > 0) {
                fill1 = in;
                fill0 = out;
            } else {
                fill0 = in;
                fill1 = out;
            }
        }
        ShapeRecord start;
        start.kind = ShapeRecord::kStyleChange;
        start.hasMove = start.hasFill0 = start.hasFill1 = start.hasLine = true;
        start.moveX = c.x0;
        start.moveY = c.y0;
        start.fill0 = fill0;
        start.fill1 = fill1;
        start.line = line ? 1 : 0;
        shape.records.push_back(start);
        extend(c.x0, c.y0);
        int32_t x = c.x0, y = c.y0;
        for (const Edge& e : c.edges) {
            ShapeRecord r;
            if (e.curve) {
                r.kind = ShapeRecord::kCurved;
                r.dx = e.cx - x;
                r.dy = e.cy - y;
                r.ax = e.x - e.cx;
                r.ay = e.y - e.cy;
                extend(e.cx, e.cy);
            } else {
                if (e.x == x && e.y == y) continue;
                r.kind = ShapeRecord::kStraight;
                r.dx = e.x - x;
                r.dy = e.y - y;
            }
            extend(e.x, e.y);
            shape.records.push_back(r);
            x = e.x;
            y = e.y;
        }
        if (!c.closed && fill && (x != c.x0 || y != c.y0)) {
            // The fill closes an open outline; the line does not.
            ShapeRecord off;
            off.kind = ShapeRecord::kStyleChange;
            off.hasLine = true;
            off.line = 0;
            shape.records.push_back(off);
            ShapeRecord back;
            back.kind = ShapeRecord::kStraight;
            back.dx = c.x0 - x;
            back.dy = c.y0 - y;
            shape.records.push_back(back);
        }
    }
    if (minX > maxX) {
        shape.bounds = {};
    } else {
        int32_t half = line ? (width + 1) / 2 : 0;
        shape.bounds = {minX - half, maxX + half, minY - half, maxY + half};
    }
    return shape;
}

}  // namespace quill::movie
