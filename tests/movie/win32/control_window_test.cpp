// The movie control in a real window: activated in place in a test container (created by class
// after regsvr32 and from its file without registration), it shows a movie's background and a
// red rectangle where each scale mode puts them, fires FSCommand to the container's sink when a
// button is clicked with real input, shows variables in bound text fields, plays its frames on
// its timer, and draws the same pixels into a memory device context as into its window.
#include "tests/gui/gui_bench.h"  // first: it brings windows.h

#include <gtest/gtest.h>

#include "control_test_support.h"

using namespace quill::gui;
using namespace quill::movie::test;

namespace {

const COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kWhite = RGB(255, 255, 255);

const char* kRedRect = R"(
[movie]
width = 200
height = 100
background = "#00ff00"
[[shape]]
name = "r"
rect = [50, 25, 100, 50]
fill = "#ff0000"
[[place]]
name = "r"
)";

struct ControlWindowTest : ::testing::Test {
    ComApartment apartment;
};

}  // namespace

TEST_F(ControlWindowTest, RedRectangleUnderEveryScaleModeCreatedBothWays) {
    ASSERT_EQ(runRegsvr32(false), 0u);
    MovieFile movie(kRedRect, "scale");
    for (bool byClass : {true, false}) {
        SCOPED_TRACE(byClass ? "created by class" : "created from the file");
        Hosted h(400, 400, byClass);
        ASSERT_TRUE(h.controlWindow);
        EXPECT_EQ(h.site.activations, 1);
        EXPECT_EQ(GetParent(h.controlWindow), h.window.hwnd());
        ASSERT_EQ(put(h.control.p, L"Movie", bstr(movie.path)), S_OK);
        struct Case {
            int mode;
            int x0, y0, x1, y1;  // the red rectangle in the 400 x 400 window
        } cases[] = {{0, 100, 150, 300, 250},
                     {1, 0, 100, 400, 300},
                     {2, 100, 100, 300, 300},
                     {3, 150, 175, 250, 225}};
        for (const Case& c : cases) {
            SCOPED_TRACE("scale mode " + std::to_string(c.mode));
            ASSERT_EQ(put(h.control.p, L"ScaleMode", i4(c.mode)), S_OK);
            Snapshot s = h.shot();
            ASSERT_EQ(s.width, 400);
            EXPECT_EQ(s.pixel(c.x0 + 1, c.y0 + 1), kRed);
            EXPECT_EQ(s.pixel(c.x1 - 2, c.y1 - 2), kRed);
            EXPECT_EQ(s.pixel((c.x0 + c.x1) / 2, (c.y0 + c.y1) / 2), kRed);
            if (c.x0 > 1) {
                EXPECT_EQ(s.pixel(c.x0 - 2, c.y0 + 5), kGreen);
            }
            if (c.x1 < 398) {
                EXPECT_EQ(s.pixel(c.x1 + 1, c.y0 + 5), kGreen);
            }
            EXPECT_EQ(s.pixel(c.x0 + 5, c.y0 - 2), kGreen);
            EXPECT_EQ(s.pixel(c.x0 + 5, c.y1 + 1), kGreen);
            EXPECT_EQ(s.pixel(0, 0), kGreen);
        }
        // The container's background colour wins over the movie's.
        ASSERT_EQ(put(h.control.p, L"BackgroundColor", i4(RGB(0, 0, 255))), S_OK);
        EXPECT_EQ(h.shot().pixel(0, 0), RGB(0, 0, 255));
    }
}

TEST_F(ControlWindowTest, ClickedButtonFiresFsCommandToTheContainersSink) {
    MovieFile movie(R"(
[movie]
width = 200
height = 100
[[shape]]
name = "red"
rect = [0, 0, 60, 40]
fill = "#ff0000"
[[button]]
name = "save"
up = "red"
fscommand = ["Quill_Run", "saveGame"]
[[place]]
name = "save"
x = 100
y = 20
[[frame]]
frame = 1
actions = ["stop"]
)",
                    "button");
    Hosted h(200, 100, false);
    ASSERT_TRUE(h.controlWindow);
    EventSink sink;
    sink.connect(h.control.p);
    ASSERT_EQ(put(h.control.p, L"Movie", bstr(movie.path)), S_OK);
    h.shot();
    ASSERT_TRUE(bringToFront(h.window.hwnd()));
    ASSERT_TRUE(click(h.controlWindow, {20, 20}));  // beside the button: nothing
    pumpMessages();
    ASSERT_TRUE(click(h.controlWindow, {130, 40}));
    ASSERT_TRUE(waitFor([&] { return !sink.commands().empty(); }));
    auto commands = sink.commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].first, L"Quill_Run");
    EXPECT_EQ(commands[0].second, L"saveGame");
}

TEST_F(ControlWindowTest, VariablesShowInBoundFieldsAndReadBack) {
    MovieFile movie(R"(
[movie]
width = 200
height = 100
[[text]]
name = "field"
rect = [10, 10, 180, 60]
variable = "msg"
size = 40
color = "#000000"
[[frame]]
frame = 1
actions = ["set \"fromScript\" \"set by frame 1\"", "stop"]
[[place]]
name = "field"
)",
                    "text");
    Hosted h(200, 100, false);
    ASSERT_TRUE(h.controlWindow);
    ASSERT_EQ(put(h.control.p, L"Movie", bstr(movie.path)), S_OK);
    auto darkPixels = [&] {
        Snapshot s = h.shot();
        int dark = 0;
        for (int y = 10; y < 70; ++y) {
            for (int x = 10; x < 190; ++x) dark += GetRValue(s.pixel(x, y)) < 100;
        }
        return dark;
    };
    EXPECT_EQ(darkPixels(), 0);
    EXPECT_EQ(callText(h.control.p, L"GetVariable", {bstr(L"fromScript")}), L"set by frame 1");
    ASSERT_EQ(call(h.control.p, L"SetVariable", {bstr(L"_root.msg"), bstr(L"hi")}, nullptr), S_OK);
    EXPECT_GT(darkPixels(), 40);
    EXPECT_EQ(callText(h.control.p, L"GetVariable", {bstr(L"_root.msg")}), L"hi");
    ASSERT_EQ(call(h.control.p, L"SetVariable", {bstr(L"msg"), bstr(L"")}, nullptr), S_OK);
    EXPECT_EQ(darkPixels(), 0);
}

