// The projector's entry point: the application object's start-up, the message loop until the
// main window is gone, and the exit clean-up (which also runs when start-up fails halfway).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "projector/projector_app.h"
#include "projector/trace_output.h"

namespace {

// An unhandled fault ends the process at once with a distinct code rather than leaving it
// waiting for a debugger.
LONG WINAPI endOnCrash(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 85);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::vector<std::wstring> commandLineArguments() {
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> out;
    for (int i = 0; list && i < count; ++i) out.emplace_back(list[i]);
    if (list) LocalFree(list);
    return out;
}

void openTraceFromArguments(const std::vector<std::wstring>& arguments) {
    const std::wstring prefix = quill::projector::kTraceSwitch;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& a = arguments[i];
        if (a.size() > prefix.size() && _wcsnicmp(a.c_str(), prefix.c_str(), prefix.size()) == 0) {
            quill::projector::openTraceFile(a.substr(prefix.size()));
            return;
        }
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SetUnhandledExceptionFilter(endOnCrash);
    std::vector<std::wstring> arguments = commandLineArguments();
    openTraceFromArguments(arguments);
    int code = 0;
    {
        quill::projector::ProjectorApp app;
        if (app.AppStart(arguments)) {
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            code = static_cast<int>(message.wParam);
        }
        int exitCode = app.AppExit();
        if (code == 0) code = exitCode;
    }
    quill::projector::closeTraceFile();
    return code;
}
