// Reading and writing header fields (see mail_headers.h).
#include "host/net/mail_headers.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "host/net/mail_charset.h"
#include "host/net/mime_codecs.h"

namespace quill::mail {

namespace {

constexpr size_t kFoldWidth = 78;
constexpr size_t kMaxContinuations = 256;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

// Appends "Name: value" CR LF, folding before spaces so that lines stay within the width where
// a space allows it. Folding only inserts CR LF before an existing space, so unfolding gives
// the value back exactly.
void appendFolded(std::string& out, std::string_view line, size_t valueStart) {
    size_t start = 0;
    while (line.size() - start > kFoldWidth) {
        size_t first = start == 0 ? valueStart + 1 : start + 1;
        size_t limit = start + kFoldWidth;
        size_t fold = std::string_view::npos;
        for (size_t p = limit; p >= first && p < line.size(); --p) {
            if (line[p] == ' ') {
                fold = p;
                break;
            }
        }
        if (fold == std::string_view::npos) {
            fold = line.find(' ', std::max(first, limit));
            if (fold == std::string_view::npos) break;
        }
        out.append(line.substr(start, fold - start));
        out += "\r\n";
        start = fold;
    }
    out.append(line.substr(start));
    out += "\r\n";
}

// The value with its line breaks turned into spaces: a value cannot start a field of its own.
std::u16string oneLine(std::u16string_view value) {
    std::u16string out(value);
    std::replace(out.begin(), out.end(), u'\r', u' ');
    std::replace(out.begin(), out.end(), u'\n', u' ');
    return out;
}

bool beyondAscii(std::u16string_view s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) { return c >= 0x80; });
}

// Splits at commas outside quoted strings and angle brackets; each piece keeps its blanks.
std::vector<std::u16string_view> addressPieces(std::u16string_view value) {
    std::vector<std::u16string_view> pieces;
    bool quoted = false;
    int angle = 0;
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        char16_t c = value[i];
        if (quoted) {
            if (c == u'\\') {
                ++i;
            } else if (c == u'"') {
                quoted = false;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'<') {
            ++angle;
        } else if (c == u'>' && angle > 0) {
            --angle;
        } else if (c == u',' && angle == 0) {
            pieces.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(value.substr(start));
    return pieces;
}

// A display name with characters beyond ASCII becomes encoded words; the address itself and
// everything else are written as they are (ANSI text).
std::string encodeDisplayName(std::u16string_view piece) {
    size_t lt = std::u16string_view::npos;
    bool quoted = false;
    for (size_t i = 0; i < piece.size(); ++i) {
        if (quoted) {
            if (piece[i] == u'\\') {
                ++i;
            } else if (piece[i] == u'"') {
                quoted = false;
            }
        } else if (piece[i] == u'"') {
            quoted = true;
        } else if (piece[i] == u'<') {
            lt = i;
            break;
        }
    }
    if (lt == std::u16string_view::npos) return toAnsi(piece);
    std::u16string_view phrase = piece.substr(0, lt);
    if (!beyondAscii(phrase) && phrase.find(u"=?") == std::u16string_view::npos) {
        return toAnsi(piece);
    }
    size_t lead = 0;
    while (lead < phrase.size() && (phrase[lead] == u' ' || phrase[lead] == u'\t')) ++lead;
    size_t tail = phrase.size();
    while (tail > lead && (phrase[tail - 1] == u' ' || phrase[tail - 1] == u'\t')) --tail;
    std::u16string_view name = phrase.substr(lead, tail - lead);
    std::u16string plain;
    if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"') {
        for (size_t i = 1; i + 1 < name.size(); ++i) {
            if (name[i] == u'\\' && i + 2 < name.size()) ++i;
            plain += name[i];
        }
    } else {
        plain = std::u16string(name);
    }
    std::string out = toAnsi(phrase.substr(0, lead));
    std::vector<std::string> words = encodedWords(plain, 45);
    for (size_t i = 0; i < words.size(); ++i) {
        if (i) out += ' ';
        out += words[i];
    }
    out += ' ';
    out += toAnsi(piece.substr(lt));
    return out;
}

}  // namespace

std::string unfoldValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            ++i;
        } else if (c == '\n') {
        } else {
            out += c == '\t' ? ' ' : c;
        }
    }
    return std::string(trim(out));
}

