// How the settings record turns into the main window's styles, rectangle, region transform,
// menus and input decisions. Pure arithmetic on plain numbers (the Win32 constants are spelled
// out here), so every rule is tested natively; the frame window applies the results.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "projector/records/project_settings.h"

namespace quill::projector::layout {

struct Size {
    int32_t cx = 0;
    int32_t cy = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Window styles (WS_*) and extended styles (WS_EX_*) the frame style touches.
inline constexpr uint32_t kStylePopup = 0x80000000;
inline constexpr uint32_t kStyleCaption = 0x00C00000;
inline constexpr uint32_t kStyleSysMenu = 0x00080000;
inline constexpr uint32_t kStyleThickFrame = 0x00040000;
inline constexpr uint32_t kStyleMinimizeBox = 0x00020000;
inline constexpr uint32_t kStyleMaximizeBox = 0x00010000;
inline constexpr uint32_t kStyleFrameMask = 0x80CF0000;  // pop-up and the overlapped window
inline constexpr uint32_t kExToolWindow = 0x00000080;
inline constexpr uint32_t kExClientEdge = 0x00000200;
inline constexpr uint32_t kExContextHelp = 0x00000400;
inline constexpr uint32_t kExAppWindow = 0x00040000;
inline constexpr uint32_t kExFrameMask = 0x000404A0;  // tool window, transparent, help, app

struct Styles {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    bool operator==(const Styles&) const = default;
};

// The styles of a window that had `current`, after the frame style and buttons are applied.
Styles frameStyles(uint32_t frameStyle, uint32_t frameButtons, Styles current);

// The control's scale mode for a frameParam / private-message value (1 show all, 2 no border,
// 256 exact fit, 16 no scale); nothing for other values.
std::optional<int32_t> scaleModeOf(uint32_t frameParam);

enum class Show { kNormal, kMaximized, kFullScreen };

struct Placement {
    Rect window;
    Show show = Show::kNormal;
    bool operator==(const Placement&) const = default;
};

// Where the window goes: `window` and `client` are its current outer rectangle and client
// size, `movie` the start movie's frame size when it could be read.
Placement placeWindow(const project::ProjectSettings& settings, Size screen, Rect window,
                      Size client, std::optional<Size> movie);

// A placed window that would lie wholly outside the desktop (`desktop`, all displays) is
// moved onto the primary display (`screen`, at 0,0) so the user can reach it; any window that
// shows on some display stays where it is.
Rect keepOnDesktop(Rect window, Rect desktop, Size screen);

// Client width divided by client height (0 for an empty client area), as the window keeps it.
float aspectRatio(Size client);

// The rectangle that keeps the aspect ratio after a user resize from `before` to `after`, with
// `overhead` the outer size minus the client size; `after` itself when nothing is kept.
Rect keepAspect(float ratio, Rect before, Rect after, Size overhead);

// The transform from movie coordinates to window coordinates for a mask region (an XFORM
// without rotation). `scaleMode` is the control's (0 show all, 1 no border, 2 exact fit,
// 3 no scale); `clientOffset` is the client origin minus the window origin.
struct Transform {
    float scaleX = 1;
    float scaleY = 1;
    float dx = 0;
    float dy = 0;
    bool operator==(const Transform&) const = default;
};
std::optional<Transform> maskTransform(int32_t scaleMode, Size movie, Size client,
                                       Size clientOffset);

// A .msk file: a u32 byte count N and N bytes of region data (a 32-byte header, then
// rectangles). The region data when the file is well formed: the count fits the file, the
// header says rectangles, and the rectangles it counts fit the data; nothing otherwise.
std::optional<std::span<const uint8_t>> maskRegionData(std::span<const uint8_t> file);

// The system menu items the settings add after the ones the window was created with.
enum class MenuItem { kSeparator, kPlayerMenu, kConfig, kHelp, kAbout };
std::vector<MenuItem> systemMenuAdditions(uint32_t systemMenuFlags);

// Which window-menu items a popup enables.
struct MenuStates {
    bool restore = false;
    bool size = false;
    bool maximize = false;
    bool minimize = false;
    bool operator==(const MenuStates&) const = default;
};
MenuStates menuStates(const project::ProjectSettings& settings, bool maximized);

// The notification-icon toggle and the first item of its menu.
enum class WindowState { kHidden, kVisible, kMinimized };
enum class Toggle { kShow, kMinimizeAndHide, kRestore };
Toggle trayToggle(WindowState state);
const char* trayToggleText(WindowState state);  // "Show ", "Hide " or "Restore "

// Mouse messages the filter on the control's window decides about.
enum class Mouse { kMove, kLeftDown, kLeftUp, kLeftDouble, kRightDown, kRightDouble };
struct MouseDecision {
    bool passOn = true;
    bool startDrag = false;
    bool endDrag = false;
    bool moveWindow = false;  // by the cursor's travel since the button went down
    bool showMenu = false;    // the main window's system menu at the cursor
};
MouseDecision mouseFilter(uint32_t leftMode, uint32_t rightMode, Mouse message, bool dragging,
                          bool leftButtonDown);

// Key messages: whether the key reaches the movie and whether the window is to close.
enum class Key { kDown, kChar, kSysDown, kSysChar, kUp, kSysUp };
inline constexpr uint16_t kModifierShift = 1;
inline constexpr uint16_t kModifierCtrl = 2;
inline constexpr uint16_t kModifierAlt = 4;
inline constexpr uint32_t kVirtualKeyEscape = 0x1B;
struct KeyDecision {
    bool passOn = true;
    bool close = false;
};
KeyDecision keyFilter(const project::ProjectSettings& settings, Key message, uint32_t virtualKey,
                      uint16_t heldModifiers);

}  // namespace quill::projector::layout
