// The native mail message behind the `Mail` class and the SMTP and POP3 clients: the raw
// message in a temporary file, the part index that says where its parts lie, and the header
// values. Setting a header only records it; changing the text, the HTML or the lists of parts
// recomposes the body at once; the complete message (header block and body) is regenerated when
// it is needed. Every change is made in a new temporary file that replaces the old one only
// when it was written completely, so a failed write loses nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/net/mail_index.h"

namespace quill::mail {

enum class HeaderField { kFrom, kReplyTo, kTo, kSubject, kCc, kBcc, kDate };

// Messages larger than this are not loaded (a message is parsed in memory).
constexpr int64_t kMaxMessageBytes = int64_t(1) << 30;

class MailMessage {
  public:
    // An empty message; null when no temporary file can be made.
    static std::unique_ptr<MailMessage> create();
    ~MailMessage();
    MailMessage(const MailMessage&) = delete;
    MailMessage& operator=(const MailMessage&) = delete;

    const std::optional<std::u16string>& field(HeaderField f) const;
    void setField(HeaderField f, std::u16string value);
    int32_t priority() const { return headers_.priority; }
    void setPriority(int32_t value);
    const HeaderValues& headers() const { return headers_; }
    bool headersDirty() const { return dirty_; }
    const PartIndex& index() const { return index_; }

    // The text and HTML bodies decoded by their transfer encoding and charset ("" when none).
    std::u16string text() const;
    std::u16string html() const;
    // Replace the text or HTML body (written quoted-printable in the ANSI code page).
    bool setText(std::u16string_view text);
    bool setHtml(std::u16string_view html);

    // A part's content, decoded; nothing when the message file cannot be read.
    std::optional<std::string> decodePart(const PartRecord& part) const;
    // Writes a part's decoded content to a file (created or truncated); false when the file
    // cannot be written.
    bool savePart(const PartRecord& part, const std::string& ansiPath) const;

    // New attachments and items: from a file (named after the path, typed by its extension;
    // a file that cannot be read gives an empty part) or from bytes with a name.
    bool addAttachment(std::u16string_view path);
    bool addAttachment(std::u16string name, std::string bytes);
    bool removeAttachment(size_t i);
    bool addHtmlItem(std::u16string_view path, std::string contentId);
    bool addHtmlItem(std::u16string name, std::string bytes, std::string contentId);
    bool removeHtmlItem(size_t i);

    // The length of the complete message, without writing it.
    int64_t size();
    // The complete message; regenerates it first while the headers are dirty.
    std::optional<std::string> completeText();
    // Writes the complete message to the file; false (and nothing changed) when it cannot be
    // opened.
    bool save(const std::string& ansiPath);
    // Replaces the message with the file's bytes and parses them; false (and nothing changed)
    // when the file cannot be read. The dirty flag stays as it was.
    bool load(const std::string& ansiPath);
    bool loadBytes(std::string_view bytes);

    // For the mail clients: regenerates the complete message while the headers are dirty, so
    // that the message file holds it; the file, for reading the message to send or writing a
    // received one; and parsing the file after it was written.
    bool regenerate() { return regenerate(nullptr, nullptr); }
    std::FILE* file() const { return file_; }
    bool parseFile();

  private:
    MailMessage(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
    std::optional<std::u16string>& slot(HeaderField f);
    // Regenerates, writing the complete message to `tee` as well when given.
    bool regenerate(std::FILE* tee, bool* teeOk);
    bool recompose(PartIndex next);
    void adopt(std::FILE* file, std::string path);
    bool readAll(std::string* out) const;
    void apply(std::string_view bytes);

    std::FILE* file_;
    std::string path_;
    HeaderValues headers_;
    PartIndex index_;
    bool dirty_ = false;
};

}  // namespace quill::mail
