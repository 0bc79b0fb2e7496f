// ProjectorApp: the projector's application object. It runs once before the message loop
// (AppStart: identity, work folder, settings, lists, main window, start-up script, first movie)
// and once after it (AppExit: extracted files and the work folder go).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "projector/records/movie_list.h"
#include "projector/records/project_settings.h"
#include "projector/speaker_mute.h"

namespace quill::projector {

class CMainFrame;

// Whether the movie control's class is registered on the system at all.
bool controlRegistered();

class ProjectorApp {
  public:
    ProjectorApp();
    ~ProjectorApp();
    ProjectorApp(const ProjectorApp&) = delete;
    ProjectorApp& operator=(const ProjectorApp&) = delete;

    // False ends the process before the message loop (AppExit still runs).
    bool AppStart(const std::vector<std::wstring>& arguments);
    int AppExit();

    // Movie paths and "/o:SETTINGS" from the arguments (argument 0 is the program); true when
    // a settings file supplied the settings.
    bool ParseCommandLine(const std::vector<std::wstring>& arguments);
    std::string PickStartMovie();
    // The control file to load, or empty for the registered control.
    std::wstring EnsureFlashControl();
    bool ExtractSupportLibrary(const char* resource, const char* library,
                               const std::string& folder);
    bool CheckOleAut32(const char* library, int major, int minor, std::string* path);

    // The projector's message box: the main window's caption as title, the stop icon.
    void showError(const std::string& text) const;

    const project::ProjectSettings& settings() const { return settings_; }
    // The settings the options dialog and scripts (setWindowless) edit; storeOptions keeps them as
    // the per-user "Settings"\"Options" value (false when they could not be written).
    project::ProjectSettings& editableSettings() { return settings_; }
    bool storeOptions();
    const project::MaskList& masks() const { return masks_; }
    // Brings the speakers' mute switch to the settings' wish (miscFlags bit 8).
    void applyMute() { mute_.apply((settings_.miscFlags & 0x100) != 0); }
    const project::MovieList& movies() const { return movies_; }
    const std::string& workFolder() const { return workFolder_; }
    // HKEY_CURRENT_USER\Software\<key>\<profile>
    const std::wstring& profileKey() const { return profileKey_; }
    CMainFrame* mainFrame() const { return frame_.get(); }

  private:
    bool readIdentity();
    bool createWorkFolder();
    void loadSettings();
    project::ExtractTarget extractTarget() const;
    bool createOwnerWindow();
    void deleteWorkFolder();

    project::ProjectSettings settings_;
    project::MovieList movies_;
    project::MaskList masks_;
    std::string workFolder_;  // ANSI, ends in a backslash; empty when none could be made
    std::string exeFolder_;
    std::wstring profileKey_;
    std::unique_ptr<CMainFrame> frame_;
    HWND owner_ = nullptr;
    bool socketsStarted_ = false;
    bool comStarted_ = false;
    SpeakerMute mute_;
};

}  // namespace quill::projector
