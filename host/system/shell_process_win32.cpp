// Starting programs for Shell.run and Shell.runAndWait (see shell_process.h).
#include "host/system/shell_process.h"

#include <vector>

#include "host/system/desktop_support.h"

namespace quill {

namespace {

using desktop::hasZero;

std::optional<int64_t> integerAt(bind::Args args, uint32_t i) {
    if (!args.has(i) || args[i].tag != kTagInteger) return std::nullopt;
    return args[i].i;
}

// Placement values a window can take; anything else is not an integer we pass on.
std::optional<LONG> coordinateAt(bind::Args args, uint32_t i) {
    std::optional<int64_t> value = integerAt(args, i);
    if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
    return static_cast<LONG>(*value);
}

}  // namespace

std::optional<ProgramStart> programStartFrom(bind::Args args) {
    if (!args.has(1) || args[1].tag != kTagString) return std::nullopt;
    ProgramStart start;
    start.commandLine = std::u16string(stringView(args[1]));
    if (start.commandLine.empty() || hasZero(start.commandLine)) return std::nullopt;
    if (std::optional<int64_t> show = integerAt(args, 2); show && *show >= 0 && *show <= 0xFFFF) {
        start.show = static_cast<WORD>(*show);
    }
    std::optional<LONG> x = coordinateAt(args, 3), y = coordinateAt(args, 4);
    if (x && y) start.position = POINT{*x, *y};
    std::optional<LONG> width = coordinateAt(args, 5), height = coordinateAt(args, 6);
    if (width && height) start.size = SIZE{*width, *height};
    return start;
}

bool startProgram(const ProgramStart& start, PROCESS_INFORMATION* process, DWORD* error) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (start.show) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = *start.show;
    }
    if (start.position) {
        startup.dwFlags |= STARTF_USEPOSITION;
        startup.dwX = static_cast<DWORD>(start.position->x);
        startup.dwY = static_cast<DWORD>(start.position->y);
    }
    if (start.size) {
        startup.dwFlags |= STARTF_USESIZE;
        startup.dwXSize = static_cast<DWORD>(start.size->cx);
        startup.dwYSize = static_cast<DWORD>(start.size->cy);
    }
    // The system may write into the command line, so it gets a copy of any length (the system
    // itself refuses lines beyond 32767 units with an error).
    std::vector<wchar_t> line(start.commandLine.begin(), start.commandLine.end());
    line.push_back(L'\0');
    *process = PROCESS_INFORMATION{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, process)) {
        *error = GetLastError();
        return false;
    }
    *error = ERROR_SUCCESS;
    return true;
}

std::optional<DWORD> runProgramToEnd(const ProgramStart& start, DWORD* error) {
    PROCESS_INFORMATION process;
    DWORD failure = ERROR_SUCCESS;
    if (!startProgram(start, &process, &failure)) {
        if (error) *error = failure;
        return std::nullopt;
    }
    CloseHandle(process.hThread);
    for (;;) {
        DWORD woke =
            MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1) break;
        // Only sent messages are answered here; posted ones wait for the script's own loop, so
        // no script handler runs in the middle of this call.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    if (error) *error = ERROR_SUCCESS;
    return exitCode;
}

HWND firstWindowOf(const PROCESS_INFORMATION& process) {
    WaitForInputIdle(process.hProcess, 10000);
    struct Found {
        HWND first = nullptr;
        HWND visible = nullptr;
    } found;
    EnumThreadWindows(
        process.dwThreadId,
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* f = reinterpret_cast<Found*>(param);
            if (!f->first) f->first = hwnd;
            if (IsWindowVisible(hwnd)) {
                f->visible = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.visible ? found.visible : found.first;
}

}  // namespace quill
