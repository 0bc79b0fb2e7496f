// The message parser (see mail_parser.h). A part's content ends at the line end that begins the
// next delimiter line, as MIME defines it, so texts keep their last line end and parts of other
// mailers keep their last bytes. Leaves are classified as they close, which keeps the records
// in message order.
#include "host/net/mail_parser.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/net/mail_charset.h"
#include "host/net/mail_headers.h"

namespace quill::mail {

namespace {

// The fields the parser reads; the first occurrence of each counts.
enum Field {
    kContentType,
    kDisposition,
    kTransferEncoding,
    kContentId,
    kFrom,
    kReplyTo,
    kTo,
    kSubject,
    kCc,
    kBcc,
    kDate,
    kPriority,
    kFieldCount
};
constexpr const char* kFieldNames[kFieldCount] = {"content-type",
                                                  "content-disposition",
                                                  "content-transfer-encoding",
                                                  "content-id",
                                                  "from",
                                                  "reply-to",
                                                  "to",
                                                  "subject",
                                                  "cc",
                                                  "bcc",
                                                  "date",
                                                  "x-priority"};

struct Fields {
    std::string_view raw[kFieldCount];
    bool present[kFieldCount] = {};

    std::optional<std::string> value(Field f) const {
        if (!present[f]) return std::nullopt;
        return unfoldValue(raw[f]);
    }
};

// What classification needs to know of an entity.
struct PartInfo {
    std::string type;
    std::string contentTypeValue;
    std::string disposition;
    std::u16string name;
    std::string contentId;
    bool hasContentId = false;
    Encoding encoding = Encoding::kBinary;
    std::string encodingLabel;
    std::string charset;
};

bool isTokenChar(char c) {
    return c > 32 && c < 127 && std::strchr("()<>@,;:\\\"/[]?=", c) == nullptr;
}

PartInfo describe(const Fields& fields, bool inDigest) {
    PartInfo info;
    std::optional<std::string> type = fields.value(kContentType);
    info.type = type ? mainValue(*type) : "";
    // A missing or unusable type is plain text (a message in a digest), as MIME says. Usable is
    // a token, "/" and a token: the type is written into regenerated messages as it is.
    size_t slash = info.type.find('/');
    bool usable = slash != std::string::npos && slash > 0 && slash + 1 < info.type.size() &&
                  std::all_of(info.type.begin(), info.type.end(),
                              [](char c) { return c == '/' || isTokenChar(c); }) &&
                  info.type.find('/', slash + 1) == std::string::npos;
    if (!usable) info.type = inDigest && !type ? "message/rfc822" : "text/plain";
    if (info.type.size() > kMaxTypeLength) info.type.resize(kMaxTypeLength);
    if (type) {
        info.contentTypeValue = *type;
        if (auto charset = findParameter(*type, "charset")) {
            info.charset = charset->value.substr(0, 64);
            if (!std::all_of(info.charset.begin(), info.charset.end(), isTokenChar)) {
                info.charset.clear();
            }
        }
    }
    std::optional<std::string> disposition = fields.value(kDisposition);
    if (disposition) info.disposition = mainValue(*disposition);
    std::optional<Parameter> name;
    if (type) name = findParameter(*type, "name");
    if (!name && disposition) name = findParameter(*disposition, "filename");
    if (name) {
        info.name = parameterText(*name);
        if (info.name.size() > kMaxNameLength) info.name.resize(kMaxNameLength);
    }
    if (auto id = fields.value(kContentId)) {
        // Written back between angle brackets: no control characters may come along.
        info.contentId = cleanContentId(contentIdValue(*id).substr(0, 998));
        info.hasContentId = !info.contentId.empty();
    }
    if (auto cte = fields.value(kTransferEncoding)) {
        std::string label = mainValue(*cte);
        if (label == "quoted-printable") {
            info.encoding = Encoding::kQuotedPrintable;
        } else if (label == "base64") {
            info.encoding = Encoding::kBase64;
        } else if (!label.empty() && label.size() <= 40 &&
                   std::all_of(label.begin(), label.end(), isTokenChar)) {
            info.encodingLabel = label;
        } else {
            info.encodingLabel = "binary";
        }
    } else {
        info.encodingLabel = "7bit";
    }
    return info;
}

class Parser {
  public:
    explicit Parser(std::string_view data) : d_(data) {}

