// Registry data and script values on every target: reads bounded by the size given (odd sizes,
// missing zeros, short numbers), the bytes each kind of script value becomes, the terminators
// added before a write, registry paths and zero-separated lists.
#include "host/system/registry_data.h"

#include <cmath>

#include "host/system/string_stream_access.h"
#include "native_call_support.h"
#include "runtime/array.h"

using namespace quill;
using namespace quill::registry;
using namespace quill::test;

namespace {

class RegistryDataTest : public NativeTest {
  protected:
    ScriptValue read(uint32_t type, const std::string& bytes) {
        return dataToValue(engine, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                           bytes.size());
    }
    std::string bytesOf(const ScriptValue& value, uint32_t type = kBinary) {
        std::vector<uint8_t> out = {0xEE};
        if (!valueToData(engine, value, type, &out)) return "<unchanged>";
        return std::string(out.begin(), out.end());
    }
    ScriptValue array(std::initializer_list<ScriptValue> items) {
        ScriptValue a;
        newArray(engine, &a, items.size());
        uint64_t i = 0;
        for (const ScriptValue& item : items) setElement(engine, a, item, i++);
        return a;
    }
};

TEST_F(RegistryDataTest, ReadsStopAtTheSizeGiven) {
    EXPECT_TRUE(read(kString, "").isUndefined());
    EXPECT_EQ(str(read(kString, std::string("a\0b\0", 4))), "ab");
    EXPECT_EQ(str(read(kString, std::string("a\0b", 3))), "a") << "an odd last byte is dropped";
    EXPECT_EQ(str(read(kExpandString, std::string("%\0A\0%\0\0\0x\0", 10))), "%A%");
    EXPECT_EQ(str(read(kResourceList, std::string("z\0", 2))), "z");
    EXPECT_EQ(str(read(kString, std::string("\x2d\x4e", 2))), "\xe4\xb8\xad") << "UTF-16 text";

    EXPECT_TRUE(isInteger(read(kDword, "\xff\xff\xff\xff"), 4294967295));
    EXPECT_TRUE(read(kDword, "\x01\x02\x03").isUndefined());
    EXPECT_TRUE(isInteger(read(kDword, std::string("\x01\0\0\0\x09", 5)), 1))
        << "extra bytes ignored";
    EXPECT_TRUE(isInteger(read(kDwordBigEndian, "\xfe\xff\xff\xff"), -2));
    EXPECT_TRUE(isInteger(read(kQword, "\xff\xff\xff\xff\xff\xff\xff\x7f"), INT64_MAX));
    EXPECT_TRUE(isInteger(read(kQword, "\xfb\xff\xff\xff\xff\xff\xff\xff"), -5));
    EXPECT_TRUE(read(kQword, "\x01\x02\x03\x04").isUndefined());
    EXPECT_TRUE(read(9, "abcd").isUndefined());
    EXPECT_TRUE(read(0xFFFFFFFFu, "abcd").isUndefined());

    for (uint32_t type : {kNone, kBinary, kLink}) {
        ScriptValue stream = read(type, std::string("\0a\0", 3));
        ASSERT_TRUE(isStringStream(engine, stream));
        size_t length = 0;
        stringStreamBytes(engine, stream, &length);
        EXPECT_EQ(length, 3u);
    }
}

TEST_F(RegistryDataTest, StringListsEndAtTheFirstEmptyEntryOrAtTheData) {
    auto list = [&](const std::string& bytes) {
        ScriptValue v = read(kMultiString, bytes);
        return v.tag == kTagArray ? text(v) + " " + std::to_string(v.arr->length) : "none";
    };
    EXPECT_EQ(list(std::string("a\0\0\0b\0\0\0\0\0", 10)), "a,b 2");
    EXPECT_EQ(list(std::string("a\0\0\0b\0", 6)), "a,b 2") << "no terminators at all";
    EXPECT_EQ(list(std::string("a\0\0\0\0\0c\0", 8)), "a 1");
    EXPECT_EQ(list(std::string("\0\0", 2)), "none");
    EXPECT_EQ(list(std::string("\0", 1)), "none");
    EXPECT_EQ(list(std::string("x", 1)), "none") << "less than one unit";
}

TEST_F(RegistryDataTest, EachKindOfScriptValueHasItsBytes) {
    EXPECT_EQ(bytesOf(i(-1)), std::string("\xff\xff\xff\xff"));
    EXPECT_EQ(bytesOf(i(0x1122334455LL), kQword), std::string("\x55\x44\x33\x22\x11\0\0\0", 8));
    EXPECT_EQ(bytesOf(d(1.5)), std::string("\0\0\0\0\0\0\xf8\x3f", 8));
    EXPECT_EQ(bytesOf(makeNaN()).size(), 8u);
    EXPECT_EQ(bytesOf(a("")), "");
    EXPECT_EQ(bytesOf(s(u"A\u4e2d")), std::string("A\0\x2d\x4e", 4));
    EXPECT_EQ(bytesOf(array({i(1), s(u"x"), makeBoolean(true), makeNull(), d(0)})),
              std::string("\1\0\0\0x\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(bytesOf(array({})), "");
    std::string raw("\0\1\2", 3);
    EXPECT_EQ(bytesOf(newStringStreamFromBytes(engine, raw.data(), raw.size())), raw);
    for (ScriptValue other :
         {makeBoolean(true), makeNull(), makeUndefined(), makeObject(newObject(engine))}) {
        EXPECT_EQ(bytesOf(other), "<unchanged>");
    }
    // A sparse array far longer than its elements costs only what it holds.
    ScriptValue sparse;
    newArray(engine, &sparse, 0);
    setElement(engine, sparse, i(7), 1000000000);
    truncateArray(engine, sparse, 4000000000ULL);
    EXPECT_EQ(bytesOf(sparse), std::string("\7\0\0\0", 4));
}

TEST_F(RegistryDataTest, TextIsTerminatedBeforeItIsWritten) {
    auto terminated = [](uint32_t type, std::string data) {
        std::vector<uint8_t> bytes(data.begin(), data.end());
        terminateForWrite(type, &bytes);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(terminated(kString, "a\0"), std::string("a\0\0\0", 4));
    EXPECT_EQ(terminated(kString, std::string("a\0\0\0", 4)), std::string("a\0\0\0", 4));
    EXPECT_EQ(terminated(kExpandString, ""), std::string("\0\0", 2));
    EXPECT_EQ(terminated(kString, "abc"), std::string("abc\0\0\0", 6)) << "odd data is padded";
    EXPECT_EQ(terminated(kMultiString, "a\0"), std::string("a\0\0\0\0\0", 6));
    EXPECT_EQ(terminated(kMultiString, std::string("a\0\0\0", 4)), std::string("a\0\0\0\0\0", 6));
    EXPECT_EQ(terminated(kMultiString, std::string("a\0\0\0\0\0", 6)),
              std::string("a\0\0\0\0\0", 6));
    EXPECT_EQ(terminated(kMultiString, ""), std::string(4, '\0'));
    EXPECT_EQ(terminated(kBinary, "a"), "a");
    EXPECT_EQ(terminated(kDword, "ab"), "ab");
}

TEST_F(RegistryDataTest, PathsAndLists) {
    RegistryPath p = parseRegistryPath(u"hkcu\\Software\\X");
    EXPECT_EQ(p.root, 1);
    EXPECT_EQ(p.subkey, u"Software\\X");
    EXPECT_EQ(parseRegistryPath(u"HKEY_LOCAL_MACHINE\\A").root, 2);
    EXPECT_EQ(parseRegistryPath(u"HKDD").root, 6);
    EXPECT_TRUE(parseRegistryPath(u"HKDD").subkey.empty());
    EXPECT_EQ(parseRegistryPath(u"HKCU\\").subkey, u"");
    RegistryPath relative = parseRegistryPath(u"HKCUX\\A");
    EXPECT_EQ(relative.root, -1);
    EXPECT_EQ(relative.subkey, u"HKCUX\\A");
    EXPECT_EQ(parseRegistryPath(u"").root, -1);

    std::u16string text(u"a=1\0b\0\0c\0", 9);
    std::vector<std::u16string_view> entries = splitZeroList(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], u"b");
    EXPECT_EQ(splitZeroList(u"last").size(), 1u);
    EXPECT_TRUE(splitZeroList(std::u16string(u"\0a", 2)).empty());
}

}  // namespace
