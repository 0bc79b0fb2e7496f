// The Drive class: a logical drive by its letter, with its type, volume facts and space. Every
// query runs with the system's "insert a disk" boxes turned off, so an empty drive answers with
// the failure result instead of stopping the program on a dialog.
#include <cstdio>
#include <memory>

#include "builtins/builtins.h"
#include "host/system/win32_text.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

struct DriveNative {
    char16_t letter = u'C';
    std::u16string root() const { return std::u16string{letter, u':', u'\\'}; }
};

bool isPresent(char16_t letter) {
    return letter >= u'A' && letter <= u'Z' && (GetLogicalDrives() >> (letter - u'A')) & 1;
}

std::unique_ptr<DriveNative> makeDrive(ScriptValue spec) {
    if (spec.tag != kTagString || spec.str->length < 2 || spec.str->chars[1] != u':') {
        return nullptr;
    }
    char16_t letter = spec.str->chars[0];
    if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - u'a' + u'A');
    if (!isPresent(letter)) return nullptr;
    auto drive = std::make_unique<DriveNative>();
    drive->letter = letter;
    return drive;
}

// Readable from the class value as well as from any drive.
ScriptValue drives(ScriptEngine* engine) {
    ScriptValue array;
    newArray(engine, &array, 0);
    RootedValues keep(engine, &array, 1);
    DWORD mask = GetLogicalDrives();
    uint64_t n = 0;
    for (int i = 0; i < 26; ++i) {
        if (!((mask >> i) & 1)) continue;
        auto drive = std::make_unique<DriveNative>();
        drive->letter = char16_t(u'A' + i);
        setElement(engine, array, bind::newInstance(engine, ClassId::kDrive, std::move(drive)),
                   n++);
    }
    truncateArray(engine, array, n);
    return array;
}

std::u16string driveLetter(DriveNative& drive) {
    return std::u16string(1, drive.letter);
}
std::u16string rootPath(DriveNative& drive) {
    return drive.root();
}

const char* driveType(DriveNative& drive) {
    static const char* const kTypes[] = {"no root dir", "removable", "fixed",
                                         "network",     "cdrom",     "ram disk"};
    UINT type = GetDriveTypeW(win32::wide(drive.root()));
    return type >= 1 && type <= 6 ? kTypes[type - 1] : "unknown";
}

struct VolumeFacts {
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
};

bool readVolume(const DriveNative& drive, VolumeFacts* facts) {
    win32::QuietDriveErrors quiet;
    return GetVolumeInformationW(win32::wide(drive.root()), facts->label, MAX_PATH + 1,
                                 &facts->serial, nullptr, nullptr, facts->fileSystem,
                                 MAX_PATH + 1) != 0;
}

ScriptValue fileSystem(ScriptEngine* engine, DriveNative& drive) {
    VolumeFacts facts;
    if (!readVolume(drive, &facts)) return makeBoolean(false);
    return newString(engine, win32::fromWide(facts.fileSystem));
}

std::u16string volumeName(DriveNative& drive) {
    VolumeFacts facts;
    return readVolume(drive, &facts) ? win32::fromWide(facts.label) : u"";
}
void setVolumeName(DriveNative& drive, bind::AsString label) {
    if (win32::hasZero(label.text)) return;
    win32::QuietDriveErrors quiet;
    SetVolumeLabelW(win32::wide(drive.root()), win32::wide(label.text));
}

std::string serialNumber(DriveNative& drive) {
    VolumeFacts facts;
    if (!readVolume(drive, &facts)) return "";
    char text[16];
    std::snprintf(text, sizeof text, "%u", unsigned(facts.serial));
    return text;
}

enum class Space { kAvailable, kFree, kTotal };

template <Space S>
ScriptValue space(DriveNative& drive) {
    win32::QuietDriveErrors quiet;
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(win32::wide(drive.root()), &available, &total, &free)) {
        return makeNaN();
    }
    const ULARGE_INTEGER& value = S == Space::kAvailable ? available
                                  : S == Space::kFree    ? free
                                                         : total;
    return makeInteger(int64_t(value.QuadPart));
}

// Only "device not ready" says no: any other failure to open the root leaves the question open.
bool isReady(DriveNative& drive) {
    win32::QuietDriveErrors quiet;
    HANDLE root = CreateFileW(win32::wide(drive.root()), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (root != INVALID_HANDLE_VALUE) {
        CloseHandle(root);
        return true;
    }
    return GetLastError() != ERROR_NOT_READY;
}

constexpr bind::Member kDriveMembers[] = {
    bind::objectText("[Object Drive]"),
    bind::getter<drives>("drives").doc(
        "An array with a Drive for each drive present, in letter order (also Drive.drives)."),
    bind::getter<driveLetter>("driveLetter").doc("The drive letter as a one-character string."),
    bind::getter<rootPath>("path").doc("The root path, such as \"C:\\\"."),
    bind::getter<rootPath>("rootFolder").doc("The root path, such as \"C:\\\"."),
    bind::getter<driveType>("driveType")
        .doc("\"no root dir\", \"removable\", \"fixed\", \"network\", \"cdrom\", \"ram disk\" or "
             "\"unknown\"."),
    bind::getter<fileSystem>("fileSystem")
        .doc("The volume's file system, such as \"NTFS\"; false when the volume cannot be read."),
    bind::property<volumeName, setVolumeName>("volumeName")
        .doc("The volume label (\"\" when unreadable); assigning sets it."),
    bind::getter<serialNumber>("serialNumber")
        .doc("The volume serial number as a decimal string; \"\" when unreadable."),
    bind::getter<space<Space::kAvailable>>("availableSpace")
        .doc("Bytes available to this user; NaN when the query fails."),
    bind::getter<space<Space::kFree>>("freeSpace")
        .doc("Free bytes on the volume; NaN when the query fails."),
    bind::getter<space<Space::kTotal>>("totalSize")
        .doc("The volume's size in bytes; NaN when the query fails."),
    bind::getter<isReady>("isReady").doc(
        "False only when the drive reports that it is not ready (no disc)."),
};

}  // namespace

void registerDrive(ScriptEngine* engine) {
    bind::defineClass<DriveNative>(
        engine,
        {.name = "Drive",
         .id = ClassId::kDrive,
         .members = {kDriveMembers},
         .construct = bind::constructor<makeDrive>,
         .synopsis = "\"X:\"",
         .summary = "A disk drive by its letter (\"C:\"); null when no such drive is present."});
}

}  // namespace quill
