// The projector's start-up and exit, end to end: projectors packed by `quill pack` run as child
// processes with a TMP of their own; what they did is read from the files their scripts write,
// from the work folder, from the registry and from their windows and message boxes.
#include "tests/projector/projector_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "projector/records/byte_stream.h"
#include "projector/records/movie_list.h"
#include "projector/records/pe_writer.h"
#include "projector/records/project_settings.h"
#include "projector/records/random_access.h"

namespace quill::projector::test {
namespace {

constexpr const char* kRegistryKey = "Software\\Quill Tests";

// A movie that runs the script `script` on its first frame and then, when `quit` is set, asks
// the projector to close.
std::string movieRunning(const std::string& script, bool quit) {
    return "[movie]\nwidth = 160\nheight = 120\n[[frame]]\nframe = 1\nactions = '''\n"
           "fscommand \"Quill_Run\" \"" +
           script + "\"\n" + (quit ? "fscommand \"quit\" \"\"\n" : "") + "stop\n'''\n";
}

struct Project {
    std::string profile = "Startup";
    std::string title = "Start-up test";
    std::vector<std::string> movies;                           // file names in the scratch folder
    std::vector<std::pair<std::string, std::string>> scripts;  // name, body
    bool randomStart = false;
    bool carryControl = false;
    std::string extra;  // more top-level TOML
};

// Writes the project (scripts get log()) and packs it into NAME.exe; the executable's path.
std::string pack(const Scratch& scratch, const Project& p, const std::string& name) {
    std::string toml = "id = \"Quill Tests/" + p.profile +
                       "\"\nrandom_start = " + (p.randomStart ? "true" : "false") + "\n" + p.extra +
                       "movies = [";
    for (const std::string& m : p.movies) toml += "\"" + m + "\", ";
    toml += "]\nscripts = [";
    for (const auto& [script, body] : p.scripts) {
        writeText(scratch.path(script + ".qls"), logFunction(scratch.path("log.txt")) + body);
        toml += "\"" + script + ".qls\", ";
    }
    toml += "]\n";
    if (p.carryControl) toml += "control = \"" + controlFileSlashed() + "\"\n";
    toml += "[window]\ntitle = \"" + p.title + "\"\n";
    writeText(scratch.path(name + ".toml"), toml);
    std::string exe = scratch.path(name + ".exe");
    packProject(scratch.path(name + ".toml"), exe);
    return exe;
}

// The settings stamp an executable carries.
std::vector<uint8_t> stampOf(const std::string& exe) {
    std::vector<uint8_t> out;
    HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image) return out;
    if (HRSRC found = FindResourceA(image, "CS", "PLEXOR")) {
        auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(image, found)));
        out.assign(bytes, bytes + SizeofResource(image, found));
    }
    FreeLibrary(image);
    return out;
}

std::string windowTitle(HWND window) {
    std::wstring text = gui::windowText(window);
    return std::string(text.begin(), text.end());
}

// Overwrites bytes of a resource of a packed executable in place: the resource's
// bytes are found in the file and patched there, so nothing else of the file changes.
void patchResource(const std::string& exe, const char* type, const char* name,
                   const std::vector<uint8_t>& bytes, size_t offset = 0) {
    std::vector<uint8_t> original;
    if (HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        if (HRSRC found = FindResourceA(image, name, type)) {
            auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(image, found)));
            original.assign(data, data + SizeofResource(image, found));
        }
        FreeLibrary(image);
    }
    ASSERT_GE(original.size(), offset + bytes.size()) << name;
    std::string file = readText(exe);
    size_t at = file.find(std::string(original.begin(), original.end()));
    ASSERT_NE(at, std::string::npos) << name;
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<ptrdiff_t>(at + offset));
    writeText(exe, file);
}

class ProjectorStartup : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerControl(true)); }
    void SetUp() override { deleteUserKey(kRegistryKey); }
    void TearDown() override { deleteUserKey(kRegistryKey); }
};

TEST_F(ProjectorStartup, WithoutItsIdentityTheProjectorSaysSoAndEnds) {
    Scratch scratch("identity");
    // The stub alone carries no ID resource.
    Projector bare(stubPath(), inTmp(scratch));
    std::string text;
    ASSERT_TRUE(bare.answerMessageBox(&text));
    EXPECT_EQ(text, "Invalid application data");
    DWORD code;
    ASSERT_TRUE(bare.waitExit(&code));
    EXPECT_TRUE(listFolder(scratch.path("tmp\\")).empty());
}

