// The control window's filter: mouse modes, key blocking, close keys and player commands.
#include "projector/control_input.h"

#include <commctrl.h>

#include <string>

#include "projector/layout/window_layout.h"
#include "projector/main_frame.h"
#include "projector/projector_app.h"
#include "projector/shockwave_flash.h"

namespace quill::projector {

namespace {

constexpr UINT_PTR kSubclassId = 0x51494E;

layout::Mouse mouseKind(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return layout::Mouse::kLeftDown;
        case WM_LBUTTONUP:
            return layout::Mouse::kLeftUp;
        case WM_LBUTTONDBLCLK:
            return layout::Mouse::kLeftDouble;
        case WM_RBUTTONDOWN:
            return layout::Mouse::kRightDown;
        case WM_RBUTTONDBLCLK:
            return layout::Mouse::kRightDouble;
        default:
            return layout::Mouse::kMove;
    }
}

layout::Key keyKind(UINT message) {
    switch (message) {
        case WM_KEYDOWN:
            return layout::Key::kDown;
        case WM_CHAR:
            return layout::Key::kChar;
        case WM_SYSKEYDOWN:
            return layout::Key::kSysDown;
        case WM_SYSCHAR:
            return layout::Key::kSysChar;
        case WM_KEYUP:
            return layout::Key::kUp;
        default:
            return layout::Key::kSysUp;
    }
}

uint16_t heldModifiers() {
    uint16_t held = 0;
    if (GetKeyState(VK_SHIFT) < 0) held |= layout::kModifierShift;
    if (GetKeyState(VK_CONTROL) < 0) held |= layout::kModifierCtrl;
    if (GetKeyState(VK_MENU) < 0) held |= layout::kModifierAlt;
    return held;
}

}  // namespace

bool isPlayerCommand(UINT id) {
    return id == kCmdRewind || id == kCmdZoomOut || (id >= kCmdShowAll && id <= kCmdQualityHigh) ||
           (id >= kCmdPlay && id <= kCmdAboutPlayer) || id == kCmdActualSize;
}

void ControlInput::attach(HWND controlWindow) {
    if (window_ == controlWindow) return;
    detach();
    if (controlWindow && SetWindowSubclass(controlWindow, subclassProc, kSubclassId,
                                           reinterpret_cast<DWORD_PTR>(this))) {
        window_ = controlWindow;
    }
}

void ControlInput::detach() {
    if (window_ && IsWindow(window_)) RemoveWindowSubclass(window_, subclassProc, kSubclassId);
    window_ = nullptr;
    dragging_ = false;
}

bool ControlInput::playerCommand(UINT id) {
    if (!control_.created()) return false;
    const wchar_t* quality = nullptr;
    switch (id) {
        case kCmdRewind:
            control_.call(L"Rewind", {}, nullptr);
            return true;
        case kCmdZoomOut:
        case kCmdZoomIn: {
            zoom_ += id == kCmdZoomIn ? 1 : -1;
            VARIANT factor;
            factor.vt = VT_I4;
            factor.lVal = zoom_;
            control_.call(L"Zoom", {factor}, nullptr);
            return true;
        }
        case kCmdShowAll:
            control_.putLong(L"ScaleMode", 0);
            return true;
        case kCmdActualSize:
            control_.putLong(L"ScaleMode", 3);
            return true;
        case kCmdQualityLow:
            quality = L"Low";
            break;
        case kCmdQualityMedium:
            quality = L"Medium";
            break;
        case kCmdQualityHigh:
            quality = L"High";
            break;
        case kCmdPlay:
            control_.call(control_.getLong(L"Playing") ? L"Stop" : L"Play", {}, nullptr);
            return true;
        case kCmdForward:
            control_.call(L"Forward", {}, nullptr);
            return true;
        case kCmdBack:
            control_.call(L"Back", {}, nullptr);
            return true;
        case kCmdLoop:
            control_.putBool(L"Loop", control_.getLong(L"Loop") == 0);
            return true;
        default:
            return false;
    }
    VARIANT current;
    VariantInit(&current);
    bool same = SUCCEEDED(control_.getProperty(L"Quality2", &current)) && current.vt == VT_BSTR &&
                current.bstrVal && lstrcmpW(current.bstrVal, quality) == 0;
    VariantClear(&current);
    if (!same) control_.putText(L"Quality2", quality);
    return true;
}

