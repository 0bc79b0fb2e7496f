// The Folder class, also registered as File: one file-system entry by its normalised path, which
// behaves as a folder or a file by what the path named when the object was made. Copies of
// folders are planned whole before anything is written, so a copy that cannot succeed (a loop of
// links, a destination inside the source, a read-only or wrongly kinded target) writes nothing.
#include <cmath>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "builtins/builtins.h"
#include "builtins/date.h"
#include "host/system/file_tree_win32.h"
#include "host/system/win32_text.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill {

using files::childPath;
using files::fullPath;
using files::Identity;
using files::identityOf;
using files::longForm;
using files::TreeEntry;

namespace {

// Milliseconds between 1601-01-01 (the start of file times) and 1970-01-01.
constexpr int64_t kEpochOffsetMs = 11644473600000;
// The last millisecond whose file time still fits a signed 64-bit count of 100 ns.
constexpr int64_t kMaxTimeMs = INT64_MAX / 10000 - kEpochOffsetMs;

struct FolderEntry {
    std::u16string path;
    bool isFolder = false;
};

DWORD attributesOf(std::u16string_view path) {
    return GetFileAttributesW(longForm(path).c_str());
}
bool exists(std::u16string_view path) {
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}
bool isFolderAt(std::u16string_view path) {
    DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A missing entry is made as a folder, whichever of the two names the script used.
std::unique_ptr<FolderEntry> makeEntry(bind::Path path) {
    std::optional<std::u16string> full = fullPath(path.wide);
    if (!full) return nullptr;
    if (!exists(*full) && !CreateDirectoryW(longForm(*full).c_str(), nullptr)) return nullptr;
    std::optional<std::u16string> normal = files::normalisePath(*full);
    if (!normal) return nullptr;
    DWORD attributes = attributesOf(*normal);
    if (attributes == INVALID_FILE_ATTRIBUTES) return nullptr;
    auto entry = std::make_unique<FolderEntry>();
    entry->path = std::move(*normal);
    entry->isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return entry;
}

bool pathExists(bind::Path path) {
    std::optional<std::u16string> full = fullPath(path.wide);
    return full && exists(*full);
}

// ---------------------------------------------------------------------------------------------
// copy, move, remove

bool copyFile(const std::u16string& source, const std::u16string& target) {
    // A copy onto itself (by any spelling or link) would truncate the file it reads.
    Identity from, to;
    if (identityOf(source, &from) && identityOf(target, &to) && from == to) return false;
    return CopyFileW(longForm(source).c_str(), longForm(target).c_str(), FALSE) != 0;
}

// Before writing into an existing destination: every target must be of the source entry's kind,
// writable, and not part of the source itself (a destination reached through a link into it).
bool targetsFit(const std::u16string& source, const std::u16string& target, const Identity& root,
                const std::vector<TreeEntry>& plan) {
    std::set<std::pair<DWORD, uint64_t>> sourceFolders = {{root.volume, root.index}};
    for (const TreeEntry& entry : plan) {
        Identity identity;
        if (entry.isFolder() && identityOf(childPath(source, entry.relative), &identity)) {
            sourceFolders.insert({identity.volume, identity.index});
        }
    }
    auto inSource = [&](const std::u16string& path) {
        Identity identity;
        return identityOf(path, &identity) &&
               sourceFolders.count({identity.volume, identity.index}) != 0;
    };
    if (inSource(target)) return false;
    for (const TreeEntry& entry : plan) {
        std::u16string to = childPath(target, entry.relative);
        DWORD attributes = attributesOf(to);
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (entry.isFolder()) {
            if (!folder || inSource(to)) return false;
        } else {
            if (folder || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
            Identity from, onto;
            if (identityOf(childPath(source, entry.relative), &from) && identityOf(to, &onto) &&
                from == onto) {
                return false;
            }
        }
    }
    return true;
}

bool copyFolder(const std::u16string& source, const std::u16string& target) {
    Identity root;
    if (!identityOf(source, &root)) return false;
    // Into itself or one of its own subfolders: the copy would feed on its own output.
    if (files::isWithin(target, root)) return false;
    std::vector<TreeEntry> plan;
    if (files::walkTree(source, true, [&](const TreeEntry& entry) { plan.push_back(entry); }) !=
        files::Walk::kComplete) {
        return false;
    }
    DWORD attributes = attributesOf(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        if (!targetsFit(source, target, root, plan)) return false;
    } else if (!CreateDirectoryW(longForm(target).c_str(), nullptr)) {
        return false;
    }
    for (const TreeEntry& entry : plan) {
        std::u16string to = childPath(target, entry.relative);
        if (entry.isFolder()) {
            if (!CreateDirectoryW(longForm(to).c_str(), nullptr) && !isFolderAt(to)) return false;
        } else if (!CopyFileW(longForm(childPath(source, entry.relative)).c_str(),
                              longForm(to).c_str(), FALSE)) {
            return false;
        }
    }
    return true;
}

bool copy(FolderEntry& entry, bind::Path destination) {
    std::optional<std::u16string> target = fullPath(destination.wide);
    if (!target) return false;
    return entry.isFolder ? copyFolder(entry.path, *target) : copyFile(entry.path, *target);
}

bool move(FolderEntry& entry, bind::Path destination) {
    std::optional<std::u16string> target = fullPath(destination.wide);
    if (!target) return false;
    Identity self;
    if (entry.isFolder && identityOf(entry.path, &self) && files::isWithin(*target, self)) {
        return false;
    }
    // Files may move to another volume (copied, then deleted); an existing target is never
    // replaced.
    return MoveFileExW(longForm(entry.path).c_str(), longForm(*target).c_str(),
                       MOVEFILE_COPY_ALLOWED) != 0;
}

bool remove(FolderEntry& entry) {
    std::wstring path = longForm(entry.path);
    return entry.isFolder ? RemoveDirectoryW(path.c_str()) != 0 : DeleteFileW(path.c_str()) != 0;
}

// ---------------------------------------------------------------------------------------------
// Names

bool isReservedDeviceName(std::u16string_view name) {
    // CON, PRN, AUX, NUL, COM0-9 and LPT0-9 name devices, also with an extension.
    std::u16string base(name.substr(0, name.find(u'.')));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    for (char16_t& c : base) {
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    }
    if (base == u"CON" || base == u"PRN" || base == u"AUX" || base == u"NUL") return true;
    return base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT")) &&
           base[3] >= u'0' && base[3] <= u'9';
}

// A name that stays within its folder and means what it says: no separators, drive, wildcards or
// control characters, not "." or "..", no trailing dot or space (the system would drop them) and
// no device name.
bool isPlainName(std::u16string_view name) {
    if (name.empty() || name.size() > 255 || name == u"." || name == u"..") return false;
    if (name.back() == u'.' || name.back() == u' ') return false;
    for (char16_t c : name) {
        if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) {
            return false;
        }
    }
    return !isReservedDeviceName(name);
}

std::u16string path(FolderEntry& entry) {
    return entry.path;
}
std::u16string name(FolderEntry& entry) {
    return std::u16string(files::lastComponent(entry.path));
}
void rename(FolderEntry& entry, std::u16string newName) {
    if (files::isRoot(entry.path) || !isPlainName(newName)) return;
    std::u16string target = childPath(files::beforeLastComponent(entry.path), newName);
    if (MoveFileW(longForm(entry.path).c_str(), longForm(target).c_str())) entry.path = target;
}

// The short form of a path in the script's spelling (without the "\\?\" the call needed).
std::u16string shortPath(FolderEntry& entry) {
    std::wstring path = longForm(entry.path);
    DWORD need = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (need == 0) return u"";
    std::vector<wchar_t> buffer(need + 1);
    DWORD n = GetShortPathNameW(path.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0 || n >= buffer.size()) return u"";
    std::u16string out = win32::fromWide(buffer.data(), n);
    if (out.starts_with(u"\\\\?\\UNC\\")) return u"\\\\" + out.substr(8);
    if (out.starts_with(u"\\\\?\\")) return out.substr(4);
    return out;
}
std::u16string shortName(FolderEntry& entry) {
    return std::u16string(files::lastComponent(shortPath(entry)));
}

// For a root, the drive letter and colon (or the share without its last backslash).
std::u16string parentPath(FolderEntry& entry) {
    if (files::isRoot(entry.path)) return entry.path.substr(0, entry.path.size() - 1);
    return std::u16string(files::beforeLastComponent(entry.path));
}
std::u16string drive(FolderEntry& entry) {
    size_t root = files::rootLength(entry.path + u'\\');
    return entry.path.substr(0, root ? root - 1 : 0);
}
int64_t type(FolderEntry& entry) {
    return entry.isFolder ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Attributes and dates

ScriptValue attributes(FolderEntry& entry) {
    DWORD value = attributesOf(entry.path);
    return value == INVALID_FILE_ATTRIBUTES ? makeBoolean(false) : makeInteger(value);
}
void setAttributes(FolderEntry& entry, ScriptValue value) {
    int64_t bits;
    if (value.tag == kTagInteger) {
        bits = value.i;
    } else if (value.tag == kTagNumber && std::isfinite(value.d) && std::fabs(value.d) < 9e18) {
        bits = int64_t(value.d);
    } else {
        return;
    }
    SetFileAttributesW(longForm(entry.path).c_str(), DWORD(bits));
}

enum class Time { kCreated, kAccessed, kModified };

// Read from the directory entry, not by opening the file: the times of a file another program
// holds open are readable too.
bool readTime(const FolderEntry& entry, Time which, int64_t* ms) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(longForm(entry.path).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    const FILETIME& time = which == Time::kCreated    ? data.ftCreationTime
                           : which == Time::kAccessed ? data.ftLastAccessTime
                                                      : data.ftLastWriteTime;
    int64_t units = int64_t(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    *ms = units / 10000 - kEpochOffsetMs;
    return true;
}

// An integer, a finite number or a valid Date, within the range of file times.
bool timeArgument(const ScriptValue& value, int64_t* ms) {
    double d = 0;
    if (value.tag == kTagInteger) {
        *ms = value.i;
    } else if (value.tag == kTagNumber || dateTimeValue(value, &d)) {
        if (value.tag == kTagNumber) d = value.d;
        if (!std::isfinite(d) || std::fabs(d) > 9e15) return false;
        *ms = int64_t(d);
    } else {
        return false;
    }
    return *ms >= -kEpochOffsetMs && *ms <= kMaxTimeMs;
}

void writeTime(const FolderEntry& entry, Time which, const ScriptValue& value) {
    int64_t ms;
    if (!timeArgument(value, &ms)) return;
    uint64_t units = uint64_t(ms + kEpochOffsetMs) * 10000;
    FILETIME time = {DWORD(units), DWORD(units >> 32)};
    // Attribute writes are not subject to sharing: a file open elsewhere can be dated too.
    HANDLE file = CreateFileW(longForm(entry.path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, which == Time::kCreated ? &time : nullptr,
                which == Time::kAccessed ? &time : nullptr,
                which == Time::kModified ? &time : nullptr);
    CloseHandle(file);
}

template <Time W>
ScriptValue dateOf(FolderEntry& entry) {
    int64_t ms;
    if (readTime(entry, W, &ms)) return makeInteger(ms);
    return W == Time::kCreated ? makeNaN() : makeBoolean(false);
}
template <Time W>
void setDate(FolderEntry& entry, ScriptValue value) {
    writeTime(entry, W, value);
}

// ---------------------------------------------------------------------------------------------
// Size and contents

ScriptValue size(FolderEntry& entry) {
    if (!entry.isFolder) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(longForm(entry.path).c_str(), GetFileExInfoStandard, &data)) {
            return makeInteger(0);
        }
        return makeInteger(int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow));
    }
    if (files::isRoot(entry.path)) {
        win32::QuietDriveErrors quiet;
        ULARGE_INTEGER available, total;
        if (!GetDiskFreeSpaceExW(win32::wide(entry.path), &available, &total, nullptr)) {
            return makeNaN();
        }
        return makeInteger(int64_t(total.QuadPart - available.QuadPart));
    }
    // Folders that cannot be listed count as empty; a link back up the tree is counted once.
    uint64_t sum = 0;
    files::walkTree(entry.path, false, [&](const TreeEntry& item) {
        if (!item.isFolder()) sum += item.size;
    });
    return makeInteger(int64_t(sum));
}

ScriptValue listing(ScriptEngine* engine, const FolderEntry& entry, bool folders) {
    if (!entry.isFolder) return makeUndefined();
    std::vector<WIN32_FIND_DATAW> found;
    ScriptValue array;
    newArray(engine, &array, 0);
    if (!files::listFolder(entry.path, &found)) return array;
    RootedValues keep(engine, &array, 1);
    uint64_t n = 0;
    for (const WIN32_FIND_DATAW& data : found) {
        if (((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folders) continue;
        std::u16string item = childPath(entry.path, win32::fromWide(data.cFileName));
        setElement(engine, array, newString(engine, item), n++);
    }
    truncateArray(engine, array, n);
    return array;
}
ScriptValue filesOf(ScriptEngine* engine, FolderEntry& entry) {
    return listing(engine, entry, false);
}
ScriptValue subFoldersOf(ScriptEngine* engine, FolderEntry& entry) {
    return listing(engine, entry, true);
}
ScriptValue isRootFolder(FolderEntry& entry) {
    return entry.isFolder ? makeBoolean(files::isRoot(entry.path)) : makeUndefined();
}

constexpr bind::Member kFolderMembers[] = {
    bind::classMethod<pathExists>("exists", bind::Empty::kFalse)
        .doc("path", "True when a file or folder exists at path (also Folder.exists)."),
    bind::method<copy>("copy", bind::Empty::kFalse)
        .doc("target",
             "Copies the file (replacing target), or the folder's contents into the folder target "
             "(created when missing); true when done."),
    bind::method<move>("move", bind::Empty::kFalse)
        .doc("target",
             "Moves or renames the entry; the object keeps its old path. True when done."),
    bind::method<remove>("remove", bind::Empty::kFalse)
        .doc("Deletes the file, or the folder, which must be empty; true when done."),
    bind::objectText("[object Folder]"),
    bind::getter<path>("path").doc("The full path."),
    bind::property<name, rename>("name").doc(
        "The last part of the path; assigning a name renames the entry in its folder."),
    bind::getter<shortPath>("shortPath").doc("The short (8.3) form of the path."),
    bind::getter<shortName>("shortName").doc("The short (8.3) form of the name."),
    bind::getter<parentPath>("parentPath")
        .doc("The path of the folder that holds it (for a root, the drive letter and colon)."),
    bind::getter<drive>("drive").doc("The drive part of the path, such as \"C:\"."),
    bind::getter<type>("type").doc("1 for a folder, 0 for a file."),
    bind::property<attributes, setAttributes>("attributes")
        .doc("The Windows attribute bits (16 for a folder); assigning a number sets them."),
    bind::property<dateOf<Time::kCreated>, setDate<Time::kCreated>>("dateCreated")
        .doc("Creation time in milliseconds since 1970; NaN when unreadable. Assign a number or a "
             "Date."),
    bind::property<dateOf<Time::kAccessed>, setDate<Time::kAccessed>>("dateLastAccessed")
        .doc("Last access time in milliseconds since 1970; false when unreadable. Assign a number "
             "or a Date."),
    bind::property<dateOf<Time::kModified>, setDate<Time::kModified>>("dateLastModified")
        .doc("Last write time in milliseconds since 1970; false when unreadable. Assign a number "
             "or a Date."),
    bind::getter<size>("size").doc("A file's size in bytes; a folder's total of all files below "
                                   "it; for a drive root, its used space."),
    bind::getter<filesOf>("files").doc(
        "Folders only: an array of the full paths of the files directly in it."),
    bind::getter<subFoldersOf>("subFolders")
        .doc("Folders only: an array of the full paths of the folders directly in it."),
    bind::getter<isRootFolder>("isRootFolder").doc("Folders only: true for a drive's root."),
};

}  // namespace

void registerFolder(ScriptEngine* engine) {
    bind::defineClass<FolderEntry>(
        engine,
        {.name = "Folder",
         .id = ClassId::kFolder,
         .members = {kFolderMembers},
         .construct = bind::constructor<makeEntry>,
         .alias = "File",
         .synopsis = "path",
         .summary =
             "A file or folder on disk (File is the same class). Constructing with a path where "
             "nothing exists creates that folder; null when that fails or path is not a string."});
}

}  // namespace quill
