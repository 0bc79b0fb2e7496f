// Where the stage appears in a window: the scale modes (show all, no border, exact fit, no
// scale), the alignment of what is left over, and the zoom and pan of the control's methods.
#pragma once

#include "control/swf_records.h"

namespace quill::movie {

enum ScaleMode : int { kShowAll = 0, kNoBorder = 1, kExactFit = 2, kNoScale = 3 };

// Alignment bits, as the control's AlignMode property has them.
enum AlignBits : int { kAlignLeft = 1, kAlignRight = 2, kAlignTop = 4, kAlignBottom = 8 };

class StageView {
  public:
    void setStage(const Rect& frame);
    void setScaleMode(int mode) { scaleMode_ = (mode >= 0 && mode <= 3) ? mode : kShowAll; }
    int scaleMode() const { return scaleMode_; }
    void setAlign(int bits) { align_ = bits & 15; }
    int align() const { return align_; }

    // Zoom(percent): below 100 magnifies, above 100 shrinks, 0 shows the whole stage again.
    void zoom(int percent);
    // A rectangle of the stage (twips) to fill the window; an empty one resets.
    void setZoomRect(const Rect& r);
    // Moves a zoomed view by pixels (mode 0) or percent of the window (mode 1).
    void pan(int dx, int dy, int mode, int clientWidth, int clientHeight);
    bool zoomed() const { return zoomed_; }
    const Rect& view() const { return view_; }

    // Stage twips to window pixels.
    Transform toClient(int clientWidth, int clientHeight) const;

  private:
    Rect stage_{0, 11000, 0, 8000};
    Rect view_{0, 11000, 0, 8000};
    bool zoomed_ = false;
    int scaleMode_ = kShowAll;
    int align_ = 0;
};

}  // namespace quill::movie
