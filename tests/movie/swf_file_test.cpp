// The movie file reader and writer: every tag kind survives a write and a read, in both
// compressions; damaged files (cut short, lying lengths, bad compression, absurd sizes) are
// refused or read as far as they go, never past their end.
#include <random>
#include <set>

#include "control/movie_description.h"
#include "control/swf_reader.h"
#include "control/swf_stream.h"
#include "control/swf_writer.h"
#include "movie_test_support.h"

using namespace quill::movie;
using namespace quill::movie::test;

namespace {

// Uses every kind of tag the player reads.
const char* kEveryTag = R"(
[movie]
width = 320
height = 240
rate = 24.5
background = "#102030"

[[shape]]
name = "box"
rect = [0, 0, 40, 30]
fill = "#ff0000"
line = "#000000"
line_width = 2

[[shape]]
name = "dot"
circle = [10, 10, 8]
fill = "#00ff0080"

[[shape]]
name = "frame"
path = "M 0 0 L 100 0 L 100 100 L 0 100 Z M 20 20 L 80 20 Q 80 80 20 80 Z"
fill = "#0000ff"

[[text]]
name = "field"
rect = [0, 200, 200, 20]
variable = "_root.msg"
text = "hi"
font = "Courier New"
bold = true
size = 14
color = "#223344"
align = "center"
border = true

[[button]]
name = "go"
up = "box"
over = ["box", "dot"]
hit = "box"
fscommand = ["Quill_Run", "saveGame"]
on_press = ["play"]

[[sprite]]
name = "spin"
frames = 3
[[sprite.place]]
name = "dot"
instance = "inner"
to = [20, 0]
to_frame = 3
[[sprite.frame]]
frame = 2
label = "middle"
actions = ["nextFrame"]

[[place]]
name = "go"
x = 10
y = 10
[[place]]
name = "spin"
instance = "spinner"
rotation = 45
scale = 0.5
alpha = 0.5
until = 2
[[place]]
name = "field"
[[place]]
name = "frame"
frame = 3

[[frame]]
frame = 1
label = "start"
actions = ["push 1.5, \"a\", true, null, undefined, 7", "pop", "jump skip", "stop", "skip:"]
[[frame]]
frame = 3
actions = "gotoLabel \"start\"\nplay"
)";

void expectSameMovie(const Movie& a, const Movie& b) {
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.frameSize, b.frameSize);
    EXPECT_EQ(a.frameRate, b.frameRate);
    EXPECT_EQ(a.background, b.background);
    EXPECT_EQ(a.root, b.root);
    ASSERT_EQ(a.dictionary.size(), b.dictionary.size());
    for (const auto& [id, c] : a.dictionary) {
        const Character* d = b.find(id);
        ASSERT_NE(d, nullptr) << "character " << id;
        ASSERT_EQ(c.kind, d->kind) << "character " << id;
        switch (c.kind) {
            case Character::kShape:
                EXPECT_EQ(*c.shape, *d->shape) << "shape " << id;
                break;
            case Character::kSprite:
                EXPECT_EQ(*c.sprite, *d->sprite) << "sprite " << id;
                break;
            case Character::kButton:
                EXPECT_EQ(*c.button, *d->button) << "button " << id;
                break;
            case Character::kEditText:
                EXPECT_EQ(*c.editText, *d->editText) << "text " << id;
                break;
            case Character::kFont:
                EXPECT_EQ(*c.font, *d->font) << "font " << id;
                break;
        }
    }
}

Movie compiled(const std::string& text) {
    Movie movie;
    std::string error;
    EXPECT_TRUE(compileDescription(text, "test.toml", &movie, &error)) << error;
    return movie;
}

}  // namespace

TEST(SwfFileTest, EveryTagKindSurvivesWriteAndReadInBothCompressions) {
    Movie original = compiled(kEveryTag);
    for (bool compressed : {false, true}) {
        original.compressed = compressed;
        std::vector<uint8_t> bytes = writeMovie(original);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(bytes[0], compressed ? 'C' : 'F');
        Movie read;
        ReadReport report;
        ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &read, &report)) << report.error;
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        EXPECT_EQ(read.compressed, compressed);
        expectSameMovie(original, read);
        // The header's length is the uncompressed file length.
        EXPECT_EQ(report.declaredLength, report.dataLength);
    }
}

