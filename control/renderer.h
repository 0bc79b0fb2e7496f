// Draws the player's display list into a canvas: shapes through the rasteriser, text fields
// through a `TextPainter` that the target supplies (the control draws with the system's fonts;
// without one, only the fields' borders and backgrounds appear).
#pragma once

#include <string>

#include "control/player.h"
#include "control/rasterizer.h"

namespace quill::movie {

struct TextRun {
    double x0, y0, x1, y1;  // the field's box in canvas pixels
    std::string text;       // UTF-8
    std::string font;       // a device font name; "_sans", "_serif", "_typewriter" are generic
    double height;          // pixels
    Rgba color;
    bool bold, italic, multiline, wordWrap, password;
    int align;  // 0 left, 1 right, 2 centre, 3 justify
};

class TextPainter {
  public:
    virtual ~TextPainter() = default;
    virtual void drawText(Canvas& canvas, const TextRun& run) = 0;
};

struct RenderOptions {
    bool antialias = true;
    Rgba background{255, 255, 255, 255};
};

class Renderer {
  public:
    // Fills the canvas with the background, then draws the stage through `stageToCanvas`.
    void render(Player& player, Canvas& canvas, const Transform& stageToCanvas,
                const RenderOptions& options, TextPainter* painter);

  private:
    void drawObject(Player& player, const DisplayObject& object, const Transform& toCanvas,
                    const ColorTransform& cx);
    void drawShape(Player& player, const DisplayObject& object, const Transform& toCanvas,
                   const ColorTransform& cx);
    void drawText(Player& player, const TextObject& field, const Transform& toCanvas,
                  const ColorTransform& cx);

    Rasterizer rasterizer_;
    Canvas* canvas_ = nullptr;
    TextPainter* painter_ = nullptr;
    bool antialias_ = true;
};

}  // namespace quill::movie
