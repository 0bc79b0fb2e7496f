// Shared fixture of the stream tests: members called the way the interpreter calls them, byte
// strings in and out of StringStreams, and a private scratch folder (also used as the temporary
// directory, so that temporary files can be counted).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "host/system/string_stream_access.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quill::test {

class StreamTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        // ctest runs tests in parallel processes: the process id keeps their folders apart.
        static int counter = 0;
        dir = std::filesystem::temp_directory_path() /
              ("quill-streams-" + std::to_string(processId()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        EngineTest::TearDown();
        if (tempChanged) setTemp(savedTemp);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    ScriptValue s(const std::string& text) { return newStringFromAscii(engine, text); }
    ScriptValue wide(std::u16string_view text) { return newString(engine, text); }
    ScriptValue bytes(const std::string& content) {
        return newStringStreamFromBytes(engine, content.data(), content.size());
    }
    std::string content(const ScriptValue& stream) {
        std::vector<uint8_t> out;
        EXPECT_TRUE(readStringStreamContent(engine, stream, &out));
        return std::string(out.begin(), out.end());
    }

    static std::vector<ScriptValue> argvOf(const std::vector<ScriptValue>& args) {
        std::vector<ScriptValue> argv = {makeInteger(int64_t(args.size()))};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    // `new Class(args)`; the class's construct hook, as the interpreter's NEW calls it.
    ScriptValue construct(const char* cls, const std::vector<ScriptValue>& args = {}) {
        ScriptValue classValue = getGlobal(engine, cls);
        EXPECT_EQ(classValue.tag, uint32_t(kTagHost));
        std::vector<ScriptValue> argv = argvOf(args);
        ScriptValue result = makeUndefined();
        EXPECT_EQ(guardHostCall(engine,
                                [&] {
                                    classValue.host->cls->construct(engine, classValue.host->cls,
                                                                    argv.data(), &result);
                                }),
                  1)
            << errorText();
        return result;
    }
    ScriptValue call(const ScriptValue& target, const char* method,
                     const std::vector<ScriptValue>& args = {}) {
        std::vector<ScriptValue> argv = argvOf(args);
        ok = callMethod(engine, target, method, uint32_t(argv.size()), argv.data());
        return engine->returnSlot;
    }
    ScriptValue get(const ScriptValue& target, const char* name) {
        ScriptValue result;
        getProperty(engine, target, intern(engine, name), &result);
        return result;
    }
    void set(const ScriptValue& target, const char* name, const ScriptValue& value) {
        setProperty(engine, target, intern(engine, name), value);
    }
    int64_t integer(const ScriptValue& v) {
        EXPECT_EQ(v.tag, uint32_t(kTagInteger));
        return v.i;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    void writeFile(const std::string& name, const std::string& data) {
        std::ofstream out(dir / name, std::ios::binary);
        out << data;
    }
    std::string readFile(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Points the platform's temporary directory at the scratch folder.
    void useScratchAsTemp() {
        if (!tempChanged) savedTemp = temp();
        tempChanged = true;
        setTemp(dir.string());
    }
    static std::string temp() {
#ifdef _WIN32
        char buffer[MAX_PATH + 1];
        DWORD n = GetEnvironmentVariableA("TMP", buffer, sizeof buffer);
        return n && n <= MAX_PATH ? std::string(buffer, n) : std::string();
#else
        const char* value = std::getenv("TMPDIR");
        return value ? value : "";
#endif
    }
    static void setTemp(const std::string& value) {
#ifdef _WIN32
        SetEnvironmentVariableA("TMP", value.empty() ? nullptr : value.c_str());
        SetEnvironmentVariableA("TEMP", value.empty() ? nullptr : value.c_str());
#else
        if (value.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", value.c_str(), 1);
        }
#endif
    }
    static uint64_t processId() {
#ifdef _WIN32
        return GetCurrentProcessId();
#else
        return uint64_t(getpid());
#endif
    }
    size_t filesInScratch() const {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            (void)entry;
            ++n;
        }
        return n;
    }

    std::filesystem::path dir;
    int ok = 0;
    bool tempChanged = false;
    std::string savedTemp;
};

}  // namespace quill::test
