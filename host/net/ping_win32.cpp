// ICMP echo for Inet's `ping` and `isInetConnected`: over a raw socket where the system allows
// one, else through the system's ICMP service. Each wait for a reply ends by its time-out however
// many unrelated datagrams arrive meanwhile.
#include <winsock2.h>
#include <ws2tcpip.h>
// The ICMP service's declarations need the IP helper types first.
#include <iphlpapi.h>

#include <icmpapi.h>

#include <cstdio>
#include <memory>

#include "host/net/icmp_echo.h"
#include "host/net/inet_win32.h"
#include "platform/net_socket.h"

namespace quill::net {

namespace {

std::string format(const char* pattern, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

class Reporter {
  public:
    explicit Reporter(const PingReport& report) : report_(report) {}
    void operator()(int code, int64_t value, const std::string& text) const {
        if (report_) report_(code, value, text);
    }
    void pinging(const std::string& host, uint32_t address) const {
        (*this)(3, 0,
                format("Pinging %s [%s]: with %d bytes of data:\n\n", host.c_str(),
                       platform::formatIPv4(address).c_str(), int(icmp::kEchoDataLength)));
    }
    void reply(uint32_t from, uint32_t time, int ttl, uint32_t sequence) const {
        (*this)(4, time,
                format("Reply from %s: bytes=%d time=%dms TTL=%d icmp_seq=%u",
                       platform::formatIPv4(from).c_str(), int(icmp::kEchoDataLength), int(time),
                       ttl, sequence));
    }
    void timedOut() const { (*this)(0, kEchoTimeoutMs, "Request timed out"); }
    void unreachable() const { (*this)(1, 0, "Destination host unreachable"); }
    void setupFailed(const std::string& text) const { (*this)(2, 0, text); }

  private:
    const PingReport& report_;
};

struct SocketCloser {
    void operator()(SOCKET* s) const {
        closesocket(*s);
        delete s;
    }
};

std::optional<uint32_t> resolveOrReport(const std::string& host, const Reporter& report) {
    auto address = platform::resolveIPv4(host);
    if (!address) report.setupFailed(format("Unkown host %s", host.c_str()));
    return address;
}

// Waits for the reply to one request until its time-out; true when it came.
bool awaitReply(SOCKET s, uint32_t target, uint16_t identifier, uint16_t sequence,
                const Reporter& report) {
    ULONGLONG deadline = GetTickCount64() + kEchoTimeoutMs;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        ULONGLONG left = deadline - now;
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(s, &ready);
        timeval wait{long(left / 1000), long((left % 1000) * 1000)};
        // A failing wait or receive ends the wait as a time-out would: no reply can come through
        // a socket in that state.
        if (select(0, &ready, nullptr, nullptr, &wait) <= 0) return false;
        uint8_t datagram[1024];
        sockaddr_in from{};
        int size = sizeof from;
        int got = recvfrom(s, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                           reinterpret_cast<sockaddr*>(&from), &size);
        if (got < 0) {
            int code = WSAGetLastError();
            // Datagrams longer than the buffer are someone else's; the socket is still fine.
            if (code == WSAEMSGSIZE) continue;
            return false;
        }
        auto echo = icmp::matchEchoReply(datagram, size_t(got), target, identifier, sequence);
        if (!echo) continue;
        report.reply(target, GetTickCount() - echo->tick, echo->ttl, sequence);
        return true;
    }
}

// The raw-socket way: nothing when the socket cannot be opened at all.
std::optional<int64_t> pingRaw(const std::string& host, int64_t count, const Reporter& report,
                               bool fallbackAllowed) {
    protoent* protocol = getprotobyname("icmp");
    if (!protocol) {
        report.setupFailed("getprotobyname error");
        return 0;
    }
    SOCKET handle = socket(AF_INET, SOCK_RAW, protocol->p_proto);
    if (handle == INVALID_SOCKET) {
        if (fallbackAllowed && WSAGetLastError() == WSAEACCES) return std::nullopt;
        report.setupFailed("socket error");
        return 0;
    }
    std::unique_ptr<SOCKET, SocketCloser> owner(new SOCKET(handle));
    DWORD timeout = kEchoTimeoutMs;
    setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    auto target = resolveOrReport(host, report);
    if (!target) return 0;
    report.pinging(host, *target);

    auto identifier = uint16_t(GetCurrentProcessId());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(*target);
    int64_t replies = 0;
    for (int64_t i = 0; i < count; ++i) {
        auto sequence = uint16_t(i);
        auto packet = icmp::buildEchoRequest(identifier, sequence, GetTickCount());
        if (sendto(handle, reinterpret_cast<const char*>(packet.data()), int(packet.size()), 0,
                   reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
            report.unreachable();
        }
        if (awaitReply(handle, *target, identifier, sequence, report)) {
            ++replies;
        } else {
            report.timedOut();
        }
    }
    return replies;
}

// The ICMP service's way: it sends, waits and matches replies itself.
int64_t pingService(const std::string& host, int64_t count, const Reporter& report) {
    HANDLE service = IcmpCreateFile();
    if (service == INVALID_HANDLE_VALUE) {
        report.setupFailed("socket error");
        return 0;
    }
    auto target = resolveOrReport(host, report);
    if (!target) {
        IcmpCloseHandle(service);
        return 0;
    }
    report.pinging(host, *target);
    uint8_t data[icmp::kEchoDataLength];
    for (size_t i = 0; i < sizeof data; ++i) data[i] = uint8_t(32 + i);
    // Room for one reply, its data and an ICMP error's worth of extra bytes.
    alignas(ICMP_ECHO_REPLY) uint8_t replies[sizeof(ICMP_ECHO_REPLY) + sizeof data + 8 + 64];
    int64_t answered = 0;
    for (int64_t i = 0; i < count; ++i) {
        DWORD got = IcmpSendEcho(service, htonl(*target), data, sizeof data, nullptr, replies,
                                 sizeof replies, kEchoTimeoutMs);
        auto* reply = reinterpret_cast<ICMP_ECHO_REPLY*>(replies);
        if (got > 0 && reply->Status == IP_SUCCESS && ntohl(reply->Address) == *target) {
            report.reply(*target, reply->RoundTripTime, reply->Options.Ttl, uint32_t(uint16_t(i)));
            ++answered;
            continue;
        }
        DWORD status = got > 0 ? reply->Status : GetLastError();
        if (status != IP_REQ_TIMED_OUT) report.unreachable();
        report.timedOut();
    }
    IcmpCloseHandle(service);
    return answered;
}

}  // namespace

int64_t ping(const std::string& host, int64_t count, const PingReport& report, PingMethod method) {
    Reporter reporter(report);
    if (!platform::startSockets()) {
        reporter.setupFailed("socket error");
        return 0;
    }
    if (method != PingMethod::kIcmpService) {
        auto replies = pingRaw(host, count, reporter, method == PingMethod::kAutomatic);
        if (replies) return *replies;
    }
    return pingService(host, count, reporter);
}

}  // namespace quill::net
