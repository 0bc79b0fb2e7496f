// Timelines, buttons and text fields as a movie author sees them: frames advance and loop (or
// stop), going back keeps the objects still placed there, buttons fire their scripts on press
// and release, bound text fields show their variables, and movies that place themselves or swap
// the movie from inside a script cannot run away.
#include "control/movie_description.h"
#include "movie_test_support.h"

using namespace quill::movie;
using namespace quill::movie::test;

namespace {

const char* kTimeline = R"(
[movie]
width = 200
height = 100
[[shape]]
name = "s"
rect = [0, 0, 20, 20]
fill = "#ff0000"
[[sprite]]
name = "counter"
frames = 4
[[sprite.place]]
name = "s"
[[sprite.frame]]
frame = 1
actions = ["push \"n\"", "push \"n\"", "getVariable", "increment", "setVariable"]
[[place]]
name = "counter"
instance = "keep"
[[place]]
name = "s"
frame = 3
instance = "late"
[[frame]]
frame = 1
label = "first"
actions = ["push \"runs\"", "push \"runs\"", "getVariable", "increment", "setVariable"]
[[frame]]
frame = 4
label = "last"
)";

const char* kButton = R"(
[movie]
width = 200
height = 100
[[shape]]
name = "red"
rect = [0, 0, 50, 40]
fill = "#ff0000"
[[text]]
name = "field"
rect = [0, 60, 100, 20]
variable = "msg"
text = "start"
[[button]]
name = "save"
up = "red"
fscommand = ["Quill_Run", "saveGame"]
on_press = ["set \"pressed\" 1"]
on_roll_over = ["set \"over\" 1"]
on_release_outside = ["set \"outside\" 1"]
[[place]]
name = "save"
x = 100
y = 10
[[place]]
name = "field"
[[frame]]
frame = 1
actions = ["stop"]
)";

std::string var(Player& p, const std::string& path) {
    std::string v;
    return p.getVariable(path, &v) ? v : "<unset>";
}

}  // namespace

TEST(PlayerTest, FramesAdvanceLoopAndStop) {
    RecordingHost host;
    Player p(&host);
    p.load(movieFrom(kTimeline));
    EXPECT_EQ(p.totalFrames(), 4);
    EXPECT_EQ(p.currentFrame(), 0);
    EXPECT_EQ(var(p, "runs"), "1");
    EXPECT_TRUE(p.isPlaying());
    p.tick();
    p.tick();
    p.tick();
    EXPECT_EQ(p.currentFrame(), 3);
    p.tick();  // back to the first frame, whose script runs again
    EXPECT_EQ(p.currentFrame(), 0);
    EXPECT_EQ(var(p, "runs"), "2");
    p.loop = false;
    for (int i = 0; i < 6; ++i) p.tick();
    EXPECT_EQ(p.currentFrame(), 3);
    EXPECT_FALSE(p.isPlaying());
}

TEST(PlayerTest, GoingBackKeepsObjectsStillPlacedThere) {
    Player p;
    p.load(movieFrom(kTimeline));
    p.stop();
    auto keep = p.findClip("keep");
    ASSERT_TRUE(keep);
    p.gotoFrame(3);
    EXPECT_TRUE(p.findClip("late") == nullptr);  // a shape, not a clip
    std::string late;
    EXPECT_TRUE(p.getVariable("late", &late));
    p.gotoFrame(1);
    EXPECT_FALSE(p.getVariable("late", &late));  // placed at frame 3: gone again
    EXPECT_EQ(p.findClip("keep"), keep);         // placed at frame 1: the same clip
    EXPECT_FALSE(p.isPlaying());
    // Labels and frame numbers through the control's target methods.
    EXPECT_TRUE(p.gotoLabel("/", "last"));
    EXPECT_EQ(p.currentFrame(), 3);
    EXPECT_EQ(p.currentLabel("/"), "last");
    EXPECT_FALSE(p.gotoLabel("/", "nowhere"));
    p.rewind();
    EXPECT_EQ(p.currentFrame(), 0);
    EXPECT_EQ(p.currentLabel("_root"), "first");
}

TEST(PlayerTest, SpritesRunTheirOwnTimelines) {
    Player p;
    p.load(movieFrom(kTimeline));
    p.stop();  // the main timeline stops; the sprite goes on
    EXPECT_EQ(var(p, "keep.n"), "1");
    for (int i = 0; i < 4; ++i) p.tick();
    EXPECT_EQ(p.currentFrame("keep"), 0);
    EXPECT_EQ(var(p, "keep.n"), "2");
    EXPECT_TRUE(p.setPlaying("keep", false));
    p.tick();
    EXPECT_EQ(p.currentFrame("keep"), 0);
    EXPECT_TRUE(p.gotoFrame("keep", 2));
    EXPECT_EQ(p.currentFrame("/keep"), 2);
    EXPECT_EQ(p.currentFrame("/nothing"), -1);
    ActionValue v;
    ASSERT_TRUE(p.getProperty("keep", kPropTotalFrames, &v));
    EXPECT_EQ(v.number, 4);
    ASSERT_TRUE(p.setProperty("keep", kPropX, ActionValue::fromString("12.5")));
    ASSERT_TRUE(p.getProperty("/keep", kPropX, &v));
    EXPECT_EQ(v.number, 12.5);
    EXPECT_TRUE(p.callFrame("keep", 0));
    EXPECT_EQ(var(p, "keep.n"), "3");
    EXPECT_FALSE(p.callFrame("keep", 9));
}

