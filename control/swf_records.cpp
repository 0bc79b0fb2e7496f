// Names of tags, and the arithmetic on matrices and colour transforms the player shares.
#include "control/swf_records.h"

#include <algorithm>
#include <cmath>

namespace quill::movie {

const char* tagName(uint16_t code) {
    switch (code) {
        case kTagEnd:
            return "End";
        case kTagShowFrame:
            return "ShowFrame";
        case kTagDefineShape:
            return "DefineShape";
        case kTagPlaceObject:
            return "PlaceObject";
        case kTagRemoveObject:
            return "RemoveObject";
        case kTagDefineButton:
            return "DefineButton";
        case kTagSetBackgroundColor:
            return "SetBackgroundColor";
        case kTagDefineFont:
            return "DefineFont";
        case kTagDoAction:
            return "DoAction";
        case kTagDefineFontInfo:
            return "DefineFontInfo";
        case kTagDefineShape2:
            return "DefineShape2";
        case kTagProtect:
            return "Protect";
        case kTagPlaceObject2:
            return "PlaceObject2";
        case kTagRemoveObject2:
            return "RemoveObject2";
        case kTagDefineShape3:
            return "DefineShape3";
        case kTagDefineButton2:
            return "DefineButton2";
        case kTagDefineEditText:
            return "DefineEditText";
        case kTagDefineSprite:
            return "DefineSprite";
        case kTagFrameLabel:
            return "FrameLabel";
        case kTagDefineFont2:
            return "DefineFont2";
        case kTagFileAttributes:
            return "FileAttributes";
        default:
            return "Unknown";
    }
}

bool Transform::invert(Transform* out) const {
    double det = a * d - b * c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    double inv = 1.0 / det;
    out->a = d * inv;
    out->b = -b * inv;
    out->c = -c * inv;
    out->d = a * inv;
    out->tx = -(out->a * tx + out->c * ty);
    out->ty = -(out->b * tx + out->d * ty);
    return true;
}

double Transform::maxScale() const {
    double sx = std::sqrt(a * a + b * b);
    double sy = std::sqrt(c * c + d * d);
    return std::max(sx, sy);
}

static uint8_t channel(int value, int mult, int add) {
    return static_cast<uint8_t>(std::clamp(((value * mult) >> 8) + add, 0, 255));
}

Rgba applyColorTransform(const Rgba& c, const ColorTransform& x) {
    return {channel(c.r, x.multR, x.addR), channel(c.g, x.multG, x.addG),
            channel(c.b, x.multB, x.addB), channel(c.a, x.multA, x.addA)};
}

// The combined transform applies `inner` first. Terms are kept in range so repeated nesting
// cannot overflow.
ColorTransform combine(const ColorTransform& outer, const ColorTransform& inner) {
    auto mult = [](int o, int i) {
        return static_cast<int16_t>(std::clamp((o * i) >> 8, -32768, 32767));
    };
    auto add = [](int om, int ia, int oa) {
        return static_cast<int16_t>(std::clamp(((ia * om) >> 8) + oa, -32768, 32767));
    };
    ColorTransform r;
    r.multR = mult(outer.multR, inner.multR);
    r.multG = mult(outer.multG, inner.multG);
    r.multB = mult(outer.multB, inner.multB);
    r.multA = mult(outer.multA, inner.multA);
    r.addR = add(outer.multR, inner.addR, outer.addR);
    r.addG = add(outer.multG, inner.addG, outer.addG);
    r.addB = add(outer.multB, inner.addB, outer.addB);
    r.addA = add(outer.multA, inner.addA, outer.addA);
    return r;
}

}  // namespace quill::movie
