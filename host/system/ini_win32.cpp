// The Ini class: an INI file by its path, read and written through the system's private-profile
// functions. Reads grow their buffer until the whole text fits. Writes refuse text that would not
// read back as written (line breaks, zero units, "=" in key names), so a script cannot
// break the file's lines or add keys it did not name.
#include <memory>
#include <vector>

#include "builtins/builtins.h"
#include "host/system/file_tree_win32.h"
#include "host/system/registry_data.h"
#include "host/system/win32_text.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

// The most text one read returns (in UTF-16 units): far beyond any real INI file.
constexpr size_t kMaxReadUnits = size_t(16) << 20;

struct IniFile {
    std::u16string path;
};

// Relative paths are taken from the current folder; the system would otherwise look for a bare
// name in the Windows folder.
std::unique_ptr<IniFile> makeIni(bind::Path path) {
    std::optional<std::u16string> full = files::fullPath(path.wide);
    if (!full) return nullptr;
    auto ini = std::make_unique<IniFile>();
    ini->path = std::move(*full);
    return ini;
}

// Text the private-profile functions can take as one name or value.
bool readable(const ScriptValue& text) {
    return text.tag == kTagString && !win32::hasZero(stringView(text));
}
bool writable(const ScriptValue& text) {
    return readable(text) && stringView(text).find_first_of(u"\r\n") == std::u16string_view::npos;
}
bool writableKey(const ScriptValue& key) {
    return writable(key) && stringView(key).find(u'=') == std::u16string_view::npos;
}
std::u16string textOf(const ScriptValue& text) {
    return std::u16string(stringView(text));
}

// Runs a profile read with a growing buffer until the result fits: `slack` is how close to the
// buffer's end a result may come before it counts as cut off (1 for strings, 2 for lists).
template <typename Read>
std::u16string readGrowing(DWORD slack, Read&& read) {
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        DWORD n = read(buffer.data(), DWORD(buffer.size()));
        if (n + slack < buffer.size() || buffer.size() >= kMaxReadUnits) {
            return win32::fromWide(buffer.data(), std::min<size_t>(n, buffer.size()));
        }
        buffer.assign(buffer.size() * 2, 0);
    }
}

ScriptValue listValue(ScriptEngine* engine, const std::u16string& text) {
    std::vector<std::u16string_view> entries = registry::splitZeroList(text);
    ScriptValue array;
    newArray(engine, &array, entries.size());
    RootedValues keep(engine, &array, 1);
    for (size_t i = 0; i < entries.size(); ++i) {
        setElement(engine, array, newString(engine, entries[i]), i);
    }
    return array;
}

ScriptValue getInt(IniFile& ini, ScriptValue section, ScriptValue key) {
    if (!readable(section) || !readable(key)) return makeUndefined();
    UINT value = GetPrivateProfileIntW(win32::wide(textOf(section)), win32::wide(textOf(key)), 0,
                                       win32::wide(ini.path));
    return makeInteger(int64_t(uint32_t(value)));
}

ScriptValue getString(ScriptEngine* engine, IniFile& ini, ScriptValue section, ScriptValue key) {
    if (!readable(section) || !readable(key)) return makeUndefined();
    std::u16string s = textOf(section), k = textOf(key);
    std::u16string text = readGrowing(1, [&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileStringW(win32::wide(s), win32::wide(k), L"key not found", buffer,
                                        size, win32::wide(ini.path));
    });
    return newString(engine, text);
}

ScriptValue getSection(ScriptEngine* engine, IniFile& ini, ScriptValue section) {
    if (!readable(section)) return makeUndefined();
    std::u16string s = textOf(section);
    std::u16string text = readGrowing(2, [&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileSectionW(win32::wide(s), buffer, size, win32::wide(ini.path));
    });
    return listValue(engine, text);
}

ScriptValue getSectionNames(ScriptEngine* engine, IniFile& ini) {
    std::u16string text = readGrowing(2, [&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileSectionNamesW(buffer, size, win32::wide(ini.path));
    });
    return listValue(engine, text);
}

void writeString(IniFile& ini, ScriptValue section, ScriptValue key, ScriptValue value) {
    if (!writable(section) || !writableKey(key) || !writable(value)) return;
    WritePrivateProfileStringW(win32::wide(textOf(section)), win32::wide(textOf(key)),
                               win32::wide(textOf(value)), win32::wide(ini.path));
}

// The section's new lines, zero-separated with an empty entry at the end. Strings are the lines;
// other values have no line and empty strings would end the list early, so both are skipped. A
// line that would break into several refuses the whole call.
void writeSection(ScriptEngine* engine, IniFile& ini, ScriptValue section, ScriptValue lines) {
    if (!writable(section) || lines.tag != kTagArray) return;
    std::u16string block;
    bool refused = false;
    forEachElement(engine, lines.arr, [&](uint64_t, const ScriptValue& line) {
        if (line.tag != kTagString || line.str->length == 0) return;
        if (!writable(line)) refused = true;
        block += stringView(line);
        block += u'\0';
    });
    if (refused) return;
    block += u'\0';
    if (block.size() == 1) block += u'\0';
    WritePrivateProfileSectionW(win32::wide(textOf(section)), win32::wide(block),
                                win32::wide(ini.path));
}

void deleteKey(IniFile& ini, ScriptValue section, ScriptValue key) {
    if (!writable(section) || !writable(key)) return;
    WritePrivateProfileStringW(win32::wide(textOf(section)), win32::wide(textOf(key)), nullptr,
                               win32::wide(ini.path));
}

void deleteSection(IniFile& ini, bind::Args args) {
    if (args.size() != 1 || !writable(args[1])) return;
    WritePrivateProfileStringW(win32::wide(textOf(args[1])), nullptr, nullptr,
                               win32::wide(ini.path));
}

constexpr bind::Member kIniMembers[] = {
    bind::objectText("[object INI]"),
    bind::method<getInt>("getInt").doc(
        "section, key", "The key's value as an unsigned integer; 0 when missing or not a number."),
    bind::method<getString>("getString")
        .doc("section, key", "The key's value; \"key not found\" when it is missing."),
    bind::method<getSection>("getSection")
        .doc("section", "An array of the section's lines, each \"key=value\"."),
    bind::method<getSectionNames>("getSectionNames").doc("An array of the file's section names."),
    bind::method<writeString>("writeString")
        .doc("section, key, value", "Writes the key (creating the file and section as needed)."),
    bind::method<writeSection>("writeSection")
        .doc("section, lines", "Replaces the section with the array's \"key=value\" strings."),
    bind::method<deleteKey>("deleteKey").doc("section, key", "Removes the key."),
    bind::method<deleteSection>("deleteSection")
        .doc("section", "Removes the section and its keys."),
};

}  // namespace

void registerIni(ScriptEngine* engine) {
    bind::defineClass<IniFile>(
        engine, {.name = "Ini",
                 .id = ClassId::kIni,
                 .members = {kIniMembers},
                 .construct = bind::constructor<makeIni>,
                 .synopsis = "path",
                 .summary = "An INI file by path, read and written through the Windows profile "
                            "functions; null when path is not a string. Methods with missing or "
                            "non-string arguments do nothing."});
}

}  // namespace quill
