// The owner-drawn hover button: subclassing, mouse-leave tracking through comctl32's
// "_TrackMouseEvent" found at run time, and the drawing of its normal, hot, pressed, focused and
// disabled states.
#include "projector/hover_button.h"

#include <commctrl.h>

namespace quill::projector {

namespace {

constexpr const wchar_t* kButtonProperty = L"QuillHoverButton";

using TrackMouseEventFn = BOOL(WINAPI*)(LPTRACKMOUSEEVENT);

TrackMouseEventFn trackMouseEvent() {
    static TrackMouseEventFn function = [] {
        HMODULE library = LoadLibraryW(L"comctl32.dll");
        return library ? reinterpret_cast<TrackMouseEventFn>(
                             reinterpret_cast<void*>(GetProcAddress(library, "_TrackMouseEvent")))
                       : nullptr;
    }();
    return function;
}

}  // namespace

bool CHoverButton::attach(HWND button) {
    detach();
    if (!button || !IsWindow(button)) return false;
    hwnd_ = button;
    SetPropW(button, kButtonProperty, this);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc)));
    return true;
}

void CHoverButton::detach() {
    if (!hwnd_) return;
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropW(hwnd_, kButtonProperty);
    }
    hwnd_ = nullptr;
    previous_ = nullptr;
    hovering_ = false;
}

void CHoverButton::trackLeave() {
    TrackMouseEventFn track = trackMouseEvent();
    if (!track) return;
    TRACKMOUSEEVENT request{};
    request.cbSize = sizeof request;
    request.dwFlags = TME_LEAVE;
    request.hwndTrack = hwnd_;
    if (track(&request)) {
        hovering_ = true;
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

LRESULT CALLBACK CHoverButton::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CHoverButton*>(GetPropW(hwnd, kButtonProperty));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    WNDPROC previous = self->previous_;
    switch (message) {
        case WM_MOUSEMOVE:
            if (!self->hovering_) self->trackLeave();
            break;
        case WM_MOUSELEAVE:
            self->hovering_ = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            break;
        case WM_NCDESTROY: {
            self->detach();
            return CallWindowProcW(previous, hwnd, message, wParam, lParam);
        }
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

bool CHoverButton::drawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) return false;
    auto* self = static_cast<CHoverButton*>(GetPropW(item.hwndItem, kButtonProperty));
    if (!self) return false;
    self->draw(item);
    return true;
}

void CHoverButton::draw(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    bool pressed = (item.itemState & ODS_SELECTED) != 0;
    bool disabled = (item.itemState & ODS_DISABLED) != 0;
    bool hot = hovering_ && !disabled;
    FillRect(dc, &r, GetSysColorBrush(hot ? COLOR_3DHILIGHT : COLOR_BTNFACE));
    if (pressed) {
        DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
    } else if (hot) {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    } else {
        DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    }
    wchar_t text[128] = L"";
    GetWindowTextW(item.hwndItem, text, 128);
    RECT textRect = r;
    if (pressed) OffsetRect(&textRect, 1, 1);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : hot ? COLOR_HOTLIGHT : COLOR_BTNTEXT));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    DrawTextW(dc, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (old) SelectObject(dc, old);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace quill::projector
