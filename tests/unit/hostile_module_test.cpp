// Compiled modules that arrive damaged: every truncation of a real module fails to load, and
// flipped bits either load and run or fail cleanly. In every case the same engine goes on
// running scripts, with nothing of the failed run left on its stacks.
#include <string>
#include <vector>

#include "compiler/compile_driver.h"
#include "engine_fixture.h"
#include "runtime/module.h"

using namespace quill;
using namespace quill::test;

namespace {

// Touches every kind of constant, functions with locals and arguments, try/catch, with, loops,
// regular-expression literals and the debug section.
const char* const kSource = R"(
function Point(x, y) { this.x = x; this.y = y; }
function norm(p) { var s = p.x * p.x + p.y * p.y; return Math.sqrt(s); }
var points = [];
for (var i = 0; i < 20; i++) points[i] = new Point(i, 2.5 * i);
var total = 0;
for (var k in points) total += norm(points[k]);
var text = "total " + total + ' and ' + 0x7FFFFFFFFFFFFFFF;
try {
    throw new Object();
} catch (e) {
    text += typeof e;
}
with (points[3]) { text += x + y; }
var m = /(\w+)\s(\d+)/g.exec("point 42");
switch (m ? m[2] : "none") {
case "42": text += "!"; break;
default: text += "?";
}
text;
)";

int budgetHook(int, void* user) {
    return ++*static_cast<int*>(user) > 300 ? 3 : 0;
}

class HostileModules : public EngineTest {
  protected:
    void SetUp() override {
        EngineConfig config;
        config.hook = budgetHook;
        config.hookUser = &hookCalls;
        config.maxHeapBytes = size_t(16) << 20;
        start(config);
        ASSERT_TRUE(
            compileText(engine, kSource, engineCompileOptions(engine) | kCompileDebugInfo, &module))
            << engine->messageBuffer;
        ASSERT_GT(module.size(), 256u);
    }

    int load(const uint8_t* bytes, size_t size) {
        hookCalls = 0;
        int ok = runModule(engine, bytes, size);
        if (!ok) {
            EXPECT_NE(errorText(), "") << "a failed load without a message";
        }
        EXPECT_EQ(engine->stackTop, engine->stackEnd);
        EXPECT_TRUE(engine->traps.empty());
        EXPECT_EQ(engine->runDepth, 0u);
        return ok;
    }
    void expectUsable(const std::string& context) {
        hookCalls = 0;
        ASSERT_EQ(runScriptText(engine, "var u = 6; u * 7"), 1) << context << ": " << errorText();
        EXPECT_EQ(engine->returnSlot.i, 42) << context;
    }

    int hookCalls = 0;
    std::vector<uint8_t> module;
};

TEST_F(HostileModules, TheIntactModuleRuns) {
    ASSERT_EQ(load(module.data(), module.size()), 1) << errorText();
    std::string text = str(engine->returnSlot);
    EXPECT_EQ(text.rfind("total ", 0), 0u) << text;
    EXPECT_NE(text.find("9223372036854775807object"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '!') << text;
}

TEST_F(HostileModules, EveryTruncationFailsAndTheEngineGoesOn) {
    for (size_t length = 0; length < module.size(); ++length) {
        // A copy of exactly `length` bytes, so that reading past it is caught by the sanitizer.
        std::vector<uint8_t> cut(module.begin(), module.begin() + ptrdiff_t(length));
        EXPECT_EQ(load(cut.data(), cut.size()), 0) << "cut at " << length;
        if (length % 32 == 0) expectUsable("cut at " + std::to_string(length));
    }
    expectUsable("after every cut");
}

TEST_F(HostileModules, FlippedBitsRunOrFailCleanly) {
    // Every bit of the header and the first tables, then one bit of every later byte.
    int loaded = 0, failed = 0;
    for (size_t at = 0; at < module.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            if (at >= 256 && bit != int(at % 8)) continue;
            std::vector<uint8_t> bytes = module;
            bytes[at] ^= uint8_t(1u << bit);
            if (load(bytes.data(), bytes.size())) {
                ++loaded;
            } else {
                ++failed;
            }
            if (at % 64 == 0 && bit == 0) expectUsable("flip at " + std::to_string(at));
        }
    }
    // Flips in string text and numbers still load; flips in the structure do not.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(failed, 0);
    expectUsable("after every flip");
}

TEST_F(HostileModules, ModulesWithAnotherMagicOrNoneAreRefused) {
    const std::vector<std::string> notModules = {"",
                                                 "QS1",
                                                 "QS1a",
                                                 "QS1b",
                                                 std::string("QS1b\0\0\0\0", 8),
                                                 "#!/bin/quill\nQS1b",
                                                 std::string(4096, '\xFF')};
    for (const std::string& bytes : notModules) {
        EXPECT_EQ(load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0)
            << bytes.size() << " bytes";
    }
    expectUsable("after foreign data");
}

}  // namespace
