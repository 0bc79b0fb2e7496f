// The owner of the desktop host classes' windows: the projector's main window when it provides
// one, otherwise a hidden top-level window of our own (see owner_window.h).
#include "host/system/owner_window.h"

#include <atomic>

namespace quill {

namespace {

std::atomic<OwnerWindowProvider> provider{nullptr};

const wchar_t kOwnerClass[] = L"Quill_Owner_Window";

// A tool window stays off the taskbar; never shown, it only owns and parents.
HWND createHiddenOwner() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kOwnerClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    return CreateWindowExW(WS_EX_TOOLWINDOW, kOwnerClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                           nullptr, instance, nullptr);
}

}  // namespace

void setOwnerWindowProvider(OwnerWindowProvider newProvider) {
    provider.store(newProvider);
}

HWND ownerWindow() {
    if (OwnerWindowProvider current = provider.load()) {
        if (HWND window = current()) return window;
    }
    // One per thread: a window belongs to the thread that created it, and the dialogs it owns
    // run their loops on that thread.
    thread_local HWND hidden = nullptr;
    if (!hidden || !IsWindow(hidden)) hidden = createHiddenOwner();
    return hidden;
}

}  // namespace quill
