// Building the MX query and reading the reply. Names in the reply are read label by label with
// every compression pointer required to point before the place it was read from, which both
// bounds the work and rules out loops.
#include "host/net/dns_message.h"

namespace quill::dns {

namespace {

constexpr size_t kHeaderLength = 12;
constexpr size_t kMaxLabelLength = 63;

class Reader {
  public:
    Reader(const uint8_t* data, size_t length) : data_(data), length_(length) {}

    bool u16(size_t at, uint16_t* out) const {
        if (at > length_ || length_ - at < 2) return false;
        *out = uint16_t((data_[at] << 8) | data_[at + 1]);
        return true;
    }

    // Reads the name that starts at `at`: its text (when `text` is given) and the offset just
    // after its in-place part (after the first pointer, or after the final zero label).
    bool name(size_t at, std::string* text, size_t* after) const {
        size_t wire = 1;  // the final zero byte
        bool jumped = false;
        if (text) text->clear();
        for (;;) {
            if (at >= length_) return false;
            uint8_t head = data_[at];
            if ((head & 0xC0) == 0xC0) {
                if (at + 1 >= length_) return false;
                size_t target = (size_t(head & 0x3F) << 8) | data_[at + 1];
                if (!jumped) *after = at + 2;
                // Strictly backwards: each jump lands earlier, so the walk must end.
                if (target >= at) return false;
                jumped = true;
                at = target;
                continue;
            }
            if ((head & 0xC0) != 0) return false;  // the reserved label kinds
            if (head == 0) {
                if (!jumped) *after = at + 1;
                return true;
            }
            wire += size_t(head) + 1;
            if (wire > kMaxNameWireLength) return false;
            if (length_ - at - 1 < head) return false;
            if (text) {
                if (!text->empty()) *text += '.';
                text->append(reinterpret_cast<const char*>(data_ + at + 1), head);
            }
            at += size_t(head) + 1;
        }
    }

  private:
    const uint8_t* data_;
    size_t length_;
};

}  // namespace

std::optional<std::string> buildMxQuery(std::string_view domain) {
    if (!domain.empty() && domain.back() == '.') domain.remove_suffix(1);
    if (domain.empty()) return std::nullopt;
    std::string question;
    size_t start = 0;
    for (;;) {
        size_t dot = domain.find('.', start);
        size_t end = dot == std::string_view::npos ? domain.size() : dot;
        size_t label = end - start;
        if (label == 0 || label > kMaxLabelLength) return std::nullopt;
        question += char(label);
        question.append(domain.substr(start, label));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    question += '\0';
    if (question.size() > kMaxNameWireLength) return std::nullopt;
    question += std::string("\0\x0F\0\x01", 4);  // type MX, class IN

    std::string message = {char(kQueryId >> 8),
                           char(kQueryId & 0xFF),
                           0x01,
                           0x00,  // recursion desired
                           0x00,
                           0x01,  // one question
                           0x00,
                           0x00,
                           0x00,
                           0x00,
                           0x00,
                           0x00};
    message += question;
    std::string framed = {char(message.size() >> 8), char(message.size() & 0xFF)};
    return framed + message;
}

std::optional<std::vector<MxRecord>> parseMxReply(const uint8_t* reply, size_t length) {
    Reader in(reply, length);
    uint16_t id = 0, flags = 0, questions = 0, answers = 0;
    if (!in.u16(0, &id) || !in.u16(2, &flags) || !in.u16(4, &questions) || !in.u16(6, &answers) ||
        length < kHeaderLength) {
        return std::nullopt;
    }
    if (id != kQueryId || (flags & 0x8000) == 0) return std::nullopt;

    size_t at = kHeaderLength;
    for (uint16_t i = 0; i < questions; ++i) {
        if (!in.name(at, nullptr, &at)) return std::nullopt;
        at += 4;  // type, class
        if (at > length) return std::nullopt;
    }
    std::vector<MxRecord> records;
    for (uint16_t i = 0; i < answers; ++i) {
        if (!in.name(at, nullptr, &at)) return std::nullopt;
        uint16_t type = 0, dataLength = 0;
        if (!in.u16(at, &type) || !in.u16(at + 8, &dataLength)) return std::nullopt;
        size_t data = at + 10;
        if (data > length || length - data < dataLength) return std::nullopt;
        if (type == kTypeMx) {
            MxRecord record;
            size_t end = 0;
            if (!in.u16(data, &record.preference) || !in.name(data + 2, &record.name, &end) ||
                end != data + dataLength) {
                return std::nullopt;
            }
            records.push_back(std::move(record));
        }
        at = data + dataLength;
    }
    return records;
}

}  // namespace quill::dns
