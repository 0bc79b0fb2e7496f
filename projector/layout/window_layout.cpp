// The settings record's window rules as arithmetic; see window_layout.h.
#include "projector/layout/window_layout.h"

#include <algorithm>

namespace quill::projector::layout {
namespace {

constexpr uint32_t bit(int n) {
    return 1u << n;
}

uint32_t readU32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

}  // namespace

Styles frameStyles(uint32_t frameStyle, uint32_t frameButtons, Styles current) {
    Styles out{current.style & ~kStyleFrameMask, current.exStyle & ~kExFrameMask};
    bool popup = (frameStyle & bit(0)) != 0;
    if (popup) {
        out.style |= kStylePopup;
        frameButtons &= ~(bit(0) | bit(12));
        out.exStyle &= ~kExClientEdge;
    } else if (frameStyle & bit(4)) {
        out.style |= kStyleCaption;
    } else if (frameStyle & bit(8)) {
        out.style |= kStyleCaption | kStyleThickFrame;
    }
    if (frameButtons & bit(0)) out.style |= kStyleMaximizeBox;
    if (frameButtons & bit(4)) out.style |= kStyleMinimizeBox;
    if (frameButtons & bit(8)) out.style |= kStyleSysMenu;
    if (frameButtons & bit(12)) out.exStyle |= kExContextHelp;
    if ((frameStyle & bit(12)) && !popup) out.exStyle |= kExToolWindow;
    if (!(frameStyle & bit(16))) out.exStyle |= kExAppWindow;
    return out;
}

std::optional<int32_t> scaleModeOf(uint32_t frameParam) {
    switch (frameParam) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 256:
            return 2;
        case 16:
            return 3;
        default:
            return std::nullopt;
    }
}

Placement placeWindow(const project::ProjectSettings& s, Size screen, Rect window, Size client,
                      std::optional<Size> movie) {
    int32_t width = window.width();
    int32_t height = window.height();
    switch (s.sizeMode) {
        case 0:
        case 2:
            if (movie && movie->cx > 0 && movie->cy > 0) {
                width = movie->cx + (window.width() - client.cx);
                height = movie->cy + (window.height() - client.cy);
            }
            break;
        case 3:
            width = s.width;
            height = s.height;
            break;
        case 4: {
            // More than the whole screen is no percentage of it: the window would hang off
            // every edge with its caption and borders out of reach.
            int64_t percent = std::min<int64_t>(s.height, 100);
            width = int32_t(percent * screen.cx / 100);
            height = int32_t(percent * screen.cy / 100);
            break;
        }
        default:
            break;
    }
    if (s.sizeMode == 1) return {{0, 0, screen.cx, screen.cy}, Show::kFullScreen};

    int32_t centreX = (screen.cx - width) / 2, centreY = (screen.cy - height) / 2;
    int32_t rightX = screen.cx - width, bottomY = screen.cy - height;
    int32_t x = 0, y = 0;
    switch (s.positionMode) {
        case 0:
            break;
        case 1:
            x = centreX;
            break;
        case 2:
            x = rightX;
            break;
        case 3:
            y = centreY;
            break;
        case 4:
            x = centreX, y = centreY;
            break;
        case 5:
            x = rightX, y = centreY;
            break;
        case 6:
            y = bottomY;
            break;
        case 7:
            x = centreX, y = bottomY;
            break;
        case 8:
            x = rightX, y = bottomY;
            break;
        case 9:
            x = s.x, y = s.y;
            break;
        case 10:
            x = int32_t(int64_t(s.x) * screen.cx / 100);
            y = int32_t(int64_t(s.y) * screen.cy / 100);
            break;
        default:
            // An unknown position keeps the window where and as large as it is.
            return {window, s.sizeMode == 2 ? Show::kMaximized : Show::kNormal};
    }
    return {{x, y, x + width, y + height}, s.sizeMode == 2 ? Show::kMaximized : Show::kNormal};
}

Rect keepOnDesktop(Rect window, Rect desktop, Size screen) {
    bool shows = window.left < desktop.right && window.right > desktop.left &&
                 window.top < desktop.bottom && window.bottom > desktop.top;
    if (shows) return window;
    int32_t x = std::clamp(window.left, 0, std::max(0, screen.cx - window.width()));
    int32_t y = std::clamp(window.top, 0, std::max(0, screen.cy - window.height()));
    return {x, y, x + window.width(), y + window.height()};
}

float aspectRatio(Size client) {
    return client.cy > 0 ? float(client.cx) / float(client.cy) : 0.0f;
}

Rect keepAspect(float ratio, Rect before, Rect after, Size overhead) {
    if (ratio == 0.0f) return after;
    Rect out = after;
    if (after.width() != before.width()) {
        float clientWidth = float(after.width() - overhead.cx);
        out.bottom = out.top + int32_t(clientWidth / ratio) + overhead.cy;
    } else {
        float clientHeight = float(after.height() - overhead.cy);
        out.right = out.left + int32_t(clientHeight * ratio) + overhead.cx;
    }
    return out;
}

