// The ANSI code page layer: round trips and the replacement of unmappable characters.
#include "platform/ansi_codepage.h"

#include <gtest/gtest.h>

#include <string>

using namespace quill::platform;

namespace {

std::u16string toWide(const std::string& s) {
    std::u16string out(s.size(), u'\0');
    out.resize(ansiToWide(s.data(), s.size(), out.data()));
    return out;
}

std::string toAnsi(const std::u16string& s) {
    std::string out(s.size() * 2, '\0');
    out.resize(wideToAnsi(s.data(), s.size(), out.data(), out.size()));
    return out;
}

}  // namespace

TEST(AnsiCodePage, AsciiAndLatin1RoundTrip) {
    std::string text = "Hello, caf\xe9 \xa9 2001";
    EXPECT_EQ(toWide(text), u"Hello, caf\u00e9 \u00a9 2001");
    EXPECT_EQ(toAnsi(toWide(text)), text);
    EXPECT_EQ(toWide(""), u"");
}

TEST(AnsiCodePage, Windows1252HighControls) {
    // 0x80 is the euro sign and 0x93/0x94 the curly quotes in the default code page.
    EXPECT_EQ(toWide("\x80\x93\x94"), u"\u20ac\u201c\u201d");
    EXPECT_EQ(toAnsi(u"\u20ac\u2122"), "\x80\x99");
}

TEST(AnsiCodePage, UnmappableBecomesQuestionMark) {
    EXPECT_EQ(toAnsi(u"a\u4e2db"), "a?b");
    // Each half of a surrogate pair is replaced on its own.
    EXPECT_EQ(toAnsi(u"x\U0001F600y"), "x??y");
}

TEST(AnsiCodePage, CapacityIsRespected) {
    char out[3];
    EXPECT_EQ(wideToAnsi(u"abcdef", 6, out, sizeof out), 3u);
    EXPECT_EQ(std::string(out, 3), "abc");
}
