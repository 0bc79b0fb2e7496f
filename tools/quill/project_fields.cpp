// The table of settings fields and the names of their values.
#include "tools/quill/project_fields.h"

namespace quill::tool {
namespace {

using PS = project::ProjectSettings;

constexpr NamedValue kShapes[] = {
    {"rectangle", 0}, {"transparent", 1}, {"mask", 2}, {"transparent-exact", 3}};
constexpr NamedValue kFrame[] = {{"popup", 0x1},
                                 {"caption", 0x10},
                                 {"resizable", 0x100},
                                 {"tool-window", 0x1000},
                                 {"no-taskbar-button", 0x10000}};
constexpr NamedValue kButtons[] = {
    {"maximize", 0x1}, {"minimize", 0x10}, {"system-menu", 0x100}, {"help", 0x1000}};
constexpr NamedValue kScale[] = {
    {"show-all", 1}, {"no-border", 2}, {"exact-fit", 256}, {"no-scale", 16}};
constexpr NamedValue kWindowFlags[] = {{"autoplay", 0x1},
                                       {"application-icon", 0x2},
                                       {"minimized", 0x10},
                                       {"topmost", 0x100},
                                       {"tray-icon", 0x1000}};
constexpr NamedValue kSystemMenu[] = {
    {"config", 0x1}, {"player-menu", 0x10}, {"about", 0x100}, {"help", 0x1000}};
constexpr NamedValue kSize[] = {
    {"movie", 0}, {"full-screen", 1}, {"maximized", 2}, {"pixels", 3}, {"percent", 4}};
constexpr NamedValue kPosition[] = {{"top-left", 0},    {"top-center", 1},    {"top-right", 2},
                                    {"center-left", 3}, {"center", 4},        {"center-right", 5},
                                    {"bottom-left", 6}, {"bottom-center", 7}, {"bottom-right", 8},
                                    {"pixels", 9},      {"percent", 10}};
constexpr NamedValue kLeftButton[] = {{"normal", 0}, {"drag", 1}, {"ignore", 2}};
constexpr NamedValue kRightButton[] = {{"player-menu", 0}, {"projector-menu", 1}, {"ignore", 2}};
constexpr NamedValue kInput[] = {{"block-keys", 0x10}};
constexpr NamedValue kClose[] = {{"escape", 0x1}, {"hot-key", 0x10}};
constexpr NamedValue kSystem[] = {
    {"no-task-switch", 0x1}, {"hide-cursor", 0x10}, {"no-screen-saver", 0x100}};
constexpr NamedValue kModifiers[] = {{"shift", 1}, {"ctrl", 2}, {"alt", 4}};
constexpr NamedValue kMisc[] = {{"mute", 0x100}, {"help-file", 0x1000}};
constexpr NamedValue kAbout[] = {{"movie-picture", 0x10}, {"picture-file", 0x100}};

constexpr std::span<const NamedValue> kNone;

const SettingsField kFields[] = {
    {"product", "name", FieldKind::kText, &PS::productName, kNone, 0, false},
    {"product", "second_text", FieldKind::kText, &PS::secondText, kNone, 0, false},
    {"product", "company", FieldKind::kText, &PS::companyName, kNone, 0, false},
    {"product", "legal_notice", FieldKind::kText, &PS::legalNotice, kNone, 0, false},
    {"product", "fifth_text", FieldKind::kText, &PS::fifthText, kNone, 0, false},
    {"product", "sixth_text", FieldKind::kText, &PS::sixthText, kNone, 0, false},
    {"product", "version", FieldKind::kText, &PS::versionText, kNone, 0, false},

    {"window", "shape", FieldKind::kEnum, &PS::windowShape, kShapes, 0, false},
    {"window", "mask", FieldKind::kBuffer, &PS::maskName, kNone, 0, false},
    {"window", "frame", FieldKind::kFlags, &PS::frameStyle, kFrame, 0x100, false},
    {"window", "buttons", FieldKind::kFlags, &PS::frameButtons, kButtons, 0x111, false},
    {"window", "scale", FieldKind::kEnum, &PS::frameParam, kScale, 1, false},
    {"window", "title", FieldKind::kBuffer, &PS::windowTitle, kNone, 0, false},
    {"window", "flags", FieldKind::kFlags, &PS::windowFlags, kWindowFlags, 0x1, false},
    {"window", "system_menu", FieldKind::kFlags, &PS::systemMenuFlags, kSystemMenu, 0, false},

    {"placement", "size", FieldKind::kEnum, &PS::sizeMode, kSize, 0, false},
    {"placement", "width", FieldKind::kNumber, &PS::width, kNone, 0, false},
    {"placement", "height", FieldKind::kNumber, &PS::height, kNone, 0, false},
    {"placement", "position", FieldKind::kEnum, &PS::positionMode, kPosition, 4, false},
    {"placement", "x", FieldKind::kNumber, &PS::x, kNone, 0, false},
    {"placement", "y", FieldKind::kNumber, &PS::y, kNone, 0, false},
    {"placement", "keep_aspect", FieldKind::kBool, &PS::keepAspect, kNone, 0, false},

    {"input", "left_button", FieldKind::kEnum, &PS::interactionA, kLeftButton, 0, false},
    {"input", "right_button", FieldKind::kEnum, &PS::interactionB, kRightButton, 0, false},
    {"input", "flags", FieldKind::kFlags, &PS::inputFlags, kInput, 0, false},
    {"input", "close", FieldKind::kFlags, &PS::closeFlags, kClose, 0, false},
    {"input", "system", FieldKind::kFlags, &PS::taskbarFlag, kSystem, 0, false},
    {"input", "close_key", FieldKind::kNumber, &PS::closeKey, kNone, 0, false},
    {"input", "close_modifiers", FieldKind::kFlags, &PS::closeModifiers, kModifiers, 0, false},

    {"misc", "flags", FieldKind::kFlags, &PS::miscFlags, kMisc, 0, false},
    {"misc", "param", FieldKind::kColor, &PS::miscParam, kNone, 0, false},

    {"about", "publisher", FieldKind::kText, &PS::publisherName, kNone, 0, false},
    {"about", "web_address", FieldKind::kText, &PS::webAddress, kNone, 0, false},
    {"about", "link_text", FieldKind::kText, &PS::linkText, kNone, 0, false},
    {"about", "email", FieldKind::kText, &PS::emailAddress, kNone, 0, false},
    {"about", "color1", FieldKind::kColor, &PS::aboutColor1, kNone, 0, false},
    {"about", "color2", FieldKind::kColor, &PS::aboutColor2, kNone, 0, false},
    {"about", "flags", FieldKind::kFlags, &PS::aboutFlags, kAbout, 0, false},
    {"about", "value", FieldKind::kNumber, &PS::aboutValue, kNone, 0, false},
    {"about", "text", FieldKind::kBuffer, &PS::aboutText, kNone, 0, false},

    {"reserved", "text", FieldKind::kText, &PS::reservedText, kNone, 0, true},
    {"reserved", "trailer_value1", FieldKind::kNumber, &PS::trailerValue1, kNone, 0, true},
    {"reserved", "trailer_text1", FieldKind::kText, &PS::trailerText1, kNone, 0, true},
    {"reserved", "trailer_value2", FieldKind::kNumber, &PS::trailerValue2, kNone, 0, true},
    {"reserved", "trailer_value3", FieldKind::kNumber, &PS::trailerValue3, kNone, 0, true},
    {"reserved", "trailer_text2", FieldKind::kBuffer, &PS::trailerText2, kNone, 0, true},
    {"reserved", "trailer_short1", FieldKind::kNumber, &PS::trailerShort1, kNone, 0, true},
    {"reserved", "trailer_short2", FieldKind::kNumber, &PS::trailerShort2, kNone, 0, true},
};

using LF = project::LogFont;
const FontField kFontFields[] = {
    {"height", &LF::height},
    {"width", &LF::width},
    {"escapement", &LF::escapement},
    {"orientation", &LF::orientation},
    {"weight", &LF::weight},
    {"italic", &LF::italic},
    {"underline", &LF::underline},
    {"strike_out", &LF::strikeOut},
    {"charset", &LF::charSet},
    {"out_precision", &LF::outPrecision},
    {"clip_precision", &LF::clipPrecision},
    {"quality", &LF::quality},
    {"pitch_and_family", &LF::pitchAndFamily},
};

constexpr const char* kTopKeys[] = {"id",           "control",      "additional_files",
                                    "embed_movies", "random_start", "movies",
                                    "masks",        "scripts"};
constexpr const char* kMiscKeys[] = {"help_file"};
constexpr const char* kAboutKeys[] = {"picture", "bitmap", "font1", "font2"};
constexpr const char* kReservedKeys[] = {"block", "trailer_bytes", "id_tail"};
constexpr const char* kCompileKeys[] = {"settings", "debug"};
constexpr std::span<const char* const> kNoKeys;

const TableKeys kTables[] = {
    {"", kTopKeys},      {"compile", kCompileKeys}, {"product", kNoKeys},
    {"window", kNoKeys}, {"placement", kNoKeys},    {"input", kNoKeys},
    {"misc", kMiscKeys}, {"about", kAboutKeys},     {"reserved", kReservedKeys},
};

}  // namespace

std::span<const SettingsField> settingsFields() {
    return kFields;
}
std::span<const FontField> fontFields() {
    return kFontFields;
}
std::span<const TableKeys> projectTables() {
    return kTables;
}

std::string describeNames(std::span<const NamedValue> names, bool list) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += ", ";
        text += names[i].name;
    }
    return text + (list ? " (a list of them) or a number" : " or a number");
}

}  // namespace quill::tool
