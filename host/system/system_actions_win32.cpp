// The real machine-wide actions of Shell and SysInfo (see system_actions.h).
#include "host/system/system_actions.h"

#include <shellapi.h>

namespace quill {

namespace {

constexpr UINT kSaveAndAnnounce = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE;

// A setting change goes to every top-level window; a hung one must not hang the script.
void announceSettingChange() {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
}

bool exitWindows(UINT flags) {
    return ExitWindowsEx(flags, 0) != FALSE;
}

bool setComputerName(const wchar_t* name) {
    return SetComputerNameW(name) != FALSE;
}

bool setWallpaper(const wchar_t* path, UINT winIni) {
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(path), winIni) !=
           FALSE;
}

bool setScreenSaverActive(bool active) {
    return SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr,
                                 kSaveAndAnnounce) != FALSE;
}

bool setScreenSaverPath(const wchar_t* shortPath) {
    DWORD bytes = static_cast<DWORD>((wcslen(shortPath) + 1) * sizeof(wchar_t));
    if (RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE", REG_SZ,
                        shortPath, bytes) != ERROR_SUCCESS) {
        return false;
    }
    announceSettingChange();
    return setScreenSaverActive(true);
}

bool setScreenSaverTimeout(UINT seconds) {
    return SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, seconds, nullptr, kSaveAndAnnounce) !=
           FALSE;
}

LONG changeDisplayMode(DEVMODEW* mode, DWORD flags) {
    return ChangeDisplaySettingsW(mode, flags);
}

void emptyRecycleBin(HWND owner) {
    SHEmptyRecycleBinW(owner, nullptr, 0);
}

constexpr SystemActions kReal = {
    .exitWindows = exitWindows,
    .setComputerName = setComputerName,
    .setWallpaper = setWallpaper,
    .setScreenSaverPath = setScreenSaverPath,
    .setScreenSaverActive = setScreenSaverActive,
    .setScreenSaverTimeout = setScreenSaverTimeout,
    .changeDisplayMode = changeDisplayMode,
    .emptyRecycleBin = emptyRecycleBin,
};

SystemActions current = kReal;

}  // namespace

SystemActions& systemActions() {
    return current;
}

const SystemActions& realSystemActions() {
    return kReal;
}

}  // namespace quill
