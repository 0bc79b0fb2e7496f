// A test program that crashes on purpose, run by expect_exit.cmake: each test must end the
// process at once with the crash exit code (the test main's filter), wherever the crash happens.
#include <gtest/gtest.h>

#include <thread>

#include "tests/gui/gui_bench.h"

namespace quill::gui {
namespace {

// Read at run time, so the compiler cannot turn the write into a trap of its own.
volatile uintptr_t nowhere = 0;

void writeThroughNull() {
    *reinterpret_cast<volatile int*>(nowhere) = 1;
}

TEST(CrashProbe, MainThread) {
    writeThroughNull();
}

TEST(CrashProbe, SecondThread) {
    std::thread crasher(writeThroughNull);
    crasher.join();
}

// Windows may swallow exceptions raised inside a window procedure called back from the system.
TEST(CrashProbe, WindowProcedure) {
    TestWindow window;
    ASSERT_NE(window.hwnd(), nullptr);
    SetWindowLongPtrW(window.hwnd(), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(+[](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
                          writeThroughNull();
                          return 0;
                      }));
    SendMessageW(window.hwnd(), WM_USER, 0, 0);
}

}  // namespace
}  // namespace quill::gui
