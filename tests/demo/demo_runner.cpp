// Clicks through the packed demo (examples/demo) without a person: starts it, waits for its
// start-up script, presses each movie button with real input, checks what the scripts wrote and
// did to the window, saves a screenshot as a PNG, presses Quit and checks the exit. Used by
// tools/demo.sh when there is no display to show the demo on, and by the demo's ctest.
//   quill_demo_runner DEMO.exe FOLDER     (FOLDER: the demo's current folder, for its files)
// Exits 0 when every step happened; otherwise prints which step did not and exits 1.
#include "tests/gui/gui_bench.h"  // first: it brings windows.h
#include "tests/gui/png_file.h"

#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using quill::gui::waitFor;

// The stage and the boxes of the buttons in examples/demo/movie.toml.
constexpr double kStageWidth = 480, kStageHeight = 300;
constexpr double kButtonTop = 200, kButtonWidth = 100, kButtonHeight = 44;
constexpr double kGreetLeft = 20, kSaveLeft = 135, kWindowLeft = 250, kQuitLeft = 365;
constexpr const wchar_t* kFrameClass = L"QuillProjectorFrame";
constexpr const char* kChangedTitle = "Quill Demo - changed by window.qls";
// Start-up under a fresh Wine prefix takes a few seconds; every later step well under one.
constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kStepTimeoutMs = 10000;

// The demo while it runs: a failed step ends it too, so no window is left behind.
HANDLE demoProcess = nullptr;

