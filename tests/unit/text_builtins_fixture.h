// The fixture of the String and RegExp tests: calls methods, constructors and the class itself the
// way scripts do, and reads strings, arrays and properties back as plain C++ values.
#pragma once

#include <string>
#include <vector>

#include "engine_fixture.h"
#include "runtime/array.h"

namespace quill::test {

class TextBuiltinsTest : public EngineTest {
  protected:
    ScriptValue s(std::string_view utf8) { return newStringFromUtf8(engine, utf8); }
    static ScriptValue i(int64_t v) { return makeInteger(v); }
    static ScriptValue d(double v) { return makeNumber(v); }

    // The text of a method's string result ("<not a string>" otherwise).
    std::string text(const ScriptValue& receiver, const char* name,
                     const std::vector<ScriptValue>& args = {}) {
        return str(method(receiver, name, args));
    }
    // Calling a value (a class or an instance) as a function.
    ScriptValue call(const ScriptValue& callee, const std::vector<ScriptValue>& args = {}) {
        std::vector<ScriptValue> argv = native(args);
        ok = callFunction(engine, nullptr, &callee, uint32_t(argv.size()), argv.data());
        return engine->returnSlot;
    }
    ScriptValue regexp(std::string_view pattern, std::string_view flags = "") {
        ScriptValue re = construct("RegExp", {s(pattern), s(flags)});
        EXPECT_EQ(ok, 1) << errorText();
        return re;
    }
    ScriptValue property(const ScriptValue& target, const char* name) {
        ScriptValue v;
        getProperty(engine, target, intern(engine, name), &v);
        return v;
    }
    ScriptValue global(const char* name) { return getGlobal(engine, name); }
    // The elements of an array as text: strings as they are, holes as "<hole>", anything else
    // through the string conversion.
    std::vector<std::string> elements(const ScriptValue& array) {
        std::vector<std::string> out;
        if (array.tag != kTagArray) {
            out.push_back("<not an array>");
            return out;
        }
        for (uint64_t k = 0; k < array.arr->length; ++k) {
            ScriptValue* v = getElement(engine, array, k);
            out.push_back(v ? str(toString(engine, *v)) : "<hole>");
        }
        return out;
    }
};

using Texts = std::vector<std::string>;

}  // namespace quill::test
