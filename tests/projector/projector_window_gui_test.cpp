// The settings record applied to the projector's window, end to end: styles, placement,
// the mask shape, window flags, the window menu on the right button, and the key filter's close
// keys, on projectors packed by `quill pack` and run as child processes.
#include "tests/projector/projector_test_support.h"

#include <gtest/gtest.h>

namespace quill::projector::test {
namespace {

// A 200 by 100 movie with a button at (10,10)-(90,40) that logs "clicked".
std::string buttonMovie() {
    return "[movie]\nwidth = 200\nheight = 100\n[[shape]]\nname = \"box\"\n"
           "rect = [0, 0, 80, 30]\nfill = \"#ff0000\"\n[[button]]\nname = \"go\"\nup = \"box\"\n"
           "fscommand = [\"Quill_Eval\", \"log('clicked')\"]\n[[place]]\nname = \"go\"\n"
           "x = 10\ny = 10\n[[frame]]\nframe = 1\nactions = \"fscommand \\\"Quill_Run\\\" "
           "\\\"shown\\\"\\nstop\"\n";
}

class ProjectorWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerControl(true)); }
    void TearDown() override { deleteUserKey("Software\\Quill Tests"); }
};

TEST_F(ProjectorWindow, PopupFramePixelPlacementAndTopmost) {
    Scratch scratch("window-popup");
    std::string exe = packWindow(
        scratch,
        "[window]\ntitle = \"Popup\"\nframe = [\"popup\"]\n"
        "buttons = [\"maximize\", \"minimize\", \"system-menu\", \"help\"]\nflags = [\"autoplay\", "
        "\"topmost\"]\n[placement]\nsize = \"pixels\"\nwidth = 320\nheight = 200\n"
        "position = \"pixels\"\nx = 30\ny = 40\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    // The window flags come last in start-up, after the movie's first frame may have run.
    EXPECT_TRUE(gui::waitFor([&] { return (gui::exStyle(window) & WS_EX_TOPMOST) != 0; }));
    DWORD style = gui::style(window), ex = gui::exStyle(window);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    // A pop-up gets neither a maximize box nor the help button, whatever the buttons say.
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(ex & WS_EX_CONTEXTHELP);
    EXPECT_TRUE(ex & WS_EX_APPWINDOW);
    RECT r = gui::windowRect(window);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 200);
    EXPECT_EQ(gui::windowText(window), L"Popup");
    EXPECT_FALSE(gui::windowRegion(window));  // a rectangle: no region
    closeProjector(p);
}

