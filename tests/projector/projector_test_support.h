// Helpers for the projector's end-to-end tests under Wine: scratch folders, projects written and
// packed with the Windows `quill` tool, packed projectors started as child processes with their
// own TMP, and what they leave behind (log files written by their scripts, windows, message
// boxes, per-user registry values).
#pragma once

#include "tests/gui/gui_bench.h"  // first: it brings windows.h

#include <cstdint>
#include <string>
#include <vector>

namespace quill::projector::test {

// A fresh, empty folder for one test ("Z:\...\" with a trailing backslash), removed afterwards.
class Scratch {
  public:
    explicit Scratch(const std::string& name);
    ~Scratch();
    const std::string& dir() const { return dir_; }
    // The path with forward slashes, for script and TOML text.
    std::string slashed(const std::string& name = "") const;
    std::string path(const std::string& name) const { return dir_ + name; }

  private:
    std::string dir_;
};

void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);
bool fileExists(const std::string& path);
// The names in a folder (without "." and "..").
std::vector<std::string> listFolder(const std::string& folder);
void removeTree(const std::string& folder);

// Runs the Windows `quill` tool with the arguments; its exit code (output to `output`).
int runQuill(const std::string& arguments, std::string* output = nullptr);
// Builds a movie from a description text into `swf`; fails the test on error.
void buildMovie(const std::string& description, const std::string& swf);
// Packs `toml` into `exe` with the projector stub; fails the test on error.
void packProject(const std::string& toml, const std::string& exe);
// A line of script source that defines log(text), appending text and a newline to `logPath`.
std::string logFunction(const std::string& logPath);

std::string windowsPath(const std::string& unix);
std::string stubPath();
std::string controlFile();
std::string controlFileSlashed();
// A file of the source tree, with forward slashes.
std::string sourcePath(const std::string& relative);
// Runs a command line to its end (at most a minute); its exit code.
DWORD runCommandLine(const std::string& commandLine);
// Registers (or unregisters) the movie control in the prefix; true on success.
bool registerControl(bool registered);

// A packed projector running as a child process.
class Projector {
  public:
    struct Options {
        std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
        std::string arguments;                                         // after the program
    };
    Projector(const std::string& exe, const Options& options);
    ~Projector();  // ends the process if it is still running
    Projector(const Projector&) = delete;
    Projector& operator=(const Projector&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD threadId() const { return threadId_; }
    // The visible main window, waiting for it.
    HWND mainWindow(DWORD timeoutMs = gui::kDefaultTimeoutMs);
    // A message box (or any dialog) of the process: its text, then answers it with `command`.
    bool answerMessageBox(std::string* text, int command = IDOK,
                          DWORD timeoutMs = gui::kDefaultTimeoutMs);
    // Waits for the process to end; false on timeout.
    bool waitExit(DWORD* code, DWORD timeoutMs = gui::kDefaultTimeoutMs);
    void close();  // WM_CLOSE to the main window

  private:
    HANDLE process_ = nullptr;
    DWORD threadId_ = 0;
};

// A movie (200 by 100 pixels unless said) whose first frame runs the script "shown" and stops.
std::string shownMovie(int width = 200, int height = 100);
// A red block (20,20)-(80,60) on a green 200 by 100 stage, otherwise like shownMovie.
std::string blockMovie();
// Packs a one-movie project (id "Quill Tests/Window") with the given sections and the script
// "shown" (logging "shown" unless `script` says otherwise); its executable.
std::string packWindow(const Scratch& scratch, const std::string& sections,
                       const std::string& description = shownMovie(),
                       const std::string& script = "log('shown');");

// Options that run a projector with TMP set to the scratch folder's "tmp" (made here).
Projector::Options inTmp(const Scratch& scratch, const std::string& arguments = "");

// The projector's main window once the movie's first frame has logged "shown" (the scripts of
// shownMovie and packWindow); null if either does not come.
HWND shownWindow(Projector& p, const Scratch& scratch);

// The dialog of the projector's thread with that title, once it is visible; null if none shows.
HWND waitDialog(const Projector& p, const wchar_t* title);

// Closes the main window and expects the process to end.
void closeProjector(Projector& p);

// Whether a popup menu of the thread is on screen.
bool popupMenuShown(DWORD threadId);

// Waits (pumping nothing; the projector is another process) until `path` holds `text`.
bool waitForText(const std::string& path, const std::string& text,
                 DWORD timeoutMs = gui::kDefaultTimeoutMs);

// Per-user binary value under HKCU\<key>; empty when absent.
std::vector<uint8_t> readUserValue(const std::string& key, const std::string& name);
void writeUserValue(const std::string& key, const std::string& name,
                    const std::vector<uint8_t>& bytes);
void deleteUserKey(const std::string& key);

}  // namespace quill::projector::test
