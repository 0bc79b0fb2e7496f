// Shell under Wine: programs started and waited for, the window `run` finds, the shell's verbs,
// associated programs, special folders, version resources, recent documents, the recycle bin's
// confirmation, and the machine-wide settings through the recorder seam.
#include "tests/gui/system/desktop_test_support.h"

#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <fstream>

#include "host/system/owner_window.h"
#include "host/system/shell_process.h"
#include "host/system/system_actions.h"

namespace quill::gui {
namespace {

using ShellTest = DesktopTest;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string command(const std::filesystem::path& program, const std::string& arguments) {
    return "\"" + program.string() + "\" " + arguments;
}

// The report a probe wrote: its folder, its command line, then its start-up flags and show state.
struct ProbeReport {
    std::string folder, commandLine, startup;
};
ProbeReport readReport(const std::filesystem::path& file) {
    std::ifstream in(file);
    ProbeReport report;
    std::getline(in, report.folder);
    std::getline(in, report.commandLine);
    std::getline(in, report.startup);
    return report;
}

TEST_F(ShellTest, RunAndWaitWaitsForTheProgramToEnd) {
    ScratchFolder scratch("quill-shell-wait");
    // The exit code, which the script member does not return, through the same start and wait.
    ProgramStart start;
    std::string line = command(probePath(), "--exit 7 --write " + (scratch / "a.txt").string());
    start.commandLine.assign(line.begin(), line.end());
    EXPECT_EQ(runProgramToEnd(start), std::optional<DWORD>(7));
    EXPECT_TRUE(std::filesystem::exists(scratch / "a.txt"));

    std::string script =
        "Shell.runAndWait(" +
        literal(command(probePath(), "--exit 3 --write " + (scratch / "b.txt").string())) + ")";
    EXPECT_EQ(eval(script), "undefined");
    // Written just before the program ended, so present once the call has returned.
    ProbeReport report = readReport(scratch / "b.txt");
    EXPECT_NE(report.commandLine.find("--exit 3"), std::string::npos) << report.commandLine;

    // A program that does not exist: nothing to wait for, the system's reason in the buffer.
    EXPECT_EQ(eval("Shell.runAndWait(" + literal(scratch / "missing.exe") + ")"), "undefined");
    EXPECT_FALSE(errorText(engine).empty());
    DWORD error = 0;
    start.commandLine = u"no-such-program-anywhere.exe";
    EXPECT_EQ(runProgramToEnd(start, &error), std::nullopt);
    EXPECT_EQ(error, DWORD{ERROR_FILE_NOT_FOUND});
}

TEST_F(ShellTest, RunGivesTheProgramsWindowPlacedAsAsked) {
    ScratchFolder scratch("quill-shell-run");
    std::string probe =
        command(probePath(), "--window ProbeWindow --write " + (scratch / "r.txt").string());
    // A Window for the program's window, placed as asked; the other process's window raises
    // no events here, but every other member works.
    EXPECT_EQ(eval("var w = Shell.run(" + literal(probe) +
                   ", 1, 50, 60, 300, 200); "
                   "[String(w), w.caption, w.left, w.top, w.width, w.height, w.visible].join()"),
              "[object Window],ProbeWindow,50,60,300,200,true");
    auto window = reinterpret_cast<HWND>(static_cast<intptr_t>(std::stoll(eval("w.handle"))));
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(windowText(window), L"ProbeWindow");
    EXPECT_EQ(readReport(scratch / "r.txt").startup, "7 1");  // show, position and size
    EXPECT_EQ(eval("Window.find(null, 'ProbeWindow') === w"), "true");

    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    EXPECT_EQ(eval("w.close()"), "undefined");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, kDefaultTimeoutMs), WAIT_OBJECT_0);
    CloseHandle(process);
}

TEST_F(ShellTest, RunTakesPlacementOnlyInPairsAndAnswersNullWithoutAWindow) {
    ScratchFolder scratch("quill-shell-pairs");
    // x without y, and a width that is not an integer: only the show state is passed on. The
    // program shows no window, so run answers null.
    std::string probe = command(probePath(), "--write " + (scratch / "p.txt").string());
    EXPECT_TRUE(isNull("Shell.run(" + literal(probe) + ", 2, 10, undefined, 1.5, 20)"));
    ASSERT_TRUE(waitFor([&] { return !readReport(scratch / "p.txt").startup.empty(); }));
    EXPECT_EQ(readReport(scratch / "p.txt").startup, "1 2");

    EXPECT_TRUE(isNull("Shell.run(" + literal(scratch / "missing.exe") + ")"));
    EXPECT_FALSE(errorText(engine).empty());  // the system's reason
    EXPECT_TRUE(isNull("Shell.run()"));
    EXPECT_TRUE(isNull("Shell.run(42)"));
    EXPECT_TRUE(isNull("Shell.run('')"));
    // A command line far beyond MAX_PATH reaches the system whole (which refuses it past
    // 32767 units).
    std::string longLine = command(probePath(), "--write " + (scratch / "l.txt").string() +
                                                    " --pad " + std::string(5000, 'x'));
    EXPECT_EQ(eval("Shell.runAndWait(" + literal(longLine) + ")"), "undefined");
    EXPECT_NE(readReport(scratch / "l.txt").commandLine.find(std::string(5000, 'x')),
              std::string::npos);
    EXPECT_TRUE(isNull("Shell.run('x' + new Array(40000).join('y'))"));
}

