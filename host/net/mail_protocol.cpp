// Reading SMTP and POP3 replies and keeping message text transparent (see mail_protocol.h).
#include "host/net/mail_protocol.h"

#include <algorithm>

#include "host/net/md5.h"
#include "host/net/mime_codecs.h"

namespace quill::mail {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view firstLine(std::string_view text) {
    size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A decimal number at the start of `text` (an optional sign, then digits; at most 18 of them),
// with the rest after it.
std::optional<int64_t> leadingNumber(std::string_view& text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    size_t digits = 0;
    int64_t value = 0;
    while (at < text.size() && isDigit(text[at])) {
        if (++digits > 18) return std::nullopt;
        value = value * 10 + (text[at++] - '0');
    }
    if (digits == 0) return std::nullopt;
    text.remove_prefix(at);
    return negative ? -value : value;
}

// The next blank-separated word of `text`.
std::string_view nextWord(std::string_view& text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r' &&
           text[end] != '\n') {
        ++end;
    }
    std::string_view word = text.substr(at, end - at);
    text.remove_prefix(end);
    return word;
}

// "+OK n value": the value's text after the message number.
std::optional<std::string_view> listedValue(std::string_view reply) {
    if (!isPositivePop3(reply)) return std::nullopt;
    std::string_view rest = firstLine(reply).substr(3);
    if (!leadingNumber(rest)) return std::nullopt;
    std::string_view word = nextWord(rest);
    if (word.empty()) return std::nullopt;
    return word;
}

}  // namespace

bool isFinalSmtpLine(std::string_view line) {
    return (line.size() >= 4 && line[3] == ' ') ||
           (line.size() == 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]));
}

int64_t smtpReplyCode(std::string_view reply) {
    int64_t code = 0;
    for (size_t i = 0; i < reply.size() && i < 9 && isDigit(reply[i]); ++i) {
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

bool smtpReplyIn(std::string_view reply, int expectedClass) {
    int64_t code = smtpReplyCode(reply);
    return code >= expectedClass && code <= expectedClass + 99;
}

unsigned offeredAuthMechanisms(std::string_view ehloReply) {
    unsigned offered = 0;
    size_t at = 0;
    while (at < ehloReply.size()) {
        size_t end = ehloReply.find("\r\n", at);
        std::string_view line =
            ehloReply.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? ehloReply.size() : end + 2;
        if (line.size() < 9 || line.substr(0, 3) != "250" || (line[3] != ' ' && line[3] != '-') ||
            !equalsIgnoringCase(line.substr(4, 4), "AUTH") || (line[8] != ' ' && line[8] != '=')) {
            continue;
        }
        std::string_view rest = line.substr(9);
        for (std::string_view word = nextWord(rest); !word.empty(); word = nextWord(rest)) {
            if (equalsIgnoringCase(word, "login")) offered |= kAuthLogin;
            if (equalsIgnoringCase(word, "plain")) offered |= kAuthPlain;
            if (equalsIgnoringCase(word, "cram-md5")) offered |= kAuthCramMd5;
        }
        // Only the first AUTH line counts, as a server sends one.
        break;
    }
    return offered;
}

std::vector<std::string> recipientAddresses(std::string_view to) {
    std::vector<std::string> out;
    size_t at = 0;
    for (;;) {
        size_t comma = to.find(',', at);
        std::string_view piece =
            to.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
        std::string_view address;
        size_t open = piece.find('<');
        if (open != std::string_view::npos) {
            address = piece.substr(open + 1);
            address = address.substr(0, address.find('>'));
        } else {
            address = piece.substr(0, piece.find('>'));
        }
        if (!trimBlanks(piece).empty()) out.emplace_back(address);
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    return out;
}

std::string senderAddress(std::string_view from) {
    size_t open = from.find('<');
    if (open == std::string_view::npos) return std::string(trimBlanks(from));
    std::string_view address = from.substr(open + 1);
    return std::string(address.substr(0, address.find('>')));
}

std::string cramMd5Answer(std::string_view username, std::string_view password,
                          std::string_view challengeReply) {
    std::string_view line = firstLine(challengeReply);
    std::string challenge = decodeBase64(line.size() > 4 ? line.substr(4) : std::string_view());
    net::Md5Digest digest = net::hmacMd5(password, challenge);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string answer(username);
    answer += ' ';
    for (uint8_t byte : digest) {
        answer += kHex[byte >> 4];
        answer += kHex[byte & 15];
    }
    return base64(answer);
}

bool isPositivePop3(std::string_view reply) {
    return reply.substr(0, 3) == "+OK";
}

std::string pop3StatusText(std::string_view reply) {
    std::string_view line = firstLine(reply);
    line.remove_prefix(std::min<size_t>(line.size(), 3));
    if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    return std::string(line);
}

std::optional<int64_t> pop3ListedSize(std::string_view reply) {
    std::optional<std::string_view> value = listedValue(reply);
    if (!value) return std::nullopt;
    return leadingNumber(*value);
}

std::optional<std::string> pop3ListedId(std::string_view reply) {
    std::optional<std::string_view> value = listedValue(reply);
    if (!value) return std::nullopt;
    return std::string(*value);
}

std::vector<std::optional<std::string>> pop3Listing(std::string_view reply, bool numeric) {
    std::vector<std::optional<std::string>> out;
    size_t at = 0;
    while (at < reply.size()) {
        size_t end = reply.find("\r\n", at);
        std::string_view line =
            reply.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? reply.size() : end + 2;
        if (line == "." || line.find("+OK") != std::string_view::npos) continue;
        std::string_view rest = line;
        std::optional<int64_t> number = leadingNumber(rest);
        if (!number || *number < 1 || *number > kMaxListedMessage) continue;
        std::string value;
        if (numeric) {
            std::optional<int64_t> size = leadingNumber(rest);
            if (!size) continue;
            value = std::to_string(*size);
        } else {
            std::string_view word = nextWord(rest);
            if (word.empty()) continue;
            value = std::string(word);
        }
        if (out.size() < size_t(*number)) out.resize(size_t(*number));
        out[size_t(*number - 1)] = std::move(value);
    }
    return out;
}

void Pop3MessageReader::add(std::string_view bytes, std::string& out) {
    std::string joined;
    if (!held_.empty()) {
        joined = held_;
        joined.append(bytes);
        held_.clear();
        bytes = joined;
    }
    size_t at = 0;
    while (at < bytes.size() && !ended_) {
        if (lineStart_ && bytes[at] == '.') {
            std::string_view rest = bytes.substr(at);
            if (rest == "." || rest == ".\r") {
                held_ = std::string(rest);
                return;
            }
            if (rest.substr(0, 3) == ".\r\n") {
                ended_ = true;
                return;
            }
            ++at;  // the added dot
        }
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) {
            out.append(bytes.substr(at));
            lineStart_ = false;
            return;
        }
        out.append(bytes.substr(at, end + 1 - at));
        at = end + 1;
        lineStart_ = true;
    }
}

}  // namespace quill::mail
