// The SysInfo host class: facts about the machine (names, system version, folders, work area,
// memory, processor clock), the screen saver, the display modes, and ending the logon or the
// system. Everything that changes the machine goes through systemActions(). The class value
// answers every member; constructing one gives an equivalent object.
#include <windows.h>  // first: the system headers below need it

#include <cpuid.h>
#include <x86intrin.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_classes.h"
#include "host/system/desktop_support.h"
#include "host/system/system_actions.h"
#include "runtime/array.h"

namespace quill {

namespace {

using desktop::fromWide;
using desktop::hasZero;
using desktop::wide;

struct SysInfoObject {};

// ---------------------------------------------------------------------------------------------
// Names and version.

// GetComputerName and GetUserName answer the size they need when the buffer is too small.
template <typename Get>
ScriptValue nameFrom(ScriptEngine* engine, Get&& get) {
    std::vector<wchar_t> buffer(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (get(buffer.data(), &size)) return newString(engine, desktop::fromBuffer(buffer));
        DWORD error = GetLastError();
        if ((error != ERROR_BUFFER_OVERFLOW && error != ERROR_INSUFFICIENT_BUFFER) ||
            size <= buffer.size()) {
            break;
        }
        buffer.assign(size + 1, L'\0');
    }
    return makeNull();
}

ScriptValue computerName(ScriptEngine* engine) {
    return nameFrom(engine, GetComputerNameW);
}
void setComputerName(std::u16string name) {
    if (!name.empty() && !hasZero(name)) systemActions().setComputerName(wide(name));
}

ScriptValue userName(ScriptEngine* engine) {
    return nameFrom(engine, GetUserNameW);
}

// The version the system really has: GetVersionEx answers an older one to programs that do not
// declare themselves ready for the newer.
RTL_OSVERSIONINFOEXW systemVersion() {
    RTL_OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersion = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*);
    auto get = reinterpret_cast<RtlGetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (!get || get(&info) != 0) {
        info = RTL_OSVERSIONINFOEXW{};
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
        GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    }
    return info;
}

// The names of the old systems, and of the workstation and server systems after them.
const char* systemName(const RTL_OSVERSIONINFOEXW& v) {
    const bool workstation = v.wProductType == VER_NT_WORKSTATION || v.wProductType == 0;
    const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion;
    switch (v.dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            return "Windows 32s";
        case VER_PLATFORM_WIN32_WINDOWS:
            return minor == 0 ? "Windows 95" : minor == 90 ? "Windows ME" : "Windows 98";
        case VER_PLATFORM_WIN32_NT:
            break;
        default:
            return "";
    }
    if (major == 3 || major == 4) return "Windows NT";
    if (major == 5) {
        if (minor == 0) return "Windows 2000";
        if (minor == 1) return "Windows XP";
        if (minor == 2) return workstation ? "Windows XP" : "Windows Server 2003";
        return "";
    }
    if (major == 6) {
        static const char* const kWorkstation[] = {"Windows Vista", "Windows 7", "Windows 8",
                                                   "Windows 8.1"};
        static const char* const kServer[] = {"Windows Server 2008", "Windows Server 2008 R2",
                                              "Windows Server 2012", "Windows Server 2012 R2"};
        if (minor > 3) return "";
        return workstation ? kWorkstation[minor] : kServer[minor];
    }
    if (major == 10 && minor == 0) {
        const DWORD build = v.dwBuildNumber;
        if (workstation) return build >= 22000 ? "Windows 11" : "Windows 10";
        return build >= 20348   ? "Windows Server 2022"
               : build >= 17763 ? "Windows Server 2019"
                                : "Windows Server 2016";
    }
    return "";
}

std::u16string version() {
    RTL_OSVERSIONINFOEXW v = systemVersion();
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %lu.%02lu.%04lu ", v.dwMajorVersion, v.dwMinorVersion,
                  v.dwBuildNumber & 0xFFFF);
    std::string head = std::string(systemName(v)) + numbers;
    v.szCSDVersion[127] = L'\0';
    return std::u16string(head.begin(), head.end()) + fromWide(v.szCSDVersion);
}

ScriptValue folder(ScriptEngine* engine, UINT (*get)(LPWSTR, UINT)) {
    std::u16string path;
    if (!desktop::readGrowing(get, &path) || path.empty()) return makeBoolean(false);
    return newString(engine, path);
}
ScriptValue sysDir(ScriptEngine* engine) {
    return folder(engine, GetSystemDirectoryW);
}
ScriptValue winDir(ScriptEngine* engine) {
    return folder(engine, GetWindowsDirectoryW);
}

// ---------------------------------------------------------------------------------------------
// Work area, memory and processor.

template <LONG RECT::*Edge>
ScriptValue workArea() {
    RECT area{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return makeNaN();
    return makeInteger(area.*Edge);
}

// The whole byte counts: machines have more than the 4 GB a 32-bit count can tell.
int64_t totalPhysMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? static_cast<int64_t>(status.ullTotalPhys) : 0;
}
int64_t availPhysMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? static_cast<int64_t>(status.ullAvailPhys) : 0;
}

