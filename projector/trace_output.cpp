// The opt-in trace file: opened once from the command line, written unbuffered so that the lines
// are there even when a script brings the process down.
#include "projector/trace_output.h"

#include <windows.h>

namespace quill::projector {

namespace {
HANDLE traceFile = INVALID_HANDLE_VALUE;
}

void openTraceFile(const std::wstring& path) {
    closeTraceFile();
    if (path.empty()) return;
    traceFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void closeTraceFile() {
    if (traceFile != INVALID_HANDLE_VALUE) CloseHandle(traceFile);
    traceFile = INVALID_HANDLE_VALUE;
}

bool tracing() {
    return traceFile != INVALID_HANDLE_VALUE;
}

void traceText(std::string_view text) {
    if (traceFile == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD written = 0;
    WriteFile(traceFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace quill::projector
