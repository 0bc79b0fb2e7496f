// RegKey and RegValue against the real registry where a script cannot reach: values that change
// size between the size query and the read, sources that never settle, strings stored without
// their terminating zeros by other programs, the exact bytes `write` stores, the system messages
// failures leave, and key times in UTC.
#include <cstring>

#include "host/system/registry_read_win32.h"
#include "host/system/win32_text.h"
#include "win32_host_test_support.h"

using namespace quill;
using namespace quill::test;

namespace {

class RegistryTest : public Win32HostTest {
  protected:
    void setRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    std::string raw(const wchar_t* name, DWORD* type = nullptr) {
        BYTE buffer[256];
        DWORD size = sizeof buffer, t = 0;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &t, buffer, &size), ERROR_SUCCESS);
        if (type) *type = t;
        return std::string(reinterpret_cast<char*>(buffer), size);
    }
    // The script expression evaluated with `key` bound to the test key.
    std::string onKey(const std::string& expression) {
        return eval("var key = RegKey(" + scriptKey() + "); " + expression);
    }
};

TEST_F(RegistryTest, AValueThatChangesSizeBetweenTheQueriesIsReadWhole) {
    std::string small(10, 's'), large(5000, 'L');
    setRaw(L"v", REG_BINARY, small.data(), DWORD(small.size()));
    int calls = 0;
    auto growing = [&](DWORD* type, BYTE* data, DWORD* size) {
        LSTATUS status = RegQueryValueExW(key, L"v", nullptr, type, data, size);
        // Another program rewrites the value right after its size was asked for.
        if (calls++ == 0)
            RegSetValueExW(key, L"v", 0, REG_BINARY, reinterpret_cast<const BYTE*>(large.data()),
                           DWORD(large.size()));
        return status;
    };
    DWORD type = 0;
    std::vector<uint8_t> data;
    ASSERT_EQ(registry::readValueData(growing, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(std::string(data.begin(), data.end()), large);
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(calls, 3) << "size, a read that found it grown, the read of the new size";

    calls = 0;
    auto shrinking = [&](DWORD* t, BYTE* buffer, DWORD* size) {
        LSTATUS status = RegQueryValueExW(key, L"v", nullptr, t, buffer, size);
        if (calls++ == 0)
            RegSetValueExW(key, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"), 6);
        return status;
    };
    ASSERT_EQ(registry::readValueData(shrinking, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data.size(), 6u);
    EXPECT_EQ(type, DWORD(REG_SZ));
}

TEST_F(RegistryTest, SourcesThatNeverSettleOrClaimTooMuchFailWithoutReadingPastTheBuffer) {
    int calls = 0;
    auto restless = [&](DWORD*, BYTE* data, DWORD* size) -> LSTATUS {
        ++calls;
        if (data) std::memset(data, 0xAB, *size);  // fills exactly what it was given
        *size += 100;
        return ERROR_MORE_DATA;
    };
    DWORD type = 0;
    std::vector<uint8_t> data;
    EXPECT_EQ(registry::readValueData(restless, &type, &data), ERROR_MORE_DATA);
    EXPECT_LE(calls, 20);

    auto huge = [](DWORD*, BYTE*, DWORD* size) -> LSTATUS {
        *size = 0xFFFFFFF0u;
        return ERROR_SUCCESS;
    };
    EXPECT_EQ(registry::readValueData(huge, &type, &data), ERROR_NOT_ENOUGH_MEMORY);
    // A source that reports success with more than it was given is cut to the buffer.
    auto boastful = [](DWORD*, BYTE*, DWORD* size) -> LSTATUS {
        *size = *size ? *size + 50 : 4;
        return ERROR_SUCCESS;
    };
    EXPECT_EQ(registry::readValueData(boastful, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data.size(), 5u);
}

TEST_F(RegistryTest, TextStoredWithoutItsZerosByOtherProgramsReadsCorrectly) {
    setRaw(L"plain", REG_SZ, L"abc", 6);
    setRaw(L"odd", REG_SZ, L"abc", 5);
    setRaw(L"expand", REG_EXPAND_SZ, L"%TEMP%", 12);
    setRaw(L"list", REG_MULTI_SZ, L"one\0two", 14);
    setRaw(L"empty", REG_MULTI_SZ, L"", 2);
    setRaw(L"short", REG_DWORD, "\x01\x02", 2);
    EXPECT_EQ(onKey("[key.getValue('plain').data, key.getValue('odd').data, "
                    "key.getValue('expand').data].join('|')"),
              "abc|ab|%TEMP%");
    EXPECT_EQ(onKey("var l = key.getValue('list').data; l.length + ' ' + l.join('|')"),
              "2 one|two");
    EXPECT_EQ(onKey("typeof key.getValue('empty').data + ' ' + typeof key.getValue('short').data"),
              "undefined undefined");
    EXPECT_EQ(onKey("var all = key.getValues(), n = []; "
                    "for (var i = 0; i < all.length; i++) n[i] = all[i].name + '=' + all[i].data; "
                    "n.sort(); n.join(' ')"),
              "empty=undefined expand=%TEMP% list=one,two odd=ab plain=abc short=undefined");
}

TEST_F(RegistryTest, WrittenTextEndsWithTheZerosReadersExpect) {
    EXPECT_EQ(onKey("function put(n, t, d) { var v = new RegValue(); v.name = n; v.type = t; "
                    "v.data = d; return key.write(v); } "
                    "[put('s', 1, 'x'), put('e', 1, ''), put('m', 7, ['a', 'b']), "
                    "put('m0', 7, []), put('x', 2, 'p'), put('b', 3, 'q')].join()"),
              "true,true,true,true,true,true");
    EXPECT_EQ(raw(L"s"), std::string("x\0\0\0", 4));
    EXPECT_EQ(raw(L"e"), std::string("\0\0", 2));
    EXPECT_EQ(raw(L"m"), std::string("a\0\0\0b\0\0\0\0\0", 10));
    EXPECT_EQ(raw(L"m0"), std::string(4, '\0'));
    EXPECT_EQ(raw(L"x"), std::string("p\0\0\0", 4));
    DWORD type = 0;
    EXPECT_EQ(raw(L"b", &type), std::string("q\0", 2)) << "binary data is stored as it is";
    EXPECT_EQ(type, DWORD(REG_BINARY));
}

TEST_F(RegistryTest, FailuresLeaveTheSystemMessageButValueReadsLeaveNone) {
    std::string missing = "RegKey(" + scriptKey() + ".replace('QuillUnit', 'QuillNone'))";
    EXPECT_EQ(eval(missing + " === null"), "true");
    EXPECT_EQ(errorText(engine), win32::systemMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(eval("var ro = RegKey(" + scriptKey() +
                   ", 0x20019); var v = new RegValue(); v.name = 'x'; v.data = 'y'; ro.write(v)"),
              "false");
    EXPECT_EQ(errorText(engine), win32::systemMessage(ERROR_ACCESS_DENIED));
    // A run starts with an empty error buffer.
    EXPECT_EQ(onKey("key.getValue('none') === null && key.getValues().length == 0"), "true");
    EXPECT_EQ(errorText(engine), "");
}

TEST_F(RegistryTest, KeyTimesAreMillisecondsSince1970InUtc) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    int64_t nowMs =
        int64_t((uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000) - 11644473600000;
    setRaw(L"touch", REG_DWORD, "\0\0\0\0", 4);
    int64_t keyMs = std::stoll(onKey("key.lastWriteTime"));
    EXPECT_LT(std::llabs(keyMs - nowMs), 60000) << keyMs << " " << nowMs;
}

}  // namespace
