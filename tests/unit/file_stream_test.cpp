// FileStream: the ways of opening (missing files, mode strings made binary), the exact bytes
// scripts write, its own line rule, positions and a length that only shrinks, positions past
// 2^31 on sparse files, and the temporary file that goes away on close and on collection.
#include "stream_test_support.h"

using namespace quill;
using namespace quill::test;

namespace {

using FileStreamTest = StreamTest;

TEST_F(FileStreamTest, OpeningNeedsAnExistingFileUnlessAModeSaysOtherwise) {
    EXPECT_TRUE(construct("FileStream", {s(path("new.txt"))}).isNull());
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));
    ScriptValue created = construct("FileStream", {s(path("new.txt")), s("w")});
    ASSERT_EQ(created.tag, uint32_t(kTagHost));
    EXPECT_TRUE(std::filesystem::exists(dir / "new.txt"));
    EXPECT_EQ(integer(call(created, "get")), -1) << "w is write only";
    call(created, "writeLine", {s("a")});
    call(created, "close");
    EXPECT_EQ(readFile("new.txt"), "a\r\n");

    // rt opens in binary: the CR LF arrives as two bytes.
    ScriptValue text = construct("FileStream", {s(path("new.txt")), s("rt")});
    EXPECT_EQ(integer(call(text, "get")), 'a');
    EXPECT_EQ(integer(call(text, "get")), '\r');
    EXPECT_FALSE(call(text, "put", {makeInteger('x')}).i) << "r is read only";
    call(text, "close");

    // The one-argument form reads and writes the existing file without truncating it.
    ScriptValue both = construct("Stream", {s(path("new.txt")), makeInteger(3)});
    EXPECT_EQ(integer(call(both, "get")), 'a');
    set(both, "pos", makeInteger(3));
    call(both, "write", {s("b")});
    call(both, "close");
    EXPECT_EQ(readFile("new.txt"), "a\r\nb");

    ScriptValue plus = construct("FileStream", {s(path("plus.bin")), s("w+t")});
    call(plus, "write", {s("xyz")});
    set(plus, "pos", makeInteger(1));
    EXPECT_EQ(str(call(plus, "readLine")), "yz");

    for (const char* mode : {"", "x", "rw", "r+q", "wbx"}) {
        EXPECT_TRUE(construct("FileStream", {s(path("odd.bin")), s(mode)}).isNull()) << mode;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "odd.bin"));
    EXPECT_TRUE(construct("FileStream", {makeInteger(1)}).isNull());
    EXPECT_TRUE(construct("FileStream", {s("")}).isNull());
    EXPECT_TRUE(construct("FileStream", {wide(std::u16string(u"x\0y", 3)), s("w")}).isNull());
    EXPECT_TRUE(construct("FileStream", {s(dir.string())}).isNull()) << "a folder";
    EXPECT_EQ(getGlobal(engine, "Stream").host, getGlobal(engine, "FileStream").host);
    std::vector<ScriptValue> argv = {makeInteger(1), s(path("new.txt"))};
    ASSERT_EQ(callFunction(engine, "FileStream", nullptr, 2, argv.data()), 1);
    ScriptValue called = engine->returnSlot;
    EXPECT_EQ(str(call(called, "toString")), "[object FileStream]");
}

TEST_F(FileStreamTest, ScriptsWriteTheSameBytesOnEveryTarget) {
    ScriptValue f = construct("FileStream", {s(path("out.bin")), s("wb")});
    call(f, "write", {makeInteger(1), makeBoolean(true), makeNumber(1.5), s("ab")});
    call(f, "writeLine", {makeInteger(-1)});
    call(f, "writeString", {s("z"), makeInteger(5)});
    call(f, "writeUnicodeString", {wide(u"\u00E9")});
    call(f, "putShort", {makeInteger(-2)});
    call(f, "putFloat", {makeNumber(0.1)});
    EXPECT_TRUE(call(f, "put", {makeInteger(0x1FF)}).i);
    EXPECT_FALSE(call(f, "put", {s("a")}).i);
    call(f, "write", {bytes(std::string("\0\n", 2)), makeObject(newObject(engine))});
    EXPECT_TRUE(call(f, "flush").i);
    call(f, "write", {s("\r")});
    call(f, "close");
    std::string expected(
        "\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\xF8\x3F"
        "ab"
        "\xFF\xFF\xFF\xFF\r\n"
        "z\0"
        "5\0"
        "\xE9\x00\x00\x00"
        "\xFE\xFF"
        "\xCD\xCC\xCC\x3D"
        "\xFF"
        "\x00\n\r",
        42);
    EXPECT_EQ(readFile("out.bin"), expected);
}

