// Shared pieces of the desktop host-class GUI tests (see desktop_test_support.h).
#include "tests/gui/system/desktop_test_support.h"

#include <fstream>
#include <sstream>

#include "host/system/owner_window.h"
#include "tools/quill/tool_functions.h"

namespace quill::gui {

void DesktopTest::SetUp() {
    EngineConfig config;
    config.hostClasses = toolFunctions();
    engine = createEngine(config);
    ASSERT_NE(engine, nullptr);
    setTraceText(
        engine,
        [](void* user, std::string_view text) {
            *static_cast<std::string*>(user) += std::string(text) + "\n";
        },
        &trace);
}

void DesktopTest::TearDown() {
    setOwnerWindowProvider(nullptr);  // also when a test that set one failed on the way
    destroyEngine(engine);
    engine = nullptr;
}

std::string DesktopTest::eval(std::string_view script) {
    if (!runScriptText(engine, script)) return "error: " + errorText(engine);
    return completionText(engine);
}

bool DesktopTest::isNull(std::string_view script) {
    return eval("(" + std::string(script) + ") === null") == "true";
}

ScratchFolder::ScratchFolder(std::string_view name) {
    path_ = std::filesystem::temp_directory_path() /
            (std::string(name) + "-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string literal(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string literal(const char* text) {
    return literal(std::string(text));
}

std::string literal(const std::filesystem::path& path) {
    return literal(path.string());
}

std::filesystem::path probePath() {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / "quill_shell_probe.exe";
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace quill::gui
