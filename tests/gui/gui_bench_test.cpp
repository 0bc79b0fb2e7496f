// The GUI test bench at work on real windows and a real common dialog under Wine. Later GUI
// tests start from these.
#include "tests/gui/gui_bench.h"  // first: it brings windows.h, which the others need

#include <commdlg.h>
#include <gtest/gtest.h>
#include <windowsx.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/gui/png_file.h"

namespace quill::gui {
namespace {

TEST(GuiBench, WindowShowsItsColourAndReceivesAClick) {
    TestWindow window({.background = RGB(10, 200, 30), .clientSize = {200, 120}});
    ASSERT_NE(window.hwnd(), nullptr);
    Snapshot shot = captureClient(window.hwnd());
    ASSERT_EQ(shot.width, 200);
    ASSERT_EQ(shot.height, 120);
    EXPECT_EQ(shot.pixel(0, 0), RGB(10, 200, 30));
    EXPECT_EQ(shot.pixel(199, 119), RGB(10, 200, 30));
    EXPECT_EQ(shot.pixel(200, 0), CLR_INVALID);

    ASSERT_TRUE(bringToFront(window.hwnd()));
    ASSERT_TRUE(click(window.hwnd(), {50, 40}));
    ASSERT_TRUE(waitFor([&] { return window.count(WM_LBUTTONUP) == 1; }));
    std::optional<MSG> down = window.last(WM_LBUTTONDOWN);
    ASSERT_TRUE(down.has_value());
    EXPECT_EQ(GET_X_LPARAM(down->lParam), 50);
    EXPECT_EQ(GET_Y_LPARAM(down->lParam), 40);

    // What the window paints itself is what a read gives back.
    HDC dc = GetDC(window.hwnd());
    RECT square = {20, 10, 30, 20};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &square, red);
    DeleteObject(red);
    ReleaseDC(window.hwnd(), dc);
    EXPECT_EQ(readPixel(window.hwnd(), 25, 15), RGB(255, 0, 0));
    EXPECT_EQ(readPixel(window.hwnd(), 30, 15), RGB(10, 200, 30));
}

TEST(GuiBench, KeysAndTextReachTheForegroundWindow) {
    TestWindow window;
    ASSERT_TRUE(bringToFront(window.hwnd()));
    ASSERT_TRUE(pressKey('A', {VK_SHIFT}));
    ASSERT_TRUE(typeText(L"h\u00e9"));
    ASSERT_TRUE(waitFor([&] { return window.count(WM_CHAR) == 3; }));
    std::wstring typed;
    for (const MSG& m : window.messages()) {
        if (m.message == WM_CHAR) typed += static_cast<wchar_t>(m.wParam);
    }
    EXPECT_EQ(typed, L"Ah\u00e9");
    EXPECT_EQ(window.count(WM_KEYDOWN), 4);  // shift, A, and a VK_PACKET per typed character
}

TEST(GuiBench, FindsAndDescribesWindowsOfAThread) {
    TestWindow window({.position = {150, 120},
                       .clientSize = {160, 100},
                       .style = WS_POPUP | WS_BORDER,
                       .title = L"Bench find me"});
    const DWORD thread = GetCurrentThreadId();
    EXPECT_EQ(findWindow(L"QuillTestWindow", L"Bench find me", thread), window.hwnd());
    EXPECT_EQ(findWindow(L"QuillTestWindow", L"Bench find me"), window.hwnd());
    EXPECT_EQ(findWindow(L"QuillTestWindow", L"Bench find", thread), nullptr);
    EXPECT_EQ(findWindow(L"Edit", L"Bench find me", thread), nullptr);
    EXPECT_EQ(findDialog(thread), nullptr);
    std::vector<HWND> mine = threadWindows(thread);
    EXPECT_NE(std::find(mine.begin(), mine.end(), window.hwnd()), mine.end());
    EXPECT_EQ(windowText(window.hwnd()), L"Bench find me");

    EXPECT_EQ(style(window.hwnd()) & (WS_POPUP | WS_BORDER | WS_VISIBLE),
              DWORD{WS_POPUP | WS_BORDER | WS_VISIBLE});
    RECT client = clientRectOnScreen(window.hwnd());
    EXPECT_EQ(client.right - client.left, 160);
    EXPECT_EQ(client.bottom - client.top, 100);
    RECT frame = windowRect(window.hwnd());
    EXPECT_EQ(frame.left, 150);
    EXPECT_EQ(client.left, frame.left + 1);  // the border

    EXPECT_FALSE(windowRegion(window.hwnd()).has_value());
    // An L shape; the window owns the region it is given, so the test must not delete it.
    HRGN shape = CreateRectRgn(0, 0, 100, 50);
    HRGN foot = CreateRectRgn(0, 50, 50, 100);
    CombineRgn(shape, shape, foot, RGN_OR);
    DeleteObject(foot);
    ASSERT_TRUE(SetWindowRgn(window.hwnd(), shape, TRUE));
    std::optional<Region> region = windowRegion(window.hwnd());
    ASSERT_TRUE(region.has_value());
    EXPECT_EQ(region->bounds.right, 100);
    EXPECT_EQ(region->bounds.bottom, 100);
    EXPECT_EQ(region->rects.size(), 2u);
    EXPECT_TRUE(region->contains(99, 0));
    EXPECT_TRUE(region->contains(0, 99));
    EXPECT_FALSE(region->contains(50, 50));
    EXPECT_FALSE(region->contains(100, 0));
}

// A file the open dialog can find, removed with the test.
class OpenDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("quill-bench-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder_);
        file_ = folder_ / "answer.txt";
        std::ofstream(file_) << "42\n";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // Runs GetOpenFileNameW on this thread; `chosen` receives the name it returned.
    BOOL open(std::wstring& chosen, DWORD flags = OFN_FILEMUSTEXIST) {
        wchar_t name[MAX_PATH] = L"";
        std::wstring folder = folder_.wstring();
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof(ofn);
        ofn.lpstrFile = name;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrInitialDir = folder.c_str();
        ofn.lpstrTitle = L"Bench open";
        // Without OFN_NOCHANGEDIR the folder stays the current one and cannot be removed.
        ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | flags;
        BOOL ok = GetOpenFileNameW(&ofn);
        chosen = name;
        return ok;
    }

    std::filesystem::path folder_;
    std::filesystem::path file_;
};

TEST_F(OpenDialogTest, AnsweredFromASecondThread) {
    DialogAnswerer answerer(GetCurrentThreadId(), {.texts = {{kFileNameBox, file_.wstring()}}});
    std::wstring chosen;
    EXPECT_TRUE(open(chosen));
    EXPECT_TRUE(answerer.join()) << answerer.problem();
    EXPECT_EQ(answerer.title(), L"Bench open");
    EXPECT_EQ(std::filesystem::path(chosen), file_);
}

TEST_F(OpenDialogTest, Cancelled) {
    DialogAnswerer answerer(GetCurrentThreadId(), {.command = IDCANCEL});
    std::wstring chosen;
    EXPECT_FALSE(open(chosen));
    EXPECT_EQ(CommDlgExtendedError(), 0u);  // cancelled, not failed
    EXPECT_TRUE(answerer.join()) << answerer.problem();
}

// A name that does not exist makes the dialog raise a message box and stay open: the answerer
// cancels both, so the test reports it instead of hanging.
TEST_F(OpenDialogTest, DialogThatStaysOpenIsCancelled) {
    DialogAnswerer answerer(GetCurrentThreadId(),
                            {.texts = {{kFileNameBox, (folder_ / "missing.txt").wstring()}}}, 3000);
    std::wstring chosen;
    EXPECT_FALSE(open(chosen));
    EXPECT_FALSE(answerer.join());
    EXPECT_NE(answerer.problem().find("stayed open"), std::string::npos) << answerer.problem();
    EXPECT_EQ(findDialog(GetCurrentThreadId()), nullptr);
}

// The snapshot PNG: checksums against their published values, the exact bytes of a tiny image,
// and the split into a second stored block where the rows pass 65535 bytes.
TEST(GuiBench, SnapshotsBecomePngFilesWithStoredBlocks) {
    const std::string iend = "IEND", wiki = "Wikipedia";
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(iend.data()), iend.size()), 0xAE426082u);
    EXPECT_EQ(adler32(reinterpret_cast<const uint8_t*>(wiki.data()), wiki.size()), 0x11E60398u);
    EXPECT_TRUE(encodePng(Snapshot{}).empty());

    Snapshot tiny{2, 1, {0x00FF8000, 0x000000FF}};
    std::vector<uint8_t> png = encodePng(tiny);
    const std::vector<uint8_t> idat = {
        0x78, 0x01, 0x01, 7,    0,    0xF8, 0xFF,  // zlib header, one final stored block of 7
        0,    0xFF, 0x80, 0x00, 0x00, 0x00, 0xFF,  // filter 0, then RGB RGB
        0x09, 0x80, 0x02, 0x7F};                   // Adler-32 of the 7 bytes
    ASSERT_EQ(png.size(), 8u + 25 + 12 + idat.size() + 12);
    EXPECT_EQ(std::vector<uint8_t>(png.begin() + 8 + 25 + 8, png.begin() + 8 + 25 + 8 + 18), idat);
    EXPECT_EQ(std::vector<uint8_t>(png.end() - 8, png.end()),
              (std::vector<uint8_t>{'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));

    // 128 rows of 1 + 200 * 3 bytes: 76928 bytes, one full block and one of 11393.
    Snapshot wide{200, 128, std::vector<uint32_t>(200 * 128, 0x00123456)};
    png = encodePng(wide);
    size_t second = 8 + 25 + 8 + 2 + 5 + 65535;
    ASSERT_GT(png.size(), second + 5);
    EXPECT_EQ(png[8 + 25 + 8 + 2], 0);  // the first block is not the last
    EXPECT_EQ(png[second], 1);
    EXPECT_EQ(png[second + 1] | (png[second + 2] << 8), 76928 - 65535);

    std::string path = (std::filesystem::temp_directory_path() / "quill-bench.png").string();
    ASSERT_TRUE(savePng(tiny, path));
    EXPECT_EQ(std::filesystem::file_size(path), encodePng(tiny).size());
    std::filesystem::remove(path);
    EXPECT_FALSE(savePng(Snapshot{}, path));
}

}  // namespace
}  // namespace quill::gui
