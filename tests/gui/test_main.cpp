// The main of every Windows test program: a crash ends the process at once with the crash exit
// code instead of waiting for a debugger. Built a second time with QUILL_TEST_NEEDS_DISPLAY for
// programs that drive windows: there a missing display fails the run, it never skips it.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/gui/gui_bench.h"

int main(int argc, char** argv) {
    quill::gui::installCrashFilter();
    // Whatever a test printed before a crash is not lost in a buffer the crash never flushes.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef QUILL_TEST_NEEDS_DISPLAY
    // Checked here rather than in a test environment: gtest reports the tests behind a failed
    // environment as skipped, and ctest counts a skipped test as no failure. Listing the tests
    // (test discovery) needs no display.
    if (!GTEST_FLAG_GET(list_tests)) {
        std::string problem = quill::gui::displayProblem();
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
    }
#endif
    return RUN_ALL_TESTS();
}
