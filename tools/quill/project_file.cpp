// Reading a project file: the TOML document is walked table by table; every key must be known,
// every value of the right type and range, every file present, every name usable.
#include "tools/quill/project_file.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "platform/toml.h"
#include "projector/records/movie_list.h"
#include "projector/records/safe_name.h"
#include "projector/records/text_codec.h"
#include "tools/quill/project_fields.h"

namespace quill::tool {
namespace {

namespace fs = std::filesystem;
using project::utf8Codec;

struct ProjectError {
    std::string text;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw ProjectError{where.empty() ? what : where + ": " + what};
}

std::string joinKey(const std::string& table, const std::string& key) {
    return table.empty() ? key : table + "." + key;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

std::string stemOf(const std::string& name) {
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string extensionOf(const std::string& name) {
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : upper(name.substr(dot));
}

bool readWholeFile(const fs::path& path, std::string* text) {
    std::FILE* file = project::openFsPath(path, "rb");
    if (!file) return false;
    char buffer[65536];
    size_t n;
    text->clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

std::vector<uint8_t> parseHex(const std::string& text, const std::string& where, size_t exactSize) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<uint8_t> bytes;
    if (text.size() % 2 != 0) fail(where, "expected hexadecimal digits in pairs");
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0) fail(where, "expected hexadecimal digits in pairs");
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    if (exactSize && bytes.size() != exactSize) {
        fail(where, "expected " + std::to_string(exactSize) + " bytes (" +
                        std::to_string(exactSize * 2) + " hexadecimal digits)");
    }
    return bytes;
}

class Loader {
  public:
    Loader(fs::path folder, Project* project) : folder_(std::move(folder)), p_(*project) {}

    void load(const toml::table& root, const std::string& stem);

  private:
    void checkKeys(const toml::table& table, const std::string& name);
    const toml::table* table(const toml::table& root, const char* name);

    std::string text(const toml::node& node, const std::string& where);
    uint64_t number(const toml::node& node, const std::string& where, uint64_t most);
    bool boolean(const toml::node& node, const std::string& where);
    uint32_t named(const toml::node& node, const std::string& where,
                   std::span<const NamedValue> names, bool flags, uint32_t most);
    fs::path file(const toml::node& node, const std::string& where, bool folder = false);

    void loadSettingsField(const toml::table& table, const SettingsField& field);
    void loadFont(const toml::node& node, const std::string& where, project::LogFont* font);
    void loadMovies(const toml::table& root);
    void loadMasks(const toml::table& root);
    void loadScripts(const toml::table& root);

    fs::path folder_;
    Project& p_;
};

void Loader::checkKeys(const toml::table& table, const std::string& name) {
    for (auto&& [key, value] : table) {
        std::string k(key.str());
        bool known = false;
        for (const SettingsField& field : settingsFields()) {
            known = known || (name == field.table && k == field.key);
        }
        for (const TableKeys& t : projectTables()) {
            if (name == t.table) {
                for (const char* extra : t.extraKeys) known = known || k == extra;
            }
            // Tables are keys of the top level.
            if (name.empty() && *t.table && k == t.table) {
                if (!value.is_table()) fail(k, "expected a table ([" + k + "])");
                known = true;
            }
        }
        if (!known) fail(joinKey(name, k), "unknown field");
    }
}

const toml::table* Loader::table(const toml::table& root, const char* name) {
    const toml::node* node = root.get(name);
    return node ? node->as_table() : nullptr;
}

std::string Loader::text(const toml::node& node, const std::string& where) {
    const auto* value = node.as_string();
    if (!value) fail(where, "expected a string");
    const std::string& s = value->get();
    if (s.find('\0') != std::string::npos) fail(where, "the text holds a NUL character");
    return s;
}

uint64_t Loader::number(const toml::node& node, const std::string& where, uint64_t most) {
    const auto* value = node.as_integer();
    if (!value) fail(where, "expected a number");
    int64_t n = value->get();
    if (n < 0 || uint64_t(n) > most) {
        fail(where, "the value " + std::to_string(n) + " is out of range (0 to " +
                        std::to_string(most) + ")");
    }
    return static_cast<uint64_t>(n);
}

bool Loader::boolean(const toml::node& node, const std::string& where) {
    const auto* value = node.as_boolean();
    if (!value) fail(where, "expected true or false");
    return value->get();
}

uint32_t Loader::named(const toml::node& node, const std::string& where,
                       std::span<const NamedValue> names, bool flags, uint32_t most) {
    if (node.is_integer()) return static_cast<uint32_t>(number(node, where, most));
    auto lookup = [&](const std::string& name) -> uint32_t {
        for (const NamedValue& v : names) {
            if (name == v.name) return v.value;
        }
        fail(where,
             "unknown value \"" + name + "\" (expected " + describeNames(names, flags) + ")");
    };
    if (!flags) {
        if (!node.is_string()) fail(where, "expected " + describeNames(names, false));
        return lookup(text(node, where));
    }
    const toml::array* list = node.as_array();
    if (!list) fail(where, "expected " + describeNames(names, true));
    uint32_t bits = 0;
    for (const toml::node& item : *list) bits |= lookup(text(item, where));
    return bits;
}

fs::path Loader::file(const toml::node& node, const std::string& where, bool folder) {
    std::string written = text(node, where);
    if (written.empty()) fail(where, "expected a file name");
    fs::path path = folder_ / project::toFsPath(utf8Codec(), written);
    std::error_code code;
    if (folder ? !fs::is_directory(path, code) : !fs::is_regular_file(path, code)) {
        fail(where, std::string(folder ? "folder" : "file") + " not found: " + written);
    }
    return path;
}

void Loader::loadSettingsField(const toml::table& table, const SettingsField& field) {
    std::string where = joinKey(field.table, field.key);
    const toml::node* node = table.get(field.key);
    project::ProjectSettings& s = p_.settings;
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(s.*member)>;
            if constexpr (std::is_same_v<T, project::HeapString>) {
                if (node) s.*member = text(*node, where);
            } else if constexpr (std::is_same_v<T, std::string>) {
                if (!node) return;
                std::string value = text(*node, where);
                if (project::utf8ToUtf16(value).size() > project::kBufferChars) {
                    fail(where,
                         "longer than " + std::to_string(project::kBufferChars) + " characters");
                }
                s.*member = value;
            } else {
                uint32_t most = std::is_same_v<T, uint16_t> ? 0xFFFF : 0xFFFFFFFF;
                uint32_t value = field.defaultValue;
                if (node) {
                    switch (field.kind) {
                        case FieldKind::kEnum:
                            value = named(*node, where, field.names, false, most);
                            break;
                        case FieldKind::kFlags:
                            value = named(*node, where, field.names, true, most);
                            break;
                        case FieldKind::kBool:
                            value = node->is_integer()
                                        ? static_cast<uint32_t>(number(*node, where, most))
                                        : boolean(*node, where);
                            break;
                        default:
                            value = static_cast<uint32_t>(number(*node, where, most));
                            break;
                    }
                }
                s.*member = static_cast<T>(value);
            }
        },
        field.member);
}

void Loader::loadFont(const toml::node& node, const std::string& where, project::LogFont* font) {
    const toml::table* t = node.as_table();
    if (!t) fail(where, "expected a table");
    for (auto&& [key, entry] : *t) {
        // A lambda cannot capture a structured binding in every compiler yet.
        const toml::node& value = entry;
        std::string k(key.str());
        std::string at = where + "." + k;
        if (k == "face") {
            std::string face = text(value, at);
            if (project::utf8ToUtf16(face).size() > project::kFaceNameChars) {
                fail(at, "a face name holds at most 31 characters");
            }
            font->faceName = face;
            continue;
        }
        const FontField* field = nullptr;
        for (const FontField& f : fontFields()) {
            if (k == f.key) field = &f;
        }
        if (!field) fail(at, "unknown field");
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(font->*member)>;
                if constexpr (std::is_same_v<T, int32_t>) {
                    const auto* v = value.as_integer();
                    if (!v) fail(at, "expected a number");
                    if (v->get() < INT32_MIN || v->get() > INT32_MAX) fail(at, "out of range");
                    font->*member = static_cast<int32_t>(v->get());
                } else {
                    font->*member = static_cast<uint8_t>(number(value, at, 255));
                }
            },
            field->member);
    }
}

