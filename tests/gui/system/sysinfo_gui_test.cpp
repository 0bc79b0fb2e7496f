// SysInfo under Wine: the facts it reports against the system's own answers, and every member
// that would change the shared machine (computer name, screen saver, display mode, logging off
// and shutting down) checked through the recorder seam, never for real.
#include "tests/gui/system/desktop_test_support.h"

#include <regex>

#include "host/system/system_actions.h"

namespace quill::gui {
namespace {

class SysInfoTest : public DesktopTest {
  protected:
    void SetUp() override {
        DesktopTest::SetUp();
        saved = systemActions();
        calls.clear();
        systemActions() = {
            .exitWindows = [](UINT flags) { return note(L"exit", flags); },
            .setComputerName = [](const wchar_t* name) { return note(name, 0); },
            .setWallpaper = [](const wchar_t* path, UINT flags) { return note(path, flags); },
            .setScreenSaverPath = [](const wchar_t* path) { return note(path, 0); },
            .setScreenSaverActive = [](bool on) { return note(L"active", on); },
            .setScreenSaverTimeout = [](UINT seconds) { return note(L"timeout", seconds); },
            .changeDisplayMode =
                [](DEVMODEW* mode, DWORD flags) {
                    note(L"mode", flags);
                    lastMode = *mode;
                    return LONG{DISP_CHANGE_RESTART};
                },
            .emptyRecycleBin = [](HWND) { note(L"bin", 0); },
        };
    }
    void TearDown() override {
        systemActions() = saved;
        DesktopTest::TearDown();
    }

