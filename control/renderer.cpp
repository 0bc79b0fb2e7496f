// Walks the display list in depth order and draws each object with the combined transforms and
// colour transforms of its ancestors. Objects wholly outside the canvas are skipped early.
#include "control/renderer.h"

#include <algorithm>
#include <cmath>

namespace quill::movie {
namespace {

// The canvas box of a rectangle under a transform.
void deviceBox(const Rect& r, const Transform& t, double* x0, double* y0, double* x1, double* y1) {
    double xs[4] = {t.mapX(r.xMin, r.yMin), t.mapX(r.xMax, r.yMin), t.mapX(r.xMin, r.yMax),
                    t.mapX(r.xMax, r.yMax)};
    double ys[4] = {t.mapY(r.xMin, r.yMin), t.mapY(r.xMax, r.yMin), t.mapY(r.xMin, r.yMax),
                    t.mapY(r.xMax, r.yMax)};
    *x0 = *std::min_element(xs, xs + 4);
    *x1 = *std::max_element(xs, xs + 4);
    *y0 = *std::min_element(ys, ys + 4);
    *y1 = *std::max_element(ys, ys + 4);
}

}  // namespace

void Renderer::render(Player& player, Canvas& canvas, const Transform& stageToCanvas,
                      const RenderOptions& options, TextPainter* painter) {
    fillCanvas(canvas, options.background);
    const SpriteClip* root = player.root();
    if (!root) return;
    canvas_ = &canvas;
    painter_ = painter;
    antialias_ = options.antialias;
    rasterizer_.begin(canvas.width, canvas.height);
    drawObject(player, *root, stageToCanvas * root->transform, root->colorTransform);
    canvas_ = nullptr;
    painter_ = nullptr;
}

void Renderer::drawObject(Player& player, const DisplayObject& object, const Transform& toCanvas,
                          const ColorTransform& cx) {
    // Mask layers are not drawn: masking is not supported, and showing the mask would hide
    // what it was meant to reveal.
    if (!object.visible || object.clipDepth || object.removed) return;
    switch (object.kind) {
        case DisplayObject::kShape:
            drawShape(player, object, toCanvas, cx);
            break;
        case DisplayObject::kSprite:
            for (const auto& [depth, child] : static_cast<const SpriteClip&>(object).children) {
                drawObject(player, *child, toCanvas * child->transform,
                           combine(cx, child->colorTransform));
            }
            break;
        case DisplayObject::kButton: {
            const auto& button = static_cast<const ButtonObject&>(object);
            for (size_t i = 0; i < button.parts.size(); ++i) {
                const auto& part = button.parts[i];
                if (!part || !button.partShown(i)) continue;
                drawObject(player, *part, toCanvas * part->transform,
                           combine(cx, part->colorTransform));
            }
            break;
        }
        case DisplayObject::kText:
            drawText(player, static_cast<const TextObject&>(object), toCanvas, cx);
            break;
    }
}

void Renderer::drawShape(Player& player, const DisplayObject& object, const Transform& t,
                         const ColorTransform& cx) {
    const ShapeDefinition* shape = object.character->shape.get();
    double x0, y0, x1, y1;
    deviceBox(shape->bounds, t, &x0, &y0, &x1, &y1);
    // Bounds may be too small for thick lines: allow some slack before skipping.
    double slack = 2 + 20 * std::sqrt(std::fabs(t.a * t.d - t.b * t.c));
    if (x1 < -slack || y1 < -slack || x0 > canvas_->width + slack || y0 > canvas_->height + slack)
        return;
    if (!(x1 - x0 < 1e7 && y1 - y0 < 1e7)) return;  // absurd scales draw nothing
    const ShapeGeometry& g = player.geometry(shape);
    double lineScale = std::sqrt(std::fabs(t.a * t.d - t.b * t.c));
    Rasterizer& r = rasterizer_;
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills) {
            if (fill.edges.empty()) continue;
            Paint paint;
            if (!makePaint(fill.style, cx, t, &paint)) continue;
            for (const Segment& s : fill.edges) {
                double ax = t.mapX(s.x0, s.y0), ay = t.mapY(s.x0, s.y0);
                double bx = t.mapX(s.x1, s.y1), by = t.mapY(s.x1, s.y1);
                if (s.curve) {
                    r.quad(ax, ay, t.mapX(s.cx, s.cy), t.mapY(s.cx, s.cy), bx, by);
                } else {
                    r.line(ax, ay, bx, by);
                }
            }
            r.fill(*canvas_, paint, antialias_);
        }
        for (const LinePath& line : layer.lines) {
            if (line.segments.empty()) continue;
            Paint paint;
            paint.color = packColor(applyColorTransform(line.style.color, cx));
            double width = line.style.width * lineScale;
            for (const Segment& s : line.segments) {
                double ax = t.mapX(s.x0, s.y0), ay = t.mapY(s.x0, s.y0);
                double bx = t.mapX(s.x1, s.y1), by = t.mapY(s.x1, s.y1);
                if (s.curve) {
                    r.strokeQuad(ax, ay, t.mapX(s.cx, s.cy), t.mapY(s.cx, s.cy), bx, by, width);
                } else {
                    r.strokeLine(ax, ay, bx, by, width);
                }
            }
            r.fill(*canvas_, paint, antialias_);
        }
    }
}

