// The socket layer on Winsock: non-blocking sockets whose every wait goes through select with the
// connection's time-outs (a blocking call that ran into SO_RCVTIMEO would leave the connection in
// an undefined state).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "platform/net_socket.h"

namespace quill::platform {

namespace {

// Waits until the socket can be read (or written, with `write`) or the deadline passes:
// 1 ready, 0 timed out, -1 failed. Only a connect watches the exception set, where its failure
// shows (urgent data would otherwise wake a read wait that recv cannot satisfy, again and again).
int waitFor(SOCKET s, bool write, int64_t deadline, bool connecting = false) {
    int64_t left = deadline - steadyMillis();
    if (left < 0) left = 0;
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval wait{long(left / 1000), long((left % 1000) * 1000)};
    int rc = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr,
                      connecting ? &failed : nullptr, &wait);
    if (rc < 0) return -1;
    return rc > 0 ? 1 : 0;
}

NetStatus statusOf(int code) {
    switch (code) {
        case WSAECONNREFUSED:
            return NetStatus::kRefused;
        case WSAETIMEDOUT:
            return NetStatus::kTimedOut;
        default:
            return NetStatus::kFailed;
    }
}

std::string textOf(int code) {
    switch (code) {
        case WSAECONNREFUSED:
            return "connection refused";
        case WSAETIMEDOUT:
            return "timed out";
        case WSAECONNRESET:
            return "connection reset by the peer";
        default:
            return "network error " + std::to_string(code);
    }
}

}  // namespace

bool startSockets() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

std::optional<uint32_t> lookupIPv4(const std::string& host, int* code) {
    if (!startSockets()) {
        *code = WSANOTINITIALISED;
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0 || !list) {
        *code = rc;
        return std::nullopt;
    }
    uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(list);
    return address;
}

std::string localHostName() {
    char name[256] = {};
    if (!startSockets() || ::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

bool TcpConnection::connect(const std::string& host, uint16_t port, const TcpTimeouts& timeouts) {
    close();
    auto address = resolveIPv4(host, &error_);
    if (!address) return false;
    return connect(*address, port, timeouts);
}

bool TcpConnection::connect(uint32_t address, uint16_t port, const TcpTimeouts& timeouts) {
    close();
    error_ = {};
    timeouts_ = timeouts;
    if (!startSockets()) return fail(NetStatus::kFailed, WSANOTINITIALISED, "no sockets");
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        int code = ::WSAGetLastError();
        return fail(NetStatus::kFailed, code, textOf(code));
    }
    handle_ = intptr_t(s);
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        int code = ::WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            close();
            return fail(statusOf(code), code, textOf(code));
        }
        int ready = waitFor(s, true, steadyMillis() + timeouts.connectMs, true);
        code = ready < 0 ? ::WSAGetLastError() : 0;
        if (ready > 0) {
            int size = sizeof code;
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) != 0) {
                code = ::WSAGetLastError();
            }
        }
        if (ready == 0) {
            close();
            return fail(NetStatus::kTimedOut, 0, "timed out");
        }
        if (code != 0) {
            close();
            return fail(statusOf(code), code, textOf(code));
        }
    }
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

bool TcpConnection::sendAll(const void* data, size_t length) {
    if (!isOpen()) return fail(NetStatus::kFailed, WSAENOTSOCK, "not connected");
    auto* bytes = static_cast<const char*>(data);
    auto s = SOCKET(handle_);
    while (length > 0) {
        int piece = int(std::min<size_t>(length, INT_MAX));
        int sent = ::send(s, bytes, piece, 0);
        if (sent > 0) {
            bytes += sent;
            length -= size_t(sent);
            continue;
        }
        int code = ::WSAGetLastError();
        if (sent < 0 && code != WSAEWOULDBLOCK) return fail(statusOf(code), code, textOf(code));
        int ready = waitFor(s, true, steadyMillis() + timeouts_.sendMs);
        if (ready == 0) return fail(NetStatus::kTimedOut, 0, "timed out");
        if (ready < 0) return fail(NetStatus::kFailed, ::WSAGetLastError(), "network error");
    }
    return true;
}

ptrdiff_t TcpConnection::receiveRaw(void* out, size_t capacity, int64_t deadline) {
    if (!isOpen()) return fail(NetStatus::kFailed, WSAENOTSOCK, "not connected"), -1;
    auto s = SOCKET(handle_);
    int piece = int(std::min<size_t>(capacity, INT_MAX));
    for (;;) {
        int got = ::recv(s, static_cast<char*>(out), piece, 0);
        if (got >= 0) return got;
        int code = ::WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            fail(statusOf(code), code, textOf(code));
            return -1;
        }
        int ready = waitFor(s, false, deadline);
        if (ready == 0) return fail(NetStatus::kTimedOut, 0, "timed out"), -1;
        if (ready < 0) return fail(NetStatus::kFailed, ::WSAGetLastError(), "network error"), -1;
    }
}

void TcpConnection::close() {
    if (handle_ != kNoHandle) ::closesocket(SOCKET(handle_));
    handle_ = kNoHandle;
    pending_.clear();
    pendingStart_ = 0;
}

}  // namespace quill::platform