void Loader::loadMovies(const toml::table& root) {
    bool embed = true, random = false;
    if (const toml::node* n = root.get("embed_movies")) embed = boolean(*n, "embed_movies");
    if (const toml::node* n = root.get("random_start")) random = boolean(*n, "random_start");
    p_.movies.listFlags =
        (random ? project::kListRandomStart : 0) | (embed ? project::kListEmbedded : 0);
    const toml::node* node = root.get("movies");
    if (!node) return;
    const toml::array* list = node->as_array();
    if (!list) fail("movies", "expected a list of movie files");
    std::vector<std::string> seen;
    for (size_t i = 0; i < list->size(); ++i) {
        std::string where = "movies[" + std::to_string(i + 1) + "]";
        const toml::node& item = *list->get(i);
        uint32_t kind = project::kMovieKind;
        const toml::node* fileNode = &item;
        if (const toml::table* t = item.as_table()) {
            for (auto&& [key, value] : *t) {
                if (key.str() != "file" && key.str() != "kind")
                    fail(where + "." + std::string(key.str()), "unknown field");
            }
            fileNode = t->get("file");
            if (!fileNode) fail(where, "the entry needs a file");
            if (const toml::node* k = t->get("kind")) {
                static constexpr NamedValue kKinds[] = {{"movie", project::kMovieKind},
                                                        {"plugin", project::kPluginKind}};
                kind = named(*k, where + ".kind", kKinds, false, 0xFFFFFFFF);
            }
        } else if (!item.is_string()) {
            fail(where, "expected a file name or a table { file = ..., kind = ... }");
        }
        std::string written = text(*fileNode, where);
        std::string name = project::fileNamePart(written);
        std::string reason = project::unsafeNameReason(project::utf8ToUtf16(name));
        if (!reason.empty()) fail(where, "the name \"" + name + "\" cannot be used: " + reason);
        std::string key = (kind == project::kPluginKind ? "plugin:" : "movie:") + upper(name);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
            fail(where, "a file named " + name + " is already in the list");
        }
        seen.push_back(key);
        std::string path = name;
        if (embed) path = project::fromFsPath(utf8Codec(), file(*fileNode, where));
        p_.movies.entries.push_back({kind, path});
    }
}

