// Reading registry values whole, though other programs may change them while they are read: a
// value that grows between the size query and the read is asked for again, a bounded number of
// times, and nothing is read past the size the registry reported.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/system/registry_data.h"

namespace quill::registry {

// One query in the manner of RegQueryValueExW: the type, and with a buffer its data; `size` in
// bytes, in and out.
using ValueQuery = std::function<LSTATUS(DWORD* type, BYTE* data, DWORD* size)>;

// Asks for the size, then for the data with a buffer of that size, and again with the larger size
// while the value grows in between. ERROR_SUCCESS or the status of the failing query.
LSTATUS readValueData(const ValueQuery& query, DWORD* type, std::vector<uint8_t>* data);

// A named value of a key (absent name: the default value); false when it cannot be read.
bool readValue(HKEY key, const std::optional<std::u16string>& name, ValueData* out);

// Every value of a key in enumeration order; values that vanish while they are read are left
// out. Empty when the key cannot be queried.
std::vector<ValueData> readAllValues(HKEY key);

}  // namespace quill::registry
