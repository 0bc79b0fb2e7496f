// Script objects, host classes and property access on values: slot reuse, positional and by-name
// keys, enumeration order, prototype chains (cyclic ones included) and the property warnings.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine_fixture.h"

using namespace quill;
using namespace quill::test;

namespace {

class Objects : public EngineTest {
protected:
    uint32_t atom(const char* name) { return intern(engine, name); }
    ScriptValue s(const char* text) { return newStringFromAscii(engine, text); }
    std::vector<std::string> names(ScriptObject* o) {
        std::vector<std::string> out;
        ScriptValue name;
        for (uint32_t i = 0; propertyAt(engine, o, i, &name); ++i) out.push_back(str(name));
        return out;
    }
};

TEST_F(Objects, DeletedSlotsAreReusedInPlace) {
    ScriptObject* o = newObject(engine);
    setByAtom(engine, o, atom("a"), makeInteger(1));
    setByAtom(engine, o, atom("b"), makeInteger(2));
    setByAtom(engine, o, atom("c"), makeInteger(3));
    deleteByAtom(engine, o, atom("a"));
    deleteByAtom(engine, o, atom("b"));
    setByAtom(engine, o, atom("d"), makeInteger(4));
    // The last free slot met in the scan (b's) is taken; the count does not grow.
    EXPECT_EQ(o->count, 3u);
    EXPECT_EQ(o->slots[1].atom(), atom("d"));
    EXPECT_EQ(o->slots[0].atom(), kFreeSlot);
    ScriptValue v;
    EXPECT_EQ(lookup(engine, o, atom("a"), &v), 0);
    EXPECT_TRUE(v.isUndefined());
    deleteByAtom(engine, o, atom("missing"));  // deleting what is not there changes nothing
    EXPECT_EQ(o->count, 3u);
}

TEST_F(Objects, IntegerKeysAddressSlotsByPosition) {
    ScriptObject* o = newObject(engine);
    setByAtom(engine, o, atom("a"), s("A"));
    setByAtom(engine, o, atom("b"), s("B"));
    setByAtom(engine, o, atom("c"), s("C"));
    ScriptValue v;
    EXPECT_EQ(getByKey(engine, o, makeInteger(1), &v), 1);
    EXPECT_EQ(str(v), "B");
    setByKey(engine, o, makeInteger(5), s("five"));
    EXPECT_EQ(o->count, 6u);
    EXPECT_EQ(getByKey(engine, o, makeInteger(5), &v), 1);
    EXPECT_EQ(str(v), "five");
    EXPECT_EQ(getByKey(engine, o, makeInteger(4), &v), 1);
    EXPECT_TRUE(v.isUndefined());
    EXPECT_EQ(getByKey(engine, o, makeInteger(6), &v), 0);
    EXPECT_EQ(getByKey(engine, o, makeInteger(-1), &v), 0);
    EXPECT_EQ(getByKey(engine, o, makeInteger(int64_t(1) << 32), &v), 0);
    // Writing below the count keeps the slot's name.
    setByKey(engine, o, makeInteger(0), s("a2"));
    EXPECT_EQ(lookup(engine, o, atom("a"), &v), 1);
    EXPECT_EQ(str(v), "a2");
}

TEST_F(Objects, AppendedPositionalSlotsAreNamelessAndNeverReused) {
    ScriptObject* o = newObject(engine);
    setByKey(engine, o, makeInteger(2), s("x"));
    EXPECT_EQ(o->count, 3u);
    EXPECT_TRUE(names(o).empty());
    setByAtom(engine, o, atom("n"), makeInteger(1));
    EXPECT_EQ(o->count, 4u) << "a named property must not take an appended slot";
    // They never act as a prototype link either.
    ScriptObject* proto = newObject(engine);
    setByAtom(engine, proto, atom("inherited"), makeInteger(7));
    setByKey(engine, o, makeInteger(0), makeObject(proto));
    ScriptValue v;
    EXPECT_EQ(lookup(engine, o, atom("inherited"), &v), 0);
    // A huge position is refused instead of allocating gigabytes.
    EXPECT_EQ(guardHostCall(engine, [&] { setByKey(engine, o, makeInteger(4000000000LL), s("y")); }),
              0);
    EXPECT_EQ(errorText(), "Runtime error: Out of memory");
}

TEST_F(Objects, StringKeysFindOwnPropertiesOnlyWhileLookupFollowsTheChain) {
    ScriptObject* proto = newObject(engine);
    setByAtom(engine, proto, atom("inherited"), makeInteger(1));
    ScriptObject* o = newObjectWithProto(engine, proto);
    setByAtom(engine, o, atom("own"), makeInteger(2));
    ScriptValue v;
    EXPECT_EQ(getByKey(engine, o, s("own"), &v), 1);
    EXPECT_EQ(v.i, 2);
    EXPECT_EQ(getByKey(engine, o, s("inherited"), &v), 0);
    EXPECT_EQ(lookup(engine, o, atom("inherited"), &v), 1);
    EXPECT_EQ(v.i, 1);
    // Writing an unknown name through a string key adds an own property.
    setByKey(engine, o, s("fresh"), makeInteger(3));
    EXPECT_EQ(lookup(engine, o, atom("fresh"), &v), 1);
    deleteByKey(engine, o, s("fresh"));
    EXPECT_EQ(lookup(engine, o, atom("fresh"), &v), 0);
    // Keys of other types find nothing and write nothing.
    EXPECT_EQ(getByKey(engine, o, makeNumber(1.5), &v), 0);
    uint32_t before = o->count;
    setByKey(engine, o, makeBoolean(true), makeInteger(1));
    EXPECT_EQ(o->count, before);
}

TEST_F(Objects, EnumerationFollowsTheBucketOrder) {
    ScriptObject* o = newObject(engine);
    const char* keys[] = {"zeta", "alpha", "b", "a", "__proto__", "m1", "m2"};
    for (const char* k : keys) setByAtom(engine, o, atom(k), makeInteger(1));
    // Expected: buckets by name hash & 127 ascending; within a bucket, latest first.
    std::vector<std::pair<int, int>> order;  // (bucket, -insertion)
    for (int i = 0; i < 7; ++i) {
        order.emplace_back(nameHash(keys[i], std::strlen(keys[i])) & 127, -i);
    }
    std::vector<int> index(7);
    for (int i = 0; i < 7; ++i) index[i] = i;
    std::sort(index.begin(), index.end(), [&](int x, int y) { return order[x] < order[y]; });
    std::vector<std::string> expected;
    for (int i : index) expected.push_back(keys[i]);
    EXPECT_EQ(names(o), expected);
    // Deleting and adding after the index exists keeps it current.
    deleteByAtom(engine, o, atom("b"));
    setByAtom(engine, o, atom("late"), makeInteger(2));
    std::vector<std::string> now = names(o);
    EXPECT_EQ(std::count(now.begin(), now.end(), "b"), 0);
    EXPECT_EQ(std::count(now.begin(), now.end(), "late"), 1);
    EXPECT_EQ(now.size(), 7u);
}

TEST_F(Objects, PrototypeCyclesAnswerNotFound) {
    ScriptObject* a = newObject(engine);
    ScriptObject* b = newObject(engine);
    setByAtom(engine, a, engine->atomProto, makeObject(b));
    setByAtom(engine, b, engine->atomProto, makeObject(a));
    setByAtom(engine, b, atom("found"), makeInteger(9));
    ScriptValue v;
    EXPECT_EQ(lookup(engine, a, atom("missing"), &v), 0);
    EXPECT_EQ(lookup(engine, a, atom("found"), &v), 1);
    EXPECT_EQ(v.i, 9);
    // A self-loop and a long chain ending in a loop.
    ScriptObject* self = newObject(engine);
    setByAtom(engine, self, engine->atomProto, makeObject(self));
    EXPECT_EQ(lookup(engine, self, atom("missing"), &v), 0);
    std::vector<ScriptObject*> chain;
    for (int i = 0; i < 100; ++i) chain.push_back(newObject(engine));
    for (int i = 0; i < 99; ++i) setByAtom(engine, chain[i], engine->atomProto, makeObject(chain[i + 1]));
    setByAtom(engine, chain[99], engine->atomProto, makeObject(chain[50]));
    setByAtom(engine, chain[70], atom("deep"), makeInteger(70));
    EXPECT_EQ(lookup(engine, chain[0], atom("missing"), &v), 0);
    EXPECT_EQ(lookup(engine, chain[0], atom("deep"), &v), 1);
}

int propertyHookCalls = 0;

int testPropertyHook(ScriptEngine* e, ClassDescriptor*, void*, uint32_t atom, int mode,
                     ScriptValue* value) {
    ++propertyHookCalls;
    if (std::strcmp(atomName(e, atom), "magic") != 0) {
        if (mode == 0) *value = makeUndefined();
        return 0;
    }
    if (mode == 0) *value = makeInteger(42);
    return 1;
}

TEST_F(Objects, HostPropertiesAndTheirWarnings) {
    ClassDescriptor* cls = registerClass(engine, "Thing");
    cls->property = testPropertyHook;
    static int data;
    ScriptValue thing;
    newHostValue(engine, &thing, cls, &data);
    setGlobal(engine, "thing", thing);
    EXPECT_TRUE(isHostInstanceOf(engine, thing, "Thing"));
    EXPECT_FALSE(isHostInstanceOf(engine, thing, "Other"));
    EXPECT_FALSE(isHostInstanceOf(engine, makeInteger(1), "Thing"));

    ScriptValue v;
    EXPECT_EQ(getProperty(engine, thing, atom("magic"), &v), 1);
    EXPECT_EQ(v.i, 42);
    setProperty(engine, thing, atom("x"), makeInteger(5));
    EXPECT_EQ(getProperty(engine, thing, atom("x"), &v), 1);
    EXPECT_EQ(v.i, 5);
    setProperty(engine, thing, engine->atomProto, makeInteger(3));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: can't set property \"__proto__\" with a wrong type");
    // __proto__ of an instance answers its props object.
    EXPECT_EQ(getProperty(engine, thing, engine->atomProto, &v), 1);
    EXPECT_EQ(v.tag, kTagObject);

    // A class without a property hook has nothing to read or write.
    ClassDescriptor* plain = registerClass(engine, "Plain");
    ScriptValue p;
    newHostValue(engine, &p, plain, &data);
    EXPECT_EQ(getProperty(engine, p, atom("x"), &v), 0);
    setProperty(engine, p, atom("x"), makeInteger(1));
    EXPECT_EQ(trace.back(), "Warning: using undefined property \"x\"");
    // Values without a type entry warn too.
    setProperty(engine, makeInteger(1), atom("y"), makeInteger(1));
    EXPECT_EQ(trace.back(), "Warning: using undefined property \"y\"");

    // setPropertyIfPresent stores only where the name already exists.
    ScriptObject* o = newObject(engine);
    setByAtom(engine, o, atom("have"), makeInteger(1));
    EXPECT_EQ(setPropertyIfPresent(engine, makeObject(o), atom("have"), makeInteger(2)), 1);
    EXPECT_EQ(setPropertyIfPresent(engine, makeObject(o), atom("nope"), makeInteger(2)), 0);
    EXPECT_EQ(findOwnSlot(o, atom("nope")), -1);
    EXPECT_EQ(setPropertyIfPresent(engine, thing, atom("x"), makeInteger(6)), 1);
    EXPECT_EQ(setPropertyIfPresent(engine, thing, atom("unknownName"), makeInteger(6)), 0);
}

class Conversions : public EngineTest {
protected:
    ScriptValue num(const char* text) { return toNumber(engine, newStringFromAscii(engine, text)); }
    std::string text(const ScriptValue& v) { return str(toString(engine, v)); }
};

TEST_F(Conversions, NumericTextFollowsTheRadixAndFallbackRules) {
    ScriptValue v = num("");
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, 0);
    v = num("  0x10");
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, 16);
    v = num("1.5e3");
    EXPECT_EQ(v.tag, kTagNumber);
    EXPECT_EQ(v.d, 1500.0);
    v = num("08");
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, 0);
    EXPECT_EQ(num("010").i, 8);
    EXPECT_EQ(num("12abc").i, 12);
    EXPECT_EQ(num("0x1F").i, 31);
    EXPECT_EQ(num("-0x1F").i, -31);
    EXPECT_EQ(num("abc").tag, kTagNaN);
    EXPECT_EQ(num("   ").tag, kTagNaN);
    EXPECT_EQ(num("-").tag, kTagNaN);
    v = num("12d");
    EXPECT_EQ(v.tag, kTagNumber);
    EXPECT_EQ(v.d, 12.0);
    v = num("1D2");
    EXPECT_EQ(v.d, 100.0);
    v = num("0.5");
    EXPECT_EQ(v.d, 0.5);
    v = num(".5");
    EXPECT_EQ(v.d, 0.5);
}

