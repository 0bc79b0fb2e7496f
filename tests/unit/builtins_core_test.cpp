// The core built-in classes reached from native code: Array's methods on hostile input (sorting
// sorted, equal and adversarial data, comparators that fail or mutate, cyclic joins), Number's
// text forms, Boolean and Object.
#include "engine_fixture.h"
#include "runtime/array.h"

using namespace quill;
using namespace quill::test;

namespace {

class BuiltinsCore : public EngineTest {
protected:
    ScriptValue array(std::initializer_list<int64_t> items) {
        ScriptValue a;
        quill::newArray(engine, &a, 0);
        for (int64_t v : items) {
            setElement(engine, a, makeInteger(v), a.arr->length);
            a.arr->length++;
        }
        return a;
    }
    ScriptValue call(const ScriptValue& receiver, const char* method,
                     std::vector<ScriptValue> args = {}) {
        std::vector<ScriptValue> argv = {makeInteger(int64_t(args.size()))};
        argv.insert(argv.end(), args.begin(), args.end());
        ok = callMethod(engine, receiver, method, uint32_t(argv.size()), argv.data());
        return engine->returnSlot;
    }
    std::string join(const ScriptValue& a) { return str(call(a, "join")); }
    int ok = 0;
};

TEST_F(BuiltinsCore, ConstructionAndLength) {
    auto construct = [&](std::vector<ScriptValue> args) {
        std::vector<ScriptValue> argv = {makeInteger(int64_t(args.size()))};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(callFunction(engine, "Array", nullptr, uint32_t(argv.size()), argv.data()), 1);
        return engine->returnSlot;
    };
    ScriptValue a = construct({makeInteger(3)});
    EXPECT_EQ(a.arr->length, 3u);
    EXPECT_EQ(presentCount(a.arr), 0u);
    a = construct({makeInteger(3), makeInteger(4)});
    EXPECT_EQ(a.arr->length, 2u);
    a = construct({makeNumber(2.5)});
    EXPECT_EQ(a.arr->length, 1u);
    EXPECT_EQ(getElement(engine, a, 0)->d, 2.5);
    a = construct({makeInteger(-5)});
    EXPECT_EQ(a.arr->length, 0u) << "a negative length gives an empty array";

    ScriptValue b = array({1, 2, 3});
    uint32_t length = intern(engine, "length");
    setProperty(engine, b, length, makeInteger(1));
    EXPECT_EQ(join(b), "1");
    setProperty(engine, b, length, makeInteger(10));
    EXPECT_EQ(b.arr->length, 10u);
    EXPECT_EQ(join(b), "1,,,,,,,,,");
    setProperty(engine, b, length, makeNumber(-1.0));
    setProperty(engine, b, length, makeInteger(-1));
    EXPECT_EQ(b.arr->length, 10u) << "negative lengths are ignored";
    ScriptValue v;
    getProperty(engine, getGlobal(engine, "Array"), length, &v);
    EXPECT_EQ(v.i, 1);
}

TEST_F(BuiltinsCore, MethodsOnTheDocumentedExamples) {
    ScriptValue a = array({1, 2, 3});
    // Bounds given the wrong way round are exchanged.
    EXPECT_EQ(join(call(a, "slice", {makeInteger(2), makeInteger(0)})), "1,2");
    EXPECT_EQ(join(call(a, "slice", {makeInteger(-1)})), "3");
    ScriptValue wide = call(a, "slice", {makeInteger(0), makeInteger(10)});
    EXPECT_EQ(wide.arr->length, 10u);
    ScriptValue b = array({1, 2, 3, 4});
    ScriptValue removed = call(b, "splice", {makeInteger(1), makeInteger(2), makeInteger(9)});
    EXPECT_EQ(join(removed), "2,3");
    EXPECT_EQ(join(b), "1,9,4");
    ScriptValue c = array({1});
    EXPECT_EQ(call(c, "unshift", {makeInteger(2), makeInteger(3)}).i, 3);
    EXPECT_EQ(join(c), "3,2,1");
    EXPECT_EQ(call(c, "push", {makeInteger(7)}).i, 4);
    EXPECT_EQ(call(c, "pop").i, 7);
    EXPECT_EQ(call(c, "shift").i, 3);
    EXPECT_EQ(join(c), "2,1");
    call(c, "reverse");
    EXPECT_EQ(join(c), "1,2");
    ScriptValue d = call(c, "concat", {array({5, 6}), makeInteger(7)});
    EXPECT_EQ(join(d), "1,2,5,6,7");
    EXPECT_EQ(str(call(d, "join", {newStringFromAscii(engine, "-")})), "1-2-5-6-7");
    ScriptValue empty = array({});
    EXPECT_TRUE(call(empty, "pop").isUndefined());
    EXPECT_TRUE(call(empty, "shift").isUndefined());
    EXPECT_EQ(str(call(getGlobal(engine, "Array"), "toString")), "[object Array]");
}

TEST_F(BuiltinsCore, JoinOfASelfContainingArrayEnds) {
    ScriptValue a = array({1, 2});
    setElement(engine, a, a, 2);
    a.arr->length = 3;
    EXPECT_EQ(join(a), "1,2,");
    ScriptValue b = array({3});
    setElement(engine, b, a, 1);
    b.arr->length = 2;
    setElement(engine, a, b, 3);
    a.arr->length = 4;
    EXPECT_EQ(join(a), "1,2,,3,");
    // A huge sparse length cannot make a giant string silently.
    ScriptValue sparse = array({1});
    sparse.arr->length = uint64_t(1) << 40;
    call(sparse, "join");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), "Runtime error: Out of memory");
}

