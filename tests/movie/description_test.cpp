// The movie description compiler: what it makes of shapes, placements and motion, and the
// messages (with line numbers) for the mistakes an author makes first.
#include "control/action_assembler.h"
#include "control/movie_description.h"
#include "movie_test_support.h"

using namespace quill::movie;
using namespace quill::movie::test;

namespace {

std::string errorOf(const std::string& text) {
    Movie m;
    std::string error;
    EXPECT_FALSE(compileDescription(text, "m.toml", &m, &error));
    return error;
}

const char* kHead = "[movie]\nwidth = 100\nheight = 50\n";

}  // namespace

TEST(DescriptionTest, StageRateBackgroundAndMotion) {
    Movie m;
    std::string error;
    ASSERT_TRUE(compileDescription(std::string(kHead) + R"(rate = 30
background = "#123456"
version = 8
compressed = true
[[shape]]
name = "s"
ellipse = [0, 0, 10, 5]
fill = "#ffffff"
[[place]]
name = "s"
x = 10
to = [20, 40]
to_frame = 3
)",
                                   "m.toml", &m, &error))
        << error;
    EXPECT_EQ(m.frameSize, (Rect{0, 2000, 0, 1000}));
    EXPECT_EQ(m.frameRate, 30 * 256);
    EXPECT_EQ(m.version, 8);
    EXPECT_TRUE(m.compressed);
    EXPECT_EQ(m.background, (Rgba{0x12, 0x34, 0x56, 255}));
    ASSERT_EQ(m.root.frames.size(), 3u);
    // Frame 1: background, then the placement; frames 2 and 3 move it.
    ASSERT_EQ(m.root.frames[0].tags.size(), 2u);
    EXPECT_EQ(m.root.frames[0].tags[1].place.matrix.translateX, 200);
    const PlaceObject& last = m.root.frames[2].tags[0].place;
    EXPECT_TRUE(last.move);
    EXPECT_EQ(last.matrix.translateX, 400);
    EXPECT_EQ(last.matrix.translateY, 800);
    const ShapeDefinition& s = *m.find(1)->shape;
    EXPECT_EQ(s.bounds, (Rect{-200, 200, -100, 100}));
}

TEST(DescriptionTest, MistakesAreReportedWithTheirLine) {
    EXPECT_EQ(errorOf("[movie]\nwidth = 1\n"), "m.toml:1: [movie] needs width and height (pixels)");
    EXPECT_EQ(errorOf(std::string(kHead) +
                      "[[shape]]\nname = \"a\"\nrect = [0, 0, 1, 1]\ncolour = \"#ff0000\"\n"),
              "m.toml:7: unknown key \"colour\" in shape \"a\"");
    EXPECT_EQ(errorOf(std::string(kHead) + "[[shape]]\nname = \"a\"\nrect = [0, 0, 1]\n"),
              "m.toml:6: shape \"a\": rect must be a list of 4 numbers");
    EXPECT_EQ(errorOf(std::string(kHead) +
                      "[[shape]]\nname = \"a\"\nrect = [0, 0, 1, 1]\nfill = \"red\"\n"),
              "m.toml:7: shape \"a\": fill must be a colour \"#rrggbb\" or \"#rrggbbaa\"");
    EXPECT_EQ(errorOf(std::string(kHead) + "[[place]]\nname = \"ghost\"\n"),
              "m.toml:4: the main timeline place \"ghost\": nothing is named \"ghost\"");
    EXPECT_EQ(errorOf(std::string(kHead) +
                      "[[shape]]\nname = \"a\"\nrect = [0, 0, 1, 1]\n[[shape]]\nname = \"a\"\n"
                      "rect = [0, 0, 1, 1]\n"),
              "m.toml:7: the name \"a\" is used twice");
    EXPECT_EQ(errorOf(std::string(kHead) +
                      "[[shape]]\nname = \"a\"\nrect = [0, 0, 1, 1]\n[[place]]\nname = \"a\"\n"
                      "depth = 1\n[[place]]\nname = \"a\"\ndepth = 1\nframe = 1\n"),
              "m.toml:10: the main timeline: depth 1 is used twice at frame 1");
    EXPECT_EQ(errorOf(std::string(kHead) + "[[frame]]\nframe = 1\nactions = [\"gotoFrame 0\"]\n"),
              "m.toml:6: the main timeline frame 1: line 1 (gotoFrame 0): gotoFrame takes a number "
              "from 1 to 65536");
    EXPECT_EQ(
        errorOf(std::string(kHead) + "[[shape]]\nname = \"a\"\npath = \"M 0 0 C 1 1 2 2 3 3\"\n"),
        "m.toml:6: shape \"a\": path: unknown command C (paths have M, L, H, V, Q and Z; curves "
        "are "
        "quadratic) at character 7");
    EXPECT_EQ(errorOf("[movie\n").substr(0, 9), "m.toml:1:");
    // A table header opening with a character no key starts with is a parse error, not a crash.
    EXPECT_EQ(errorOf(std::string(kHead) + "[([sprite]]\n").substr(0, 9), "m.toml:4:");
    EXPECT_EQ(errorOf(std::string(kHead) + "[ (shape]\n").substr(0, 9), "m.toml:4:");
    EXPECT_EQ(errorOf(std::string(kHead) + std::string("[\0[\0", 4)),
              "m.toml:4: a control character (code 0) is not allowed in a description");
    EXPECT_EQ(errorOf(std::string(kHead) + "version = 2\n[[sprite]]\nname = \"s\"\n"),
              "m.toml:5: sprite \"s\": sprites need version 3 or later");
    EXPECT_EQ(errorOf(std::string(kHead) + "[[shape]]\nname = \"a\"\n"),
              "m.toml:4: shape \"a\" has no rect, ellipse, "
              "circle, polygon or path");
}

TEST(DescriptionTest, ButtonStatesShareRecords) {
    Movie m;
    std::string error;
    ASSERT_TRUE(compileDescription(std::string(kHead) + R"(
[[shape]]
name = "a"
rect = [0, 0, 1, 1]
[[shape]]
name = "b"
rect = [0, 0, 2, 2]
[[button]]
name = "btn"
up = "a"
over = ["a", "b"]
down = "b"
fscommand = ["say", "a \"quoted\" word"]
)",
                                   "m.toml", &m, &error))
        << error;
    const ButtonDefinition& b = *m.find(3)->button;
    ASSERT_EQ(b.records.size(), 3u);  // a@1 (up, over, hit), b@2 (over), b@1 (down)
    EXPECT_TRUE(b.records[0].up && b.records[0].over && b.records[0].hitTest && !b.records[0].down);
    ASSERT_EQ(b.actions.size(), 1u);
    EXPECT_EQ(b.actions[0].conditions, kCondOverDownToOverUp);
    std::string listing = listActions(b.actions[0].actions.data(), b.actions[0].actions.size(), "");
    EXPECT_NE(listing.find("getURL \"FSCommand:say\", \"a \\\"quoted\\\" word\""),
              std::string::npos)
        << listing;
}
