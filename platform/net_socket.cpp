// The system-independent half of the socket layer: dotted-decimal addresses, and the buffered
// reads (exact counts, lines) built on each system's single receive.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/net_socket.h"

namespace quill::platform {

std::optional<uint32_t> parseIPv4(std::string_view text) {
    uint32_t address = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        uint32_t value = 0;
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            value = value * 10 + uint32_t(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        address = (address << 8) | value;
    }
    if (at != text.size()) return std::nullopt;
    return address;
}

std::optional<uint32_t> localhostAddress(std::string_view host) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    constexpr std::string_view kName = "localhost";
    if (host.size() < kName.size()) return std::nullopt;
    std::string_view tail = host.substr(host.size() - kName.size());
    for (size_t i = 0; i < kName.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != kName[i]) return std::nullopt;
    }
    if (host.size() > kName.size() && host[host.size() - kName.size() - 1] != '.') {
        return std::nullopt;
    }
    return 0x7F000001u;
}

std::optional<uint32_t> resolveIPv4(const std::string& host, NetError* error) {
    if (auto address = parseIPv4(host)) return address;
    if (auto address = localhostAddress(host)) return address;
    int code = 0;
    std::optional<uint32_t> address;
    if (!host.empty() && host.size() <= 255 && host.find('\0') == std::string::npos) {
        address = lookupIPv4(host, &code);
    }
    if (!address && error) *error = {NetStatus::kUnknownHost, code, "unknown host " + host};
    return address;
}

std::string formatIPv4(uint32_t address) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) out += '.';
        out += std::to_string((address >> shift) & 0xFF);
    }
    return out;
}

int64_t steadyMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TcpConnection::TcpConnection(TcpConnection&& other) noexcept {
    *this = std::move(other);
}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        timeouts_ = other.timeouts_;
        pending_ = std::move(other.pending_);
        pendingStart_ = std::exchange(other.pendingStart_, 0);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool TcpConnection::fail(NetStatus status, int systemCode, std::string text) {
    error_.status = status;
    error_.systemCode = systemCode;
    error_.text = std::move(text);
    return false;
}

ptrdiff_t TcpConnection::receiveSome(void* out, size_t capacity) {
    if (capacity == 0) return 0;
    if (pendingStart_ < pending_.size()) {
        size_t n = std::min(capacity, pending_.size() - pendingStart_);
        std::memcpy(out, pending_.data() + pendingStart_, n);
        pendingStart_ += n;
        return ptrdiff_t(n);
    }
    return receiveRaw(out, capacity, steadyMillis() + timeouts_.receiveMs);
}

bool TcpConnection::receiveExact(void* out, size_t length) {
    auto* bytes = static_cast<uint8_t*>(out);
    size_t done = 0;
    if (pendingStart_ < pending_.size()) {
        done = std::min(length, pending_.size() - pendingStart_);
        std::memcpy(bytes, pending_.data() + pendingStart_, done);
        pendingStart_ += done;
    }
    int64_t deadline = steadyMillis() + timeouts_.receiveMs;
    while (done < length) {
        ptrdiff_t got = receiveRaw(bytes + done, length - done, deadline);
        if (got < 0) return false;
        if (got == 0) return fail(NetStatus::kClosed, 0, "connection closed by the peer");
        done += size_t(got);
    }
    return true;
}

bool TcpConnection::readLine(std::string* line, size_t maxLength) {
    line->clear();
    int64_t deadline = steadyMillis() + timeouts_.receiveMs;
    size_t scanned = pendingStart_;
    for (;;) {
        size_t end = pending_.find('\n', scanned);
        if (end != std::string::npos) {
            size_t stop = end;
            if (stop > pendingStart_ && pending_[stop - 1] == '\r') --stop;
            if (stop - pendingStart_ > maxLength) break;
            line->assign(pending_, pendingStart_, stop - pendingStart_);
            pendingStart_ = end + 1;
            return true;
        }
        // A CR just before the LF does not count toward the length.
        size_t held = pending_.size() - pendingStart_;
        if (held > maxLength + 1) break;
        scanned = pending_.size();
        // Drop what was handed out before reading more, so the buffer stays near one line.
        if (pendingStart_ > 0) {
            pending_.erase(0, pendingStart_);
            scanned -= pendingStart_;
            pendingStart_ = 0;
        }
        char chunk[1024];
        size_t room = std::min(sizeof chunk, maxLength + 2 - held);
        ptrdiff_t got = receiveRaw(chunk, room, deadline);
        if (got < 0) return false;
        if (got == 0) {
            pending_.clear();
            pendingStart_ = 0;
            return fail(NetStatus::kClosed, 0, "connection closed by the peer");
        }
        pending_.append(chunk, size_t(got));
    }
    return fail(NetStatus::kTooLong, 0, "line too long");
}

}  // namespace quill::platform