std::optional<Transform> maskTransform(int32_t scaleMode, Size movie, Size client,
                                       Size clientOffset) {
    if (movie.cx <= 0 || movie.cy <= 0) return std::nullopt;
    float mw = float(movie.cx), mh = float(movie.cy);
    float cw = float(client.cx), ch = float(client.cy);
    Transform t;
    switch (scaleMode) {
        case 0:
        case 1: {
            float fx = cw / mw, fy = ch / mh;
            float f = scaleMode == 0 ? std::min(fx, fy) : std::max(fx, fy);
            t.scaleX = t.scaleY = f;
            t.dx = (cw - mw * f) / 2;
            t.dy = (ch - mh * f) / 2;
            break;
        }
        case 2:
            t.scaleX = cw / mw;
            t.scaleY = ch / mh;
            break;
        case 3:
            t.dx = (cw - mw) / 2;
            t.dy = (ch - mh) / 2;
            break;
        default:
            return std::nullopt;
    }
    t.dx += float(clientOffset.cx);
    t.dy += float(clientOffset.cy);
    return t;
}

std::optional<std::span<const uint8_t>> maskRegionData(std::span<const uint8_t> file) {
    constexpr size_t kHeader = 32, kRect = 16;
    if (file.size() < 4) return std::nullopt;
    uint64_t count = readU32(file, 0);
    if (count < kHeader || count > file.size() - 4) return std::nullopt;
    std::span<const uint8_t> data = file.subspan(4, size_t(count));
    if (readU32(data, 0) != kHeader || readU32(data, 4) != 1) return std::nullopt;
    uint64_t rects = readU32(data, 8);
    if (rects > (count - kHeader) / kRect) return std::nullopt;
    return data;
}

std::vector<MenuItem> systemMenuAdditions(uint32_t flags) {
    std::vector<MenuItem> out;
    if (!(flags & (bit(0) | bit(4) | bit(8) | bit(12)))) return out;
    out.push_back(MenuItem::kSeparator);
    if (flags & bit(4)) out.push_back(MenuItem::kPlayerMenu);
    if (flags & bit(0)) out.push_back(MenuItem::kConfig);
    if (flags & bit(12)) out.push_back(MenuItem::kHelp);
    if (flags & bit(8)) {
        // The separator before "About..." would follow the leading one when nothing else is added.
        if (flags & (bit(0) | bit(4) | bit(12))) out.push_back(MenuItem::kSeparator);
        out.push_back(MenuItem::kAbout);
    }
    return out;
}

MenuStates menuStates(const project::ProjectSettings& s, bool maximized) {
    return {.restore = maximized,
            .size = (s.frameStyle & bit(8)) != 0,
            .maximize = (s.frameButtons & bit(0)) && !(s.frameStyle & bit(0)),
            .minimize = (s.frameButtons & bit(4)) != 0};
}

Toggle trayToggle(WindowState state) {
    switch (state) {
        case WindowState::kHidden:
            return Toggle::kShow;
        case WindowState::kVisible:
            return Toggle::kMinimizeAndHide;
        case WindowState::kMinimized:
            break;
    }
    return Toggle::kRestore;
}

const char* trayToggleText(WindowState state) {
    switch (state) {
        case WindowState::kHidden:
            return "Show ";
        case WindowState::kVisible:
            return "Hide ";
        case WindowState::kMinimized:
            break;
    }
    return "Restore ";
}

MouseDecision mouseFilter(uint32_t leftMode, uint32_t rightMode, Mouse message, bool dragging,
                          bool leftButtonDown) {
    MouseDecision d;
    switch (message) {
        case Mouse::kMove:
            d.moveWindow = leftMode == 1 && dragging && leftButtonDown;
            break;
        case Mouse::kLeftDown:
            d.passOn = leftMode <= 1;
            d.startDrag = leftMode == 1;
            break;
        case Mouse::kLeftUp:
            d.passOn = leftMode <= 1;
            d.endDrag = leftMode == 1;
            // The drag ends where the button came up, whichever moves before it were merged.
            d.moveWindow = leftMode == 1 && dragging;
            break;
        case Mouse::kLeftDouble:
            d.passOn = leftMode == 0;
            break;
        case Mouse::kRightDown:
            d.passOn = rightMode == 0;
            d.showMenu = rightMode == 1;
            break;
        case Mouse::kRightDouble:
            d.passOn = rightMode != 2;
            break;
    }
    return d;
}

KeyDecision keyFilter(const project::ProjectSettings& s, Key message, uint32_t virtualKey,
                      uint16_t heldModifiers) {
    KeyDecision d;
    d.passOn = !(s.inputFlags & bit(4));
    if (message == Key::kUp || message == Key::kSysUp) {
        if ((s.closeFlags & bit(0)) && virtualKey == kVirtualKeyEscape) d.close = true;
        uint16_t wanted = s.closeModifiers & (kModifierShift | kModifierCtrl | kModifierAlt);
        if ((s.closeFlags & bit(4)) && virtualKey == s.closeKey &&
            (heldModifiers & wanted) == wanted) {
            d.close = true;
        }
    }
    return d;
}

}  // namespace quill::projector::layout
