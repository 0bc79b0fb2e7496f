// The projector tests' helpers: files and folders, the quill tool, child projectors and the
// registry, all with bounded waits.
#include "tests/projector/projector_test_support.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <fstream>
#include <sstream>

namespace quill::projector::test {

namespace {

std::string windowsTempFolder() {
    char buffer[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, buffer);
    return std::string(buffer, n);
}

std::string slashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// Runs a command line, waiting up to `timeoutMs`; the exit code, or ~0 on failure.
DWORD runCommand(const std::string& commandLine, std::string* output, DWORD timeoutMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    char tempName[MAX_PATH];
    GetTempFileNameA(windowsTempFolder().c_str(), "qpo", 0, tempName);
    HANDLE out = CreateFileA(tempName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    si.hStdInput = nullptr;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    DWORD code = ~0u;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 1);
        }
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    if (output) *output = readText(tempName);
    DeleteFileA(tempName);
    return code;
}

}  // namespace

Scratch::Scratch(const std::string& name) {
    dir_ = windowsTempFolder() + "quill-projector-tests\\";
    CreateDirectoryA(dir_.c_str(), nullptr);
    dir_ += name + "\\";
    removeTree(dir_);
    CreateDirectoryA(dir_.c_str(), nullptr);
}

Scratch::~Scratch() {
    removeTree(dir_);
}

std::string Scratch::slashed(const std::string& name) const {
    return slashes(dir_ + name);
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    ASSERT_TRUE(file.good()) << path;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void removeTree(const std::string& folder) {
    for (const std::string& name : listFolder(folder)) {
        std::string path = folder + name;
        if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            removeTree(path + "\\");
        } else {
            DeleteFileA(path.c_str());
        }
    }
    std::string self = folder;
    if (!self.empty() && self.back() == '\\') self.pop_back();
    RemoveDirectoryA(self.c_str());
}

// The build knows its files by their Unix paths; Wine shows the Unix root as drive Z:.
std::string windowsPath(const std::string& unix) {
    std::string path = "Z:";
    for (char c : unix) path += c == '/' ? '\\' : c;
    return path;
}

std::string stubPath() {
    return windowsPath(QUILL_PROJECTOR_STUB);
}
std::string controlFile() {
    return windowsPath(QUILL_CONTROL_FILE);
}
std::string controlFileSlashed() {
    return slashes(controlFile());
}
std::string sourcePath(const std::string& relative) {
    return slashes(windowsPath(QUILL_SOURCE_DIR)) + "/" + relative;
}

int runQuill(const std::string& arguments, std::string* output) {
    return static_cast<int>(
        runCommand("\"" + windowsPath(QUILL_TOOL) + "\" " + arguments, output, 120000));
}

void buildMovie(const std::string& description, const std::string& swf) {
    writeText(swf + ".toml", description);
    std::string output;
    ASSERT_EQ(runQuill("movie build \"" + swf + ".toml\" -o \"" + swf + "\"", &output), 0)
        << output;
}

void packProject(const std::string& toml, const std::string& exe) {
    std::string output;
    ASSERT_EQ(
        runQuill("pack \"" + toml + "\" -o \"" + exe + "\" --stub \"" + stubPath() + "\"", &output),
        0)
        << output;
}

std::string logFunction(const std::string& logPath) {
    return "function log(t) { var f = new FileStream(\"" + slashes(logPath) +
           "\", \"a\"); f.write(t + \"\\n\"); f.close(); }\n";
}

DWORD runCommandLine(const std::string& commandLine) {
    return runCommand(commandLine, nullptr, 60000);
}

bool registerControl(bool registered) {
    std::string command =
        std::string("regsvr32.exe /s ") + (registered ? "" : "/u ") + "\"" + controlFile() + "\"";
    DWORD code = runCommand(command, nullptr, 60000);
    return code == 0;
}

Projector::Projector(const std::string& exe, const Options& options) {
    std::vector<std::pair<std::string, std::string>> saved;
    for (const auto& [name, value] : options.environment) {
        char old[32768];
        DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
        saved.emplace_back(name, n ? std::string(old, n) : std::string("\x01"));
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    std::string line =
        "\"" + exe + "\"" + (options.arguments.empty() ? "" : " ") + options.arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        process_ = pi.hProcess;
        threadId_ = pi.dwThreadId;
        CloseHandle(pi.hThread);
    }
    for (const auto& [name, value] : saved) {
        SetEnvironmentVariableA(name.c_str(), value == "\x01" ? nullptr : value.c_str());
    }
}

Projector::~Projector() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

