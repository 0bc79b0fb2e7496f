// The projector's dialogs end to end, on packed projectors run as child processes: the options
// dialog opened through the window's Config command (Cancel keeps everything, OK stores,
// applies and survives a restart), the about box's texts, links and picture, and the "Open"
// dialog of a projector without movies.
#include "tests/projector/projector_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "projector/dialog_ids.h"
#include "projector/records/project_settings.h"

namespace quill::projector::test {
namespace {

constexpr const char* kSection = "Software\\Quill Tests\\Dialogs\\Settings";
constexpr UINT kConfigCommand = 32777;
constexpr UINT kAboutCommand = 32780;
constexpr UINT kOpenMovieCommand = 0xE101;

std::string movie() {
    return "[movie]\nwidth = 200\nheight = 100\n[[frame]]\nframe = 1\nactions = '''\n"
           "fscommand \"Quill_Run\" \"shown\"\nstop\n'''\n";
}

// Packs a project (one movie unless `movies` says otherwise) with the given sections.
std::string packDialogs(const Scratch& scratch, const std::string& sections,
                        const std::string& movies = "[\"m.swf\"]") {
    buildMovie(movie(), scratch.path("m.swf"));
    writeText(scratch.path("shown.qls"), logFunction(scratch.path("log.txt")) + "log('shown');");
    writeText(scratch.path("p.toml"), "id = \"Quill Tests/Dialogs\"\nmovies = " + movies +
                                          "\nscripts = [\"shown.qls\"]\n" + sections);
    std::string exe = scratch.path("p.exe");
    packProject(scratch.path("p.toml"), exe);
    return exe;
}

std::wstring controlText(HWND dialog, int id) {
    HWND control = gui::findControl(dialog, id);
    return control ? gui::windowText(control) : L"<missing>";
}

// A hyperlink's address: the text of its hidden child.
std::wstring linkAddress(HWND dialog, int id) {
    HWND link = gui::findControl(dialog, id);
    HWND address = link ? GetDlgItem(link, 1) : nullptr;
    return address ? gui::windowText(address) : L"<missing>";
}

void setCheck(HWND dialog, int id, bool on) {
    SendMessageW(gui::findControl(dialog, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The settings record as the options dialog stored it.
project::ProjectSettings storedSettings(const Scratch& scratch) {
    std::vector<uint8_t> bytes = readUserValue(kSection, "Options");
    project::ProjectSettings settings;
    project::MemoryStream stream(bytes);
    project::ExtractTarget target;
    target.workFolder = scratch.path("tmp\\");
    EXPECT_TRUE(project::ReadProjectSettings(&settings, stream, target));
    return settings;
}

class ProjectorDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerControl(true)); }
    void TearDown() override { deleteUserKey("Software\\Quill Tests"); }
};

TEST_F(ProjectorDialogs, OptionsCancelKeepsEverythingAndOkStoresAppliesAndLasts) {
    Scratch scratch("dialogs-options");
    std::string exe = packDialogs(scratch,
                                  "[window]\ntitle = \"Before\"\nframe = [\"caption\"]\n"
                                  "buttons = [\"minimize\", \"system-menu\"]\n"
                                  "[placement]\nsize = \"pixels\"\nwidth = 320\nheight = 240\n");
    {
        Projector p(exe, inTmp(scratch));
        HWND window = shownWindow(p, scratch);
        ASSERT_TRUE(window);
        std::vector<uint8_t> stored = readUserValue(kSection, "Options");
        ASSERT_FALSE(stored.empty());

        // Cancel after editing: nothing applied, nothing written.
        PostMessageW(window, WM_SYSCOMMAND, kConfigCommand, 0);
        HWND options = waitDialog(p, L"Options");
        ASSERT_TRUE(options);
        HWND tabs = gui::findControl(options, IDC_OPTION_TABS);
        ASSERT_TRUE(tabs);
        EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 5);
        EXPECT_EQ(controlText(options, IDC_TITLE), L"Before");
        EXPECT_EQ(controlText(options, IDC_SIZE_PERCENT), L"Percentage of desktop");
        EXPECT_EQ(controlText(options, IDC_NO_TASK_SWITCH),
                  L"Disable ALT-TAB and ALT-CTRL-DEL(for win9x only)");
        EXPECT_EQ(controlText(options, IDC_WIDTH), L"320");
        EXPECT_EQ(SendMessageW(gui::findControl(options, IDC_ALIGNMENT), CB_GETCOUNT, 0, 0), 11);
        EXPECT_EQ(SendMessageW(gui::findControl(options, IDC_BORDER_SINGLE), BM_GETCHECK, 0, 0),
                  BST_CHECKED);
        SetWindowTextW(gui::findControl(options, IDC_TITLE), L"Cancelled");
        setCheck(options, IDC_TOPMOST, true);
        PostMessageW(options, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(options); }));
        EXPECT_EQ(gui::windowText(window), L"Before");
        EXPECT_FALSE(gui::exStyle(window) & WS_EX_TOPMOST);
        EXPECT_EQ(readUserValue(kSection, "Options"), stored);