TEST_F(FileStreamTest, ReadLineKeepsALoneCrAndReadsTheRestLikeAStringStream) {
    writeFile("lines.txt", std::string("a\rb\nc\r\n\nlast", 12));
    ScriptValue f = construct("FileStream", {s(path("lines.txt"))});
    EXPECT_EQ(str(call(f, "readLine")), "a\rb");
    EXPECT_EQ(str(call(f, "readLine")), "c");
    EXPECT_EQ(str(call(f, "readLine")), "");
    EXPECT_FALSE(get(f, "eof").i);
    EXPECT_EQ(str(call(f, "readLine")), "last");
    EXPECT_TRUE(get(f, "eof").i);
    EXPECT_EQ(str(call(f, "readLine")), "");

    writeFile("mixed.bin", std::string("hi\0\xFF\xFFz\xFE\0\0\0\x01\x02", 12));
    ScriptValue g = construct("FileStream", {s(path("mixed.bin"))});
    EXPECT_EQ(str(call(g, "readString")), "hi");
    EXPECT_EQ(integer(call(g, "getShort")), -1);
    EXPECT_EQ(str(call(g, "readUnicodeString")), "\xEF\xB9\xBA");  // the unit 0xFE7A
    EXPECT_EQ(integer(call(g, "get")), 0);
    EXPECT_EQ(integer(call(g, "getLong")), 0x0201) << "two bytes left";
    EXPECT_TRUE(get(g, "eof").i);
    EXPECT_EQ(integer(call(g, "get")), -1);
    set(g, "pos", makeInteger(0));
    ScriptValue all = call(g, "read", {makeInteger(1000)});
    EXPECT_EQ(stringStreamLength(engine, all), 12);
    EXPECT_TRUE(call(g, "read", {makeInteger(0)}).isUndefined());
}

TEST_F(FileStreamTest, PositionsSeekAndTheLengthOnlyShrinks) {
    writeFile("p.bin", "0123456789");
    ScriptValue f = construct("FileStream", {s(path("p.bin"))});
    set(f, "pos", makeInteger(4));
    EXPECT_EQ(integer(call(f, "get")), '4');
    set(f, "pos", makeInteger(-1));
    EXPECT_EQ(integer(get(f, "pos")), 5) << "a negative position is ignored";
    set(f, "pos", makeNumber(2.9));
    EXPECT_EQ(integer(get(f, "pos")), 2);
    set(f, "pos", s("7"));
    EXPECT_EQ(integer(get(f, "pos")), 0) << "anything else seeks to the start";
    set(f, "eof", makeBoolean(true));
    EXPECT_FALSE(get(f, "eof").i);

    set(f, "pos", makeInteger(8));
    set(f, "length", makeInteger(20));
    set(f, "length", makeInteger(-3));
    set(f, "length", s("4"));
    EXPECT_EQ(integer(get(f, "length")), 10);
    EXPECT_EQ(integer(get(f, "pos")), 8);
    set(f, "length", makeNumber(6.5));
    EXPECT_EQ(integer(get(f, "length")), 6);
    EXPECT_EQ(integer(get(f, "pos")), 0);
    call(f, "close");
    EXPECT_EQ(readFile("p.bin"), "012345");

    // Switching between reading and writing without assigning pos behaves the same on both
    // targets: each continues where the other stopped.
    ScriptValue g = construct("FileStream", {s(path("p.bin"))});
    EXPECT_EQ(integer(call(g, "get")), '0');
    call(g, "write", {s("X")});
    EXPECT_EQ(integer(call(g, "get")), '2');
    call(g, "write", {s("YZ")});
    EXPECT_EQ(integer(get(g, "length")), 6) << "the length counts what is still buffered";
    set(g, "pos", makeInteger(6));
    call(g, "write", {s("!")});
    EXPECT_EQ(integer(get(g, "length")), 7);
    call(g, "close");
    EXPECT_EQ(readFile("p.bin"), "0X2YZ5!");
}

