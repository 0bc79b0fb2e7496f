// Shared pieces of the desktop host-class GUI tests: an engine with the quill tool's functions
// (print, processMsg) that runs script text, a scratch folder, and the probe program the shell
// tests start.
#pragma once

#include "tests/gui/gui_bench.h"  // first: it brings windows.h

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/embed.h"

namespace quill::gui {

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs script text: its completion value as text, or "error: " and the engine's message.
    std::string eval(std::string_view script);
    // Whether the script's value is null (whose text is "undefined" in this dialect).
    bool isNull(std::string_view script);

    ScriptEngine* engine = nullptr;
    std::string trace;  // warnings and trace output of the scripts
};

// A folder of its own under the temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::string_view name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A script string literal for a path or text (quotes and backslashes escaped).
std::string literal(const std::string& text);
std::string literal(const char* text);
std::string literal(const std::filesystem::path& path);

// The test probe program, next to the test program.
std::filesystem::path probePath();

// The whole content of a text file, or "" when it cannot be read.
std::string readText(const std::filesystem::path& path);

}  // namespace quill::gui
