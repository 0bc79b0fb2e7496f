// Shared fixture of the Windows-only tests of the file, registry and INI classes: an engine that
// runs script text, a scratch folder and a registry test key of this process (removed after each
// test), and, under Wine, Unix symbolic links made with the system's own ln (Windows programs
// cannot make links under Wine; Wine shows Unix links to them as folder links).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/embed.h"
#include "runtime/script_engine.h"

namespace quill::test {

class Win32HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = createEngine();
        ASSERT_NE(engine, nullptr);
        static int counter = 0;
        std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        ASSERT_GT(n, 0u);
        scratch = std::wstring(temp, n) + L"quill-unit-" + widen(tag);
        ASSERT_TRUE(CreateDirectoryW(scratch.c_str(), nullptr));
        keyPath = L"Software\\QuillUnit-" + widen(tag);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        destroyEngine(engine);
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
        removeScratch();
    }

    // Runs script text; the completion value as text, or "failed: <error>".
    std::string eval(const std::string& script) {
        if (!runScriptText(engine, script)) return "failed: " + errorText(engine);
        return completionText(engine);
    }

    static std::wstring widen(const std::string& ascii) {
        return std::wstring(ascii.begin(), ascii.end());
    }
    static std::string narrow(const std::wstring& ascii) {
        std::string out;
        for (wchar_t c : ascii) out += char(c);
        return out;
    }
    // A path as a script string literal (backslashes doubled).
    static std::string literal(const std::wstring& path) {
        std::string out = "\"";
        for (wchar_t c : path) {
            if (c == L'\\') out += '\\';
            out += char(c);
        }
        return out + "\"";
    }
    std::wstring at(const std::wstring& name) const { return scratch + L"\\" + name; }
    std::string scriptPath(const std::wstring& name) const { return literal(at(name)); }
    std::string scriptKey() const { return literal(L"HKCU\\" + keyPath); }

    void writeFile(const std::wstring& path, const std::string& data) {
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr);
        CloseHandle(file);
    }
    static bool exists(const std::wstring& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // Under Wine: the Unix path of a Windows path, else "".
    static std::string unixPath(const std::wstring& path) {
        using ToUnix = char*(CDECL*)(const wchar_t*);
        auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
        if (!toUnix) return "";
        char* unix = toUnix(path.c_str());
        std::string out = unix ? unix : "";
        if (unix) HeapFree(GetProcessHeap(), 0, unix);
        return out;
    }
    // Runs a Unix program under Wine and waits for it; false when it cannot be started (Wine
    // gives no exit status of Unix programs: callers check the result themselves). The
    // program is named by its Windows path: a bare "/bin/x" would be looked for on the current
    // drive.
    static bool runUnix(const std::string& program, const std::string& arguments) {
        using ToDos = wchar_t*(CDECL*)(const char*);
        auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_dos_file_name")));
        wchar_t* dos = toDos ? toDos(program.c_str()) : nullptr;
        if (!dos) return false;
        std::wstring application = dos;
        HeapFree(GetProcessHeap(), 0, dos);
        std::wstring line = L"\"" + application + L"\" " + widen(arguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process)) {
            return false;
        }
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    // Wine reports a Unix program ended as soon as it starts: its effect is awaited instead.
    template <typename Done>
    static bool waitFor(Done&& done) {
        for (int i = 0; i < 500; ++i) {
            if (done()) return true;
            Sleep(20);
        }
        return false;
    }
    // A folder link at `link` to `target` (a path relative to the link's folder).
    bool makeFolderLink(const std::wstring& link, const std::string& target) {
        std::string where = unixPath(link);
        if (where.empty() || !runUnix("/bin/ln", "-s " + target + " " + where)) return false;
        return waitFor([&] { return exists(link); });
    }

    ScriptEngine* engine = nullptr;
    std::wstring scratch;
    std::wstring keyPath;
    HKEY key = nullptr;

  private:
    // The system's rm leaves link targets alone and needs no care for loops or long paths.
    void removeScratch() {
        std::string where = unixPath(scratch);
        if (!where.empty() && runUnix("/bin/rm", "-rf " + where) &&
            waitFor([&] { return !exists(scratch); })) {
            return;
        }
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(scratch), ignored);
    }
};

}  // namespace quill::test
