// The embedding interface as a host uses it: failure kinds instead of message prefixes, the
// place of a runtime error, calls by name, completion text, trace text, and host classes joining
// the registration order at their positions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/class_binding.h"
#include "runtime/embed.h"

namespace quill::test {
namespace {

class Embed : public ::testing::Test {
  protected:
    void SetUp() override { start(EngineConfig()); }
    void TearDown() override { destroyEngine(engine); }
    void start(const EngineConfig& config) {
        destroyEngine(engine);
        engine = createEngine(config);
        ASSERT_NE(engine, nullptr);
    }
    ScriptEngine* engine = nullptr;
};

TEST_F(Embed, FailuresSayWhatKindTheyAre) {
    EXPECT_EQ(runScriptText(engine, "var x = ;"), 0);
    EXPECT_EQ(errorKind(engine), ErrorKind::kCompile);
    EXPECT_NE(diagnostics(engine).find("error: line 0: syntax error"), std::string::npos);

    EXPECT_EQ(runScriptFile(engine, "/nonexistent/dir/script.qls"), 0);
    EXPECT_EQ(errorKind(engine), ErrorKind::kFile);

    const char* unconvertible = "var a = new Object(); a.valueOf = 1; a.toString = 1; a + 1";
    EXPECT_EQ(runScriptText(engine, unconvertible), 0);
    EXPECT_EQ(errorKind(engine), ErrorKind::kRuntime);
    EXPECT_EQ(errorText(engine).rfind("Runtime error: ", 0), 0u) << errorText(engine);

    EXPECT_EQ(runScriptText(engine, "throw 'Runtime error: lookalike'"), 0);
    EXPECT_EQ(errorKind(engine), ErrorKind::kThrown);  // the text alone would mislead

    // A success forgets the errors the script caught.
    EXPECT_EQ(runScriptText(engine, "try { a + 1 } catch (e) {} 3"), 1);
    EXPECT_EQ(errorKind(engine), ErrorKind::kNone);
    EXPECT_EQ(completionText(engine), "3");
}

TEST_F(Embed, RuntimeErrorsKnowWhereTheyHappened) {
    std::vector<uint8_t> module;
    ASSERT_TRUE(
        compileText(engine,
                    "function f(o) {\n  o.toString = 1; o.valueOf = 1;\n  return o + 1;\n}\n"
                    "f(new Object());",
                    engineCompileOptions(engine) | kCompileDebugInfo, &module));
    EXPECT_TRUE(isWellFormedModule(module.data(), module.size()));
    EXPECT_EQ(runModule(engine, module.data(), module.size()), 0);
    ErrorPlace place = errorPlace(engine);
    ASSERT_TRUE(place.known);
    EXPECT_EQ(place.function, "f");
    EXPECT_EQ(place.line, 2u);

    EXPECT_FALSE(isWellFormedModule(module.data(), 3));
    EXPECT_EQ(runModule(engine, module.data(), 3), 0);
    EXPECT_EQ(errorKind(engine), ErrorKind::kRuntime);
}

// A start-up script answers with a boolean completion value; the text "false" is no answer.
TEST_F(Embed, TellsABooleanCompletionFromItsText) {
    bool answer = true;
    ASSERT_EQ(runScriptText(engine, "var done = 1; false;"), 1);
    EXPECT_TRUE(completionBoolean(engine, &answer));
    EXPECT_FALSE(answer);
    ASSERT_EQ(runScriptText(engine, "'false'"), 1);
    EXPECT_FALSE(completionBoolean(engine, &answer));
    ASSERT_EQ(runScriptText(engine, "var x = 2;"), 1);
    EXPECT_FALSE(completionBoolean(engine, &answer));
}

TEST_F(Embed, CallsScriptFunctionsByNameWithTextArguments) {
    ASSERT_EQ(runScriptText(engine, "function greet(a, b) { return a + ', ' + b + '!' }"), 1);
    EXPECT_EQ(callGlobalFunction(engine, "greet", {"h\xc3\xa9llo", "world"}), 1);
    EXPECT_EQ(completionText(engine), "h\xc3\xa9llo, world!");
    EXPECT_EQ(callGlobalFunction(engine, "missing"), 0);
    EXPECT_EQ(errorKind(engine), ErrorKind::kRuntime);
}

TEST_F(Embed, TraceTextReceivesWarningsAndTrace) {
    std::vector<std::string> lines;
    setTraceText(
        engine,
        [](void* user, std::string_view text) {
            static_cast<std::vector<std::string>*>(user)->emplace_back(text);
        },
        &lines);
    ASSERT_EQ(runScriptText(engine, "trace('hello'); undefinedName; 1"), 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "hello");
    EXPECT_NE(lines[1].find("undefinedName"), std::string::npos) << lines[1];
}

// Host classes join the fixed order: one added at Date's position comes after Date and before
// Math, whatever order the host lists them in.
std::vector<std::string>* seen = nullptr;
void noteDateAndMath(ScriptEngine* e, const char* who) {
    std::string what = who;
    what += getGlobal(e, "Date").tag == kTagHost ? "+Date" : "-Date";
    what += getGlobal(e, "Math").tag == kTagHost ? "+Math" : "-Math";
    seen->push_back(what);
}
constexpr HostRegistration kHostClasses[] = {
    {ClassId::kHostFunctions, [](ScriptEngine* e) { noteDateAndMath(e, "last"); }},
    {ClassId::kDate, [](ScriptEngine* e) { noteDateAndMath(e, "atDate"); }},
    {ClassId::kGlobalFunctions, [](ScriptEngine* e) { noteDateAndMath(e, "first"); }},
};

TEST_F(Embed, HostClassesJoinTheOrderAtTheirPositions) {
    std::vector<std::string> order;
    seen = &order;
    EngineConfig config;
    config.hostClasses = kHostClasses;
    start(config);
    seen = nullptr;
    EXPECT_EQ(order,
              (std::vector<std::string>{"first-Date-Math", "atDate+Date-Math", "last+Date+Math"}));
}

}  // namespace
}  // namespace quill::test
