// The native mail message (see mail_message.h).
#include "host/net/mail_message.h"

#include <algorithm>
#include <vector>

#include "host/net/mail_charset.h"
#include "host/net/mail_composer.h"
#include "host/net/mail_headers.h"
#include "host/net/mail_names.h"
#include "host/net/mail_parser.h"
#include "host/net/mime_codecs.h"
#include "platform/file_io.h"
#include "platform/file_map.h"

namespace quill::mail {

namespace {

constexpr size_t kChunk = 256 * 1024;

// Feeds [start, end) of the file to `take` in pieces; false when it cannot be read.
template <typename Take>
bool readRange(std::FILE* file, int64_t start, int64_t end, Take&& take) {
    if (end <= start) return true;
    if (!platform::seekFile(file, start, SEEK_SET)) return false;
    std::vector<char> buffer(size_t(std::min<int64_t>(end - start, int64_t(kChunk))));
    for (int64_t left = end - start; left > 0;) {
        size_t piece = size_t(std::min<int64_t>(left, int64_t(buffer.size())));
        if (std::fread(buffer.data(), 1, piece, file) != piece) return false;
        take(std::string_view(buffer.data(), piece));
        left -= int64_t(piece);
    }
    return true;
}

// Decodes a part's range piece by piece into `emit`.
template <typename Emit>
bool decodeRange(std::FILE* file, const PartRecord& part, Emit&& emit) {
    if (!part.hasContent()) return true;
    std::string out;
    bool ok = false;
    switch (part.encoding) {
        case Encoding::kBase64: {
            Base64Reader reader;
            ok = readRange(file, part.start, part.end, [&](std::string_view piece) {
                reader.add(out, piece);
                emit(out);
                out.clear();
            });
            reader.finish(out);
            break;
        }
        case Encoding::kQuotedPrintable: {
            QuotedPrintableReader reader;
            ok = readRange(file, part.start, part.end, [&](std::string_view piece) {
                reader.add(out, piece);
                emit(out);
                out.clear();
            });
            reader.finish(out);
            break;
        }
        default:
            ok = readRange(file, part.start, part.end, [&](std::string_view piece) {
                out.assign(piece);
                emit(out);
                out.clear();
            });
            break;
    }
    if (ok && !out.empty()) emit(out);
    return ok;
}

struct TempFile {
    std::FILE* file = nullptr;
    std::string path;

