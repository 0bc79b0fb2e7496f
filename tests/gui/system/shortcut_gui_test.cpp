// Shortcut and URLShortcut under Wine: link files written by scripts and read back by scripts and
// by the system's own shell-link object, hot-key texts both ways, icon locations, and Internet
// shortcut files.
#include "tests/gui/system/desktop_test_support.h"

#include <objbase.h>
#include <shlobj.h>

#include <fstream>

namespace quill::gui {
namespace {

using ShortcutTest = DesktopTest;

// The link as the system's own object reads it from the file.
struct LinkFile {
    std::wstring target, arguments, folder, description, icon;
    int iconIndex = 0;
    WORD hotKey = 0;
};
LinkFile readLink(const std::filesystem::path& file) {
    LinkFile link;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* shell = nullptr;
    IPersistFile* persist = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell)))) {
        return link;
    }
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(file.wstring().c_str(), STGM_READ))) {
        wchar_t text[1024];
        shell->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
        link.target = text;
        shell->GetArguments(text, 1024);
        link.arguments = text;
        shell->GetWorkingDirectory(text, 1024);
        link.folder = text;
        shell->GetDescription(text, 1024);
        link.description = text;
        shell->GetIconLocation(text, 1024, &link.iconIndex);
        link.icon = text;
        shell->GetHotkey(&link.hotKey);
    }
    if (persist) persist->Release();
    shell->Release();
    return link;
}

TEST_F(ShortcutTest, WrittenAndReadBackThroughTheShellLink) {
    ScratchFolder scratch("quill-shortcut");
    std::filesystem::path file = scratch / "probe.lnk";
    std::string make =
        "var s = new Shortcut(" + literal(file) + "); s.targetPath = " + literal(probePath()) +
        "; s.arguments = '--exit 4'; s.workingDirectory = " + literal(scratch.path()) +
        "; s.description = 'The probe'; s.iconLocation = " + literal(probePath().string() + ",3") +
        "; s.hotKey = 'ctrl+ALT+f'; s.windowStyle = 3; s.save()";
    ASSERT_EQ(eval(make), "true");

    LinkFile link = readLink(file);
    EXPECT_EQ(std::filesystem::path(link.target), probePath());
    EXPECT_EQ(link.arguments, L"--exit 4");
    EXPECT_EQ(std::filesystem::path(link.folder), scratch.path());
    EXPECT_EQ(link.description, L"The probe");
    EXPECT_EQ(std::filesystem::path(link.icon), probePath());
    EXPECT_EQ(link.iconIndex, 3);
    EXPECT_EQ(link.hotKey, MAKEWORD('F', HOTKEYF_CONTROL | HOTKEYF_ALT));

    std::string open = "var t = new Shortcut(" + literal(file) + "); ";
    EXPECT_EQ(eval(open + "[t.targetPath == " + literal(probePath()) +
                   ", t.arguments, t.workingDirectory == " + literal(scratch.path()) +
                   ", t.description, t.iconLocation == " + literal(probePath().string() + ",3") +
                   ", t.hotKey, t.fullName == " + literal(file) + "].join('|')"),
              "true|--exit 4|true|The probe|true|CTRL+ALT+F|true");
    // Wine's shell link keeps the show command in the file but answers its own default when
    // it is read back; a real system answers 3.
    EXPECT_EQ(eval(open + "typeof t.windowStyle"), "number");
    EXPECT_EQ(eval(open + "t + ''"), "[object Shortcut]");
}

