// The per-thread notification window behind Socket's events (see socket_events_win32.h). The
// window lives as long as its thread; message numbers come round-robin from the application range
// so that a freed number is not handed out again soon.
#include "host/net/socket_events_win32.h"

#include <windows.h>

#include <mutex>
#include <unordered_map>

namespace quill::net {

namespace {

constexpr UINT kFirstMessage = WM_APP + 0x100;
constexpr UINT kLastMessage = 0xBFFF;
constexpr wchar_t kWindowClass[] = L"QuillSocketEvents";

struct ThreadEvents {
    HWND window = nullptr;
    std::unordered_map<UINT, SocketEventTarget*> targets;
    UINT next = kFirstMessage;
};

thread_local ThreadEvents* tThreadEvents = nullptr;

LRESULT CALLBACK eventWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kFirstMessage && message <= kLastMessage) {
        auto* events = reinterpret_cast<ThreadEvents*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!events) return 0;
        auto found = events->targets.find(message);
        // The target may close the socket or free the number during the call; nothing of
        // `events` is used after it.
        if (found != events->targets.end()) {
            found->second->socketEvent(SOCKET(wParam), WSAGETSELECTEVENT(lParam),
                                       WSAGETSELECTERROR(lParam));
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

ThreadEvents* threadEvents() {
    if (tThreadEvents) return tThreadEvents;
    static std::once_flag registered;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    std::call_once(registered, [instance] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = eventWindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);
    });
    HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);
    if (!window) return nullptr;
    auto* events = new ThreadEvents;
    events->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(events));
    tThreadEvents = events;
    return events;
}

UINT freeMessage(ThreadEvents* events) {
    constexpr UINT kCount = kLastMessage - kFirstMessage + 1;
    for (UINT tries = 0; tries < kCount; ++tries) {
        UINT message = events->next;
        events->next = message == kLastMessage ? kFirstMessage : message + 1;
        if (!events->targets.count(message)) return message;
    }
    return 0;
}

}  // namespace

bool selectSocketEvents(SOCKET socket, long events, SocketEventTarget* target,
                        SocketEventRegistration* registration) {
    auto* thread = static_cast<ThreadEvents*>(registration->thread);
    if (!registration->active()) thread = threadEvents();
    if (!thread) {
        WSASetLastError(WSAENOBUFS);
        return false;
    }
    UINT message = registration->active() ? registration->message : freeMessage(thread);
    if (message == 0) {
        WSASetLastError(WSAEMFILE);
        return false;
    }
    if (WSAAsyncSelect(socket, thread->window, message, events) != 0) return false;
    thread->targets[message] = target;
    registration->thread = thread;
    registration->message = message;
    return true;
}

void releaseSocketEvents(SOCKET socket, SocketEventRegistration* registration) {
    auto* thread = static_cast<ThreadEvents*>(registration->thread);
    if (!thread || !registration->active()) return;
    if (socket != INVALID_SOCKET) WSAAsyncSelect(socket, thread->window, 0, 0);
    thread->targets.erase(registration->message);
    *registration = {};
}

size_t socketEventTargetCount() {
    return tThreadEvents ? tThreadEvents->targets.size() : 0;
}

}  // namespace quill::net
