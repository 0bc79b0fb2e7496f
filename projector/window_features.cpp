// The settings record applied to the main window: frame style, placement and aspect ratio, the
// mask shape, window flags, system menu and its popups, the notification-area icon, the
// system-wide settings, and the help command.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "projector/ansi_text.h"
#include "projector/dialogs.h"
#include "projector/layout/window_layout.h"
#include "projector/main_frame.h"
#include "projector/movie_frame.h"
#include "projector/projector_app.h"
#include "projector/projector_texts.h"
#include "projector/transparent_shape.h"

namespace quill::projector {

namespace {

constexpr UINT kTrayIconId = 128;
constexpr UINT kTrayToggleCommand = 32784;
constexpr UINT kCloseCommand = 8;

layout::Rect fromRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

layout::Size clientSize(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return {r.right, r.bottom};
}

layout::Size screenSize() {
    HDC screen = GetDC(nullptr);
    layout::Size size{GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES)};
    ReleaseDC(nullptr, screen);
    return size;
}

// A copy of a popup menu with its submenus (the system menu must own what it shows).
HMENU copyMenu(HMENU source) {
    HMENU copy = CreatePopupMenu();
    int count = GetMenuItemCount(source);
    for (int i = 0; i < count; i++) {
        wchar_t text[128] = L"";
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_STATE;
        item.dwTypeData = text;
        item.cch = static_cast<UINT>(std::size(text));
        if (!GetMenuItemInfoW(source, static_cast<UINT>(i), TRUE, &item)) continue;
        if (item.hSubMenu) item.hSubMenu = copyMenu(item.hSubMenu);
        item.dwTypeData = text;
        InsertMenuItemW(copy, static_cast<UINT>(i), TRUE, &item);
    }
    return copy;
}

// The "Macromedia Flash Player" submenu of menu 130, copied; null when the resource is missing.
HMENU playerMenuCopy(std::wstring* title) {
    HMENU resource = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(130));
    if (!resource) return nullptr;
    HMENU copy = nullptr;
    HMENU popup = GetSubMenu(resource, 0);
    if (popup) {
        if (HMENU player = GetSubMenu(popup, 0)) {
            copy = copyMenu(player);
            wchar_t text[128] = L"";
            GetMenuStringW(popup, 0, text, static_cast<int>(std::size(text)), MF_BYPOSITION);
            *title = text;
        }
    }
    DestroyMenu(resource);
    return copy;
}

}  // namespace

void CMainFrame::ApplyFrameStyle() {
    const project::ProjectSettings& s = app_.settings();
    SetMenu(hwnd_, nullptr);
    ShowWindow(hwnd_, SW_HIDE);
    layout::Styles now{static_cast<uint32_t>(GetWindowLongW(hwnd_, GWL_STYLE)),
                       static_cast<uint32_t>(GetWindowLongW(hwnd_, GWL_EXSTYLE))};
    layout::Styles next = layout::frameStyles(s.frameStyle, s.frameButtons, now);
    SetWindowLongW(hwnd_, GWL_STYLE, static_cast<LONG>(next.style));
    SetWindowLongW(hwnd_, GWL_EXSTYLE, static_cast<LONG>(next.exStyle));
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetWindowTextA(hwnd_, s.windowTitle.c_str());
    SendMessageW(hwnd_, kMsgScaleMode, 0, s.frameParam);
}

