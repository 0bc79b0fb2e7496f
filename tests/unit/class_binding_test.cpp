// Declared host classes seen from scripts: argument fitting and empty results, instance and
// class-level members, handler properties under the collector, C++ exceptions at the boundary,
// and class identity that survives scripts reassigning the globals.
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "builtins/date.h"
#include "compiler/compile_driver.h"
#include "engine_fixture.h"
#include "runtime/class_binding.h"

namespace quill::test {
namespace {

constexpr ClassId kCounterId = ClassId::kFirstUser;

// A counter that can also be "closed": its cell then resolves to nothing.
struct Counter {
    int64_t value = 0;
    ScriptValue onChange = makeUndefined();
    int64_t add(int64_t n) {
        value += n;
        return value;
    }
};
struct CounterCell {
    std::unique_ptr<Counter> counter = std::make_unique<Counter>();
};

void* resolveCounter(void* data) {
    return static_cast<CounterCell*>(data)->counter.get();
}

int64_t getValue(Counter& c) {
    return c.value;
}
void setValue(Counter& c, int64_t v) {
    c.value = v;
}
bool isOpen(Counter* c) {
    return c != nullptr;
}
std::u16string describe(std::optional<std::u16string> prefix, double scale) {
    return prefix.value_or(u"none") + u":" +
           (scale > 1 ? std::u16string(u"big") : std::u16string(u"small"));
}
// Converting the argument may run a script that closes the counter it is called on.
int64_t addText(Counter& c, bind::AsString text) {
    c.value += int64_t(text.text.size());
    return c.value;
}
int64_t fail(Counter&, std::u16string kind) {
    if (kind == u"alloc") throw std::bad_alloc();
    throw std::runtime_error("the device is gone");
}
int64_t fire(ScriptEngine* engine, Counter& c) {
    ScriptValue self = makeUndefined();
    if (!callFunctionWithThis(engine, self, c.onChange, 1, nullptr)) return -2;
    return engine->returnSlot.tag == kTagInteger ? engine->returnSlot.i : -3;
}
// A member without any parameter.
int64_t counterLimit() {
    return 100;
}
std::unique_ptr<CounterCell> makeCounter(std::optional<int64_t> start) {
    auto cell = std::make_unique<CounterCell>();
    cell->counter->value = start.value_or(0);
    return cell;
}

constexpr bind::Member kCounterMembers[] = {
    bind::method<&Counter::add>("add", bind::Empty::kMinusOne),
    bind::property<getValue, setValue>("value"),
    bind::getter<isOpen>("open"),
    bind::classMethod<describe>("describe", bind::Empty::kNull),
    bind::classMethod<counterLimit>("limit"),
    bind::method<addText>("addText", bind::Empty::kFalse),
    bind::method<fail>("fail"),
    bind::method<fire>("fire"),
    bind::constant("$COUNTER_MAX", int64_t(100)),
    bind::handler<&Counter::onChange>("onChange"),
    bind::objectText("[object Counter]"),
};

int64_t closeCell(CounterCell& cell) {
    cell.counter.reset();
    return 1;
}
int64_t addTwice(Counter& c, int64_t n) {
    return c.add(2 * n);
}
// A second table overriding `add`.
constexpr bind::Member kOverrides[] = {
    bind::method<addTwice>("add", bind::Empty::kMinusOne).doc("n", "Adds n twice."),
};
// Descriptions are added inside constant expressions and leave the row's behaviour alone.
static_assert(kOverrides[0].summary && kOverrides[0].synopsis[0] == 'n' &&
              kOverrides[0].kind == bind::MemberKind::kMethod &&
              kOverrides[0].empty == bind::Empty::kMinusOne);

class ClassBindingTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        defineCounter();
    }
    void defineCounter() {
        bind::defineClass<CounterCell>(engine, {.name = "Counter",
                                                .id = kCounterId,
                                                .members = {kCounterMembers},
                                                .call = bind::constructorCall<makeCounter>,
                                                .construct = bind::constructor<makeCounter>,
                                                .resolve = resolveCounter});
        // `close` needs the cell, not the counter: a native that closes the receiver.
        registerNative("closeCounter", [](ScriptEngine* e, ClassDescriptor*, void*,
                                          ScriptValue* result, ScriptValue* argv) {
            auto* cell = unwrap<CounterCell>(e, argv[1], kCounterId);
            if (cell) closeCell(*cell);
            *result = makeBoolean(cell != nullptr);
        });
    }
    // Runs script text; the completion value, or the error text as a string.
    std::string run(const char* text) {
        if (!runScriptText(engine, text)) return std::string("failed: ") + errorText();
        return str(toString(engine, engine->returnSlot));
    }
};

