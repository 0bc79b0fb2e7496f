// The control's window and its movie: loading a movie from a path or file URL, the frame timer,
// painting from a device-independent bitmap the rasteriser draws into (the same bitmap serves
// IViewObject::Draw, so window and memory drawings agree), pointer input for buttons, and the
// context menu with the player commands.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cwctype>

#include "control/swf_reader.h"
#include "gdi_text_painter.h"
#include "movie_control.h"

namespace quill::movie {

namespace {

const wchar_t kWindowClass[] = L"QuillMovieControl";
constexpr UINT_PTR kFrameTimer = 1;
constexpr size_t kMaxMovieFile = 256u << 20;

// The player commands, with the identifiers containers use to send them to the window.
enum MenuCommand : int {
    kCmdRewind = 20025,
    kCmdZoomOut = 20030,
    kCmdShowAll = 20034,
    kCmdLow = 20035,
    kCmdMedium = 20036,
    kCmdHigh = 20037,
    kCmdPlay = 20039,
    kCmdForward = 20040,
    kCmdBack = 20041,
    kCmdZoomIn = 20042,
    kCmdLoop = 20043,
    kCmdAbout = 20044,
    kCmdActualSize = 20046,
};

bool registerWindowClass() {
    static bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = MovieControl::windowProc;
        wc.hInstance = moduleInstance();
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// "a=1&b=two%20words" into name and value pairs, as UTF-8.
std::vector<std::pair<std::string, std::string>> parseVariables(const std::wstring& text) {
    std::vector<std::pair<std::string, std::string>> out;
    auto decode = [](const std::wstring& s) {
        std::string bytes;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == L'%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 &&
                hexDigit(s[i + 2]) >= 0) {
                bytes += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
                i += 2;
            } else if (s[i] == L'+') {
                bytes += ' ';
            } else {
                wchar_t c[2] = {s[i], 0};
                char buffer[8];
                int n =
                    WideCharToMultiByte(CP_UTF8, 0, c, 1, buffer, sizeof buffer, nullptr, nullptr);
                bytes.append(buffer, static_cast<size_t>(std::max(n, 0)));
            }
        }
        return bytes;
    };
    size_t start = 0;
    while (start < text.size() && out.size() < 1000) {
        size_t end = text.find(L'&', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring pair = text.substr(start, end - start);
        size_t eq = pair.find(L'=');
        if (eq != std::wstring::npos && eq > 0)
            out.emplace_back(decode(pair.substr(0, eq)), decode(pair.substr(eq + 1)));
        start = end + 1;
    }
    return out;
}

bool readFileBytes(const std::wstring& path, std::vector<uint8_t>* bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(f, &size) && size.QuadPart >= 0 &&
              static_cast<uint64_t>(size.QuadPart) <= kMaxMovieFile;
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < bytes->size()) {
            DWORD n = 0;
            DWORD want = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 24));
            ok = ReadFile(f, bytes->data() + done, want, &n, nullptr) && n > 0;
            done += n;
        }
    }
    CloseHandle(f);
    return ok;
}

}  // namespace

std::wstring MovieControl::resolveUrl(const std::wstring& url) const {
    std::wstring path = url;
    auto startsWith = [&](const wchar_t* prefix) {
        size_t n = wcslen(prefix);
        if (path.size() < n) return false;
        for (size_t i = 0; i < n; ++i) {
            if (std::towlower(path[i]) != prefix[i]) return false;
        }
        return true;
    };
    if (startsWith(L"file:///")) {
        path = path.substr(8);
    } else if (startsWith(L"file://")) {
        path = path.substr(7);
    } else {
        size_t colon = path.find(L':');
        if (colon != std::wstring::npos && colon > 1) {
            bool scheme = true;
            for (size_t i = 0; i < colon; ++i) scheme &= std::iswalpha(path[i]) != 0;
            if (scheme) return L"";  // other schemes (http, ...) are not fetched
        }
    }
    std::wstring decoded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L'%' && i + 2 < path.size() && hexDigit(path[i + 1]) >= 0 &&
            hexDigit(path[i + 2]) >= 0) {
            decoded += static_cast<wchar_t>(hexDigit(path[i + 1]) * 16 + hexDigit(path[i + 2]));
            i += 2;
        } else {
            decoded += path[i] == L'/' ? L'\\' : path[i];
        }
    }
    bool absolute =
        (decoded.size() > 1 && decoded[1] == L':') || (!decoded.empty() && decoded[0] == L'\\');
    if (!absolute && !base_.empty()) {
        std::wstring base = resolveUrl(base_);
        if (!base.empty()) {
            if (base.back() != L'\\') base += L'\\';
            decoded = base + decoded;
        }
    }
    return decoded;
}

