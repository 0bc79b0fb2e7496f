// The composer (see mail_composer.h). Layouts by what the message holds:
//   text only                      one text/plain part
//   attachments, no HTML or items  multipart/mixed: text, attachments
//   HTML or items, no attachments  multipart/related: text and HTML alternatives, items
//   HTML or items and attachments  multipart/mixed: multipart/related as above, attachments
// Without HTML the text part stands where the alternatives would (an empty HTML alternative
// would be what readers show). Every level is closed. Each part's content is followed by the
// CR LF that belongs to the next delimiter line, so a part's range is exactly its content.
#include "host/net/mail_composer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include "host/net/mail_charset.h"
#include "host/net/mail_headers.h"
#include "host/net/mime_codecs.h"
#include "platform/file_io.h"
#include "platform/process_id.h"

namespace quill::mail {

namespace {

constexpr size_t kBufferSize = 256 * 1024;
constexpr size_t kBase64Line = 76;

class Composer {
  public:
    Composer(Sink& sink, std::FILE* source) : sink_(sink), source_(source) {}

    bool run(const PartIndex& in, PartIndex* out) {
        *out = in;
        bool a = !in.attachments.empty();
        bool i = !in.items.empty();
        bool h = in.html.fresh || in.html.hasContent();
        if (!a && !h && !i) {
            textPart(out->text, "text/plain");
            return sink_.ok();
        }
        std::string b1 = newBoundary();
        if (a) {
            write("Content-Type: multipart/mixed;\r\n\tboundary=\"" + b1 + "\"\r\n\r\n");
        } else {
            write("Content-Type: multipart/related;\r\n\ttype=\"" +
                  std::string(h ? "multipart/alternative" : "text/plain") + "\";\r\n\tboundary=\"" +
                  b1 + "\"\r\n\r\n");
        }
        write("This is a multi-part message in MIME format.\r\n\r\n");
        write("--" + b1 + "\r\n");
        if (a && !h && !i) {
            textPart(out->text, "text/plain");
        } else if (!a) {
            related(*out, b1, h);
        } else {
            std::string b2 = newBoundary();
            write("Content-Type: multipart/related;\r\n\tboundary=\"" + b2 + "\";\r\n\ttype=\"" +
                  std::string(h ? "multipart/alternative" : "text/plain") + "\"\r\n\r\n");
            write("--" + b2 + "\r\n");
            related(*out, b2, h);
            write("\r\n--" + b2 + "--\r\n");
        }
        for (PartRecord& part : out->attachments) {
            write("\r\n--" + b1 + "\r\n");
            attachment(part);
        }
        write("\r\n--" + b1 + "--\r\n\r\n");
        return sink_.ok();
    }

  private:
    void write(std::string_view bytes) { sink_.write(bytes); }

    // The text and HTML alternatives (or the text alone), then the items delimited by
    // `boundary`; the caller closes the level.
    void related(PartIndex& out, const std::string& boundary, bool html) {
        if (html) {
            std::string b3 = newBoundary();
            write("Content-Type: multipart/alternative;\r\n\tboundary=\"" + b3 + "\"\r\n\r\n");
            write("--" + b3 + "\r\n");
            textPart(out.text, "text/plain");
            write("\r\n--" + b3 + "\r\n");
            textPart(out.html, "text/html");
            write("\r\n--" + b3 + "--\r\n");
        } else {
            textPart(out.text, "text/plain");
        }
        for (PartRecord& item : out.items) {
            write("\r\n--" + boundary + "\r\n");
            htmlItem(item);
        }
    }

    void textPart(PartRecord& part, const char* defaultType) {
        if (part.fresh) {
            part.encoding = Encoding::kQuotedPrintable;
            part.contentType = defaultType;
            if (part.charset.empty()) part.charset = ansiCharset();
        }
        if (part.contentType.empty()) part.contentType = defaultType;
        std::string charset = part.charset.empty() ? ansiCharset() : part.charset;
        write("Content-Type: " + part.contentType + "; charset=\"" + charset + "\"\r\n");
        write(std::string("Content-Transfer-Encoding: ") + encodingName(part) + "\r\n\r\n");
        if (part.fresh) {
            std::string encoded =
                encodeQuotedPrintable(part.fresh->bytes ? *part.fresh->bytes : std::string());
            part.fresh.reset();
            part.start = sink_.position();
            write(encoded);
            part.end = sink_.position();
        } else {
            copyContent(part);
        }
    }

    void htmlItem(PartRecord& item) {
        write("Content-Type: " + item.contentType + fileNameParameter("name", item.name, false) +
              "\r\n");
        write(std::string("Content-Transfer-Encoding: ") + encodingName(item) + "\r\n");
        // An item without an id is known by its name (the index says so from now on).
        if (item.contentId.empty()) item.contentId = cleanContentId(toAnsi(item.name));
        write("Content-ID: <" + item.contentId + ">\r\n\r\n");
        content(item);
    }