    struct Call {
        std::wstring text;
        UINT value;
        bool operator==(const Call&) const = default;
    };
    static bool note(const wchar_t* text, UINT value) {
        calls.push_back({text, value});
        return true;
    }
    static inline std::vector<Call> calls;
    static inline DEVMODEW lastMode{};
    SystemActions saved{};
};

TEST_F(SysInfoTest, FactsMatchWhatTheSystemSays) {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    // Whole byte counts, also beyond 4 GB.
    EXPECT_EQ(eval("SysInfo.totalPhysMemory"), std::to_string(memory.ullTotalPhys));
    EXPECT_EQ(eval("var a = SysInfo.availPhysMemory; a > 0 && a <= SysInfo.totalPhysMemory"),
              "true");

    RECT area{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    EXPECT_EQ(eval("[SysInfo.workareaLeft, SysInfo.workareaTop, SysInfo.workareaRight, "
                   "SysInfo.workareaBottom].join(',')"),
              std::to_string(area.left) + "," + std::to_string(area.top) + "," +
                  std::to_string(area.right) + "," + std::to_string(area.bottom));

    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    std::string current = std::to_string(mode.dmPelsWidth) + "x" +
                          std::to_string(mode.dmPelsHeight) + "x" +
                          std::to_string(mode.dmBitsPerPel);
    EXPECT_EQ(eval("var d = SysInfo.displaySetting; d.pelsWidth + 'x' + d.pelsHeight + 'x' + "
                   "d.bitsPerPel + (typeof d.displayFrequency)"),
              current + "number");
    EXPECT_EQ(eval("var all = SysInfo.getDisplaySettings(), found = false; for (var i = 0; i < "
                   "all.length; i++) { var d = all[i]; if (d.pelsWidth + 'x' + d.pelsHeight + "
                   "'x' + d.bitsPerPel == '" +
                   current + "') found = true; } found"),
              "true");

    wchar_t folder[MAX_PATH] = L"";
    GetSystemDirectoryW(folder, MAX_PATH);
    EXPECT_EQ(eval("SysInfo.sysDir"), std::filesystem::path(folder).string());
    GetWindowsDirectoryW(folder, MAX_PATH);
    EXPECT_EQ(eval("SysInfo.winDir"), std::filesystem::path(folder).string());
    wchar_t name[256] = L"";
    DWORD size = 256;
    ASSERT_TRUE(GetComputerNameW(name, &size));
    EXPECT_EQ(eval("SysInfo.computerName"), std::filesystem::path(name).string());
    size = 256;
    ASSERT_TRUE(GetUserNameW(name, &size));
    EXPECT_EQ(eval("SysInfo.userName"), std::filesystem::path(name).string());

    // The name of the system Wine imitates, then its numbers and service pack.
    std::string version = eval("SysInfo.version");
    EXPECT_TRUE(
        std::regex_match(version, std::regex(R"(Windows [0-9.A-Za-z ]+ \d+\.\d\d\.\d{4,5} .*)")))
        << version;
    EXPECT_EQ(eval("var s = SysInfo.cpuSpeed; typeof s == 'number' && s > 0"), "true");
    EXPECT_EQ(eval("typeof SysInfo.screenSaver + typeof SysInfo.screenSaverActive + "
                   "typeof SysInfo.screenSaverTimeout"),
              "stringbooleannumber");
    EXPECT_EQ(eval("SysInfo + '|' + new SysInfo()"), "[object SysInfo]|[object SysInfo]");
    EXPECT_TRUE(calls.empty());
}

TEST_F(SysInfoTest, EndingTheSessionOnlyThroughTheSeam) {
    EXPECT_EQ(eval("SysInfo.logOff(); SysInfo.shutdown(); SysInfo.reboot(); "
                   "new SysInfo().powerOff()"),
              "undefined");
    EXPECT_EQ(calls, (std::vector<Call>{{L"exit", EWX_LOGOFF},
                                        {L"exit", EWX_SHUTDOWN},
                                        {L"exit", EWX_REBOOT},
                                        {L"exit", EWX_POWEROFF}}));
}

TEST_F(SysInfoTest, MachineSettingsTakeOnlyFittingValues) {
    eval("SysInfo.computerName = 'BENCH'; SysInfo.computerName = 5; SysInfo.computerName = '';");
    eval("SysInfo.screenSaverActive = 0; SysInfo.screenSaverActive = 'yes';");
    eval(
        "SysInfo.screenSaverTimeout = 600; SysInfo.screenSaverTimeout = '60'; "
        "SysInfo.screenSaverTimeout = -1; SysInfo.screenSaverTimeout = 1.5;");
    EXPECT_EQ(calls, (std::vector<Call>{
                         {L"BENCH", 0}, {L"active", 0}, {L"active", 1}, {L"timeout", 600}}));
    // The screen saver is stored by its short path when the file exists, as given otherwise.
    calls.clear();
    std::filesystem::path saver = probePath();
    wchar_t shortPath[MAX_PATH] = L"";
    ASSERT_NE(GetShortPathNameW(saver.wstring().c_str(), shortPath, MAX_PATH), 0u);
    eval("SysInfo.screenSaver = " + literal(saver) + "; SysInfo.screenSaver = 'C:\\\\gone.scr';");
    EXPECT_EQ(calls, (std::vector<Call>{{shortPath, 0}, {L"C:\\gone.scr", 0}}));
}

TEST_F(SysInfoTest, DisplayModeChangesStartFromTheCurrentMode) {
    DEVMODEW current{};
    current.dmSize = sizeof current;
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &current));
    EXPECT_EQ(eval("var m = {pelsWidth: 800, pelsHeight: 600.0, bitsPerPel: 'x'}; "
                   "SysInfo.displaySetting = m; m.test"),
              std::to_string(DISP_CHANGE_RESTART));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].value, DWORD{CDS_UPDATEREGISTRY});
    EXPECT_EQ(lastMode.dmFields, DWORD{DM_PELSWIDTH | DM_PELSHEIGHT});
    EXPECT_EQ(lastMode.dmPelsWidth, 800u);
    EXPECT_EQ(lastMode.dmPelsHeight, 600u);
    EXPECT_EQ(lastMode.dmBitsPerPel, current.dmBitsPerPel);  // kept from the current mode
    eval("SysInfo.displaySetting = 5; SysInfo.displaySetting = null;");
    EXPECT_EQ(calls.size(), 1u);

    // Only asking changes nothing, so the real system answers: the current mode is possible,
    // 800 by 600 is not among the modes of the test display.
    systemActions().changeDisplayMode = realSystemActions().changeDisplayMode;
    LONG expected = ChangeDisplaySettingsW(&lastMode, CDS_TEST);
    EXPECT_EQ(eval("var m = {pelsWidth: 800, pelsHeight: 600, test: true}; "
                   "SysInfo.displaySetting = m; m.test"),
              std::to_string(expected));
    EXPECT_EQ(eval("var d = SysInfo.displaySetting; d.test = true; SysInfo.displaySetting = d; "
                   "d.test"),
              "0");
}

}  // namespace
}  // namespace quill::gui