    ParsedMessage run() {
        Fields top;
        size_t body = scanHeader(0, true, &top);
        readHeaderValues(top);
        begin(describe(top, false), body, false);
        size_t pos = body;
        while (pos < d_.size()) {
            size_t frame = 0;
            bool close = false;
            if (!frames_.empty() && d_[pos] == '-' && delimiterAt(pos, &frame, &close)) {
                size_t end = lineBreakBefore(pos);
                endLeaf(end);
                while (frames_.size() > frame + 1) endFrame(end);
                frames_[frame].started = true;
                if (close) {
                    endFrame(end);
                    pos = nextLine(pos);
                    continue;
                }
                Fields fields;
                size_t partStart = nextLine(pos);
                size_t partBody = scanHeader(partStart, false, &fields);
                // A delimiter right after a delimiter (or at the end) delimits nothing at all:
                // no part, as other readers see it.
                size_t ignored = 0;
                bool nothing = partBody == partStart &&
                               (partStart == d_.size() || delimiterAt(partStart, &ignored, &close));
                if (!nothing) {
                    const Frame& f = frames_[frame];
                    begin(describe(fields, f.digest), partBody, f.related);
                }
                pos = partBody;
                continue;
            }
            pos = nextLine(pos);
        }
        endLeaf(d_.size());
        while (!frames_.empty()) endFrame(d_.size());
        return std::move(result_);
    }

  private:
    struct Frame {
        std::string boundary;
        bool related = false;
        bool digest = false;
        bool started = false;  // a delimiter was seen
        // The multipart entity itself, kept whole when no delimiter ever comes.
        PartInfo self;
        size_t bodyStart = 0;
        bool parentRelated = false;
    };
    struct Leaf {
        PartInfo info;
        size_t start = 0;
        bool open = false;
        bool parentRelated = false;
    };

    size_t nextLine(size_t pos) const {
        const void* nl = std::memchr(d_.data() + pos, '\n', d_.size() - pos);
        return nl ? size_t(static_cast<const char*>(nl) - d_.data()) + 1 : d_.size();
    }
    // The line's text without its line end.
    std::string_view lineAt(size_t pos) const {
        size_t next = nextLine(pos);
        size_t end = next;
        if (end > pos && d_[end - 1] == '\n') --end;
        if (end > pos && d_[end - 1] == '\r') --end;
        return d_.substr(pos, end - pos);
    }
    // The line end before `pos` belongs to the delimiter line at `pos`.
    size_t lineBreakBefore(size_t pos) const {
        if (pos >= 2 && d_[pos - 1] == '\n' && d_[pos - 2] == '\r') return pos - 2;
        if (pos >= 1 && d_[pos - 1] == '\n') return pos - 1;
        return pos;
    }

    // "--" boundary, or "--" boundary "--", then only blanks: a delimiter of an open level (the
    // innermost one with that boundary).
    bool delimiterAt(size_t pos, size_t* frame, bool* close) const {
        std::string_view line = lineAt(pos);
        if (line.size() < 3 || line[0] != '-' || line[1] != '-') return false;
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        std::string_view name = line.substr(2);
        if (name.size() > maxBoundary_ + 2) return false;
        auto found = byBoundary_.find(std::string(name));
        if (found != byBoundary_.end() && !found->second.empty()) {
            *frame = found->second.back();
            *close = false;
            return true;
        }
        if (name.size() >= 2 && name.substr(name.size() - 2) == "--") {
            found = byBoundary_.find(std::string(name.substr(0, name.size() - 2)));
            if (found != byBoundary_.end() && !found->second.empty()) {
                *frame = found->second.back();
                *close = true;
                return true;
            }
        }
        return false;
    }

    // Reads a header block from `pos`; returns where the body starts. The block ends at an
    // empty line, at a line that is neither a field nor a continuation (the body starts there),
    // and at a delimiter line (the body is then empty).
    size_t scanHeader(size_t pos, bool top, Fields* fields) {
        if (top && d_.substr(pos, 5) == "From ") pos = nextLine(pos);  // a mailbox envelope line
        int current = -1;
        size_t valueStart = 0;
        auto finish = [&](size_t end) {
            if (current >= 0 && !fields->present[current]) {
                fields->raw[current] = d_.substr(valueStart, end - valueStart);
                fields->present[current] = true;
            }
            current = -1;
        };
        bool any = false;
        while (pos < d_.size()) {
            size_t next = nextLine(pos);
            std::string_view line = lineAt(pos);
            if (line.empty()) {
                finish(pos);
                return next;
            }
            if (!frames_.empty() && line[0] == '-') {
                size_t frame = 0;
                bool close = false;
                if (delimiterAt(pos, &frame, &close)) {
                    finish(pos);
                    return pos;
                }
            }
            if ((line[0] == ' ' || line[0] == '\t') && any) {
                pos = next;  // a continuation: the current value runs on
                continue;
            }
            size_t colon = line.find(':');
            size_t nameEnd = colon;
            while (nameEnd != std::string_view::npos && nameEnd > 0 &&
                   (line[nameEnd - 1] == ' ' || line[nameEnd - 1] == '\t')) {
                --nameEnd;
            }
            if (colon == std::string_view::npos || nameEnd == 0 ||
                !std::all_of(line.begin(), line.begin() + nameEnd,
                             [](char c) { return c > 32 && c < 127; })) {
                finish(pos);
                return pos;
            }
            finish(pos);
            any = true;
            std::string_view name = line.substr(0, nameEnd);
            for (int f = 0; f < kFieldCount; ++f) {
                if (equalsIgnoreCase(name, kFieldNames[f])) {
                    current = f;
                    break;
                }
            }
            valueStart = pos + colon + 1;
            pos = next;
        }
        finish(d_.size());
        return d_.size();
    }

