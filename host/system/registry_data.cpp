// Registry data and script values, both ways, and the text forms shared by the registry and INI
// classes: registry paths with their root names and zero-separated lists. Every read is bounded
// by the size it was given; nothing assumes a terminating zero is present.
#include "host/system/registry_data.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "host/system/string_stream_access.h"
#include "runtime/array.h"

namespace quill::registry {

const char* const kRootNames[kRootCount] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKCC", "HKDD"};

namespace {

// The long names are accepted too: they are what people type after reading any registry tool.
const char* const kLongRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

bool equalsAsciiNoCase(std::u16string_view text, const char* name) {
    size_t n = std::strlen(name);
    if (text.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char16_t c = text[i];
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
        if (c != char16_t(name[i])) return false;
    }
    return true;
}

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void appendU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}
void appendU64(std::vector<uint8_t>* out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out->push_back(uint8_t(v >> (8 * i)));
}
void appendDouble(std::vector<uint8_t>* out, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    appendU64(out, bits);
}
void appendUnits(std::vector<uint8_t>* out, std::u16string_view text) {
    out->reserve(out->size() + text.size() * 2);
    for (char16_t c : text) {
        out->push_back(uint8_t(c));
        out->push_back(uint8_t(c >> 8));
    }
}

double numberOf(const ScriptValue& v) {
    return v.tag == kTagNaN ? std::numeric_limits<double>::quiet_NaN() : v.d;
}

// Array elements in index order: integers as 4 bytes, numbers as 8, strings as UTF-16 each with
// one zero unit after it; other elements are skipped.
bool arrayToData(ScriptEngine* engine, const ScriptValue& array, std::vector<uint8_t>* out) {
    bool fits = true;
    forEachElement(engine, array.arr, [&](uint64_t, const ScriptValue& element) {
        if (!fits) return;
        if (element.tag == kTagInteger) {
            appendU32(out, uint32_t(element.i));
        } else if (element.tag == kTagNumber || element.tag == kTagNaN) {
            appendDouble(out, numberOf(element));
        } else if (element.tag == kTagString) {
            if (element.str->length > kMaxDataBytes / 2) {
                fits = false;
                return;
            }
            appendUnits(out, stringView(element));
            out->push_back(0);
            out->push_back(0);
        }
        fits = out->size() <= kMaxDataBytes;
    });
    return fits;
}

}  // namespace

std::u16string unitsOf(const uint8_t* bytes, size_t size) {
    std::u16string text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = char16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return text;
}

std::vector<std::u16string_view> splitZeroList(std::u16string_view text) {
    std::vector<std::u16string_view> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\0', start);
        if (end == std::u16string_view::npos) end = text.size();
        if (end == start) break;
        entries.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

ScriptValue dataToValue(ScriptEngine* engine, uint32_t type, const uint8_t* bytes, size_t size) {
    if (size == 0) return makeUndefined();
    switch (type) {
        case kNone:
        case kBinary:
        case kLink:
            return newStringStreamFromBytes(engine, bytes, size);
        case kString:
        case kExpandString:
        case kResourceList: {
            std::u16string text = unitsOf(bytes, size);
            size_t end = text.find(u'\0');
            return newString(engine, std::u16string_view(text).substr(0, end));
        }
        case kDword:
            return size >= 4 ? makeInteger(readU32(bytes)) : makeUndefined();
        case kDwordBigEndian:
            // Read in the machine's order, the counterpart of how integers are stored.
            return size >= 4 ? makeInteger(int32_t(readU32(bytes))) : makeUndefined();
        case kMultiString: {
            std::u16string text = unitsOf(bytes, size);
            std::vector<std::u16string_view> entries = splitZeroList(text);
            if (entries.empty()) return makeUndefined();
            ScriptValue array;
            newArray(engine, &array, entries.size());
            RootedValues keep(engine, &array, 1);
            for (size_t i = 0; i < entries.size(); ++i) {
                setElement(engine, array, newString(engine, entries[i]), i);
            }
            return array;
        }
        case kQword:
            if (size < 8) return makeUndefined();
            return makeInteger(
                int64_t(uint64_t(readU32(bytes)) | uint64_t(readU32(bytes + 4)) << 32));
        default:
            return makeUndefined();
    }
}

bool valueToData(ScriptEngine* engine, const ScriptValue& value, uint32_t type,
                 std::vector<uint8_t>* out) {
    std::vector<uint8_t> data;
    switch (value.tag) {
        case kTagInteger:
            if (type == kQword) {
                appendU64(&data, uint64_t(value.i));
            } else {
                appendU32(&data, uint32_t(value.i));
            }
            break;
        case kTagNumber:
        case kTagNaN:
            appendDouble(&data, numberOf(value));
            break;
        case kTagString:
            if (value.str->length > kMaxDataBytes / 2) return false;
            appendUnits(&data, stringView(value));
            break;
        case kTagArray:
            if (!arrayToData(engine, value, &data)) return false;
            break;
        case kTagHost: {
            size_t length = 0;
            const uint8_t* bytes = stringStreamBytes(engine, value, &length);
            if (!bytes || length > kMaxDataBytes) return false;
            data.assign(bytes, bytes + length);
            break;
        }
        default:
            return false;
    }
    *out = std::move(data);
    return true;
}

void terminateForWrite(uint32_t type, std::vector<uint8_t>* data) {
    size_t zeros = type == kMultiString ? 2 : type == kString || type == kExpandString ? 1 : 0;
    if (zeros == 0) return;
    // Text is whole UTF-16 units: a stray odd byte would shift the terminator off its unit.
    if (data->size() % 2) data->push_back(0);
    size_t have = 0;
    for (size_t i = data->size(); i >= 2 && have < zeros; i -= 2) {
        if ((*data)[i - 1] != 0 || (*data)[i - 2] != 0) break;
        ++have;
    }
    for (; have < zeros; ++have) {
        data->push_back(0);
        data->push_back(0);
    }
}

RegistryPath parseRegistryPath(std::u16string_view path) {
    size_t slash = path.find(u'\\');
    std::u16string_view first = path.substr(0, slash);
    for (int i = 0; i < kRootCount; ++i) {
        if (equalsAsciiNoCase(first, kRootNames[i]) ||
            equalsAsciiNoCase(first, kLongRootNames[i])) {
            return {i, slash == std::u16string_view::npos ? std::u16string_view()
                                                          : path.substr(slash + 1)};
        }
    }
    return {-1, path};
}

}  // namespace quill::registry
