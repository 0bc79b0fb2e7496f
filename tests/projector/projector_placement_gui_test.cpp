// The settings record's placement and frame values across their range, end to end on packed
// projectors: every position and size mode on the test display, values out of range, frame
// styles and buttons with the scale mode, clicks outside a mask, a transparent background that
// follows the movie, and the kept aspect ratio under a real border drag.
#include "tests/projector/projector_test_support.h"

#include <gtest/gtest.h>
#include <windowsx.h>

namespace quill::projector::test {
namespace {

SIZE screenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

class ProjectorPlacement : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerControl(true)); }
    void TearDown() override { deleteUserKey("Software\\Quill Tests"); }

    // Packs and runs a project with the given sections, waits for its shown window (and, when
    // the movie runs the script "shown", for it), hands it to `check`, then closes it.
    template <class Check>
    void withWindow(const std::string& name, const std::string& sections, Check check,
                    const std::string& description = shownMovie(),
                    const std::string& script = "log('shown');") {
        SCOPED_TRACE(name);
        Scratch scratch("place-" + name);
        std::string exe = packWindow(scratch, sections, description, script);
        Projector p(exe, inTmp(scratch));
        HWND window = p.mainWindow();
        ASSERT_TRUE(window);
        if (description.find("Quill_Run") != std::string::npos) {
            ASSERT_TRUE(waitForText(scratch.path("log.txt"), "shown"));
        }
        check(window, p, scratch);
        closeProjector(p);
    }
};

// A 640 by 480 pop-up placed by each position mode; x 25 and y 10 for the two custom modes.
class PositionModes : public ProjectorPlacement, public ::testing::WithParamInterface<int> {};

TEST_P(PositionModes, PlaceA640By480Window) {
    const int mode = GetParam();
    const SIZE screen = screenSize();
    const LONG centreX = (screen.cx - 640) / 2, centreY = (screen.cy - 480) / 2;
    const LONG right = screen.cx - 640, bottom = screen.cy - 480;
    const POINT expected[] = {{0, 0},
                              {centreX, 0},
                              {right, 0},
                              {0, centreY},
                              {centreX, centreY},
                              {right, centreY},
                              {0, bottom},
                              {centreX, bottom},
                              {right, bottom},
                              {25, 10},
                              {25 * screen.cx / 100, 10 * screen.cy / 100}};
    withWindow("position" + std::to_string(mode),
               "[window]\nframe = [\"popup\"]\n[placement]\nsize = \"pixels\"\nwidth = 640\n"
               "height = 480\nx = 25\ny = 10\nposition = " +
                   std::to_string(mode) + "\n",
               [&](HWND window, Projector&, Scratch&) {
                   RECT r = gui::windowRect(window);
                   EXPECT_EQ(r.left, expected[mode].x);
                   EXPECT_EQ(r.top, expected[mode].y);
                   EXPECT_EQ(r.right - r.left, 640);
                   EXPECT_EQ(r.bottom - r.top, 480);
               });
}

INSTANTIATE_TEST_SUITE_P(EveryMode, PositionModes, ::testing::Range(0, 11));

