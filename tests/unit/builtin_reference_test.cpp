// The reference rows of the classes with hand-written hooks, held to what the hooks answer: every
// name the engine knows is asked of each class's method and property hooks, on the class value
// and on an instance; a name answered must be described (and at the level and as the kind it is
// answered), and a described name must be answered, so the table cannot drift from the hooks.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/builtin_reference.h"
#include "compiler/compile_driver.h"
#include "engine_fixture.h"

namespace quill::test {
namespace {

struct Answer {
    bool method = false;
    bool property = false;
    bool any() const { return method || property; }
};

struct Case {
    ClassId id;
    const char* instance;  // script whose value is an instance; null when there is none
};

class BuiltinReferenceTest : public EngineTest {
  protected:
    // Asks the hooks as a script's call and read would; an error raised counts as answered.
    Answer ask(ClassDescriptor* cls, void* data, uint32_t atom) {
        Answer answer;
        ScriptValue argv[2] = {makeInteger(0), makeUndefined()};
        ScriptValue result = makeUndefined();
        try {
            answer.method = cls->method && cls->method(engine, cls, data, atom, &result, argv);
        } catch (...) {
            answer.method = true;
        }
        ScriptValue value = makeUndefined();
        try {
            answer.property = cls->property && cls->property(engine, cls, data, atom, 0, &value);
        } catch (...) {
            answer.property = true;
        }
        return answer;
    }

    // The differences between the class's rows and its hooks, one line each.
    std::vector<std::string> differences(const Case& c) {
        std::vector<std::string> out;
        ClassDescriptor* cls = classById(engine, c.id);
        if (!cls) return {"no class"};
        std::string name = cls->name;
        ScriptValue sample = makeUndefined();
        if (c.instance) {
            if (!runScriptText(engine, c.instance))
                return {std::string("no instance: ") + c.instance};
            sample = engine->returnSlot;
            setGlobal(engine, "sample", sample);  // kept from the collector
            bool own = sample.tag == kTagHost
                           ? sample.host->cls == cls
                           : sample.tag < kTypeTableSize && engine->typeTable[sample.tag] == cls;
            if (!own) return {std::string("not an instance: ") + c.instance};
        }
        bind::MemberTable rows = builtinReference(c.id);
        for (const bind::Member& row : rows) {
            if (findAtom(engine, row.name, std::strlen(row.name)) < 0) {
                out.push_back(name + "." + row.name + " is described but no hook knows the name");
            }
        }
        size_t atoms = engine->atomsByIndex.size();
        for (uint32_t atom = 0; atom < atoms; ++atom) {
            const char* member = atomName(engine, atom);
            // Element indexes are not members.
            if (std::isdigit(static_cast<unsigned char>(member[0]))) continue;
            Answer onClass = ask(cls, nullptr, atom);
            Answer onInstance;
            if (c.instance) {
                ScriptValue self = sample;
                void* data = self.tag == kTagHost ? self.host->data : &self;
                onInstance = ask(cls, data, atom);
            }
            const bind::Member* row = nullptr;
            for (const bind::Member& each : rows) {
                if (std::strcmp(each.name, member) == 0) row = &each;
            }
            std::string where = name + "." + member;
            if (!row) {
                if (onClass.any() || onInstance.any()) {
                    out.push_back(where + " is answered" + (onClass.any() ? " on the class" : "") +
                                  (onInstance.any() ? " on instances" : "") +
                                  (onClass.method || onInstance.method ? " (method)" : "") +
                                  (onClass.property || onInstance.property ? " (property)" : "") +
                                  " but not described");
                }
                continue;
            }
            const Answer& level = row->classLevel ? onClass : onInstance;
            bool fits = row->kind == bind::MemberKind::kMethod ? level.method : level.property;
            if (!fits) {
                out.push_back(where + " is described as a" +
                              (row->classLevel ? " class " : "n instance ") +
                              (row->kind == bind::MemberKind::kMethod ? "method" : "property") +
                              " but not answered as one");
            }
        }
        return out;
    }
};

TEST_F(BuiltinReferenceTest, RowsMatchTheNamesTheHooksAnswer) {
    const Case cases[] = {
        {ClassId::kArray, "[1, 2, 3]"},   {ClassId::kBoolean, "true"},
        {ClassId::kDate, "new Date(0)"},  {ClassId::kFunction, "function f(a) { return a; } f"},
        {ClassId::kMath, nullptr},        {ClassId::kNumber, "7"},
        {ClassId::kObject, "x = {a: 1}"}, {ClassId::kRegExp, "/a(b)/g"},
        {ClassId::kString, "'abc'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = differences(c);
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        EXPECT_TRUE(lines.empty()) << all;
        EXPECT_FALSE(builtinReference(c.id).empty());
    }
    // Classes declared with binding tables have no separate rows.
    EXPECT_TRUE(builtinReference(ClassId::kStringStream).empty());
}

#ifdef _WIN32
// An ActiveXObject answers its object's own names too, so only its added members are held both
// ways on the class value, and each described row is asked of a live object.
TEST_F(BuiltinReferenceTest, ActiveXObjectRowsAreAnswered) {
    std::vector<std::string> lines =
        differences({ClassId::kActiveXObject, "new ActiveXObject('Scripting.Dictionary')"});
    std::string all;
    for (const std::string& line : lines) {
        // The dictionary's own members are not the class's.
        if (line.find("not described") != std::string::npos &&
            line.find("on the class") == std::string::npos) {
            continue;
        }
        all += line + "\n";
    }
    EXPECT_EQ(all, "");
}
#endif

}  // namespace
}  // namespace quill::test
