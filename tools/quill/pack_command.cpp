// `quill pack`: reads the project, builds the resources (settings and their stamp, identity,
// movie and mask lists, control, about bitmap, compiled scripts), puts them into a copy of the
// stub and appends the additional files.
#include "tools/quill/pack_command.h"

#include <cstdio>
#include <system_error>

#include "compiler/compile_driver.h"
#include "projector/records/additional_files.h"
#include "projector/records/packed_resource.h"
#include "projector/records/pe_writer.h"
#include "projector/records/settings_stamp.h"
#include "runtime/module.h"
#include "runtime/script_engine.h"
#include "tools/quill/project_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quill::tool {
namespace {

namespace fs = std::filesystem;
using project::ChunkedBytes;
using project::ResourceEntry;
using project::ResourceId;

bool readFile(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::FILE* file = project::openFsPath(path, "rb");
    if (!file) return false;
    bytes->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

std::string shown(const fs::path& path) {
    return project::fromFsPath(project::utf8Codec(), path);
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (size_t i = 0; (i = text.find("\r\n", i)) != std::string::npos;) text.replace(i, 2, "; ");
    return text;
}

// A whole file through a container writer, in pieces.
ChunkedBytes packFile(const fs::path& path) {
    std::FILE* file = project::openFsPath(path, "rb");
    if (!file) throw project::TextError("cannot read " + shown(path));
    project::ContainerWriter writer;
    uint8_t buffer[65536];
    size_t n;
    bool ok = true;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) ok = writer.write(buffer, n);
    ok = ok && !std::ferror(file);
    std::fclose(file);
    if (!ok)
        throw project::TextError("cannot read " + shown(path) + " (or it is larger than 4 GB)");
    return writer.finish();
}

std::u16string upperName(const std::string& name) {
    std::u16string out;
    for (char c : name) out += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return out;
}

ChunkedBytes compileScript(const Project& project, const ScriptSource& script,
                           const std::string& where) {
    std::vector<uint8_t> module;
    std::string extension = script.file.extension().string();
    bool compiled = extension.size() == 4 && (extension[1] | 0x20) == 'q' &&
                    (extension[2] | 0x20) == 's' && (extension[3] | 0x20) == 'c';
    if (compiled) {
        if (!readFile(script.file, &module))
            throw project::TextError(where + ": cannot read the module");
        ModuleRecord* record = readModule(module.data(), module.size());
        if (!record) throw project::TextError(where + ": not a compiled Quill module");
        freeModule(record);
    } else {
        std::vector<uint8_t> source;
        if (!readFile(script.file, &source))
            throw project::TextError(where + ": cannot read the script");
        EngineConfig config;
        ScriptEngine* engine = createEngine(config);
        if (!engine) throw project::TextError("cannot create the script engine");
        uint32_t options = compileOptionsFromSettings(project.compileSettings, false);
        bool ok;
        if (project.debugInfo) {
            // With debug information the module names its source file.
            ok = compileFile(engine, script.file.string().c_str(), options | kCompileDebugInfo,
                             &module);
        } else {
            ok = compileText(
                engine,
                std::string_view(reinterpret_cast<const char*>(source.data()), source.size()),
                options, &module);
        }
        std::string messages = engine->messageBuffer;
        destroyEngine(engine);
        if (!ok) throw project::TextError(where + ": " + trimmed(messages));
    }
    return ChunkedBytes(project::packContainer(module));
}

ResourceEntry resource(const char16_t* type, std::u16string name, ChunkedBytes data) {
    ResourceEntry entry;
    entry.type = ResourceId::ofName(type);
    entry.name = ResourceId::ofName(name);
    entry.data = std::move(data);
    return entry;
}

std::vector<ResourceEntry> buildResources(const Project& project, PackSummary* summary) {
    const project::TextCodec& codec = project::utf8Codec();
    std::vector<ResourceEntry> resources;

    project::MemoryStream settings;
    if (!project::WriteProjectSettings(project.settings, settings, codec)) {
        throw project::TextError("cannot write the settings");
    }
    std::vector<uint8_t> record = settings.takeBytes();
    project::SettingsStamp stamp = project::settingsStamp(record.data(), record.size());
    resources.push_back(resource(u"PLEXOR", u"ST", ChunkedBytes(project::packContainer(record))));
    resources.push_back(resource(u"PLEXOR", u"CS", ChunkedBytes({stamp.begin(), stamp.end()})));

    std::vector<uint8_t> id;
    for (char16_t c : project.id) {
        id.push_back(static_cast<uint8_t>(c));
        id.push_back(static_cast<uint8_t>(c >> 8));
    }
    id.insert(id.end(), {0, 0});
    id.insert(id.end(), project.idTail.begin(), project.idTail.end());
    resources.push_back(resource(u"PLEXOR", u"ID", ChunkedBytes(id)));

    project::ContainerWriter movies;
    if (!project::writeMovieList(project.movies, movies, codec)) {
        throw project::TextError("movies: a file is too large (the list holds at most 4 GB)");
    }
    resources.push_back(resource(u"PLEXOR", u"ML", movies.finish()));

    project::ContainerWriter masks;
    if (!project::writeMaskList(project.masks, masks, codec)) {
        throw project::TextError("masks: a file is too large");
    }
    resources.push_back(resource(u"PLEXOR", u"RG", masks.finish()));

    if (!project.control.empty())
        resources.push_back(resource(u"PLEXOR", u"FP", packFile(project.control)));
    if (!project.aboutBitmap.empty()) {
        resources.push_back(resource(u"PLEXOR", u"BK", packFile(project.aboutBitmap)));
    }
    for (size_t i = 0; i < project.scripts.size(); ++i) {
        const ScriptSource& script = project.scripts[i];
        std::string where =
            "scripts[" + std::to_string(i + 1) + "]: " + shown(script.file.filename());
        resources.push_back(
            resource(u"QUILL", upperName(script.name), compileScript(project, script, where)));
    }
    summary->movies = project.movies.entries.size();
    summary->masks = project.masks.size();
    summary->scripts = project.scripts.size();
    return resources;
}

fs::path toolPath() {
#ifdef _WIN32
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    return n == 0 || n >= 32768 ? fs::path() : fs::path(std::wstring(buffer, n));
#else
    std::error_code code;
    fs::path path = fs::read_symlink("/proc/self/exe", code);
    return code ? fs::path() : path;
#endif
}

}  // namespace