TEST_F(ProjectorWindow, CaptionWindowSizedToTheMovieAndItsMenuOnTheRightButton) {
    Scratch scratch("window-menu");
    std::string exe = packWindow(scratch,
                                 "[window]\ntitle = \"Menus\"\nframe = [\"caption\"]\n"
                                 "buttons = [\"minimize\", \"system-menu\"]\n"
                                 "system_menu = [\"config\", \"player-menu\", \"about\"]\n"
                                 "[input]\nright_button = \"projector-menu\"\n"
                                 "[placement]\nsize = \"movie\"\nposition = \"top-left\"\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    RECT client = gui::clientRectOnScreen(window), outer = gui::windowRect(window);
    EXPECT_EQ(client.right - client.left, 200);
    EXPECT_EQ(client.bottom - client.top, 100);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_TRUE(gui::style(window) & WS_CAPTION);
    EXPECT_FALSE(gui::style(window) & WS_THICKFRAME);

    // The right button opens the window's menu at the cursor instead of reaching the movie.
    auto menuOpen = [&] { return popupMenuShown(p.threadId()); };
    EXPECT_FALSE(menuOpen());
    ASSERT_TRUE(gui::click(window, {100, 50}, gui::Button::Right));
    EXPECT_TRUE(gui::waitFor(menuOpen));
    gui::pressKey(VK_ESCAPE);
    EXPECT_TRUE(gui::waitFor([&] { return !menuOpen(); }));

    closeProjector(p);
}

TEST_F(ProjectorWindow, MaskShapesTheWindowAndAMissingMaskLeavesItRectangular) {
    Scratch scratch("window-mask");
    // round.msk: two rectangles of a 550 by 400 movie, (0,0)-(550,200) and (50,200)-(500,400).
    std::string sections =
        "masks = [\"" + sourcePath("examples/projector/round.msk") +
        "\"]\n[window]\ntitle = \"Mask\"\nframe = [\"popup\"]\nshape = \"mask\"\nmask = "
        "\"round\"\nscale = \"exact-fit\"\n[placement]\nsize = \"pixels\"\nwidth = 275\n"
        "height = 200\nposition = \"top-left\"\n";
    std::string exe = packWindow(scratch, sections, shownMovie(550, 400));
    {
        Projector p(exe, inTmp(scratch));
        HWND window = shownWindow(p, scratch);
        ASSERT_TRUE(window);
        // The mask is in movie coordinates, here halved to fit the window.
        std::optional<gui::Region> region;
        ASSERT_TRUE(gui::waitFor([&] { return (region = gui::windowRegion(window)).has_value(); }));
        EXPECT_TRUE(region->contains(5, 5));
        EXPECT_TRUE(region->contains(270, 95));
        EXPECT_FALSE(region->contains(270, 150));
        EXPECT_FALSE(region->contains(10, 190));
        EXPECT_TRUE(region->contains(30, 190));
        closeProjector(p);
    }
    // A mask name without its file: rectangular.
    Scratch other("window-nomask");
    size_t at = sections.find("mask = \"round\"");
    std::string missing = sections;
    missing.replace(at, 14, "mask = \"gone\"");
    std::string exe2 = packWindow(other, missing, shownMovie(550, 400));
    Projector p(exe2, inTmp(other));
    HWND window = p.mainWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(waitForText(other.path("log.txt"), "shown\n"));
    EXPECT_FALSE(gui::windowRegion(window));
    closeProjector(p);
}

TEST_F(ProjectorWindow, TransparentBackgroundKeepsOnlyTheMoviesShapes) {
    // A red block on a green stage: only the block is left of the window.
    std::string description = blockMovie();
    for (const char* shape : {"transparent-exact", "transparent"}) {
        Scratch scratch(std::string("window-") + shape);
        std::string exe = packWindow(
            scratch,
            "[window]\ntitle = \"Shape\"\nframe = [\"popup\"]\nshape = \"" + std::string(shape) +
                "\"\n[placement]\nsize = \"movie\"\nposition = \"top-left\"\n",
            description);
        Projector p(exe, inTmp(scratch));
        HWND window = p.mainWindow();
        ASSERT_TRUE(window) << shape;
        ASSERT_TRUE(waitForText(scratch.path("log.txt"), "shown\n")) << shape;
        std::optional<gui::Region> region;
        ASSERT_TRUE(gui::waitFor([&] {
            region = gui::windowRegion(window);
            return region && region->contains(30, 30);
        })) << shape;
        EXPECT_TRUE(region->contains(20, 20)) << shape;
        EXPECT_TRUE(region->contains(79, 59)) << shape;
        EXPECT_FALSE(region->contains(80, 30)) << shape;
        EXPECT_FALSE(region->contains(150, 80)) << shape;
        EXPECT_FALSE(region->contains(5, 5)) << shape;
        p.close();
        DWORD code;
        EXPECT_TRUE(p.waitExit(&code)) << shape;
    }
}

TEST_F(ProjectorWindow, DragByTheMovieAndTheTrayToggle) {
    Scratch scratch("window-aspect");
    std::string exe = packWindow(scratch,
                                 "[window]\ntitle = \"Aspect\"\nframe = [\"resizable\"]\n"
                                 "flags = [\"autoplay\", \"tray-icon\"]\n[placement]\n"
                                 "size = \"movie\"\nposition = \"top-left\"\nkeep_aspect = true\n"
                                 "[input]\nleft_button = \"drag\"\n",
                                 buttonMovie());
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    RECT client = gui::clientRectOnScreen(window);
    ASSERT_EQ(client.right - client.left, 200);
    ASSERT_EQ(client.bottom - client.top, 100);

    // Dragging the movie moves the window by the pointer's travel (and, kept ratio or not,
    // leaves its size alone).
    RECT outer = gui::windowRect(window);
    POINT from{client.left + 100, client.top + 60};
    auto mouse = [](DWORD flags, POINT at) {
        gui::mouseAt(flags, at);
        Sleep(50);
    };
    ASSERT_TRUE(gui::bringToFront(window));
    mouse(MOUSEEVENTF_LEFTDOWN, from);
    mouse(MOUSEEVENTF_MOVE, {from.x + 25, from.y + 10});
    mouse(MOUSEEVENTF_MOVE, {from.x + 50, from.y + 30});
    mouse(MOUSEEVENTF_LEFTUP, {from.x + 50, from.y + 30});
    EXPECT_TRUE(gui::waitFor([&] {
        RECT now = gui::windowRect(window);
        return now.left == outer.left + 50 && now.top == outer.top + 30;
    }));
    RECT moved = gui::windowRect(window);
    EXPECT_EQ(moved.right - moved.left, outer.right - outer.left);
    EXPECT_EQ(moved.bottom - moved.top, outer.bottom - outer.top);
    // A click that does not move reaches the movie: its button runs.
    ASSERT_TRUE(gui::click(window, {50, 25}));
    EXPECT_TRUE(waitForText(scratch.path("log.txt"), "clicked\n"));
    EXPECT_EQ(gui::windowRect(window).left, moved.left);

    // A quick drag, queued whole before the projector handles its press, moves the window by the
    // same travel: the start is where the press was, not where the pointer has got to.
    POINT back{from.x + 50, from.y + 30};
    ASSERT_TRUE(gui::mouseAt(MOUSEEVENTF_LEFTDOWN, back));
    ASSERT_TRUE(gui::mouseAt(MOUSEEVENTF_MOVE, {back.x - 20, back.y - 10}));
    ASSERT_TRUE(gui::mouseAt(MOUSEEVENTF_MOVE, from));
    ASSERT_TRUE(gui::mouseAt(MOUSEEVENTF_LEFTUP, from));
    EXPECT_TRUE(gui::waitFor([&] {
        RECT now = gui::windowRect(window);
        return now.left == outer.left && now.top == outer.top;
    }));

    // A double-click on the notification icon hides a visible window and shows it again.
    SendMessageW(window, 0x87D3, 128, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageW(window, 0x87D3, 128, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(window));
    closeProjector(p);
}

TEST_F(ProjectorWindow, HotKeyClosesOnlyWithItsModifiers) {
    Scratch scratch("window-hotkey");
    std::string exe = packWindow(scratch,
                                 "[window]\ntitle = \"Hot key\"\n[input]\nclose = [\"hot-key\"]\n"
                                 "close_key = 81\nclose_modifiers = [\"ctrl\"]\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(gui::click(window, {100, 5}));
    ASSERT_TRUE(gui::pressKey('Q'));
    ASSERT_TRUE(gui::pressKey(VK_ESCAPE));
    DWORD code;
    EXPECT_FALSE(p.waitExit(&code, 1000));
    ASSERT_TRUE(gui::pressKey('Q', {VK_CONTROL}));
    EXPECT_TRUE(p.waitExit(&code, 15000));
}

TEST_F(ProjectorWindow, ScriptsShapeTheWindowWithSetWindowless) {
    Scratch scratch("window-windowless");
    // The script masks the window, waits (serving the window) until the test has seen it, then
    // makes it rectangular again.
    std::string go = scratch.slashed("go.txt");
    buildMovie(shownMovie(550, 400), scratch.path("m.swf"));
    writeText(scratch.path("shown.qls"),
              logFunction(scratch.path("log.txt")) + "setWindowless('round'); log('masked');\n" +
                  "while (new FileStream('" + go + "') == null) { if (!processMsg()) break; }\n" +
                  "setWindowless(); log('rectangular');\n");
    writeText(scratch.path("p.toml"),
              "id = \"Quill Tests/Window\"\nmovies = [\"m.swf\"]\nscripts = [\"shown.qls\"]\n"
              "masks = [\"" +
                  sourcePath("examples/projector/round.msk") +
                  "\"]\n[window]\ntitle = \"Windowless\"\nframe = [\"popup\"]\n"
                  "[placement]\nsize = \"movie\"\nposition = \"top-left\"\n");
    packProject(scratch.path("p.toml"), scratch.path("p.exe"));
    Projector p(scratch.path("p.exe"),
                {{{"TMP", scratch.path("")}, {"QUILL_SCRIPT_TIMEOUT", "0"}}, ""});
    // The first frame runs before start-up shows the window: find it hidden.
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "masked\n"));
    HWND window = gui::findWindow(L"QuillProjectorFrame", {}, p.threadId());
    ASSERT_TRUE(window);
    std::optional<gui::Region> region;
    ASSERT_TRUE(gui::waitFor([&] { return (region = gui::windowRegion(window)).has_value(); }));
    // The window is not placed yet, so the mask is fitted to its first size: the two
    // rectangles show as a wide upper band and a narrower lower one.
    const RECT& b = region->bounds;
    EXPECT_TRUE(region->contains(b.left + 1, b.top + 1));
    EXPECT_FALSE(region->contains(b.left + 1, b.bottom - 1));
    writeText(scratch.path("go.txt"), "go");
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "masked\nrectangular\n"));
    EXPECT_TRUE(gui::waitFor([&] { return !gui::windowRegion(window).has_value(); }));
    EXPECT_EQ(p.mainWindow(), window);
    // Applying the shape again (as start-up does once it has placed the window, which may come
    // after the script) keeps it rectangular.
    // Sent, not posted, so it has been handled when the call returns.
    ASSERT_TRUE(gui::waitFor([&] { return IsWindowVisible(window) != FALSE; }));
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(window, 0x800A, 0, 0, SMTO_NORMAL, 10000, &answer));
    EXPECT_FALSE(gui::windowRegion(window).has_value());
    closeProjector(p);
}

