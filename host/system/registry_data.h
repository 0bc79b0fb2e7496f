// The in-memory registry value (`RegValue`) and the conversions between registry data bytes and
// script values, both ways; also the reading of registry paths and of zero-separated text lists.
// Nothing here calls the registry, so the conversions run and are tested on every target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/script_engine.h"

namespace quill::registry {

// Registry type numbers the conversions treat specially.
enum ValueType : uint32_t {
    kNone = 0,
    kString = 1,
    kExpandString = 2,
    kBinary = 3,
    kDword = 4,
    kDwordBigEndian = 5,
    kLink = 6,
    kMultiString = 7,
    kResourceList = 8,
    kQword = 11,
};

// Values larger than this are refused when read and when set: far beyond any real registry value,
// and small enough that a hostile size cannot exhaust memory.
constexpr size_t kMaxDataBytes = size_t(64) << 20;

// A value held in memory: text travels as UTF-16 (the registry's own form of text), so names and
// string data outside the ANSI code page survive.
struct ValueData {
    std::optional<std::u16string> name;  // absent: the key's default value
    uint32_t type = kString;
    std::vector<uint8_t> data;
};

// The script value of registry data (see the conversion table in registry_value_win32.cpp):
// binary kinds become StringStreams, text kinds strings, numbers integers; no data gives
// undefined.
ScriptValue dataToValue(ScriptEngine* engine, uint32_t type, const uint8_t* bytes, size_t size);

// The data bytes for an assigned script value; false (and `out` untouched) when the value is of a
// kind that leaves the data unchanged. `type` decides only the width of integers: 8 bytes for
// QWORD values, else 4.
bool valueToData(ScriptEngine* engine, const ScriptValue& value, uint32_t type,
                 std::vector<uint8_t>* out);

// Makes the data of text kinds end the way readers of the registry expect before it is written:
// one zero unit after a string, two after a string list.
void terminateForWrite(uint32_t type, std::vector<uint8_t>* data);

// The UTF-16 text of little-endian bytes (an odd last byte is dropped).
std::u16string unitsOf(const uint8_t* bytes, size_t size);

// Splits zero-separated text into its entries, up to the first empty entry (lists returned by the
// registry and the private-profile functions); a last entry without its zero counts too.
std::vector<std::u16string_view> splitZeroList(std::u16string_view text);

// A registry path: the root it names by its first component, and the subkey after it.
struct RegistryPath {
    int root = -1;  // index into kRootNames, or -1 when the path names no root
    std::u16string_view subkey;
};
// The short root names in the order of their keys (see registry_key_win32.cpp).
constexpr int kRootCount = 7;
extern const char* const kRootNames[kRootCount];
RegistryPath parseRegistryPath(std::u16string_view path);

}  // namespace quill::registry
