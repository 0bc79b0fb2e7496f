// The settings fields of the project file: for each, its table, key, kind, the record field it
// fills, the names of its values and its default. Reading and writing project files share
// this table so that they cannot drift apart.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "projector/records/project_settings.h"

namespace quill::tool {

struct NamedValue {
    const char* name;
    uint32_t value;
};

enum class FieldKind {
    kText,    // a heap string: absent unless given
    kBuffer,  // a fixed buffer of 259 characters
    kNumber,  // an unsigned number of the field's width
    kColor,   // a number, written in hexadecimal
    kEnum,    // one of the names, or a number
    kFlags,   // a list of names (bits), or a number
    kBool,    // true or false, or a number
};

using SettingsMember =
    std::variant<project::HeapString project::ProjectSettings::*,
                 std::string project::ProjectSettings::*, uint32_t project::ProjectSettings::*,
                 uint16_t project::ProjectSettings::*>;

struct SettingsField {
    const char* table;
    const char* key;
    FieldKind kind;
    SettingsMember member;
    std::span<const NamedValue> names;
    uint32_t defaultValue;
    // Carried, not used: written back only when it differs from the default.
    bool reserved;
};

std::span<const SettingsField> settingsFields();

// The font tables about.font1 and about.font2.
struct FontField {
    const char* key;
    std::variant<int32_t project::LogFont::*, uint8_t project::LogFont::*> member;
};
std::span<const FontField> fontFields();

// The tables of the project file and the keys each accepts (the settings fields above plus
// the special ones); the empty table name is the top level.
struct TableKeys {
    const char* table;
    std::span<const char* const> extraKeys;
};
std::span<const TableKeys> projectTables();

// "rectangle, transparent or a number" for messages.
std::string describeNames(std::span<const NamedValue> names, bool list);

}  // namespace quill::tool
