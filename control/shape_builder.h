// Builds shape definitions from outlines: rectangles (optionally rounded), ellipses, polygons
// and paths in a small SVG-like syntax, in pixels. Each closed outline gets its fill on the side
// that holds its inside, so outlines nested inside others become holes (even-odd nesting).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "control/movie_model.h"

namespace quill::movie {

class ShapeBuilder {
  public:
    void rect(double x, double y, double width, double height, double radius = 0);
    void ellipse(double cx, double cy, double rx, double ry);
    void polygon(const std::vector<std::pair<double, double>>& points);
    // "M x y", "L x y", "H x", "V y", "Q cx cy x y", "Z" and their relative lower-case forms.
    bool path(const std::string& text, std::string* error);
    bool empty() const { return contours_.empty(); }

    // `version` is the shape tag (1 to 3); colours with transparency need 3.
    ShapeDefinition build(const std::optional<Rgba>& fill, const std::optional<Rgba>& line,
                          double lineWidth, int version) const;

  private:
    struct Edge {
        bool curve;
        int32_t cx, cy, x, y;  // twips, absolute
    };
    struct Contour {
        int32_t x0, y0;
        std::vector<Edge> edges;
        bool closed = false;
    };
    void moveTo(double x, double y);
    void lineTo(double x, double y);
    void quadTo(double cx, double cy, double x, double y);
    void close();

    std::vector<Contour> contours_;
};

// Pixels to twips, rounded; values beyond the format's reach are clamped.
int32_t toTwips(double pixels);

}  // namespace quill::movie
