// The action interpreter: variables under every path spelling, branches and loops, the
// FSCommand URL split, the conversions that changed between versions, and the ways a block ends
// early (unknown action, a jump out, a loop that never ends, runaway strings and stacks).
#include "control/action_assembler.h"
#include "control/action_codes.h"
#include "movie_test_support.h"

using namespace quill::movie;
using namespace quill::movie::test;

namespace {

// A movie with a sprite instance "clip" (a two-frame sprite) on the stage.
const char* kClipMovie = R"(
[[shape]]
name = "s"
rect = [0, 0, 10, 10]
fill = "#000000"
[[sprite]]
name = "inner"
frames = 2
[[sprite.place]]
name = "s"
[[sprite.frame]]
frame = 2
label = "two"
actions = ["set \"reached\" \"yes\""]
[[place]]
name = "inner"
instance = "clip"
)";

struct ActionTest : ::testing::Test {
    RecordingHost host;
    Player player{&host};

    std::string var(const std::string& path) {
        std::string v;
        return player.getVariable(path, &v) ? v : "<unset>";
    }
    void run(const std::vector<std::string>& lines, int version = 6,
             const std::string& extra = kClipMovie) {
        player.load(scriptMovie(lines, version, extra));
    }
};

}  // namespace

TEST_F(ActionTest, VariablesUnderEveryPathSpelling) {
    run({"set \"score\" 10", "set \"/clip:a\" \"slash\"", "set \"clip.b\" \"dot\"",
         "set \"_root.clip.c\" \"rooted\"", "push \"_root.clip\"", "getVariable", "push \"d\"",
         "push \"member\"", "setMember"});
    EXPECT_EQ(var("score"), "10");
    EXPECT_EQ(var("_root.score"), "10");
    EXPECT_EQ(var("/:score"), "10");
    EXPECT_EQ(var("_level0.score"), "10");
    for (const char* path : {"/clip:a", "clip.a", "_root.clip.a", "/clip/:a"})
        EXPECT_EQ(var(path), "slash") << path;
    EXPECT_EQ(var("clip.b"), "dot");
    EXPECT_EQ(var("clip:c"), "rooted");
    EXPECT_EQ(var("_root.clip.d"), "member");
    // Names ignore case before version 7.
    EXPECT_EQ(var("SCORE"), "10");
    // A clip read as a variable gives its path; a missing one is not returned at all.
    EXPECT_EQ(var("_root.clip"), "_level0.clip");
    EXPECT_EQ(var("nothing"), "<unset>");
    EXPECT_EQ(var("nosuch.clip.x"), "<unset>");
}

TEST_F(ActionTest, NamesKeepTheirCaseFromVersionSeven) {
    run({"set \"Score\" 1"}, 7);
    EXPECT_EQ(var("Score"), "1");
    EXPECT_EQ(var("score"), "<unset>");
}

TEST_F(ActionTest, LoopsAndBranches) {
    // sum = 1 + ... + 10, counted down in a loop.
    run({"set \"i\" 10",  "set \"sum\" 0", "top:",        "push \"sum\"", "push \"sum\"",
         "getVariable",   "push \"i\"",    "getVariable", "add2",         "setVariable",
         "push \"i\"",    "push \"i\"",    "getVariable", "decrement",    "setVariable",
         "push \"i\"",    "getVariable",   "push 0",      "greater",      "if top",
         "push \"done\"", "push true",     "setVariable"});
    EXPECT_EQ(var("sum"), "55");
    EXPECT_EQ(var("done"), "true");
    EXPECT_EQ(var("i"), "0");
}

TEST_F(ActionTest, FsCommandUrlsGoToTheHostSplitIntoCommandAndArguments) {
    run({"fscommand \"Quill_Run\" \"saveGame\"", "getURL \"fscommand:FullScreen\", \"true\"",
         "push \"FSCommand:quit\", \"\"", "getURL2",
         "getURL \"http://example.invalid/\", \"_blank\""});
    ASSERT_EQ(host.commands.size(), 3u);
    EXPECT_EQ(host.commands[0], std::make_pair(std::string("Quill_Run"), std::string("saveGame")));
    EXPECT_EQ(host.commands[1], std::make_pair(std::string("FullScreen"), std::string("true")));
    EXPECT_EQ(host.commands[2], std::make_pair(std::string("quit"), std::string("")));
    ASSERT_EQ(host.urls.size(), 1u);  // other URLs are the host's to ignore
}

