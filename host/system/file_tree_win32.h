// Paths and folder trees for the file-system classes: full paths as scripts give them, the form
// of a path the wide functions take at any length, the stored spelling of each component, the
// identity of an entry (to see links that lead back into a tree) and an iterative walk of a tree.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::files {

// The longest path the wide functions take.
constexpr size_t kMaxPathUnits = 32767;

// The system's full path of a script path (relative ones against the current folder), with every
// "/" turned into a backslash. Nothing for empty text, text with zero units, device paths ("\\.\",
// and reserved names such as NUL that resolve to them), "\\?\" forms other than drive and UNC
// paths, and paths longer than kMaxPathUnits.
std::optional<std::u16string> fullPath(std::u16string_view path);

// The length of a full path's root: 3 for "C:\", the whole "\\server\share\" for a share; 0 when
// the path has neither.
size_t rootLength(std::u16string_view path);
inline bool isRoot(std::u16string_view path) {
    size_t n = rootLength(path);
    return n != 0 && n == path.size();
}

// A full path in the "\\?\" form, which the wide functions take past MAX_PATH.
std::wstring longForm(std::u16string_view fullPath);

// A path as objects keep it: the full path with each existing component in its stored case and
// long form (the drive letter in upper case), without a trailing backslash except on a root.
std::optional<std::u16string> normalisePath(std::u16string_view path);

// The last component of a full path ("" for a root) and everything before its backslash.
std::u16string_view lastComponent(std::u16string_view path);
std::u16string_view beforeLastComponent(std::u16string_view path);

// A path below a folder: `folder` + backslash + `name` (a root already ends with one).
std::u16string childPath(std::u16string_view folder, std::u16string_view name);

// What makes two paths the same entry, whatever links or spellings lead to it.
struct Identity {
    DWORD volume = 0;
    uint64_t index = 0;
    bool operator==(const Identity&) const = default;
};
bool identityOf(std::u16string_view fullPath, Identity* out);

// Whether `path` is the entry `folder` or lies below it (also when the path leads there through a
// link or another spelling): `path` and each of its existing ancestors are compared with it.
bool isWithin(std::u16string_view path, const Identity& folder);

// The entries of one folder in enumeration order, without "." and ".."; false when it cannot be
// listed (an empty folder, even a drive root without those two, lists fine).
bool listFolder(std::u16string_view folder, std::vector<WIN32_FIND_DATAW>* out);

struct TreeEntry {
    std::u16string relative;  // from the walked folder, components joined by backslashes
    DWORD attributes = 0;
    uint64_t size = 0;
    bool isFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

enum class Walk { kComplete, kLoop, kUnreadable };

// Visits every entry below the folder `root`, each folder before its contents, without recursion
// (trees of any depth). Links to folders are followed like folders. A folder that is one of its
// own ancestors (a link leading back up) is a loop: it is visited but not entered. When `strict`,
// the walk stops at a loop (kLoop) or at a folder it cannot list (kUnreadable); otherwise it
// leaves them out and goes on.
Walk walkTree(std::u16string_view root, bool strict,
              const std::function<void(const TreeEntry&)>& visit);

}  // namespace quill::files