        // A colour text that is no colour keeps the dialog open with a message.
        PostMessageW(window, WM_SYSCOMMAND, kConfigCommand, 0);
        options = waitDialog(p, L"Options");
        ASSERT_TRUE(options);
        SetWindowTextW(gui::findControl(options, IDC_TITLE), L"After");
        setCheck(options, IDC_TOPMOST, true);
        SetWindowTextW(gui::findControl(options, IDC_COLOR_TEXT), L"0xZZ");
        PostMessageW(options, WM_COMMAND, IDOK, 0);
        HWND message = nullptr;
        ASSERT_TRUE(gui::waitFor([&] {
            for (HWND w : gui::threadWindows(p.threadId())) {
                if (w != options && gui::className(w) == L"#32770" && IsWindowVisible(w)) {
                    message = w;
                }
            }
            return message != nullptr;
        }));
        EXPECT_EQ(gui::windowText(GetDlgItem(message, 0xFFFF)),
                  L"The background color must be a hexadecimal color such as 0xFFFFFF.");
        PostMessageW(message, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(message); }));
        ASSERT_TRUE(IsWindow(options));
        EXPECT_EQ(readUserValue(kSection, "Options"), stored);

        // OK with a choice on every page: stored and applied to the running window.
        SetWindowTextW(gui::findControl(options, IDC_COLOR_TEXT), L"0x102030");
        setCheck(options, IDC_CUSTOM_COLOR, true);
        setCheck(options, IDC_MUTE, true);
        setCheck(options, IDC_BORDER_SINGLE, false);
        setCheck(options, IDC_BORDER_NONE, true);
        setCheck(options, IDC_SCALE_SHOW_ALL, false);
        setCheck(options, IDC_SCALE_EXACT_FIT, true);
        SetWindowTextW(gui::findControl(options, IDC_PERCENT), L"50");  // picks the percentage
        setCheck(options, IDC_RIGHT_PLAYER_MENU, false);
        setCheck(options, IDC_RIGHT_IGNORE, true);
        setCheck(options, IDC_EXIT_ESCAPE, true);
        setCheck(options, IDC_MENU_ABOUT, true);
        PostMessageW(options, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(options); }));
        EXPECT_TRUE(gui::waitFor([&] { return gui::windowText(window) == L"After"; }));
        EXPECT_TRUE(gui::waitFor([&] { return (gui::exStyle(window) & WS_EX_TOPMOST) != 0; }));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_TRUE(gui::style(window) & WS_POPUP);
        RECT r = gui::windowRect(window);
        EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN) * 50 / 100);
        EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYSCREEN) * 50 / 100);

        project::ProjectSettings s = storedSettings(scratch);
        EXPECT_EQ(s.windowTitle, "After");
        EXPECT_EQ(s.frameStyle, 0x1u);
        EXPECT_EQ(s.frameButtons, 0x110u);  // untouched
        EXPECT_EQ(s.frameParam, 256u);
        EXPECT_EQ(s.sizeMode, 4u);
        EXPECT_EQ(s.height, 50u);  // the percentage lives in the height field
        EXPECT_EQ(s.width, 320u);
        EXPECT_EQ(s.interactionB, 2u);
        EXPECT_EQ(s.closeFlags, 0x1u);
        EXPECT_EQ(s.systemMenuFlags, 0x100u);
        EXPECT_EQ(s.windowFlags & 0x100, 0x100u);
        EXPECT_EQ(s.miscFlags, 0x100u);
        EXPECT_EQ(s.miscParam, 0x102031u);  // bit 0 switches the colour on
        closeProjector(p);
    }
    {
        // The stored options are the settings of the next run.
        Projector p(exe, inTmp(scratch));
        HWND window = p.mainWindow();
        ASSERT_TRUE(window);
        EXPECT_TRUE(gui::waitFor([&] { return (gui::exStyle(window) & WS_EX_TOPMOST) != 0; }));
        EXPECT_EQ(gui::windowText(window), L"After");
        closeProjector(p);
    }
}