    void attachment(PartRecord& part) {
        write("Content-Type: " + part.contentType + fileNameParameter("name", part.name, false) +
              "\r\n");
        write(std::string("Content-Transfer-Encoding: ") + encodingName(part) + "\r\n");
        write("Content-Disposition: attachment" + fileNameParameter("filename", part.name, true) +
              "\r\n\r\n");
        content(part);
    }

    // New content is written base64 (a file that cannot be read gives an empty body).
    void content(PartRecord& part) {
        if (!part.fresh) {
            copyContent(part);
            return;
        }
        NewContent fresh = std::move(*part.fresh);
        part.fresh.reset();
        part.encoding = Encoding::kBase64;
        part.start = sink_.position();
        Base64Writer encoder(kBase64Line);
        std::string encoded;
        if (fresh.bytes) {
            encoder.add(encoded, *fresh.bytes);
        } else if (std::FILE* file = platform::openFile(fresh.path.c_str(), "rb")) {
            std::vector<char> buffer(kBufferSize);
            size_t got;
            while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
                encoder.add(encoded, std::string_view(buffer.data(), got));
                write(encoded);
                encoded.clear();
            }
            std::fclose(file);
        }
        encoder.finish(encoded);
        write(encoded);
        part.end = sink_.position();
    }

    void copyContent(PartRecord& part) {
        int64_t start = sink_.position();
        if (part.hasContent()) sink_.copy(source_, part.start, part.end);
        part.start = start;
        part.end = sink_.position();
    }

    Sink& sink_;
    std::FILE* source_;
};

}  // namespace

void FileSink::put(const char* data, size_t size) {
    ok_ = ok_ && std::fwrite(data, 1, size, out_) == size;
    if (tee_) teeOk_ = teeOk_ && std::fwrite(data, 1, size, tee_) == size;
}

void FileSink::write(std::string_view bytes) {
    position_ += int64_t(bytes.size());
    if (!ok_) return;
    if (buffer_.size() + bytes.size() > kBufferSize) {
        flush();
        if (bytes.size() >= kBufferSize) {
            put(bytes.data(), bytes.size());
            return;
        }
    }
    buffer_.append(bytes);
}

void FileSink::copy(std::FILE* source, int64_t start, int64_t end) {
    if (end <= start) return;
    flush();
    position_ += end - start;
    if (!ok_ || !source || !platform::seekFile(source, start, SEEK_SET)) {
        ok_ = false;
        return;
    }
    std::vector<char> buffer(size_t(std::min<int64_t>(end - start, int64_t(kBufferSize))));
    for (int64_t left = end - start; left > 0 && ok_;) {
        size_t piece = size_t(std::min<int64_t>(left, int64_t(buffer.size())));
        if (std::fread(buffer.data(), 1, piece, source) != piece) {
            ok_ = false;
            return;
        }
        put(buffer.data(), piece);
        left -= int64_t(piece);
    }
}

bool FileSink::flush() {
    if (!buffer_.empty() && ok_) put(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok_;
}

std::string headerBlock(const HeaderValues& values) {
    std::string out;
    auto address = [&](const char* name, const std::optional<std::u16string>& value, bool always) {
        if (value && !value->empty()) {
            writeAddressField(out, name, *value);
        } else if (always) {
            out += name;
            out += ":  \r\n";  // the value of an unset From or To is a single space
        }
    };
    address("From", values.from, true);
    address("To", values.to, true);
    address("Reply-To", values.replyTo, false);
    address("CC", values.cc, false);
    address("BCC", values.bcc, false);
    writeSubjectField(out, values.subject ? *values.subject : std::u16string());
    if (values.date && !values.date->empty()) writeTextField(out, "Date", *values.date);
    out += "MIME-Version: 1.0\r\n";
    out += "X-Mailer: Plexor.Quill\r\n";
    out += "X-Priority: " + std::to_string(values.priority) + "\r\n";
    return out;
}

std::string newBoundary() {
    static std::atomic<uint32_t> counter{0};
    auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
                     .count();
    char text[96];
    std::snprintf(text, sizeof text, "====_PLEXOR_MAIL_PART_%08X.%08X.%08X_====",
                  unsigned(platform::currentProcessId()), unsigned(uint32_t(ticks)),
                  unsigned(++counter));
    return text;
}

bool composeBody(Sink& sink, const PartIndex& index, std::FILE* source, PartIndex* written) {
    return Composer(sink, source).run(index, written);
}

}  // namespace quill::mail
