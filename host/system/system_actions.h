// The actions of Shell and SysInfo that change the machine for everyone on it: ending the logon
// or the system, the computer name, the wallpaper, the screen saver, the display mode and the
// recycle bin. Members
// decide what to do from their arguments and then call these; tests replace them with recorders
// so that the argument handling is checked without touching the shared machine.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace quill {

struct SystemActions {
    // ExitWindowsEx with these flags (0 log off, 1 shut down, 2 reboot, 8 power off).
    bool (*exitWindows)(UINT flags);
    bool (*setComputerName)(const wchar_t* name);
    // SPI_SETDESKWALLPAPER; `winIni` holds SPIF_UPDATEINIFILE and SPIF_SENDCHANGE as asked.
    bool (*setWallpaper)(const wchar_t* path, UINT winIni);
    // Stores the screen-saver program (its short path), announces the change and turns the
    // screen saver on.
    bool (*setScreenSaverPath)(const wchar_t* shortPath);
    bool (*setScreenSaverActive)(bool active);
    bool (*setScreenSaverTimeout)(UINT seconds);
    // ChangeDisplaySettings: CDS_TEST only asks; CDS_UPDATEREGISTRY changes the mode.
    LONG (*changeDisplayMode)(DEVMODEW* mode, DWORD flags);
    // Empties the recycle bin of every drive after the shell's confirmation, owned by `owner`.
    // (Under Wine the bin is the Unix user's trash, which other programs share.)
    void (*emptyRecycleBin)(HWND owner);
};

// The actions in use; the real ones until someone assigns others.
SystemActions& systemActions();
// The real ones, for restoring.
const SystemActions& realSystemActions();

}  // namespace quill

#endif
