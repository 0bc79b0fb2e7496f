// The texts the projector shows its user and the private window messages its parts exchange,
// in one place so that tests and code agree on every character.
#pragma once

#include <windows.h>

namespace quill::projector {

inline constexpr const char* kSocketFailed = "Failed to initialize the WIndows Socket!";
inline constexpr const char* kInvalidAppData = "Invalid application data";
inline constexpr const char* kNoFlashControl = "Failed to load the Macromedia Flash Player!";
inline constexpr const char* kOleAutTooOld =
    "The OleAut32.dll in your system is too old to run this application. Do you want to update "
    "it?\r\n\r\nIf you decide to update the dll, be sure to close any other running "
    "applications.";
inline constexpr const char* kOleAutUpdateFailed = "Failed to update the OleAut32.dll!";
inline constexpr const char* kScriptNotResponding =
    "A script is not responding.\r\n\r\nStop the script? (Yes stops it, No lets it go on.)";

// Private messages of the main window.
inline constexpr UINT kMsgApplyShape = 0x800A;
inline constexpr UINT kMsgClose = 0x8064;
inline constexpr UINT kMsgScaleMode = 0x87D1;
inline constexpr UINT kMsgBackground = 0x87D2;
inline constexpr UINT kMsgTrayIcon = 0x87D3;
inline constexpr UINT kMsgPendingQuit = 0x87D4;  // a deferred "Quill_Quit" may go ahead now

inline constexpr UINT kOpenMovieCommand = 0xE101;
inline constexpr UINT kConfigCommand = 32777;
inline constexpr UINT kHelpCommand = 32778;
inline constexpr UINT kAboutCommand = 32780;
inline constexpr int kControlChildId = 1001;
inline constexpr LONG kFsCommandDispId = 150;

// The class identifier of the movie control.
inline constexpr CLSID kMovieControlClsid = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

}  // namespace quill::projector
