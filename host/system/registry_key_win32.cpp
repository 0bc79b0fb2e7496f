// The RegKey class: an open registry key, reached by paths that start with a root name (HKCU and
// the others) or lead below the key a method is called on. Failed registry calls leave the
// system's message in the engine's error buffer and give the member's failure result; no script
// error is raised.
#include <memory>
#include <optional>
#include <vector>

#include "builtins/builtins.h"
#include "host/system/registry_data.h"
#include "host/system/registry_read_win32.h"
#include "host/system/win32_text.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill {

using registry::ValueData;
using win32::noteSystemError;

namespace {

// Milliseconds between 1601-01-01 (the start of file times) and 1970-01-01.
constexpr int64_t kEpochOffsetMs = 11644473600000;

// In the order of registry::kRootNames.
const HKEY kRootKeys[registry::kRootCount] = {
    HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE, HKEY_USERS,
    HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};

// The access masks `create` chooses from by index.
constexpr REGSAM kCreateAccess[] = {
    KEY_ALL_ACCESS, KEY_CREATE_LINK, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS, KEY_EXECUTE,
    KEY_NOTIFY,     KEY_QUERY_VALUE, KEY_READ,           KEY_SET_VALUE,          KEY_WRITE};

struct RegKeyNative {
    HKEY key = nullptr;
    bool newCreated = false;
    explicit RegKeyNative(HKEY k, bool created = false) : key(k), newCreated(created) {}
    ~RegKeyNative() { RegCloseKey(key); }
    RegKeyNative(const RegKeyNative&) = delete;
    RegKeyNative& operator=(const RegKeyNative&) = delete;
};

// Where a path leads: a root key and the subkey below it, or a subkey of the key the method was
// called on. Only rooted paths work on the class value; text with zero units never works (the
// registry would stop at the zero and act on another key).
struct KeyPlace {
    HKEY base = nullptr;
    std::u16string subkey;
};
std::optional<KeyPlace> placeOf(const RegKeyNative* self, const ScriptValue& path) {
    if (path.tag != kTagString) return std::nullopt;
    std::u16string_view text = stringView(path);
    if (win32::hasZero(text)) return std::nullopt;
    registry::RegistryPath parsed = registry::parseRegistryPath(text);
    if (parsed.root >= 0) return KeyPlace{kRootKeys[parsed.root], std::u16string(parsed.subkey)};
    if (!self) return std::nullopt;
    return KeyPlace{self->key, std::u16string(text)};
}

// Integers only; anything else (or nothing) asks for all access.
REGSAM accessMask(const ScriptValue& access) {
    return access.tag == kTagInteger ? REGSAM(uint32_t(access.i)) : KEY_ALL_ACCESS;
}

ScriptValue keyValue(ScriptEngine* engine, HKEY key, bool created = false) {
    return bind::newInstance(engine, ClassId::kRegKey,
                             std::make_unique<RegKeyNative>(key, created));
}

HKEY openKey(ScriptEngine* engine, const KeyPlace& place, REGSAM access) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(place.base, win32::wide(place.subkey), 0, access, &key);
    if (status != ERROR_SUCCESS) {
        noteSystemError(engine, status);
        return nullptr;
    }
    return key;
}

// `new RegKey(path, access)` and `RegKey(path, access)`: rooted paths only.
std::unique_ptr<RegKeyNative> construct(ScriptEngine* engine, ScriptValue path,
                                        ScriptValue access) {
    std::optional<KeyPlace> place = placeOf(nullptr, path);
    if (!place) return nullptr;
    HKEY key = openKey(engine, *place, accessMask(access));
    return key ? std::make_unique<RegKeyNative>(key) : nullptr;
}

ScriptValue open(ScriptEngine* engine, RegKeyNative* self, ScriptValue path, ScriptValue access) {
    std::optional<KeyPlace> place = placeOf(self, path);
    if (!place) return makeNull();
    HKEY key = openKey(engine, *place, accessMask(access));
    return key ? keyValue(engine, key) : makeNull();
}

