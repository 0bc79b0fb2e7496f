// How asynchronous socket notifications reach the user-interface thread: a hidden message-only
// window per thread receives WSAAsyncSelect messages and hands each to the object that registered
// the socket. Each registration gets a message number of its own, so a notification still queued
// for a socket that has since been closed (whose handle the system may already have given to a
// new socket) finds no one and is dropped.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <cstdint>

namespace quill::net {

class SocketEventTarget {
  public:
    // One notification: the socket it names, the event (FD_READ, ...) and its error code.
    virtual void socketEvent(SOCKET socket, long event, int error) = 0;

  protected:
    ~SocketEventTarget() = default;
};

// A socket's registration: the thread's window and the message number it was given.
struct SocketEventRegistration {
    void* thread = nullptr;
    UINT message = 0;
    bool active() const { return message != 0; }
};

// Registers the socket for `events` on this thread's window (0 stops the notifications but keeps
// the registration). A new registration gets a fresh message number; an active one keeps its
// own. False, with the Winsock error in WSAGetLastError, when the window or the system refuses.
bool selectSocketEvents(SOCKET socket, long events, SocketEventTarget* target,
                        SocketEventRegistration* registration);
// Stops the notifications and frees the number; notifications still queued are dropped.
void releaseSocketEvents(SOCKET socket, SocketEventRegistration* registration);

// How many registrations this thread's window holds (for tests and diagnostics).
size_t socketEventTargetCount();

}  // namespace quill::net
