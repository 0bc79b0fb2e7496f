// Blocking IPv4 TCP connections with time-outs, and host name resolution: the small socket layer
// the network clients share (MX lookup, SMTP, POP3). Winsock on Windows, BSD sockets elsewhere.
//
//     platform::TcpConnection mail;
//     if (!mail.connect("mail.example.net", 25, {.connectMs = 60000, .sendMs = 60000,
//                                                .receiveMs = 60000})) {
//         report(mail.error().text);           // "unknown host ...", "connection refused", ...
//         return false;
//     }
//     std::string line;
//     if (!mail.readLine(&line, 1000)) ...     // "220 ready" (CR LF removed)
//     if (!mail.sendAll("QUIT\r\n")) ...
//     mail.close();                            // also done by the destructor
//
// Every call blocks the calling thread; each wait inside is bounded by the connection's
// time-outs, so a stalled or silent peer ends the call with NetStatus::kTimedOut. A connection is
// used by one thread at a time. None of these functions raise exceptions except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill::platform {

// Starts the system's socket library for this process (WSAStartup on Windows, nothing
// elsewhere). Safe from any thread and any number of times; the functions below call it
// themselves. False when the library cannot start.
bool startSockets();

// IPv4 addresses are host-order integers: 127.0.0.1 is 0x7F000001.
//
// Strict dotted decimal: exactly four decimal parts of 0 to 255 (at most three digits each)
// joined by dots, nothing before or after. Shorthands the C library accepts ("127.1", "0x7f.1",
// "010.0.0.1" as octal) are not dotted decimal here.
std::optional<uint32_t> parseIPv4(std::string_view text);
// 127.0.0.1 for "localhost" and names under it (any case, with or without the final dot): such
// names are always the loopback address and never go to a resolver, so they work on machines
// whose hosts file lacks them.
std::optional<uint32_t> localhostAddress(std::string_view host);
std::string formatIPv4(uint32_t address);

enum class NetStatus {
    kOk,
    kUnknownHost,  // the resolver has no IPv4 address for the name (or the name is unusable)
    kRefused,      // nothing listens at the address and port
    kTimedOut,     // a time-out of the connection passed while waiting
    kClosed,       // the peer closed the connection before the expected data arrived
    kTooLong,      // readLine: the line is longer than allowed
    kFailed,       // any other system failure (reset, unreachable, no socket, ...)
};

struct NetError {
    NetStatus status = NetStatus::kOk;
    int systemCode = 0;  // WSAGetLastError / errno / resolver code, 0 when there was none
    std::string text;    // short English description, e.g. "connection refused"
};

// Resolves a host: dotted decimal text is taken as it is; anything else goes to the system's
// resolver, which is asked for IPv4 addresses only (the first answer is used). Blocks for as long
// as the resolver takes. Empty names, names with NUL characters and names over 255 bytes fail
// with kUnknownHost without asking the resolver.
std::optional<uint32_t> resolveIPv4(const std::string& host, NetError* error = nullptr);
// The system resolver's part of resolveIPv4 (one per platform): the first IPv4 address of a
// usable name, or nothing with the resolver's code.
std::optional<uint32_t> lookupIPv4(const std::string& host, int* code);

// This machine's host name as the system reports it ("localhost" when it reports none).
std::string localHostName();

// Milliseconds. connectMs bounds the connection set-up; sendMs bounds each wait for room to send
// (every byte the system takes starts it afresh); receiveMs bounds a whole receiveSome,
// receiveExact or readLine call.
struct TcpTimeouts {
    uint32_t connectMs = 10000;
    uint32_t sendMs = 10000;
    uint32_t receiveMs = 10000;
};

class TcpConnection {
  public:
    TcpConnection() = default;
    ~TcpConnection() { close(); }
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves `host` (see resolveIPv4) and connects; false with error() set. An open
    // connection is closed first.
    bool connect(const std::string& host, uint16_t port, const TcpTimeouts& timeouts = {});
    bool connect(uint32_t address, uint16_t port, const TcpTimeouts& timeouts = {});
    bool isOpen() const { return handle_ != kNoHandle; }

    // Sends every byte; false on failure or time-out (the connection is of no further use).
    bool sendAll(const void* data, size_t length);
    bool sendAll(std::string_view text) { return sendAll(text.data(), text.size()); }

    // Up to `capacity` bytes (bytes readLine read ahead come first): the count received, 0 when
    // the peer closed the connection, -1 on failure or time-out.
    ptrdiff_t receiveSome(void* out, size_t capacity);
    // Exactly `length` bytes; false otherwise (kClosed when the peer closed first).
    bool receiveExact(void* out, size_t length);
    // One line ended by LF or CR LF, without its ending. False when more than `maxLength` bytes
    // come without an ending (kTooLong), when the peer closes before the ending (kClosed; the
    // partial line is dropped), on time-out or on failure. Bytes after the line stay buffered
    // for the next read.
    bool readLine(std::string* line, size_t maxLength = 4096);

    // Closes the connection (sending what is queued, without waiting for the peer). Harmless on
    // a closed connection.
    void close();

    // What the last failing call met; status kOk after a successful connect.
    const NetError& error() const { return error_; }

  private:
    static constexpr intptr_t kNoHandle = -1;

    // Implemented per system: one receive into `out`, waiting until `deadline` (a steady-clock
    // time in milliseconds); as receiveSome.
    ptrdiff_t receiveRaw(void* out, size_t capacity, int64_t deadline);
    bool fail(NetStatus status, int systemCode, std::string text);

    intptr_t handle_ = kNoHandle;  // a SOCKET on Windows, a descriptor elsewhere
    TcpTimeouts timeouts_;
    std::string pending_;  // received but not yet handed out (readLine reads ahead)
    size_t pendingStart_ = 0;
    NetError error_;
};

// Milliseconds of a steady clock, for deadlines.
int64_t steadyMillis();

}  // namespace quill::platform
