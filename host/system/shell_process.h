// Starting programs for Shell.run and Shell.runAndWait: the command line and window placement a
// script gives, the process start, and the wait. Tests use it directly to see exit codes, which
// the script members do not return.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <optional>
#include <string>

#include "runtime/class_binding.h"

namespace quill {

struct ProgramStart {
    std::u16string commandLine;
    std::optional<WORD> show;  // a show command for the program's first window
    std::optional<POINT> position;
    std::optional<SIZE> size;
};

// The request from the arguments of run and runAndWait: a command line (a string without zero
// units), then show state, x, y, width, height, each used only when it is an integer; x and y,
// and width and height, only in pairs. Empty when the command line does not fit.
std::optional<ProgramStart> programStartFrom(bind::Args args);

// Starts the program; the caller closes both handles. False with the system's error code.
bool startProgram(const ProgramStart& start, PROCESS_INFORMATION* process, DWORD* error);

// Starts the program and waits until it ends, answering the messages other programs send to
// this thread's windows meanwhile (a program that broadcasts to all windows would otherwise wait
// for us while we wait for it). The exit code, or empty when it could not be started.
std::optional<DWORD> runProgramToEnd(const ProgramStart& start, DWORD* error = nullptr);

// The window `run` answers with: after waiting up to 10 s for the program to be idle, the first
// visible top-level window of its main thread, else its first top-level window; null when it
// has none.
HWND firstWindowOf(const PROCESS_INFORMATION& process);

}  // namespace quill

#endif