fs::path findStub(std::string* error) {
    fs::path tool = toolPath();
    if (!tool.empty()) {
        fs::path dir = tool.parent_path();
        // Beside the tool (an installation), in the same build tree (the Windows build), or in
        // the Windows build tree next to this one (a native build in build/native*).
        for (const fs::path& candidate :
             {dir / kStubName, dir / ".." / ".." / "projector" / kStubName,
              dir / ".." / ".." / ".." / "windows" / "projector" / kStubName}) {
            std::error_code code;
            if (fs::is_regular_file(candidate, code)) return candidate.lexically_normal();
        }
    }
    *error = std::string("no projector stub: ") + kStubName +
             " is neither beside quill nor in the build tree (build the windows preset, or give "
             "--stub FILE)";
    return {};
}

bool packProject(const PackRequest& request, PackSummary* summary, std::string* error) {
    *summary = PackSummary{};
    Project project;
    if (!loadProject(request.project, request.projectShown, &project, error)) return false;

    fs::path stubPath = request.stub.empty() ? findStub(error) : request.stub;
    if (stubPath.empty()) return false;
    std::vector<uint8_t> stub;
    if (!readFile(stubPath, &stub)) {
        *error = shown(stubPath) + ": cannot read the stub";
        return false;
    }
    {
        project::MemorySource source(stub);
        project::PeImage image;
        std::string problem;
        if (!project::parsePeImage(source, &image, &problem)) {
            *error = shown(stubPath) + ": " + problem;
            return false;
        }
    }

    std::vector<project::AdditionalSource> extra;
    if (!project.additionalFiles.empty()) {
        std::string problem;
        if (!project::collectAdditionalFiles(project.additionalFiles, &extra, &problem)) {
            *error = request.projectShown + ": additional_files: " + problem;
            return false;
        }
    }
    summary->additionalFiles = extra.size();

    std::vector<ResourceEntry> resources;
    try {
        resources = buildResources(project, summary);
    } catch (const project::TextError& failure) {
        *error = request.projectShown + ": " + failure.what();
        return false;
    }

    fs::path output = request.output;
    if (output.empty())
        output = request.project.parent_path() / request.project.stem().concat(".exe");
    fs::path temporary = output;
    temporary += ".part";
    std::FILE* file = project::openFsPath(temporary, "w+b");
    if (!file) {
        *error = shown(output) + ": cannot create the output file";
        return false;
    }
    std::string problem;
    project::TailWriter tail = [&](project::OutputFile& out, std::string* e) {
        return project::writeAdditionalBlock(extra, out, e);
    };
    bool ok = project::writeImageWithResources(stub, {u"PLEXOR", u"QUILL", u"SUPPORT"},
                                               std::move(resources), tail, file, &problem);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        problem = "cannot write the output file";
    }
    std::error_code code;
    if (ok) {
        summary->bytes = fs::file_size(temporary, code);
        fs::rename(temporary, output, code);
        if (code) problem = "cannot replace the output file: " + code.message();
        ok = !code;
    }
    if (!ok) {
        fs::remove(temporary, code);
        *error = shown(output) + ": " + problem;
        return false;
    }
    summary->output = output;
    return true;
}

namespace {

int packUsage(const char* problem) {
    if (problem) std::fprintf(stderr, "quill: %s\n", problem);
    std::fputs(
        "usage: quill pack PROJECT.toml [-o APP.exe] [--stub STUB.exe]\n"
        "       quill unpack APP.exe [-o FOLDER]\n",
        stderr);
    return 2;
}

}  // namespace

int packMain(int argc, char** argv) {
    PackRequest request;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" || a == "--stub") {
            if (i + 1 >= argc) return packUsage("an option needs a value");
            (a == "-o" ? request.output : request.stub) = fs::path(argv[++i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return packUsage("unknown option");
        } else if (request.projectShown.empty()) {
            request.projectShown = a;
            request.project = fs::path(a);
        } else {
            return packUsage("too many arguments");
        }
    }
    if (request.projectShown.empty()) return packUsage("missing project file");
    PackSummary summary;
    std::string error;
    if (!packProject(request, &summary, &error)) {
        std::fprintf(stderr, "quill: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "packed %s: %zu movie list entries, %zu masks, %zu scripts, %zu additional files, %llu "
        "bytes\n",
        shown(summary.output).c_str(), summary.movies, summary.masks, summary.scripts,
        summary.additionalFiles, static_cast<unsigned long long>(summary.bytes));
    return 0;
}

}  // namespace quill::tool
