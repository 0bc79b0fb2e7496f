// The movie and mask lists: what is written where, what is skipped, refused names, lists that
// end early, and the names a file may never have.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "projector/records/movie_list.h"
#include "projector/records/safe_name.h"
#include "temp_folder.h"

namespace quill::project {
namespace {

// Builds list records by hand.
class RecordBuilder {
  public:
    RecordBuilder& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    RecordBuilder& text(const std::u16string& s) {
        u32(static_cast<uint32_t>(s.size() + 1));
        for (char16_t c : s) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        bytes.push_back(0);
        bytes.push_back(0);
        return *this;
    }
    RecordBuilder& data(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    std::vector<uint8_t> bytes;
};

struct Reading {
    test::TempFolder work;
    std::vector<std::string> reports;
    ExtractTarget target() {
        ExtractTarget t;
        t.workFolder = work.text();
        t.exeFolder = "APP" + std::string(1, kPathSeparator);
        t.codec = &utf8Codec();
        t.report = [this](const std::string& text) { reports.push_back(text); };
        return t;
    }
};

TEST(MovieListTest, EmbeddedMoviesAndPlugins) {
    Reading r;
    // Two plug-ins: the folder is made once, for the first.
    RecordBuilder b;
    b.u32(kListEmbedded).u32(3);
    b.u32(kMovieKind).text(u"intro.swf").data("FWS movie");
    b.u32(kPluginKind).text(u"one.dll").data("first");
    b.u32(kPluginKind).text(u"two.dll").data("second");
    MemoryStream stream(b.bytes);
    MovieList list;
    parseMovieList(stream, r.target(), &list);
    EXPECT_TRUE(r.reports.empty());
    ASSERT_EQ(list.entries.size(), 3u);
    std::string plugins = r.work.text() + kPluginFolder + kPathSeparator;
    EXPECT_EQ(list.entries[0], (MovieEntry{kMovieKind, r.work.text() + "intro.swf"}));
    EXPECT_EQ(list.entries[1], (MovieEntry{kPluginKind, plugins + "one.dll"}));
    EXPECT_EQ(list.entries[2], (MovieEntry{kPluginKind, plugins + "two.dll"}));
    EXPECT_EQ(r.work.read("intro.swf"), "FWS movie");
    EXPECT_EQ(r.work.read("Plug_Ins/two.dll"), "second");

    // A plug-in folder that is already there is used as it is.
    Reading again;
    std::filesystem::create_directory(again.work / "Plug_Ins");
    MemoryStream second(b.bytes);
    MovieList other;
    parseMovieList(second, again.target(), &other);
    EXPECT_TRUE(again.reports.empty());
    EXPECT_EQ(other.entries.size(), 3u);
}

TEST(MovieListTest, WithoutEmbeddingOnlyMoviesAreListed) {
    Reading r;
    RecordBuilder b;
    b.u32(kListRandomStart).u32(3);
    b.u32(kPluginKind).text(u"codec.dll");
    b.u32(kMovieKind).text(u"a.swf");
    b.u32(kMovieKind).text(u"b.swf");
    MemoryStream stream(b.bytes);
    MovieList list;
    parseMovieList(stream, r.target(), &list);
    EXPECT_EQ(list.listFlags, kListRandomStart);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].path, "APP" + std::string(1, kPathSeparator) + "a.swf");
    EXPECT_TRUE(std::filesystem::is_empty(r.work.path()));
}

TEST(MovieListTest, RefusedNamesAreSkippedAndTheNextEntryRead) {
    Reading r;
    RecordBuilder b;
    b.u32(kListEmbedded).u32(5);
    b.u32(kMovieKind).text(u"..\\up.swf").data("escape");
    b.u32(kPluginKind).text(u"C:evil.dll").data("drive");
    b.u32(kMovieKind).text(u"nul.swf").data("device");
    b.u32(kMovieKind).text(u"sub/inner.swf").data("folder");
    b.u32(kMovieKind).text(u"fine.swf").data("ok");
    MemoryStream stream(b.bytes);
    MovieList list;
    parseMovieList(stream, r.target(), &list);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(r.work.read("fine.swf"), "ok");
    ASSERT_EQ(r.reports.size(), 4u);
    EXPECT_EQ(r.reports[2], "Refused the file name \"nul.swf\": the name is reserved for a device");
    EXPECT_FALSE(std::filesystem::exists(r.work.path().parent_path() / "up.swf"));
    EXPECT_FALSE(std::filesystem::exists(r.work / "Plug_Ins"));
}

TEST(MovieListTest, ListEndingEarlyKeepsWhatWasRead) {
    Reading r;
    RecordBuilder b;
    b.u32(kListEmbedded).u32(3);
    b.u32(kMovieKind).text(u"first.swf").data("one");
    b.u32(kMovieKind).text(u"second.swf").u32(1000);
    b.bytes.insert(b.bytes.end(), 10, 'x');  // 10 of the 1000 bytes
    MemoryStream stream(b.bytes);
    MovieList list;
    parseMovieList(stream, r.target(), &list);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(r.reports, std::vector<std::string>{kRecordEndsEarly});
    // The partial file is not left behind.
    EXPECT_FALSE(std::filesystem::exists(r.work / "second.swf"));

    // A count far beyond the data stops at the end of it.
    RecordBuilder huge;
    huge.u32(0).u32(0xFFFFFFFF).u32(kMovieKind).text(u"only.swf");
    Reading h;
    MemoryStream hugeStream(huge.bytes);
    MovieList hugeList;
    parseMovieList(hugeStream, h.target(), &hugeList);
    EXPECT_EQ(hugeList.entries.size(), 1u);
    EXPECT_EQ(h.reports, std::vector<std::string>{kRecordEndsEarly});
}

TEST(MovieListTest, WriterAndReaderAgree) {
    test::TempFolder source;
    source.write("a.swf", "movie a");
    source.write("x.dll", std::string("\0\1\2", 3));
    MovieList list;
    list.listFlags = kListEmbedded | kListRandomStart;
    list.entries = {{kMovieKind, source.text() + "a.swf"}, {kPluginKind, source.text() + "x.dll"}};
    MemoryStream out;
    ASSERT_TRUE(writeMovieList(list, out, utf8Codec()));
    Reading r;
    MovieList read;
    MemoryStream in(out.bytes());
    parseMovieList(in, r.target(), &read);
    EXPECT_EQ(read.listFlags, list.listFlags);
    EXPECT_EQ(r.work.read("Plug_Ins/x.dll"), std::string("\0\1\2", 3));
    // A file that vanished before writing is an error, not an empty entry.
    list.entries.push_back({kMovieKind, source.text() + "gone.swf"});
    MemoryStream broken;
    EXPECT_THROW(writeMovieList(list, broken, utf8Codec()), TextError);
}

TEST(MaskListTest, MasksWithAndWithoutRegions) {
    Reading r;
    RecordBuilder b;
    b.u32(4);
    b.text(u"round").data("RGNDATA");
    b.text(u"empty").data("");
    b.text(u"..\\x").data("escape");
    b.text(u"star").data("star region");
    MemoryStream stream(b.bytes);
    MaskList list;
    parseMaskList(stream, r.target(), &list);
    EXPECT_EQ(list.names, (std::vector<std::string>{"round", "empty", "star"}));
    EXPECT_EQ(r.work.read("round.msk"), "RGNDATA");
    EXPECT_EQ(r.work.read("star.msk"), "star region");
    // A mask of 0 bytes is listed but writes no file.
    EXPECT_FALSE(std::filesystem::exists(r.work / "empty.msk"));
    EXPECT_EQ(r.reports.size(), 1u);

    // The mask list of a projector without masks: just a count of 0.
    RecordBuilder none;
    none.u32(0);
    MemoryStream noneStream(none.bytes);
    MaskList empty;
    parseMaskList(noneStream, r.target(), &empty);
    EXPECT_TRUE(empty.names.empty());

    // Writer and reader agree.
    r.work.write("src/r.bin", "region bytes");
    MemoryStream out;
    ASSERT_TRUE(
        writeMaskList({{"r", r.work.text() + "src/r.bin"}, {"blank", ""}}, out, utf8Codec()));
    Reading back;
    MaskList read;
    MemoryStream in(out.bytes());
    parseMaskList(in, back.target(), &read);
    EXPECT_EQ(read.names, (std::vector<std::string>{"r", "blank"}));
    EXPECT_EQ(back.work.read("r.msk"), "region bytes");
}

TEST(SafeNameTest, NamesThatCouldLeaveTheFolder) {
    for (const char16_t* bad : {u"", u".", u"..", u"a\\b", u"a/b", u"C:x", u"x:", u"CON",
                                u"con.swf", u"Nul .txt", u"COM1", u"lpt9.dll", u"com\u00B9",
                                u"CONIN$", u"a?b", u"a*", u"tab\there", u"end.", u"end "}) {
        EXPECT_FALSE(unsafeNameReason(bad).empty()) << utf16ToUtf8(bad);
    }
    for (const char16_t* good : {u"movie.swf", u"COM10", u"console.swf", u"a..b", u".hidden",
                                 u"caf\u00E9.swf", u"\u65E5\u672C.swf", u"CON-file"}) {
        EXPECT_TRUE(unsafeNameReason(good).empty()) << utf16ToUtf8(good);
    }
    EXPECT_FALSE(unsafeNameReason(std::u16string(256, u'a')).empty());
    // A character the ANSI code page cannot hold would become "?".
    EXPECT_FALSE(unsafeNameReason(ansiCodec(), u"\u65E5.swf").empty());
    EXPECT_TRUE(unsafeNameReason(utf8Codec(), u"\u65E5.swf").empty());
}

}  // namespace
}  // namespace quill::project