TEST_F(ProjectorWindow, ZoomInFromTheMenuOnTheRightButtonZoomsTheMovie) {
    Scratch scratch("window-zoom");
    std::string exe = packWindow(scratch,
                                 "[window]\ntitle = \"Zoom\"\nframe = [\"caption\"]\n"
                                 "buttons = [\"system-menu\"]\nsystem_menu = [\"player-menu\"]\n"
                                 "[placement]\nsize = \"movie\"\nposition = \"top-left\"\n"
                                 "[input]\nright_button = \"projector-menu\"\n",
                                 blockMovie());
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    auto red = [&] { return gui::readPixel(window, 30, 30) == RGB(255, 0, 0); };
    ASSERT_TRUE(gui::waitFor(red));
    // The menu's last item is the player submenu; its first item is "Zoom In", which narrows the
    // view to the stage's middle (all green here).
    ASSERT_TRUE(gui::click(window, {150, 80}, gui::Button::Right));
    Sleep(300);
    for (WORD key : {WORD(VK_UP), WORD(VK_RIGHT), WORD(VK_RETURN)}) {
        ASSERT_TRUE(gui::pressKey(key));
        Sleep(200);
    }
    EXPECT_TRUE(gui::waitFor([&] { return !red(); }));
    closeProjector(p);
}

