// StringStream: the byte encodings, line and string reads, the state word that blocks reads and
// writes until a position is assigned, whole-content members (crc, compress, files), closing,
// and the content access other host objects use.
#include <cmath>
#include <cstring>

#include "host/system/stream_core.h"
#include "stream_test_support.h"

using namespace quill;
using namespace quill::test;

namespace {

using StringStreamTest = StreamTest;

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST_F(StringStreamTest, WriteEncodesEachKindOfArgument) {
    ScriptValue st = construct("StringStream");
    call(st, "write", {makeInteger(1), makeBoolean(true), makeNumber(1.5), s("ab")});
    EXPECT_EQ(integer(get(st, "length")), 18);
    EXPECT_EQ(hex(content(st)), "01 00 00 00 01 00 00 00 00 00 00 00 00 00 F8 3F 61 62");

    // Only the low 32 bits of an integer; undefined, null and objects are skipped; a NaN is a
    // number written as a double.
    ScriptValue t = construct("StringStream");
    call(t, "write",
         {makeInteger(0x100000002LL), makeUndefined(), makeNull(), makeObject(newObject(engine)),
          makeNaN()});
    EXPECT_EQ(hex(content(t)), "02 00 00 00 00 00 00 00 00 00 F8 7F");

    ScriptValue u = construct("StringStream");
    call(u, "writeLine");
    call(u, "writeString", {s("ab"), makeInteger(5)});
    call(u, "writeUnicodeString", {wide(u"h\u20AC")});
    call(u, "write", {wide(u"\u00E9\u20AC\u4E00")});  // the ANSI code page: E9 80 and '?'
    EXPECT_EQ(hex(content(u)), "0D 0A 61 62 00 35 00 68 00 AC 20 00 00 E9 80 3F");

    ScriptValue v = construct("StringStream");
    call(v, "putShort", {makeInteger(-2)});
    call(v, "putShort", {makeInteger(0x12345)});
    call(v, "putShort", {makeNumber(3.0)});  // not an integer: nothing
    call(v, "putFloat", {makeNumber(1.5)});
    call(v, "putFloat", {s("2")});
    call(v, "putFloat");
    call(v, "put", {makeInteger(0x141)});
    call(v, "put", {s("Bc")});
    call(v, "put", {s("")});
    call(v, "put", {makeNumber(67.0)});
    EXPECT_EQ(hex(content(v)), "FE FF 45 23 00 00 C0 3F 00 00 00 40 41 42");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(call(v, "put", {makeInteger(1)}).isUndefined());
}

TEST_F(StringStreamTest, FixedSizeReadsDecodeAndZeroFillAtTheEnd) {
    ScriptValue st = bytes(std::string("\xFE\xFF\xFF", 3));
    EXPECT_EQ(integer(call(st, "getShort")), -2);
    EXPECT_EQ(integer(call(st, "get")), 255) << "a byte FF is data, not the end";
    EXPECT_FALSE(get(st, "eof").i);
    EXPECT_EQ(integer(call(st, "get")), -1);
    EXPECT_TRUE(get(st, "eof").i);
    EXPECT_EQ(integer(get(st, "getPos")), -1) << "a short read sets the failure flag";

    // Two bytes left: getLong gives them as an unsigned 16-bit value.
    ScriptValue t = bytes("\x01\x02");
    EXPECT_EQ(integer(call(t, "getLong")), 0x0201);
    EXPECT_TRUE(get(t, "eof").i);

    ScriptValue u = construct("StringStream");
    call(u, "putFloat", {makeNumber(-0.25)});
    call(u, "write", {makeNumber(1e300), makeInteger(-7)});
    call(u, "putFloat", {makeNumber(1e300)});  // beyond single precision: infinity
    EXPECT_EQ(call(u, "getFloat").d, -0.25);
    EXPECT_EQ(call(u, "getDouble").d, 1e300);
    EXPECT_EQ(integer(call(u, "getLong")), -7);
    EXPECT_TRUE(std::isinf(call(u, "getFloat").d));
    EXPECT_EQ(call(u, "getDouble").tag, uint32_t(kTagNumber)) << "zero-filled, not NaN";

    ScriptValue nan = bytes(std::string("\x00\x00\xC0\x7F", 4));
    EXPECT_EQ(call(nan, "getFloat").tag, uint32_t(kTagNaN));
}

TEST_F(StringStreamTest, ReadLineEndsAtLfOrCrLfAndDropsALoneCr) {
    ScriptValue st = bytes("a\r\nb\nc");
    EXPECT_EQ(str(call(st, "readLine")), "a");
    EXPECT_EQ(str(call(st, "readLine")), "b");
    EXPECT_FALSE(get(st, "eof").i);
    EXPECT_EQ(str(call(st, "readLine")), "c");
    EXPECT_TRUE(get(st, "eof").i);
    EXPECT_EQ(integer(get(st, "getPos")), 6) << "looking ahead at the end is not a failure";
    EXPECT_EQ(str(call(st, "readLine")), "");

    EXPECT_EQ(str(call(bytes("a\rb\n"), "readLine")), "ab");
    ScriptValue t = bytes("x\r\n\n\ny\r");
    EXPECT_EQ(str(call(t, "readLine")), "x");
    EXPECT_EQ(str(call(t, "readLine")), "");
    EXPECT_EQ(str(call(t, "readLine")), "");
    EXPECT_EQ(str(call(t, "readLine")), "y") << "a CR at the very end ends the line";
    EXPECT_EQ(str(call(bytes("caf\xE9\n"), "readLine")), "caf\xC3\xA9");
}

TEST_F(StringStreamTest, ZeroTerminatedStringsStopAtTheZeroOrTheEnd) {
    ScriptValue st =
        bytes(std::string("ab\0\xFF"
                          "c",
                          5));
    EXPECT_EQ(str(call(st, "readString")), "ab");
    EXPECT_EQ(str(call(st, "readString")),
              "\xC3\xBF"
              "c");
    EXPECT_TRUE(get(st, "eof").i);
    EXPECT_EQ(integer(get(st, "getPos")), 5);
    EXPECT_EQ(str(call(st, "readString")), "");

    ScriptValue u = bytes(std::string("h\0i\0\0\0z\0q", 9));
    EXPECT_EQ(str(call(u, "readUnicodeString")), "hi");
    EXPECT_EQ(str(call(u, "readUnicodeString")), "z") << "an odd last byte is not a unit";
    EXPECT_EQ(integer(get(u, "getPos")), -1);
}

TEST_F(StringStreamTest, AReadAtTheEndBlocksWritesUntilAPositionIsAssigned) {
    ScriptValue st = bytes("ab");
    call(st, "read", {makeInteger(5)});
    call(st, "write", {s("zz")});
    EXPECT_EQ(content(st), "ab");
    EXPECT_EQ(integer(get(st, "putPos")), -1);
    EXPECT_EQ(integer(call(st, "get")), -1);

    set(st, "getPos", makeInteger(-1));  // ignored: the flags stay
    EXPECT_EQ(integer(get(st, "getPos")), -1);
    set(st, "putPos", makeInteger(1));
    EXPECT_EQ(integer(get(st, "getPos")), 2);
    EXPECT_FALSE(get(st, "eof").i);
    call(st, "write", {s("zz")});
    EXPECT_EQ(content(st), "azz");

    set(st, "getPos", makeNumber(1.9));
    EXPECT_EQ(integer(get(st, "getPos")), 1);
    set(st, "getPos", s("2"));  // not a number: the start
    EXPECT_EQ(integer(get(st, "getPos")), 0);
    set(st, "getPos", makeInteger(0x80000000LL));  // past the largest position: ignored
    set(st, "getPos", makeNumber(INFINITY));
    EXPECT_EQ(integer(get(st, "getPos")), 0);
    set(st, "eof", makeBoolean(true));
    set(st, "length", makeInteger(0));
    set(st, "crc", makeInteger(0));
    EXPECT_FALSE(get(st, "eof").i);
    EXPECT_EQ(integer(get(st, "length")), 3);
}

TEST_F(StringStreamTest, ReadMakesANewStreamOfWhatWasThere) {
    ScriptValue st = bytes("abcdef");
    ScriptValue part = call(st, "read", {makeInteger(3)});
    ASSERT_TRUE(isStringStream(engine, part));
    EXPECT_EQ(content(part), "abc");
    EXPECT_EQ(integer(get(part, "getPos")), 0);
    EXPECT_EQ(integer(get(part, "putPos")), 3);
    EXPECT_EQ(integer(get(st, "getPos")), 3);
    for (ScriptValue bad : {makeInteger(0), makeInteger(-1), s("2"), makeNumber(2.0)}) {
        EXPECT_TRUE(call(st, "read", {bad}).isUndefined());
    }
    EXPECT_TRUE(call(st, "read").isUndefined());
    EXPECT_EQ(integer(get(st, "getPos")), 3);

    ScriptValue rest = call(st, "read", {makeInteger(int64_t(1) << 40)});
    EXPECT_EQ(content(rest), "def");
    EXPECT_TRUE(get(st, "eof").i);
    EXPECT_EQ(stringStreamLength(engine, call(st, "read", {makeInteger(2)})), 0);
}

TEST_F(StringStreamTest, UngetStepsBackOrPushesAByte) {
    ScriptValue st = bytes("abc");
    call(st, "unget", {s("x")});  // at the start there is nothing to step back over
    EXPECT_EQ(content(st), "abc");
    call(st, "get");
    call(st, "get");
    call(st, "unget");
    EXPECT_EQ(integer(call(st, "get")), 'b');
    call(st, "unget", {s("Zed")});
    EXPECT_EQ(integer(call(st, "get")), 'Z');
    call(st, "unget", {makeInteger(0x161)});
    EXPECT_EQ(integer(call(st, "get")), 0x61);
    EXPECT_EQ(content(st), "aac");

    // A read position past the content has no byte to replace.
    set(st, "getPos", makeInteger(100));
    call(st, "unget", {makeInteger('q')});
    EXPECT_EQ(content(st), "aac");
    EXPECT_EQ(integer(get(st, "getPos")), 100);
}

TEST_F(StringStreamTest, ModesAllowReadingWritingOrBoth) {
    ScriptValue in = construct("StringStream", {getGlobal(engine, "$STREAM_IN")});
    call(in, "write", {s("abc")});
    EXPECT_EQ(stringStreamLength(engine, in), 0);

    ScriptValue out = construct("StringStream", {getGlobal(engine, "$STREAM_OUT")});
    call(out, "write", {s("abc")});
    EXPECT_EQ(integer(call(out, "get")), -1);
    EXPECT_EQ(integer(get(out, "getPos")), 0) << "a refused read changes no flag";
    EXPECT_EQ(str(call(out, "toString")), "abc") << "whole-content members ignore the mode";

    for (ScriptValue mode : {makeInteger(0), makeInteger(7), s("1"), makeNumber(1.0)}) {
        ScriptValue both = construct("StringStream", {mode});
        call(both, "write", {s("q")});
        EXPECT_EQ(integer(call(both, "get")), 'q');
    }
    EXPECT_EQ(integer(getGlobal(engine, "$STREAM_EOF")), -1);
    EXPECT_EQ(integer(getGlobal(engine, "$STREAM_OUT")), 2);
    // Calling the class does what `new` does.
    std::vector<ScriptValue> argv = {makeInteger(0)};
    ASSERT_EQ(callFunction(engine, "StringStream", nullptr, 1, argv.data()), 1);
    EXPECT_TRUE(isStringStream(engine, engine->returnSlot));
}

TEST_F(StringStreamTest, WritesPastTheEndFillWithZerosUpToTheLargestLength) {
    ScriptValue st = construct("StringStream");
    set(st, "putPos", makeInteger(4));
    call(st, "put", {makeInteger(1)});
    EXPECT_EQ(hex(content(st)), "00 00 00 00 01");

    set(st, "putPos", makeInteger(0x7FFFFFFF));
    EXPECT_EQ(integer(get(st, "putPos")), 0x7FFFFFFF);
    call(st, "put", {makeInteger(1)});  // would end past 2^31 - 1: refused, bad flag
    EXPECT_EQ(integer(get(st, "putPos")), -1);
    EXPECT_EQ(stringStreamLength(engine, st), 5);
    set(st, "putPos", makeInteger(0x80000000LL));
    EXPECT_EQ(integer(get(st, "putPos")), -1) << "an ignored assignment keeps the flags";
    set(st, "putPos", makeNumber(2147483646.7));
    call(st, "putShort", {makeInteger(1)});
    EXPECT_EQ(integer(get(st, "putPos")), -1);
    EXPECT_EQ(stringStreamLength(engine, st), 5);
}

TEST_F(StringStreamTest, CrcIsTheStandardCrc32WhateverThePosition) {
    ScriptValue st = bytes("123456789");
    EXPECT_EQ(integer(get(st, "crc")), 0xCBF43926LL);
    call(st, "read", {makeInteger(20)});
    EXPECT_EQ(integer(get(st, "crc")), 0xCBF43926LL);
    EXPECT_EQ(integer(get(st, "getPos")), -1) << "the state is kept as it was";
    EXPECT_EQ(integer(get(construct("StringStream"), "crc")), 0);
    EXPECT_EQ(integer(get(bytes("a"), "crc")), 0xE8B7BE43LL) << "never negative";
}

TEST_F(StringStreamTest, CompressAndUncompressRoundTrip) {
    std::string big(1000000, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < big.size(); ++i) {
        x = x * 1103515245u + 12345u;
        big[i] = static_cast<char>((i % 3000) < 1500 ? 'a' + i % 7 : (x >> 24));
    }
    for (const std::string& data : {std::string(), std::string("x"), big}) {
        ScriptValue st = bytes(data);
        call(st, "get");
        ScriptValue packed = call(st, "compress");
        ASSERT_TRUE(isStringStream(engine, packed)) << data.size();
        EXPECT_EQ(integer(get(st, "getPos")), data.empty() ? -1 : 1);
        EXPECT_EQ(hex(content(packed).substr(0, 2)), "78 9C");
        ScriptValue back = call(packed, "uncompress");
        ASSERT_TRUE(isStringStream(engine, back));
        EXPECT_TRUE(content(back) == data) << data.size();
        EXPECT_EQ(integer(get(back, "getPos")), 0);
    }
    ScriptValue st = bytes(std::string(5000, 'q'));
    EXPECT_TRUE(call(st, "compress", {makeInteger(10)}).isNull());
    EXPECT_TRUE(call(st, "compress", {makeInteger(-2)}).isNull());
    EXPECT_TRUE(call(st, "compress", {makeInteger(0x100000006LL)}).isNull());
    ScriptValue stored = call(st, "compress", {makeInteger(0)});
    EXPECT_GT(stringStreamLength(engine, stored), 5000);
    EXPECT_EQ(content(call(stored, "uncompress")), std::string(5000, 'q'));
    EXPECT_EQ(content(call(st, "compress", {s("9")})), content(call(st, "compress")));
}

TEST_F(StringStreamTest, UncompressGivesNullForAnythingButOneWholeStream) {
    ScriptValue garbage = bytes("this is not deflated");
    call(garbage, "get");
    EXPECT_TRUE(call(garbage, "uncompress").isNull());
    EXPECT_EQ(integer(get(garbage, "getPos")), 1);
    EXPECT_TRUE(call(construct("StringStream"), "uncompress").isNull());

    std::string packed = content(call(bytes(std::string(100000, 'z')), "compress"));
    EXPECT_TRUE(call(bytes(packed.substr(0, packed.size() - 1)), "uncompress").isNull())
        << "a stream cut short is not half a result";
    ScriptValue trailing = call(bytes(packed + "garbage after the end"), "uncompress");
    ASSERT_TRUE(isStringStream(engine, trailing));
    EXPECT_EQ(stringStreamLength(engine, trailing), 100000);

    // The cap: output one byte past the limit fails, output at the limit is kept.
    streams::ByteStream source, out, exact;
    std::string zeros(1 << 20, '\0');
    ASSERT_TRUE(streams::deflateInto(reinterpret_cast<const uint8_t*>(zeros.data()), zeros.size(),
                                     9, &source));
    EXPECT_LT(source.length(), 5000u);
    EXPECT_FALSE(streams::inflateInto(source.data(), source.length(), &out, zeros.size() - 1));
    EXPECT_LE(out.length(), zeros.size() - 1);
    EXPECT_TRUE(streams::inflateInto(source.data(), source.length(), &exact, zeros.size()));
    EXPECT_EQ(exact.length(), zeros.size());
}

TEST_F(StringStreamTest, TextConversionGivesTheContent) {
    ScriptValue st = bytes("caf\xE9");
    call(st, "get");
    EXPECT_EQ(str(call(st, "toString")), "caf\xC3\xA9");
    EXPECT_EQ(str(toString(engine, st)), "caf\xC3\xA9");
    ScriptValue primitive;
    ASSERT_EQ(guardHostCall(engine, [&] { primitive = toPrimitive(engine, st, 0); }), 1);
    EXPECT_EQ(str(primitive), "caf\xC3\xA9") << "concatenation sees the text";
    EXPECT_EQ(integer(call(st, "get")), 'a') << "the read position is kept";
    EXPECT_EQ(str(call(getGlobal(engine, "StringStream"), "toString")), "[object StringStream]");
}

TEST_F(StringStreamTest, CloseLeavesOnlyTheTextAndReadFromFile) {
    writeFile("in.bin", std::string("r\0\r\n", 4));
    ScriptValue st = bytes("abc");
    EXPECT_TRUE(call(st, "close").isUndefined());
    call(st, "get");
    EXPECT_FALSE(ok);
    EXPECT_EQ(errorText(), "Warning: unknown method \"get\"");
    EXPECT_TRUE(get(st, "length").isUndefined());
    EXPECT_EQ(str(call(st, "toString")), "[object StringStream]");
    EXPECT_EQ(content(call(st, "readFromFile", {s(path("in.bin"))})), std::string("r\0\r\n", 4));
    EXPECT_TRUE(isStringStream(engine, st));
    EXPECT_EQ(stringStreamLength(engine, st), 0);
    std::vector<uint8_t> none;
    EXPECT_FALSE(readStringStreamContent(engine, st, &none));
    call(st, "close");
    EXPECT_FALSE(ok) << "closing twice is an unknown member too";
}

TEST_F(StringStreamTest, SaveToFileAndReadFromFileKeepEveryByte) {
    std::string data(
        "line\r\n\0\xFF\x1A"
        "end",
        12);
    ScriptValue st = bytes(data);
    call(st, "get");
    EXPECT_TRUE(call(st, "saveToFile", {s(path("out.bin"))}).isUndefined());
    EXPECT_EQ(readFile("out.bin"), data);
    EXPECT_EQ(integer(call(st, "get")), 'i');

    ScriptValue loaded =
        call(getGlobal(engine, "StringStream"), "readFromFile", {s(path("out.bin"))});
    EXPECT_EQ(content(loaded), data);
    EXPECT_EQ(integer(get(loaded, "getPos")), 0);
    EXPECT_EQ(integer(get(loaded, "putPos")), 12);
    std::string large(3 * 4096 + 7, 'L');
    writeFile("large.bin", large);
    EXPECT_EQ(content(call(st, "readFromFile", {s(path("large.bin"))})), large);
    EXPECT_EQ(content(st), data) << "reading a file leaves this stream alone";

    EXPECT_TRUE(call(st, "readFromFile", {s(path("missing.bin"))}).isUndefined());
    EXPECT_TRUE(call(st, "readFromFile", {s(dir.string())}).isUndefined()) << "a folder";
    EXPECT_TRUE(call(st, "readFromFile", {makeInteger(1)}).isUndefined());
    EXPECT_TRUE(ok);
    call(st, "saveToFile", {s(path("no-such-folder/x.bin"))});
    call(st, "saveToFile", {wide(std::u16string(u"out.bin\0.txt", 12))});
    EXPECT_TRUE(ok);
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

TEST_F(StringStreamTest, ContentAccessRecognisesTheClassWhateverTheGlobalHolds) {
    ScriptValue st = newStringStreamFromBytes(engine, "\x01\x02\x03", 3);
    call(st, "read", {makeInteger(10)});  // leaves the failure flag set
    std::vector<uint8_t> out;
    ASSERT_TRUE(readStringStreamContent(engine, st, &out));
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(integer(get(st, "getPos")), -1) << "the script sees no change";
    EXPECT_FALSE(isStringStream(engine, getGlobal(engine, "StringStream")));
    EXPECT_FALSE(isStringStream(engine, s("text")));
    EXPECT_FALSE(isStringStream(engine, construct("FileStream")));

    setGlobal(engine, "StringStream", makeInteger(5));
    EXPECT_TRUE(isStringStream(engine, st));
    ScriptValue copy = newStringStreamFromBytes(engine, "xy", 2);
    EXPECT_TRUE(isStringStream(engine, copy));
    EXPECT_EQ(content(call(copy, "read", {makeInteger(1)})), "x");
    EXPECT_EQ(stringStreamLength(engine, makeInteger(3)), 0);
}

TEST_F(StringStreamTest, ScriptsThatCloseTheStreamDuringAConversionAreHarmless) {
    // closer() closes the global `victim` and gives a text; it serves as toString and valueOf.
    Asm a;
    a.fn("closer").prologue(0);
    a.op(OP_PUSH_0).name(OP_LOAD_GLOBAL, "victim").name(OP_CALL_METHOD, "close");
    a.op(OP_COLLAPSE, 2).op(OP_POP).string("7").op(OP_RETURN);
    a.fn(".main").op(OP_PUSH_NULL);
    eval(a);
    ScriptObject* sly = newObject(engine);
    setByAtom(engine, sly, intern(engine, "toString"), getGlobal(engine, "closer"));
    setByAtom(engine, sly, intern(engine, "valueOf"), getGlobal(engine, "closer"));
    setGlobal(engine, "sly", makeObject(sly));
    for (const char* member : {"writeString", "writeUnicodeString", "putFloat"}) {
        ScriptValue st = bytes("abc");
        setGlobal(engine, "victim", st);
        if (std::strcmp(member, "putFloat") == 0) {
            call(st, member, {makeObject(sly)});
        } else {
            call(st, member, {s("first"), makeObject(sly)});
        }
        EXPECT_TRUE(ok) << member << ": " << errorText();
        EXPECT_EQ(str(call(st, "toString")), "[object StringStream]") << member;
    }
    collect(engine, engine->stackTop);
}

TEST_F(StringStreamTest, PropertyNamesAreNotMethodsAndMethodsAreNotProperties) {
    ScriptValue st = bytes("abc");
    call(st, "length");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(get(st, "write").isUndefined());
    set(st, "custom", makeInteger(4));
    EXPECT_EQ(integer(get(st, "custom")), 4) << "other names are ordinary properties";
}

}  // namespace
