// Ends a crashing test program at once with its own exit code. Without this Wine starts its
// debugger, which (with a display) can wait for the user until the test times out.
#include "tests/gui/gui_bench.h"

namespace quill::gui {
namespace {

// The filter runs on a broken process: no allocation, no C runtime locks, only WriteFile.
char* appendHex(char* out, uint64_t value, int digits) {
    *out++ = '0';
    *out++ = 'x';
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        *out++ = "0123456789ABCDEF"[(value >> shift) & 0xF];
    }
    return out;
}

char* appendText(char* out, const char* text) {
    while (*text) *out++ = *text++;
    return out;
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    char line[128];
    char* end = appendText(line, "crash: unhandled exception ");
    end = appendHex(end, record->ExceptionCode, 8);
    end = appendText(end, " at ");
    end = appendHex(end, reinterpret_cast<uintptr_t>(record->ExceptionAddress), 16);
    end = appendText(end, "\r\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(end - line), &written,
              nullptr);
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void installCrashFilter() {
    // No error boxes either: a test has nobody to click them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(crashFilter);
}

}  // namespace quill::gui