std::string mainValue(std::string_view value) {
    size_t end = value.find(';');
    return lowerAscii(trim(value.substr(0, end)));
}

std::optional<Parameter> findParameter(std::string_view value, std::string_view name) {
    size_t i = value.find(';');
    if (i == std::string_view::npos) return std::nullopt;
    std::optional<std::string> plain;
    std::optional<std::string> extended;
    // Continuation pieces by number: the text and whether it is in the extended form.
    std::vector<std::pair<std::string, bool>> pieces;
    std::vector<bool> seen;
    while (i < value.size()) {
        while (i < value.size() && (isBlank(value[i]) || value[i] == ';')) ++i;
        size_t nameStart = i;
        while (i < value.size() && value[i] != '=' && value[i] != ';') ++i;
        std::string_view key = trim(value.substr(nameStart, i - nameStart));
        if (i >= value.size() || value[i] != '=') continue;
        ++i;
        while (i < value.size() && isBlank(value[i])) ++i;
        std::string text;
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) ++i;
                text += value[i];
            }
            if (i < value.size()) ++i;
            while (i < value.size() && value[i] != ';') ++i;
        } else {
            size_t start = i;
            while (i < value.size() && value[i] != ';') ++i;
            text = std::string(trim(value.substr(start, i - start)));
        }
        if (key.size() < name.size() || !startsWithIgnoreCase(key, name)) continue;
        std::string_view rest = key.substr(name.size());
        if (rest.empty()) {
            if (!plain) plain = std::move(text);
        } else if (rest == "*") {
            if (!extended) extended = std::move(text);
        } else if (rest[0] == '*' && rest.size() >= 2) {
            // *N or *N*: one piece of a continued value.
            std::string_view digits = rest.substr(1);
            bool star = digits.back() == '*';
            if (star) digits.remove_suffix(1);
            if (digits.empty() || digits.size() > 3 ||
                !std::all_of(digits.begin(), digits.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                continue;
            }
            size_t n = size_t(std::atoi(std::string(digits).c_str()));
            if (n >= kMaxContinuations) continue;
            if (pieces.size() <= n) {
                pieces.resize(n + 1);
                seen.resize(n + 1);
            }
            if (!seen[n]) {
                pieces[n] = {std::move(text), star};
                seen[n] = true;
            }
        }
    }
    Parameter out;
    auto splitExtended = [&](const std::string& text) {
        // charset'language'percent-encoded text
        size_t q1 = text.find('\'');
        size_t q2 = q1 == std::string::npos ? std::string::npos : text.find('\'', q1 + 1);
        if (q2 == std::string::npos) return decodePercent(text);
        out.charset = text.substr(0, q1);
        return decodePercent(std::string_view(text).substr(q2 + 1));
    };
    if (!pieces.empty() && seen[0]) {
        for (size_t n = 0; n < pieces.size() && seen[n]; ++n) {
            if (n == 0 && pieces[0].second) {
                out.value += splitExtended(pieces[0].first);
            } else {
                out.value += pieces[n].second ? decodePercent(pieces[n].first) : pieces[n].first;
            }
        }
        return out;
    }
    if (extended) {
        out.value = splitExtended(*extended);
        return out;
    }
    if (plain) {
        out.value = std::move(*plain);
        return out;
    }
    return std::nullopt;
}

std::u16string parameterText(const Parameter& parameter) {
    if (!parameter.charset.empty()) return decodeText(parameter.value, parameter.charset);
    return decodeHeaderText(parameter.value);
}