TEST_F(ProjectorPlacement, EverySizeMode) {
    const SIZE screen = screenSize();
    // 0: the client area is the movie's, centred.
    withWindow("size-movie",
               "[window]\nframe = [\"caption\"]\n[placement]\nsize = \"movie\"\n"
               "position = \"center\"\n",
               [&](HWND window, Projector&, Scratch&) {
                   RECT client = gui::clientRectOnScreen(window), outer = gui::windowRect(window);
                   EXPECT_EQ(client.right - client.left, 200);
                   EXPECT_EQ(client.bottom - client.top, 100);
                   EXPECT_EQ(outer.left, (screen.cx - (outer.right - outer.left)) / 2);
                   EXPECT_EQ(outer.top, (screen.cy - (outer.bottom - outer.top)) / 2);
               });
    // 1: the whole screen, whatever the position says.
    withWindow("size-full",
               "[window]\nframe = [\"popup\"]\n[placement]\nsize = \"full-screen\"\n"
               "position = \"bottom-right\"\n",
               [&](HWND window, Projector&, Scratch&) {
                   RECT r = gui::windowRect(window);
                   EXPECT_EQ(r.left, 0);
                   EXPECT_EQ(r.top, 0);
                   EXPECT_EQ(r.right, screen.cx);
                   EXPECT_EQ(r.bottom, screen.cy);
               });
    // 2: maximized, and restoring gives the movie's size.
    withWindow("size-maximized",
               "[window]\nframe = [\"resizable\"]\nbuttons = [\"maximize\", \"system-menu\"]\n"
               "[placement]\nsize = \"maximized\"\nposition = \"top-left\"\n",
               [&](HWND window, Projector&, Scratch&) {
                   EXPECT_TRUE(IsZoomed(window));
                   ShowWindow(window, SW_RESTORE);
                   ASSERT_TRUE(gui::waitFor([&] { return !IsZoomed(window); }));
                   RECT client = gui::clientRectOnScreen(window);
                   EXPECT_EQ(client.right - client.left, 200);
                   EXPECT_EQ(client.bottom - client.top, 100);
               });
    // 4: the height field as a percentage of both screen extents; the width field is not used.
    withWindow("size-percent",
               "[window]\nframe = [\"popup\"]\n[placement]\nsize = \"percent\"\nwidth = 10\n"
               "height = 50\nposition = \"center\"\n",
               [&](HWND window, Projector&, Scratch&) {
                   RECT r = gui::windowRect(window);
                   EXPECT_EQ(r.right - r.left, 50 * screen.cx / 100);
                   EXPECT_EQ(r.bottom - r.top, 50 * screen.cy / 100);
                   EXPECT_EQ(r.left, (screen.cx - 50 * screen.cx / 100) / 2);
               });
}

// Values outside the documented ranges, and a movie that claims no size, leave a window that
// is on the screen, has a size and can be closed.
TEST_F(ProjectorPlacement, OutOfRangeValuesKeepTheWindowUsable) {
    const SIZE screen = screenSize();
    auto usable = [&](HWND window, Projector&, Scratch&) {
        RECT r = gui::windowRect(window);
        EXPECT_GT(r.right - r.left, 0);
        EXPECT_GT(r.bottom - r.top, 0);
        RECT visible;
        RECT display{0, 0, screen.cx, screen.cy};
        EXPECT_TRUE(IntersectRect(&visible, &r, &display));
        EXPECT_TRUE(IsWindowVisible(window));
    };
    withWindow("size9-position11",
               "[window]\nframe = [\"caption\"]\n[placement]\nsize = 9\nposition = 11\n"
               "width = 60000\nheight = 60000\nx = 60000\ny = 60000\n",
               usable);
    withWindow("percent-over",
               "[placement]\nsize = \"percent\"\nheight = 500\nposition = 10\n"
               "x = 400\ny = 400\n",
               [&](HWND window, Projector& p, Scratch& scratch) {
                   usable(window, p, scratch);
                   RECT r = gui::windowRect(window);
                   EXPECT_EQ(r.right - r.left, screen.cx);
                   EXPECT_EQ(r.bottom - r.top, screen.cy);
               });
    withWindow("pixels-far",
               "[window]\nframe = [\"popup\"]\n[placement]\nsize = \"pixels\"\nwidth = 300\n"
               "height = 200\nposition = \"pixels\"\nx = 60000\ny = 60000\n",
               [&](HWND window, Projector&, Scratch&) {
                   RECT r = gui::windowRect(window);
                   EXPECT_EQ(r.left, screen.cx - 300);
                   EXPECT_EQ(r.top, screen.cy - 200);
               });
    // A movie file whose frame is 0 by 0: the window keeps its own size.
    Scratch scratch("place-zero-movie");
    std::string exe = packWindow(scratch, "[placement]\nsize = \"movie\"\n");
    const unsigned char zeroFrame[] = {'F',  'W', 'S', 6, 15, 0, 0, 0,  // header, file length
                                       0x00,                            // an empty frame rectangle
                                       0,    12,  1,   0,               // rate 12, one frame
                                       0,    0};                        // end
    std::string swf(reinterpret_cast<const char*>(zeroFrame), sizeof zeroFrame);
    std::string packed = scratch.path("zero.toml");
    writeText(scratch.path("zero.swf"), swf);
    writeText(packed,
              "id = \"Quill Tests/Window\"\nmovies = [\"zero.swf\"]\n"
              "[placement]\nsize = \"movie\"\nposition = \"center\"\n");
    packProject(packed, scratch.path("zero.exe"));
    Projector p(scratch.path("zero.exe"), inTmp(scratch));
    HWND window = p.mainWindow();
    ASSERT_TRUE(window);
    usable(window, p, scratch);
    closeProjector(p);
}

