// The main window: creation with the hosted control, sizing the control with the client area,
// the private messages, playing movies, the open-movie command and the close procedure.
#include "projector/main_frame.h"

#include "projector/ansi_text.h"
#include "projector/dialogs.h"
#include "projector/layout/window_layout.h"
#include "projector/projector_app.h"
#include "projector/projector_texts.h"
#include "projector/script_objects.h"

namespace quill::projector {

namespace {

constexpr const wchar_t* kFrameClass = L"QuillProjectorFrame";
}  // namespace

CMainFrame::~CMainFrame() {
    setScriptControl(nullptr);
    control_.destroy();
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool CMainFrame::create(HWND owner) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassW(&wc);
    HWND created = CreateWindowExW(WS_EX_APPWINDOW, kFrameClass, L"", WS_OVERLAPPEDWINDOW,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   owner, nullptr, wc.hInstance, this);
    return created != nullptr;
}

std::string CMainFrame::caption() const {
    if (!hwnd_) return {};
    char text[512];
    int n = GetWindowTextA(hwnd_, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

void CMainFrame::showError(const std::string& text) {
    MessageBoxA(hwnd_, text.c_str(), caption().c_str(), MB_OK | MB_ICONHAND);
}

LRESULT CALLBACK CMainFrame::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CMainFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<CMainFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

bool CMainFrame::onCreate() {
    std::wstring file = app_.EnsureFlashControl();
    bool ok =
        control_.create(hwnd_, file, [this](const std::string& command, const std::string& args) {
            bridge_.OnFSCommand(command.c_str(), args.c_str());
        });
    if (!ok) {
        if (bridge_.RunStartupScript()) {
            MessageBoxA(hwnd_, kNoFlashControl, caption().c_str(), MB_OK | MB_ICONHAND);
        }
        return false;
    }
    setScriptControl(&control_);
    input_.attach(control_.window());
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) systemMenuItems_ = GetMenuItemCount(menu);
    return true;
}

LRESULT CMainFrame::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return onCreate() ? 0 : -1;
        case WM_SIZE: {
            RECT client;
            GetClientRect(hwnd_, &client);
            control_.move(client);
            return 0;
        }
        case WM_CLOSE:
        case kMsgClose:
            ClosePlayer();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kOpenMovieCommand) {
                onOpenMovie();
                return 0;
            }
            break;
        case kMsgScaleMode:
            if (auto mode = layout::scaleModeOf(static_cast<uint32_t>(lParam))) {
                control_.putLong(L"ScaleMode", *mode);
            }
            return 0;
        case kMsgApplyShape:
            ApplyWindowShape();
            return 0;
        case kMsgTrayIcon:
            onTrayIcon(lParam);
            return 0;
        case WM_ENTERSIZEMOVE:
            onEnterSizeMove();
            break;
        case WM_EXITSIZEMOVE:
            onExitSizeMove();
            break;
        case WM_SYSCOMMAND:
            if (onSysCommand(wParam)) return 0;
            break;
        case WM_INITMENUPOPUP:
            onInitMenuPopup(reinterpret_cast<HMENU>(wParam), lParam);
            break;
        case kMsgBackground:
            if (lParam & 1) {
                uint32_t rgb = app_.settings().miscParam & 0xFFFFFF;
                long color = static_cast<long>(swapRedAndBlue(rgb));
                control_.putLong(L"BackgroundColor", color);
            }
            return 0;
        case WM_TIMER:
            if (wParam == kPendingQuitTimer) {
                bridge_.finishPendingQuit();
                return 0;
            }
            break;
        case kMsgPendingQuit:
            bridge_.finishPendingQuit();
            return 0;
        case WM_DESTROY:
            destroyCreatedControls();
            RemoveTrayIcon();
            input_.detach();
            setScriptControl(nullptr);
            control_.destroy();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND window = hwnd_;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return DefWindowProcW(window, message, wParam, lParam);
        }
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void CMainFrame::PlayMovie(const std::string& path) {
    control_.putBool(L"Playing", (app_.settings().windowFlags & 1) != 0);
    // Known before the movie starts: its first frame may already run scripts that ask for it.
    moviePath_ = path;
    control_.putText(L"Movie", wideFromAnsi(path));
    input_.attach(control_.window());
}

void CMainFrame::onOpenMovie() {
    if (!openMovie_ || modalOpen_) return;
    modalOpen_ = true;
    std::optional<std::string> location = AskMovieLocation(hwnd_);
    modalOpen_ = false;
    if (!location || !IsWindow(hwnd_)) return;
    PlayMovie(*location);
    ApplyPlacement(*location);
    TakeAspectRatio();
}

void CMainFrame::ClosePlayer() {
    // Also while a window's handler runs (which may wait in processMsg): closing destroys the
    // control and the engine that script is using.
    if (bridge_.depth() > 0 || bridge_.engineBusy()) {
        bridge_.setCloseRequested(true);
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        return;
    }
    bridge_.setCloseRequested(false);
    destroyCreatedControls();
    RemoveTrayIcon();
    input_.detach();
    setScriptControl(nullptr);
    control_.destroy();
    bridge_.OnFSCommand("Quill_Quit", "");
    DestroyWindow(hwnd_);
}

}  // namespace quill::projector