// A 2 by 2 24-bit bitmap file.
std::string bitmapFile() {
    const unsigned char bytes[] = {
        'B', 'M', 70,  0,   0,   0,   0, 0, 0, 0, 54, 0, 0, 0,  // file header
        40,  0,   0,   0,   2,   0,   0, 0, 2, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
        16,  0,   0,   0,   0,   0,   0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0,  // info header
        0,   0,   255, 0,   255, 0,   0, 0,                                        // row of 8
        255, 0,   0,   255, 255, 255, 0, 0};
    static_assert(sizeof bytes == 70);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST_F(ProjectorDialogs, AboutBoxVersionRuleLinksAndPicture) {
    struct Case {
        const char* version;
        const char* email;
        bool bitmap;
        const char* flags;
        const wchar_t* versionLine;
        const wchar_t* mailAddress;
    };
    const Case cases[] = {
        {"1.0", "someone@example.org", true, "[]", L"Version 1.0", L"mailto:someone@example.org"},
        {"Version 2", "mailto:other@example.org", false, "[]", L"Version 2",
         L"mailto:other@example.org"},
        // The playing movie is the picture: the bitmap is not even extracted.
        {"3", "x@example.org", true, "[\"movie-picture\"]", L"Version 3", L"mailto:x@example.org"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        Scratch scratch("dialogs-about");
        writeText(scratch.path("about.bmp"), bitmapFile());
        std::string exe = packDialogs(
            scratch, std::string("[product]\nname = \"Quill Test\"\nversion = \"") + c.version +
                         "\"\nlegal_notice = \"All yours\"\n[about]\nweb_address = "
                         "\"https://example.org/\"\nlink_text = \"Our site\"\nemail = \"" +
                         c.email + "\"\nflags = " + c.flags + "\n" +
                         (c.bitmap ? "bitmap = \"" + scratch.slashed("about.bmp") + "\"\n" : ""));
        Projector p(exe, inTmp(scratch));
        HWND window = shownWindow(p, scratch);
        ASSERT_TRUE(window);
        PostMessageW(window, WM_SYSCOMMAND, kAboutCommand, 0);
        HWND about = waitDialog(p, L"About");
        ASSERT_TRUE(about);
        EXPECT_EQ(controlText(about, IDC_ABOUT_PRODUCT), L"Quill Test");
        EXPECT_EQ(controlText(about, IDC_ABOUT_VERSION), c.versionLine);
        EXPECT_EQ(controlText(about, IDC_ABOUT_THIRD), L"All yours");
        EXPECT_EQ(gui::className(gui::findControl(about, IDC_ABOUT_WEB)), L"PLEXORURL");
        EXPECT_EQ(controlText(about, IDC_ABOUT_WEB), L"Our site");
        EXPECT_EQ(linkAddress(about, IDC_ABOUT_WEB), L"https://example.org/");
        std::string email = c.email;
        EXPECT_EQ(controlText(about, IDC_ABOUT_EMAIL), std::wstring(email.begin(), email.end()));
        EXPECT_EQ(linkAddress(about, IDC_ABOUT_EMAIL), c.mailAddress);
        // The BK picture is shown and kept once as Plexor.BK; without it the area stays empty.
        bool movieShown = std::string(c.flags) != "[]";
        HWND picture = gui::findControl(about, IDC_ABOUT_PICTURE);
        EXPECT_EQ(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0,
                  c.bitmap || movieShown);
        std::vector<std::string> folders = listFolder(scratch.path("tmp\\"));
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(fileExists(scratch.path("tmp\\" + folders[0] + "\\Plexor.BK")),
                  c.bitmap && !movieShown);
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(gui::waitFor([&] { return !IsWindow(about); }));
        closeProjector(p);
    }
}

// A click on a link hands its address to the shell's "open": here a command file that leaves a
// trace, instead of a browser.
TEST_F(ProjectorDialogs, LinkClickOpensTheAddressThroughTheShell) {
    Scratch scratch("dialogs-link");
    writeText(scratch.path("clicked.cmd"),
              "@echo clicked> \"" + scratch.path("clicked.txt") + "\"\r\n");
    std::string exe = packDialogs(scratch, "[about]\nlink_text = \"Run it\"\nweb_address = \"" +
                                               scratch.slashed("clicked.cmd") + "\"\n");
    Projector p(exe, inTmp(scratch));
    HWND window = p.mainWindow();
    ASSERT_TRUE(window);
    PostMessageW(window, WM_SYSCOMMAND, kAboutCommand, 0);
    HWND about = waitDialog(p, L"About");
    ASSERT_TRUE(about);
    HWND link = gui::findControl(about, IDC_ABOUT_WEB);
    ASSERT_TRUE(link);
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(waitForText(scratch.path("clicked.txt"), "clicked"));
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(gui::waitFor([&] { return !IsWindow(about); }));
    closeProjector(p);
}

// Answers the system's file dialog of the projector's thread (titled "Open", owned by the
// options dialog) with a file name, or cancels it when `file` is empty.
bool answerFileDialog(const Projector& p, HWND options, const std::string& file) {
    HWND dialog = nullptr;
    if (!gui::waitFor([&] {
            for (HWND w : gui::threadWindows(p.threadId())) {
                if (w != options && gui::className(w) == L"#32770" && IsWindowVisible(w) &&
                    gui::windowText(w) == L"Open") {
                    dialog = w;
                }
            }
            return dialog != nullptr && gui::findControl(dialog, gui::kFileNameBox) != nullptr;
        })) {
        return false;
    }
    if (!file.empty()) {
        std::wstring name(file.begin(), file.end());
        SendMessageW(gui::findControl(dialog, gui::kFileNameBox), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(name.c_str()));
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(file.empty() ? IDCANCEL : IDOK, BN_CLICKED), 0);
    return gui::waitFor([&] { return !IsWindow(dialog); });
}

// Clicks a button of a page the way the user does, without needing the page in front.
void pressButton(HWND options, int id) {
    HWND button = gui::findControl(options, id);
    ASSERT_TRUE(button);
    PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// The browse buttons: a mask from elsewhere is copied into the work folder, chosen and applied
// on OK; a cancelled browse changes nothing; a help file fills the help field and ticks it.
// The hover buttons light up under the mouse.
TEST_F(ProjectorDialogs, BrowseButtonsAndTheHoverButtons) {
    Scratch scratch("dialogs-browse");
    std::string exe = packDialogs(scratch,
                                  "[window]\ntitle = \"Browse\"\nframe = [\"popup\"]\n"
                                  "scale = \"exact-fit\"\n[placement]\nsize = \"pixels\"\n"
                                  "width = 275\nheight = 200\nposition = \"top-left\"\n");
    CopyFileA(sourcePath("examples/projector/round.msk").c_str(),
              scratch.path("corner.msk").c_str(), FALSE);
    writeText(scratch.path("manual.chm"), "not really help");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    PostMessageW(window, WM_SYSCOMMAND, kConfigCommand, 0);
    HWND options = waitDialog(p, L"Options");
    ASSERT_TRUE(options);
    HWND maskList = gui::findControl(options, IDC_MASK_LIST);
    ASSERT_TRUE(maskList);

    // Cancelled: no mask, still a rectangle.
    pressButton(options, IDC_MASK_BROWSE);
    ASSERT_TRUE(answerFileDialog(p, options, ""));
    EXPECT_EQ(SendMessageW(maskList, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(gui::findControl(options, IDC_SHAPE_RECTANGLE), BM_GETCHECK, 0, 0),
              BST_CHECKED);

    pressButton(options, IDC_MASK_BROWSE);
    ASSERT_TRUE(answerFileDialog(p, options, scratch.path("corner.msk")));
    EXPECT_EQ(controlText(options, IDC_MASK_LIST), L"corner");
    EXPECT_EQ(SendMessageW(gui::findControl(options, IDC_SHAPE_MASK), BM_GETCHECK, 0, 0),
              BST_CHECKED);
    bool copied = false;
    for (const std::string& folder : listFolder(scratch.path("tmp\\"))) {
        copied = copied || fileExists(scratch.path("tmp\\" + folder + "\\corner.msk"));
    }
    EXPECT_TRUE(copied);

    pressButton(options, IDC_HELP_BROWSE);
    ASSERT_TRUE(answerFileDialog(p, options, scratch.path("manual.chm")));
    std::wstring help = controlText(options, IDC_HELP_FILE);
    EXPECT_NE(help.find(L"manual.chm"), std::wstring::npos);
    EXPECT_EQ(SendMessageW(gui::findControl(options, IDC_USE_HELP), BM_GETCHECK, 0, 0),
              BST_CHECKED);

    // The last page (the one with the hover buttons), chosen from the keyboard on the tabs.
    HWND tabs = gui::findControl(options, IDC_OPTION_TABS);
    ASSERT_TRUE(gui::bringToFront(options));
    ASSERT_TRUE(gui::click(tabs, {10, 8}));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(gui::pressKey(VK_RIGHT));
    HWND chooser = gui::findControl(options, IDC_COLOR_CHOOSE);
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(gui::waitFor([&] { return IsWindowVisible(chooser) != FALSE; }));
    // Read through the dialog: the button is a child window of another process.
    POINT inside{5, 5};
    MapWindowPoints(chooser, options, &inside, 1);
    auto face = [&] { return gui::readPixel(options, inside.x, inside.y); };
    const COLORREF resting = GetSysColor(COLOR_BTNFACE), lit = GetSysColor(COLOR_3DHILIGHT);
    ASSERT_NE(resting, lit);
    POINT away{2, 2}, over{5, 5};
    ClientToScreen(options, &away);
    ClientToScreen(chooser, &over);
    SetCursorPos(away.x, away.y);
    EXPECT_TRUE(gui::waitFor([&] { return face() == resting; }));
    ASSERT_TRUE(gui::mouseAt(MOUSEEVENTF_MOVE, over));
    EXPECT_TRUE(gui::waitFor([&] { return face() == lit; }));
    ASSERT_TRUE(gui::mouseAt(MOUSEEVENTF_MOVE, away));
    EXPECT_TRUE(gui::waitFor([&] { return face() == resting; }));

    // OK applies the browsed mask to the running window.
    PostMessageW(options, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(options); }));
    std::optional<gui::Region> region;
    ASSERT_TRUE(gui::waitFor([&] { return (region = gui::windowRegion(window)).has_value(); }));
    EXPECT_TRUE(region->contains(5, 5));
    // The mask is in the movie's coordinates (550 by 400), stretched here over a 200 by 100
    // movie: its lower, narrower band starts below the window.
    EXPECT_EQ(region->rects.size(), 2u);
    EXPECT_GE(region->rects[1].top, 200);
    closeProjector(p);
}

// A page whose dialog template is missing from the executable keeps the options dialog from
// showing: nothing changes, and the window goes on working (the command can be tried again).
TEST_F(ProjectorDialogs, APageThatCannotBeMadeKeepsTheOptionsClosed) {
    Scratch scratch("dialogs-nopage");
    packDialogs(scratch, "[window]\ntitle = \"No page\"\n");
    // The same project packed onto a projector whose page template names a control class that
    // does not exist, so the page cannot be made.
    std::vector<WORD> brokenTemplate = {
        0, 0x4000, 0, 0, 1, 0, 0,  100, 100,  // style WS_CHILD, no extended style, 1 item, size
        0, 0,      0,                         // no menu, the standard class, no title (aligned)
        0, 0x5000, 0, 0, 0, 0, 50, 14,  1000  // WS_CHILD | WS_VISIBLE, position, size, id
    };
    for (wchar_t c : std::wstring(L"NoSuchClass")) brokenTemplate.push_back(c);
    brokenTemplate.insert(brokenTemplate.end(), {0, 0, 0});  // class end, no title, no data
    std::string stub = scratch.path("stub.exe"), exe = scratch.path("nopage.exe");
    ASSERT_TRUE(CopyFileA(stubPath().c_str(), stub.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceA(stub.c_str(), FALSE);
    ASSERT_TRUE(update);
    ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_PAGE_BEHAVIOUR),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), brokenTemplate.data(),
                                brokenTemplate.size() * 2));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    std::string output;
    ASSERT_EQ(runQuill("pack \"" + scratch.path("p.toml") + "\" -o \"" + exe + "\" --stub \"" +
                           stub + "\"",
                       &output),
              0)
        << output;
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    std::vector<uint8_t> stored = readUserValue(kSection, "Options");
    for (int attempt = 0; attempt < 2; ++attempt) {
        PostMessageW(window, WM_SYSCOMMAND, kConfigCommand, 0);
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer));
        // The dialog exists, hidden, while its pages are being made, and the window may answer
        // a sent message in that time; it must go away without ever showing.
        bool shown = false;
        EXPECT_TRUE(gui::waitFor([&] {
            HWND options = gui::findWindow(L"#32770", L"Options", p.threadId());
            if (options && IsWindowVisible(options)) shown = true;
            return options == nullptr;
        }));
        EXPECT_FALSE(shown);
    }
    EXPECT_EQ(gui::windowText(window), L"No page");
    EXPECT_EQ(readUserValue(kSection, "Options"), stored);
    closeProjector(p);
}