TEST_F(ActionTest, ConversionsFollowTheFileVersion) {
    run({"push \"a\"",  "push \"x\"", "push \"unset\"", "getVariable", "add2",
         "setVariable", "push \"b\"", "push 0.1",       "push 0.2",    "add2",
         "setVariable", "push \"c\"", "push \"5\"",     "push 3",      "add2",
         "setVariable", "push \"d\"", "push \"5\"",     "push 3",      "add",
         "setVariable", "push \"e\"", "push 1",         "push 0",      "divide",
         "setVariable", "push \"f\"", "push \"abc\"",   "toNumber",    "setVariable",
         "push \"g\"",  "push 1",     "push 2",         "less2",       "setVariable"},
        6);
    EXPECT_EQ(var("a"), "x");  // undefined reads as "" before version 7
    EXPECT_EQ(var("b"), "0.3");
    EXPECT_EQ(var("c"), "53");
    EXPECT_EQ(var("d"), "8");
    EXPECT_EQ(var("e"), "Infinity");
    EXPECT_EQ(var("f"), "NaN");
    EXPECT_EQ(var("g"), "true");
    run({"push \"a\"", "push \"x\"", "push \"unset\"", "getVariable", "add2", "setVariable"}, 7);
    EXPECT_EQ(var("a"), "xundefined");
    // Before version 5 comparisons give 1 or 0, and dividing by zero is an error text.
    run({"push \"e\"", "push 1", "push 0", "divide", "setVariable", "push \"g\"", "push 1",
         "push 2", "less", "setVariable"},
        4);
    EXPECT_EQ(var("e"), "#ERROR#");
    EXPECT_EQ(var("g"), "1");
}

TEST_F(ActionTest, StringsRegistersAndConstants) {
    run({"constantPool \"greeting\", \"hello world\"",
         "push c0, c1",
         "setVariable",
         "push \"sub\"",
         "push \"greeting\"",
         "getVariable",
         "push 7, 5",
         "stringExtract",
         "setVariable",
         "push \"len\"",
         "push \"héllo\"",
         "mbStringLength",
         "setVariable",
         "push \"code\"",
         "push \"A\"",
         "charToAscii",
         "setVariable",
         "push \"chr\"",
         "push 66",
         "asciiToChar",
         "setVariable",
         "push 42",
         "storeRegister 1",
         "pop",
         "push \"reg\"",
         "push r1",
         "setVariable",
         "push \"bits\"",
         "push 12, 10",
         "bitXor",
         "setVariable",
         "push \"eq\"",
         "push \"10\", 10",
         "equals2",
         "setVariable",
         "push \"strict\"",
         "push \"10\", 10",
         "strictEquals",
         "setVariable",
         "push \"type\"",
         "push \"_root.clip\"",
         "getVariable",
         "typeOf",
         "setVariable"});
    EXPECT_EQ(var("greeting"), "hello world");
    EXPECT_EQ(var("sub"), "world");
    EXPECT_EQ(var("len"), "5");
    EXPECT_EQ(var("code"), "65");
    EXPECT_EQ(var("chr"), "B");
    EXPECT_EQ(var("reg"), "42");
    EXPECT_EQ(var("bits"), "6");
    EXPECT_EQ(var("eq"), "true");
    EXPECT_EQ(var("strict"), "false");
    EXPECT_EQ(var("type"), "movieclip");
}

TEST_F(ActionTest, TimelineActionsOnTargetsAndLabels) {
    run({"setTarget \"/clip\"",
         "stop",
         "set \"local\" 1",
         "setTarget \"\"",
         "push \"clip:two\"",
         "gotoFrame2",
         "push \"frame\"",
         "push \"/clip\"",
         "push 4",
         "getProperty",
         "setVariable",
         "push \"clip\"",
         "push 0",
         "push 50",
         "setProperty",
         "push \"x\"",
         "push \"clip\"",
         "push 0",
         "getProperty",
         "setVariable"});
    EXPECT_EQ(var("clip.local"), "1");
    EXPECT_EQ(var("frame"), "2");
    EXPECT_EQ(var("x"), "50");
    EXPECT_EQ(var("clip.reached"), "yes");  // the target frame's script ran
    EXPECT_EQ(player.currentFrame("/clip"), 1);
    EXPECT_EQ(player.currentLabel("clip"), "two");
    // A target that names nothing makes clip actions do nothing, not act on the caller.
    run({"setTarget \"/missing\"", "stop"});
    EXPECT_TRUE(player.isPlaying());
}

TEST_F(ActionTest, CallRunsAnotherFramesScript) {
    run({"push \"clip:two\"", "call"});
    EXPECT_EQ(var("clip.reached"), "yes");
    EXPECT_EQ(player.currentFrame("clip"), 0);  // without going there
}

