// The stage-to-window transform. The view rectangle is the part of the stage shown: the whole
// stage, or what zoom and pan left; the scale mode then fits it into the window.
#include "control/stage_view.h"

#include <algorithm>
#include <cmath>

namespace quill::movie {

void StageView::setStage(const Rect& frame) {
    stage_ = frame;
    if (stage_.width() <= 0 || stage_.height() <= 0) stage_ = {0, 11000, 0, 8000};
    view_ = stage_;
    zoomed_ = false;
}

void StageView::zoom(int percent) {
    if (percent <= 0) {
        view_ = stage_;
        zoomed_ = false;
        return;
    }
    // Around the centre of the current view; kept between 1/20 and 20 times the stage.
    double cx = (view_.xMin + double(view_.xMax)) / 2, cy = (view_.yMin + double(view_.yMax)) / 2;
    double w = view_.width() * percent / 100.0, h = view_.height() * percent / 100.0;
    double minW = stage_.width() / 20.0, maxW = stage_.width() * 20.0;
    double f = std::clamp(w, minW, maxW) / w;
    w *= f;
    h *= f;
    view_ = {static_cast<int32_t>(std::lround(cx - w / 2)),
             static_cast<int32_t>(std::lround(cx + w / 2)),
             static_cast<int32_t>(std::lround(cy - h / 2)),
             static_cast<int32_t>(std::lround(cy + h / 2))};
    if (view_.width() <= 0 || view_.height() <= 0) view_ = stage_;
    zoomed_ = !(view_ == stage_);
}

void StageView::setZoomRect(const Rect& r) {
    if (r.width() <= 0 || r.height() <= 0) {
        view_ = stage_;
        zoomed_ = false;
        return;
    }
    view_ = r;
    zoomed_ = true;
}

void StageView::pan(int dx, int dy, int mode, int clientWidth, int clientHeight) {
    if (!zoomed_) return;
    double tx, ty;
    if (mode == 1) {
        tx = view_.width() * dx / 100.0;
        ty = view_.height() * dy / 100.0;
    } else {
        Transform t = toClient(clientWidth, clientHeight);
        tx = t.a != 0 ? dx / t.a : 0;
        ty = t.d != 0 ? dy / t.d : 0;
    }
    // The view stays over the stage.
    double w = view_.width(), h = view_.height();
    double x = std::clamp(view_.xMin + tx, double(stage_.xMin),
                          std::max(double(stage_.xMin), stage_.xMax - w));
    double y = std::clamp(view_.yMin + ty, double(stage_.yMin),
                          std::max(double(stage_.yMin), stage_.yMax - h));
    view_ = {static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(x + w)),
             static_cast<int32_t>(std::lround(y)), static_cast<int32_t>(std::lround(y + h))};
}

Transform StageView::toClient(int clientWidth, int clientHeight) const {
    double vw = view_.width(), vh = view_.height();
    double sx = clientWidth / vw, sy = clientHeight / vh;
    Transform t;
    if (scaleMode_ == kExactFit) {
        t.a = sx;
        t.d = sy;
        t.tx = -view_.xMin * sx;
        t.ty = -view_.yMin * sy;
        return t;
    }
    double s;
    switch (scaleMode_) {
        case kNoBorder:
            s = std::max(sx, sy);
            break;
        case kNoScale:
            s = 1.0 / kTwipsPerPixel * stage_.width() / vw;
            break;
        default:
            s = std::min(sx, sy);
            break;
    }
    double extraX = clientWidth - vw * s, extraY = clientHeight - vh * s;
    double ox = (align_ & kAlignLeft) ? 0 : (align_ & kAlignRight) ? extraX : extraX / 2;
    double oy = (align_ & kAlignTop) ? 0 : (align_ & kAlignBottom) ? extraY : extraY / 2;
    t.a = s;
    t.d = s;
    t.tx = ox - view_.xMin * s;
    t.ty = oy - view_.yMin * s;
    return t;
}

}  // namespace quill::movie
