// Base64, quoted-printable, the Q form of encoded words and percent-decoding (see
// mime_codecs.h). The decoders are incremental so that large parts stream through fixed buffers.
#include "host/net/mime_codecs.h"

#include <algorithm>
#include <array>

namespace quill::mail {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHex[] = "0123456789ABCDEF";

constexpr std::array<int8_t, 256> makeDecodeTable() {
    std::array<int8_t, 256> table{};
    for (auto& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}
constexpr std::array<int8_t, 256> kDecode = makeDecodeTable();

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Base64.

void Base64Writer::put(std::string& out, char c) {
    out += c;
    if (lineLength_ && ++column_ == lineLength_) {
        out += "\r\n";
        column_ = 0;
    }
}

void Base64Writer::add(std::string& out, std::string_view bytes) {
    size_t i = 0;
    while (pendingCount_ > 0 && pendingCount_ < 3 && i < bytes.size()) {
        pending_[pendingCount_++] = static_cast<uint8_t>(bytes[i++]);
    }
    if (pendingCount_ == 3) {
        uint32_t v = (uint32_t(pending_[0]) << 16) | (uint32_t(pending_[1]) << 8) | pending_[2];
        put(out, kAlphabet[v >> 18]);
        put(out, kAlphabet[(v >> 12) & 63]);
        put(out, kAlphabet[(v >> 6) & 63]);
        put(out, kAlphabet[v & 63]);
        pendingCount_ = 0;
    }
    // Reserving for every small piece would copy the output again and again.
    if (bytes.size() >= 4096) out.reserve(out.size() + (bytes.size() - i) / 3 * 4 * 78 / 76 + 8);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
        if (lineLength_ == 0 || column_ + 4 < lineLength_) {
            char quad[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                            kAlphabet[v & 63]};
            out.append(quad, 4);
            column_ += lineLength_ ? 4 : 0;
        } else {
            put(out, kAlphabet[v >> 18]);
            put(out, kAlphabet[(v >> 12) & 63]);
            put(out, kAlphabet[(v >> 6) & 63]);
            put(out, kAlphabet[v & 63]);
        }
    }
    for (; i < bytes.size(); ++i) pending_[pendingCount_++] = p[i];
}

void Base64Writer::finish(std::string& out) {
    if (pendingCount_ > 0) {
        uint32_t v = uint32_t(pending_[0]) << 16;
        if (pendingCount_ == 2) v |= uint32_t(pending_[1]) << 8;
        put(out, kAlphabet[v >> 18]);
        put(out, kAlphabet[(v >> 12) & 63]);
        put(out, pendingCount_ == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        put(out, '=');
        pendingCount_ = 0;
    }
    if (lineLength_ && column_ > 0) {
        out += "\r\n";
        column_ = 0;
    }
}

void appendBase64(std::string& out, std::string_view bytes, size_t lineLength) {
    Base64Writer writer(lineLength);
    writer.add(out, bytes);
    writer.finish(out);
}

std::string base64(std::string_view bytes, size_t lineLength) {
    std::string out;
    appendBase64(out, bytes, lineLength);
    return out;
}

void Base64Reader::add(std::string& out, std::string_view text) {
    if (ended_) return;
    if (text.size() >= 4096) out.reserve(out.size() + text.size() / 4 * 3 + 3);
    for (char c : text) {
        int8_t v = kDecode[static_cast<uint8_t>(c)];
        if (v < 0) {
            if (c == '=') {
                ended_ = true;
                return;
            }
            continue;
        }
        bits_ = (bits_ << 6) | uint32_t(v);
        if (++count_ == 4) {
            char three[3] = {char(bits_ >> 16), char(bits_ >> 8), char(bits_)};
            out.append(three, 3);
            bits_ = 0;
            count_ = 0;
        }
    }
}

void Base64Reader::finish(std::string& out) {
    // k characters of a last group carry k-1 whole bytes.
    if (count_ >= 2) {
        uint32_t v = bits_ << (6 * (4 - count_));
        out += char(v >> 16);
        if (count_ == 3) out += char(v >> 8);
    }
    bits_ = 0;
    count_ = 0;
}

std::string decodeBase64(std::string_view text) {
    std::string out;
    Base64Reader reader;
    reader.add(out, text);
    reader.finish(out);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Quoted-printable.

std::string encodeQuotedPrintable(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8 + 8);
    size_t column = 0;
    auto escape = [&](uint8_t b) {
        char e[3] = {'=', kHex[b >> 4], kHex[b & 15]};
        out.append(e, 3);
        column += 3;
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<uint8_t>(bytes[i]);
        if (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        bool endsLine = i + 1 == bytes.size() ||
                        (bytes[i + 1] == '\r' && i + 2 < bytes.size() && bytes[i + 2] == '\n');
        if ((b >= 33 && b <= 126 && b != '=') || ((b == ' ' || b == '\t') && !endsLine)) {
            out += static_cast<char>(b);
            ++column;
        } else {
            escape(b);
        }
        if (column > 72) {
            out += "=\r\n";
            column = 0;
        }
    }
    if (column != 0) out += "=\r\n";
    return out;
}

// Decodes what can be decided in `t`; returns how much was used. Without `final`, an "=" whose
// meaning depends on bytes not yet seen is left for the next piece.
size_t QuotedPrintableReader::decodePiece(std::string& out, std::string_view t, bool final) {
    size_t i = 0;
    while (i < t.size()) {
        size_t eq = t.find('=', i);
        if (eq == std::string_view::npos) {
            out.append(t.substr(i));
            return t.size();
        }
        out.append(t.substr(i, eq - i));
        i = eq;
        if (i + 2 < t.size() && hexValue(t[i + 1]) >= 0 && hexValue(t[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(t[i + 1]) * 16 + hexValue(t[i + 2]));
            i += 3;
            continue;
        }
        // "=", blanks (a bounded run), then a line end: a soft break.
        size_t k = i + 1;
        while (k < t.size() && isBlank(t[k]) && k - i < kMaxHeld) ++k;
        if (k == t.size()) {
            if (!final) return i;
            ++i;  // an "=" at the very end is a soft break; blanks after it stay
            continue;
        }
        if (t[k] == '\n') {
            i = k + 1;
            continue;
        }
        if (t[k] == '\r' && (k + 1 == t.size() || t[k + 1] == '\n')) {
            if (k + 1 == t.size() && !final) return i;
            i = k + 1 < t.size() ? k + 2 : k + 1;
            continue;
        }
        if (!final && i + 2 == t.size() && hexValue(t[i + 1]) >= 0) return i;
        out += '=';
        ++i;
    }
    return i;
}

void QuotedPrintableReader::add(std::string& out, std::string_view text) {
    if (held_.empty()) {
        size_t used = decodePiece(out, text, false);
        held_.assign(text.substr(used));
        return;
    }
    // The held tail is decided by at most kMaxHeld + 2 further bytes: only those are copied.
    size_t oldHeld = held_.size();
    size_t take = std::min(text.size(), kMaxHeld + 2);
    std::string joined = std::move(held_);
    joined.append(text.substr(0, take));
    held_.clear();
    size_t used = decodePiece(out, joined, false);
    if (used < oldHeld) {
        held_ = joined.substr(used);
        held_.append(text.substr(take));
        return;
    }
    add(out, text.substr(used - oldHeld));
}

void QuotedPrintableReader::finish(std::string& out) {
    decodePiece(out, held_, true);
    held_.clear();
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    QuotedPrintableReader reader;
    reader.add(out, text);
    reader.finish(out);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Encoded-word Q form and percent coding.

std::string decodeQ(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string decodePercent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace quill::mail
