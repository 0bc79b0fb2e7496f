// `quill unpack`: reads a projector's resources with the same readers the projector uses,
// extracts what it carries into a folder and writes a project file that packs it again.
#include <cstdio>
#include <system_error>

#include "projector/records/additional_files.h"
#include "projector/records/packed_resource.h"
#include "projector/records/pe_resources.h"
#include "projector/records/project_settings.h"
#include "projector/records/safe_name.h"
#include "tools/quill/pack_command.h"
#include "tools/quill/project_file.h"

namespace quill::tool {
namespace {

namespace fs = std::filesystem;
using project::utf8Codec;

std::string shown(const fs::path& path) {
    return project::fromFsPath(utf8Codec(), path);
}

std::string sizeText(uint64_t bytes) {
    return std::to_string(bytes) + " bytes";
}

bool writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::error_code code;
    fs::create_directories(path.parent_path(), code);
    std::FILE* file = project::openFsPath(path, "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

class Unpacker {
  public:
    Unpacker(const UnpackRequest& request, std::string* listing, std::vector<std::string>* problems)
        : request_(request), listing_(*listing), problems_(*problems) {}

    bool run(std::string* error);

  private:
    void problem(const std::string& where, const std::string& what) {
        problems_.push_back(request_.executableShown + ": " + where + ": " + what);
    }
    void list(const std::string& line) { listing_ += line + "\n"; }
    // A PLEXOR resource unpacked; false (reported) when missing or bad.
    bool unpacked(const char16_t* name, const char* label, std::vector<uint8_t>* data);
    project::ExtractTarget target(const std::string& where);
    // A settings file field: the bare name of a file carried with no bytes becomes an empty
    // file, so that packing the folder again finds it.
    void settleFile(std::string* path);

    void readIdentity();
    void readSettings();
    void readMovies();
    void readMasks();
    void readCarriedFile(const char16_t* name, const char* label, const char* fileName,
                         fs::path* out);
    void readScripts();
    void readAdditionalFiles();

    const UnpackRequest& request_;
    std::string& listing_;
    std::vector<std::string>& problems_;
    project::FileSource* source_ = nullptr;
    std::vector<project::ResourceEntry> entries_;
    Project project_;
};

project::ExtractTarget Unpacker::target(const std::string& where) {
    project::ExtractTarget t;
    t.workFolder = project::fromFsPath(utf8Codec(), request_.folder) + project::kPathSeparator;
    t.codec = &utf8Codec();
    t.report = [this, where](const std::string& text) { problem(where, text); };
    t.listEveryKind = true;
    return t;
}

bool Unpacker::unpacked(const char16_t* name, const char* label, std::vector<uint8_t>* data) {
    const project::ResourceEntry* entry = project::findResource(entries_, u"PLEXOR", name);
    std::string where = project::utf16ToUtf8(name);
    if (!entry) {
        list(where + "  (" + label + ": none)");
        return false;
    }
    std::vector<uint8_t> raw;
    if (!project::loadResourceData(*source_, *entry, &raw)) {
        problem(where, "cannot read the resource");
        return false;
    }
    return project::UnpackContainer(raw.data(), raw.size(), data,
                                    [&](const std::string& text) { problem(where, text); });
}

void Unpacker::readIdentity() {
    const project::ResourceEntry* entry = project::findResource(entries_, u"PLEXOR", u"ID");
    std::vector<uint8_t> raw;
    project_.id = defaultProjectId(shown(request_.executable.stem()));
    if (!entry || !project::loadResourceData(*source_, *entry, &raw)) {
        problem("ID", "missing (a projector will not start without it)");
        return;
    }
    std::u16string text;
    size_t i = 0;
    for (; i + 1 < raw.size(); i += 2) {
        char16_t c = static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
        if (c == 0) break;
        text += c;
    }
    if (raw.size() < 33)
        problem("ID", "shorter than 33 bytes (a projector will not start with it)");
    if (!text.empty()) project_.id = text;
    for (size_t k = 0; k < 32 && i + 2 + k < raw.size(); ++k) project_.idTail[k] = raw[i + 2 + k];
    list("ID  " + project::utf16ToUtf8(text));
}

void Unpacker::settleFile(std::string* path) {
    // An extracted file's path names its folder; a bare name is a file carried without bytes.
    if (path->empty() || project::fileNamePart(*path) != *path) return;
    std::u16string name = project::utf8ToUtf16(*path);
    if (!project::unsafeNameReason(name).empty()) {
        path->clear();
        return;
    }
    fs::path file = request_.folder / project::toFsPath(utf8Codec(), *path);
    std::error_code code;
    if (!fs::exists(file, code) && !writeBytes(file, {}))
        problem("ST", "cannot write " + shown(file));
    *path = project::fromFsPath(utf8Codec(), file);
}

void Unpacker::readSettings() {
    std::vector<uint8_t> data;
    if (!unpacked(u"ST", "settings", &data)) return;
    project::MemoryStream stream(data);
    if (!project::ReadProjectSettings(&project_.settings, stream, target("ST"))) {
        problem("ST", "the settings record ends early; the fields after it keep their defaults");
    }
    settleFile(&project_.settings.helpFile);
    settleFile(&project_.settings.aboutPicture);
    list("ST  settings, " + sizeText(data.size()));
    const project::ResourceEntry* stamp = project::findResource(entries_, u"PLEXOR", u"CS");
    if (!stamp) problem("CS", "missing");
}

void Unpacker::readMovies() {
    std::vector<uint8_t> data;
    project_.movies.listFlags = project::kListEmbedded;
    if (!unpacked(u"ML", "movie list", &data)) return;
    project::MemoryStream stream(data);
    project::parseMovieList(stream, target("ML"), &project_.movies);
    bool embedded = project_.movies.listFlags & project::kListEmbedded;
    list("ML  " + std::to_string(project_.movies.entries.size()) + " entries" +
         (embedded ? "" : " (files not carried)"));
    for (const project::MovieEntry& entry : project_.movies.entries) {
        list("      " + std::string(entry.kind == project::kPluginKind ? "plug-in " : "movie   ") +
             (embedded ? shown(project::toFsPath(utf8Codec(), entry.path)
                                   .lexically_relative(request_.folder))
                       : entry.path));
    }
}

void Unpacker::readMasks() {
    std::vector<uint8_t> data;
    if (!unpacked(u"RG", "mask list", &data)) return;
    project::MemoryStream stream(data);
    project::MaskList masks;
    project::parseMaskList(stream, target("RG"), &masks);
    list("RG  " + std::to_string(masks.names.size()) + " masks");
    for (const std::string& name : masks.names) {
        fs::path file = request_.folder / project::toFsPath(utf8Codec(), name + ".msk");
        std::error_code code;
        bool carried = fs::is_regular_file(file, code);
        project_.masks.push_back({name, carried ? project::fromFsPath(utf8Codec(), file) : ""});
        list("      " + name + (carried ? "" : " (no region)"));
    }
}

void Unpacker::readCarriedFile(const char16_t* name, const char* label, const char* fileName,
                               fs::path* out) {
    std::vector<uint8_t> data;
    if (!unpacked(name, label, &data)) return;
    fs::path file = request_.folder / fileName;
    if (!writeBytes(file, data)) {
        problem(project::utf16ToUtf8(name), "cannot write " + shown(file));
        return;
    }
    *out = file;
    list(project::utf16ToUtf8(name) + "  " + label + ", " + sizeText(data.size()) + " -> " +
         fileName);
}

void Unpacker::readScripts() {
    for (const project::ResourceEntry& entry : entries_) {
        if (!entry.type.matches(u"QUILL")) continue;
        std::string name = entry.name.named ? project::utf16ToUtf8(entry.name.name)
                                            : "#" + std::to_string(entry.name.id);
        std::string where = "QUILL " + name;
        std::string reason = project::unsafeNameReason(project::utf8ToUtf16(name + ".qsc"));
        if (!entry.name.named || !reason.empty()) {
            problem(where,
                    "the name cannot be a file name" + (reason.empty() ? "" : ": " + reason));
            continue;
        }
        std::vector<uint8_t> raw, module;
        if (!project::loadResourceData(*source_, entry, &raw)) {
            problem(where, "cannot read the resource");
            continue;
        }
        if (!project::UnpackContainer(raw.data(), raw.size(), &module,
                                      [&](const std::string& text) { problem(where, text); })) {
            continue;
        }
        fs::path file = request_.folder / "scripts" / project::toFsPath(utf8Codec(), name + ".qsc");
        if (!writeBytes(file, module)) {
            problem(where, "cannot write " + shown(file));
            continue;
        }
        project_.scripts.push_back({name, file});
        list("QUILL  " + name + ", " + sizeText(module.size()) + " -> scripts/" + name + ".qsc");
    }
    for (const project::ResourceEntry& entry : entries_) {
        if (entry.type.matches(u"SUPPORT")) {
            list("SUPPORT  " + project::utf16ToUtf8(entry.name.name) +
                 " (a system library: not extracted)");
        }
    }
}

void Unpacker::readAdditionalFiles() {
    project::AdditionalBlock block;
    std::string error;
    project::BlockState state = project::readAdditionalBlock(*source_, &block, &error);
    if (state == project::BlockState::kAbsent) return;
    if (state == project::BlockState::kInvalid) {
        problem("additional files", error);
        return;
    }
    fs::path root = request_.folder / "extra";
    std::error_code code;
    fs::create_directories(root, code);
    size_t files = 0;
    for (const project::AdditionalEntry& entry : block.entries) {
        if (!project::extractAdditionalEntry(*source_, entry, root, &error)) {
            problem("additional files", error);
            continue;
        }
        files += entry.kind == project::kAdditionalFile;
    }
    project_.additionalFiles = root;
    list("additional files: " + std::to_string(files) + " files -> extra/");
}

bool Unpacker::run(std::string* error) {
    std::error_code code;
    if (fs::exists(request_.folder, code) && !fs::is_empty(request_.folder, code)) {
        *error = shown(request_.folder) + ": the folder is not empty";
        return false;
    }
    std::FILE* file = project::openFsPath(request_.executable, "rb");
    if (!file) {
        *error = request_.executableShown + ": cannot open the file";
        return false;
    }
    project::FileSource source(file);
    source_ = &source;
    project::PeImage image;
    std::string problemText;
    if (!project::parsePeImage(source, &image, &problemText) ||
        !project::readResourceTable(source, image, &entries_, &problemText)) {
        std::fclose(file);
        *error = request_.executableShown + ": " + problemText;
        return false;
    }
    fs::create_directories(request_.folder, code);
    if (code) {
        std::fclose(file);
        *error = shown(request_.folder) + ": cannot create the folder";
        return false;
    }
    project_.folder = request_.folder;
    readIdentity();
    readSettings();
    readMovies();
    readMasks();
    readCarriedFile(u"FP", "control", "flash.ocx", &project_.control);
    readCarriedFile(u"BK", "about bitmap", "about.bmp", &project_.aboutBitmap);
    readScripts();
    readAdditionalFiles();
    std::fclose(file);

    fs::path projectFile = request_.folder / request_.executable.stem().concat(".toml");
    if (fs::exists(projectFile, code)) {
        *error = shown(projectFile) + ": a carried file has the project file's name";
        return false;
    }
    std::string text = projectText(project_);
    if (!writeBytes(projectFile, std::vector<uint8_t>(text.begin(), text.end()))) {
        *error = shown(projectFile) + ": cannot write the project file";
        return false;
    }
    list("project file: " + shown(projectFile));
    return true;
}

int unpackUsage(const char* problem) {
    if (problem) std::fprintf(stderr, "quill: %s\n", problem);
    std::fputs("usage: quill unpack APP.exe [-o FOLDER]\n", stderr);
    return 2;
}

}  // namespace

bool unpackProjector(const UnpackRequest& request, std::string* listing,
                     std::vector<std::string>* problems, std::string* error) {
    return Unpacker(request, listing, problems).run(error);
}

int unpackMain(int argc, char** argv) {
    UnpackRequest request;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o") {
            if (i + 1 >= argc) return unpackUsage("an option needs a value");
            request.folder = fs::path(argv[++i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return unpackUsage("unknown option");
        } else if (request.executableShown.empty()) {
            request.executableShown = a;
            request.executable = fs::path(a);
        } else {
            return unpackUsage("too many arguments");
        }
    }
    if (request.executableShown.empty()) return unpackUsage("missing executable");
    if (request.folder.empty())
        request.folder = request.executable.parent_path() / request.executable.stem();
    std::string listing, error;
    std::vector<std::string> problems;
    bool ok = unpackProjector(request, &listing, &problems, &error);
    std::fputs(listing.c_str(), stdout);
    std::fflush(stdout);
    for (const std::string& problem : problems)
        std::fprintf(stderr, "quill: %s\n", problem.c_str());
    if (!ok) std::fprintf(stderr, "quill: %s\n", error.c_str());
    return ok && problems.empty() ? 0 : 1;
}

}  // namespace quill::tool