// A copy of a packed projector whose ID resource is cut to `bytes` bytes, rewritten with the
// packer's own resource writer (Wine's resource-update calls lose the resource).
std::string withShortIdentity(const Scratch& scratch, const std::string& exe, size_t bytes) {
    std::string text = readText(exe);
    std::vector<uint8_t> image(text.begin(), text.end());
    project::MemorySource source(image);
    project::PeImage pe;
    std::vector<project::ResourceEntry> entries, kept;
    std::string error;
    EXPECT_TRUE(project::parsePeImage(source, &pe, &error)) << error;
    EXPECT_TRUE(project::readResourceTable(source, pe, &entries, &error)) << error;
    for (project::ResourceEntry& entry : entries) {
        if (!entry.type.matches(u"PLEXOR")) continue;
        std::vector<uint8_t> data;
        EXPECT_TRUE(project::loadResourceData(source, entry, &data));
        if (entry.name.matches(u"ID")) data.resize(std::min(data.size(), bytes));
        entry.data = project::ChunkedBytes(data);
        kept.push_back(entry);
    }
    std::string copy = scratch.path("short-" + std::to_string(bytes) + ".exe");
    std::FILE* out = std::fopen(copy.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    EXPECT_TRUE(project::writeImageWithResources(image, {u"PLEXOR"}, kept, {}, out, &error))
        << error;
    std::fclose(out);
    return copy;
}

// An identity one byte short of the smallest one the packer writes is refused like a missing
// one; the same executable with the full identity starts.
TEST_F(ProjectorStartup, AShortIdentityIsInvalidApplicationData) {
    Scratch scratch("short-id");
    Project p;
    p.movies = {"m1.swf"};
    buildMovie(movieRunning("m1", true), scratch.path("m1.swf"));
    p.scripts = {{"m1", "log('m1');\n"}};
    std::string exe = pack(scratch, p, "short");
    {
        Projector app(withShortIdentity(scratch, exe, 32), inTmp(scratch));
        std::string text;
        ASSERT_TRUE(app.answerMessageBox(&text));
        EXPECT_EQ(text, "Invalid application data");
        DWORD code;
        ASSERT_TRUE(app.waitExit(&code));
        EXPECT_TRUE(listFolder(scratch.path("tmp\\")).empty());
    }
    EXPECT_FALSE(fileExists(scratch.path("log.txt")));
    // 33 bytes: the writer's own result must still start (the rewrite itself is sound).
    Projector whole(withShortIdentity(scratch, exe, 33), inTmp(scratch));
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "m1"));
    ASSERT_TRUE(whole.waitExit(nullptr));
}

TEST_F(ProjectorStartup, WorkFolderSettingsCopyAndStampAcrossRestartsAndRebuilds) {
    Scratch scratch("settings");
    Project p;
    p.movies = {"m1.swf", "m2.swf", "m3.swf"};
    for (int i = 1; i <= 3; ++i) {
        buildMovie(movieRunning("m" + std::to_string(i), false),
                   scratch.path("m" + std::to_string(i) + ".swf"));
    }
    p.scripts = {{"m1", "log('m1');\n"}, {"m2", "log('m2');\n"}, {"m3", "log('m3');\n"}};
    p.extra = "masks = [\"" + sourcePath("examples/projector/round.msk") + "\"]\n";
    std::string exe = pack(scratch, p, "app");
    std::string section = std::string(kRegistryKey) + "\\Startup\\Settings";
    std::string tmp = scratch.path("tmp\\");

    {
        Projector app(exe, inTmp(scratch));
        HWND window = app.mainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(windowTitle(window), "Start-up test");
        ASSERT_TRUE(waitForText(scratch.path("log.txt"), "m1"));  // the first movie plays
        std::vector<std::string> folders = listFolder(tmp);
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(folders[0].size(), 38u);
        EXPECT_EQ(folders[0].front(), '{');
        EXPECT_EQ(folders[0].back(), '}');
        std::vector<std::string> files = listFolder(tmp + folders[0] + "\\");
        EXPECT_EQ(std::set<std::string>(files.begin(), files.end()),
                  (std::set<std::string>{"m1.swf", "m2.swf", "m3.swf", "round.msk"}));
        // The registered control is new enough: nothing of it is extracted.
        EXPECT_FALSE(fileExists(tmp + folders[0] + "\\flash.ocx"));
        // First run: the stamp and the settings are stored for this user.
        EXPECT_EQ(readUserValue(section, "crc"), stampOf(exe));
        EXPECT_FALSE(readUserValue(section, "Options").empty());
        app.close();
        DWORD code = 1;
        ASSERT_TRUE(app.waitExit(&code));
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(listFolder(tmp).empty()) << "the work folder outlived the projector";
    }

    // A change to the stored settings survives a restart of the same executable.
    std::vector<uint8_t> options = readUserValue(section, "Options");
    project::ProjectSettings settings;
    project::MemoryStream in(options);
    project::ExtractTarget target;
    target.workFolder = scratch.path("unused-");
    ASSERT_TRUE(project::ReadProjectSettings(&settings, in, target));
    settings.windowTitle = "Changed by the user";
    project::MemoryStream out;
    ASSERT_TRUE(project::WriteProjectSettings(settings, out));
    writeUserValue(section, "Options", out.bytes());
    {
        Projector app(exe, inTmp(scratch));
        HWND window = app.mainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(windowTitle(window), "Changed by the user");
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
    }

    // A rebuilt executable (new settings, new stamp) replaces the stored copy.
    p.title = "Second build";
    std::string rebuilt = pack(scratch, p, "app2");
    ASSERT_NE(stampOf(rebuilt), stampOf(exe));
    {
        Projector app(rebuilt, inTmp(scratch));
        HWND window = app.mainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(windowTitle(window), "Second build");
        EXPECT_EQ(readUserValue(section, "crc"), stampOf(rebuilt));
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
    }
}

