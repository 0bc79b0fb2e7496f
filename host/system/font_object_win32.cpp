// The FontObject host class: a font description (logical font, colour, size in points) that the
// font dialog reads and returns, and the list of installed font families.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_classes.h"
#include "host/system/desktop_support.h"

namespace quill {

namespace {

using desktop::fromWide;

// A face name holds at most 31 characters (the logical font's field with its terminator).
constexpr size_t kMaxFace = LF_FACESIZE - 1;

void copyFace(wchar_t (&face)[LF_FACESIZE], std::u16string_view text) {
    size_t length = std::min(text.size(), kMaxFace);
    std::fill(std::begin(face), std::end(face), L'\0');
    for (size_t i = 0; i < length; ++i) face[i] = static_cast<wchar_t>(text[i]);
}

std::u16string faceOf(const LOGFONTW& font) {
    return fromWide(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE));
}

std::u16string getName(FontRecord& f) {
    return faceOf(f.font);
}
void setName(FontRecord& f, bind::AsString name) {
    copyFace(f.font.lfFaceName, name.text);
}

int64_t getSize(FontRecord& f) {
    return f.size;
}
void setSize(FontRecord& f, int64_t size) {
    if (size >= INT32_MIN && size <= INT32_MAX) f.size = static_cast<int32_t>(size);
}

int64_t getColor(FontRecord& f) {
    return f.color;
}
void setColor(FontRecord& f, int64_t color) {
    f.color = static_cast<uint32_t>(color);
}

bool getBold(FontRecord& f) {
    return f.font.lfWeight == FW_BOLD;
}
void setBold(FontRecord& f, bool bold) {
    f.font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
}

bool getItalic(FontRecord& f) {
    return f.font.lfItalic != 0;
}
void setItalic(FontRecord& f, bool italic) {
    f.font.lfItalic = italic ? TRUE : FALSE;
}

bool getUnderline(FontRecord& f) {
    return f.font.lfUnderline != 0;
}
void setUnderline(FontRecord& f, bool underline) {
    f.font.lfUnderline = underline ? TRUE : FALSE;
}

// The families of the screen for a character set (default 1, every set) and face (optional),
// by their full names in the order the system gives them; null when none match.
ScriptValue getFonts(ScriptEngine* engine, std::optional<int64_t> charset,
                     std::optional<std::u16string> face) {
    int64_t set = charset.value_or(DEFAULT_CHARSET);
    if (set < 0 || set > 255) return makeNull();
    LOGFONTW wanted{};
    wanted.lfCharSet = static_cast<BYTE>(set);
    if (face) copyFace(wanted.lfFaceName, *face);
    std::vector<std::u16string> names;
    HDC screen = GetDC(nullptr);
    if (!screen) return makeNull();
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) -> int {
            const auto* full = reinterpret_cast<const ENUMLOGFONTEXW*>(font);
            reinterpret_cast<std::vector<std::u16string>*>(param)->push_back(
                fromWide(full->elfFullName, wcsnlen(full->elfFullName, LF_FULLFACESIZE)));
            return 1;
        },
        reinterpret_cast<LPARAM>(&names), 0);
    ReleaseDC(nullptr, screen);
    if (names.empty()) return makeNull();
    return desktop::newStringArray(engine, names);
}

std::unique_ptr<FontRecord> makeFontObject() {
    return std::make_unique<FontRecord>();
}

constexpr bind::Member kFontObjectMembers[] = {
    bind::property<getName, setName>("name").doc("The font's face name."),
    bind::property<getSize, setSize>("size").doc("The size in points (an integer)."),
    bind::property<getColor, setColor>("color").doc("The colour as 0xRRGGBB."),
    bind::property<getBold, setBold>("bold").doc("Whether the font is bold."),
    bind::property<getItalic, setItalic>("italic").doc("Whether the font is italic."),
    bind::property<getUnderline, setUnderline>("underline").doc("Whether the font is underlined."),
    bind::classMethod<getFonts>("getFonts", bind::Empty::kNull)
        .doc("[charset [, faceName]]",
             "An array of the full names of the installed fonts of the character set (default 1), "
             "optionally only those of one face name; null when none match (also "
             "FontObject.getFonts)."),
    bind::objectText("[object FontObject]"),
};

}  // namespace

ScriptValue newFontObject(ScriptEngine* engine, const FontRecord& record) {
    return bind::newInstance(engine, ClassId::kFontObject, std::make_unique<FontRecord>(record));
}

void registerFontObject(ScriptEngine* engine) {
    bind::defineClass<FontRecord>(engine,
                                  {.name = "FontObject",
                                   .id = ClassId::kFontObject,
                                   .members = {kFontObjectMembers},
                                   .call = bind::constructorCall<makeFontObject>,
                                   .construct = bind::constructor<makeFontObject>,
                                   .synopsis = "",
                                   .summary = "A font description (face, size, colour, style) for "
                                              "Dialogs.chooseFont and window text."});
}

}  // namespace quill
