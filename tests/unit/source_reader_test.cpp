// The compiler's sources and sinks: push-back, the end of input (also at a NUL), file input
// across buffer refills, the formatted write codes, file output, and a parse over a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "compiler/messages.h"
#include "compiler_test_support.h"

using namespace quill::compiler;
using namespace quill::compiler::testing;

namespace {

// A file in the temporary directory, removed at the end of the test.
class TempFile {
  public:
    explicit TempFile(const std::string& tag) {
        static int counter = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("quill_reader_" + tag + "_" + std::to_string(++counter) + ".qls"))
                    .string();
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

    void write(const std::string& bytes) const {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    std::string read() const {
        std::string out;
        std::FILE* f = std::fopen(path_.c_str(), "rb");
        if (!f) return "<missing>";
        char block[512];
        size_t n;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0) out.append(block, n);
        std::fclose(f);
        return out;
    }

  private:
    std::string path_;
};

// Everything a reader yields up to its end.
std::string drain(SourceReader& reader) {
    std::string out;
    for (int c = reader.get(); c != 0; c = reader.get()) out += static_cast<char>(c);
    return out;
}

std::string pattern(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + (i * 7) % 26);
    return out;
}

}  // namespace

TEST(SourceReader, PushBackAnyDepthAndLineCounter) {
    auto reader = SourceReader::fromString("ab");
    EXPECT_EQ(reader->kind(), SourceReader::Kind::kString);
    EXPECT_EQ(reader->name(), "string");
    EXPECT_EQ(reader->get(), 'a');
    for (int c = 1; c <= 100; ++c) reader->unget(c);
    for (int c = 100; c >= 1; --c) EXPECT_EQ(reader->get(), c);
    EXPECT_EQ(reader->peek(), 'b');
    EXPECT_EQ(reader->get(), 'b');
    EXPECT_EQ(reader->get(), 0);
    EXPECT_EQ(reader->get(), 0);
    reader->unget('z');  // push-back works at the end too
    EXPECT_EQ(reader->get(), 'z');
    EXPECT_EQ(reader->get(), 0);
    EXPECT_EQ(reader->line(), 0u);
    reader->nextLine();
    EXPECT_EQ(reader->line(), 1u);
    reader->reset();
    EXPECT_EQ(reader->line(), 0u);
    EXPECT_EQ(drain(*reader), "ab");

    // A NUL ends the input for good: the bytes after it are never seen.
    auto nul = SourceReader::fromString(std::string("x\0y", 3));
    EXPECT_EQ(nul->get(), 'x');
    EXPECT_EQ(nul->get(), 0);
    EXPECT_EQ(nul->get(), 0);
    EXPECT_EQ(drain(*SourceReader::fromString("")), "");
}

TEST(SourceReader, FileInputAcrossBufferRefills) {
    for (size_t size :
         {size_t{0}, size_t{1}, SourceReader::kFileBufferSize - 1, SourceReader::kFileBufferSize,
          SourceReader::kFileBufferSize + 1, size_t{3 * SourceReader::kFileBufferSize + 17}}) {
        TempFile file("refill");
        std::string text = pattern(size);
        file.write(text);
        auto reader = SourceReader::openFile(file.path());
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->kind(), SourceReader::Kind::kFileInput);
        EXPECT_EQ(reader->name(), file.path());
        EXPECT_EQ(drain(*reader), text) << size;
        EXPECT_EQ(reader->get(), 0);
        // Read again from the start.
        reader->reset();
        EXPECT_EQ(drain(*reader), text) << size;
    }
}

TEST(SourceReader, FileInputEndsAtANulByte) {
    TempFile file("nul");
    std::string text = pattern(5000);
    file.write(text + std::string(1, '\0') + "after");
    auto reader = SourceReader::openFile(file.path());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(drain(*reader), text);
    EXPECT_EQ(reader->get(), 0);
    EXPECT_EQ(reader->get(), 0);
}