bool MovieControl::loadMovie(const std::wstring& url) {
    AddRef();
    bool ok = false;
    if (url.empty()) {
        player_.unload();
        setReadyState(1);
    } else {
        setReadyState(0);
        std::vector<uint8_t> bytes;
        std::wstring path = resolveUrl(url);
        auto movie = std::make_shared<Movie>();
        ReadReport report;
        if (!path.empty() && readFileBytes(path, &bytes) &&
            readMovie(bytes.data(), bytes.size(), movie.get(), &report)) {
            view_.setStage(movie->frameSize);
            player_.startPlaying = playing_;
            player_.startVariables = parseVariables(flashVars_);
            player_.load(movie);
            ok = true;
            setReadyState(4);
        } else {
            trace(report.error.empty() ? "The movie cannot be read"
                                       : "The movie cannot be read: " + report.error);
            player_.unload();
            setReadyState(1);
        }
    }
    restartTimer();
    invalidate();
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
    Release();
    return ok;
}

void MovieControl::invalidate() {
    bitmapValid_ = false;
    if (window_) InvalidateRect(window_, nullptr, FALSE);
}

void MovieControl::restartTimer() {
    if (!window_) return;
    if (timer_) KillTimer(window_, kFrameTimer);
    timer_ = 0;
    timerMovie_ = player_.movie();
    if (!player_.hasMovie()) return;
    double fps = std::max(player_.movie()->framesPerSecond(), 0.01);
    UINT interval = static_cast<UINT>(std::clamp(std::lround(1000.0 / fps), 1L, 100000L));
    timer_ = SetTimer(window_, kFrameTimer, interval, nullptr);
}

Transform MovieControl::viewTransform(int width, int height) const {
    return view_.toClient(width, height);
}

RenderOptions MovieControl::renderOptions() const {
    RenderOptions o;
    o.antialias = quality_ != 0 && quality_ != 2;
    if (backgroundColor_ >= 0) {
        o.background = {GetRValue(backgroundColor_), GetGValue(backgroundColor_),
                        GetBValue(backgroundColor_), 255};
    } else {
        o.background = player_.hasMovie() ? player_.background() : Rgba{255, 255, 255, 255};
    }
    return o;
}

void MovieControl::renderTo(HDC dc, const RECT& bounds) {
    int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return;
    if (w != bitmapWidth_ || h != bitmapHeight_ || !memoryDc_) {
        if (!memoryDc_) memoryDc_ = CreateCompatibleDC(nullptr);
        if (!memoryDc_) return;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;  // top-down, as the canvas is
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memoryDc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap) return;
        HGDIOBJ old = SelectObject(memoryDc_, bitmap);
        if (bitmap_) {
            DeleteObject(bitmap_);
        } else {
            oldBitmap_ = old;
        }
        bitmap_ = bitmap;
        bits_ = bits;
        bitmapWidth_ = w;
        bitmapHeight_ = h;
        bitmapValid_ = false;
    }
    if (!bitmapValid_ || drawnChanges_ != player_.changes()) {
        GdiFlush();
        Canvas canvas;
        canvas.pixels = static_cast<uint32_t*>(bits_);
        canvas.width = w;
        canvas.height = h;
        canvas.stride = w;
        RenderOptions options = renderOptions();
        painter_->setTarget(memoryDc_, options.antialias);
        renderer_.render(player_, canvas, viewTransform(w, h), options, painter_.get());
        painter_->setTarget(nullptr, true);
        GdiFlush();
        bitmapValid_ = true;
        drawnChanges_ = player_.changes();
    }
    BitBlt(dc, bounds.left, bounds.top, w, h, memoryDc_, 0, 0, SRCCOPY);
}