ScriptValue create(ScriptEngine* engine, RegKeyNative* self, ScriptValue path,
                   ScriptValue className, ScriptValue accessIndex) {
    std::optional<KeyPlace> place = placeOf(self, path);
    if (!place) return makeNull();
    std::u16string keyClass = u"REG_SZ";
    if (className.tag == kTagString) {
        if (win32::hasZero(stringView(className))) return makeNull();
        keyClass.assign(stringView(className));
    }
    REGSAM access = KEY_ALL_ACCESS;
    if (accessIndex.tag == kTagInteger && accessIndex.i >= 0 && accessIndex.i <= 9) {
        access = kCreateAccess[accessIndex.i];
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExW(place->base, win32::wide(place->subkey), 0,
                                     const_cast<wchar_t*>(win32::wide(keyClass)),
                                     REG_OPTION_NON_VOLATILE, access, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        noteSystemError(engine, status);
        return makeNull();
    }
    return keyValue(engine, key, disposition == REG_CREATED_NEW_KEY);
}

ScriptValue clone(ScriptEngine* engine, RegKeyNative& self) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(self.key, nullptr, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        noteSystemError(engine, status);
        return makeNull();
    }
    return keyValue(engine, key);
}

// A key is deleted by name: an empty name (the root or the key itself) deletes nothing.
bool deleteKey(ScriptEngine* engine, RegKeyNative* self, ScriptValue path) {
    std::optional<KeyPlace> place = placeOf(self, path);
    if (!place || place->subkey.empty()) return false;
    LSTATUS status = RegDeleteKeyW(place->base, win32::wide(place->subkey));
    if (status != ERROR_SUCCESS) noteSystemError(engine, status);
    return status == ERROR_SUCCESS;
}

bool deleteValue(ScriptEngine* engine, RegKeyNative& self, std::optional<std::u16string> name) {
    if (name && win32::hasZero(*name)) return false;
    LSTATUS status = RegDeleteValueW(self.key, name ? win32::wide(*name) : nullptr);
    if (status != ERROR_SUCCESS) noteSystemError(engine, status);
    return status == ERROR_SUCCESS;
}

ScriptValue subkeyNames(ScriptEngine* engine, RegKeyNative& self) {
    ScriptValue array;
    newArray(engine, &array, 0);
    DWORD count = 0, longest = 0;
    LSTATUS status = RegQueryInfoKeyW(self.key, nullptr, nullptr, nullptr, &count, &longest,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        noteSystemError(engine, status);
        return array;
    }
    RootedValues keep(engine, &array, 1);
    truncateArray(engine, array, count);
    // Key names are at most 255 units; a longer buffer covers keys added while we read.
    std::vector<wchar_t> name(std::max<size_t>(longest, 255) + 2);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = DWORD(name.size());
        if (RegEnumKeyExW(self.key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
            length = std::min<DWORD>(length, DWORD(name.size()));
            setElement(engine, array, newString(engine, win32::fromWide(name.data(), length)), i);
        }
    }
    return array;
}

ScriptValue valueObject(ScriptEngine* engine, ValueData data) {
    return bind::newInstance(engine, ClassId::kRegValue,
                             std::make_unique<ValueData>(std::move(data)));
}

ScriptValue values(ScriptEngine* engine, RegKeyNative& self) {
    std::vector<ValueData> all = registry::readAllValues(self.key);
    ScriptValue array;
    newArray(engine, &array, all.size());
    RootedValues keep(engine, &array, 1);
    for (size_t i = 0; i < all.size(); ++i) {
        setElement(engine, array, valueObject(engine, std::move(all[i])), i);
    }
    return array;
}

// Absent or undefined: the default value. Names that are not strings give null.
ScriptValue value(ScriptEngine* engine, RegKeyNative& self, ScriptValue name) {
    std::optional<std::u16string> wanted;
    if (name.tag == kTagString) {
        wanted.emplace(stringView(name));
    } else if (name.tag != kTagUndefined) {
        return makeNull();
    }
    ValueData data;
    if (!registry::readValue(self.key, wanted, &data)) return makeNull();
    return valueObject(engine, std::move(data));
}

