// CMainFrame: the projector's main window. It hosts the one movie control filling its client
// area, owns the FSCommand bridge, answers the private messages of the other parts, plays movies
// and runs the close procedure that shuts the script engine down.
#pragma once

#include <windows.h>

#include <string>

#include "projector/fscommand_bridge.h"
#include "projector/shockwave_flash.h"

namespace quill::projector {

class ProjectorApp;

class CMainFrame final : public BridgeWindow {
  public:
    explicit CMainFrame(ProjectorApp& app) : app_(app), bridge_(this) {}
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // Creates the (hidden) frame window owned by `owner`; its creation hosts the control. False
    // when the control could not be created (the user has been told, unless the start-up
    // script answered false).
    bool create(HWND owner);

    HWND hwnd() const override { return hwnd_; }
    void closePlayer() override { ClosePlayer(); }
    void showError(const std::string& text) override;

    FsCommandBridge& bridge() { return bridge_; }
    CShockwaveFlash& control() { return control_; }
    void setOpenMovie(bool enabled) { openMovie_ = enabled; }

    void PlayMovie(const std::string& path);
    void ClosePlayer();
    // Caption and scale mode from the settings (the frame's look beyond that is not ours yet).
    void ApplyFrameStyle();
    // Sizes the client area to the movie's frame (sizeMode 0 and 2) or to the given pixels
    // (sizeMode 3), centres the window and shows it.
    void ApplyPlacement(const std::string& moviePath);
    std::string caption() const;

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool onCreate();
    void onOpenMovie();

    ProjectorApp& app_;
    FsCommandBridge bridge_;
    CShockwaveFlash control_;
    HWND hwnd_ = nullptr;
    bool openMovie_ = false;
};

}  // namespace quill::projector
