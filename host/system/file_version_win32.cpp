// Shell.getFileVersionInfo: the version resource of a file as a plain object of numbers and
// strings. The resource is parsed by the system's version library; every value it hands back is
// used only within the length it reports.
#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_classes.h"
#include "host/system/desktop_support.h"

namespace quill {

namespace {

using desktop::wide;

constexpr UINT kFixedInfoSize = 52;  // VS_FIXEDFILEINFO

struct StringField {
    const char* property;
    const wchar_t* key;
};
// The product version is asked for with a small p, as the system compares keys without case.
constexpr StringField kStringFields[] = {
    {"comments", L"Comments"},
    {"companyName", L"CompanyName"},
    {"fileDescription", L"FileDescription"},
    {"fileVersion", L"FileVersion"},
    {"internalName", L"InternalName"},
    {"legalCopyright", L"LegalCopyright"},
    {"legalTrademarks", L"LegalTrademarks"},
    {"originalFilename", L"OriginalFilename"},
    {"privateBuild", L"PrivateBuild"},
    {"productName", L"ProductName"},
    {"productVersion", L"productVersion"},
    {"specialBuild", L"SpecialBuild"},
};

// The low 32 bits hold the most significant double word (major, minor), the high 32 bits the
// least significant one (build, revision).
int64_t versionNumber(DWORD mostSignificant, DWORD leastSignificant) {
    return static_cast<int64_t>(uint64_t(mostSignificant) | (uint64_t(leastSignificant) << 32));
}

std::u16string stringValue(const std::vector<uint8_t>& block, DWORD translation,
                           const wchar_t* key) {
    wchar_t query[64];
    std::swprintf(query, 64, L"\\StringFileInfo\\%08X\\%ls", static_cast<unsigned>(translation),
                  key);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query, &value, &length) || !value || length == 0) return {};
    // The reported length counts characters; the text ends at its terminator or there, and
    // never past the block the system copied the resource into.
    const auto* first = static_cast<const uint8_t*>(value);
    const uint8_t* end = block.data() + block.size();
    if (first < block.data() || first >= end) return {};
    size_t room = static_cast<size_t>(end - first) / sizeof(wchar_t);
    const auto* text = static_cast<const wchar_t*>(value);
    return desktop::fromWide(text, wcsnlen(text, std::min<size_t>(length, room)));
}

ScriptValue getFileVersionInfo(ScriptEngine* engine, bind::Path path) {
    if (desktop::hasZero(path.wide)) return makeNull();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(wide(path.wide), &ignored);
    if (size == 0) return makeNull();
    std::vector<uint8_t> block(size);
    if (!GetFileVersionInfoW(wide(path.wide), 0, size, block.data())) return makeNull();

    desktop::ResultObject info(engine);
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", &value, &length) && value && length == kFixedInfoSize) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        info.set("fileVersionNum", versionNumber(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        info.set("productVersionNum",
                 versionNumber(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && value &&
        length >= 4) {
        const auto* words = static_cast<const WORD*>(value);
        DWORD translation = (DWORD(words[0]) << 16) | words[1];
        info.set("translation", int64_t(translation));
        for (const StringField& field : kStringFields) {
            info.set(field.property, stringValue(block, translation, field.key));
        }
    }
    return info.value();
}

constexpr bind::Member kFileVersionRows[] = {
    bind::classMethod<getFileVersionInfo>("getFileVersionInfo", bind::Empty::kNull)
        .doc("path",
             "An object with the file's version resource: fileVersionNum, productVersionNum, "
             "translation, and strings such as companyName, fileVersion and productName; null when "
             "it has none."),
};

}  // namespace

bind::MemberTable fileVersionMembers() {
    return kFileVersionRows;
}

}  // namespace quill
