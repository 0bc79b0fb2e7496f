// The main window: creation with the hosted control, sizing the control with the client area,
// the private messages, playing movies, the open-movie command and the close procedure.
#include "projector/main_frame.h"

#include <commdlg.h>

#include <fstream>
#include <vector>

#include "control/swf_reader.h"
#include "projector/ansi_text.h"
#include "projector/projector_app.h"
#include "projector/projector_texts.h"
#include "projector/script_objects.h"

namespace quill::projector {

namespace {

constexpr const wchar_t* kFrameClass = L"QuillProjectorFrame";
constexpr size_t kMovieHeaderBytes = 1024;

// The movie's frame size in pixels from its header; false when the file cannot tell.
bool movieFrameSize(const std::string& path, SIZE* size) {
    std::ifstream file(wideFromAnsi(path).c_str(), std::ios::binary);
    if (!file) return false;
    std::vector<uint8_t> head(kMovieHeaderBytes);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    movie::MovieHeader header;
    if (!movie::readMovieHeader(head.data(), head.size(), &header)) return false;
    // Twips to pixels, rounded to the nearest pixel.
    size->cx = (header.frameSize.width() + 10) / 20;
    size->cy = (header.frameSize.height() + 10) / 20;
    return size->cx > 0 && size->cy > 0;
}

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
        case kMsgScaleMode: {
            long mode = -1;
            switch (lParam) {
                case 1:
                    mode = 0;
                    break;
                case 2:
                    mode = 1;
                    break;
                case 256:
                    mode = 2;
                    break;
                case 16:
                    mode = 3;
                    break;
            }
            if (mode >= 0) control_.putLong(L"ScaleMode", mode);
            return 0;
        }
        case kMsgBackground:
            if (lParam & 1) {
                uint32_t rgb = app_.settings().miscParam & 0xFFFFFF;
                long color =
                    static_cast<long>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
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
    control_.putText(L"Movie", wideFromAnsi(path));
}

void CMainFrame::ApplyFrameStyle() {
    SetWindowTextA(hwnd_, app_.settings().windowTitle.c_str());
    SendMessageW(hwnd_, kMsgScaleMode, 0, app_.settings().frameParam);
}

void CMainFrame::ApplyPlacement(const std::string& moviePath) {
    const project::ProjectSettings& s = app_.settings();
    RECT window, client;
    GetWindowRect(hwnd_, &window);
    GetClientRect(hwnd_, &client);
    int width = window.right - window.left, height = window.bottom - window.top;
    SIZE movie;
    if ((s.sizeMode == 0 || s.sizeMode == 2) && movieFrameSize(moviePath, &movie)) {
        width = movie.cx + (width - client.right);
        height = movie.cy + (height - client.bottom);
    } else if (s.sizeMode == 3 && s.width > 0 && s.height > 0) {
        width = s.width;
        height = s.height;
    }
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int x = (screenWidth - width) / 2, y = (screenHeight - height) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, s.sizeMode == 2 ? SW_MAXIMIZE : SW_SHOW);
}

void CMainFrame::onOpenMovie() {
    if (!openMovie_) return;
    char file[MAX_PATH] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = "Movies (*.swf)\0*.swf\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return;
    PlayMovie(file);
    ApplyPlacement(file);
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
    setScriptControl(nullptr);
    control_.destroy();
    bridge_.OnFSCommand("Quill_Quit", "");
    DestroyWindow(hwnd_);
}

}  // namespace quill::projector