void ControlInput::checkPlayerItems(HMENU menu) {
    if (!menu || !control_.created()) return;
    auto check = [menu](UINT id, bool on) {
        CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    };
    check(kCmdPlay, control_.getLong(L"Playing") != 0);
    check(kCmdLoop, control_.getLong(L"Loop") != 0);
    long scale = control_.getLong(L"ScaleMode", -1);
    check(kCmdShowAll, scale == 0);
    check(kCmdActualSize, scale == 3);
    VARIANT quality;
    VariantInit(&quality);
    std::wstring current;
    if (SUCCEEDED(control_.getProperty(L"Quality2", &quality)) && quality.vt == VT_BSTR &&
        quality.bstrVal) {
        current = quality.bstrVal;
    }
    VariantClear(&quality);
    check(kCmdQualityLow, current == L"Low");
    check(kCmdQualityMedium, current == L"Medium");
    check(kCmdQualityHigh, current == L"High");
}

void ControlInput::showSystemMenu(POINT screen) {
    HWND main = frame_.hwnd();
    HMENU menu = GetSystemMenu(main, FALSE);
    if (!menu) return;
    SendMessageW(main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, FALSE));
    if (window_) SendMessageW(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    SetForegroundWindow(main);
    UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x,
                                 screen.y, 0, main, nullptr);
    if (!chosen) return;
    if (isPlayerCommand(chosen) && window_) {
        SendMessageW(window_, WM_COMMAND, chosen, 0);
    } else {
        SendMessageW(main, WM_SYSCOMMAND, chosen, 0);
    }
}

bool ControlInput::filter(UINT message, WPARAM wParam, LPARAM) {
    const project::ProjectSettings& s = frame_.app().settings();
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: {
            layout::MouseDecision d =
                layout::mouseFilter(s.interactionA, s.interactionB, mouseKind(message), dragging_,
                                    (wParam & MK_LBUTTON) != 0);
            // Where the pointer was when this message was made, not where it is now: on a busy
            // machine a quick drag is queued whole before the press is handled, and starting
            // from the pointer's present place would lose the travel.
            DWORD at = GetMessagePos();
            POINT cursor{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
            if (d.startDrag) {
                dragging_ = true;
                dragCursor_ = cursor;
                GetWindowRect(frame_.hwnd(), &dragWindow_);
                SetCapture(window_);
            }
            if (d.endDrag && dragging_) {
                dragging_ = false;
                if (GetCapture() == window_) ReleaseCapture();
            }
            if (d.moveWindow) {
                SetWindowPos(frame_.hwnd(), nullptr, dragWindow_.left + cursor.x - dragCursor_.x,
                             dragWindow_.top + cursor.y - dragCursor_.y, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            if (d.showMenu) showSystemMenu(cursor);
            return d.passOn;
        }
        case WM_KEYDOWN:
        case WM_CHAR:
        case WM_SYSKEYDOWN:
        case WM_SYSCHAR:
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            layout::KeyDecision d = layout::keyFilter(
                s, keyKind(message), static_cast<uint32_t>(wParam), heldModifiers());
            if (d.close) PostMessageW(frame_.hwnd(), WM_CLOSE, 0, 0);
            return d.passOn;
        }
        case WM_COMMAND:
            return !(HIWORD(wParam) == 0 && playerCommand(LOWORD(wParam)));
        case WM_PAINT:
            frame_.onControlPaint();
            return true;
        case WM_INITMENUPOPUP:
            checkPlayerItems(reinterpret_cast<HMENU>(wParam));
            return true;
        default:
            return true;
    }
}

LRESULT CALLBACK ControlInput::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<ControlInput*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, subclassProc, kSubclassId);
        if (self->window_ == hwnd) self->window_ = nullptr;
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    if (!self->filter(message, wParam, lParam)) return 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace quill::projector