void CMainFrame::ApplyPlacement(const std::string& moviePath) {
    RECT window;
    GetWindowRect(hwnd_, &window);
    const layout::Size screen = screenSize();
    layout::Placement p =
        layout::placeWindow(app_.settings(), screen, fromRect(window), clientSize(hwnd_),
                            movieFrameSize(wideFromAnsi(moviePath)));
    layout::Rect desktop{
        GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
        GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
        GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    p.window = layout::keepOnDesktop(p.window, desktop, screen);
    SetWindowPos(hwnd_, nullptr, p.window.left, p.window.top, p.window.width(), p.window.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, p.show == layout::Show::kMaximized ? SW_MAXIMIZE : SW_SHOW);
}

void CMainFrame::TakeAspectRatio() {
    aspect_ = layout::aspectRatio(clientSize(hwnd_));
}

void CMainFrame::onEnterSizeMove() {
    GetWindowRect(hwnd_, &sizeMoveStart_);
    moving_ = true;
}

void CMainFrame::onExitSizeMove() {
    moving_ = false;
    if (!app_.settings().keepAspect || aspect_ == 0.0f) return;
    RECT window;
    GetWindowRect(hwnd_, &window);
    layout::Size client = clientSize(hwnd_);
    layout::Size overhead{(window.right - window.left) - client.cx,
                          (window.bottom - window.top) - client.cy};
    layout::Rect kept =
        layout::keepAspect(aspect_, fromRect(sizeMoveStart_), fromRect(window), overhead);
    if (kept == fromRect(window)) return;
    SetWindowPos(hwnd_, nullptr, kept.left, kept.top, kept.width(), kept.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainFrame::ApplyWindowShape() {
    const project::ProjectSettings& s = app_.settings();
    HRGN region = nullptr;
    if (s.windowShape == 2 && !s.maskName.empty() && control_.created()) {
        std::string path = app_.workFolder() + s.maskName + ".msk";
        std::ifstream file(wideFromAnsi(path).c_str(), std::ios::binary);
        std::vector<uint8_t> bytes;
        if (file) bytes.assign(std::istreambuf_iterator<char>(file), {});
        auto data = layout::maskRegionData(bytes);
        auto movie = movieFrameSize(wideFromAnsi(moviePath_));
        RECT window, controlRect{};
        GetWindowRect(hwnd_, &window);
        POINT origin{0, 0};
        ClientToScreen(hwnd_, &origin);
        if (control_.window()) GetClientRect(control_.window(), &controlRect);
        auto t = movie ? layout::maskTransform(control_.getLong(L"ScaleMode"), *movie,
                                               {controlRect.right, controlRect.bottom},
                                               {origin.x - window.left, origin.y - window.top})
                       : std::nullopt;
        if (data && t) {
            XFORM xform{t->scaleX, 0, 0, t->scaleY, t->dx, t->dy};
            const auto* rgn = reinterpret_cast<const RGNDATA*>(data->data());
            // The count the file gives without its header; a system that wants the whole
            // structure counted gets it on the second try.
            region = ExtCreateRegion(&xform, static_cast<DWORD>(data->size() - 32), rgn);
            if (!region) region = ExtCreateRegion(&xform, static_cast<DWORD>(data->size()), rgn);
        }
    }
    SetWindowRgn(hwnd_, region, TRUE);  // the window owns the region from here on
    UpdateWindow(hwnd_);
}

void CMainFrame::onControlPaint() {
    uint32_t shape = app_.settings().windowShape;
    if ((shape != 1 && shape != 3) || shaping_ || !control_.window()) return;
    shaping_ = true;
    RECT window;
    GetWindowRect(hwnd_, &window);
    POINT origin{0, 0};
    ClientToScreen(control_.window(), &origin);
    HRGN region =
        movieShapeRegion(control_, shape, {origin.x - window.left, origin.y - window.top});
    if (region) {
        // Giving the window the region it has would repaint the movie, and so for ever.
        HRGN current = CreateRectRgn(0, 0, 0, 0);
        bool same = GetWindowRgn(hwnd_, current) != ERROR && EqualRgn(current, region);
        DeleteObject(current);
        if (same) {
            DeleteObject(region);
        } else {
            SetWindowRgn(hwnd_, region, TRUE);
        }
    }
    shaping_ = false;
}

void CMainFrame::ApplyWindowFlags(bool show) {
    uint32_t flags = app_.settings().windowFlags;
    if (flags & 0x10) ShowWindow(hwnd_, SW_MINIMIZE);
    SetWindowPos(hwnd_, (flags & 0x100) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : 0));
}

void CMainFrame::appendMenuAdditions(HMENU menu) {
    for (layout::MenuItem item : layout::systemMenuAdditions(app_.settings().systemMenuFlags)) {
        switch (item) {
            case layout::MenuItem::kSeparator:
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                break;
            case layout::MenuItem::kPlayerMenu: {
                std::wstring title;
                if (HMENU player = playerMenuCopy(&title)) {
                    AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(player),
                                title.c_str());
                }
                break;
            }
            case layout::MenuItem::kConfig:
                AppendMenuW(menu, MF_STRING, kConfigCommand, L"Config...");
                break;
            case layout::MenuItem::kHelp:
                AppendMenuW(menu, MF_STRING, kHelpCommand, L"Help");
                break;
            case layout::MenuItem::kAbout:
                AppendMenuW(menu, MF_STRING, kAboutCommand, L"About...");
                break;
        }
    }
}

void CMainFrame::BuildSystemMenu() {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (!menu) return;
    while (GetMenuItemCount(menu) > systemMenuItems_) {
        DeleteMenu(menu, static_cast<UINT>(GetMenuItemCount(menu) - 1), MF_BYPOSITION);
    }
    appendMenuAdditions(menu);
}

void CMainFrame::onInitMenuPopup(HMENU menu, LPARAM lParam) {
    input_.checkPlayerItems(menu);  // the player submenu, wherever it is shown
    if (HIWORD(lParam)) return;     // the system menu itself: the system decides
    layout::MenuStates states = layout::menuStates(app_.settings(), IsZoomed(hwnd_) != 0);
    auto enable = [menu](UINT command, bool on) {
        EnableMenuItem(menu, command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    };
    enable(SC_RESTORE, states.restore);
    enable(SC_SIZE, states.size);
    enable(SC_MAXIMIZE, states.maximize);
    enable(SC_MINIMIZE, states.minimize);
}

void CMainFrame::showOptions() {
    if (modalOpen_) return;
    OptionsContext context;
    context.movies = &app_.movies();
    context.masks = &app_.masks();
    context.workFolder = app_.workFolder();
    GetWindowRect(hwnd_, &context.window);
    context.client = clientSize(hwnd_);
    context.movie = movieFrameSize(wideFromAnsi(moviePath_));
    project::ProjectSettings edited = app_.settings();
    modalOpen_ = true;
    bool ok = ShowOptions(hwnd_, &edited, context);
    modalOpen_ = false;
    if (!ok || !IsWindow(hwnd_)) return;
    app_.editableSettings() = std::move(edited);
    app_.storeOptions();
    ReapplySettings();
}

void CMainFrame::showAbout() {
    if (modalOpen_) return;
    modalOpen_ = true;
    ShowAbout(hwnd_, app_.settings(), app_.workFolder(),
              control_.created() ? control_.dispatch() : nullptr, control_.window());
    modalOpen_ = false;
}

bool CMainFrame::onSysCommand(WPARAM command) {
    UINT id = static_cast<UINT>(command & 0xFFFF);
    if (id == kConfigCommand) {
        showOptions();
        return true;
    }
    if (id == kAboutCommand) {
        showAbout();
        return true;
    }
    if (id == kHelpCommand) {
        const std::string& help = app_.settings().helpFile;
        if ((app_.settings().miscFlags & 0x1000) && !help.empty()) {
            bool chm = help.size() >= 3 && lstrcmpiA(help.c_str() + help.size() - 3, "chm") == 0;
            if (chm) {
                static HMODULE library = LoadLibraryA("HHCTRL.OCX");
                using HtmlHelpFn = HWND(WINAPI*)(HWND, const char*, UINT, DWORD_PTR);
                auto htmlHelp = library ? reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(
                                              GetProcAddress(library, "HtmlHelpA")))
                                        : nullptr;
                if (htmlHelp) htmlHelp(hwnd_, help.c_str(), 0 /* display topic */, 0);
            } else {
                WinHelpA(hwnd_, help.c_str(), HELP_FINDER, 0);
            }
        }
        return true;
    }
    // The player submenu of the system menu acts on the movie like the projector's other menus.
    if (isPlayerCommand(id)) return input_.playerCommand(id);
    return false;
}

void CMainFrame::AddTrayIcon() {
    if (trayIcon_) return;
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data.uCallbackMessage = kMsgTrayIcon;
    int icon = (app_.settings().windowFlags & 0x2) ? 128 : 198;
    data.hIcon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, 0));
    lstrcpynA(data.szTip, caption().c_str(), 64);
    trayIcon_ = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