TEST_F(ShortcutTest, HotKeyTextsBothWays) {
    ScratchFolder scratch("quill-hotkey");
    std::string s = "var s = new Shortcut(" + literal(scratch / "k.lnk") + "); ";
    EXPECT_EQ(eval(s + "s.hotKey"), "None");
    EXPECT_EQ(eval(s + "s.hotKey = 'CTRL+num 5'; s.hotKey"), "CTRL+Num 5");
    EXPECT_EQ(eval(s + "s.hotKey = 'shift+Alt+Ctrl+F12'; s.hotKey"), "CTRL+SHIFT+ALT+F12");
    // Insert, Home and End are the extended keys, not their twins on the keypad.
    EXPECT_EQ(eval(s + "s.hotKey = 'ALT+home'; s.hotKey"), "ALT+Home");
    EXPECT_EQ(eval(s + "s.hotKey = 'ctrl+q'; s.hotKey"), "CTRL+Q");
    EXPECT_EQ(eval(s + "s.hotKey = 'CTRL+7'; s.hotKey"), "CTRL+7");
    // Empty parts are skipped; a word that is no key name is the key of its first letter.
    EXPECT_EQ(eval(s + "s.hotKey = '++ctrl++zebra'; s.hotKey"), "CTRL+Z");
    EXPECT_EQ(eval(s + "s.hotKey = ''; s.hotKey"), "None");
    ASSERT_EQ(eval(s + "s.hotKey = 'CTRL+num 5'; s.save()"), "true");
    EXPECT_EQ(readLink(scratch / "k.lnk").hotKey, MAKEWORD(VK_NUMPAD5, HOTKEYF_CONTROL));
    ASSERT_EQ(eval(s + "s.hotKey = 'ins'; s.save()"), "true");
    EXPECT_EQ(readLink(scratch / "k.lnk").hotKey, MAKEWORD(VK_INSERT, HOTKEYF_EXT));
}

TEST_F(ShortcutTest, IconLocationAndOddConstruction) {
    ScratchFolder scratch("quill-icon");
    std::string s = "var s = new Shortcut(" + literal(scratch / "i.lnk") + "); ";
    EXPECT_EQ(eval(s + "s.iconLocation"), ",0");
    EXPECT_EQ(eval(s + "s.iconLocation = 'C:\\\\icons\\\\app.ico,3'; s.iconLocation"),
              "C:\\icons\\app.ico,3");
    EXPECT_EQ(eval(s + "s.iconLocation = 'C:\\\\icons\\\\app.ico'; s.iconLocation"),
              "C:\\icons\\app.ico,0");
    // The index follows the last comma: folder names may hold commas.
    EXPECT_EQ(eval(s + "s.iconLocation = 'C:\\\\a,b\\\\x.ico,-2'; s.iconLocation"),
              "C:\\a,b\\x.ico,-2");
    // Texts longer than any fixed buffer come back whole.
    EXPECT_EQ(eval(s + "var d = new Array(6001).join('d'); s.description = d; "
                       "s.description == d"),
              "true");

    EXPECT_TRUE(isNull("new Shortcut(5)"));
    EXPECT_TRUE(isNull("new Shortcut('')"));
    EXPECT_TRUE(isNull("new Shortcut()"));
    // A relative name is made whole at once, so saving does not depend on the current folder.
    std::string full = eval("new Shortcut('relative.lnk').fullName");
    EXPECT_TRUE(std::filesystem::path(full).is_absolute()) << full;
    // A file that is no link: the object starts empty.
    std::ofstream(scratch / "junk.lnk") << "not a link";
    EXPECT_EQ(eval("var j = new Shortcut(" + literal(scratch / "junk.lnk") +
                   "); '[' + j.targetPath + ']'"),
              "[]");
}

TEST_F(ShortcutTest, UrlShortcutFiles) {
    ScratchFolder scratch("quill-url");
    std::filesystem::path file = scratch / "site.url";
    std::string u = "var u = new URLShortcut(" + literal(file) + "); ";
    EXPECT_EQ(eval(u + "'[' + u.url + ']'"), "[]");
    // The system may add the protocol the text lacks: a real one does, Wine keeps the text.
    EXPECT_EQ(eval(u + "u.url = 'www.example.com'; "
                       "u.url == 'http://www.example.com/' || u.url == 'www.example.com'"),
              "true");
    EXPECT_EQ(eval(u + "u.url = 'ftp://files.example.com/a'; u.save()"), "true");
    EXPECT_NE(readText(file).find("URL=ftp://files.example.com/a"), std::string::npos)
        << readText(file);
    EXPECT_EQ(eval(u + "u.url"), "ftp://files.example.com/a");
    EXPECT_EQ(eval(u + "u + ''"), "[object URLShortcut]");
    EXPECT_TRUE(isNull("new URLShortcut(1)"));
}

}  // namespace
}  // namespace quill::gui