void Loader::loadMasks(const toml::table& root) {
    const toml::node* node = root.get("masks");
    if (!node) return;
    const toml::array* list = node->as_array();
    if (!list) fail("masks", "expected a list of mask files");
    std::vector<std::string> seen;
    for (size_t i = 0; i < list->size(); ++i) {
        std::string where = "masks[" + std::to_string(i + 1) + "]";
        const toml::node& item = *list->get(i);
        project::MaskSource mask;
        if (const toml::table* t = item.as_table()) {
            for (auto&& [key, value] : *t) {
                if (key.str() != "name" && key.str() != "file")
                    fail(where + "." + std::string(key.str()), "unknown field");
            }
            const toml::node* name = t->get("name");
            if (!name) fail(where, "the entry needs a name");
            mask.name = text(*name, where + ".name");
            if (const toml::node* f = t->get("file")) {
                mask.path = project::fromFsPath(utf8Codec(), file(*f, where + ".file"));
            }
        } else if (item.is_string()) {
            fs::path path = file(item, where);
            mask.path = project::fromFsPath(utf8Codec(), path);
            mask.name = stemOf(project::fileNamePart(text(item, where)));
        } else {
            fail(where, "expected a mask file or a table { name = ..., file = ... }");
        }
        std::string reason = project::unsafeNameReason(project::utf8ToUtf16(mask.name + ".msk"));
        if (!reason.empty())
            fail(where, "the mask name \"" + mask.name + "\" cannot be used: " + reason);
        if (std::find(seen.begin(), seen.end(), upper(mask.name)) != seen.end()) {
            fail(where, "a mask named " + mask.name + " is already in the list");
        }
        seen.push_back(upper(mask.name));
        p_.masks.push_back(mask);
    }
}

void Loader::loadScripts(const toml::table& root) {
    const toml::node* node = root.get("scripts");
    if (!node) return;
    const toml::array* list = node->as_array();
    if (!list) fail("scripts", "expected a list of script files");
    for (size_t i = 0; i < list->size(); ++i) {
        std::string where = "scripts[" + std::to_string(i + 1) + "]";
        const toml::node& item = *list->get(i);
        ScriptSource script;
        const toml::node* fileNode = &item;
        if (const toml::table* t = item.as_table()) {
            for (auto&& [key, value] : *t) {
                if (key.str() != "name" && key.str() != "file")
                    fail(where + "." + std::string(key.str()), "unknown field");
            }
            fileNode = t->get("file");
            if (!fileNode) fail(where, "the entry needs a file");
            if (const toml::node* name = t->get("name")) script.name = text(*name, where + ".name");
        } else if (!item.is_string()) {
            fail(where, "expected a script file or a table { name = ..., file = ... }");
        }
        std::string written = text(*fileNode, where);
        std::string fileName = project::fileNamePart(written);
        std::string extension = extensionOf(fileName);
        if (extension != ".QLS" && extension != ".QSC") {
            fail(where, "a script is a .qls source or a .qsc compiled module: " + written);
        }
        if (script.name.empty()) script.name = stemOf(fileName);
        bool usable = !script.name.empty() && script.name.size() <= 255;
        for (char c : script.name) {
            usable =
                usable && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' || c == '$');
        }
        if (!usable) {
            fail(where, "the script name \"" + script.name +
                            "\" may hold only letters, digits and _ - . $ (at most 255)");
        }
        for (size_t k = 0; k < p_.scripts.size(); ++k) {
            if (upper(p_.scripts[k].name) == upper(script.name)) {
                fail(where, "the script name " + script.name + " is already used by scripts[" +
                                std::to_string(k + 1) + "] (names are compared in any case)");
            }
        }
        script.file = file(*fileNode, where);
        p_.scripts.push_back(script);
    }
}

