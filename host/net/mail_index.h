// The part index of a mail message: where the text, the HTML text, the inline HTML items and the
// attachments lie in the message file, with what each needs to be decoded and written again;
// and the header values of a message. Shared by the parser, the composer and the message model.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quill::mail {

// Content-Transfer-Encoding as numbered for scripts.
enum class Encoding : uint8_t { kBinary = 0, kQuotedPrintable = 1, kBase64 = 2 };

// Bytes for a part that is not in the message file yet: a file to read, or bytes in memory.
struct NewContent {
    std::string path;  // ANSI path; empty when `bytes` holds the content
    std::shared_ptr<const std::string> bytes;
};

struct PartRecord {
    Encoding encoding = Encoding::kBinary;
    // How a binary-class encoding is labelled when written ("7bit", "8bit", "binary", ...).
    std::string encodingLabel;
    std::string contentType;  // main value in lower case: "image/png"
    std::string charset;      // text parts: the declared charset, "" when none
    std::u16string name;      // attachments and items: the file name as the message gives it
    std::string contentId;    // items: without angle brackets
    // Byte range of the encoded content in the message file: from the first byte after the
    // part's empty line up to the line end that begins the next delimiter (or the file's end).
    int64_t start = -1;
    int64_t end = -1;
    // Set until the composer has written the part.
    std::optional<NewContent> fresh;

    bool hasContent() const { return start >= 0 && end > start; }
};

struct PartIndex {
    PartRecord text;
    PartRecord html;
    std::vector<PartRecord> items;
    std::vector<PartRecord> attachments;
};

// The header values a message carries; absent ones are empty optionals.
struct HeaderValues {
    std::optional<std::u16string> from, replyTo, to, subject, cc, bcc, date;
    int32_t priority = 0;
};

// Names a text for the written form of an encoding.
inline const char* encodingName(const PartRecord& part) {
    switch (part.encoding) {
        case Encoding::kQuotedPrintable:
            return "quoted-printable";
        case Encoding::kBase64:
            return "base64";
        default:
            return part.encodingLabel.empty() ? "binary" : part.encodingLabel.c_str();
    }
}

}  // namespace quill::mail