TEST_F(ShellTest, VerbsActInTheGivenFolder) {
    ScratchFolder scratch("quill-shell-verbs");
    std::filesystem::path report = scratch / "open.txt";
    SetEnvironmentVariableW(L"QUILL_PROBE_REPORT", report.wstring().c_str());
    EXPECT_EQ(eval("Shell.open(" + literal(probePath()) + ", " + literal(scratch.path()) + ")"),
              "undefined");
    SetEnvironmentVariableW(L"QUILL_PROBE_REPORT", nullptr);
    ASSERT_TRUE(waitFor([&] { return !readText(report).empty(); }));
    EXPECT_EQ(std::filesystem::path(readReport(report).folder), scratch.path());

    // Nothing to act on: no message box, no error, the script goes on.
    EXPECT_EQ(eval("Shell.explore(" + literal(scratch / "none") + ")"), "undefined");
    EXPECT_EQ(eval("Shell.print(" + literal(scratch / "none.txt") + ", 5)"), "undefined");
    EXPECT_EQ(eval("Shell.open('')"), "undefined");
    EXPECT_EQ(findDialog(GetCurrentThreadId()), nullptr);
}

TEST_F(ShellTest, FindExecutableNamesTheAssociatedProgram) {
    ScratchFolder scratch("quill-shell-find");
    std::ofstream(scratch / "note.txt") << "text\n";
    std::string program = eval("Shell.findExecutable(" + literal(scratch / "note.txt") + ")");
    EXPECT_NE(lower(program).find("notepad.exe"), std::string::npos) << program;
    EXPECT_TRUE(isNull("Shell.findExecutable(" + literal(scratch / "gone.txt") + ")"));
    EXPECT_TRUE(isNull("Shell.findExecutable()"));
}

TEST_F(ShellTest, SpecialFoldersComeFromTheShell) {
    wchar_t desktop[MAX_PATH] = L"";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)));
    std::string expected = std::filesystem::path(desktop).string();
    EXPECT_EQ(eval("Shell.getSpecialFolder('Desktop')"), expected);
    EXPECT_EQ(eval("Shell.getSpecialFolder('dEsKtOp')"), expected);
    EXPECT_TRUE(isNull("Shell.getSpecialFolder('recycle bin')"));
    EXPECT_TRUE(isNull("Shell.getSpecialFolder('desktop ')"));
    wchar_t windows[MAX_PATH] = L"";
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(eval("Shell.getSpecialFolder('WINDOWS')"), std::filesystem::path(windows).string());
    // Every name of the table answers a path or null, never an error.
    EXPECT_EQ(eval("var names = ['appdata', 'cookies', 'desktop all', 'favorites', 'fonts', "
                   "'history', 'internet cache', 'my documents', 'nethood', 'printers', "
                   "'programs', 'programs all', 'recent', 'sendto', 'startmenu', "
                   "'startmenu all', 'startup', 'startup all', 'templates', 'system', 'temp', "
                   "'program files']; var bad = ''; for (var i = 0; i < names.length; i++) { "
                   "var p = Shell.getSpecialFolder(names[i]); "
                   "if (p !== null && typeof p != 'string') bad += names[i]; } bad"),
              "");
    EXPECT_FALSE(isNull("Shell.getSpecialFolder('fonts')"));
}

