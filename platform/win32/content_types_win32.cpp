// Content types of Windows builds: the registry's association of each extension.
#include <windows.h>

#include "platform/content_types.h"

namespace quill::platform {

std::string contentTypeForExtension(std::u16string_view extension) {
    if (extension.size() < 2 || extension.size() > 255 ||
        extension.find(u'\0') != std::u16string_view::npos) {
        return {};
    }
    std::wstring key(extension.begin(), extension.end());
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) !=
        ERROR_SUCCESS) {
        return {};
    }
    // Up to 64 bytes of value, as the association is read elsewhere on the system.
    wchar_t value[33] = {};
    DWORD type = 0;
    DWORD size = sizeof value - sizeof(wchar_t);
    LONG status = RegQueryValueExW(handle, L"Content Type", nullptr, &type,
                                   reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    std::string out;
    for (size_t i = 0; i < size / sizeof(wchar_t) && value[i]; ++i) {
        // A content type is ASCII without blanks; anything else is not used.
        if (value[i] <= 32 || value[i] >= 127) return {};
        out += static_cast<char>(value[i]);
    }
    return out;
}

}  // namespace quill::platform