TEST_F(ProjectorPlacement, FrameStylesButtonsAndScaleMode) {
    const std::string logScale = "log('shown ' + FlashPlayer.scaleMode);";
    // A caption with every button; exact fit (256) reaches the movie as scale mode 2.
    withWindow(
        "caption-all",
        "[window]\nframe = [\"caption\"]\nbuttons = [\"maximize\", \"minimize\", \"system-menu\", "
        "\"help\"]\nscale = \"exact-fit\"\n",
        [&](HWND window, Projector&, Scratch& scratch) {
            DWORD style = gui::style(window), ex = gui::exStyle(window);
            EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
            EXPECT_FALSE(style & WS_THICKFRAME);
            EXPECT_TRUE(style & WS_MAXIMIZEBOX);
            EXPECT_TRUE(style & WS_MINIMIZEBOX);
            EXPECT_TRUE(style & WS_SYSMENU);
            EXPECT_TRUE(ex & WS_EX_CONTEXTHELP);
            EXPECT_TRUE(ex & WS_EX_APPWINDOW);
            EXPECT_FALSE(ex & WS_EX_TOOLWINDOW);
            EXPECT_TRUE(waitForText(scratch.path("log.txt"), "shown 2\n"));
        },
        shownMovie(), logScale);
    // A sizing border on a tool window without buttons or a forced taskbar button; a scale
    // selector that names no mode (3) leaves the control's own (show all, 0).
    withWindow(
        "resizable-tool",
        "[window]\nframe = [\"resizable\", \"tool-window\", \"no-taskbar-button\"]\nbuttons = []\n"
        "scale = 3\n",
        [&](HWND window, Projector&, Scratch& scratch) {
            DWORD style = gui::style(window), ex = gui::exStyle(window);
            EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
            EXPECT_TRUE(style & WS_THICKFRAME);
            EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_SYSMENU));
            EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
            EXPECT_FALSE(ex & WS_EX_APPWINDOW);
            EXPECT_FALSE(ex & WS_EX_CONTEXTHELP);
            EXPECT_TRUE(waitForText(scratch.path("log.txt"), "shown 0\n"));
        },
        shownMovie(), logScale);
    // A pop-up is never a tool window, has no help button and keeps no client edge; the
    // no-scale selector (16) is the control's mode 3.
    withWindow(
        "popup-tool",
        "[window]\nframe = [\"popup\", \"tool-window\"]\nbuttons = [\"help\", \"system-menu\"]\n"
        "scale = \"no-scale\"\n",
        [&](HWND window, Projector&, Scratch& scratch) {
            DWORD style = gui::style(window), ex = gui::exStyle(window);
            EXPECT_TRUE(style & WS_POPUP);
            EXPECT_NE(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
            EXPECT_TRUE(style & WS_SYSMENU);
            EXPECT_FALSE(ex & (WS_EX_TOOLWINDOW | WS_EX_CONTEXTHELP | WS_EX_CLIENTEDGE));
            EXPECT_TRUE(waitForText(scratch.path("log.txt"), "shown 3\n"));
        },
        shownMovie(), logScale);
}

// Outside the mask the window is not there: a click reaches the window beneath it.
TEST_F(ProjectorPlacement, ClicksOutsideAMaskReachTheWindowBeneath) {
    gui::TestWindow::Options beneathOptions;
    beneathOptions.position = {0, 0};
    beneathOptions.clientSize = {400, 300};
    beneathOptions.style = WS_POPUP;
    gui::TestWindow beneath(beneathOptions);
    // round.msk: (0,0)-(550,200) and (50,200)-(500,400) of a 550 by 400 movie, halved here.
    withWindow(
        "mask-clicks",
        "masks = [\"" + sourcePath("examples/projector/round.msk") +
            "\"]\n[window]\nframe = [\"popup\"]\nshape = \"mask\"\nmask = \"round\"\n"
            "scale = \"exact-fit\"\nflags = [\"autoplay\", \"topmost\"]\n[placement]\n"
            "size = \"pixels\"\nwidth = 275\nheight = 200\nposition = \"top-left\"\n",
        [&](HWND window, Projector&, Scratch&) {
            ASSERT_TRUE(gui::waitFor([&] { return gui::windowRegion(window).has_value(); }));
            ASSERT_TRUE(gui::waitFor([&] { return (gui::exStyle(window) & WS_EX_TOPMOST) != 0; }));
            // Inside the mask: the projector's.
            POINT inside{100, 50}, outside{10, 190};
            EXPECT_EQ(GetAncestor(WindowFromPoint(inside), GA_ROOT), window);
            EXPECT_EQ(WindowFromPoint(outside), beneath.hwnd());
            ASSERT_TRUE(gui::click(beneath.hwnd(), inside));
            gui::waitFor([] { return false; }, 300);
            EXPECT_EQ(beneath.count(WM_LBUTTONDOWN), 0);
            ASSERT_TRUE(gui::click(beneath.hwnd(), outside));
            EXPECT_TRUE(gui::waitFor([&] { return beneath.count(WM_LBUTTONDOWN) == 1; }));
            auto down = beneath.last(WM_LBUTTONDOWN);
            ASSERT_TRUE(down);
            EXPECT_EQ(GET_X_LPARAM(down->lParam), outside.x);
            EXPECT_EQ(GET_Y_LPARAM(down->lParam), outside.y);
        },
        shownMovie(550, 400));
}