bool MovieControl::createWindow(HWND parent, const RECT& rect) {
    if (window_) return true;
    if (!registerWindowClass()) return false;
    HWND w = CreateWindowExW(0, kWindowClass, L"",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, rect.left,
                             rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                             nullptr, moduleInstance(), this);
    if (!w) return false;
    window_ = w;
    restartTimer();
    return true;
}

void MovieControl::destroyWindow() {
    if (!window_) return;
    HWND w = window_;
    if (timer_) KillTimer(w, kFrameTimer);
    timer_ = 0;
    if (capture_) ReleaseCapture();
    capture_ = false;
    window_ = nullptr;
    SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    DestroyWindow(w);
}

void MovieControl::onTimer() {
    AddRef();
    // A movie loaded from inside a script comes in when the script ends: its rate may differ.
    if (player_.movie() != timerMovie_) restartTimer();
    player_.tick();
    if (window_ && drawnChanges_ != player_.changes()) InvalidateRect(window_, nullptr, FALSE);
    Release();
}

void MovieControl::pointerEvent(UINT message, int x, int y) {
    RECT r;
    GetClientRect(window_, &r);
    Transform toStage;
    if (!viewTransform(r.right, r.bottom).invert(&toStage)) return;
    double sx = toStage.mapX(x + 0.5, y + 0.5), sy = toStage.mapY(x + 0.5, y + 0.5);
    AddRef();
    HWND w = window_;
    switch (message) {
        case WM_MOUSEMOVE:
            player_.mouseMove(sx, sy);
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetCapture(w);
            capture_ = true;
            player_.mouseDown(sx, sy);
            break;
        case WM_LBUTTONUP:
            if (capture_) {
                capture_ = false;
                ReleaseCapture();
            }
            player_.mouseUp(sx, sy);
            break;
    }
    if (window_ && drawnChanges_ != player_.changes()) InvalidateRect(window_, nullptr, FALSE);
    Release();
}

void MovieControl::runMenuCommand(int command) {
    switch (command) {
        case kCmdRewind:
            Rewind();
            break;
        case kCmdZoomIn:
            Zoom(50);
            break;
        case kCmdZoomOut:
            Zoom(200);
            break;
        case kCmdShowAll:
            put_ScaleMode(kShowAll);
            break;
        case kCmdActualSize:
            put_ScaleMode(kNoScale);
            break;
        case kCmdLow:
            put_Quality(0);
            break;
        case kCmdMedium:
        case kCmdHigh:
            put_Quality(1);
            break;
        case kCmdPlay:
            if (player_.isPlaying()) {
                Stop();
            } else {
                Play();
            }
            break;
        case kCmdLoop:
            player_.loop = !player_.loop;
            break;
        case kCmdForward:
            Forward();
            break;
        case kCmdBack:
            Back();
            break;
        case kCmdAbout: {
            wchar_t text[128];
            swprintf(text, 128,
                     L"Quill Movie Control %d.%d.%d.%d\nPlays movies made with quill movie.",
                     QUILL_CONTROL_VERSION_MAJOR, QUILL_CONTROL_VERSION_MINOR,
                     QUILL_CONTROL_VERSION_BUILD, QUILL_CONTROL_VERSION_REVISION);
            MessageBoxW(window_, text, L"About Quill Movie Control", MB_OK | MB_ICONINFORMATION);
            break;
        }
    }
}