TEST(SwfFileTest, TagListNamesDefinitionsAndNestsSpriteTags) {
    std::vector<uint8_t> bytes = bytesFrom(kEveryTag);
    Movie movie;
    ReadReport report;
    ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &movie, &report));
    std::set<uint16_t> codes;
    bool nested = false;
    for (const TagInfo& t : report.tags) {
        codes.insert(t.code);
        if (t.depth == 1) nested = true;
        if (t.code == kTagDefineShape3 || t.code == kTagDefineSprite) {
            EXPECT_NE(t.characterId, 0);
        }
        if (t.code == kTagShowFrame) {
            EXPECT_EQ(t.characterId, 0);
        }
    }
    EXPECT_TRUE(nested);
    for (uint16_t code :
         {kTagDefineShape3, kTagDefineFont2, kTagDefineEditText, kTagDefineButton2,
          kTagDefineSprite, kTagSetBackgroundColor, kTagPlaceObject2, kTagRemoveObject2,
          kTagDoAction, kTagFrameLabel, kTagShowFrame, kTagEnd}) {
        EXPECT_TRUE(codes.count(code)) << tagName(code);
    }
    EXPECT_EQ(movie.root.frames.size(), 3u);
    EXPECT_DOUBLE_EQ(movie.framesPerSecond(), 24.5);
}

TEST(SwfFileTest, FirstVersionTagsRoundTrip) {
    // Version 2 movies use DefineShape, PlaceObject, RemoveObject and DefineButton.
    Movie original = compiled(R"(
[movie]
width = 100
height = 100
version = 2
[[shape]]
name = "s"
rect = [0, 0, 10, 10]
fill = "#ffffff"
[[button]]
name = "b"
up = "s"
on_release = ["play"]
[[place]]
name = "s"
until = 1
[[place]]
name = "b"
frame = 2
)");
    std::vector<uint8_t> bytes = writeMovie(original);
    Movie read;
    ReadReport report;
    ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &read, &report));
    expectSameMovie(original, read);
    std::set<uint16_t> codes;
    for (const TagInfo& t : report.tags) codes.insert(t.code);
    for (uint16_t code : {kTagDefineShape, kTagPlaceObject, kTagRemoveObject, kTagDefineButton}) {
        EXPECT_TRUE(codes.count(code)) << tagName(code);
    }
}

TEST(SwfFileTest, GradientsNewStylesAndLongEdges) {
    Movie m;
    ShapeDefinition s;
    s.version = 3;
    s.bounds = {-100000, 100000, 0, 100};
    FillStyle g;
    g.kind = kFillRadialGradient;
    g.matrix.scaleX = 3 << 16;
    g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 128}}};
    s.styleSets.push_back({{g}, {{40, {1, 2, 3, 255}}}});
    s.styleSets.push_back({{{kFillSolid, {9, 9, 9, 255}, {}, {}, 0}}, {}});
    ShapeRecord start;
    start.kind = ShapeRecord::kStyleChange;
    start.hasMove = start.hasFill1 = start.hasLine = true;
    start.moveX = -100000;
    start.fill1 = 1;
    start.line = 1;
    ShapeRecord longEdge;  // wider than one edge record can hold: written as pieces
    longEdge.kind = ShapeRecord::kStraight;
    longEdge.dx = 200000;
    ShapeRecord change;
    change.kind = ShapeRecord::kStyleChange;
    change.hasNewStyles = true;
    change.newStylesIndex = 1;
    change.hasFill0 = true;
    change.fill0 = 1;
    ShapeRecord curve;
    curve.kind = ShapeRecord::kCurved;
    curve.dx = 5;
    curve.dy = -7;
    curve.ax = 11;
    curve.ay = 13;
    s.records = {start, longEdge, change, curve};
    Character c;
    c.kind = Character::kShape;
    c.id = 7;
    c.shape = std::make_shared<ShapeDefinition>(s);
    m.dictionary[7] = c;
    m.root.frames.resize(1);
    std::vector<uint8_t> bytes = writeMovie(m);
    Movie read;
    ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &read, nullptr));
    const ShapeDefinition& r = *read.find(7)->shape;
    EXPECT_EQ(r.styleSets, s.styleSets);
    int64_t sum = 0;
    size_t curves = 0;
    for (const ShapeRecord& rec : r.records) {
        if (rec.kind == ShapeRecord::kStraight) sum += rec.dx;
        if (rec.kind == ShapeRecord::kCurved) {
            ++curves;
            EXPECT_EQ(rec, curve);
        }
    }
    EXPECT_EQ(sum, 200000);
    EXPECT_EQ(curves, 1u);
}