// The time-stamp counter over half a second, read at the highest priority so that the two
// sleeps end on time.
ScriptValue cpuSpeed() {
    constexpr unsigned kTimeStampCounter = 1u << 4;  // leaf 1, EDX
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(edx & kTimeStampCounter)) return makeNaN();
    HANDLE process = GetCurrentProcess();
    HANDLE thread = GetCurrentThread();
    DWORD oldClass = GetPriorityClass(process);
    int oldPriority = GetThreadPriority(thread);
    SetPriorityClass(process, REALTIME_PRIORITY_CLASS);
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    Sleep(10);
    uint64_t first = __rdtsc();
    Sleep(500);
    uint64_t second = __rdtsc();
    SetThreadPriority(thread, oldPriority);
    SetPriorityClass(process, oldClass);
    return makeNumber(static_cast<double>((second - first) * 2 / 1000000));
}

// ---------------------------------------------------------------------------------------------
// Screen saver.

// The registry's value is the one in use on every system this runs on; "" when none is set.
std::u16string screenSaver() {
    std::u16string path;
    desktop::readGrowing(
        [](wchar_t* buffer, DWORD size) -> DWORD {
            DWORD bytes = size * sizeof(wchar_t);
            LSTATUS status =
                RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE",
                             RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, buffer, &bytes);
            if (status == ERROR_MORE_DATA) return bytes / sizeof(wchar_t) + 1;
            if (status != ERROR_SUCCESS) {
                SetLastError(static_cast<DWORD>(status));
                return 0;
            }
            return static_cast<DWORD>(wcsnlen(buffer, size));
        },
        &path);
    return path;
}

// The short form of the path is stored; a path the system cannot shorten (it does not exist)
// is stored as given.
void setScreenSaver(std::u16string path) {
    if (path.empty() || hasZero(path)) return;
    std::u16string shortPath;
    if (!desktop::readGrowing(
            [&](wchar_t* buffer, DWORD size) {
                return GetShortPathNameW(wide(path), buffer, size);
            },
            &shortPath) ||
        shortPath.empty()) {
        shortPath = path;
    }
    systemActions().setScreenSaverPath(wide(shortPath));
}

bool screenSaverActive() {
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active != FALSE;
}
void setScreenSaverActive(bool active) {
    systemActions().setScreenSaverActive(active);
}

int64_t screenSaverTimeout() {
    int seconds = 0;
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}
void setScreenSaverTimeout(int64_t seconds) {
    if (seconds >= 0 && seconds <= INT32_MAX) {
        systemActions().setScreenSaverTimeout(static_cast<UINT>(seconds));
    }
}

// ---------------------------------------------------------------------------------------------
// Display modes.

ScriptValue modeObject(ScriptEngine* engine, const DEVMODEW& mode) {
    desktop::ResultObject object(engine);
    object.set("bitsPerPel", int64_t(mode.dmBitsPerPel));
    object.set("pelsWidth", int64_t(mode.dmPelsWidth));
    object.set("pelsHeight", int64_t(mode.dmPelsHeight));
    object.set("displayFrequency", int64_t(mode.dmDisplayFrequency));
    return object.value();
}

bool currentMode(DEVMODEW* mode) {
    *mode = DEVMODEW{};
    mode->dmSize = sizeof *mode;
    return EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, mode) != FALSE;
}

ScriptValue displaySetting(ScriptEngine* engine) {
    DEVMODEW mode;
    if (!currentMode(&mode)) return makeNull();
    return modeObject(engine, mode);
}

// A numeric property of the assigned object, when it has one that fits a mode field.
std::optional<DWORD> modeField(ScriptEngine* engine, const ScriptValue& object, const char* name) {
    ScriptValue value;
    if (!getProperty(engine, object, intern(engine, name), &value)) return std::nullopt;
    double number = 0;
    if (value.tag == kTagInteger) {
        number = double(value.i);
    } else if (value.tag == kTagNumber) {
        number = value.d;
    } else {
        return std::nullopt;
    }
    if (!(number >= 0 && number <= double(UINT32_MAX))) return std::nullopt;
    return static_cast<DWORD>(number);
}

// Starts from the current mode and changes what the object names; with a true `test` the system
// is only asked whether the mode would work. The system's answer goes back into `test`.
void setDisplaySetting(ScriptEngine* engine, ScriptValue object) {
    if (object.tag != kTagObject) return;
    DEVMODEW mode;
    if (!currentMode(&mode)) return;
    mode.dmFields = 0;
    struct Field {
        const char* name;
        DWORD DEVMODEW::*member;
        DWORD flag;
    };
    static constexpr Field kFields[] = {
        {"pelsWidth", &DEVMODEW::dmPelsWidth, DM_PELSWIDTH},
        {"pelsHeight", &DEVMODEW::dmPelsHeight, DM_PELSHEIGHT},
        {"displayFrequency", &DEVMODEW::dmDisplayFrequency, DM_DISPLAYFREQUENCY},
        {"bitsPerPel", &DEVMODEW::dmBitsPerPel, DM_BITSPERPEL},
    };
    for (const Field& field : kFields) {
        if (std::optional<DWORD> value = modeField(engine, object, field.name)) {
            mode.*field.member = *value;
            mode.dmFields |= field.flag;
        }
    }
    uint32_t testAtom = intern(engine, "test");
    ScriptValue test;
    bool onlyTest = getProperty(engine, object, testAtom, &test) && isTruthy(test);
    LONG code = systemActions().changeDisplayMode(&mode, onlyTest ? CDS_TEST : CDS_UPDATEREGISTRY);
    setByAtom(engine, object.obj, testAtom, makeInteger(code));
}