void CMainFrame::RemoveTrayIcon() {
    if (!trayIcon_) return;
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
    trayIcon_ = false;
}

void CMainFrame::toggleFromTray() {
    if (!IsWindowVisible(hwnd_)) {
        ShowWindow(hwnd_, SW_SHOW);
    } else if (IsIconic(hwnd_)) {
        ShowWindow(hwnd_, SW_RESTORE);
    } else {
        ShowWindow(hwnd_, SW_MINIMIZE);
        ShowWindow(hwnd_, SW_HIDE);
    }
}

void CMainFrame::onTrayIcon(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        toggleFromTray();
        return;
    }
    if (mouseMessage != WM_RBUTTONUP) return;
    layout::WindowState state = !IsWindowVisible(hwnd_) ? layout::WindowState::kHidden
                                : IsIconic(hwnd_)       ? layout::WindowState::kMinimized
                                                        : layout::WindowState::kVisible;
    HMENU menu = CreatePopupMenu();
    std::string first = layout::trayToggleText(state) + caption();
    AppendMenuA(menu, MF_STRING, kTrayToggleCommand, first.c_str());
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    int before = GetMenuItemCount(menu);
    appendMenuAdditions(menu);
    if (GetMenuItemCount(menu) > before) AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kCloseCommand, "&Close");
    SetMenuDefaultItem(menu, 0, TRUE);
    if (control_.window()) {
        SendMessageW(control_.window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    }
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(hwnd_);
    UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x,
                                 cursor.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    if (chosen == kCloseCommand) {
        SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    } else if (chosen == kTrayToggleCommand) {
        toggleFromTray();
    } else if (isPlayerCommand(chosen) && control_.window()) {
        SendMessageW(control_.window(), WM_COMMAND, chosen, 0);
    } else if (chosen) {
        SendMessageW(hwnd_, WM_SYSCOMMAND, chosen, 0);
    }
}

