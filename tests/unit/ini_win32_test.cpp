// Ini where a script cannot set the scene: relative paths against the current folder (the
// system would look in the Windows folder), and values far longer than the first read buffer.
#include "win32_host_test_support.h"

using namespace quill;
using namespace quill::test;

namespace {

using IniTest = Win32HostTest;

TEST_F(IniTest, IniPathsAreTakenFromTheCurrentFolder) {
    wchar_t saved[MAX_PATH + 1];
    GetCurrentDirectoryW(MAX_PATH + 1, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.c_str()));
    std::string result = eval(
        "var i = new Ini('settings.ini'); i.writeString('s', 'k', 'v'); "
        "i.getString('s', 'k')");
    SetCurrentDirectoryW(saved);
    EXPECT_EQ(result, "v");
    EXPECT_TRUE(exists(at(L"settings.ini")));

    // A value far longer than the first read buffer comes back whole.
    std::string ini = "var i = new Ini(" + scriptPath(L"long.ini") + "); ";
    EXPECT_EQ(
        eval(ini + "var v = 'x'; while (v.length < 40000) v += v; i.writeString('s', 'k', v); "
                   "i.getString('s', 'k').length == v.length && i.getSection('s')[0].length"),
        "65538");
}

}  // namespace