bool write(ScriptEngine* engine, RegKeyNative& self,
           bind::Instance<ValueData, ClassId::kRegValue> value) {
    if (value->name && win32::hasZero(*value->name)) return false;
    std::vector<uint8_t> data = value->data;
    registry::terminateForWrite(value->type, &data);
    if (data.size() > registry::kMaxDataBytes) return false;
    LSTATUS status =
        RegSetValueExW(self.key, value->name ? win32::wide(*value->name) : nullptr, 0, value->type,
                       data.empty() ? nullptr : data.data(), DWORD(data.size()));
    if (status != ERROR_SUCCESS) noteSystemError(engine, status);
    return status == ERROR_SUCCESS;
}

std::u16string className(ScriptEngine* engine, RegKeyNative& self) {
    DWORD length = 0;
    LSTATUS status = RegQueryInfoKeyW(self.key, nullptr, &length, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        std::vector<wchar_t> text(size_t(length) + 1);
        length = DWORD(text.size());
        status = RegQueryInfoKeyW(self.key, text.data(), &length, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            return win32::fromWide(text.data(), std::min<size_t>(length, text.size()));
        }
    }
    noteSystemError(engine, status);
    return u"";
}

bool newCreated(RegKeyNative& self) {
    return self.newCreated;
}

// Milliseconds since 1970-01-01 UTC, like the dates of files.
int64_t lastWriteTime(ScriptEngine* engine, RegKeyNative& self) {
    FILETIME time;
    LSTATUS status = RegQueryInfoKeyW(self.key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, &time);
    if (status != ERROR_SUCCESS) {
        noteSystemError(engine, status);
        return 0;
    }
    int64_t units = int64_t(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    return units / 10000 - kEpochOffsetMs;
}

constexpr bind::Member kRegKeyMembers[] = {
    bind::method<open>("open", bind::Empty::kNull)
        .doc("path [, access]",
             "A new RegKey for the subkey path (or a rooted path on the class value); null when it "
             "cannot be opened."),
    bind::method<create>("create", bind::Empty::kNull)
        .doc("path [, class [, accessIndex]]",
             "Creates or opens the subkey path (or a rooted path on RegKey); a new RegKey whose "
             "newCreated tells which, or null."),
    bind::method<clone>("clone", bind::Empty::kNull)
        .doc("A new RegKey on the same key, opened again with all access; null on failure."),
    bind::method<deleteKey>("deleteKey", bind::Empty::kFalse)
        .doc("path",
             "Deletes the subkey path, which must have no subkeys (or a rooted path on RegKey); "
             "true when deleted."),
    bind::method<deleteValue>("deleteValue", bind::Empty::kFalse)
        .doc("name", "Deletes the named value; true when deleted."),
    bind::method<subkeyNames>("getSubkeyNames", bind::Empty::kEmptyArray)
        .doc("An array of the subkeys' names; empty when the key cannot be read."),
    bind::method<values>("getValues", bind::Empty::kEmptyArray)
        .doc("An array of RegValue objects, one per value of the key."),
    bind::method<value>("getValue", bind::Empty::kNull)
        .doc("[name]",
             "The named value (the default value without a name) as a RegValue; null when there is "
             "none."),
    bind::method<write>("write", bind::Empty::kFalse)
        .doc("regValue", "Writes the RegValue under its name, type and data; true when written."),
    bind::objectText("[object RegKey]"),
    bind::getter<className>("className").doc("The key's class string."),
    bind::getter<newCreated>("newCreated")
        .doc("True when create made the key, false when it existed."),
    bind::getter<lastWriteTime>("lastWriteTime")
        .doc("The key's last write time in milliseconds since 1970; 0 when unreadable."),
};

}  // namespace

void registerRegKey(ScriptEngine* engine) {
    bind::defineClass<RegKeyNative>(
        engine,
        {.name = "RegKey",
         .id = ClassId::kRegKey,
         .members = {kRegKeyMembers},
         .call = bind::constructorCall<construct>,
         .construct = bind::constructor<construct>,
         .synopsis = "path [, access]",
         .summary =
             "An open registry key. path starts with a root name, HKCR, HKCU, HKLM, HKU, HKPD, "
             "HKCC or HKDD, then \\ and a subkey (\"HKCU\\Software\\Me\"); access is a Windows "
             "access mask (default all access). Null when it cannot be opened. Other paths given "
             "to its methods are relative to the key unless they start with a root name."});
}

}  // namespace quill
