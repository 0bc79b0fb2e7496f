// The socket layer on BSD sockets: non-blocking descriptors whose every wait goes through poll
// with the connection's time-outs; MSG_NOSIGNAL keeps a closed peer from raising SIGPIPE.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/net_socket.h"

namespace quill::platform {

namespace {

// Waits for `events` on the descriptor until the deadline: 1 ready, 0 timed out, -1 failed.
int waitFor(int fd, short events, int64_t deadline) {
    for (;;) {
        int64_t left = deadline - steadyMillis();
        if (left < 0) left = 0;
        pollfd p{fd, events, 0};
        int rc = ::poll(&p, 1, int(left > INT_MAX ? INT_MAX : left));
        if (rc > 0) return 1;
        if (rc == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

NetStatus statusOf(int code) {
    switch (code) {
        case ECONNREFUSED:
            return NetStatus::kRefused;
        case ETIMEDOUT:
            return NetStatus::kTimedOut;
        default:
            return NetStatus::kFailed;
    }
}

std::string textOf(int code) {
    switch (code) {
        case ECONNREFUSED:
            return "connection refused";
        case ETIMEDOUT:
            return "timed out";
        case ECONNRESET:
            return "connection reset by the peer";
        default:
            return "network error " + std::to_string(code) + " (" + std::strerror(code) + ")";
    }
}

}  // namespace

bool startSockets() {
    return true;
}

std::optional<uint32_t> lookupIPv4(const std::string& host, int* code) {
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
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
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
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail(NetStatus::kFailed, errno, textOf(errno));
    handle_ = fd;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (errno != EINPROGRESS) {
            int code = errno;
            close();
            return fail(statusOf(code), code, textOf(code));
        }
        int ready = waitFor(fd, POLLOUT, steadyMillis() + timeouts.connectMs);
        int code = ready < 0 ? errno : 0;
        if (ready > 0) {
            socklen_t size = sizeof code;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0) code = errno;
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
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

bool TcpConnection::sendAll(const void* data, size_t length) {
    if (!isOpen()) return fail(NetStatus::kFailed, EBADF, "not connected");
    auto* bytes = static_cast<const uint8_t*>(data);
    int fd = int(handle_);
    while (length > 0) {
        ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            length -= size_t(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return fail(statusOf(errno), errno, textOf(errno));
        }
        int ready = waitFor(fd, POLLOUT, steadyMillis() + timeouts_.sendMs);
        if (ready == 0) return fail(NetStatus::kTimedOut, 0, "timed out");
        if (ready < 0) return fail(NetStatus::kFailed, errno, textOf(errno));
    }
    return true;
}

ptrdiff_t TcpConnection::receiveRaw(void* out, size_t capacity, int64_t deadline) {
    if (!isOpen()) return fail(NetStatus::kFailed, EBADF, "not connected"), -1;
    int fd = int(handle_);
    for (;;) {
        ssize_t got = ::recv(fd, out, capacity, 0);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            int code = errno;
            fail(statusOf(code), code, textOf(code));
            return -1;
        }
        int ready = waitFor(fd, POLLIN, deadline);
        if (ready == 0) return fail(NetStatus::kTimedOut, 0, "timed out"), -1;
        if (ready < 0) return fail(NetStatus::kFailed, errno, textOf(errno)), -1;
    }
}

void TcpConnection::close() {
    if (handle_ != kNoHandle) ::close(int(handle_));
    handle_ = kNoHandle;
    pending_.clear();
    pendingStart_ = 0;
}

}  // namespace quill::platform