// The hidden cursor, asked for by the settings, shows again when the options turn it off; the
// system reports the cursor state of the thread in front.
TEST_F(ProjectorDialogs, TheHiddenCursorShowsAgainWhenTheOptionIsTurnedOff) {
    Scratch scratch("dialogs-cursor");
    std::string exe = packDialogs(scratch, "[input]\nsystem = [\"hide-cursor\"]\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    ASSERT_TRUE(gui::bringToFront(window));
    auto showing = [] {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        return GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING) != 0;
    };
    EXPECT_TRUE(gui::waitFor([&] { return !showing(); }));
    PostMessageW(window, WM_SYSCOMMAND, kConfigCommand, 0);
    HWND options = waitDialog(p, L"Options");
    ASSERT_TRUE(options);
    EXPECT_EQ(SendMessageW(gui::findControl(options, IDC_NO_CURSOR), BM_GETCHECK, 0, 0),
              BST_CHECKED);
    setCheck(options, IDC_NO_CURSOR, false);
    PostMessageW(options, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(options); }));
    ASSERT_TRUE(gui::bringToFront(window));
    EXPECT_TRUE(gui::waitFor(showing));
    closeProjector(p);
}

TEST_F(ProjectorDialogs, OpenDialogAsksForTheMovieOfAProjectorWithoutOne) {
    Scratch scratch("dialogs-open");
    std::string exe = packDialogs(scratch, "[window]\ntitle = \"Empty\"\n", "[]");
    Projector p(exe, inTmp(scratch));
    HWND window = p.mainWindow();
    ASSERT_TRUE(window);
    // Cancel plays nothing.
    PostMessageW(window, WM_COMMAND, kOpenMovieCommand, 0);
    HWND open = waitDialog(p, L"Open");
    ASSERT_TRUE(open);
    EXPECT_EQ(controlText(open, IDC_OPEN_PROMPT),
              L"Enter the World Wide Web location (URL) or specify the local file you would "
              L"like to open.");
    EXPECT_EQ(controlText(open, IDC_OPEN_LABEL), L"Location:");
    EXPECT_EQ(controlText(open, IDOK), L"OK");
    EXPECT_EQ(controlText(open, IDCANCEL), L"Cancel");
    EXPECT_EQ(controlText(open, IDC_OPEN_BROWSE), L"&Browse...");
    PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(open); }));

    // OK plays the location typed.
    PostMessageW(window, WM_COMMAND, kOpenMovieCommand, 0);
    open = waitDialog(p, L"Open");
    ASSERT_TRUE(open);
    std::string location = scratch.path("m.swf");
    SetWindowTextW(gui::findControl(open, IDC_LOCATION),
                   std::wstring(location.begin(), location.end()).c_str());
    PostMessageW(open, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(open); }));
    EXPECT_TRUE(waitForText(scratch.path("log.txt"), "shown\n"));
    closeProjector(p);
}

}  // namespace
}  // namespace quill::projector::test