TEST_F(ProjectorWindow, TrayMenuTogglesAndCloses) {
    Scratch scratch("window-tray");
    std::string exe =
        packWindow(scratch,
                   "[window]\ntitle = \"Tray\"\nflags = [\"autoplay\", \"tray-icon\"]\n"
                   "system_menu = [\"about\"]\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    auto menuOpen = [&] { return popupMenuShown(p.threadId()); };
    // The first item ("Hide Tray", the default) hides the window.
    PostMessageW(window, 0x87D3, 128, WM_RBUTTONUP);
    ASSERT_TRUE(gui::waitFor(menuOpen));
    ASSERT_TRUE(gui::pressKey(VK_DOWN));
    ASSERT_TRUE(gui::pressKey(VK_RETURN));
    EXPECT_TRUE(gui::waitFor([&] { return !IsWindowVisible(window); }));
    // The last item, "&Close", ends the projector.
    PostMessageW(window, 0x87D3, 128, WM_RBUTTONUP);
    ASSERT_TRUE(gui::waitFor(menuOpen));
    ASSERT_TRUE(gui::pressKey(VK_UP));
    ASSERT_TRUE(gui::pressKey(VK_RETURN));
    DWORD code;
    EXPECT_TRUE(p.waitExit(&code, 15000));
}

// The system menu's additions, chosen from the keyboard as a user would: with "Config..." and
// "About..." added, the last item opens the about box and the one above it (past the
// separator) the options.
TEST_F(ProjectorWindow, SystemMenuAdditionsOpenTheirDialogs) {
    auto choose = [](HWND window, std::initializer_list<WORD> keys) {
        PostMessageW(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        Sleep(300);
        for (WORD key : keys) {
            if (!gui::pressKey(key)) return false;
            Sleep(200);
        }
        return true;
    };
    Scratch scratch("window-sysmenu");
    std::string exe = packWindow(scratch,
                                 "[window]\ntitle = \"System menu\"\nframe = [\"caption\"]\n"
                                 "buttons = [\"system-menu\"]\n"
                                 "system_menu = [\"config\", \"about\"]\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(choose(window, {VK_UP, VK_RETURN}));
    HWND about = waitDialog(p, L"About");
    ASSERT_TRUE(about);
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(about); }));
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(choose(window, {VK_UP, VK_UP, VK_RETURN}));
    HWND options = waitDialog(p, L"Options");
    ASSERT_TRUE(options);
    PostMessageW(options, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::waitFor([&] { return !IsWindow(options); }));
    closeProjector(p);
}

TEST_F(ProjectorWindow, EscapeClosesOnReleaseEvenWithKeysBlocked) {
    Scratch scratch("window-escape");
    std::string exe = packWindow(scratch,
                                 "[window]\ntitle = \"Escape\"\n[input]\nflags = [\"block-keys\"]\n"
                                 "close = [\"escape\"]\n");
    Projector p(exe, inTmp(scratch));
    HWND window = shownWindow(p, scratch);
    ASSERT_TRUE(window);
    RECT client = gui::clientRectOnScreen(window);
    // A click gives the movie the keyboard focus.
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(gui::click(window, {(client.right - client.left) / 2, 5}));
    ASSERT_TRUE(gui::pressKey(VK_ESCAPE));
    DWORD code;
    EXPECT_TRUE(p.waitExit(&code, 15000));
}

}  // namespace
}  // namespace quill::projector::test
