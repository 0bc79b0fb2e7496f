// Answers a modal dialog of the test's thread from a second thread: the test's thread sits in
// the dialog's message loop until someone else fills the dialog in and closes it.
#include "tests/gui/gui_bench.h"

namespace quill::gui {
namespace {

std::string narrow(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Cancels every dialog of the thread, the topmost (a message box over its owner) first.
void cancelDialogs(DWORD threadId, DWORD timeoutMs) {
    waitFor(
        [&] {
            HWND dialog = findDialog(threadId);
            if (dialog == nullptr) return true;
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            // Give the dialog's thread the time to act before posting again.
            Sleep(100);
            return false;
        },
        timeoutMs);
}

}  // namespace

DialogAnswerer::DialogAnswerer(DWORD threadId, Answer answer, DWORD timeoutMs)
    : thread_([this, threadId, answer = std::move(answer), timeoutMs] {
          this->answer(threadId, answer, timeoutMs);
      }) {}

DialogAnswerer::~DialogAnswerer() {
    if (thread_.joinable()) thread_.join();
}

bool DialogAnswerer::join() {
    if (thread_.joinable()) thread_.join();
    return answered_;
}

void DialogAnswerer::answer(DWORD threadId, const Answer& answer, DWORD timeoutMs) {
    HWND dialog = nullptr;
    // A modal dialog becomes visible once WM_INITDIALOG has returned, so its controls are set
    // up and a text set now is not overwritten by the dialog's own initialisation.
    if (!waitFor([&] { return (dialog = findDialog(threadId)) != nullptr; }, timeoutMs)) {
        problem_ = "no dialog of thread " + std::to_string(threadId) + " appeared within " +
                   std::to_string(timeoutMs) + " ms";
        return;
    }
    // Under load Wine's file dialogs can be visible for seconds before their controls exist (the
    // shell view of a large folder is still being filled): wait for the controls named, then
    // read the title.
    waitFor(
        [&] {
            for (const auto& [controlId, text] : answer.texts) {
                if (findControl(dialog, controlId) == nullptr) return false;
            }
            return true;
        },
        timeoutMs);
    title_ = windowText(dialog);
    for (const auto& [controlId, text] : answer.texts) {
        HWND control = findControl(dialog, controlId);
        DWORD_PTR result = 0;
        if (control == nullptr ||
            !SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                 SMTO_ABORTIFHUNG, timeoutMs, &result)) {
            problem_ = "could not set the text of control " + std::to_string(controlId) +
                       " of the dialog \"" + narrow(title_) + "\"";
            cancelDialogs(threadId, timeoutMs);
            return;
        }
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer.command, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer.command)));
    if (!waitFor([&] { return !IsWindow(dialog); }, timeoutMs)) {
        HWND top = findDialog(threadId);
        problem_ = "the dialog \"" + narrow(title_) + "\" stayed open after command " +
                   std::to_string(answer.command);
        if (top != nullptr && top != dialog) {
            problem_ += " (\"" + narrow(windowText(top)) + "\" is over it)";
        }
        cancelDialogs(threadId, timeoutMs);
        return;
    }
    answered_ = true;
}

}  // namespace quill::gui
