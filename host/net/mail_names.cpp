// Names of attachments (see mail_names.h).
#include "host/net/mail_names.h"

#include "host/net/mail_charset.h"
#include "platform/content_types.h"

namespace quill::mail {

namespace {

constexpr size_t kMaxSafeLength = 200;
constexpr size_t kMaxKeptExtension = 16;

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with the superscript digits Windows accepts),
// CONIN$, CONOUT$ and CLOCK$, compared without case.
bool isDeviceName(std::u16string_view stem) {
    std::string upper;
    for (char16_t c : stem) {
        if (c == 0xB9 || c == 0xB2 || c == 0xB3) {
            upper += '1';  // superscript one, two, three: any digit will do
            continue;
        }
        if (c >= 128) return false;
        upper += static_cast<char>(c >= u'a' && c <= u'z' ? c - 32 : c);
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
        if (upper == device) return true;
    }
    return upper.size() == 4 &&
           (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '0' && upper[3] <= '9';
}

}  // namespace

std::u16string nameFromPath(std::u16string_view path) {
    size_t at = path.find_last_of(u"\\/");
    return std::u16string(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

std::string contentTypeForName(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos) {
        std::string type = platform::contentTypeForExtension(name.substr(dot));
        if (!type.empty()) return lowerAscii(type);
    }
    return "application/octet-stream";
}

std::u16string safeFileName(std::u16string_view name, std::u16string_view fallback) {
    size_t at = name.find_last_of(u"\\/");
    std::u16string out(at == std::u16string_view::npos ? name : name.substr(at + 1));
    if (out.size() >= 2 && out[1] == u':' &&
        ((out[0] >= u'A' && out[0] <= u'Z') || (out[0] >= u'a' && out[0] <= u'z'))) {
        out.erase(0, 2);
    }
    for (char16_t& c : out) {
        if (c < 0x20 || c == 0x7F ||
            std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
            c = u'_';
        }
    }
    while (!out.empty() && (out.back() == u'.' || out.back() == u' ')) out.pop_back();
    while (!out.empty() && out.front() == u' ') out.erase(0, 1);
    if (out.empty() || out.find_first_not_of(u'.') == std::u16string::npos) {
        return std::u16string(fallback);
    }
    std::u16string_view stem(out);
    stem = stem.substr(0, stem.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
    if (isDeviceName(stem)) return std::u16string(fallback);
    if (out.size() > kMaxSafeLength) {
        size_t dot = out.rfind(u'.');
        std::u16string extension;
        if (dot != std::u16string::npos && out.size() - dot <= kMaxKeptExtension) {
            extension = out.substr(dot);
        }
        out = out.substr(0, kMaxSafeLength - extension.size()) + extension;
        // Cutting must not leave half of a surrogate pair.
        size_t cut = kMaxSafeLength - extension.size();
        if (out[cut - 1] >= 0xD800 && out[cut - 1] <= 0xDBFF) out[cut - 1] = u'_';
    }
    return out;
}

bool isFolderPath(std::u16string_view path) {
    return !path.empty() && isSeparator(path.back());
}

}  // namespace quill::mail