// At most this many modes: a driver that never ends its list cannot keep the script forever.
constexpr DWORD kMaxModes = 4096;

ScriptValue getDisplaySettings(ScriptEngine* engine) {
    std::vector<DEVMODEW> modes;
    for (DWORD i = 0; i < kMaxModes; ++i) {
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsW(nullptr, i, &mode)) break;
        modes.push_back(mode);
    }
    ScriptValue array;
    newArray(engine, &array, modes.size());
    for (size_t i = 0; i < modes.size(); ++i)
        setElement(engine, array, modeObject(engine, modes[i]), i);
    return array;
}

// ---------------------------------------------------------------------------------------------
// Ending the logon or the system: no privilege is asked for.

void logOff() {
    systemActions().exitWindows(EWX_LOGOFF);
}
void shutdown() {
    systemActions().exitWindows(EWX_SHUTDOWN);
}
void reboot() {
    systemActions().exitWindows(EWX_REBOOT);
}
void powerOff() {
    systemActions().exitWindows(EWX_POWEROFF);
}

std::unique_ptr<SysInfoObject> makeSysInfo() {
    return std::make_unique<SysInfoObject>();
}

constexpr bind::Member kSysInfoMembers[] = {
    bind::property<computerName, setComputerName>("computerName")
        .doc(
            "The computer's name (null when unreadable); assigning a string renames the computer."),
    bind::getter<userName>("userName").doc("The logged-on user's name; null when unreadable."),
    bind::getter<version>("version").doc(
        "The Windows name and version, such as \"Windows XP 5.01.2600 Service Pack 3\"."),
    bind::getter<sysDir>("sysDir").doc("The Windows system folder; false when unreadable."),
    bind::getter<winDir>("winDir").doc("The Windows folder; false when unreadable."),
    bind::getter<workArea<&RECT::left>>("workareaLeft")
        .doc(
            "The left edge of the desktop work area (the screen without the task bar), in pixels."),
    bind::getter<workArea<&RECT::top>>("workareaTop")
        .doc("The top edge of the desktop work area, in pixels."),
    bind::getter<workArea<&RECT::right>>("workareaRight")
        .doc("The right edge of the desktop work area, in pixels."),
    bind::getter<workArea<&RECT::bottom>>("workareaBottom")
        .doc("The bottom edge of the desktop work area, in pixels."),
    bind::getter<totalPhysMemory>("totalPhysMemory").doc("Physical memory in bytes."),
    bind::getter<availPhysMemory>("availPhysMemory").doc("Available physical memory in bytes."),
    bind::getter<cpuSpeed>("cpuSpeed")
        .doc("The processor clock in MHz; NaN when it cannot be measured."),
    bind::property<screenSaver, setScreenSaver>("screenSaver")
        .doc("The screen saver's program path; assigning a path sets it."),
    bind::property<screenSaverActive, setScreenSaverActive>("screenSaverActive")
        .doc("Whether the screen saver is on; assignable."),
    bind::property<screenSaverTimeout, setScreenSaverTimeout>("screenSaverTimeout")
        .doc("The idle time before the screen saver starts, in seconds; assignable."),
    bind::property<displaySetting, setDisplaySetting>("displaySetting")
        .doc("The display mode as an object {bitsPerPel, pelsWidth, pelsHeight, displayFrequency}; "
             "assigning such an object changes the mode."),
    bind::classMethod<getDisplaySettings>("getDisplaySettings")
        .doc("An array of every display mode the display offers, as displaySetting objects."),
    bind::classMethod<logOff>("logOff").doc("Logs the user off."),
    bind::classMethod<shutdown>("shutdown").doc("Shuts the system down."),
    bind::classMethod<reboot>("reboot").doc("Restarts the system."),
    bind::classMethod<powerOff>("powerOff").doc("Shuts the system down and turns the power off."),
    bind::objectText("[object SysInfo]"),
};

}  // namespace

void registerSysInfo(ScriptEngine* engine) {
    bind::defineClass<SysInfoObject>(
        engine, {.name = "SysInfo",
                 .id = ClassId::kSysInfo,
                 .members = {kSysInfoMembers},
                 .call = bind::constructorCall<makeSysInfo>,
                 .construct = bind::constructor<makeSysInfo>,
                 .synopsis = "",
                 .summary = "Facts about the machine (names, version, folders, memory, processor, "
                            "work area), display modes and screen saver settings, and log off or "
                            "shut down. Its members also answer on SysInfo itself."});
}

}  // namespace quill