TEST(SwfFileTest, NotAMovieOrNoHeaderIsRefused) {
    Movie m;
    ReadReport report;
    EXPECT_FALSE(readMovie(nullptr, 0, &m, &report));
    const uint8_t notSwf[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    EXPECT_FALSE(readMovie(notSwf, sizeof notSwf, &m, &report));
    EXPECT_NE(report.error.find("not a movie"), std::string::npos);
    const uint8_t headerOnly[] = {'F', 'W', 'S', 6, 8, 0, 0, 0};
    EXPECT_FALSE(readMovie(headerOnly, sizeof headerOnly, &m, &report));
    EXPECT_EQ(report.error, "the header is cut short");
    // A compressed movie claiming 4 GB is refused before anything is inflated.
    const uint8_t huge[] = {'C', 'W', 'S', 6, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x9C};
    EXPECT_FALSE(readMovie(huge, sizeof huge, &m, &report));
    EXPECT_NE(report.error.find("too large"), std::string::npos);
}

TEST(SwfFileTest, EveryCutOfAMovieReadsSafely) {
    for (bool compressed : {false, true}) {
        Movie original = compiled(kEveryTag);
        original.compressed = compressed;
        std::vector<uint8_t> bytes = writeMovie(original);
        for (size_t n = 0; n < bytes.size(); ++n) {
            Movie m;
            ReadReport report;
            if (readMovie(bytes.data(), n, &m, &report)) {
                EXPECT_FALSE(m.root.frames.empty());
                if (!compressed && n > 40) {
                    EXPECT_FALSE(report.warnings.empty()) << n;
                }
            }
        }
    }
}

TEST(SwfFileTest, LyingLengthsAndDamageStayInsideTheData) {
    std::vector<uint8_t> good = bytesFrom(kEveryTag);
    std::mt19937 random(1234);
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bad = good;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            size_t at = 8 + random() % (bad.size() - 8);
            bad[at] = static_cast<uint8_t>(random());
        }
        Movie m;
        readMovie(bad.data(), bad.size(), &m, nullptr);
    }
    // A tag that says it is longer than the file: the rest is ignored, with a warning.
    std::vector<uint8_t> bytes = good;
    Movie m;
    ReadReport report;
    ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &m, &report));
    size_t at = report.tags[1].offset;
    bytes[at] = 0x3F | (bytes[at] & 0xC0);  // long form
    bytes[at + 2] = bytes[at + 3] = bytes[at + 4] = bytes[at + 5] = 0x7F;
    ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &m, &report));
    ASSERT_FALSE(report.warnings.empty());
    EXPECT_NE(report.warnings[0].find("runs past the end"), std::string::npos);
}

TEST(SwfFileTest, DamagedCompressedDataAndBudgets) {
    Movie original = compiled(kEveryTag);
    original.compressed = true;
    std::vector<uint8_t> bytes = writeMovie(original);
    std::vector<uint8_t> bad = bytes;
    for (size_t i = 12; i < bad.size(); ++i) bad[i] ^= 0x55;
    Movie m;
    ReadReport report;
    EXPECT_FALSE(readMovie(bad.data(), bad.size(), &m, &report));
    EXPECT_EQ(report.error, "compressed data is damaged");

    // A shape budget smaller than the movie's shapes: the shapes are skipped, the rest is read.
    ReadLimits tight;
    tight.maxShapeRecords = 5;
    ASSERT_TRUE(readMovie(bytes.data(), bytes.size(), &m, &report, tight));
    ASSERT_FALSE(report.warnings.empty());
    EXPECT_NE(report.warnings[0].find("too many shape records"), std::string::npos);
    EXPECT_EQ(m.root.frames.size(), 3u);
}

TEST(SwfFileTest, SpritesHoldOnlyControlTags) {
    // A sprite with a shape definition inside: the inner definition is not taken.
    SwfOutput inner;
    inner.u16(5);  // sprite id
    inner.u16(1);
    std::vector<uint8_t> shape = shapeTagBody(6, ShapeDefinition{});
    inner.tag(kTagDefineShape, shape);
    inner.tag(kTagShowFrame, {});
    inner.tag(kTagEnd, {});
    SwfOutput body;
    body.rect({0, 2000, 0, 2000});
    body.u16(12 << 8);
    body.u16(1);
    body.tag(kTagDefineSprite, inner.bytes());
    body.tag(kTagShowFrame, {});
    body.tag(kTagEnd, {});
    std::vector<uint8_t> file = {'F', 'W', 'S', 6};
    uint32_t n = static_cast<uint32_t>(body.size() + 8);
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(n >> (8 * i)));
    file.insert(file.end(), body.bytes().begin(), body.bytes().end());
    Movie m;
    ASSERT_TRUE(readMovie(file.data(), file.size(), &m, nullptr));
    EXPECT_NE(m.find(5), nullptr);
    EXPECT_EQ(m.find(6), nullptr);
}

TEST(SwfFileTest, HeaderAloneGivesTheStageSize) {
    for (bool compressed : {false, true}) {
        Movie original = compiled(kEveryTag);
        original.compressed = compressed;
        std::vector<uint8_t> bytes = writeMovie(original);
        MovieHeader h;
        ASSERT_TRUE(readMovieHeader(bytes.data(), bytes.size(), &h));
        EXPECT_EQ(h.frameSize.width(), 320 * 20);
        EXPECT_EQ(h.frameSize.height(), 240 * 20);
        EXPECT_EQ(h.frameCount, 3);
        EXPECT_EQ(h.compressed, compressed);
    }
}
