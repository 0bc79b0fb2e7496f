// Writing a project file back (for `quill unpack`): every settings field under its name, the
// lists and files with paths relative to the project's folder. Reading the text again gives the
// same project.
#include <cstdio>

#include "projector/records/text_codec.h"
#include "tools/quill/project_fields.h"
#include "tools/quill/project_file.h"

namespace quill::tool {
namespace {

namespace fs = std::filesystem;

std::string tomlString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", byte);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string hexBytes(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return tomlString(out);
}

std::string namedValue(uint32_t value, std::span<const NamedValue> names, bool flags) {
    if (!flags) {
        for (const NamedValue& v : names) {
            if (v.value == value) return tomlString(v.name);
        }
        return std::to_string(value);
    }
    std::string list;
    uint32_t left = value;
    for (const NamedValue& v : names) {
        if ((value & v.value) == v.value && v.value != 0) {
            list += (list.empty() ? "" : ", ") + tomlString(v.name);
            left &= ~v.value;
        }
    }
    return left ? hex(value, 1) : "[" + list + "]";
}

class Writer {
  public:
    explicit Writer(const Project& project) : p_(project) {}

    std::string text();

  private:
    std::string path(const fs::path& file) const;
    std::string pathOfText(const std::string& utf8) const {
        return path(project::toFsPath(project::utf8Codec(), utf8));
    }
    void line(const std::string& key, const std::string& value) {
        out_ += key + " = " + value + "\n";
    }
    void settingsTable(const char* table);
    void font(const char* name, const project::LogFont& f);

    const Project& p_;
    std::string out_;
};

std::string Writer::path(const fs::path& file) const {
    fs::path relative = file.lexically_relative(p_.folder);
    bool inside = !relative.empty() && *relative.begin() != "..";
    std::string text = project::fromFsPath(project::utf8Codec(), inside ? relative : file);
#ifdef _WIN32
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
#endif
    return tomlString(text);
}

void Writer::settingsTable(const char* table) {
    const project::ProjectSettings& s = p_.settings;
    for (const SettingsField& field : settingsFields()) {
        if (std::string_view(field.table) != table) continue;
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(s.*member)>;
                if constexpr (std::is_same_v<T, project::HeapString>) {
                    if (s.*member) line(field.key, tomlString(*(s.*member)));
                } else if constexpr (std::is_same_v<T, std::string>) {
                    if (!field.reserved || !(s.*member).empty())
                        line(field.key, tomlString(s.*member));
                } else {
                    uint32_t value = s.*member;
                    if (field.reserved && value == field.defaultValue) return;
                    switch (field.kind) {
                        case FieldKind::kEnum:
                            line(field.key, namedValue(value, field.names, false));
                            break;
                        case FieldKind::kFlags:
                            line(field.key, namedValue(value, field.names, true));
                            break;
                        case FieldKind::kColor:
                            line(field.key, hex(value, 6));
                            break;
                        case FieldKind::kBool:
                            line(field.key,
                                 value <= 1 ? (value ? "true" : "false") : std::to_string(value));
                            break;
                        default:
                            line(field.key, std::to_string(value));
                            break;
                    }
                }
            },
            field.member);
    }
}

void Writer::font(const char* name, const project::LogFont& f) {
    if (f == project::LogFont{}) return;
    out_ += std::string("\n[about.") + name + "]\n";
    for (const FontField& field : fontFields()) {
        std::visit([&](auto member) { line(field.key, std::to_string(f.*member)); }, field.member);
    }
    line("face", tomlString(f.faceName));
}

std::string Writer::text() {
    const project::ProjectSettings& s = p_.settings;
    out_ = "# A Quill project: `quill pack` builds a projector from it.\n";
    line("id", tomlString(project::utf16ToUtf8(p_.id)));
    if (!p_.control.empty()) line("control", path(p_.control));
    if (!p_.additionalFiles.empty()) line("additional_files", path(p_.additionalFiles));
    line("embed_movies", p_.movies.listFlags & project::kListEmbedded ? "true" : "false");
    line("random_start", p_.movies.listFlags & project::kListRandomStart ? "true" : "false");
    bool embedded = (p_.movies.listFlags & project::kListEmbedded) != 0;
    out_ += "movies = [\n";
    for (const project::MovieEntry& entry : p_.movies.entries) {
        std::string file = embedded ? pathOfText(entry.path) : tomlString(entry.path);
        if (entry.kind == project::kMovieKind) {
            out_ += "    " + file + ",\n";
        } else if (entry.kind == project::kPluginKind) {
            out_ += "    { file = " + file + ", kind = \"plugin\" },\n";
        } else {
            out_ += "    { file = " + file + ", kind = " + std::to_string(entry.kind) + " },\n";
        }
    }
    out_ += "]\nmasks = [\n";
    for (const project::MaskSource& mask : p_.masks) {
        if (mask.path.empty()) {
            out_ += "    { name = " + tomlString(mask.name) + " },\n";
        } else {
            out_ += "    { name = " + tomlString(mask.name) + ", file = " + pathOfText(mask.path) +
                    " },\n";
        }
    }
    out_ += "]\nscripts = [\n";
    for (const ScriptSource& script : p_.scripts) {
        out_ +=
            "    { name = " + tomlString(script.name) + ", file = " + path(script.file) + " },\n";
    }
    out_ += "]\n";
    if (p_.compileSettings != 0x58200 || p_.debugInfo) {
        out_ += "\n[compile]\n";
        line("settings", hex(p_.compileSettings, 5));
        line("debug", p_.debugInfo ? "true" : "false");
    }
    for (const char* table : {"product", "window", "placement", "input", "misc", "about"}) {
        out_ += std::string("\n[") + table + "]\n";
        settingsTable(table);
        if (std::string_view(table) == "misc" && !s.helpFile.empty()) {
            line("help_file", pathOfText(s.helpFile));
        }
        if (std::string_view(table) == "about") {
            if (!s.aboutPicture.empty()) line("picture", pathOfText(s.aboutPicture));
            if (!p_.aboutBitmap.empty()) line("bitmap", path(p_.aboutBitmap));
        }
    }
    font("font1", s.aboutFont1);
    font("font2", s.aboutFont2);

    std::string reserved;
    std::swap(reserved, out_);
    settingsTable("reserved");
    if (!s.reservedBlock.empty())
        line("block", hexBytes(s.reservedBlock.data(), s.reservedBlock.size()));
    if (s.trailerBytes != decltype(s.trailerBytes){}) {
        line("trailer_bytes", hexBytes(s.trailerBytes.data(), s.trailerBytes.size()));
    }
    if (p_.idTail != decltype(p_.idTail){})
        line("id_tail", hexBytes(p_.idTail.data(), p_.idTail.size()));
    std::swap(reserved, out_);
    if (!reserved.empty())
        out_ +=
            "\n# Carried by the executable, not used by the projector.\n[reserved]\n" + reserved;
    return out_;
}

}  // namespace

std::string projectText(const Project& project) {
    return Writer(project).text();
}

}  // namespace quill::tool
