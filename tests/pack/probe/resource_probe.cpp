// A stand-in projector for the packing tests: run after packing, it reads its own resources the
// way the projector does (FindResourceA with names in any case, the records' readers) and
// prints what it finds, so that the test compares the output of executables packed by the
// native and the Windows tool. Its own resources (version, icon, menu, dialog) must survive.
//   resource_probe.exe WORKFOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "projector/records/additional_files.h"
#include "projector/records/project_settings.h"
#include "projector/records/resource_access.h"
#include "projector/records/settings_stamp.h"
#include "runtime/module.h"

using namespace quill::project;

namespace {

LONG WINAPI crashed(EXCEPTION_POINTERS*) {
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 0xC0DE);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string hexOf(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::string digest(const std::vector<uint8_t>& data) {
    auto d = md5Digest(data.data(), data.size());
    return hexOf(d.data(), d.size());
}

std::string fileDigest(const std::string& path, size_t* size) {
    std::vector<uint8_t> data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            data.insert(data.end(), buffer, buffer + n);
        std::fclose(f);
    } else {
        return "missing";
    }
    *size = data.size();
    return digest(data);
}

std::string namePart(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void printReports(const std::vector<std::string>& reports) {
    for (const std::string& r : reports) std::printf("  report: %s\n", r.c_str());
}

void ownResources() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<uint8_t> info(size);
    void* value = nullptr;
    UINT length = 0;
    if (size && GetFileVersionInfoA(path, 0, size, info.data()) &&
        VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\ProductName", &value, &length)) {
        std::printf("version: %s\n", static_cast<const char*>(value));
    } else {
        std::printf("version: unreadable\n");
    }
    if (VerQueryValueA(info.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
        std::printf("file version: %lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
                    fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
                    fixed->dwFileVersionLS & 0xFFFF);
    }
    HMODULE self = GetModuleHandleA(nullptr);
    HMENU menu = LoadMenuA(self, MAKEINTRESOURCEA(200));
    std::printf("menu: %d items in the first popup\n",
                menu ? GetMenuItemCount(GetSubMenu(menu, 0)) : -1);
    if (menu) DestroyMenu(menu);
    HRSRC dialog = FindResourceA(self, MAKEINTRESOURCEA(300), MAKEINTRESOURCEA(5));
    std::printf("dialog: %lu bytes\n", dialog ? SizeofResource(self, dialog) : 0);
    HRSRC icon = FindResourceA(self, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(14));
    std::printf("icon group: %s\n", icon ? "present" : "missing");
    try {
        std::vector<uint8_t> kept = LoadRawResource("keepme", MAKEINTRESOURCEA(10));
        std::printf("named resource: %s\n", reinterpret_cast<const char*>(kept.data()));
    } catch (const ResourceError&) {
        std::printf("named resource: missing\n");
    }
    try {
        LoadRawResource("OLD", "PLEXOR");
        std::printf("stale project resource: present\n");
    } catch (const ResourceError&) {
        std::printf("stale project resource: gone\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(crashed);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (argc < 2) {
        std::fprintf(stderr, "usage: resource_probe WORKFOLDER\n");
        return 2;
    }
    std::string work = argv[1];
    if (!work.empty() && work.back() != '\\') work += '\\';
    CreateDirectoryA(work.c_str(), nullptr);
    ownResources();

    std::vector<std::string> reports;
    ExtractTarget target;
    target.workFolder = work;
    target.exeFolder = "C:\\app\\";
    target.report = [&](const std::string& text) { reports.push_back(text); };

    std::vector<uint8_t> id = LoadRawResource("id", "plexor");
    std::string idText;
    for (size_t i = 0; i + 1 < id.size() && (id[i] || id[i + 1]); i += 2)
        idText += static_cast<char>(id[i]);
    std::printf("ID: %s (%zu bytes)\n", idText.c_str(), id.size());
    std::vector<uint8_t> stamp = LoadRawResource("Cs", "PLEXOR");

    std::vector<uint8_t> record;
    bool unpacked = LoadPackedResource("st", "Plexor", &record, target.report);
    ProjectSettings settings;
    MemoryStream stream(record);
    bool complete = unpacked && ReadProjectSettings(&settings, stream, target);
    auto expected = settingsStamp(record.data(), record.size());
    std::printf(
        "ST: %zu bytes, complete %d, digest %s, stamp %s\n", record.size(), complete,
        digest(record).c_str(),
        stamp == std::vector<uint8_t>(expected.begin(), expected.end()) ? "matches" : "DIFFERS");
    std::printf("  product: %s\n", settings.productName.value_or("(absent)").c_str());
    std::printf("  title bytes: %s\n",
                hexOf(reinterpret_cast<const uint8_t*>(settings.windowTitle.data()),
                      settings.windowTitle.size())
                    .c_str());
    std::printf("  frame %#x buttons %#x scale %u flags %#x position %u\n", settings.frameStyle,
                settings.frameButtons, settings.frameParam, settings.windowFlags,
                settings.positionMode);
    std::printf("  font1: %s %d\n", settings.aboutFont1.faceName.c_str(),
                settings.aboutFont1.height);
    size_t size = 0;
    std::printf("  help file: %s %s\n", namePart(settings.helpFile).c_str(),
                fileDigest(settings.helpFile, &size).c_str());
    std::printf("  picture: %s %s\n", namePart(settings.aboutPicture).c_str(),
                fileDigest(settings.aboutPicture, &size).c_str());
    printReports(reports);
    reports.clear();

    MovieList movies;
    ReadMovieList(&movies, target);
    std::printf("ML: flags %u, %zu entries\n", movies.listFlags, movies.entries.size());
    for (const MovieEntry& entry : movies.entries) {
        std::string relative = entry.path.substr(work.size());
        std::string sum = fileDigest(entry.path, &size);
        std::printf("  %u %s %zu %s\n", entry.kind, relative.c_str(), size, sum.c_str());
    }
    printReports(reports);
    reports.clear();

    MaskList masks;
    ReadMaskList(&masks, target);
    for (const std::string& name : masks.names) {
        size = 0;
        std::string sum = fileDigest(work + name + ".msk", &size);
        std::printf("RG: %s %zu %s\n", name.c_str(), size, sum.c_str());
    }
    printReports(reports);
    reports.clear();

    for (const char* name : {"fp", "Bk"}) {
        std::vector<uint8_t> data;
        try {
            LoadPackedResource(name, "PLEXOR", &data, target.report);
            std::printf("%s: %zu bytes %s\n", name, data.size(), digest(data).c_str());
        } catch (const ResourceError&) {
            std::printf("%s: missing\n", name);
        }
    }
    std::vector<std::string> scripts;
    EnumResourceNamesA(
        nullptr, "QUILL",
        [](HMODULE, LPCSTR, LPSTR name, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<std::string>*>(list)->push_back(name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&scripts));
    for (std::string name : scripts) {
        // The movie names scripts in any case.
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::vector<uint8_t> module;
        LoadPackedResource(name.c_str(), "quill", &module, target.report);
        quill::ModuleRecord* record = quill::readModule(module.data(), module.size());
        std::printf("QUILL %s: %zu bytes %s, %s\n", name.c_str(), module.size(),
                    digest(module).c_str(), record ? "a module" : "NOT A MODULE");
        quill::freeModule(record);
    }
    for (const char* name : {"$1", "$2", "$3", "$4"}) {
        std::vector<uint8_t> data;
        try {
            LoadPackedResource(name, "SUPPORT", &data, target.report);
            std::printf("SUPPORT %s: present\n", name);
        } catch (const ResourceError&) {
            std::printf("SUPPORT %s: absent\n", name);
        }
    }
    printReports(reports);

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (FILE* f = std::fopen(self, "rb")) {
        FileSource source(f);
        AdditionalBlock block;
        std::string error;
        BlockState state = readAdditionalBlock(source, &block, &error);
        std::printf("additional files: %s\n", state == BlockState::kValid    ? "valid"
                                              : state == BlockState::kAbsent ? "absent"
                                                                             : error.c_str());
        for (const AdditionalEntry& entry : block.entries) {
            std::printf("  %s %s %u\n", entry.kind == kAdditionalFolder ? "folder" : "file",
                        quill::project::utf16ToUtf8(entry.path).c_str(), entry.size);
        }
        std::fclose(f);
    }
    return 0;
}