std::u16string decodeHeaderText(std::string_view value) {
    std::u16string out;
    std::string raw;
    bool afterWord = false;
    size_t i = 0;
    while (i < value.size()) {
        if (value[i] == '=' && i + 1 < value.size() && value[i + 1] == '?') {
            // =?charset?X?text?= ; the closing "?=" is looked for after the "?X?" so that a
            // question mark and equals sign before the word cannot end it.
            size_t q1 = value.find('?', i + 2);
            if (q1 != std::string_view::npos && q1 - (i + 2) <= 75 && q1 + 2 < value.size() &&
                value[q1 + 2] == '?') {
                char kind = value[q1 + 1];
                size_t textStart = q1 + 3;
                size_t close = value.find("?=", textStart);
                std::string_view charset = value.substr(i + 2, q1 - (i + 2));
                bool blankFree = charset.find_first_of(" \t") == std::string_view::npos;
                if (close != std::string_view::npos && blankFree &&
                    (kind == 'B' || kind == 'b' || kind == 'Q' || kind == 'q')) {
                    std::string_view text = value.substr(textStart, close - textStart);
                    std::string bytes =
                        (kind == 'B' || kind == 'b') ? decodeBase64(text) : decodeQ(text);
                    // RFC 2231 allows a language after the charset: "utf-8*en".
                    charset = charset.substr(0, charset.find('*'));
                    if (afterWord && std::all_of(raw.begin(), raw.end(), [](char c) {
                            return isBlank(c) || c == '\r' || c == '\n';
                        })) {
                        raw.clear();
                    }
                    out += decodeText(raw, "");
                    raw.clear();
                    out +=
                        decodeText(bytes, charset.empty() ? std::string_view("us-ascii") : charset);
                    afterWord = true;
                    i = close + 2;
                    continue;
                }
            }
        }
        raw += value[i++];
    }
    out += decodeText(raw, "");
    return out;
}

std::vector<std::string> encodedWords(std::u16string_view text, size_t maxBytes) {
    CharsetText encoded = encodeText(text);
    const std::string& bytes = encoded.bytes;
    bool utf8 = isUtf8Label(encoded.charset);
    std::vector<std::string> words;
    std::string prefix = "=?" + encoded.charset + "?B?";
    size_t i = 0;
    do {
        size_t end = i;
        while (end < bytes.size()) {
            size_t n = charLength(bytes, end, utf8);
            if (end + n - i > maxBytes && end > i) break;
            end += n;
        }
        words.push_back(prefix + base64(std::string_view(bytes).substr(i, end - i)) + "?=");
        i = end;
    } while (i < bytes.size());
    return words;
}

void writeSubjectField(std::string& out, std::u16string_view subject) {
    out += "Subject: ";
    if (!subject.empty()) {
        std::vector<std::string> words = encodedWords(subject, 54);
        for (size_t i = 0; i < words.size(); ++i) {
            if (i) out += "\r\n ";
            out += words[i];
        }
    }
    out += "\r\n";
}

void writeAddressField(std::string& out, std::string_view name, std::u16string_view value) {
    std::u16string single = oneLine(value);
    std::string line = std::string(name) + ": ";
    size_t valueStart = line.size();
    std::vector<std::u16string_view> pieces = addressPieces(single);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) line += ',';
        line += encodeDisplayName(pieces[i]);
    }
    appendFolded(out, line, valueStart);
}

void writeTextField(std::string& out, std::string_view name, std::u16string_view value) {
    std::string line = std::string(name) + ": ";
    size_t valueStart = line.size();
    line += toAnsi(oneLine(value));
    appendFolded(out, line, valueStart);
}

std::string fileNameParameter(std::string_view param, std::u16string_view name, bool extended) {
    std::string out = "; " + std::string(param);
    // Text that reads as an encoded word is encoded too, so that it reads back as written.
    bool plain =
        std::all_of(name.begin(), name.end(),
                    [](char16_t c) { return c >= 0x20 && c <= 0x7E && c != u'"' && c != u'\\'; }) &&
        name.find(u"=?") == std::u16string_view::npos;
    if (plain) return out + "=\"" + toAnsi(name) + "\"";
    if (!extended) {
        out += "=\"";
        std::vector<std::string> words = encodedWords(name, 45);
        for (size_t i = 0; i < words.size(); ++i) {
            if (i) out += ' ';
            out += words[i];
        }
        return out + "\"";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    CharsetText encoded = encodeText(name);
    out += "*=" + encoded.charset + "''";
    for (char c : encoded.bytes) {
        auto b = static_cast<uint8_t>(c);
        bool attrChar = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                        (b >= '0' && b <= '9') ||
                        std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
        if (attrChar) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string contentIdValue(std::string_view value) {
    std::string_view v = trim(value);
    size_t lt = v.find('<');
    size_t gt = v.rfind('>');
    if (lt != std::string_view::npos && gt != std::string_view::npos && gt > lt) {
        return std::string(v.substr(lt + 1, gt - lt - 1));
    }
    return std::string(v);
}

std::string cleanContentId(std::string id) {
    std::erase_if(id, [](char c) { return static_cast<uint8_t>(c) < 32 || c == '<' || c == '>'; });
    return id;
}

}  // namespace quill::mail