TEST_F(ShellTest, VersionInformationOfABuiltProgram) {
    std::string info = "var v = Shell.getFileVersionInfo(" + literal(probePath()) + "); ";
    // 1.2.3.4: major and minor in the low half, build and revision in the high half.
    EXPECT_EQ(eval(info + "v.fileVersionNum == (65536 * 1 + 2) + (65536 * 3 + 4) * 4294967296"),
              "true");
    EXPECT_EQ(eval(info + "v.productVersionNum == (65536 * 5 + 6) + (65536 * 7 + 8) * 4294967296"),
              "true");
    EXPECT_EQ(eval(info + "v.translation"), std::to_string(0x409 * 65536 + 1200));
    EXPECT_EQ(
        eval(info +
             "[v.comments, v.companyName, v.fileDescription, v.fileVersion, v.internalName, "
             "v.legalCopyright, v.originalFilename, v.productName, v.productVersion].join('|')"),
        "for the shell tests|Quill test bench|Shell test probe|1.2.3.4|probe|none|"
        "quill_shell_probe.exe|Quill probe|5.6.7.8");
    // Strings the resource does not have are empty, not missing.
    EXPECT_EQ(eval(info + "'[' + v.legalTrademarks + v.privateBuild + v.specialBuild + ']'"), "[]");

    ScratchFolder scratch("quill-shell-version");
    std::ofstream(scratch / "plain.txt") << "no resources here\n";
    EXPECT_TRUE(isNull("Shell.getFileVersionInfo(" + literal(scratch / "plain.txt") + ")"));
    EXPECT_TRUE(isNull("Shell.getFileVersionInfo(" + literal(scratch / "none.exe") + ")"));
    EXPECT_TRUE(isNull("Shell.getFileVersionInfo(7)"));
}

// Wine keeps the link files when the list is cleared (a real system removes them), so the test
// removes its own.
TEST_F(ShellTest, RecentDocumentsAreAdded) {
    std::string recent = eval("Shell.getSpecialFolder('recent')");
    ASSERT_FALSE(isNull("Shell.getSpecialFolder('recent')"));
    auto linkFor = std::filesystem::path(recent) / (probePath().filename().string() + ".lnk");
    EXPECT_EQ(eval("Shell.addToRecentDocs(" + literal(probePath()) + ")"), "undefined");
    EXPECT_TRUE(std::filesystem::exists(linkFor)) << linkFor;
    EXPECT_EQ(eval("Shell.clearRecentDocs(); Shell.addToRecentDocs(5)"), "undefined");
    std::error_code ignored;
    std::filesystem::remove(linkFor, ignored);
}

// The recycle bin under Wine is the Unix user's trash, shared with everything else on the
// machine: the test sees only what would be asked of the shell.
TEST_F(ShellTest, EmptyingTheRecycleBinIsOwnedByTheOwnerWindow) {
    SystemActions saved = systemActions();
    static HWND owner = nullptr;
    systemActions().emptyRecycleBin = [](HWND window) { owner = window; };
    EXPECT_EQ(eval("Shell.emptyRecycleBin()"), "undefined");
    systemActions() = saved;
    EXPECT_NE(owner, nullptr);
    EXPECT_EQ(owner, ownerWindow());
}

// The recorder stands in for the machine-wide actions.
struct Recorded {
    std::wstring text;
    UINT flags = 0;
    int calls = 0;
};
Recorded recorded;

TEST_F(ShellTest, WallpaperArgumentsReachTheSystemAsFlags) {
    SystemActions saved = systemActions();
    recorded = {};
    systemActions().setWallpaper = [](const wchar_t* path, UINT winIni) {
        recorded = {path, winIni, recorded.calls + 1};
        return true;
    };
    EXPECT_EQ(eval("Shell.setDesktopWallpaper('C:\\\\pictures\\\\sea.bmp')"), "true");
    EXPECT_EQ(recorded.text, L"C:\\pictures\\sea.bmp");
    EXPECT_EQ(recorded.flags, UINT{SPIF_UPDATEINIFILE | SPIF_SENDCHANGE});
    EXPECT_EQ(eval("Shell.setDesktopWallpaper('a.bmp', false)"), "true");
    EXPECT_EQ(recorded.flags, UINT{SPIF_SENDCHANGE});
    EXPECT_EQ(eval("Shell.setDesktopWallpaper('a.bmp', 1, 0)"), "true");
    EXPECT_EQ(recorded.flags, UINT{SPIF_UPDATEINIFILE});
    EXPECT_EQ(eval("Shell.setDesktopWallpaper(5)"), "false");
    EXPECT_EQ(eval("Shell.setDesktopWallpaper('a\\0b.bmp')"), "false");
    EXPECT_EQ(recorded.calls, 3);
    systemActions().setWallpaper = [](const wchar_t*, UINT) { return false; };
    EXPECT_EQ(eval("Shell.setDesktopWallpaper('a.bmp')"), "false");
    systemActions() = saved;
}

TEST_F(ShellTest, SettingChangeReachesTopLevelWindows) {
    TestWindow window;
    EXPECT_EQ(eval("Shell.settingChange()"), "undefined");
    EXPECT_TRUE(waitFor([&] { return window.count(WM_SETTINGCHANGE) > 0; }));
    EXPECT_EQ(eval("Shell + '|' + new Shell()"), "[object Shell]|[object Shell]");
}

}  // namespace
}  // namespace quill::gui