[[noreturn]] void fail(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fputs("demo: FAILED: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    if (demoProcess) TerminateProcess(demoProcess, 1);
    std::exit(1);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The log's lines that start with `prefix`, without line ends.
std::vector<std::string> logLines(const std::string& logPath, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(readText(logPath));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
}

std::string waitForLine(const std::string& logPath, const std::string& prefix, DWORD timeoutMs,
                        const char* what) {
    std::string line;
    bool seen = waitFor(
        [&] {
            std::vector<std::string> lines = logLines(logPath, prefix);
            if (lines.empty()) return false;
            line = lines.back();
            return true;
        },
        timeoutMs);
    if (!seen) {
        fail("%s: no line \"%s...\" in %s within %lu s (the log holds: \"%s\")", what,
             prefix.c_str(), logPath.c_str(), timeoutMs / 1000, readText(logPath).c_str());
    }
    return line;
}

int64_t unixMilliseconds(FILETIME time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<int64_t>((value.QuadPart - 116444736000000000ULL) / 10000);
}

// The middle of a button: the movie is shown whole and centred in the client area.
POINT buttonPoint(HWND window, double left) {
    RECT client;
    GetClientRect(window, &client);
    double scale = std::min(client.right / kStageWidth, client.bottom / kStageHeight);
    double x0 = (client.right - kStageWidth * scale) / 2;
    double y0 = (client.bottom - kStageHeight * scale) / 2;
    return {static_cast<LONG>(x0 + (left + kButtonWidth / 2) * scale),
            static_cast<LONG>(y0 + (kButtonTop + kButtonHeight / 2) * scale)};
}

void press(HWND window, double left, const char* name) {
    if (!quill::gui::bringToFront(window)) fail("the demo's window did not come to the front");
    // The pointer goes there first and rests: under Wine a press sent right after the cursor
    // jumped can still arrive where the cursor was before (on the previous button).
    POINT point = buttonPoint(window, left), screen = point;
    ClientToScreen(window, &screen);
    SetCursorPos(screen.x, screen.y);
    INPUT nudge{};
    nudge.type = INPUT_MOUSE;
    nudge.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &nudge, sizeof(nudge));
    waitFor(
        [&] {
            POINT at{};
            return GetCursorPos(&at) && at.x == screen.x && at.y == screen.y;
        },
        1000);
    Sleep(150);
    if (!quill::gui::click(window, point)) {
        fail("the click on the %s button could not be sent", name);
    }
}

std::string windowTitle(HWND window) {
    std::wstring text = quill::gui::windowText(window);
    return std::string(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
    quill::gui::installCrashFilter();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 3) {
        std::fputs("usage: quill_demo_runner DEMO.exe FOLDER\n", stderr);
        return 2;
    }
    std::string problem = quill::gui::displayProblem();
    if (!problem.empty()) fail("%s", problem.c_str());

    char exe[MAX_PATH], folder[MAX_PATH];
    if (!GetFullPathNameA(argv[1], MAX_PATH, exe, nullptr) ||
        !GetFullPathNameA(argv[2], MAX_PATH, folder, nullptr)) {
        fail("bad paths");
    }
    if (GetFileAttributesA(exe) == INVALID_FILE_ATTRIBUTES) fail("%s does not exist", exe);
    std::string dir = folder;
    if (dir.back() != '\\') dir += '\\';
    const std::string logPath = dir + "demo-log.txt", savedPath = dir + "demo-saved.txt";
    const std::string tracePath = dir + "demo-trace.txt", shotPath = dir + "demo-screenshot.png";
    for (const std::string& old : {logPath, savedPath, tracePath, shotPath}) {
        DeleteFileA(old.c_str());
    }

    // 1. Start: the projector unpacks itself and runs "Initialize".
    std::string commandLine = "\"" + std::string(exe) + "\" /trace:\"" + tracePath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                        &startup, &process)) {
        fail("cannot start %s (error %lu)", exe, GetLastError());
    }
    CloseHandle(process.hThread);
    demoProcess = process.hProcess;
    std::string init =
        waitForLine(logPath, "initialize: done at ", kStartTimeoutMs, "start-up script");
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user);
    long long initMs = std::atoll(init.c_str() + 20) - unixMilliseconds(created);
    std::printf("demo: started; Initialize finished %lld ms after the process started\n", initMs);

    HWND window = nullptr;
    if (!waitFor(
            [&] {
                window = quill::gui::findWindow(kFrameClass, L"Quill Demo", process.dwThreadId);
                return window != nullptr && IsWindowVisible(window);
            },
            kStepTimeoutMs)) {
        fail("the demo's window did not appear");
    }
    waitForLine(logPath, "ready: ", kStepTimeoutMs, "the movie's first frame");
    RECT before = quill::gui::windowRect(window);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof(memory))) {
        std::printf("demo: the movie plays; resident memory %.1f MB\n",
                    memory.WorkingSetSize / 1048576.0);
    }

    // 2. Greet: the script reads the movie's name field and the count the movie keeps.
    press(window, kGreetLeft, "Greet");
    std::string greet = waitForLine(logPath, "greet: ", kStepTimeoutMs, "the Greet button");
    if (greet.find("name \"Newcomer\"") == std::string::npos ||
        greet.find("counted 1,") == std::string::npos) {
        fail("the greet script saw other values than the movie's: %s", greet.c_str());
    }
    std::printf("demo: Greet ran greet.qls\n");

    // 3. Save: the script writes a file.
    press(window, kSaveLeft, "Save");
    waitForLine(logPath, "save: ", kStepTimeoutMs, "the Save button");
    if (readText(savedPath).find("name: Newcomer") == std::string::npos) {
        fail("%s does not hold what the movie showed", savedPath.c_str());
    }
    std::printf("demo: Save ran save.qls\n");

    // 4. Window: the script retitles and grows the projector's window.
    press(window, kWindowLeft, "Window");
    waitForLine(logPath, "window: ", kStepTimeoutMs, "the Window button");
    if (!waitFor([&] { return windowTitle(window) == kChangedTitle; }, kStepTimeoutMs)) {
        fail("the window's title is \"%s\", not \"%s\"", windowTitle(window).c_str(),
             kChangedTitle);
    }
    RECT after = quill::gui::windowRect(window);
    if (after.right - after.left != before.right - before.left + 120 ||
        after.bottom - after.top != before.bottom - before.top + 76) {
        fail("the window did not grow by 120 x 76 pixels");
    }
    std::printf("demo: Window ran window.qls\n");

    // The movie redraws the new status line and size on its next frames.
    Sleep(500);
    quill::gui::Snapshot shot = quill::gui::captureClient(window);
    if (shot.pixels.empty()) fail("the window could not be captured");
    if (!quill::gui::savePng(shot, shotPath)) fail("cannot write %s", shotPath.c_str());
    std::printf("demo: screenshot %s (%d x %d)\n", shotPath.c_str(), shot.width, shot.height);

    // 5. Quit: the movie asks the projector to close.
    press(window, kQuitLeft, "Quit");
    if (WaitForSingleObject(process.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) {
        fail("the Quit button did not end the demo");
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    demoProcess = nullptr;
    CloseHandle(process.hProcess);
    if (code != 0) fail("the demo ended with exit code %lu", code);
    std::printf("demo: Quit closed the demo (exit code 0)\n");
    return 0;
}
