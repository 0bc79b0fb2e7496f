// Bounded, race-tolerant reads of registry values (see registry_read_win32.h).
#include "host/system/registry_read_win32.h"

#include <algorithm>

#include "host/system/win32_text.h"

namespace quill::registry {

namespace {

// How often a read is tried again when the value keeps changing under it.
constexpr int kAttempts = 16;

}  // namespace

LSTATUS readValueData(const ValueQuery& query, DWORD* type, std::vector<uint8_t>* data) {
    DWORD size = 0;
    LSTATUS status = query(type, nullptr, &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return status;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (size > kMaxDataBytes) return ERROR_NOT_ENOUGH_MEMORY;
        // One spare byte: a buffer of zero bytes would read as a size query.
        data->assign(size_t(size) + 1, 0);
        DWORD got = DWORD(data->size());
        status = query(type, data->data(), &got);
        if (status == ERROR_SUCCESS) {
            data->resize(std::min<size_t>(got, data->size()));
            return ERROR_SUCCESS;
        }
        if (status != ERROR_MORE_DATA) return status;
        // It grew in between. Sources that report no size (performance data) grow by doubling.
        size =
            got > data->size() ? got : DWORD(std::min<size_t>(data->size() * 2, kMaxDataBytes + 1));
    }
    return ERROR_MORE_DATA;
}

bool readValue(HKEY key, const std::optional<std::u16string>& name, ValueData* out) {
    if (name && win32::hasZero(*name)) return false;
    const wchar_t* wideName = name ? win32::wide(*name) : nullptr;
    DWORD type = 0;
    std::vector<uint8_t> data;
    LSTATUS status = readValueData(
        [&](DWORD* t, BYTE* buffer, DWORD* size) {
            return RegQueryValueExW(key, wideName, nullptr, t, buffer, size);
        },
        &type, &data);
    if (status != ERROR_SUCCESS) return false;
    out->name = name;
    out->type = type;
    out->data = std::move(data);
    return true;
}

std::vector<ValueData> readAllValues(HKEY key) {
    std::vector<ValueData> values;
    DWORD count = 0, longestName = 0, longestData = 0;
    auto measure = [&] {
        return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                &longestName, &longestData, nullptr, nullptr);
    };
    if (measure() != ERROR_SUCCESS) return values;
    int retries = 0;
    for (DWORD index = 0; index < count;) {
        if (longestData > kMaxDataBytes) longestData = DWORD(kMaxDataBytes);
        // One unit and one byte beyond the longest name and data.
        std::vector<wchar_t> name(size_t(longestName) + 2);
        std::vector<uint8_t> data(size_t(longestData) + 1);
        DWORD nameLength = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
        LSTATUS status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                                       data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA && retries < kAttempts) {
            // A value grew since the key was measured: measure again and read the same one.
            ++retries;
            DWORD keep = count;
            if (measure() != ERROR_SUCCESS) break;
            count = std::max(count, keep);
            continue;
        }
        retries = 0;
        ++index;
        if (status != ERROR_SUCCESS) continue;
        ValueData value;
        value.name = win32::fromWide(name.data(), std::min<size_t>(nameLength, name.size()));
        value.type = type;
        value.data.assign(data.begin(), data.begin() + std::min<size_t>(dataSize, data.size()));
        values.push_back(std::move(value));
    }
    return values;
}

}  // namespace quill::registry