    void readHeaderValues(const Fields& top) {
        HeaderValues& h = result_.headers;
        std::optional<std::u16string>* targets[] = {&h.from, &h.replyTo, &h.to,  &h.subject,
                                                    &h.cc,   &h.bcc,     &h.date};
        for (int f = kFrom; f <= kDate; ++f) {
            if (auto value = top.value(Field(f))) *targets[f - kFrom] = decodeHeaderText(*value);
        }
        h.priority = 3;
        if (auto value = top.value(kPriority)) {
            const char* p = value->c_str();
            bool negative = *p == '-';
            if (*p == '-' || *p == '+') ++p;
            if (*p >= '0' && *p <= '9') {
                int64_t n = 0;
                for (; *p >= '0' && *p <= '9' && n < INT32_MAX; ++p) n = n * 10 + (*p - '0');
                if (n > INT32_MAX) n = INT32_MAX;
                h.priority = static_cast<int32_t>(negative ? -n : n);
            }
        }
    }

    void begin(PartInfo info, size_t bodyStart, bool parentRelated) {
        if (info.type.compare(0, 10, "multipart/") == 0 && frames_.size() < kMaxNestingDepth) {
            std::optional<Parameter> boundary = findParameter(info.contentTypeValue, "boundary");
            // A boundary is at most 70 characters; longer ones are accepted up to a bound.
            if (boundary && !boundary->value.empty() && boundary->value.size() <= 998) {
                Frame frame;
                frame.boundary = boundary->value;
                frame.related = info.type == "multipart/related";
                frame.digest = info.type == "multipart/digest";
                frame.self = std::move(info);
                frame.bodyStart = bodyStart;
                frame.parentRelated = parentRelated;
                byBoundary_[frame.boundary].push_back(frames_.size());
                maxBoundary_ = std::max(maxBoundary_, frame.boundary.size());
                frames_.push_back(std::move(frame));
                return;
            }
        }
        leaf_.info = std::move(info);
        leaf_.start = bodyStart;
        leaf_.open = true;
        leaf_.parentRelated = parentRelated;
    }

    void endLeaf(size_t end) {
        if (!leaf_.open) return;
        leaf_.open = false;
        classify(leaf_.info, leaf_.start, std::max(end, leaf_.start), leaf_.parentRelated);
    }

    void endFrame(size_t end) {
        Frame& f = frames_.back();
        // A multipart without a single delimiter keeps its whole body as one part.
        if (!f.started) classify(f.self, f.bodyStart, std::max(end, f.bodyStart), f.parentRelated);
        std::vector<size_t>& same = byBoundary_[f.boundary];
        same.pop_back();
        if (same.empty()) byBoundary_.erase(f.boundary);
        frames_.pop_back();
    }

    void classify(PartInfo& info, size_t start, size_t end, bool parentRelated) {
        if (parts_ >= kMaxIndexedParts) return;
        ++parts_;
        PartIndex& index = result_.index;
        bool attachment = info.disposition == "attachment";
        bool named = !info.name.empty();
        PartRecord record;
        record.encoding = info.encoding;
        record.encodingLabel = info.encodingLabel;
        record.contentType = info.type;
        record.start = int64_t(start);
        record.end = int64_t(end);
        if (!attachment && !named && info.type == "text/html" && !haveHtml_) {
            record.charset = info.charset;
            index.html = std::move(record);
            haveHtml_ = true;
        } else if (!attachment && !named && info.type.compare(0, 5, "text/") == 0 &&
                   info.type != "text/html" && !haveText_) {
            record.charset = info.charset;
            index.text = std::move(record);
            haveText_ = true;
        } else if (!attachment && (named || info.hasContentId) && (haveHtml_ || parentRelated)) {
            record.name =
                named ? info.name : u"item " + fromAnsi(std::to_string(index.items.size() + 1));
            record.contentId = info.contentId;
            index.items.push_back(std::move(record));
        } else {
            record.name =
                named ? info.name
                      : u"attachment " + fromAnsi(std::to_string(index.attachments.size() + 1));
            index.attachments.push_back(std::move(record));
        }
    }

    std::string_view d_;
    std::vector<Frame> frames_;
    std::unordered_map<std::string, std::vector<size_t>> byBoundary_;
    size_t maxBoundary_ = 0;
    Leaf leaf_;
    ParsedMessage result_;
    size_t parts_ = 0;
    bool haveText_ = false;
    bool haveHtml_ = false;
};

}  // namespace

ParsedMessage parseMessage(std::string_view data) {
    return Parser(data).run();
}

}  // namespace quill::mail