TEST_F(ControlWindowTest, FramesPassOnTheTimerAndLoopAsTold) {
    MovieFile movie(R"(
[movie]
width = 100
height = 100
rate = 60
frames = 4
[[shape]]
name = "r"
rect = [0, 0, 10, 10]
fill = "#ff0000"
[[place]]
name = "r"
to = [80, 80]
to_frame = 4
)",
                    "frames");
    Hosted h(100, 100, false);
    ASSERT_TRUE(h.controlWindow);
    ASSERT_EQ(put(h.control.p, L"Loop", vbool(false)), S_OK);
    ASSERT_EQ(put(h.control.p, L"Movie", bstr(movie.path)), S_OK);
    EXPECT_EQ(callNumber(h.control.p, L"TotalFrames"), 4);
    EXPECT_EQ(callText(h.control.p, L"IsPlaying"), L"True");
    // Without looping the timeline stops on its last frame.
    ASSERT_TRUE(waitFor([&] { return callText(h.control.p, L"IsPlaying") == L"False"; }));
    EXPECT_EQ(callNumber(h.control.p, L"CurrentFrame"), 3);
    EXPECT_EQ(h.shot().pixel(85, 85), kRed);
    // Going to a frame keeps it stopped there, and it shows that frame.
    VARIANT r;
    ASSERT_EQ(call(h.control.p, L"GotoFrame", {i4(0)}, &r), S_OK);
    pumpMessages();
    EXPECT_EQ(callNumber(h.control.p, L"CurrentFrame"), 0);
    EXPECT_EQ(h.shot().pixel(5, 5), kRed);
    EXPECT_EQ(h.shot().pixel(85, 85), kWhite);
    // Looping, it wraps around: frame 0 comes back after the last one.
    ASSERT_EQ(put(h.control.p, L"Loop", vbool(true)), S_OK);
    ASSERT_EQ(call(h.control.p, L"Play", {}, &r), S_OK);
    bool sawLast = false, wrapped = false;
    ASSERT_TRUE(waitFor([&] {
        long f = callNumber(h.control.p, L"CurrentFrame");
        sawLast |= f == 3;
        wrapped |= sawLast && f < 3;
        return wrapped;
    }));
    EXPECT_EQ(callText(h.control.p, L"IsPlaying"), L"True");
}

TEST_F(ControlWindowTest, DrawIntoAMemoryDcGivesTheWindowsPixels) {
    MovieFile movie(R"(
[movie]
width = 200
height = 100
background = "#00ff00"
[[shape]]
name = "dot"
circle = [100, 50, 30]
fill = "#ff0000"
line = "#0000ff"
line_width = 3
[[place]]
name = "dot"
)",
                    "draw");
    Hosted h(300, 200, false);
    ASSERT_TRUE(h.controlWindow);
    ASSERT_EQ(put(h.control.p, L"Movie", bstr(movie.path)), S_OK);
    Snapshot window = h.shot();
    Com<IViewObject> view;
    ASSERT_EQ(h.control.as(&view, IID_IViewObject), S_OK);
    auto draw = [&](int w, int hgt) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -hgt, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECTL bounds{0, 0, w, hgt};
        EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                             nullptr, 0),
                  S_OK);
        GdiFlush();
        std::vector<uint32_t> pixels(static_cast<uint32_t*>(bits),
                                     static_cast<uint32_t*>(bits) + w * hgt);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
        return pixels;
    };
    std::vector<uint32_t> memory = draw(300, 200);
    ASSERT_EQ(memory.size(), window.pixels.size());
    size_t differ = 0;
    for (size_t i = 0; i < memory.size(); ++i) differ += memory[i] != (window.pixels[i] & 0xFFFFFF);
    EXPECT_EQ(differ, 0u);
    // At another size the movie is laid out for that size (show all: 2 pixels per pixel).
    std::vector<uint32_t> big = draw(400, 200);
    EXPECT_EQ(big[100 * 400 + 200], 0xFF0000u);
    EXPECT_EQ(big[5 * 400 + 5], 0x00FF00u);
    // The transparent-window technique: the background shows as white, then as black.
    ASSERT_EQ(put(h.control.p, L"BackgroundColor", i4(0xFFFFFF)), S_OK);
    std::vector<uint32_t> onWhite = draw(300, 200);
    ASSERT_EQ(put(h.control.p, L"BackgroundColor", i4(0)), S_OK);
    std::vector<uint32_t> onBlack = draw(300, 200);
    ASSERT_EQ(put(h.control.p, L"BackgroundColor", i4(-1)), S_OK);
    EXPECT_EQ(onWhite[0], 0xFFFFFFu);
    EXPECT_EQ(onBlack[0], 0u);
    EXPECT_EQ(onWhite[100 * 300 + 150], 0xFF0000u);
    EXPECT_EQ(onBlack[100 * 300 + 150], 0xFF0000u);
}
