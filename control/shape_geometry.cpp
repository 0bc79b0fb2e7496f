// Shape records to per-style edge lists, and the point-in-shape test buttons use for hits.
#include "control/shape_geometry.h"

#include <cmath>

namespace quill::movie {

ShapeGeometry buildGeometry(const ShapeDefinition& shape) {
    ShapeGeometry g;
    g.bounds = shape.bounds;
    auto startLayer = [&](const StyleSet& set) {
        ShapeLayer layer;
        for (const FillStyle& f : set.fills) layer.fills.push_back({f, {}});
        for (const LineStyle& l : set.lines) layer.lines.push_back({l, {}});
        g.layers.push_back(std::move(layer));
    };
    if (shape.styleSets.empty()) {
        startLayer(StyleSet{});
    } else {
        startLayer(shape.styleSets[0]);
    }
    // Positions are kept in 64 bits: a damaged shape may add up deltas past 32 bits.
    int64_t x = 0, y = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    auto add = [&](const Segment& s) {
        ShapeLayer& layer = g.layers.back();
        if (fill0 && fill0 <= layer.fills.size()) {
            layer.fills[fill0 - 1].edges.push_back({s.x1, s.y1, s.cx, s.cy, s.x0, s.y0, s.curve});
            ++g.segmentCount;
        }
        if (fill1 && fill1 <= layer.fills.size()) {
            layer.fills[fill1 - 1].edges.push_back(s);
            ++g.segmentCount;
        }
        if (line && line <= layer.lines.size()) {
            layer.lines[line - 1].segments.push_back(s);
            ++g.segmentCount;
        }
    };
    for (const ShapeRecord& r : shape.records) {
        switch (r.kind) {
            case ShapeRecord::kStyleChange:
                if (r.hasNewStyles && r.newStylesIndex < shape.styleSets.size()) {
                    startLayer(shape.styleSets[r.newStylesIndex]);
                    fill0 = fill1 = line = 0;
                }
                if (r.hasMove) {
                    x = r.moveX;
                    y = r.moveY;
                }
                if (r.hasFill0) fill0 = r.fill0;
                if (r.hasFill1) fill1 = r.fill1;
                if (r.hasLine) line = r.line;
                break;
            case ShapeRecord::kStraight: {
                Segment s{float(x), float(y), 0, 0, float(x + r.dx), float(y + r.dy), false};
                x += r.dx;
                y += r.dy;
                add(s);
                break;
            }
            case ShapeRecord::kCurved: {
                int64_t cx = x + r.dx, cy = y + r.dy;
                int64_t ex = cx + r.ax, ey = cy + r.ay;
                add({float(x), float(y), float(cx), float(cy), float(ex), float(ey), true});
                x = ex;
                y = ey;
                break;
            }
        }
    }
    return g;
}

namespace {

// Signed crossings of a rightward ray from (px, py) with the segment from a to b.
int crossing(double ax, double ay, double bx, double by, double px, double py) {
    if ((ay <= py) == (by <= py)) return 0;
    double t = (py - ay) / (by - ay);
    double x = ax + t * (bx - ax);
    if (x <= px) return 0;
    return by > ay ? 1 : -1;
}

}  // namespace

bool geometryContains(const ShapeGeometry& g, double px, double py) {
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& f : layer.fills) {
            int winding = 0;
            for (const Segment& s : f.edges) {
                if (!s.curve) {
                    winding += crossing(s.x0, s.y0, s.x1, s.y1, px, py);
                    continue;
                }
                // Curves are tested as eight straight pieces: plenty for a pointer.
                double lx = s.x0, ly = s.y0;
                for (int i = 1; i <= 8; ++i) {
                    double t = i / 8.0, u = 1 - t;
                    double nx = u * u * s.x0 + 2 * u * t * s.cx + t * t * s.x1;
                    double ny = u * u * s.y0 + 2 * u * t * s.cy + t * t * s.y1;
                    winding += crossing(lx, ly, nx, ny, px, py);
                    lx = nx;
                    ly = ny;
                }
            }
            if (winding != 0) return true;
        }
    }
    return false;
}

}  // namespace quill::movie