TEST_F(Conversions, OverflowingDigitsBecomeDoubles) {
    ScriptValue v = num("9223372036854775807");
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, INT64_MAX);
    v = num("9223372036854775808");
    EXPECT_EQ(v.tag, kTagNumber);
    EXPECT_EQ(v.d, 9223372036854775808.0);
    v = num("-9223372036854775809");
    EXPECT_EQ(v.d, -9223372036854775808.0);
    v = num("0xFFFFFFFFFFFFFFFF");
    EXPECT_EQ(v.tag, kTagNumber);
    EXPECT_EQ(v.d, 18446744073709551616.0);
    // Near 2^72 doubles are 2^20 apart: halfway cases go to the even neighbour.
    const double base = std::ldexp(1.0, 72);
    EXPECT_EQ(num("0x1000000000000080000").d, base);
    EXPECT_EQ(num("0x1000000000000080001").d, base + std::ldexp(1.0, 20));
    EXPECT_EQ(num("0x1000000000000180000").d, base + std::ldexp(1.0, 21));
    EXPECT_EQ(num("-0x1000000000000080001").d, -(base + std::ldexp(1.0, 20)));
    v = num("077777777777777777777777");
    EXPECT_EQ(v.tag, kTagNumber);
}

TEST_F(Conversions, PrimitiveText) {
    EXPECT_EQ(text(makeNull()), "undefined");
    EXPECT_EQ(text(makeUndefined()), "undefined");
    EXPECT_EQ(text(makeBoolean(true)), "true");
    EXPECT_EQ(text(makeInteger(-42)), "-42");
    EXPECT_EQ(text(makeInteger(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(text(makeNumber(1.0 / 3)), "0.333333");
    EXPECT_EQ(text(makeNumber(2.0)), "2");
    EXPECT_EQ(text(makeNumber(1234567.5)), "1.23457e+006");
    EXPECT_EQ(text(makeNaN()), "NaN");
    EXPECT_EQ(text(makeAtom(intern(engine, "someAtom"))), "someAtom");
    // A plain object answers through the Object class.
    EXPECT_EQ(text(makeObject(newObject(engine))), "[object Object]");
}

TEST_F(Conversions, BooleansIntegersAndObjects) {
    EXPECT_EQ(toBoolean(engine, newStringFromAscii(engine, "")), 0);
    EXPECT_EQ(toBoolean(engine, newStringFromAscii(engine, "0")), 1);
    EXPECT_EQ(toBoolean(engine, makeNumber(0.0)), 0);
    EXPECT_EQ(toBoolean(engine, makeNumber(-0.0)), 0);
    EXPECT_EQ(toBoolean(engine, makeNaN()), 0);
    EXPECT_EQ(toBoolean(engine, makeObject(newObject(engine))), 1);
    EXPECT_EQ(toBoolean(engine, makeAtom(1)), 0);

    EXPECT_EQ(toInt64(engine, makeNumber(-2.9)), -2);
    EXPECT_EQ(toInt64(engine, makeNumber(1e300)), INT64_MIN);
    EXPECT_EQ(toInt64(engine, makeNumber(HUGE_VAL)), 0);
    EXPECT_EQ(toInt64(engine, makeNaN()), 0);
    EXPECT_EQ(toInt64(engine, newStringFromAscii(engine, "0x10")), 16);
    EXPECT_EQ(toInt32(engine, makeInteger(0x100000005LL)), 5);
    EXPECT_EQ(toInt32(engine, makeInteger(0xFFFFFFFFLL)), -1);

    ScriptValue original = newStringFromAscii(engine, "abc");
    ScriptValue copy = toObject(engine, original);
    EXPECT_NE(copy.str, original.str);
    EXPECT_EQ(str(copy), "abc");
    EXPECT_EQ(toObject(engine, makeInteger(5)).i, 5);
    EXPECT_EQ(guardHostCall(engine, [&] { toObject(engine, makeNull()); }), 0);
    EXPECT_EQ(errorText(), "Runtime error: Can't convert to object");
    EXPECT_EQ(guardHostCall(engine, [&] { toPrimitive(engine, makeAtom(1), 0); }), 0);
    EXPECT_EQ(errorText(), "Runtime error: Can't convert to primitive type");
    // A host value without a method hook cannot become a primitive.
    ClassDescriptor* cls = registerClass(engine, "Opaque");
    static int data;
    ScriptValue h;
    newHostValue(engine, &h, cls, &data);
    EXPECT_EQ(guardHostCall(engine, [&] { toNumber(engine, h); }), 0);
    EXPECT_EQ(errorText(), "Runtime error: Can't convert to primitive type");
}

}  // namespace
