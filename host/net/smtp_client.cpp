// The SMTP client: a connection that sends command lines and reads whole replies, and the
// dialogue that sends one message (greeting, EHLO or HELO, authentication, envelope, data).
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "host/net/mail_clients.h"
#include "host/net/mail_protocol.h"
#include "host/net/mime_codecs.h"

namespace quill::mail {

namespace {

std::atomic<uint32_t> gTimeoutMs{kMailTimeoutMs};

// What a report shows instead of a credential.
constexpr std::string_view kHidden = "********";

// Message lines are gathered into sends of about this size: one send per line would make a
// large message a hundred thousand system calls.
constexpr size_t kSendBatch = 32 * 1024;

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool authenticate(SmtpChannel& smtp, unsigned offered, const std::string& username,
                  const std::string& password) {
    if (offered & kAuthCramMd5) {
        std::string challenge;
        if (!smtp.step("AUTH CRAM-MD5\r\n", 300, &challenge)) return false;
        return smtp.step(cramMd5Answer(username, password, challenge) + "\r\n", 200);
    }
    if (offered & kAuthLogin) {
        std::string hidden = std::string(kHidden) + "\r\n";
        return smtp.step("AUTH LOGIN\r\n", 300) && smtp.step(base64(username) + "\r\n", 300) &&
               smtp.step(base64(password) + "\r\n", 200, nullptr, hidden);
    }
    std::string credentials;
    credentials += '\0';
    credentials += username;
    credentials += '\0';
    credentials += password;
    std::string hidden = "AUTH PLAIN " + std::string(kHidden) + "\r\n";
    return smtp.step("AUTH PLAIN " + base64(credentials) + "\r\n", 200, nullptr, hidden);
}

// The message after DATA, line by line, each line's length reported; false when the callback
// stopped it or the connection failed.
bool sendData(SmtpChannel& smtp, std::FILE* message, const Progress& progress) {
    if (std::fseek(message, 0, SEEK_SET) != 0) return false;
    SmtpLineWriter writer;
    std::string batch;
    bool stopped = false;
    auto onLine = [&](std::string_view line) {
        batch.append(line);
        if (!progress(kBytesDone, std::to_string(line.size()))) {
            stopped = true;
            return false;
        }
        if (batch.size() >= kSendBatch) {
            if (!smtp.sendRaw(batch)) return false;
            batch.clear();
        }
        return true;
    };
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), message);
        if (got > 0 && !writer.add(std::string_view(buffer.data(), got), onLine)) break;
        if (got < buffer.size()) {
            if (std::ferror(message)) return false;
            writer.finish(onLine);
            break;
        }
    }
    if (stopped || !smtp.isOpen()) return false;
    return batch.empty() || smtp.sendRaw(batch);
}

}  // namespace

void setMailTimeoutForTests(uint32_t milliseconds) {
    gTimeoutMs = milliseconds;
}

platform::TcpTimeouts mailTimeouts() {
    uint32_t ms = gTimeoutMs;
    return {ms, ms, ms};
}

bool SmtpChannel::open(const std::string& host, uint16_t port, const char* failureText) {
    if (connection_.connect(host, port, mailTimeouts())) return true;
    progress_(kSocketFailed, failureText ? failureText : connection_.error().text);
    return false;
}

bool SmtpChannel::socketFailed() {
    std::string text =
        connection_.isOpen() || connection_.error().status != platform::NetStatus::kOk
            ? connection_.error().text
            : std::string("not connected");
    connection_.close();
    progress_(kSocketFailed, text);
    return false;
}

bool SmtpChannel::sendRaw(std::string_view bytes) {
    if (!connection_.isOpen()) return socketFailed();
    return connection_.sendAll(bytes) || socketFailed();
}

bool SmtpChannel::readReply(std::string* reply) {
    reply->clear();
    if (!connection_.isOpen()) return socketFailed();
    std::string line;
    for (;;) {
        if (!connection_.readLine(&line, kMaxReplyLine)) return socketFailed();
        reply->append(line).append("\r\n");
        if (isFinalSmtpLine(line)) break;
        if (reply->size() > kMaxSmtpReply) {
            connection_.close();
            progress_(kSocketFailed, "reply too long");
            return false;
        }
    }
    progress_(kServerReply, *reply);
    return true;
}

bool SmtpChannel::step(std::string_view line, int expectedClass, std::string* reply,
                       std::string_view shown) {
    if (!sendRaw(line)) return false;
    progress_(kCommandSent, shown.empty() ? line : shown);
    std::string scratch;
    if (!reply) reply = &scratch;
    return readReply(reply) && smtpReplyIn(*reply, expectedClass);
}

bool sendMessage(const ServerAccount& account, std::string_view from, std::string_view to,
                 std::FILE* message, const Progress& progress) {
    // A line break in an address would end the command early and start another one.
    if (hasLineBreak(from) || hasLineBreak(to)) return false;
    std::vector<std::string> recipients = recipientAddresses(to);
    if (recipients.empty()) return false;

    SmtpChannel smtp(progress);
    if (!smtp.open(account.host, account.port, "can't connect to the smtp server")) return false;
    std::string reply;
    if (!smtp.readReply(&reply)) return false;

    std::string client = platform::localHostName();
    bool extended = smtp.step("EHLO " + client + "\r\n", 200, &reply);
    if (!extended && !smtp.step("HELO " + client + "\r\n", 200)) return false;
    if (extended && account.username && account.password) {
        unsigned offered = offeredAuthMechanisms(reply);
        if (offered && !authenticate(smtp, offered, *account.username, *account.password)) {
            return false;
        }
    }

    if (!smtp.step("MAIL FROM:<" + senderAddress(from) + ">\r\n", 200)) return false;
    for (const std::string& address : recipients) {
        // Refusals are reported; the server decides at DATA whether anyone is left.
        std::string line = "RCPT TO:<" + address + ">\r\n";
        if (!smtp.sendRaw(line)) return false;
        progress(kCommandSent, line);
        if (!smtp.readReply(&reply)) return false;
    }
    if (!smtp.step("DATA\r\n", 300)) return false;
    if (!sendData(smtp, message, progress)) {
        smtp.close();
        return false;
    }
    if (!smtp.step(".\r\n", 200)) {
        smtp.close();
        return false;
    }
    if (smtp.sendRaw("QUIT\r\n")) {
        progress(kCommandSent, "QUIT\r\n");
        smtp.readReply(&reply);
    }
    smtp.close();
    return true;
}

}  // namespace quill::mail
