// The POP3 client: greeting and login, single-line commands, LIST and UIDL listings, and the
// message transfer of RETR and TOP.
#include <string>
#include <vector>

#include "host/net/mail_clients.h"
#include "host/net/mail_protocol.h"

namespace quill::mail {

namespace {

// A listing longer than the limit is read to its end all the same, up to this much.
constexpr size_t kMaxDrainedListing = 1 << 20;

}  // namespace

bool Pop3Session::readLine(std::string* line) {
    if (!connection_.isOpen()) {
        progress_(kSocketFailed, "not connected");
        return false;
    }
    if (connection_.readLine(line, kMaxReplyLine)) return true;
    std::string text = connection_.error().text;
    connection_.close();
    progress_(kSocketFailed, text);
    return false;
}

bool Pop3Session::negative(const std::string& reply) {
    if (isPositivePop3(reply)) return false;
    progress_(kServerReply, reply + "\r\n");
    return true;
}

bool Pop3Session::connect(const ServerAccount& account) {
    // A line break in a credential would end USER or PASS early and send the rest as commands.
    for (const auto& credential : {account.username, account.password}) {
        if (credential && credential->find_first_of("\r\n") != std::string::npos) return false;
    }
    if (!connection_.connect(account.host, account.port, mailTimeouts())) {
        progress_(kSocketFailed, connection_.error().text);
        return false;
    }
    std::string reply;
    if (!readLine(&reply)) return false;
    // The greeting, USER and PASS each need a positive reply.
    bool ok = !negative(reply);
    if (ok && account.username && account.password) {
        ok = command("USER " + *account.username + "\r\n") &&
             command("PASS " + *account.password + "\r\n");
    }
    if (!ok) connection_.close();
    return ok;
}

std::optional<std::string> Pop3Session::command(std::string_view line) {
    if (!connection_.isOpen()) return std::nullopt;
    if (!connection_.sendAll(line)) {
        std::string text = connection_.error().text;
        connection_.close();
        progress_(kSocketFailed, text);
        return std::nullopt;
    }
    std::string reply;
    if (!readLine(&reply) || negative(reply)) return std::nullopt;
    return reply;
}

std::optional<std::string> Pop3Session::listing(std::string_view line) {
    std::optional<std::string> status = command(line);
    if (!status) return std::nullopt;
    std::string whole = *status + "\r\n";
    std::string entry;
    for (;;) {
        if (!readLine(&entry)) return std::nullopt;
        whole.append(entry).append("\r\n");
        if (whole.size() > kMaxDrainedListing) {
            connection_.close();
            progress_(kSocketFailed, "listing too long");
            return std::nullopt;
        }
        if (entry == ".") break;
    }
    if (whole.size() > kMaxPop3Listing) return std::nullopt;
    return whole;
}

bool Pop3Session::transfer(std::string_view line, int64_t maxBytes,
                           const std::function<bool(std::string_view)>& sink) {
    if (!command(line)) return false;
    Pop3MessageReader reader;
    std::string text;
    std::vector<char> block(64 * 1024);
    int64_t stored = 0;
    while (!reader.ended()) {
        ptrdiff_t got = connection_.receiveSome(block.data(), block.size());
        if (got <= 0) {
            std::string why = got == 0 ? "connection closed by the peer" : connection_.error().text;
            connection_.close();
            progress_(kSocketFailed, why);
            return false;
        }
        text.clear();
        reader.add(std::string_view(block.data(), size_t(got)), text);
        stored += int64_t(text.size());
        if (stored > maxBytes) {
            connection_.close();
            progress_(kSocketFailed, "message too large");
            return false;
        }
        if (!text.empty() && !sink(text)) {
            connection_.close();
            return false;
        }
        if (!progress_(kBytesDone, std::to_string(stored))) {
            connection_.close();
            return false;
        }
    }
    return true;
}

}  // namespace quill::mail
