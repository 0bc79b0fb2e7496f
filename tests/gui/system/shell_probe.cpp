// A small program the shell tests start: it writes where it ran and with what to a file (the one
// named, else the one in QUILL_PROBE_REPORT), may show a window until someone closes it, and ends
// with the exit code it is told. Its version resource (shell_probe.rc) is what the
// version-information tests read.
//   quill_shell_probe [--write FILE] [--window TITLE] [--exit N]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window takes the placement the starting program asked for (CW_USEDEFAULT lets the system
// apply it).
void showWindow(const wchar_t* title) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = probeProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuillShellProbe";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"QuillShellProbe", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int exitCode = 0;
    const wchar_t* report = nullptr;
    const wchar_t* title = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--exit") == 0) exitCode = _wtoi(argv[i + 1]);
        if (std::wcscmp(argv[i], L"--write") == 0) report = argv[i + 1];
        if (std::wcscmp(argv[i], L"--window") == 0) title = argv[i + 1];
    }
    wchar_t fromEnvironment[MAX_PATH] = L"";
    if (!report && GetEnvironmentVariableW(L"QUILL_PROBE_REPORT", fromEnvironment, MAX_PATH)) {
        report = fromEnvironment;
    }
    if (report) {
        wchar_t folder[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, folder);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        GetStartupInfoW(&startup);
        if (FILE* file = _wfopen(report, L"w")) {
            std::fwprintf(file, L"%ls\n%ls\n%lu %u\n", folder, GetCommandLineW(), startup.dwFlags,
                          startup.wShowWindow);
            std::fclose(file);
        }
    }
    if (title) showWindow(title);
    return exitCode;
}
