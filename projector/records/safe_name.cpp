// The checks applied to every file name taken from a record before a file is written under it.
#include "projector/records/safe_name.h"

#include <array>

namespace quill::project {
namespace {

char16_t asciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    }
    return true;
}

bool isDeviceName(std::u16string_view name) {
    // Windows takes the part before the first dot, without trailing spaces, as the device.
    std::u16string_view base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    static constexpr std::array<std::u16string_view, 7> kPlain = {
        u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$", u"CLOCK$"};
    for (std::u16string_view device : kPlain) {
        if (equalsIgnoringAsciiCase(base, device)) return true;
    }
    if (base.size() == 4) {
        std::u16string_view stem = base.substr(0, 3);
        char16_t digit = base[3];
        bool numbered = (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' ||
                        digit == u'\u00B2' || digit == u'\u00B3';
        if (numbered &&
            (equalsIgnoringAsciiCase(stem, u"COM") || equalsIgnoringAsciiCase(stem, u"LPT"))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string unsafeNameReason(std::u16string_view name) {
    if (name.empty()) return "the name is empty";
    if (name == u"." || name == u"..") return "the name refers to a folder";
    if (name.size() > 255) return "the name is longer than 255 characters";
    for (char16_t c : name) {
        if (c == u'\\' || c == u'/' || c == u':') return "the name holds a folder or a drive";
    }
    for (char16_t c : name) {
        if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' ||
            c == u'*') {
            return "the name holds a character that file names cannot hold";
        }
    }
    if (name.back() == u'.' || name.back() == u' ') return "the name ends with a dot or a space";
    if (isDeviceName(name)) return "the name is reserved for a device";
    return {};
}

std::string unsafeNameReason(const TextCodec& codec, std::u16string_view name) {
    std::string reason = unsafeNameReason(name);
    if (reason.empty() && codec.widen(codec.narrow(name)) != name) {
        reason = "the name holds characters the code page cannot hold";
    }
    return reason;
}

}  // namespace quill::project