void MovieControl::showContextMenu(int x, int y) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    bool movie = player_.hasMovie();
    UINT enabled = movie ? MF_ENABLED : MF_GRAYED;
    if (menu_) {
        AppendMenuW(menu, MF_STRING | enabled, kCmdZoomIn, L"Zoom In");
        AppendMenuW(menu, MF_STRING | (movie && view_.zoomed() ? MF_ENABLED : MF_GRAYED),
                    kCmdZoomOut, L"Zoom Out");
        AppendMenuW(menu, MF_STRING | enabled | (view_.scaleMode() == kNoScale ? MF_CHECKED : 0),
                    kCmdActualSize, L"100%");
        AppendMenuW(menu, MF_STRING | enabled | (view_.scaleMode() == kShowAll ? MF_CHECKED : 0),
                    kCmdShowAll, L"Show All");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING | (quality_ == 0 ? MF_CHECKED : 0), kCmdLow, L"Low Quality");
        AppendMenuW(menu, MF_STRING | (quality_ != 0 ? MF_CHECKED : 0), kCmdHigh, L"High Quality");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING | enabled | (player_.isPlaying() ? MF_CHECKED : 0), kCmdPlay,
                    L"Play");
        AppendMenuW(menu, MF_STRING | enabled | (player_.loop ? MF_CHECKED : 0), kCmdLoop, L"Loop");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING | enabled, kCmdRewind, L"Rewind");
        AppendMenuW(menu, MF_STRING | enabled, kCmdForward, L"Forward");
        AppendMenuW(menu, MF_STRING | enabled, kCmdBack, L"Back");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    }
    AppendMenuW(menu, MF_STRING, kCmdAbout, L"About Quill Movie Control...");
    int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, window_, nullptr);
    DestroyMenu(menu);
    if (command) runMenuCommand(command);
}

LRESULT CALLBACK MovieControl::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* control = reinterpret_cast<MovieControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control || control->window_ != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return control->handleMessage(message, wParam, lParam);
}

LRESULT MovieControl::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND w = window_;
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            RECT client;
            GetClientRect(w, &client);
            renderTo(dc, client);
            EndPaint(w, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            invalidate();
            return 0;
        case WM_TIMER:
            if (wParam == kFrameTimer) onTimer();
            return 0;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
            if (message == WM_LBUTTONDOWN && GetFocus() != w) SetFocus(w);
            pointerEvent(message, static_cast<short>(LOWORD(lParam)),
                         static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_CAPTURECHANGED:
            capture_ = false;
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursor(nullptr, player_.overButton() ? IDC_HAND : IDC_ARROW));
                return TRUE;
            }
            break;
        case WM_MOUSEACTIVATE:
            return MA_ACTIVATE;
        case WM_CONTEXTMENU: {
            int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
            if (x == -1 && y == -1) {
                RECT r;
                GetWindowRect(w, &r);
                x = r.left;
                y = r.top;
            }
            showContextMenu(x, y);
            return 0;
        }
        case WM_INITMENUPOPUP: {
            // A container about to show the player commands asks for their state first.
            HMENU menu = reinterpret_cast<HMENU>(wParam);
            auto check = [&](int id, bool on) {
                CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
            };
            auto enable = [&](int id, bool on) {
                EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
            };
            bool movie = player_.hasMovie();
            check(kCmdPlay, player_.isPlaying());
            check(kCmdLoop, player_.loop);
            check(kCmdLow, quality_ == 0);
            check(kCmdMedium, false);
            check(kCmdHigh, quality_ != 0);
            check(kCmdShowAll, view_.scaleMode() == kShowAll);
            check(kCmdActualSize, view_.scaleMode() == kNoScale);
            for (int id : {kCmdPlay, kCmdLoop, kCmdRewind, kCmdForward, kCmdBack, kCmdZoomIn,
                           kCmdShowAll, kCmdActualSize}) {
                enable(id, movie);
            }
            enable(kCmdZoomOut, movie && view_.zoomed());
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && LOWORD(wParam) >= kCmdRewind &&
                LOWORD(wParam) <= kCmdActualSize) {
                runMenuCommand(LOWORD(wParam));
                return 0;
            }
            break;
        case WM_DESTROY:
            if (window_ == w) {
                window_ = nullptr;
                timer_ = 0;
            }
            return 0;
    }
    return DefWindowProcW(w, message, wParam, lParam);
}

}  // namespace quill::movie
