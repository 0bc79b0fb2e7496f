// The SMTP and POP3 clients behind `SendMail` and `RecvMail`, on the blocking socket layer: the
// whole SMTP dialogue of a message (with CRAM-MD5, LOGIN or PLAIN as the server offers), a
// hand-driven SMTP connection, and a POP3 session. Every step is reported to a progress callback
// (code and text); a false answer to a byte count stops a transfer. Passwords never appear in a
// report. No exceptions but std::bad_alloc.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net_socket.h"

namespace quill::mail {

enum ProgressCode : int {
    kSocketFailed = 0,  // text: what went wrong
    kServerReply = 1,   // text: a whole reply (SMTP: every one; POP3: negative ones)
    kCommandSent = 2,   // text: the SMTP command line just sent
    kBytesDone = 3,     // text: a decimal count; the answer decides whether a transfer goes on
};

using Progress = std::function<bool(int code, std::string_view text)>;

struct ServerAccount {
    std::string host = "localhost";
    uint16_t port = 0;
    std::optional<std::string> username;
    std::optional<std::string> password;
};

// Every connect, send and receive of the mail clients waits at most this long. Tests of stalled
// servers shorten it; nothing else changes it.
constexpr uint32_t kMailTimeoutMs = 60000;
void setMailTimeoutForTests(uint32_t milliseconds);
platform::TcpTimeouts mailTimeouts();

// Longest reply line and whole reply the clients take; longer ones end the connection.
constexpr size_t kMaxReplyLine = 4096;
constexpr size_t kMaxSmtpReply = 64 * 1024;

// An SMTP connection: commands out, whole replies in (each reported with code 1).
class SmtpChannel {
  public:
    explicit SmtpChannel(const Progress& progress) : progress_(progress) {}

    // Connects to the server; a failure is reported with code 0 and the socket layer's text,
    // or with `failureText` when given.
    bool open(const std::string& host, uint16_t port, const char* failureText = nullptr);
    void close() { connection_.close(); }
    bool isOpen() const { return connection_.isOpen(); }

    // Sends bytes as they are; a failure is reported and closes the connection.
    bool sendRaw(std::string_view bytes);
    // Reads one whole reply; false (reported, connection closed) on a socket failure, time-out,
    // or a reply too long for the limits above.
    bool readReply(std::string* reply);
    // Sends a command line (reported with code 2 as `shown`, or as sent), reads the reply and
    // checks that its code is in the class.
    bool step(std::string_view line, int expectedClass, std::string* reply = nullptr,
              std::string_view shown = {});

  private:
    bool socketFailed();
    const Progress& progress_;
    platform::TcpConnection connection_;
};

// Sends the message held in `message` (complete, from its start to its end) through the whole
// SMTP dialogue; true when the server accepted it.
bool sendMessage(const ServerAccount& account, std::string_view from, std::string_view to,
                 std::FILE* message, const Progress& progress);

// A POP3 session from connect to close.
class Pop3Session {
  public:
    explicit Pop3Session(const Progress& progress) : progress_(progress) {}

    // Connects, reads the greeting and, with both username and password, logs in. False (the
    // connection closed) when any of it fails.
    bool connect(const ServerAccount& account);
    void close() { connection_.close(); }
    bool isOpen() const { return connection_.isOpen(); }

    // A single-line command: the reply line when positive; a negative reply is reported with
    // code 1.
    std::optional<std::string> command(std::string_view line);
    // A multi-line listing (LIST, UIDL): the whole reply when it is positive and fits in 511
    // bytes. A longer reply is still read to its end, so that the session goes on.
    std::optional<std::string> listing(std::string_view line);
    // RETR or TOP: the message text (the added dots removed) goes to `sink` piece by piece, the
    // total stored so far reported with code 3 after each piece. False on a negative reply, a
    // socket failure, a stop by the callback, or more than `maxBytes` of text (the connection
    // is then closed).
    bool transfer(std::string_view line, int64_t maxBytes,
                  const std::function<bool(std::string_view)>& sink);

  private:
    bool readLine(std::string* line);
    bool negative(const std::string& reply);
    const Progress& progress_;
    platform::TcpConnection connection_;
};

// The POP3 listing limit: a reply must fit a 512-byte buffer with its terminating zero.
constexpr size_t kMaxPop3Listing = 511;

}  // namespace quill::mail
