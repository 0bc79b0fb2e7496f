// CMainFrame: the projector's main window. It hosts the one movie control filling its client
// area, owns the FSCommand bridge, answers the private messages of the other parts, plays movies
// and runs the close procedure that shuts the script engine down.
#pragma once

#include <windows.h>

#include <string>

#include "projector/control_input.h"
#include "projector/fscommand_bridge.h"
#include "projector/shockwave_flash.h"

namespace quill::projector {

class ProjectorApp;

class CMainFrame final : public BridgeWindow {
  public:
    explicit CMainFrame(ProjectorApp& app) : app_(app), bridge_(this), input_(*this, control_) {}
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

    ProjectorApp& app() { return app_; }
    FsCommandBridge& bridge() { return bridge_; }
    CShockwaveFlash& control() { return control_; }
    void setOpenMovie(bool enabled) { openMovie_ = enabled; }

    void PlayMovie(const std::string& path);
    void ClosePlayer();
    // The settings record applied to the window (window_features.cpp).
    void ApplyFrameStyle();
    void ApplyPlacement(const std::string& moviePath);
    void ApplyWindowShape();
    void ApplyWindowFlags(bool show);
    void BuildSystemMenu();
    void ApplySystemSettings();
    void UndoSystemSettings();
    // Client width divided by height, kept while the user resizes.
    void TakeAspectRatio();
    // Everything above again, in order, after the options dialog changed the settings.
    void ReapplySettings();
    void AddTrayIcon();
    void RemoveTrayIcon();
    std::string caption() const;
    // Before the control paints: the transparent background shapes take the movie's pixels.
    void onControlPaint();

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool onCreate();
    void onOpenMovie();
    // The options dialog over a copy of the settings; OK stores and applies them.
    void showOptions();
    void showAbout();
    void onEnterSizeMove();
    void onExitSizeMove();
    // False for commands the default handling takes.
    bool onSysCommand(WPARAM command);
    void onInitMenuPopup(HMENU menu, LPARAM lParam);
    void onTrayIcon(LPARAM mouseMessage);
    void toggleFromTray();
    void appendMenuAdditions(HMENU menu);

    ProjectorApp& app_;
    FsCommandBridge bridge_;
    CShockwaveFlash control_;
    ControlInput input_;
    HWND hwnd_ = nullptr;
    bool openMovie_ = false;
    std::string moviePath_;  // the movie last given to the control
    int systemMenuItems_ = 0;
    float aspect_ = 0;
    RECT sizeMoveStart_{};
    bool moving_ = false;
    bool trayIcon_ = false;
    bool cursorHidden_ = false;
    bool shaping_ = false;
    // A dialog of the window menus is open: posted commands must not open a second one.
    bool modalOpen_ = false;
};

}  // namespace quill::projector
