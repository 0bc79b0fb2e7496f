// The GUI test bench for Windows test programs (run under Wine with tools/wine-env.sh): a crash
// filter, test windows, finding and reading windows (styles, rectangles, regions, pixels), real
// input, bounded waits that pump messages, and answering common dialogs from a second thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quill::gui {

// Exit code of a test program that crashed. Wine hands a Unix parent only the low byte.
inline constexpr int kCrashExitCode = 85;
// Bound of the waits below. Under Wine a dialog appears within about a second.
inline constexpr DWORD kDefaultTimeoutMs = 10000;
// The file name box of the common file dialogs (a combo box; its text is the name typed).
inline constexpr int kFileNameBox = 1148;

// Makes any unhandled exception print one line to stderr and end the process at once with
// kCrashExitCode, instead of waiting for a debugger until the test times out.
void installCrashFilter();
// Empty when this process can create windows; otherwise what is missing.
std::string displayProblem();

// Dispatches every message waiting for this thread.
void pumpMessages();
// Pumps messages until `condition` holds (true) or `timeoutMs` has passed (false).
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs = kDefaultTimeoutMs);

// A visible top-level window filled with one colour that records every message its window
// procedure receives. Destroyed with the object.
class TestWindow {
  public:
    struct Options {
        COLORREF background = RGB(255, 255, 255);
        POINT position = {100, 100};  // of the window, on the screen
        SIZE clientSize = {240, 160};
        DWORD style = WS_OVERLAPPEDWINDOW;
        DWORD exStyle = 0;
        const wchar_t* title = L"Quill test window";
    };
    TestWindow() : TestWindow(Options{}) {}
    explicit TestWindow(const Options& options);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    const std::vector<MSG>& messages() const { return messages_; }
    int count(UINT message) const;
    std::optional<MSG> last(UINT message) const;

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    HBRUSH background_ = nullptr;
    std::vector<MSG> messages_;
};

// The first top-level window matching a class name and title (empty matches any) on the given
// thread (0: any thread), or null.
HWND findWindow(std::wstring_view className, std::wstring_view title = {}, DWORD threadId = 0);
// The top-level windows of a thread, in z-order.
std::vector<HWND> threadWindows(DWORD threadId);
// The first visible dialog (class #32770) of a thread, or null.
HWND findDialog(DWORD threadId);
// A descendant window with the given control id, or null.
HWND findControl(HWND parent, int controlId);

std::wstring className(HWND hwnd);
// Asks the window for its text with a bounded wait, so a hung owner cannot hang the test.
std::wstring windowText(HWND hwnd);
inline DWORD style(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
}
inline DWORD exStyle(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
}
RECT windowRect(HWND hwnd);
RECT clientRectOnScreen(HWND hwnd);

// A window region as GetWindowRgn gives it, in window coordinates.
struct Region {
    RECT bounds{};
    std::vector<RECT> rects;
    bool contains(int x, int y) const;
};
// Empty when the window has no region.
std::optional<Region> windowRegion(HWND hwnd);

// The client area's pixels, copied with BitBlt from the window's DC into a 32-bit DIB.
struct Snapshot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
    // CLR_INVALID outside the snapshot.
    COLORREF pixel(int x, int y) const;
};
Snapshot captureClient(HWND hwnd);
COLORREF readPixel(HWND hwnd, int x, int y);

// Real input through SendInput. Keys and text go to the foreground window's focus.
enum class Button { Left, Right, Middle };
bool bringToFront(HWND hwnd);
bool click(HWND hwnd, POINT clientPoint, Button button = Button::Left);
// One mouse event (MOUSEEVENTF_LEFTDOWN, _MOVE, ...) with the cursor put on a screen point first;
// for drags and hovering, where a test steps the pointer itself.
bool mouseAt(DWORD flags, POINT screenPoint);
bool pressKey(WORD virtualKey, std::initializer_list<WORD> modifiers = {});
bool typeText(std::wstring_view text);

// Answers the next dialog a thread opens, from a thread of its own: waits for a visible #32770
// window of that thread, sets the texts of its controls, posts the command (IDOK, IDCANCEL...)
// and waits for the dialog to close. A dialog that stays open (say, behind a message box it
// raised) is cancelled together with every other dialog of the thread, so the thread that
// opened it returns and the test fails instead of hanging. Start it before the call that opens
// the dialog; every wait is bounded by `timeoutMs`.
class DialogAnswerer {
  public:
    struct Answer {
        std::vector<std::pair<int, std::wstring>> texts = {};  // control id, text
        int command = IDOK;
    };
    DialogAnswerer(DWORD threadId, Answer answer, DWORD timeoutMs = kDefaultTimeoutMs);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    // Waits for the answering thread: true when the dialog was answered and closed.
    bool join();
    // After join: the dialog's title, and what went wrong (empty when nothing did).
    const std::wstring& title() const { return title_; }
    const std::string& problem() const { return problem_; }

  private:
    void answer(DWORD threadId, const Answer& answer, DWORD timeoutMs);
    std::wstring title_;
    std::string problem_;
    bool answered_ = false;
    std::thread thread_;  // last: starts once the members above exist
};

}  // namespace quill::gui
