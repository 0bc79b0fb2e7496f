// The filter on the movie control's window: the left- and right-button modes, the keys that
// reach the movie, the close keys, and the player commands of the projector's menus, which the
// control's window receives as WM_COMMAND and carries out on the control.
#pragma once

#include <windows.h>

namespace quill::projector {

class CMainFrame;
class CShockwaveFlash;

// Player commands of menu 130.
inline constexpr UINT kCmdRewind = 20025;
inline constexpr UINT kCmdZoomOut = 20030;
inline constexpr UINT kCmdShowAll = 20034;
inline constexpr UINT kCmdQualityLow = 20035;
inline constexpr UINT kCmdQualityMedium = 20036;
inline constexpr UINT kCmdQualityHigh = 20037;
inline constexpr UINT kCmdPlay = 20039;
inline constexpr UINT kCmdForward = 20040;
inline constexpr UINT kCmdBack = 20041;
inline constexpr UINT kCmdZoomIn = 20042;
inline constexpr UINT kCmdLoop = 20043;
inline constexpr UINT kCmdAboutPlayer = 20044;
inline constexpr UINT kCmdActualSize = 20046;

bool isPlayerCommand(UINT id);

class ControlInput {
  public:
    ControlInput(CMainFrame& frame, CShockwaveFlash& control) : frame_(frame), control_(control) {}
    ~ControlInput() { detach(); }
    ControlInput(const ControlInput&) = delete;
    ControlInput& operator=(const ControlInput&) = delete;

    // Subclasses the control's window (again after a new control window); detach undoes it.
    void attach(HWND controlWindow);
    void detach();

    // Carries out a player command on the control; false for other commands.
    bool playerCommand(UINT id);
    // Checks the player items of a menu about to be shown by the control's state (play, loop,
    // scale mode, quality).
    void checkPlayerItems(HMENU menu);
    // Shows the main window's system menu at the cursor and sends the chosen command on.
    void showSystemMenu(POINT screen);

  private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    // True when the message is to reach the control.
    bool filter(UINT message, WPARAM wParam, LPARAM lParam);

    CMainFrame& frame_;
    CShockwaveFlash& control_;
    HWND window_ = nullptr;
    int zoom_ = 0;
    bool dragging_ = false;
    POINT dragCursor_{};
    RECT dragWindow_{};
};

}  // namespace quill::projector