TEST_F(BuiltinsCore, SortDefaultOrderPutsUndefinedLast) {
    ScriptValue a = array({3, 1, 2});
    EXPECT_TRUE(call(a, "sort").isUndefined());
    EXPECT_EQ(join(a), "1,2,3");
    ScriptValue b = array({10, 9, 1});
    setElement(engine, b, makeUndefined(), 3);
    b.arr->length = 6;  // two holes at the end too
    setElement(engine, b, newStringFromAscii(engine, "a"), 4);
    call(b, "sort");
    EXPECT_EQ(join(b), "1,10,9,a,undefined,");
    EXPECT_EQ(b.arr->length, 6u);
}

TEST_F(BuiltinsCore, SortStaysFastAndSafeOnAdversarialInput) {
    // 100,000 already sorted elements with a script comparator: no deep recursion.
    Asm m;
    m.fn("cmp").prologue(2).op(OP_LOAD_ARG, 2).op(OP_LOAD_ARG, 3).op(OP_SUB).op(OP_RETURN);
    m.fn("liar").prologue(2).op(OP_PUSH_1).op(OP_RETURN);  // always "greater"
    m.fn("thrower").prologue(2).string("stop").op(OP_THROW);
    m.fn("mutator").prologue(2).op(OP_PUSH_0).name(OP_LOAD_GLOBAL, "victim");
    m.name(OP_CALL_METHOD, "pop").op(OP_COLLAPSE, 2).op(OP_POP);
    m.op(OP_LOAD_ARG, 2).op(OP_LOAD_ARG, 3).op(OP_SUB).op(OP_RETURN);
    m.fn(".main").op(OP_PUSH_NULL);
    eval(m);
    ScriptValue a;
    quill::newArray(engine, &a, 0);
    for (int64_t i = 0; i < 100000; ++i) setElement(engine, a, makeInteger(i), uint64_t(i));
    a.arr->length = 100000;
    setGlobal(engine, "big", a);
    call(a, "sort", {getGlobal(engine, "cmp")});
    ASSERT_EQ(ok, 1) << errorText();
    EXPECT_EQ(getElement(engine, a, 99999)->i, 99999);
    // All equal: still terminates.
    for (int64_t i = 0; i < 20000; ++i) setElement(engine, a, makeInteger(7), uint64_t(i));
    a.arr->length = 20000;
    call(a, "sort", {getGlobal(engine, "cmp")});
    EXPECT_EQ(ok, 1);
    // An inconsistent comparator leaves a permutation of the elements.
    ScriptValue b = array({5, 3, 9, 1, 7, 2, 8, 6, 4, 0, 11, 15, 13, 12, 14, 10, 19, 17, 18, 16});
    call(b, "sort", {getGlobal(engine, "liar")});
    EXPECT_EQ(ok, 1);
    int64_t sum = 0;
    for (uint64_t i = 0; i < 20; ++i) sum += getElement(engine, b, i)->i;
    EXPECT_EQ(sum, 190);
    // A comparator that throws stops the sort with its error and leaves the elements.
    call(b, "sort", {getGlobal(engine, "thrower")});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), "stop");
    EXPECT_EQ(presentCount(b.arr), 20u);
    // A comparator that shrinks the array while it is sorted cannot corrupt it.
    ScriptValue victim = array({4, 3, 2, 1, 9, 8, 7, 6, 5, 0, 14, 13, 12, 11, 10, 19, 18, 17});
    setGlobal(engine, "victim", victim);
    call(victim, "sort", {getGlobal(engine, "mutator")});
    EXPECT_EQ(ok, 1);
    EXPECT_LE(presentCount(victim.arr), 18u);
}

