// The hyperlink window class "PLEXORURL": draws its text in the link colour (the hover colour,
// underlined, while the mouse is over it), opens its address through the shell with "open" on a
// click or Enter/Space, and keeps the address as the text of a hidden child window so that it
// can be read like any window text.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include "projector/dialogs.h"

namespace quill::projector {

namespace {

// Opened by a link that was given no address.
constexpr const wchar_t* kProductAddress = L"https://quill.example.org/";

struct LinkState {
    HyperlinkStyle style;
    HFONT underlined = nullptr;  // the style's font with an underline, ours to delete
    HWND address = nullptr;
    bool hovering = false;
};

LinkState* stateOf(HWND hwnd) {
    return reinterpret_cast<LinkState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

HFONT baseFont(HWND hwnd, const LinkState& state) {
    if (state.style.font) return state.style.font;
    HWND parent = GetParent(hwnd);
    HFONT font = parent ? reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0)) : nullptr;
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void makeUnderlined(HWND hwnd, LinkState* state) {
    if (state->underlined) DeleteObject(state->underlined);
    state->underlined = nullptr;
    LOGFONTW font{};
    if (GetObjectW(baseFont(hwnd, *state), sizeof font, &font)) {
        font.lfUnderline = TRUE;
        state->underlined = CreateFontIndirectW(&font);
    }
}

void paint(HWND hwnd, const LinkState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    HWND parent = GetParent(hwnd);
    // The dialog's background behind the text, as static controls get it.
    HBRUSH background = parent ? reinterpret_cast<HBRUSH>(SendMessageW(
                                     parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(hwnd)))
                               : nullptr;
    FillRect(dc, &r, background ? background : GetSysColorBrush(COLOR_BTNFACE));
    wchar_t text[512] = L"";
    GetWindowTextW(hwnd, text, 512);
    HFONT font = state.hovering && state.underlined ? state.underlined : baseFont(hwnd, state);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, state.hovering ? state.style.hover : state.style.normal);
    DrawTextW(dc, text, -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    SelectObject(dc, old);
    if (GetFocus() == hwnd) DrawFocusRect(dc, &r);
    EndPaint(hwnd, &ps);
}

void open(HWND hwnd, const LinkState& state) {
    wchar_t address[2048] = L"";
    if (state.address) GetWindowTextW(state.address, address, 2048);
    const wchar_t* target = address[0] ? address : kProductAddress;
    ShellExecuteW(GetParent(hwnd), L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
    InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT CALLBACK linkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LinkState* state = stateOf(hwnd);
    switch (message) {
        case WM_NCCREATE:
            state = new LinkState;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
            break;
        case WM_CREATE:
            state->address =
                CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, hwnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHyperlinkAddressId)),
                                GetModuleHandleW(nullptr), nullptr);
            return 0;
        case WM_NCDESTROY:
            if (state) {
                if (state->underlined) DeleteObject(state->underlined);
                delete state;
                SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            }
            break;
        case WM_PAINT:
            if (state) {
                paint(hwnd, *state);
                return 0;
            }
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_MOUSEMOVE:
            if (state && !state->hovering) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
                TrackMouseEvent(&track);
                state->hovering = true;
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        case WM_MOUSELEAVE:
            if (state) state->hovering = false;
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(hwnd);
            return 0;
        case WM_LBUTTONUP:
            if (state) open(hwnd, *state);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_BUTTON;
        case WM_KEYDOWN:
            if ((wParam == VK_RETURN || wParam == VK_SPACE) && state) {
                open(hwnd, *state);
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

bool registerHyperlinkClass() {
    WNDCLASSW wc{};
    if (GetClassInfoW(GetModuleHandleW(nullptr), kHyperlinkClass, &wc)) return true;
    wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = linkProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kHyperlinkClass;
    return RegisterClassW(&wc) != 0;
}

void setHyperlink(HWND link, const std::wstring& text, const std::wstring& address,
                  const HyperlinkStyle& style) {
    LinkState* state = link ? stateOf(link) : nullptr;
    if (!state) return;
    state->style = style;
    makeUnderlined(link, state);
    if (state->address) SetWindowTextW(state->address, address.c_str());
    SetWindowTextW(link, text.c_str());
}

}  // namespace quill::projector
