// `print(a, b, ...)`: the text of each argument, space-joined, then a newline, as UTF-8 on
// standard output. On Windows also `processMsg()`, the message pump scripts wait in.
#include "tools/quill/tool_functions.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <string>

#include "runtime/class_binding.h"

namespace quill {

namespace {

void print(ScriptEngine* engine, bind::Args args) {
    std::string line;
    for (uint32_t i = 1; i <= args.size(); ++i) {
        if (i > 1) line += ' ';
        line += toUtf8String(stringView(toString(engine, args[i])));
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void registerPrint(ScriptEngine* engine) {
    bind::defineFunction<print>(
        engine, "print", "value, ...",
        "Writes the text of each value, separated by spaces, and a newline to "
        "standard output as UTF-8 (quill only).");
}

#ifdef _WIN32
// Dispatches every message waiting for this thread (MCI and socket notifications reach their
// handlers this way); false once a quit message was posted, true when the queue is empty. The
// projector's own version also watches its main window.
bool processMsg() {
    constexpr UINT kFrameworkIdle = 0x036A;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        if (msg.message == kFrameworkIdle) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void registerProcessMsg(ScriptEngine* engine) {
    bind::defineFunction<processMsg>(
        engine, "processMsg", "",
        "Dispatches the messages waiting for this thread, so that socket, MCI and window events "
        "reach their handlers; false once the program was asked to quit.");
}
#endif

constexpr HostRegistration kToolFunctions[] = {
#ifdef _WIN32
    {ClassId::kAppFunctions, registerProcessMsg},
#endif
    {ClassId::kHostFunctions, registerPrint},
};

}  // namespace

std::span<const HostRegistration> toolFunctions() {
    return kToolFunctions;
}

}  // namespace quill