TEST(PlayerTest, ButtonPressAndReleaseFireTheirScripts) {
    RecordingHost host;
    Player p(&host);
    p.load(movieFrom(kButton));
    const double tw = 20;
    p.mouseMove(10 * tw, 10 * tw);  // not over the button
    EXPECT_FALSE(p.overButton());
    p.mouseMove(120 * tw, 30 * tw);
    EXPECT_TRUE(p.overButton());
    EXPECT_EQ(var(p, "over"), "1");
    p.mouseDown(120 * tw, 30 * tw);
    EXPECT_EQ(var(p, "pressed"), "1");
    EXPECT_TRUE(host.commands.empty());
    p.mouseUp(120 * tw, 30 * tw);
    ASSERT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(host.commands[0].first, "Quill_Run");
    EXPECT_EQ(host.commands[0].second, "saveGame");
    // Pressed inside, released outside: no FSCommand, the release-outside script instead.
    p.mouseDown(120 * tw, 30 * tw);
    p.mouseMove(5 * tw, 90 * tw);
    p.mouseUp(5 * tw, 90 * tw);
    EXPECT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(var(p, "outside"), "1");
    // A press outside every button does nothing.
    p.mouseDown(5 * tw, 5 * tw);
    p.mouseUp(5 * tw, 5 * tw);
    EXPECT_EQ(host.commands.size(), 1u);
}

TEST(PlayerTest, BoundTextFieldsShowTheirVariable) {
    Player p;
    p.load(movieFrom(kButton));
    const SpriteClip* root = p.root();
    const TextObject* field = nullptr;
    for (const auto& [depth, child] : root->children) {
        if (child->kind == DisplayObject::kText)
            field = static_cast<const TextObject*>(child.get());
    }
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(var(p, "msg"), "start");  // the initial text sets an unset variable
    EXPECT_EQ(p.fieldText(*field), "start");
    uint64_t before = p.changes();
    EXPECT_TRUE(p.setVariable("_root.msg", "hi"));
    EXPECT_EQ(p.fieldText(*field), "hi");
    EXPECT_GT(p.changes(), before);  // so the control redraws
}

TEST(PlayerTest, SelfPlacingSpritesAndObjectFloodsAreBounded) {
    Movie m;
    std::string error;
    ASSERT_TRUE(compileDescription(R"(
[movie]
width = 10
height = 10
[[shape]]
name = "s"
rect = [0, 0, 1, 1]
fill = "#000000"
[[sprite]]
name = "self"
[[sprite.place]]
name = "self"
[[sprite.place]]
name = "self"
[[sprite.place]]
name = "s"
[[place]]
name = "self"
)",
                                   "t", &m, &error))
        << error;
    PlayerLimits limits;
    limits.objects = 500;
    Player p(nullptr, limits);
    p.load(std::make_shared<Movie>(m));
    EXPECT_LE(p.objectCount(), 500u);
    p.tick();
    p.gotoFrame(0);
    p.unload();
    EXPECT_EQ(p.objectCount(), 0u);
}

namespace {

// Loads another movie from inside an FSCommand, as a container may.
struct SwappingHost : PlayerHost {
    Player* player = nullptr;
    std::shared_ptr<const Movie> next;
    void fsCommand(const std::string&, const std::string&) override { player->load(next); }
};

}  // namespace

TEST(PlayerTest, LoadingFromInsideAScriptWaitsUntilTheScriptEnds) {
    SwappingHost host;
    Player p(&host);
    host.player = &p;
    host.next = scriptMovie({"set \"second\" 1"});
    // The script goes on after its FSCommand, on the old movie's bytes.
    p.load(scriptMovie({"fscommand \"swap\"", "set \"after\" 1", "set \"after2\" 2"}));
    EXPECT_EQ(var(p, "second"), "1");
    EXPECT_EQ(var(p, "after"), "<unset>");  // belonged to the movie that was replaced
}

TEST(PlayerTest, EmptyPlayerAnswersSafely) {
    Player p;
    EXPECT_EQ(p.totalFrames(), 0);
    EXPECT_EQ(p.currentFrame(), 0);
    EXPECT_FALSE(p.isPlaying());
    std::string v;
    EXPECT_FALSE(p.getVariable("x", &v));
    EXPECT_FALSE(p.setVariable("x", "1"));
    p.tick();
    p.gotoFrame(5);
    p.mouseDown(0, 0);
    p.mouseUp(0, 0);
    EXPECT_FALSE(p.callLabel("/", "x"));
}
