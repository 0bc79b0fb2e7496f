// Test windows, finding and reading windows, real input and bounded message waits for the GUI
// test bench (see gui_bench.h).
#include "tests/gui/gui_bench.h"

#include <algorithm>
#include <mutex>

namespace quill::gui {
namespace {

const wchar_t kTestWindowClass[] = L"QuillTestWindow";

struct Search {
    std::wstring_view className;
    std::wstring_view title;
    bool visibleOnly = false;
    HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (search->visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
    if (!search->className.empty() && className(hwnd) != search->className) return TRUE;
    if (!search->title.empty()) {
        // The title a top-level window keeps for itself: no message, so no wait on its thread.
        wchar_t title[512];
        int length = InternalGetWindowText(hwnd, title, 512);
        if (std::wstring_view(title, std::max(length, 0)) != search->title) return TRUE;
    }
    search->found = hwnd;
    return FALSE;
}

HWND find(Search search, DWORD threadId) {
    auto param = reinterpret_cast<LPARAM>(&search);
    if (threadId != 0) {
        EnumThreadWindows(threadId, matchWindow, param);
    } else {
        EnumWindows(matchWindow, param);
    }
    return search.found;
}

INPUT keyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    // Without the flag these read as their twins on the numeric keypad.
    static constexpr WORD kExtendedKeys[] = {VK_LEFT,     VK_RIGHT, VK_UP,     VK_DOWN,   VK_HOME,
                                             VK_END,      VK_PRIOR, VK_NEXT,   VK_INSERT, VK_DELETE,
                                             VK_RCONTROL, VK_RMENU, VK_DIVIDE, VK_APPS};
    if (std::find(std::begin(kExtendedKeys), std::end(kExtendedKeys), virtualKey) !=
        std::end(kExtendedKeys)) {
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    }
    return input;
}

bool send(std::vector<INPUT>& inputs) {
    auto count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

}  // namespace

std::string displayProblem() {
    // Under Wine a process without an X display cannot create windows (a null driver answers).
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) {
        return "no display: this process cannot create windows (under Wine, run the tests "
               "through tools/wine-env.sh, which starts one)";
    }
    DestroyWindow(probe);
    return {};
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        pumpMessages();
        if (condition()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        // Wakes on a message; the short cap also notices changes no message announces.
        auto slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10));
        MsgWaitForMultipleObjectsEx(0, nullptr, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

TestWindow::TestWindow(const Options& options) {
    static std::once_flag registered;
    std::call_once(registered, [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kTestWindowClass;
        RegisterClassW(&windowClass);
    });
    background_ = CreateSolidBrush(options.background);
    RECT frame = {0, 0, options.clientSize.cx, options.clientSize.cy};
    AdjustWindowRectEx(&frame, options.style, FALSE, options.exStyle);
    hwnd_ = CreateWindowExW(options.exStyle, kTestWindowClass, options.title, options.style,
                            options.position.x, options.position.y, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                            this);
    if (hwnd_ != nullptr) {
        ShowWindow(hwnd_, SW_SHOW);
        UpdateWindow(hwnd_);
    }
}

TestWindow::~TestWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    DeleteObject(background_);
}

int TestWindow::count(UINT message) const {
    return static_cast<int>(std::count_if(messages_.begin(), messages_.end(),
                                          [&](const MSG& m) { return m.message == message; }));
}

std::optional<MSG> TestWindow::last(UINT message) const {
    for (auto it = messages_.rbegin(); it != messages_.rend(); ++it) {
        if (it->message == message) return *it;
    }
    return std::nullopt;
}

LRESULT CALLBACK TestWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    window->messages_.push_back(
        MSG{hwnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), POINT{}});
    switch (message) {
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(hwnd, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, window->background_);
            return 1;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            window->hwnd_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND findWindow(std::wstring_view className, std::wstring_view title, DWORD threadId) {
    return find(Search{className, title}, threadId);
}

std::vector<HWND> threadWindows(DWORD threadId) {
    std::vector<HWND> windows;
    EnumThreadWindows(
        threadId,
        [](HWND hwnd, LPARAM param) {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND findDialog(DWORD threadId) {
    return find(Search{L"#32770", {}, /*visibleOnly=*/true}, threadId);
}

HWND findControl(HWND parent, int controlId) {
    if (HWND child = GetDlgItem(parent, controlId)) return child;
    // Deeper: explorer-style file dialogs keep some controls in a child dialog.
    std::pair<int, HWND> search{controlId, nullptr};
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) {
            auto* s = reinterpret_cast<std::pair<int, HWND>*>(param);
            if (GetDlgCtrlID(hwnd) != s->first) return TRUE;
            s->second = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

std::wstring className(HWND hwnd) {
    wchar_t name[256];
    int length = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, std::max(length, 0));
}

std::wstring windowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied)) {
        return {};
    }
    text.resize(std::min<size_t>(copied, length));
    return text;
}

RECT windowRect(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return rect;
}

RECT clientRectOnScreen(HWND hwnd) {
    RECT rect{};
    GetClientRect(hwnd, &rect);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Region::contains(int x, int y) const {
    return std::any_of(rects.begin(), rects.end(), [&](const RECT& r) {
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    });
}

std::optional<Region> windowRegion(HWND hwnd) {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    std::optional<Region> region;
    if (GetWindowRgn(hwnd, rgn) != ERROR) {
        DWORD size = GetRegionData(rgn, 0, nullptr);
        std::vector<RECT> buffer(size / sizeof(RECT) + 2);  // RECT-aligned room for RGNDATA
        auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
        if (size != 0 && GetRegionData(rgn, size, data) == size) {
            const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
            region = Region{data->rdh.rcBound, {rects, rects + data->rdh.nCount}};
        }
    }
    DeleteObject(rgn);
    return region;
}

COLORREF Snapshot::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    uint32_t p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

Snapshot captureClient(HWND hwnd) {
    Snapshot shot;
    RECT client{};
    if (!GetClientRect(hwnd, &client) || client.right <= 0 || client.bottom <= 0) return shot;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowDc = GetDC(hwnd);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib != nullptr) {
        HGDIOBJ old = SelectObject(memoryDc, dib);
        if (BitBlt(memoryDc, 0, 0, client.right, client.bottom, windowDc, 0, 0, SRCCOPY)) {
            GdiFlush();
            shot.width = client.right;
            shot.height = client.bottom;
            const auto* first = static_cast<const uint32_t*>(bits);
            shot.pixels.assign(first, first + static_cast<size_t>(shot.width) * shot.height);
        }
        SelectObject(memoryDc, old);
        DeleteObject(dib);
    }
    DeleteDC(memoryDc);
    ReleaseDC(hwnd, windowDc);
    return shot;
}

COLORREF readPixel(HWND hwnd, int x, int y) {
    return captureClient(hwnd).pixel(x, y);
}

bool bringToFront(HWND hwnd) {
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    return waitFor([&] { return GetForegroundWindow() == hwnd; });
}

bool click(HWND hwnd, POINT clientPoint, Button button) {
    POINT screen = clientPoint;
    ClientToScreen(hwnd, &screen);
    // SetCursorPos puts the cursor on the exact pixel (absolute SendInput coordinates are
    // normalised to 0..65535 and round differently between systems); the buttons are real input.
    if (!SetCursorPos(screen.x, screen.y)) return false;
    DWORD down = MOUSEEVENTF_LEFTDOWN, up = MOUSEEVENTF_LEFTUP;
    if (button == Button::Right) down = MOUSEEVENTF_RIGHTDOWN, up = MOUSEEVENTF_RIGHTUP;
    if (button == Button::Middle) down = MOUSEEVENTF_MIDDLEDOWN, up = MOUSEEVENTF_MIDDLEUP;
    std::vector<INPUT> inputs(2);
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = down;
    inputs[1].mi.dwFlags = up;
    return send(inputs);
}

bool mouseAt(DWORD flags, POINT screenPoint) {
    if (!SetCursorPos(screenPoint.x, screenPoint.y)) return false;
    std::vector<INPUT> inputs(1);
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = flags;
    return send(inputs);
}

bool pressKey(WORD virtualKey, std::initializer_list<WORD> modifiers) {
    std::vector<INPUT> inputs;
    for (WORD modifier : modifiers) inputs.push_back(keyInput(modifier, false));
    inputs.push_back(keyInput(virtualKey, false));
    inputs.push_back(keyInput(virtualKey, true));
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
        inputs.push_back(keyInput(*it, true));
    }
    return send(inputs);
}

bool typeText(std::wstring_view text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (DWORD flags : {KEYEVENTF_UNICODE, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c;
            input.ki.dwFlags = flags;
            inputs.push_back(input);
        }
    }
    return send(inputs);
}

}  // namespace quill::gui
