// Shape records turned into drawable geometry. Each edge names the fill on its left (fill 0) and
// on its right (fill 1); every fill gets the edges that bound it, turned so that the fill lies on
// their right. Closed areas then have a winding number of one inside and zero outside, whatever
// order the edges came in, which is what the rasteriser's non-zero rule fills.
#pragma once

#include <cstdint>
#include <vector>

#include "control/movie_model.h"

namespace quill::movie {

// A straight edge (curve false) or a quadratic curve through control point (cx, cy); twips.
struct Segment {
    float x0, y0, cx, cy, x1, y1;
    bool curve;
};

struct FillPath {
    FillStyle style;
    std::vector<Segment> edges;
};

struct LinePath {
    LineStyle style;
    std::vector<Segment> segments;
};

// Styles introduced by a style change start a new layer drawn above the earlier ones; inside a
// layer fills come first, then lines.
struct ShapeLayer {
    std::vector<FillPath> fills;
    std::vector<LinePath> lines;
};

struct ShapeGeometry {
    std::vector<ShapeLayer> layers;
    Rect bounds;
    size_t segmentCount = 0;
};

ShapeGeometry buildGeometry(const ShapeDefinition& shape);

// Whether the point (twips, in the shape's space) lies inside any fill of the shape.
bool geometryContains(const ShapeGeometry& geometry, double x, double y);

}  // namespace quill::movie