TEST(SourceReader, OpenSourceReportsAMissingFile) {
    quill::ScriptEngine* engine = sharedEngine();
    engine->messageBuffer = "old text";
    EXPECT_EQ(openSource(engine, "no_such_dir/missing.qls", SourceReader::Kind::kFileInput),
              nullptr);
    EXPECT_EQ(engine->messageBuffer, "can't open the script file: no_such_dir/missing.qls\n");

    auto text = openSource(engine, "x = 1", SourceReader::Kind::kString);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(drain(*text), "x = 1");
    EXPECT_NE(openSource(engine, nullptr, SourceReader::Kind::kBuffer), nullptr);
    EXPECT_EQ(openSource(engine, nullptr, SourceReader::Kind::kString), nullptr);
    EXPECT_EQ(openSource(engine, nullptr, static_cast<SourceReader::Kind>(7)), nullptr);
}

TEST(SourceReader, WriteCodes) {
    auto out = SourceReader::newBuffer();
    EXPECT_EQ(out->kind(), SourceReader::Kind::kBuffer);
    EXPECT_TRUE(out->write("sacb", {"x=", -42, 'A', WriteItem::bytes("\0z", 2)}));
    EXPECT_EQ(out->text(), std::string("x=-42A\0z", 8));
    out->reset();
    EXPECT_EQ(out->text(), "");
    EXPECT_TRUE(out->write("aaaa", {INT64_MIN, INT64_MAX, 0, uint32_t{4294967295u}}));
    EXPECT_EQ(out->text(),
              "-922337203685477580892233720368547758070"
              "4294967295");
    out->reset();
    // An item of the wrong type writes nothing; codes past the last item are ignored.
    EXPECT_TRUE(out->write("ssac", {"a", 5, "b"}));
    EXPECT_EQ(out->text(), "a");
    out->reset();
    EXPECT_TRUE(out->write("c", {0x141}));  // the low byte
    EXPECT_EQ(out->text(), "A");
    EXPECT_EQ(out->get(), 0);  // an output has nothing to read

    auto in = SourceReader::fromString("abc");
    EXPECT_FALSE(in->write("s", {"x"}));
    EXPECT_EQ(drain(*in), "abc");
}

TEST(SourceReader, FileOutput) {
    TempFile file("out");
    auto out = SourceReader::createFile(file.path());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->kind(), SourceReader::Kind::kFileOutput);
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        std::string piece = "line " + std::to_string(i) + "\r\n";
        ASSERT_TRUE(out->write("sas", {"line ", i, "\r\n"}));
        expected += piece;
    }
    std::string big = pattern(10000);
    ASSERT_TRUE(out->writeBytes(big.data(), big.size()));
    expected += big;
    EXPECT_TRUE(out->close());
    EXPECT_TRUE(out->close());
    EXPECT_EQ(file.read(), expected);

    EXPECT_EQ(SourceReader::createFile("no_such_dir/out.qsc"), nullptr);
}

TEST(SourceReader, ParseFromAFile) {
    // CRLF line ends, a literal across several buffer refills, and no final newline.
    TempFile file("parse");
    std::string literal = pattern(3 * SourceReader::kFileBufferSize);
    file.write("x = 1;\r\n// note\r\ny = '" + literal + "';\r\nfunction f(a) {\r\n return a\r\n}");
    auto input = SourceReader::openFile(file.path());
    ASSERT_NE(input, nullptr);
    CompileContext ctx(sharedEngine(), input.get(), 0);
    ASSERT_TRUE(guardCompile([&] { parseProgram(ctx); })) << ctx.diagnostics->text();
    EXPECT_EQ(printProgram(ctx),
              "(function f (a) (return a))\n(expr (= x 1))\n(expr (= y \"" + literal + "\"))\n");
    EXPECT_EQ(ctx.statements.last->line, 2u);
    EXPECT_EQ(ctx.functions.first->line, 3u);
    EXPECT_EQ(ctx.lastLine, 5u);
}