void Renderer::drawText(Player& player, const TextObject& field, const Transform& t,
                        const ColorTransform& cx) {
    const EditTextDefinition& def = *field.character->editText;
    double x0, y0, x1, y1;
    deviceBox(def.bounds, t, &x0, &y0, &x1, &y1);
    if (x1 < 0 || y1 < 0 || x0 > canvas_->width || y0 > canvas_->height) return;
    if (!(x1 - x0 < 1e6 && y1 - y0 < 1e6)) return;
    if (def.border) {
        // A bordered field has a white box with a black outline.
        Paint white;
        white.color = packColor(applyColorTransform({255, 255, 255, 255}, cx));
        rasterizer_.line(x0, y0, x1, y0);
        rasterizer_.line(x1, y0, x1, y1);
        rasterizer_.line(x1, y1, x0, y1);
        rasterizer_.line(x0, y1, x0, y0);
        rasterizer_.fill(*canvas_, white, antialias_);
        Paint black;
        black.color = packColor(applyColorTransform({0, 0, 0, 255}, cx));
        double px0 = std::floor(x0) + 0.5, py0 = std::floor(y0) + 0.5;
        double px1 = std::ceil(x1) - 0.5, py1 = std::ceil(y1) - 0.5;
        rasterizer_.strokeLine(px0, py0, px1, py0, 1);
        rasterizer_.strokeLine(px1, py0, px1, py1, 1);
        rasterizer_.strokeLine(px1, py1, px0, py1, 1);
        rasterizer_.strokeLine(px0, py1, px0, py0, 1);
        rasterizer_.fill(*canvas_, black, antialias_);
    }
    if (!painter_) return;
    TextRun run;
    run.x0 = x0;
    run.y0 = y0;
    run.x1 = x1;
    run.y1 = y1;
    run.text = player.fieldText(field);
    if (def.password) run.text.assign(run.text.size(), '*');
    run.font = "_sans";
    run.bold = run.italic = false;
    if (def.hasFont) {
        const Character* font = player.movie()->find(def.fontId);
        if (font && font->kind == Character::kFont) {
            if (!font->font->name.empty()) run.font = font->font->name;
            run.bold = font->font->bold;
            run.italic = font->font->italic;
        }
    }
    run.height = def.fontHeight * std::sqrt(std::fabs(t.a * t.d - t.b * t.c));
    run.color = applyColorTransform(def.hasColor ? def.color : Rgba{0, 0, 0, 255}, cx);
    run.multiline = def.multiline;
    run.wordWrap = def.wordWrap;
    run.password = def.password;
    run.align = def.align;
    if (run.text.empty() || run.height < 1) return;
    painter_->drawText(*canvas_, run);
}

}  // namespace quill::movie
