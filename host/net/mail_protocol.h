// The byte-level rules of the SMTP and POP3 dialogues, apart from any socket: reading replies
// (codes, the end of a multi-line reply, offered authentication, POP3 status and listings), the
// recipients of a message, the CRAM-MD5 answer, and the transparency of message text (a line that
// begins with "." gets a second one on the way out, which comes off again on the way in). Pure
// functions over bytes, so that hostile replies can be fuzzed without a server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::mail {

// ---- SMTP -----------------------------------------------------------------------------------

// Whether a reply line (line end removed) is the last of its reply: a space as its fourth
// character, or the bare three-digit code.
bool isFinalSmtpLine(std::string_view line);

// The number formed by the reply's leading digits (at most nine of them); 0 without any.
int64_t smtpReplyCode(std::string_view reply);

// Whether the reply's code lies from `expectedClass` (200, 300) to 99 above it.
bool smtpReplyIn(std::string_view reply, int expectedClass);

enum AuthMechanism : unsigned {
    kAuthLogin = 1,
    kAuthPlain = 2,
    kAuthCramMd5 = 4,
};

// The mechanisms an EHLO reply offers on its AUTH line ("250 AUTH ", "250-AUTH ", "250 AUTH=" or
// "250-AUTH=", any case, at the start of the reply or of a line); a set of AuthMechanism bits.
unsigned offeredAuthMechanisms(std::string_view ehloReply);

// The addresses of the recipients in a `to` value: the value is split at commas; a piece's
// address is what stands between its first "<" and the next ">", or without "<" the piece up to
// a ">" or its end. Pieces that hold nothing but blanks are left out.
std::vector<std::string> recipientAddresses(std::string_view to);
// The sender's address for MAIL FROM from a `from` value: what stands between its first "<" and
// the next ">", else the value without surrounding blanks. A From header with a display name
// ("Ada <ada@example.com>") sent whole would be refused by every server.
std::string senderAddress(std::string_view from);

// The CRAM-MD5 answer, base64 without a line end, to a server's "334 <base64 challenge>" reply.
std::string cramMd5Answer(std::string_view username, std::string_view password,
                          std::string_view challengeReply);

// Splits message text into the lines SMTP sends after DATA: each ends in CR LF (a line ended by a
// lone LF, or not ended at all, gets CR LF), and a line that begins with "." gets another "."
// before it. A CR not followed by LF is an ordinary byte.
class SmtpLineWriter {
  public:
    // Adds the next bytes of the message; `line` is called with every line they complete (its
    // bytes as sent); a false answer stops and add returns false.
    template <typename OnLine>
    bool add(std::string_view bytes, OnLine&& line);
    // Ends the message: a last line without a line end is completed.
    template <typename OnLine>
    bool finish(OnLine&& line);

  private:
    std::string line_;
};

// ---- POP3 -----------------------------------------------------------------------------------

// A positive reply begins with "+OK" (in that case).
bool isPositivePop3(std::string_view reply);

// The text of a positive single-line reply after "+OK " up to its line end.
std::string pop3StatusText(std::string_view reply);

// "+OK n v": the second field of a LIST or UIDL reply to one message (a number for LIST).
std::optional<int64_t> pop3ListedSize(std::string_view reply);
std::optional<std::string> pop3ListedId(std::string_view reply);

// The entries of a complete multi-line LIST or UIDL reply: lines holding "+OK" and the line "."
// are skipped, every other line is "n value". Element n-1 holds message n's value (sizes as
// decimal text for LIST); numbers from 1 to kMaxListedMessage only.
constexpr int64_t kMaxListedMessage = 4096;
std::vector<std::optional<std::string>> pop3Listing(std::string_view reply, bool numeric);

// Reads message text after a positive RETR or TOP status line: the end is the line "." (CR LF
// "." CR LF, or "." CR LF right at the start); an added leading "." comes off the lines that
// have one. Bytes may arrive in any pieces.
class Pop3MessageReader {
  public:
    // Appends the message text that `bytes` complete to `out`; what follows the end is ignored.
    void add(std::string_view bytes, std::string& out);
    bool ended() const { return ended_; }

  private:
    std::string held_;  // a line start of "." or ".\r" that the next bytes decide
    bool lineStart_ = true;
    bool ended_ = false;
};

// ---- templates --------------------------------------------------------------------------------

template <typename OnLine>
bool SmtpLineWriter::add(std::string_view bytes, OnLine&& line) {
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) {
            line_.append(bytes.substr(at));
            return true;
        }
        line_.append(bytes.substr(at, end - at));
        at = end + 1;
        if (line_.empty() || line_.back() != '\r') line_ += '\r';
        line_ += '\n';
        if (line_[0] == '.') line_.insert(line_.begin(), '.');
        bool go = line(std::string_view(line_));
        line_.clear();
        if (!go) return false;
    }
    return true;
}

template <typename OnLine>
bool SmtpLineWriter::finish(OnLine&& line) {
    if (line_.empty()) return true;
    return add("\n", line);
}

}  // namespace quill::mail