    bool open() {
        file = platform::createTempFile(&path);
        return file != nullptr;
    }
    void discard() {
        if (!file) return;
        std::fclose(file);
        platform::removeNativeFile(path);
        file = nullptr;
    }
};

PartRecord newPart(std::u16string name, NewContent content) {
    PartRecord part;
    part.encoding = Encoding::kBase64;
    part.contentType = contentTypeForName(name);
    if (part.contentType.size() > kMaxTypeLength) part.contentType.resize(kMaxTypeLength);
    if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
    part.name = std::move(name);
    part.fresh = std::move(content);
    return part;
}

// Parses the whole file where it lies (mapped), or from a copy when it cannot be mapped.
bool parseOpenFile(std::FILE* file, ParsedMessage* out) {
    if (std::fflush(file) != 0) return false;
    int64_t length = platform::fileLength(file);
    if (length < 0 || length > kMaxMessageBytes) return false;
    platform::FileView view;
    if (platform::mapFile(file, size_t(length), &view)) {
        *out = parseMessage(std::string_view(view.data, view.size));
        platform::unmapFile(&view);
        return true;
    }
    std::string bytes(size_t(length), '\0');
    if (!platform::seekFile(file, 0, SEEK_SET) ||
        std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        return false;
    }
    *out = parseMessage(bytes);
    return true;
}

}  // namespace

std::unique_ptr<MailMessage> MailMessage::create() {
    TempFile temp;
    if (!temp.open()) return nullptr;
    return std::unique_ptr<MailMessage>(new MailMessage(temp.file, std::move(temp.path)));
}

MailMessage::~MailMessage() {
    std::fclose(file_);
    platform::removeNativeFile(path_);
}

void MailMessage::adopt(std::FILE* file, std::string path) {
    std::fclose(file_);
    platform::removeNativeFile(path_);
    file_ = file;
    path_ = std::move(path);
}

const std::optional<std::u16string>& MailMessage::field(HeaderField f) const {
    return const_cast<MailMessage*>(this)->slot(f);
}

std::optional<std::u16string>& MailMessage::slot(HeaderField f) {
    switch (f) {
        case HeaderField::kFrom:
            return headers_.from;
        case HeaderField::kReplyTo:
            return headers_.replyTo;
        case HeaderField::kTo:
            return headers_.to;
        case HeaderField::kSubject:
            return headers_.subject;
        case HeaderField::kCc:
            return headers_.cc;
        case HeaderField::kBcc:
            return headers_.bcc;
        default:
            return headers_.date;
    }
}

void MailMessage::setField(HeaderField f, std::u16string value) {
    slot(f) = std::move(value);
    dirty_ = true;
}

void MailMessage::setPriority(int32_t value) {
    headers_.priority = value;
    dirty_ = true;
}

std::optional<std::string> MailMessage::decodePart(const PartRecord& part) const {
    std::string out;
    // Grown once: fresh memory is costly page by page.
    if (part.hasContent()) {
        size_t encoded = size_t(part.end - part.start);
        out.reserve(part.encoding == Encoding::kBase64 ? encoded / 4 * 3 + 3 : encoded);
    }
    if (!decodeRange(file_, part, [&](const std::string& piece) { out += piece; })) {
        return std::nullopt;
    }
    return out;
}

bool MailMessage::savePart(const PartRecord& part, const std::string& ansiPath) const {
    std::FILE* out = platform::openFile(ansiPath.c_str(), "wb");
    if (!out) return false;
    bool written = true;
    bool read = decodeRange(file_, part, [&](const std::string& piece) {
        written = written && std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
    });
    return std::fclose(out) == 0 && read && written;
}

std::u16string MailMessage::text() const {
    std::optional<std::string> bytes = decodePart(index_.text);
    return bytes ? decodeText(*bytes, index_.text.charset) : std::u16string();
}

std::u16string MailMessage::html() const {
    std::optional<std::string> bytes = decodePart(index_.html);
    return bytes ? decodeText(*bytes, index_.html.charset) : std::u16string();
}

namespace {

void freshText(PartRecord& part, std::u16string_view text) {
    CharsetText encoded = encodeText(text);
    part.fresh = NewContent{{}, std::make_shared<const std::string>(std::move(encoded.bytes))};
    part.charset = std::move(encoded.charset);
}

}  // namespace

bool MailMessage::setText(std::u16string_view text) {
    PartIndex next = index_;
    freshText(next.text, text);
    return recompose(std::move(next));
}

bool MailMessage::setHtml(std::u16string_view html) {
    PartIndex next = index_;
    freshText(next.html, html);
    return recompose(std::move(next));
}

bool MailMessage::addAttachment(std::u16string_view path) {
    PartIndex next = index_;
    next.attachments.push_back(newPart(nameFromPath(path), NewContent{toAnsi(path), nullptr}));
    return recompose(std::move(next));
}

bool MailMessage::addAttachment(std::u16string name, std::string bytes) {
    PartIndex next = index_;
    next.attachments.push_back(newPart(
        std::move(name), NewContent{{}, std::make_shared<const std::string>(std::move(bytes))}));
    return recompose(std::move(next));
}

bool MailMessage::removeAttachment(size_t i) {
    if (i >= index_.attachments.size()) return false;
    PartIndex next = index_;
    next.attachments.erase(next.attachments.begin() + std::ptrdiff_t(i));
    return recompose(std::move(next));
}

bool MailMessage::addHtmlItem(std::u16string_view path, std::string contentId) {
    PartIndex next = index_;
    PartRecord item = newPart(nameFromPath(path), NewContent{toAnsi(path), nullptr});
    item.contentId = cleanContentId(std::move(contentId));
    next.items.push_back(std::move(item));
    return recompose(std::move(next));
}

bool MailMessage::addHtmlItem(std::u16string name, std::string bytes, std::string contentId) {
    PartIndex next = index_;
    PartRecord item = newPart(
        std::move(name), NewContent{{}, std::make_shared<const std::string>(std::move(bytes))});
    item.contentId = cleanContentId(std::move(contentId));
    next.items.push_back(std::move(item));
    return recompose(std::move(next));
}

bool MailMessage::removeHtmlItem(size_t i) {
    if (i >= index_.items.size()) return false;
    PartIndex next = index_;
    next.items.erase(next.items.begin() + std::ptrdiff_t(i));
    return recompose(std::move(next));
}

bool MailMessage::recompose(PartIndex next) {
    TempFile temp;
    if (!temp.open()) return false;
    PartIndex written;
    bool ok;
    {
        FileSink sink(temp.file);
        ok = composeBody(sink, next, file_, &written) && sink.flush();
    }
    if (!ok || std::fflush(temp.file) != 0) {
        temp.discard();
        return false;
    }
    adopt(temp.file, std::move(temp.path));
    index_ = std::move(written);
    dirty_ = true;
    return true;
}

bool MailMessage::regenerate(std::FILE* tee, bool* teeOk) {
    if (!dirty_) return true;
    TempFile temp;
    if (!temp.open()) return false;
    PartIndex written;
    bool ok;
    {
        FileSink sink(temp.file, tee);
        sink.write(headerBlock(headers_));
        ok = composeBody(sink, index_, file_, &written) && sink.flush();
        if (teeOk) *teeOk = sink.teeOk();
    }
    if (!ok || std::fflush(temp.file) != 0) {
        temp.discard();
        return false;
    }
    adopt(temp.file, std::move(temp.path));
    index_ = std::move(written);
    dirty_ = false;
    return true;
}

int64_t MailMessage::size() {
    if (!dirty_) return platform::fileLength(file_);
    CountingSink sink;
    sink.write(headerBlock(headers_));
    PartIndex ignored;
    composeBody(sink, index_, file_, &ignored);
    return sink.position();
}

bool MailMessage::readAll(std::string* out) const {
    std::fflush(file_);
    int64_t length = platform::fileLength(file_);
    if (length < 0 || length > kMaxMessageBytes) return false;
    out->resize(size_t(length));
    return platform::seekFile(file_, 0, SEEK_SET) &&
           std::fread(out->data(), 1, out->size(), file_) == out->size();
}

std::optional<std::string> MailMessage::completeText() {
    if (!regenerate()) return std::nullopt;
    std::string out;
    if (!readAll(&out)) return std::nullopt;
    return out;
}

bool MailMessage::save(const std::string& ansiPath) {
    std::FILE* out = platform::openFile(ansiPath.c_str(), "wb");
    if (!out) return false;
    bool written = false;
    if (dirty_) {
        // Regenerated straight into the file as well; a message that cannot be regenerated is
        // not written half-made.
        bool regenerated = regenerate(out, &written);
        written = regenerated && written;
    } else {
        bool writes = true;
        bool read =
            std::fflush(file_) == 0 &&
            readRange(file_, 0, platform::fileLength(file_), [&](std::string_view piece) {
                writes = writes && std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
            });
        written = read && writes;
    }
    return std::fclose(out) == 0 && written;
}

void MailMessage::apply(std::string_view bytes) {
    ParsedMessage parsed = parseMessage(bytes);
    headers_ = std::move(parsed.headers);
    index_ = std::move(parsed.index);
}

bool MailMessage::load(const std::string& ansiPath) {
    std::FILE* in = platform::openFile(ansiPath.c_str(), "rb");
    if (!in) return false;
    int64_t length = platform::fileLength(in);
    TempFile temp;
    bool ok = length >= 0 && length <= kMaxMessageBytes && temp.open();
    // Copied in pieces, then parsed where it lies: a message may be tens of megabytes.
    std::vector<char> buffer(ok ? kChunk : 0);
    int64_t copied = 0;
    while (ok) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got == 0) break;
        copied += int64_t(got);
        ok = copied <= kMaxMessageBytes && std::fwrite(buffer.data(), 1, got, temp.file) == got;
    }
    ok = ok && !std::ferror(in) && std::fflush(temp.file) == 0;
    std::fclose(in);
    ParsedMessage parsed;
    if (!ok || !parseOpenFile(temp.file, &parsed)) {
        temp.discard();
        return false;
    }
    adopt(temp.file, std::move(temp.path));
    headers_ = std::move(parsed.headers);
    index_ = std::move(parsed.index);
    return true;
}

bool MailMessage::loadBytes(std::string_view bytes) {
    if (int64_t(bytes.size()) > kMaxMessageBytes) return false;
    TempFile temp;
    if (!temp.open()) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), temp.file) != bytes.size() ||
        std::fflush(temp.file) != 0) {
        temp.discard();
        return false;
    }
    adopt(temp.file, std::move(temp.path));
    apply(bytes);
    return true;
}

bool MailMessage::parseFile() {
    ParsedMessage parsed;
    if (!parseOpenFile(file_, &parsed)) return false;
    headers_ = std::move(parsed.headers);
    index_ = std::move(parsed.index);
    return true;
}

}  // namespace quill::mail