TEST_F(ProjectorStartup, CommandLineMoviesAndSettingsFiles) {
    Scratch scratch("command-line");
    Project p;
    p.movies = {"m1.swf"};
    buildMovie(movieRunning("m1", false), scratch.path("m1.swf"));
    buildMovie(movieRunning("given", false), scratch.path("given.swf"));
    p.scripts = {{"m1", "log('m1');\n"}, {"given", "log('given');\n"}};
    std::string exe = pack(scratch, p, "app");
    std::string tmp = scratch.path("tmp\\");

    // A movie on the command line plays instead of the list, which is not even read; a "/o:"
    // that names no file is ignored.
    {
        Projector app(exe, inTmp(scratch, "\"" + scratch.path("given.swf") +
                                              "\" /o:" + scratch.path("missing.dat")));
        HWND window = app.mainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(windowTitle(window), "Start-up test");
        ASSERT_TRUE(waitForText(scratch.path("log.txt"), "given"));
        std::vector<std::string> folders = listFolder(tmp);
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_TRUE(listFolder(tmp + folders[0] + "\\").empty());
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
    }
    EXPECT_EQ(readText(scratch.path("log.txt")), "given\n");

    // A settings file: the record and a mask list, as the Options dialog saves them.
    project::ProjectSettings settings;
    settings.windowTitle = "From the settings file";
    settings.windowFlags = 1;
    project::MemoryStream file;
    ASSERT_TRUE(project::WriteProjectSettings(settings, file));
    ASSERT_TRUE(project::writeMaskList({}, file, project::ansiCodec()));
    std::string bytes(file.bytes().begin(), file.bytes().end());
    writeText(scratch.path("settings.dat"), bytes);
    {
        Projector app(exe, inTmp(scratch, "/O:" + scratch.path("settings.dat")));
        HWND window = app.mainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(windowTitle(window), "From the settings file");
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
    }
    // Nothing was taken from or written to the registry meanwhile... except by the first run.
    EXPECT_TRUE(listFolder(tmp).empty());
}

TEST_F(ProjectorStartup, TempIsUsedWhenTmpIsTooLongAndFalseFromInitializeEnds) {
    Scratch scratch("temp");
    Project p;
    p.scripts = {{"Initialize", "log('init'); false;\n"}};
    std::string exe = pack(scratch, p, "app");
    CreateDirectoryA(scratch.path("temp").c_str(), nullptr);
    Projector app(exe, {{{"TMP", std::string(260, 'x')}, {"TEMP", scratch.path("temp")}}, ""});
    DWORD code;
    ASSERT_TRUE(app.waitExit(&code));
    EXPECT_EQ(readText(scratch.path("log.txt")), "init\n");
    // Initialize ran with its work folder in TEMP, which is gone again.
    EXPECT_TRUE(listFolder(scratch.path("temp\\")).empty());
    EXPECT_EQ(gui::findWindow(L"QuillProjectorFrame", {}, app.threadId()), nullptr);
}