HWND Projector::mainWindow(DWORD timeoutMs) {
    HWND found = nullptr;
    gui::waitFor(
        [&] {
            found = gui::findWindow(L"QuillProjectorFrame", {}, threadId_);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

bool Projector::answerMessageBox(std::string* text, int command, DWORD timeoutMs) {
    HWND dialog = nullptr;
    if (!gui::waitFor([&] { return (dialog = gui::findDialog(threadId_)) != nullptr; },
                      timeoutMs)) {
        return false;
    }
    if (text) {
        HWND label = GetDlgItem(dialog, 0xFFFF);
        std::wstring wide = label ? gui::windowText(label) : std::wstring();
        text->assign(wide.begin(), wide.end());
    }
    PostMessageW(dialog, WM_COMMAND, command, 0);
    return gui::waitFor([&] { return !IsWindow(dialog); }, timeoutMs);
}

bool Projector::waitExit(DWORD* code, DWORD timeoutMs) {
    if (!process_) return false;
    bool ended =
        gui::waitFor([&] { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }, timeoutMs);
    if (ended && code) GetExitCodeProcess(process_, code);
    return ended;
}

void Projector::close() {
    if (HWND window = gui::findWindow(L"QuillProjectorFrame", {}, threadId_)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

namespace {
// The first frame runs the script "shown" and stops.
const char kShownFrame[] =
    "[[frame]]\nframe = 1\nactions = '''\nfscommand \"Quill_Run\" \"shown\"\nstop\n'''\n";
}  // namespace

std::string shownMovie(int width, int height) {
    return "[movie]\nwidth = " + std::to_string(width) + "\nheight = " + std::to_string(height) +
           "\n" + kShownFrame;
}

std::string blockMovie() {
    return std::string(
               "[movie]\nwidth = 200\nheight = 100\nbackground = \"#00ff00\"\n[[shape]]\n"
               "name = \"block\"\nrect = [0, 0, 60, 40]\nfill = \"#ff0000\"\n[[place]]\n"
               "name = \"block\"\nx = 20\ny = 20\n") +
           kShownFrame;
}

std::string packWindow(const Scratch& scratch, const std::string& sections,
                       const std::string& description, const std::string& script) {
    buildMovie(description, scratch.path("m.swf"));
    writeText(scratch.path("shown.qls"), logFunction(scratch.path("log.txt")) + script);
    writeText(scratch.path("p.toml"),
              "id = \"Quill Tests/Window\"\nmovies = [\"m.swf\"]\nscripts = [\"shown.qls\"]\n" +
                  sections);
    std::string exe = scratch.path("p.exe");
    packProject(scratch.path("p.toml"), exe);
    return exe;
}

Projector::Options inTmp(const Scratch& scratch, const std::string& arguments) {
    CreateDirectoryA(scratch.path("tmp").c_str(), nullptr);
    return {{{"TMP", scratch.path("tmp")}}, arguments};
}

HWND shownWindow(Projector& p, const Scratch& scratch) {
    HWND window = p.mainWindow();
    return window && waitForText(scratch.path("log.txt"), "shown\n") ? window : nullptr;
}

HWND waitDialog(const Projector& p, const wchar_t* title) {
    HWND found = nullptr;
    gui::waitFor([&] {
        found = gui::findWindow(L"#32770", title, p.threadId());
        return found && IsWindowVisible(found);
    });
    return found && IsWindowVisible(found) ? found : nullptr;
}

void closeProjector(Projector& p) {
    p.close();
    DWORD code = 1;
    EXPECT_TRUE(p.waitExit(&code));
}

bool popupMenuShown(DWORD threadId) {
    for (HWND w : gui::threadWindows(threadId)) {
        if (gui::className(w) == L"#32768" && IsWindowVisible(w)) return true;
    }
    return false;
}

bool waitForText(const std::string& path, const std::string& text, DWORD timeoutMs) {
    return gui::waitFor([&] { return readText(path).find(text) != std::string::npos; }, timeoutMs);
}

std::vector<uint8_t> readUserValue(const std::string& key, const std::string& name) {
    HKEY handle;
    std::vector<uint8_t> out;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return out;
    }
    DWORD size = 0;
    if (RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        out.resize(size);
        RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, out.data(), &size);
        out.resize(size);
    }
    RegCloseKey(handle);
    return out;
}

void writeUserValue(const std::string& key, const std::string& name,
                    const std::vector<uint8_t>& bytes) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, name.c_str(), 0, REG_BINARY, bytes.data(),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(handle);
}

void deleteUserKey(const std::string& key) {
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace quill::projector::test
