// Full paths, the "\\?\" form, the stored spelling of components, entry identities and the
// iterative walk of a folder tree (see file_tree_win32.h).
#include "host/system/file_tree_win32.h"

#include <algorithm>
#include <vector>

#include "host/system/win32_text.h"

namespace quill::files {

using win32::hasZero;

namespace {

bool isLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool startsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool hasWildcard(std::u16string_view name) {
    return name.find_first_of(u"*?") != std::u16string_view::npos;
}

// The find data of one entry (the stored name and attributes), without wildcards.
bool findEntry(std::u16string_view path, WIN32_FIND_DATAW* data) {
    HANDLE find = FindFirstFileW(longForm(path).c_str(), data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

// The folders of a walk, each with its identity and the index of its parent (-1 for the root).
// Kept in one array rather than linked nodes: a deep tree would unlink its nodes recursively.
struct ChainNode {
    Identity identity;
    int64_t parent;
};

bool onChain(const std::vector<ChainNode>& nodes, int64_t at, const Identity& identity) {
    for (; at >= 0; at = nodes[size_t(at)].parent) {
        if (nodes[size_t(at)].identity == identity) return true;
    }
    return false;
}

}  // namespace

bool listFolder(std::u16string_view folder, std::vector<WIN32_FIND_DATAW>* out) {
    std::wstring pattern = longForm(folder);
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::wstring_view name(data.cFileName);
        if (name != L"." && name != L"..") out->push_back(data);
    } while (FindNextFileW(find, &data));
    DWORD error = GetLastError();
    FindClose(find);
    return error == ERROR_NO_MORE_FILES;
}

std::optional<std::u16string> fullPath(std::u16string_view path) {
    if (path.empty() || hasZero(path) || path.size() > kMaxPathUnits) return std::nullopt;
    std::u16string input(path);
    for (char16_t& c : input) {
        if (c == u'/') c = u'\\';
    }
    // "\\?\" names a path exactly as the file system spells it: only drive and share forms.
    if (startsWith(input, u"\\\\?\\UNC\\")) {
        input = u"\\\\" + input.substr(8);
    } else if (startsWith(input, u"\\\\?\\")) {
        input.erase(0, 4);
        if (input.size() < 2 || !isLetter(input[0]) || input[1] != u':') return std::nullopt;
    }
    if (startsWith(input, u"\\\\.\\")) return std::nullopt;
    std::vector<wchar_t> buffer(kMaxPathUnits + 1);
    DWORD n = GetFullPathNameW(win32::wide(input), DWORD(buffer.size()), buffer.data(), nullptr);
    if (n == 0 || n >= buffer.size()) return std::nullopt;
    std::u16string full = win32::fromWide(buffer.data(), n);
    for (char16_t& c : full) {
        if (c == u'/') c = u'\\';
    }
    // Reserved names (NUL, CON, ...) come back as device paths.
    if (startsWith(full, u"\\\\.\\") || startsWith(full, u"\\\\?\\")) return std::nullopt;
    if (rootLength(full) == 0 && rootLength(full + u'\\') == 0) return std::nullopt;
    // "C:\x\" names the same entry as "C:\x", but the "\\?\" form would insist on a folder.
    while (full.size() > 1 && full.back() == u'\\' && !isRoot(full)) full.pop_back();
    return full;
}

size_t rootLength(std::u16string_view path) {
    if (path.size() >= 3 && isLetter(path[0]) && path[1] == u':' && path[2] == u'\\') return 3;
    if (path.size() < 5 || !startsWith(path, u"\\\\") || path[2] == u'\\') return 0;
    size_t server = path.find(u'\\', 2);
    if (server == std::u16string_view::npos || server + 1 >= path.size() ||
        path[server + 1] == u'\\') {
        return 0;
    }
    size_t share = path.find(u'\\', server + 1);
    return share == std::u16string_view::npos ? 0 : share + 1;
}

std::wstring longForm(std::u16string_view path) {
    std::u16string out;
    if (startsWith(path, u"\\\\")) {
        out = u"\\\\?\\UNC\\";
        out += path.substr(2);
    } else {
        out = u"\\\\?\\";
        out += path;
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(out.data()), out.size());
}

std::optional<std::u16string> normalisePath(std::u16string_view path) {
    std::optional<std::u16string> full = fullPath(path);
    if (!full) return std::nullopt;
    if (full->back() != u'\\') *full += u'\\';
    size_t root = rootLength(*full);
    if (root == 0) return std::nullopt;
    std::u16string out = full->substr(0, root);
    if (root == 3 && out[0] >= u'a' && out[0] <= u'z') out[0] = char16_t(out[0] - u'a' + u'A');
    size_t start = root;
    while (start < full->size()) {
        size_t end = full->find(u'\\', start);
        std::u16string_view component = std::u16string_view(*full).substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        WIN32_FIND_DATAW data;
        std::u16string typed = out + std::u16string(component);
        if (!hasWildcard(component) && findEntry(typed, &data)) {
            out += win32::fromWide(data.cFileName);
        } else {
            out += component;
        }
        out += u'\\';
    }
    if (out.size() > root) out.pop_back();
    if (out.size() > kMaxPathUnits) return std::nullopt;
    return out;
}

std::u16string_view lastComponent(std::u16string_view path) {
    if (isRoot(path)) return {};
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string_view beforeLastComponent(std::u16string_view path) {
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string childPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out(folder);
    if (out.empty() || out.back() != u'\\') out += u'\\';
    out += name;
    return out;
}

bool identityOf(std::u16string_view path, Identity* out) {
    // No access rights are needed to read the identity, and any sharing is allowed, so entries
    // that other programs hold open are identified too. Folders need the backup flag.
    HANDLE file = CreateFileW(longForm(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!ok) return false;
    out->volume = info.dwVolumeSerialNumber;
    out->index = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

bool isWithin(std::u16string_view path, const Identity& folder) {
    size_t root = rootLength(path);
    if (root == 0) return false;
    for (std::u16string_view at = path; at.size() >= root;) {
        Identity identity;
        if (identityOf(at, &identity) && identity == folder) return true;
        if (at.size() == root) break;
        at = beforeLastComponent(at);
        if (at.size() < root) at = path.substr(0, root);
    }
    return false;
}

Walk walkTree(std::u16string_view root, bool strict,
              const std::function<void(const TreeEntry&)>& visit) {
    struct Pending {
        std::u16string relative;
        int64_t node;
    };
    Identity rootIdentity;
    if (!identityOf(root, &rootIdentity)) return strict ? Walk::kUnreadable : Walk::kComplete;
    std::vector<ChainNode> nodes = {{rootIdentity, -1}};
    std::vector<Pending> stack = {{u"", 0}};
    std::vector<WIN32_FIND_DATAW> entries;
    while (!stack.empty()) {
        Pending folder = std::move(stack.back());
        stack.pop_back();
        std::u16string folderPath =
            folder.relative.empty() ? std::u16string(root) : childPath(root, folder.relative);
        entries.clear();
        if (!listFolder(folderPath, &entries) && strict) return Walk::kUnreadable;
        size_t firstChild = stack.size();
        for (const WIN32_FIND_DATAW& data : entries) {
            TreeEntry entry;
            std::u16string name = win32::fromWide(data.cFileName);
            entry.relative = folder.relative.empty() ? name : folder.relative + u'\\' + name;
            entry.attributes = data.dwFileAttributes;
            entry.size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
            visit(entry);
            if (!entry.isFolder()) continue;
            Identity identity;
            if (!identityOf(childPath(root, entry.relative), &identity)) {
                if (strict) return Walk::kUnreadable;
                continue;
            }
            if (onChain(nodes, folder.node, identity)) {
                if (strict) return Walk::kLoop;
                continue;
            }
            nodes.push_back({identity, folder.node});
            stack.push_back({std::move(entry.relative), int64_t(nodes.size() - 1)});
        }
        // The first subfolder is listed next, as a recursive walk would.
        std::reverse(stack.begin() + firstChild, stack.end());
    }
    return Walk::kComplete;
}

}  // namespace quill::files
