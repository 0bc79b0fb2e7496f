// The RegValue class: a named, typed registry value held in memory, written with RegKey.write
// and made by RegKey.getValue and getValues. Its `data` converts by the value's type:
//
//   read: no data -> undefined; 0 none, 3 binary, 6 link -> a StringStream of the bytes;
//         1 string, 2 expandable string (not expanded), 8 resource list -> the text up to its
//         first zero; 4 dword -> unsigned 32-bit integer; 5 -> signed 32-bit integer in the
//         machine's order; 7 multi-string -> array of strings up to the first empty one
//         (undefined when none); 11 qword -> 64-bit integer; others -> undefined.
//   write: integer -> 4 bytes (8 for a qword value); number -> the 8-byte double; string ->
//          UTF-16 without a terminating zero; array -> integers 4 bytes, numbers 8, strings
//          UTF-16 each with a zero after it, other elements skipped; StringStream -> its bytes;
//          anything else leaves the data as it was.
#include <memory>

#include "builtins/builtins.h"
#include "host/system/registry_data.h"
#include "host/system/win32_text.h"
#include "runtime/class_binding.h"

namespace quill {

using registry::ValueData;

namespace {

std::unique_ptr<ValueData> makeValue() {
    return std::make_unique<ValueData>();
}

std::optional<std::u16string> name(ValueData& value) {
    return value.name;
}
// Names with zero units could not reach the registry as they are.
void setName(ValueData& value, std::u16string name) {
    if (!win32::hasZero(name)) value.name = std::move(name);
}

int64_t type(ValueData& value) {
    return value.type;
}
void setType(ValueData& value, int64_t type) {
    if (type >= 0 && type <= int64_t(UINT32_MAX)) value.type = uint32_t(type);
}

ScriptValue data(ScriptEngine* engine, ValueData& value) {
    return registry::dataToValue(engine, value.type, value.data.data(), value.data.size());
}
void setData(ScriptEngine* engine, ValueData& value, ScriptValue assigned) {
    registry::valueToData(engine, assigned, value.type, &value.data);
}

constexpr bind::Member kRegValueMembers[] = {
    bind::objectText("[object RegValue]"),
    bind::property<name, setName>("name").doc(
        "The value's name (undefined when unset); only strings can be assigned."),
    bind::property<type, setType>("type").doc(
        "The registry type: 1 string, 2 expandable string, 3 binary, 4 dword, 7 multi-string...; "
        "only integers can be assigned."),
    bind::property<data, setData>("data").doc(
        "The data by type: a string, an integer (4, 5) or an array of strings (7). Assigning "
        "stores an integer as 4 bytes, a number as 8, a string as ANSI bytes, an array item by "
        "item; type is not changed."),
};

}  // namespace

void registerRegValue(ScriptEngine* engine) {
    bind::defineClass<ValueData>(
        engine, {.name = "RegValue",
                 .id = ClassId::kRegValue,
                 .members = {kRegValueMembers},
                 .construct = bind::constructor<makeValue>,
                 .synopsis = "",
                 .summary = "A registry value in memory: name, type and data; read one with "
                            "RegKey.getValue, store one with RegKey.write."});
}

}  // namespace quill
