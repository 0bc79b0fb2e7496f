// Test helpers for the global functions and built-in classes: calling them the way scripts do
// (global functions, methods, constructors) and checking the tag and value of their results.
#pragma once

#include <string>
#include <vector>

#include "engine_fixture.h"

namespace quill::test {

inline ::testing::AssertionResult isInteger(const ScriptValue& v, int64_t expected) {
    if (v.tag != kTagInteger) return ::testing::AssertionFailure() << "tag " << v.tag;
    if (v.i != expected) return ::testing::AssertionFailure() << "integer " << v.i;
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult isDouble(const ScriptValue& v, double expected) {
    if (v.tag != kTagNumber) return ::testing::AssertionFailure() << "tag " << v.tag;
    if (!(v.d == expected)) return ::testing::AssertionFailure() << "double " << v.d;
    return ::testing::AssertionSuccess();
}

class NativeTest : public EngineTest {
  protected:
    ScriptValue s(std::u16string_view text) { return newString(engine, text); }
    ScriptValue a(std::string_view text) { return newStringFromUtf8(engine, text); }
    static ScriptValue i(int64_t v) { return makeInteger(v); }
    static ScriptValue d(double v) { return makeNumber(v); }

    // A global function; `ok` tells whether it completed (else the message is in errorText()).
    ScriptValue call(const char* function, const std::vector<ScriptValue>& args = {}) {
        std::vector<ScriptValue> argv = native(args);
        ok = callFunction(engine, function, nullptr, uint32_t(argv.size()), argv.data());
        return engine->returnSlot;
    }
    ScriptValue property(const ScriptValue& target, const char* name) {
        ScriptValue v;
        getProperty(engine, target, intern(engine, name), &v);
        return v;
    }
    // The engine's string conversion of a value, as UTF-8.
    std::string text(const ScriptValue& v) { return str(toString(engine, v)); }
};

}  // namespace quill::test