TEST_F(ProjectorStartup, RandomStartPicksEveryMovieAndTheFirstOtherwise) {
    Scratch scratch("random");
    Project p;
    p.movies = {"m1.swf", "m2.swf", "m3.swf"};
    for (int i = 1; i <= 3; ++i) {
        std::string n = std::to_string(i);
        buildMovie(movieRunning("m" + n, true), scratch.path("m" + n + ".swf"));
        p.scripts.push_back({"m" + n, "log('m" + n + "');\n"});
    }
    std::string first = pack(scratch, p, "first");
    p.randomStart = true;
    std::string random = pack(scratch, p, "random");

    for (int run = 0; run < 2; ++run) {
        Projector app(first, inTmp(scratch));
        ASSERT_TRUE(app.waitExit(nullptr));  // each movie quits by itself
    }
    EXPECT_EQ(readText(scratch.path("log.txt")), "m1\nm1\n");
    DeleteFileA(scratch.path("log.txt").c_str());
    std::set<std::string> seen;
    for (int run = 0; run < 20 && seen.size() < 3; ++run) {
        Projector app(random, inTmp(scratch));
        ASSERT_TRUE(app.waitExit(nullptr));
        std::string log = readText(scratch.path("log.txt"));
        for (const char* m : {"m1", "m2", "m3"}) {
            if (log.find(m) != std::string::npos) seen.insert(m);
        }
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(ProjectorStartup, ControlFromTheCarriedFileOrNoneAtAll) {
    Scratch scratch("control");
    Project p;
    p.movies = {"m1.swf"};
    buildMovie(movieRunning("m1", false), scratch.path("m1.swf"));
    p.scripts = {{"m1", "log('m1');\n"}};
    p.carryControl = true;
    std::string carried = pack(scratch, p, "carried");
    p.carryControl = false;
    std::string without = pack(scratch, p, "without");
    p.scripts.push_back({"Initialize", "false;\n"});
    std::string quiet = pack(scratch, p, "quiet");
    std::string tmp = scratch.path("tmp\\");

    ASSERT_TRUE(registerControl(false));
    {
        // Not registered: the carried control is written as flash.ocx and loaded from there.
        Projector app(carried, inTmp(scratch));
        ASSERT_NE(app.mainWindow(), nullptr);
        ASSERT_TRUE(waitForText(scratch.path("log.txt"), "m1"));
        std::vector<std::string> folders = listFolder(tmp);
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_TRUE(fileExists(tmp + folders[0] + "\\flash.ocx"));
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
        EXPECT_TRUE(listFolder(tmp).empty());
    }
    {
        Projector app(without, inTmp(scratch));
        std::string text;
        ASSERT_TRUE(app.answerMessageBox(&text));
        EXPECT_EQ(text, "Failed to load the Macromedia Flash Player!");
        ASSERT_TRUE(app.waitExit(nullptr));
        EXPECT_TRUE(listFolder(tmp).empty());
    }
    {
        // An Initialize that answers false ends the projector without the message.
        Projector app(quiet, inTmp(scratch));
        ASSERT_TRUE(app.waitExit(nullptr));
        EXPECT_EQ(gui::findDialog(app.threadId()), nullptr);
    }
    ASSERT_TRUE(registerControl(true));
}

TEST_F(ProjectorStartup, DamagedResourcesAndSettingsFilesAreReportedNotFatal) {
    Scratch scratch("damaged");
    Project p;
    p.movies = {"m1.swf"};
    buildMovie(movieRunning("m1", false), scratch.path("m1.swf"));
    p.scripts = {{"m1", "log('m1');\n"}};
    std::string exe = pack(scratch, p, "app");
    // Settings in a container of a version nobody reads; a script whose zlib data is garbage.
    patchResource(exe, "PLEXOR", "ST", {'S', 'M', 2, 0});
    // The script keeps its sizes; its zlib stream (after the 16-byte header) is spoilt.
    patchResource(exe, "QUILL", "M1", {0xFF, 0xFF, 0xFF, 0xFF}, 16);
    {
        Projector app(exe, inTmp(scratch, "/trace:" + scratch.path("trace.txt")));
        std::string text;
        ASSERT_TRUE(app.answerMessageBox(&text));
        EXPECT_EQ(text, "Bad compressed data header");
        ASSERT_TRUE(app.answerMessageBox(&text));
        EXPECT_EQ(text, "The compress(uncompress) input data was corrupted");
        ASSERT_NE(app.mainWindow(), nullptr);
        EXPECT_TRUE(
            waitForText(scratch.path("trace.txt"), "Warning: Quill Script \"m1\" not found."));
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
    }
    // A settings file that is cut short, and one of noise: the projector still comes up.
    project::ProjectSettings settings;
    settings.windowTitle = "Cut short";
    project::MemoryStream record;
    ASSERT_TRUE(project::WriteProjectSettings(settings, record));
    std::string bytes(record.bytes().begin(), record.bytes().end());
    writeText(scratch.path("short.dat"), bytes.substr(0, bytes.size() / 2));
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
    writeText(scratch.path("noise.dat"), noise);
    for (const char* file : {"short.dat", "noise.dat"}) {
        Projector app(exe, inTmp(scratch, std::string("/o:") + scratch.path(file)));
        HWND window = nullptr;
        // Noise may make any reader complain: every message is answered until the window shows
        // (with patience: on a loaded machine a start can take longer than the usual wait).
        for (int i = 0; i < 24 && !window; ++i) {
            window = app.mainWindow(2000);
            if (!window) app.answerMessageBox(nullptr, IDOK, 500);
        }
        ASSERT_NE(window, nullptr) << file;
        if (std::string(file) == "short.dat") {
            EXPECT_EQ(windowTitle(window), "Cut short");
        }
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr)) << file;
    }
    EXPECT_TRUE(listFolder(scratch.path("tmp\\")).empty());
}