TEST_F(FileStreamTest, UngetPushesBackOneByte) {
    writeFile("u.bin", "ab");
    ScriptValue f = construct("FileStream", {s(path("u.bin"))});
    EXPECT_EQ(integer(call(f, "get")), 'a');
    EXPECT_TRUE(call(f, "unget", {s("zed")}).i);
    EXPECT_EQ(integer(call(f, "get")), 'z');
    EXPECT_FALSE(call(f, "unget").i);
    EXPECT_FALSE(call(f, "unget", {makeNumber(1.0)}).i);
    EXPECT_FALSE(call(f, "unget", {s("")}).i);
    EXPECT_EQ(integer(call(f, "get")), 'b');
    call(f, "close");
    EXPECT_EQ(readFile("u.bin"), "ab") << "pushing back does not write";
}

TEST_F(FileStreamTest, PositionsPastTwoGigabytesWorkOnSparseFiles) {
    const int64_t beyond = (int64_t(1) << 31) + 10;
    ScriptValue f = construct("FileStream", {s(path("sparse.bin")), s("w+")});
    set(f, "pos", makeInteger(beyond));
    EXPECT_EQ(integer(get(f, "pos")), beyond);
    EXPECT_TRUE(call(f, "put", {makeInteger(7)}).i);
    EXPECT_EQ(integer(get(f, "length")), beyond + 1);
    set(f, "pos", makeInteger(beyond - 3));
    ScriptValue tail = call(f, "read", {makeInteger(int64_t(1) << 40)});
    EXPECT_EQ(content(tail), std::string("\0\0\0\x07", 4));
    EXPECT_TRUE(get(f, "eof").i);
    set(f, "pos", makeNumber(double(beyond)));
    EXPECT_EQ(integer(call(f, "get")), 7);
    call(f, "flush");

    // Too large for a StringStream: readFromFile gives nothing instead of reading 2 GiB.
    EXPECT_TRUE(call(getGlobal(engine, "StringStream"), "readFromFile", {s(path("sparse.bin"))})
                    .isUndefined());
    set(f, "length", makeInteger(4));
    EXPECT_EQ(integer(get(f, "length")), 4);
    call(f, "close");
    EXPECT_EQ(std::filesystem::file_size(dir / "sparse.bin"), 4u);
}

TEST_F(FileStreamTest, TheTemporaryFileGoesOnCloseOnCollectionAndWithTheEngine) {
    useScratchAsTemp();
    ScriptValue f = construct("FileStream");
    ASSERT_EQ(f.tag, uint32_t(kTagHost));
    EXPECT_EQ(filesInScratch(), 1u);
    call(f, "write", {s("scratch")});
    set(f, "pos", makeInteger(0));
    EXPECT_EQ(str(call(f, "readLine")), "scratch");
    call(f, "close");
    EXPECT_EQ(filesInScratch(), 0u);
    EXPECT_EQ(str(call(f, "toString")), "[object FileStream]");
    call(f, "get");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(get(f, "pos").isUndefined());

    construct("FileStream");
    ScriptValue kept = construct("FileStream");
    setGlobal(engine, "kept", kept);
    EXPECT_EQ(filesInScratch(), 2u);
    engine->returnSlot = makeUndefined();
    collect(engine, engine->stackTop);
    EXPECT_EQ(filesInScratch(), 1u) << "the unreachable stream's file is deleted";
    restart(EngineConfig());
    EXPECT_EQ(filesInScratch(), 0u);
}

}  // namespace