TEST_F(BuiltinsCore, NumberText) {
    EXPECT_EQ(str(call(makeInteger(255), "toString", {makeInteger(16)})), "ff");
    EXPECT_EQ(str(call(makeInteger(-1), "toString", {makeInteger(16)})), "ffffffffffffffff");
    EXPECT_EQ(str(call(makeInteger(-1), "toString")), "-1");
    EXPECT_EQ(str(call(makeNumber(0.1), "toString")), "0.1");
    EXPECT_EQ(str(call(makeNumber(1234567.5), "toString", {makeInteger(16)})), "1.23457e+006");
    EXPECT_EQ(str(call(makeNumber(3.14159), "format", {newStringFromAscii(engine, "%.2f")})), "3.14");
    EXPECT_EQ(str(call(makeInteger(42), "format", {newStringFromAscii(engine, "%I64d")})), "42");
    EXPECT_EQ(str(call(makeNaN(), "format", {newStringFromAscii(engine, "%d")})), "NaN");
    EXPECT_EQ(str(call(makeInteger(42), "format")), "42");
    ScriptValue number = getGlobal(engine, "Number");
    EXPECT_EQ(str(call(number, "toString")), "[type Function]");
    uint32_t max = intern(engine, "MAX_VALUE");
    ScriptValue v;
    setProperty(engine, number, max, makeInteger(5));
    getProperty(engine, number, max, &v);
    EXPECT_EQ(v.d, 1.7976931348623157e308);
    getProperty(engine, makeInteger(1), intern(engine, "MIN_VALUE"), &v);
    EXPECT_EQ(v.d, 2.2250738585072014e-308);
    ScriptValue argv[2] = {makeInteger(1), newStringFromAscii(engine, "1.5")};
    callFunction(engine, "Number", nullptr, 2, argv);
    EXPECT_EQ(engine->returnSlot.d, 1.5);
    ScriptValue none[1] = {makeInteger(0)};
    callFunction(engine, "Number", nullptr, 1, none);
    EXPECT_EQ(engine->returnSlot.tag, kTagInteger);
}

TEST_F(BuiltinsCore, BooleanAndObject) {
    auto callGlobal = [&](const char* name, std::vector<ScriptValue> args) {
        std::vector<ScriptValue> argv = {makeInteger(int64_t(args.size()))};
        argv.insert(argv.end(), args.begin(), args.end());
        ok = callFunction(engine, name, nullptr, uint32_t(argv.size()), argv.data());
        return engine->returnSlot;
    };
    EXPECT_EQ(callGlobal("Boolean", {}).i, 0);
    EXPECT_EQ(callGlobal("Boolean", {newStringFromAscii(engine, "")}).i, 0);
    EXPECT_EQ(callGlobal("Boolean", {newStringFromAscii(engine, "0")}).i, 1);
    EXPECT_EQ(str(call(getGlobal(engine, "Boolean"), "toString")), "[type Function]");
    EXPECT_EQ(str(call(makeBoolean(true), "toString")), "true");
    EXPECT_EQ(callGlobal("Object", {}).tag, kTagObject);
    EXPECT_EQ(callGlobal("Object", {makeNull()}).tag, kTagObject);
    EXPECT_EQ(callGlobal("Object", {makeInteger(5)}).i, 5);
    callGlobal("Object", {makeNull(), makeNull()});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), "Runtime error: Can't convert to object");
    EXPECT_EQ(str(call(getGlobal(engine, "Object"), "toSource")), "new Object()");
    EXPECT_TRUE(call(makeObject(newObject(engine)), "toSource").isUndefined());
    EXPECT_EQ(str(call(makeObject(newObject(engine)), "toString")), "[object Object]");
}

}  // namespace