TEST_F(ClassBindingTest, MembersOfEveryKindAnswerScripts) {
    EXPECT_EQ(run("var c = new Counter(5); c.add(2)"), "7");
    EXPECT_EQ(run("c.value = 40; c.value"), "40");
    EXPECT_EQ(run("c.open"), "true");
    EXPECT_EQ(run("Counter.describe('x', 2) + ' ' + c.describe(undefined, 0)"), "x:big none:small");
    EXPECT_EQ(run("Counter.$COUNTER_MAX + c.$COUNTER_MAX"), "200");
    EXPECT_EQ(run("Counter.limit() + c.limit()"), "200");
    EXPECT_EQ(run("String(c) + ' ' + Counter"), "[object Counter] [object Counter]");
    EXPECT_EQ(run("var d = Counter(); d.value"), "0");  // calling the class constructs
}

TEST_F(ClassBindingTest, ArgumentsThatDoNotFitGiveTheEmptyResult) {
    EXPECT_EQ(run("var c = new Counter(1); c.add('2')"), "-1");  // integers are not converted
    EXPECT_EQ(run("c.add(2.5)"), "-1");
    EXPECT_EQ(run("c.add()"), "-1");
    EXPECT_EQ(run("c.value"), "1");                                // nothing was added
    EXPECT_EQ(run("c.value = 'x'; c.value = 3.5; c.value"), "1");  // assignments ignored
    EXPECT_EQ(run("Counter.describe(5, 1) === null"), "true");
    EXPECT_EQ(run("c.open = false; c.open"), "true");  // read-only
    EXPECT_EQ(run("new Counter('a') === null"), "true");
    // Instance members are not members of the class value.
    EXPECT_EQ(run("Counter.add(1)"), "undefined");
    EXPECT_EQ(trace.back(), "Warning: unknown method \"add\"");
}

TEST_F(ClassBindingTest, ClosedInstancesKeepOnlyClassLevelMembers) {
    EXPECT_EQ(run("var c = new Counter(3); closeCounter(c); c.open"), "false");
    EXPECT_EQ(run("c.add(1)"), "undefined");
    EXPECT_EQ(run("c.value"), "undefined");
    EXPECT_EQ(run("c.describe('k', 0)"), "k:small");
    // A conversion that closes the receiver midway: the member sees the closed state.
    EXPECT_EQ(run("var d = new Counter(1), o = new Object();"
                  "o.toString = function() { closeCounter(d); return 'abc'; };"
                  "d.addText(o)"),
              "false");
    EXPECT_EQ(run("d.open"), "false");
}

TEST_F(ClassBindingTest, CppExceptionsBecomeScriptErrors) {
    EXPECT_EQ(run("var c = new Counter(); var r; try { c.fail('io') } catch (e) { r = e } r"),
              "Runtime error: the device is gone");
    EXPECT_EQ(run("try { c.fail('alloc') } catch (e) { r = e } r"), "Runtime error: Out of memory");
    EXPECT_EQ(run("c.add(1)"), "1");  // the engine runs on
    EXPECT_EQ(run("c.fail('io')"), "failed: Runtime error: the device is gone");
}

TEST_F(ClassBindingTest, ExceptionsFromHandWrittenHooksAndHostCalls) {
    registerNative(
        "explode", [](ScriptEngine*, ClassDescriptor*, void*, ScriptValue*, ScriptValue*) {
            throw std::system_error(std::make_error_code(std::errc::io_error), "explode");
        });
    std::string caught = run("var r; try { explode() } catch (e) { r = e } r");
    EXPECT_EQ(caught.rfind("Runtime error: explode", 0), 0u) << caught;
    ScriptValue fn = getGlobal(engine, "explode");
    EXPECT_EQ(callFunction(engine, nullptr, &fn, 0, nullptr), 0);
    EXPECT_EQ(std::string(errorText()).rfind("Runtime error: explode", 0), 0u) << errorText();
    EXPECT_EQ(run("1 + 1"), "2");
}

