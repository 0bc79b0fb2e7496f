// Inet's `getUrl`: a download through the system's Internet library, loaded when first needed,
// into a temporary file beside the target that takes the target's name only when the whole body
// has arrived.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host/net/inet_win32.h"

namespace quill::net {

namespace {

constexpr DWORD kBlockSize = 512;
constexpr DWORD kUrlBuffer = 2084;
constexpr DWORD kMaxUrlBuffer = 1 << 20;

// The entry points of wininet.dll, loaded for one download.
class InternetLibrary {
  public:
    InternetLibrary() {
        module_ = LoadLibraryW(L"wininet.dll");
        if (!module_) return;
        canonicalize = load<decltype(canonicalize)>("InternetCanonicalizeUrlA");
        open = load<decltype(open)>("InternetOpenA");
        openUrl = load<decltype(openUrl)>("InternetOpenUrlA");
        read = load<decltype(read)>("InternetReadFile");
        close = load<decltype(close)>("InternetCloseHandle");
        // Only to recognise an HTTP error answer; downloads work without it.
        queryInfo = load<decltype(queryInfo)>("HttpQueryInfoA");
    }
    ~InternetLibrary() {
        if (module_) FreeLibrary(module_);
    }
    InternetLibrary(const InternetLibrary&) = delete;
    InternetLibrary& operator=(const InternetLibrary&) = delete;

    bool complete() const { return canonicalize && open && openUrl && read && close; }

    // The library's own text for one of its errors, else the system's.
    std::string errorText(DWORD code) const {
        char text[512] = {};
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      module_, code, 0, text, sizeof text, nullptr);
        while (length && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
        if (length == 0) return "error " + std::to_string(code);
        return std::string(text, length);
    }

    decltype(&InternetCanonicalizeUrlA) canonicalize = nullptr;
    decltype(&InternetOpenA) open = nullptr;
    decltype(&InternetOpenUrlA) openUrl = nullptr;
    decltype(&InternetReadFile) read = nullptr;
    decltype(&InternetCloseHandle) close = nullptr;
    decltype(&HttpQueryInfoA) queryInfo = nullptr;

  private:
    template <typename F>
    F load(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_ = nullptr;
};

class InternetHandle {
  public:
    InternetHandle(const InternetLibrary& library, HINTERNET handle)
        : library_(library), handle_(handle) {}
    ~InternetHandle() {
        if (handle_) library_.close(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }

  private:
    const InternetLibrary& library_;
    HINTERNET handle_;
};

// The temporary file: removed unless it was given the final name.
class PartFile {
  public:
    explicit PartFile(const std::wstring& target) : target_(target) {
        DWORD needed = GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
        if (needed == 0) return;
        std::wstring full(needed, L'\0');
        wchar_t* name = nullptr;
        DWORD length = GetFullPathNameW(target.c_str(), needed, full.data(), &name);
        if (length == 0 || length >= needed || !name) return;  // a folder name, not a file
        std::wstring folder(full.data(), name);
        wchar_t part[MAX_PATH + 1] = {};
        if (folder.size() >= MAX_PATH - 14 || !GetTempFileNameW(folder.c_str(), L"qdl", 0, part)) {
            return;
        }
        path_ = part;
        file_ = CreateFileW(part, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) DeleteFileW(part);
    }
    ~PartFile() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        if (!path_.empty() && !kept_) DeleteFileW(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool ready() const { return file_ != INVALID_HANDLE_VALUE; }
    bool write(const void* bytes, DWORD length) {
        DWORD written = 0;
        return WriteFile(file_, bytes, length, &written, nullptr) && written == length;
    }
    // Gives the finished file the target's name, replacing what was there.
    bool keep() {
        bool flushed = FlushFileBuffers(file_);
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        kept_ = flushed && MoveFileExW(path_.c_str(), target_.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
        return kept_;
    }

  private:
    std::wstring target_;
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    bool kept_ = false;
};

// The URL in the library's canonical browser form; empty when it cannot be made.
std::string canonicalUrl(const InternetLibrary& library, const std::string& url) {
    std::vector<char> buffer(kUrlBuffer);
    for (int tries = 0; tries < 2; ++tries) {
        DWORD length = DWORD(buffer.size());
        if (library.canonicalize(url.c_str(), buffer.data(), &length, ICU_BROWSER_MODE)) {
            return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= buffer.size() ||
            length > kMaxUrlBuffer) {
            break;
        }
        buffer.resize(length + 1);
    }
    return {};
}

// A number the server declared in a header, when it did.
std::optional<uint64_t> headerNumber(const InternetLibrary& library, HINTERNET request,
                                     DWORD query) {
    if (!library.queryInfo) return std::nullopt;
    char text[32] = {};
    DWORD length = sizeof text - 1;
    if (!library.queryInfo(request, query, text, &length, nullptr)) return std::nullopt;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text) return std::nullopt;
    return value;
}

std::string headerText(const InternetLibrary& library, HINTERNET request, DWORD query) {
    char text[256] = {};
    DWORD length = sizeof text - 1;
    if (!library.queryInfo || !library.queryInfo(request, query, text, &length, nullptr)) {
        return {};
    }
    return std::string(text, strnlen(text, sizeof text));
}

}  // namespace

bool downloadUrl(const std::string& url, const std::wstring& path, const DownloadReport& report) {
    auto tell = [&](int code, const std::string& text) { return !report || report(code, text); };
    PartFile part(path);
    if (!part.ready()) return false;
    InternetLibrary library;
    if (!library.complete()) return false;
    std::string canonical = canonicalUrl(library, url);
    if (canonical.empty()) return false;

    InternetHandle session(
        library, library.open(kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.get()) {
        tell(0, library.errorText(GetLastError()));
        return false;
    }
    InternetHandle request(library,
                           library.openUrl(session.get(), canonical.c_str(), nullptr, 0,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request.get()) {
        tell(0, library.errorText(GetLastError()));
        return false;
    }
    // An HTTP error answer carries a page about the error, not the file asked for.
    auto status = headerNumber(library, request.get(), HTTP_QUERY_STATUS_CODE);
    if (status && *status >= 400) {
        tell(0, std::to_string(*status) + " " +
                    headerText(library, request.get(), HTTP_QUERY_STATUS_TEXT));
        return false;
    }
    auto declared = headerNumber(library, request.get(), HTTP_QUERY_CONTENT_LENGTH);

    uint64_t stored = 0;
    char block[kBlockSize];
    for (;;) {
        DWORD got = 0;
        if (!library.read(request.get(), block, kBlockSize, &got)) return false;
        if (got == 0) break;
        if (!part.write(block, got)) return false;
        stored += got;
        if (!tell(1, std::to_string(stored))) return false;
    }
    // A connection that ended before the declared length is an interrupted download.
    if (declared && stored < *declared) return false;
    return part.keep();
}

}  // namespace quill::net