// The transparent background is cut again as the movie's shapes move: a block that jumps
// between two places each second takes the window's outline with it.
TEST_F(ProjectorPlacement, TransparentBackgroundFollowsAMovingShape) {
    const std::string jumping =
        "[movie]\nwidth = 200\nheight = 100\nbackground = \"#00ff00\"\nrate = 1\n"
        "[[shape]]\nname = \"block\"\nrect = [0, 0, 60, 40]\nfill = \"#ff0000\"\n"
        "[[place]]\nname = \"block\"\nx = 20\ny = 20\nuntil = 1\n"
        "[[place]]\nname = \"block\"\nx = 120\ny = 50\nframe = 2\n"
        "[[frame]]\nframe = 1\nactions = '''\nfscommand \"Quill_Run\" \"shown\"\n'''\n";
    withWindow(
        "moving-shape",
        "[window]\nframe = [\"popup\"]\nshape = \"transparent-exact\"\n[placement]\n"
        "size = \"movie\"\nposition = \"top-left\"\n",
        [&](HWND window, Projector&, Scratch&) {
            auto at = [&](POINT in, POINT out) {
                return gui::waitFor([&] {
                    auto region = gui::windowRegion(window);
                    return region && region->contains(in.x, in.y) &&
                           !region->contains(out.x, out.y);
                });
            };
            // Both places, in either order, and back again.
            EXPECT_TRUE(at({30, 30}, {130, 60}));
            EXPECT_TRUE(at({130, 60}, {30, 30}));
            EXPECT_TRUE(at({30, 30}, {130, 60}));
        },
        jumping);
}

// A real drag of the right border of a 4:3 window: 40 pixels wider makes it 30 higher.
TEST_F(ProjectorPlacement, KeptAspectRatioAfterARealBorderDrag) {
    withWindow(
        "aspect-drag",
        "[window]\nframe = [\"resizable\"]\n[placement]\nsize = \"movie\"\n"
        "position = \"top-left\"\nkeep_aspect = true\n",
        [&](HWND window, Projector&, Scratch&) {
            RECT client = gui::clientRectOnScreen(window);
            ASSERT_EQ(client.right - client.left, 200);
            ASSERT_EQ(client.bottom - client.top, 150);
            RECT outer = gui::windowRect(window);
            POINT from{outer.right - 2, (outer.top + outer.bottom) / 2};
            ASSERT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(from.x, from.y)), HTRIGHT);
            ASSERT_TRUE(gui::bringToFront(window));
            auto mouse = [](DWORD flags, POINT at) {
                gui::mouseAt(flags, at);
                Sleep(50);
            };
            mouse(MOUSEEVENTF_LEFTDOWN, from);
            mouse(MOUSEEVENTF_MOVE, {from.x + 20, from.y});
            mouse(MOUSEEVENTF_MOVE, {from.x + 40, from.y});
            mouse(MOUSEEVENTF_LEFTUP, {from.x + 40, from.y});
            EXPECT_TRUE(gui::waitFor([&] {
                RECT now = gui::clientRectOnScreen(window);
                return now.right - now.left == 240 && now.bottom - now.top == 180;
            })) << gui::clientRectOnScreen(window).right - gui::clientRectOnScreen(window).left;
        },
        shownMovie(200, 150));
}

}  // namespace
}  // namespace quill::projector::test