// A copy of the control whose version resource says 6.0.78.0: too old for the projector.
std::string oldControlCopy(const Scratch& scratch) {
    std::string copy = scratch.path("old_movie.ocx");
    EXPECT_TRUE(CopyFileA(controlFile().c_str(), copy.c_str(), FALSE));
    std::vector<uint8_t> version;
    WORD language = 0;
    if (HMODULE image = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        auto pick = [](HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR out) -> BOOL {
            *reinterpret_cast<WORD*>(out) = lang;
            return FALSE;
        };
        EnumResourceLanguagesA(image, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), pick,
                               reinterpret_cast<LONG_PTR>(&language));
        if (HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16))) {
            auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(image, found)));
            version.assign(bytes, bytes + SizeofResource(image, found));
        }
        FreeLibrary(image);
    }
    // VS_FIXEDFILEINFO starts with its signature; the file version follows the struct version.
    const uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    auto at =
        std::search(version.begin(), version.end(), std::begin(signature), std::end(signature));
    EXPECT_NE(at, version.end());
    if (at == version.end()) return copy;
    size_t offset = static_cast<size_t>(at - version.begin()) + 8;
    const DWORD ms = 0x00060000, ls = 0x004E0000;  // 6.0.78.0
    std::memcpy(&version[offset], &ms, 4);
    std::memcpy(&version[offset + 4], &ls, 4);
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    EXPECT_NE(update, nullptr);
    EXPECT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), language,
                                version.data(), static_cast<DWORD>(version.size())));
    EXPECT_TRUE(EndUpdateResourceA(update, FALSE));
    return copy;
}

TEST_F(ProjectorStartup, AnOldRegisteredControlMakesTheProjectorUseItsOwn) {
    Scratch scratch("old-control");
    Project p;
    p.movies = {"m1.swf"};
    buildMovie(movieRunning("m1", false), scratch.path("m1.swf"));
    p.scripts = {{"m1", "log('m1');\n"}};
    p.carryControl = true;
    std::string exe = pack(scratch, p, "carried");
    std::string old = oldControlCopy(scratch);
    std::string tmp = scratch.path("tmp\\");
    ASSERT_EQ(runCommandLine("regsvr32.exe /s \"" + old + "\""), 0u);
    {
        Projector app(exe, inTmp(scratch));
        ASSERT_NE(app.mainWindow(), nullptr);
        ASSERT_TRUE(waitForText(scratch.path("log.txt"), "m1"));
        std::vector<std::string> folders = listFolder(tmp);
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_TRUE(fileExists(tmp + folders[0] + "\\flash.ocx"));
        app.close();
        ASSERT_TRUE(app.waitExit(nullptr));
    }
    runCommandLine("regsvr32.exe /s /u \"" + old + "\"");
    ASSERT_TRUE(registerControl(true));
    EXPECT_TRUE(listFolder(tmp).empty());
}

}  // namespace
}  // namespace quill::projector::test