void Loader::load(const toml::table& root, const std::string& stem) {
    checkKeys(root, "");
    for (const TableKeys& t : projectTables()) {
        if (*t.table) {
            if (const toml::table* sub = table(root, t.table)) checkKeys(*sub, t.table);
        }
    }
    static const toml::table kEmpty;
    for (const SettingsField& field : settingsFields()) {
        const toml::table* t = table(root, field.table);
        loadSettingsField(t ? *t : kEmpty, field);
    }
    project::ProjectSettings& s = p_.settings;
    const toml::table* window = table(root, "window");
    if ((!window || !window->get("title")) && s.productName) s.windowTitle = *s.productName;
    if (project::utf8ToUtf16(s.windowTitle).size() > project::kBufferChars) {
        fail("window.title", "the product name is too long for the title; give a title");
    }

    p_.id = defaultProjectId(stem);
    if (const toml::node* n = root.get("id")) {
        std::string id = text(*n, "id");
        if (id.empty()) fail("id", "the identity must not be empty");
        p_.id = project::utf8ToUtf16(id);
        if (p_.id.size() > 255) fail("id", "longer than 255 characters");
    }
    if (const toml::node* n = root.get("control")) p_.control = file(*n, "control");
    if (const toml::node* n = root.get("additional_files")) {
        p_.additionalFiles = file(*n, "additional_files", true);
    }
    if (const toml::table* misc = table(root, "misc")) {
        if (const toml::node* n = misc->get("help_file")) {
            s.helpFile = project::fromFsPath(utf8Codec(), file(*n, "misc.help_file"));
            if (!misc->get("flags")) s.miscFlags |= 0x1000;
        }
    }
    if (const toml::table* about = table(root, "about")) {
        if (const toml::node* n = about->get("picture")) {
            s.aboutPicture = project::fromFsPath(utf8Codec(), file(*n, "about.picture"));
        }
        if (const toml::node* n = about->get("bitmap")) {
            p_.aboutBitmap = file(*n, "about.bitmap");
            std::string bytes;
            if (!readWholeFile(p_.aboutBitmap, &bytes) || bytes.size() < 54 || bytes[0] != 'B' ||
                bytes[1] != 'M' || bytes[28] != 24 || bytes[29] != 0) {
                fail("about.bitmap", "not a 24-bit Windows bitmap: " + text(*n, "about.bitmap"));
            }
        }
        if (const toml::node* n = about->get("font1")) loadFont(*n, "about.font1", &s.aboutFont1);
        if (const toml::node* n = about->get("font2")) loadFont(*n, "about.font2", &s.aboutFont2);
    }
    if (const toml::table* reserved = table(root, "reserved")) {
        if (const toml::node* n = reserved->get("block")) {
            s.reservedBlock = parseHex(text(*n, "reserved.block"), "reserved.block", 0);
        }
        if (const toml::node* n = reserved->get("trailer_bytes")) {
            auto bytes = parseHex(text(*n, "reserved.trailer_bytes"), "reserved.trailer_bytes", 16);
            std::copy(bytes.begin(), bytes.end(), s.trailerBytes.begin());
        }
        if (const toml::node* n = reserved->get("id_tail")) {
            auto bytes = parseHex(text(*n, "reserved.id_tail"), "reserved.id_tail", 32);
            std::copy(bytes.begin(), bytes.end(), p_.idTail.begin());
        }
    }
    if (const toml::table* compile = table(root, "compile")) {
        if (const toml::node* n = compile->get("settings")) {
            p_.compileSettings = static_cast<uint32_t>(number(*n, "compile.settings", 0xFFFFFFFF));
        }
        if (const toml::node* n = compile->get("debug"))
            p_.debugInfo = boolean(*n, "compile.debug");
    }
    loadMovies(root);
    loadMasks(root);
    loadScripts(root);
}

}  // namespace

std::u16string defaultProjectId(const std::string& stem) {
    return project::utf8ToUtf16("Quill Projects/" + (stem.empty() ? std::string("project") : stem));
}

bool loadProject(const fs::path& file, const std::string& shownName, Project* project,
                 std::string* error) {
    *project = Project{};
    std::string document;
    if (!readWholeFile(file, &document)) {
        *error = shownName + ": cannot read the project file";
        return false;
    }
    project->folder = file.parent_path();
    std::string stem = project::fromFsPath(utf8Codec(), file.stem());
    try {
        toml::table root = toml::parse(document, shownName);
        Loader(project->folder, project).load(root, stem);
    } catch (const toml::parse_error& failure) {
        *error = shownName + ":" + std::to_string(failure.source().begin.line) + ":" +
                 std::to_string(failure.source().begin.column) + ": " +
                 std::string(failure.description());
        return false;
    } catch (const ProjectError& failure) {
        *error = shownName + ": " + failure.text;
        return false;
    }
    return true;
}

}  // namespace quill::tool