void CMainFrame::ReapplySettings() {
    ApplyFrameStyle();
    ApplyPlacement(moviePath_);
    ApplyWindowShape();
    UndoSystemSettings();
    ApplySystemSettings();
    ApplyWindowFlags(true);
    BuildSystemMenu();
    SendMessageW(hwnd_, kMsgBackground, 0, app_.settings().miscParam);
    app_.applyMute();
    TakeAspectRatio();
    if (app_.settings().windowFlags & 0x1000) {
        AddTrayIcon();
    } else {
        RemoveTrayIcon();
    }
}

void CMainFrame::ApplySystemSettings() {
    // Only the cursor is ours to change here: the task-switch and screen-saver switches of the
    // settings exist on the old single-user systems only, which this projector does not run on.
    bool hide = (app_.settings().taskbarFlag & 0x10) != 0;
    if (hide == cursorHidden_) return;
    if (hide) {
        while (ShowCursor(FALSE) >= 0) {
        }
    } else {
        while (ShowCursor(TRUE) < 0) {
        }
    }
    cursorHidden_ = hide;
}

void CMainFrame::UndoSystemSettings() {
    if (!cursorHidden_) return;
    while (ShowCursor(TRUE) < 0) {
    }
    cursorHidden_ = false;
}

}  // namespace quill::projector
