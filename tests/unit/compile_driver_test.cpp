// The compile driver and the script entry points: option words, the message buffer (long texts
// kept whole), source/compiled dispatch of script files, and eval's documented results.
#include <cstdio>
#include <fstream>
#include <string>

#include "compiler/compile_driver.h"
#include "engine_fixture.h"

using namespace quill;
using namespace quill::test;

namespace {

class CompileDriver : public EngineTest {
protected:
    std::string temp(const std::string& name) {
        std::string path = ::testing::TempDir() + "quill_driver_" + name;
        files_.push_back(path);
        return path;
    }
    void writeFile(const std::string& path, const std::string& data) {
        std::ofstream out(path, std::ios::binary);
        out << data;
    }
    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
        EngineTest::TearDown();
    }
    ScriptValue evalText(const std::string& text) {
        ScriptValue argv[2] = {makeInteger(1), newStringFromAscii(engine, text)};
        EXPECT_EQ(callFunction(engine, "eval", nullptr, 2, argv), 1);
        return engine->returnSlot;
    }
    std::vector<std::string> files_;
};

TEST_F(CompileDriver, SettingsWordMapsToOptionBits) {
    EXPECT_EQ(compileOptionsFromSettings(0x58200, false), 32u | 64u | 256u);
    EXPECT_EQ(compileOptionsFromSettings(0x20, false), 1u << 2);
    EXPECT_EQ(compileOptionsFromSettings(0x1000 | 0x2000, true), 1u | (1u << 20) | (1u << 21));
    EXPECT_EQ(compileOptionsFromSettings(0x10 | 0x40 | 0x80 | 0x100 | 0x400 | 0x800 | 0x4000, false),
              (1u << 1) | (1u << 3) | (1u << 16) | (1u << 17) | (1u << 18) | (1u << 19) | (1u << 22));
    EXPECT_EQ(compileOptionsFromSettings(0x20000, false), 128u);
}

TEST_F(CompileDriver, EvalGivesTheDocumentedResults) {
    ScriptValue none[1] = {makeInteger(0)};
    ASSERT_EQ(callFunction(engine, "eval", nullptr, 1, none), 1);
    EXPECT_TRUE(engine->returnSlot.isUndefined());
    ScriptValue five[2] = {makeInteger(1), makeInteger(5)};
    ASSERT_EQ(callFunction(engine, "eval", nullptr, 2, five), 1);
    EXPECT_EQ(engine->returnSlot.i, 5);
    EXPECT_EQ(evalText("1+2").i, 3);
    EXPECT_TRUE(evalText("var z = 1").isUndefined());
    EXPECT_EQ(getGlobal(engine, "z").i, 1);
    // A compile error leaves the diagnostics and the previous result.
    EXPECT_EQ(evalText("eval('40 + 2'); eval('a b')").i, 42);
    EXPECT_EQ(engine->messageBuffer, "error: line 0: missing ;\r\n");
}

TEST_F(CompileDriver, LongDiagnosticTextIsKeptWhole) {
    // With warnings for automatic semicolons on, every line without one warns.
    engine->compileSettings = kDefaultCompileSettings | 0x1000;
    std::string source;
    for (int i = 0; i < 100; ++i) source += "x = " + std::to_string(i) + "\n";
    std::vector<uint8_t> module;
    ASSERT_TRUE(compileText(engine, source, engineCompileOptions(engine), &module));
    EXPECT_GE(engine->messageBuffer.size(), 2000u);
    EXPECT_EQ(engine->messageBuffer.substr(0, 27), "warning: line 0: missing ;\r");
    EXPECT_NE(engine->messageBuffer.find("warning: line 99: missing ;\r\n"), std::string::npos);
    // The next compilation replaces it.
    ASSERT_TRUE(compileText(engine, "y = 1;", engineCompileOptions(engine), &module));
    EXPECT_TRUE(engine->messageBuffer.empty());
}