TEST_F(ActionTest, UnknownActionsAndJumpsOutEndTheBlock) {
    std::vector<uint8_t> code = assemble({"set \"before\" 1"});
    code.pop_back();       // the end action
    code.push_back(0x3A);  // an action this player does not run
    std::vector<uint8_t> after = assemble({"set \"after\" 1"});
    code.insert(code.end(), after.begin(), after.end());
    auto movie = std::const_pointer_cast<Movie>(scriptMovie({"play"}));
    movie->root.frames[0].tags.back().actions = code;
    player.load(movie);
    EXPECT_EQ(var("before"), "1");
    EXPECT_EQ(var("after"), "<unset>");

    // Jump offsets past either end of the block.
    for (int16_t offset : {int16_t(-100), int16_t(500)}) {
        std::vector<uint8_t> jump = {kActionJump, 2, 0, static_cast<uint8_t>(offset),
                                     static_cast<uint8_t>(offset >> 8)};
        std::vector<uint8_t> tail = assemble({"set \"fell\" 1"});
        jump.insert(jump.end(), tail.begin(), tail.end());
        auto m = std::const_pointer_cast<Movie>(scriptMovie({"play"}));
        m->root.frames[0].tags.back().actions = jump;
        player.load(m);
        EXPECT_EQ(var("fell"), "<unset>");
    }
    // A record whose length runs past the block.
    auto m = std::const_pointer_cast<Movie>(scriptMovie({"play"}));
    m->root.frames[0].tags.back().actions = {kActionPush, 0xFF, 0x7F, 0};
    player.load(m);
    EXPECT_TRUE(player.hasMovie());
}

TEST_F(ActionTest, RunawayScriptsAreStopped) {
    PlayerLimits limits;
    limits.stepsPerBlock = 5000;
    Player bounded(&host, limits);
    bounded.load(scriptMovie({"set \"n\" 0", "again:", "push \"n\"", "push \"n\"", "getVariable",
                              "increment", "setVariable", "jump again"}));
    std::string n;
    ASSERT_TRUE(bounded.getVariable("n", &n));
    EXPECT_GT(std::stoi(n), 100);
    EXPECT_LT(std::stoi(n), 5000);
    ASSERT_FALSE(host.traces.empty());
    EXPECT_EQ(host.traces.back(), "Scripts stopped: a script ran too long");

    // Doubling a string: stopped at the string budget, long before memory runs out.
    run({"set \"s\" \"xxxxxxxxxxxxxxxx\"", "again:", "push \"s\"", "push \"s\"", "getVariable",
         "push \"s\"", "getVariable", "stringAdd", "setVariable", "jump again"});
    std::string s;
    ASSERT_TRUE(player.getVariable("s", &s));
    EXPECT_LE(s.size(), player.limits().stringBytes);
    // An endless push fills the stack only to its bound.
    run({"again:", "push 1", "jump again"});
    EXPECT_TRUE(player.hasMovie());
}

TEST_F(ActionTest, ScriptsCallingScriptsAreBounded) {
    // Frame 1 calls itself: the nesting stops at the call depth.
    run({"push \"depth\"", "push \"depth\"", "getVariable", "increment", "setVariable",
         "push \"1\"", "call"});
    EXPECT_EQ(var("depth"), std::to_string(player.limits().callDepth));
}

TEST(ActionListingTest, AssemblerAndListingAgree) {
    std::vector<std::string> lines = {"constantPool \"a\", \"b\"",
                                      "push c1, r2, 1.5, -3, \"q\\\"x\", true, null, undefined",
                                      "gotoFrame 3",
                                      "gotoLabel \"l\"",
                                      "fscommand \"c\" \"d\"",
                                      "here:",
                                      "if here",
                                      "getURL2 get loadTarget",
                                      "gotoFrame2 play bias 2",
                                      "storeRegister 3",
                                      "call",
                                      "trace"};
    std::vector<uint8_t> code = assemble(lines);
    std::string listing = listActions(code.data(), code.size(), "");
    for (const char* expected :
         {"constantPool \"a\", \"b\"", "push c1, r2, 1.5, -3, \"q\\\"x\", true, null, undefined",
          "gotoFrame 3", "gotoLabel \"l\"", "getURL \"FSCommand:c\", \"d\"", "if -> ",
          "getURL2 get loadTarget", "gotoFrame2 play bias 2", "storeRegister 3", "call", "trace",
          "end"}) {
        EXPECT_NE(listing.find(expected), std::string::npos) << expected << "\n" << listing;
    }
    std::string error;
    std::vector<uint8_t> out;
    EXPECT_FALSE(assembleActions({"jump nowhere"}, 6, &out, &error));
    EXPECT_NE(error.find("no label nowhere"), std::string::npos);
    EXPECT_FALSE(assembleActions({"push"}, 6, &out, &error));
    EXPECT_FALSE(assembleActions({"frobnicate"}, 6, &out, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(assembleActions({"gotoFrame 0"}, 6, &out, &error));
    EXPECT_FALSE(assembleActions({"push \"open"}, 6, &out, &error));
    // Damaged code lists as damaged instead of reading past the end.
    std::vector<uint8_t> cut = {kActionPush, 9, 0, 0};
    EXPECT_NE(listActions(cut.data(), cut.size(), "").find("damaged"), std::string::npos);
}
