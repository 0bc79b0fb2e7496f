// Charset labels and text conversions of mail messages (see mail_charset.h). The labels name
// the code page the bytes really are in, so that every reader shows the characters the script
// wrote: Windows code pages have their own names, which differ from the ISO sets in many
// positions (Cyrillic text in code page 1251 is not ISO 8859-5, and Shift JIS is not ISO-2022-JP).
#include "host/net/mail_charset.h"

#include <cstdint>

#include "platform/ansi_codepage.h"
#include "platform/utf8_text.h"

namespace quill::mail {

const char* charsetForCodePage(unsigned codePage) {
    switch (codePage) {
        case 874:
            return "windows-874";
        case 932:
            return "shift_jis";
        case 936:
            return "gbk";
        case 949:
            return "ks_c_5601-1987";
        case 950:
            return "big5";
        case 1250:
            return "windows-1250";
        case 1251:
            return "windows-1251";
        case 1252:
            return "windows-1252";
        case 1253:
            return "windows-1253";
        case 1254:
            return "windows-1254";
        case 1255:
            return "windows-1255";
        case 1256:
            return "windows-1256";
        case 1257:
            return "windows-1257";
        case 1258:
            return "windows-1258";
        case 20127:
            return "us-ascii";
        case 65001:
            return "utf-8";
        default:
            return "iso-8859-1";
    }
}

const char* ansiCharset() {
    static const char* const label = charsetForCodePage(platform::ansiCodePage());
    return label;
}

std::string toAnsi(std::u16string_view text) {
    std::string out(text.size() * 2, '\0');
    out.resize(platform::wideToAnsi(text.data(), text.size(), out.data(), out.size()));
    return out;
}

std::u16string fromAnsi(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    out.resize(platform::ansiToWide(bytes.data(), bytes.size(), out.data()));
    return out;
}

namespace {

// The length of the UTF-8 sequence at bytes[i] when it is well formed (shortest form, no
// surrogates, at most U+10FFFF), else 0; `cp` receives its code point.
size_t utf8Sequence(std::string_view bytes, size_t i, uint32_t* cp) {
    auto b = static_cast<uint8_t>(bytes[i]);
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
    if (b >= 0xF5) n = 0;
    if (n == 0 || i + n > bytes.size()) return 0;
    uint32_t v = b & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) {
        auto c = static_cast<uint8_t>(bytes[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        v = (v << 6) | (c & 0x3F);
    }
    if ((n == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))) ||
        (n == 4 && (v < 0x10000 || v > 0x10FFFF))) {
        return 0;
    }
    *cp = v;
    return n;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        size_t n = utf8Sequence(bytes, i, &cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::u16string fromUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        size_t n = utf8Sequence(bytes, i, &cp);
        if (n == 0) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

bool isUtf8Label(std::string_view charset) {
    return equalsIgnoreCase(charset, "utf-8") || equalsIgnoreCase(charset, "utf8");
}

std::u16string decodeText(std::string_view bytes, std::string_view charset) {
    if (isUtf8Label(charset)) return fromUtf8(bytes);
    if (charset.empty()) {
        bool ascii = true;
        for (char c : bytes) {
            if (static_cast<uint8_t>(c) >= 0x80) {
                ascii = false;
                break;
            }
        }
        if (!ascii && isValidUtf8(bytes)) return fromUtf8(bytes);
    }
    return fromAnsi(bytes);
}

size_t charLength(std::string_view bytes, size_t i, bool utf8) {
    auto b = static_cast<uint8_t>(bytes[i]);
    size_t n = 1;
    unsigned codePage = utf8 ? 65001 : platform::ansiCodePage();
    switch (codePage) {
        case 932:
            n = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
            break;
        case 936:
        case 949:
        case 950:
            n = b >= 0x81 && b <= 0xFE ? 2 : 1;
            break;
        case 65001: {
            uint32_t cp = 0;
            n = utf8Sequence(bytes, i, &cp);
            if (n == 0) n = 1;
            break;
        }
        default:
            break;
    }
    return i + n <= bytes.size() ? n : bytes.size() - i;
}

std::string toUtf8(std::u16string_view text) {
    return platform::utf16ToUtf8(text);
}

CharsetText encodeText(std::u16string_view text) {
    std::string ansi = toAnsi(text);
    if (fromAnsi(ansi) == text) return {std::move(ansi), ansiCharset()};
    return {toUtf8(text), "utf-8"};
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

}  // namespace quill::mail