TEST_F(CompileDriver, ScriptFilesAreToldApartByExtensionThenContent) {
    std::vector<uint8_t> module;
    ASSERT_TRUE(compileText(engine, "r = 'compiled';", engineCompileOptions(engine), &module));
    std::string bytes(module.begin(), module.end());
    std::string compiledUpper = temp("X.QSC");
    writeFile(compiledUpper, bytes);
    ASSERT_EQ(runScriptFile(engine, compiledUpper.c_str()), 1) << engine->errorBuffer;
    EXPECT_EQ(str(getGlobal(engine, "r")), "compiled");

    std::string source = temp("x.qls");
    writeFile(source, "r = 'source';");
    ASSERT_EQ(runScriptFile(engine, source.c_str()), 1);
    EXPECT_EQ(str(getGlobal(engine, "r")), "source");

    // Any other name: a "#" line then the magic means compiled.
    std::string sniffed = temp("x.txt");
    writeFile(sniffed, "#!/usr/bin/quill\n" + bytes);
    ASSERT_EQ(runScriptFile(engine, sniffed.c_str()), 1) << engine->errorBuffer;
    EXPECT_EQ(str(getGlobal(engine, "r")), "compiled");
    std::string text = temp("y.txt");
    writeFile(text, "#!/usr/bin/quill\nr = 'text';");
    ASSERT_EQ(runScriptFile(engine, text.c_str()), 1);
    EXPECT_EQ(str(getGlobal(engine, "r")), "text");
    std::string onlyLine = temp("z.txt");
    writeFile(onlyLine, "#!/usr/bin/quill");  // ends within its first line: source
    EXPECT_EQ(runScriptFile(engine, onlyLine.c_str()), 1);

    // A .qsc that is really source fails as a module; a missing file reports its name.
    std::string wrong = temp("w.qsc");
    writeFile(wrong, "r = 1;");
    EXPECT_EQ(runScriptFile(engine, wrong.c_str()), 0);
    std::string missing = temp("missing.qls");
    EXPECT_EQ(runScriptFile(engine, missing.c_str()), 0);
    EXPECT_EQ(engine->messageBuffer, "can't open the script file: " + missing + "\n");
}

TEST_F(CompileDriver, DeeplyNestedSourceIsACompileErrorNotACrash) {
    std::string deep(100000, '(');
    deep += "1";
    deep += std::string(100000, ')');
    std::vector<uint8_t> module;
    EXPECT_FALSE(compileText(engine, deep, engineCompileOptions(engine), &module));
    EXPECT_NE(engine->messageBuffer.find("error: line 0:"), std::string::npos);
    std::string blocks(100000, '{');
    EXPECT_FALSE(compileText(engine, blocks, engineCompileOptions(engine), &module));
    std::string functions;
    for (int i = 0; i < 5000; ++i) functions += "function f" + std::to_string(i) + "() {";
    EXPECT_FALSE(compileText(engine, functions, engineCompileOptions(engine), &module));
}

TEST_F(CompileDriver, ManyArgumentsAndLiteralItemsStillEncode) {
    // Counts beyond what one byte operand holds are split into several instructions.
    std::string call = "function count() { return arguments.length; } n = count(";
    std::string array = "a = [";
    for (int i = 0; i < 300; ++i) {
        call += (i ? ", " : "") + std::to_string(i);
        array += (i ? ", " : "") + std::to_string(i);
    }
    call += ");";
    array += "];";
    ASSERT_EQ(runScriptText(engine, call), 1) << engine->errorBuffer << engine->messageBuffer;
    EXPECT_EQ(getGlobal(engine, "n").i, 300);
    ASSERT_EQ(runScriptText(engine, array), 1) << engine->errorBuffer << engine->messageBuffer;
    EXPECT_EQ(getGlobal(engine, "a").arr->length, 300u);
    std::string params = "function f(";
    for (int i = 0; i < 130; ++i) params += (i ? ", p" : "p") + std::to_string(i);
    params += ") {}";
    EXPECT_EQ(runScriptText(engine, params), 0);
    EXPECT_NE(engine->messageBuffer.find("too many formal parameters"), std::string::npos);
}

}  // namespace