TEST_F(ClassBindingTest, HandlersTakeOnlyScriptFunctionsAndSurviveCollections) {
    EngineConfig config;
    config.gcStress = true;
    restart(config);
    defineCounter();
    EXPECT_EQ(run("var c = new Counter(); c.onChange = 5; typeof c.onChange"), "undefined");
    EXPECT_EQ(run("c.onChange = function() { return 42 }; c.onChange = 'x'; c.onChange = null;"
                  "typeof c.onChange"),
              "function");
    // The only reference to the function is the handler: churn the heap, then call it.
    EXPECT_EQ(run("var junk = []; for (var i = 0; i < 300; i++) junk[i] = {n: 'v' + i}; junk = 0;"
                  "c.fire()"),
              "42");
}

TEST_F(ClassBindingTest, IdentitySurvivesReassignedGlobals) {
    EXPECT_EQ(run("var c = new Counter(); Counter = 1; String = 2; 0"), "0");
    ScriptValue c = getGlobal(engine, "c");
    EXPECT_EQ(isHostInstanceOf(engine, c, "Counter"), 1);
    EXPECT_NE(unwrap<CounterCell>(engine, c, kCounterId), nullptr);
    EXPECT_EQ(run("c.add(4)"), "4");
    EXPECT_EQ(run("Date = null; Stream === FileStream"), "true");
    ScriptValue date;
    ASSERT_EQ(guardHostCall(engine, [&] { newDate(engine, &date, 0); }), 1) << errorText();
    EXPECT_EQ(isHostInstanceOf(date, ClassId::kDate), true);
    EXPECT_EQ(isHostInstanceOf(engine, date, "Date"), 1);
    // The class value of a reassigned global is still the class.
    EXPECT_EQ(run("var s = new StringStream(); FileStream = 0; StringStream = 0;"
                  "s.write('ab'); s.length"),
              "2");
}

TEST_F(ClassBindingTest, LaterTablesOverrideEarlierRows) {
    bind::defineClass<CounterCell>(engine, {.name = "Doubler",
                                            .id = ClassId(int(kCounterId) + 1),
                                            .members = {kCounterMembers, kOverrides},
                                            .construct = bind::constructor<makeCounter>,
                                            .resolve = resolveCounter});
    EXPECT_EQ(run("var d = new Doubler(1); d.add(3) + ' ' + d.value"), "7 7");
    // The reference lists the row in effect once, where the name first appeared.
    std::vector<const bind::Member*> rows =
        bind::classMembers(classById(engine, ClassId(int(kCounterId) + 1)));
    ASSERT_EQ(rows.size(), std::size(kCounterMembers));
    EXPECT_EQ(rows[0], &kOverrides[0]);
    EXPECT_STREQ(rows[0]->summary, "Adds n twice.");
    EXPECT_EQ(rows[1], &kCounterMembers[1]);
}

TEST_F(ClassBindingTest, TheReferenceReadsWhatWasRegistered) {
    bind::defineClass<CounterCell>(engine, {.name = "Described",
                                            .id = ClassId(int(kCounterId) + 1),
                                            .members = {kCounterMembers},
                                            .globals = {{"$DESCRIBED", 7, "Seven."}},
                                            .synopsis = "[start]",
                                            .summary = "A counter."});
    ClassDescriptor* cls = classById(engine, ClassId(int(kCounterId) + 1));
    EXPECT_STREQ(cls->synopsis, "[start]");
    EXPECT_STREQ(cls->summary, "A counter.");
    std::vector<bind::GlobalConstant> globals = bind::classGlobals(cls);
    ASSERT_EQ(globals.size(), 1u);  // copied: the braced list is gone by now
    EXPECT_STREQ(globals[0].name, "$DESCRIBED");
    EXPECT_STREQ(globals[0].summary, "Seven.");
    // Classes with hand-written hooks have no rows to list.
    EXPECT_TRUE(bind::classMembers(classById(engine, ClassId::kMath)).empty());
    EXPECT_TRUE(bind::classGlobals(classById(engine, ClassId::kMath)).empty());
    EXPECT_TRUE(bind::classMembers(nullptr).empty());
}

}  // namespace
}  // namespace quill::test
