// The interpreter, driven by modules built with the writer: calls and frames, the operators'
// number rules, strings, `with`, `try`/`throw`, the stack limit, the collection hook and the
// host entry points.
#include <cmath>

#include "engine_fixture.h"
#include "runtime/array.h"

using namespace quill;
using namespace quill::test;

namespace {

class Interpreter : public EngineTest {
protected:
    // Runs `.main` made of the given body and returns the value it leaves.
    template <typename Body>
    ScriptValue main(Body&& body) {
        Asm a;
        a.fn(".main");
        body(a);
        return eval(a);
    }
};

// Pushes of literal operands.
void pushValue(Asm& a, const ScriptValue& v) {
    switch (v.tag) {
        case kTagInteger:
            a.integer(v.i);
            break;
        case kTagNumber:
            a.number(v.d);
            break;
        case kTagNull:
            a.op(OP_PUSH_NULL);
            break;
        case kTagUndefined:
            a.op(OP_PUSH_UNDEFINED);
            break;
        case kTagBoolean:
            a.op(v.i ? OP_PUSH_TRUE : OP_PUSH_FALSE);
            break;
        default:
            a.op(OP_PUSH_NULL);
    }
}

TEST_F(Interpreter, DivisionModuloAndOverflowFollowTheNumberRules) {
    auto op2 = [&](ScriptValue l, ScriptValue r, uint8_t op) {
        return main([&](Asm& a) {
            pushValue(a, l);
            pushValue(a, r);
            a.op(op);
        });
    };
    ScriptValue v = op2(makeInteger(7), makeInteger(2), OP_DIV);
    EXPECT_EQ(v.tag, kTagNumber);
    EXPECT_EQ(v.d, 3.5);
    v = op2(makeInteger(4), makeInteger(2), OP_DIV);
    EXPECT_EQ(v.tag, kTagNumber);
    EXPECT_EQ(v.d, 2.0);
    v = op2(makeInteger(7), makeInteger(2), OP_MOD);
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, 1);
    v = op2(makeInteger(-7), makeInteger(2), OP_MOD);
    EXPECT_EQ(v.i, -1);
    v = op2(makeNumber(7.5), makeInteger(2), OP_MOD);
    EXPECT_EQ(v.d, 1.5);
    EXPECT_EQ(op2(makeInteger(5), makeInteger(0), OP_MOD).tag, kTagNaN);
    EXPECT_EQ(op2(makeInteger(INT64_MIN), makeInteger(-1), OP_MOD).i, 0);
    v = op2(makeInteger(1), makeInteger(0), OP_DIV);
    EXPECT_TRUE(v.tag == kTagNumber && std::isinf(v.d) && v.d > 0);
    v = op2(makeInteger(-1), makeInteger(0), OP_DIV);
    EXPECT_TRUE(v.tag == kTagNumber && std::isinf(v.d) && v.d < 0);
    EXPECT_EQ(op2(makeInteger(0), makeInteger(0), OP_DIV).tag, kTagNaN);
    v = op2(makeInteger(INT64_MAX), makeInteger(1), OP_ADD);
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, INT64_MIN);
    EXPECT_EQ(op2(makeInteger(INT64_MIN), makeInteger(1), OP_SUB).i, INT64_MAX);
    EXPECT_EQ(op2(makeInteger(int64_t(1) << 62), makeInteger(4), OP_MUL).i, 0);
    v = op2(makeInteger(3), makeNumber(0.5), OP_MUL);
    EXPECT_EQ(v.d, 1.5);
    EXPECT_EQ(op2(makeNumber(HUGE_VAL), makeInteger(0), OP_MUL).tag, kTagNaN);
    EXPECT_EQ(op2(makeNumber(HUGE_VAL), makeNumber(HUGE_VAL), OP_SUB).tag, kTagNaN);
    v = op2(makeNumber(HUGE_VAL), makeNumber(-0.0), OP_DIV);
    EXPECT_TRUE(std::isinf(v.d) && v.d > 0);
}

TEST_F(Interpreter, ShiftsAndBitOperationsAreSixtyFourBit) {
    auto op2 = [&](int64_t l, int64_t r, uint8_t op) {
        return main([&](Asm& a) {
            a.integer(l).integer(r).op(op);
        }).i;
    };
    EXPECT_EQ(op2(-1, 1, OP_USHR), INT64_MAX);
    EXPECT_EQ(op2(-1, 0, OP_USHR), -1);
    EXPECT_EQ(op2(-8, 1, OP_SHR), -4);
    EXPECT_EQ(op2(-8, 64, OP_SHR), -1);
    EXPECT_EQ(op2(1, 64, OP_SHL), 0);
    EXPECT_EQ(op2(1, 63, OP_SHL), INT64_MIN);
    EXPECT_EQ(op2(1, 0x101, OP_SHL), 2);  // only the low byte of the count
    EXPECT_EQ(op2(0xF0, 0x3C, OP_BIT_AND), 0x30);
    EXPECT_EQ(op2(0xF0, 0x0F, OP_BIT_OR), 0xFF);
    EXPECT_EQ(op2(0xFF, 0x0F, OP_BIT_XOR), 0xF0);
    // Doubles and strings go through the 64-bit conversion.
    ScriptValue v = main([&](Asm& a) { a.number(6.9).string("3").op(OP_BIT_AND); });
    EXPECT_EQ(v.tag, kTagInteger);
    EXPECT_EQ(v.i, 2);
}

TEST_F(Interpreter, ComparisonsAndEquality) {
    // NaN < 1 is undefined, not false.
    ScriptValue v = main([&](Asm& a) {
        a.integer(0).integer(0).op(OP_DIV).integer(1).op(OP_LT);
    });
    EXPECT_TRUE(v.isUndefined());
    v = main([&](Asm& a) { a.integer(0).integer(0).op(OP_DIV).integer(1).op(OP_LT).op(OP_TYPEOF); });
    EXPECT_EQ(str(v), "undefined");
    auto truth = [&](auto&& body) {
        ScriptValue r = main(body);
        EXPECT_EQ(r.tag, kTagBoolean);
        return r.i != 0;
    };
    EXPECT_TRUE(truth([](Asm& a) { a.string("5").integer(5).op(OP_EQ); }));
    EXPECT_FALSE(truth([](Asm& a) { a.string("5").integer(5).op(OP_STRICT_EQ); }));
    EXPECT_TRUE(truth([](Asm& a) { a.op(OP_PUSH_NULL).op(OP_PUSH_UNDEFINED).op(OP_EQ); }));
    EXPECT_FALSE(truth([](Asm& a) { a.op(OP_PUSH_NULL).op(OP_PUSH_UNDEFINED).op(OP_STRICT_EQ); }));
    EXPECT_TRUE(truth([](Asm& a) {
        a.integer(0).integer(0).op(OP_DIV).integer(0).integer(0).op(OP_DIV).op(OP_NE);
    }));
    EXPECT_TRUE(truth([](Asm& a) { a.integer(2).number(2.0).op(OP_STRICT_EQ); }));
    EXPECT_TRUE(truth([](Asm& a) { a.op(OP_PUSH_TRUE).integer(1).op(OP_EQ); }));
    EXPECT_TRUE(truth([](Asm& a) { a.string("abc").string("abd").op(OP_LT); }));
    EXPECT_TRUE(truth([](Asm& a) { a.string("ab").string("abc").op(OP_LT); }));
    EXPECT_TRUE(truth([](Asm& a) { a.string("10").integer(9).op(OP_GT); }));
    EXPECT_TRUE(truth([](Asm& a) { a.integer(3).number(3.5).op(OP_LE); }));
    EXPECT_TRUE(truth([](Asm& a) { a.integer(4).integer(4).op(OP_GE); }));
    // Two different arrays are unequal under both equalities; one array equals itself.
    EXPECT_FALSE(truth([](Asm& a) {
        a.call("mkarr", 0, [](Asm&) {}).call("mkarr", 0, [](Asm&) {}).op(OP_EQ);
    }));
    EXPECT_TRUE(truth([](Asm& a) { a.call("mkarr", 0, [](Asm&) {}).op(OP_DUP).op(OP_STRICT_EQ); }));
}

TEST_F(Interpreter, MissingArgumentsReadUndefinedAndTheCallerStackIsRestored) {
    Asm a;
    // function f(a, b, c) { var x; x = 5; return [typeof c, count] } -- returns b's type
    a.fn("f").prologue(3, 1).op(OP_PUSH_INT, 5).op(OP_STORE_LOCAL, 0);
    a.op(OP_LOAD_ARG, 4).op(OP_TYPEOF).op(OP_RETURN);
    a.fn(".main");
    a.string("sentinel");
    a.call("f", 1, [](Asm& x) { x.integer(10); });  // one argument of three
    a.op(OP_POP);  // the result
    eval(a);
    EXPECT_EQ(str(engine->returnSlot), "sentinel");
    // The callee's own view.
    Asm b;
    b.fn(".main").call("f", 0, [](Asm&) {});
    EXPECT_EQ(str(eval(b)), "undefined");
    // More arguments than parameters: nothing is padded.
    Asm c;
    c.fn("g").prologue(1).op(OP_LOAD_ARG, 1).op(OP_RETURN);
    c.fn(".main").string("s").call("g", 4, [](Asm& x) {
        x.integer(4).integer(3).integer(2).integer(1);
    });
    c.op(OP_POP);
    EXPECT_EQ(str(eval(c)), "s");
    Asm d;
    d.fn(".main").call("g", 4, [](Asm& x) { x.integer(4).integer(3).integer(2).integer(1); });
    EXPECT_EQ(eval(d).i, 4);
}

TEST_F(Interpreter, ArgumentAccessOutsideTheFrameReadsUndefinedAndWritesNothing) {
    Asm a;
    a.fn("f").prologue(1);
    a.integer(99).op(OP_STORE_ARG, 40);  // outside: ignored
    a.op(OP_LOAD_ARG, 40).op(OP_TYPEOF);
    a.op(OP_PUSH_INT, 500).op(OP_GET_ARG_AT).op(OP_TYPEOF).op(OP_ADD);
    a.op(OP_PUSH_INT, -1).op(OP_GET_ARG_AT).op(OP_TYPEOF).op(OP_ADD);
    a.op(OP_RETURN);
    a.fn(".main").string("keep").call("f", 1, [](Asm& x) { x.integer(1); });
    EXPECT_EQ(str(eval(a)), "undefinedundefinedundefined");
    EXPECT_EQ(engine->stackTop, engine->stackEnd);
}

TEST_F(Interpreter, JumpsIntoTheMiddleOfCommonSequencesRunThemFromThere) {
    // x = 10; then either x = x + 1 from its start, or a jump past the LOAD_LOCAL with 100
    // already pushed: the rest of the sequence must still add one and store.
    auto step = [&](bool enterInside) {
        Asm a;
        a.fn("f").prologue(0, 1).integer(10).op(OP_STORE_LOCAL, 0);
        if (enterInside) a.integer(100).jump(OP_JUMP, 1);
        a.op(OP_LOAD_LOCAL, 0).label(1).op(OP_PUSH_1).op(OP_ADD).op(OP_STORE_LOCAL, 0);
        a.op(OP_LOAD_LOCAL, 0).op(OP_RETURN);
        a.fn(".main").call("f", 0, [](Asm&) {});
        return eval(a).i;
    };
    EXPECT_EQ(step(false), 11);
    EXPECT_EQ(step(true), 101);
    // arr[i] with the array local skipped: the element of whatever container was pushed.
    auto element = [&](bool enterInside) {
        Asm a;
        a.fn("f").prologue(0, 2).string("xyz").op(OP_STORE_LOCAL, 0);
        a.integer(2).op(OP_STORE_LOCAL, 1);
        if (enterInside) a.string("abc").jump(OP_JUMP, 1);
        a.op(OP_LOAD_LOCAL, 0).label(1).op(OP_LOAD_LOCAL, 1).op(OP_GET_ELEMENT).op(OP_RETURN);
        a.fn(".main").call("f", 0, [](Asm&) {});
        return eval(a).i;
    };
    EXPECT_EQ(element(false), 'z');
    EXPECT_EQ(element(true), 'c');
    // for (i = 0; i < n; i = i + 1) with n = 3: the first test runs from its start, the later
    // ones are entered at the load of n with i pushed by the loop's own back jump.
    Asm c;
    c.fn("f").prologue(0, 2).integer(0).op(OP_STORE_LOCAL, 0).integer(3).op(OP_STORE_LOCAL, 1);
    c.op(OP_LOAD_LOCAL, 0).label(2).op(OP_LOAD_LOCAL, 1).op(OP_LT).jump(OP_JUMP_IF_ZERO, 3);
    c.op(OP_LOAD_LOCAL, 0).op(OP_PUSH_1).op(OP_ADD).op(OP_STORE_LOCAL, 0);
    c.op(OP_LOAD_LOCAL, 0).jump(OP_JUMP, 2);
    c.label(3).op(OP_LOAD_LOCAL, 0).op(OP_RETURN);
    c.fn(".main").call("f", 0, [](Asm&) {});
    EXPECT_EQ(eval(c).i, 3);
}

TEST_F(Interpreter, StringElementAssignmentChangesTheSharedRecord) {
    ScriptValue v = main([](Asm& a) {
        a.string("ab").string("c").op(OP_ADD).op(OP_DUP).name(OP_STORE_GLOBAL, "s1");
        a.name(OP_STORE_GLOBAL, "s2");
        a.integer(65).name(OP_LOAD_GLOBAL, "s1").integer(10).op(OP_SET_ELEMENT);
        a.integer(0x263A).name(OP_LOAD_GLOBAL, "s1").integer(1).op(OP_SET_ELEMENT);
        a.string("Zed").name(OP_LOAD_GLOBAL, "s1").integer(2).op(OP_SET_ELEMENT);
        a.name(OP_LOAD_GLOBAL, "s2");
    });
    EXPECT_EQ(stringView(v), u"a:Z       A");
    // Constants are static and refuse changes.
    trace.clear();
    v = main([](Asm& a) {
        a.string("abc").op(OP_DUP).name(OP_STORE_GLOBAL, "k");
        a.integer(65).op(OP_SWAP).integer(0).op(OP_SET_ELEMENT);
        a.name(OP_LOAD_GLOBAL, "k");
    });
    EXPECT_EQ(str(v), "abc");
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "Warning: can't change a static string");
    // Reading out of range warns.
    v = main([](Asm& a) { a.string("abc").integer(3).op(OP_GET_ELEMENT); });
    EXPECT_TRUE(v.isUndefined());
    EXPECT_EQ(trace.back(), "Warning: string index out of range");
    v = main([](Asm& a) { a.string("abc").integer(1).op(OP_GET_ELEMENT); });
    EXPECT_EQ(v.i, 'b');
}

TEST_F(Interpreter, UncaughtThrowThroughCallFunctionReportsTheText) {
    Asm a;
    a.fn("g").prologue(0).string("boom").op(OP_THROW);
    a.fn("h").prologue(0).string("fine").op(OP_RETURN);
    a.fn(".main").op(OP_PUSH_UNDEFINED);
    eval(a);
    ScriptValue argv[1] = {makeInteger(0)};
    EXPECT_EQ(callFunction(engine, "g", nullptr, 1, argv), 0);
    EXPECT_EQ(errorText(), "boom");
    EXPECT_EQ(callFunction(engine, "h", nullptr, 1, argv), 1);
    EXPECT_EQ(str(engine->returnSlot), "fine");
    EXPECT_EQ(callFunction(engine, "noSuchFunction", nullptr, 1, argv), 0);
    EXPECT_EQ(errorText(), "Warning: call a undefined function");
    EXPECT_EQ(engine->stackTop, engine->stackEnd);
}

TEST_F(Interpreter, TryCatchesThrowsAndRuntimeErrors) {
    // try { throw 5 } catch (e) { e + 1 }
    ScriptValue v = main([](Asm& a) {
        a.jump(OP_TRY, 1).integer(5).op(OP_THROW).label(1).integer(1).op(OP_ADD);
    });
    EXPECT_EQ(v.i, 6);
    // A throw from a called function reaches the caller's try, with the stack restored.
    Asm b;
    b.fn("thrower").prologue(0).string("x").op(OP_THROW);
    b.fn(".main").string("below").jump(OP_TRY, 1);
    b.call("thrower", 0, [](Asm&) {}).op(OP_POP_TRAPS, 1).jump(OP_JUMP, 2);
    b.label(1).op(OP_POP).label(2);
    EXPECT_EQ(str(eval(b)), "below");
    // A runtime error becomes the string "Runtime error: ...".
    ClassDescriptor* cls = registerClass(engine, "Opaque");
    static int data;
    ScriptValue opaque;
    newHostValue(engine, &opaque, cls, &data);
    setGlobal(engine, "opaque", opaque);
    v = main([](Asm& a) {
        a.jump(OP_TRY, 1).name(OP_LOAD_GLOBAL, "opaque").integer(1).op(OP_SUB);
        a.op(OP_POP_TRAPS, 1).label(1);
    });
    EXPECT_EQ(str(v), "Runtime error: Can't convert to primitive type");
}

TEST_F(Interpreter, RunawayRecursionInsideTryIsCaughtAsStackOverflow) {
    Asm a;
    a.fn("f").prologue(0).call("f", 0, [](Asm&) {}).op(OP_RETURN);
    a.fn(".main").jump(OP_TRY, 1).call("f", 0, [](Asm&) {}).op(OP_POP_TRAPS, 1).label(1);
    EXPECT_EQ(str(eval(a)), "Runtime error: stack overflow");
    // Uncaught, it fails the run and leaves the message.
    Asm b;
    b.fn("f").prologue(0).call("f", 0, [](Asm&) {}).op(OP_RETURN);
    b.fn(".main").call("f", 0, [](Asm&) {});
    EXPECT_EQ(runBytes(b.bytes()), 0);
    EXPECT_EQ(errorText(), "Runtime error: stack overflow");
    EXPECT_EQ(engine->stackTop, engine->stackEnd);
    EXPECT_TRUE(engine->traps.empty());
}

TEST_F(Interpreter, NestedWithScopesResolveToTheScopeEnteredFirst) {
    ScriptValue v = main([](Asm& a) {
        a.call("mkobj", 0, [](Asm&) {}).op(OP_DUP).integer(1).op(OP_SWAP).name(OP_SET_PROPERTY, "x");
        a.op(OP_PUSH_WITH);
        a.call("mkobj", 0, [](Asm&) {}).op(OP_DUP).integer(2).op(OP_SWAP).name(OP_SET_PROPERTY, "x");
        a.op(OP_DUP).integer(3).op(OP_SWAP).name(OP_SET_PROPERTY, "y");
        a.op(OP_PUSH_WITH);
        a.name(OP_GET_NAME, "x").integer(10).op(OP_MUL);
        a.name(OP_GET_NAME, "y").op(OP_ADD);
        // SET_NAME stores into the first scope that has the name, else into the global.
        a.integer(7).name(OP_SET_NAME, "y").integer(8).name(OP_SET_NAME, "z");
        a.name(OP_GET_NAME, "y").op(OP_ADD);
        a.op(OP_POP_WITH, 2);
        a.name(OP_GET_NAME, "z").op(OP_ADD);
    });
    EXPECT_EQ(v.i, 10 + 3 + 7 + 8);
    EXPECT_EQ(getGlobal(engine, "z").i, 8);
}

TEST_F(Interpreter, ErrorsInsideWithLeaveTheScopeAtTheCatch) {
    ClassDescriptor* cls = registerClass(engine, "Opaque2");
    static int data;
    ScriptValue opaque;
    newHostValue(engine, &opaque, cls, &data);
    setGlobal(engine, "opaque", opaque);
    setGlobal(engine, "x", makeInteger(100));
    ScriptValue v = main([](Asm& a) {
        a.jump(OP_TRY, 1);
        a.call("mkobj", 0, [](Asm&) {}).op(OP_DUP).integer(1).op(OP_SWAP).name(OP_SET_PROPERTY, "x");
        a.op(OP_PUSH_WITH);
        a.name(OP_LOAD_GLOBAL, "opaque").integer(1).op(OP_SUB);  // fails inside the with
        a.label(1).op(OP_POP).name(OP_GET_NAME, "x");
    });
    EXPECT_EQ(v.i, 100);
}

int hookCalls = 0;
int stopAfterTen(int reason, void*) {
    EXPECT_EQ(reason, 2);
    return ++hookCalls >= 10 ? 7 : 0;
}

TEST_F(Interpreter, CollectionHookStopsLongRunningScripts) {
    EngineConfig config;
    config.hook = stopAfterTen;
    restart(config);
    hookCalls = 0;
    // while (true) typeof 1;  -- TYPEOF is a collection point
    Asm a;
    a.fn(".main").label(1).integer(1).op(OP_TYPEOF).op(OP_POP).jump(OP_JUMP, 1);
    EXPECT_EQ(runBytes(a.bytes()), 0);
    EXPECT_EQ(errorText(), "Runtime error: hook break 7");
    // A loop with no collection point at all is stopped through its backward jumps.
    hookCalls = 0;
    Asm b;
    b.fn(".main").label(1).jump(OP_JUMP, 1);
    EXPECT_EQ(runBytes(b.bytes()), 0);
    EXPECT_EQ(errorText(), "Runtime error: hook break 7");
}

TEST_F(Interpreter, ConstructorsAndMethods) {
    Asm a;
    // function Point(x) { this.x = x; }  p = new Point(41); p.getX = getX; p.getX() + 1
    a.fn("Point").prologue(1).op(OP_LOAD_ARG, 2).op(OP_LOAD_ARG, 0).name(OP_SET_PROPERTY, "x");
    a.op(OP_PUSH_UNDEFINED).op(OP_RETURN);
    a.fn("getX").prologue(0).op(OP_LOAD_ARG, 0).name(OP_GET_PROPERTY, "x").op(OP_RETURN);
    a.fn(".main");
    a.integer(41).op(OP_PUSH_1).name(OP_LOAD_GLOBAL, "Point").op(OP_NEW).op(OP_SWAP).op(OP_COLLAPSE, 3);
    a.op(OP_DUP).name(OP_STORE_GLOBAL, "p");
    a.name(OP_LOAD_GLOBAL, "getX").op(OP_SWAP).name(OP_SET_PROPERTY, "getX");
    a.op(OP_PUSH_0).name(OP_LOAD_GLOBAL, "p").name(OP_CALL_METHOD, "getX").op(OP_COLLAPSE, 2);
    a.op(OP_INCREMENT);
    EXPECT_EQ(eval(a).i, 42);
    // The instance's prototype is the constructor's own property object.
    ScriptValue p = getGlobal(engine, "p");
    ScriptValue proto;
    ASSERT_EQ(lookup(engine, p.obj, engine->atomProto, &proto), 1);
    ASSERT_EQ(proto.tag, kTagObject);
    EXPECT_EQ(proto.obj, getGlobal(engine, "Point").fn->props);
    // Unknown methods warn and give undefined.
    trace.clear();
    ScriptValue v = main([](Asm& x) {
        x.op(OP_PUSH_0).name(OP_LOAD_GLOBAL, "p").name(OP_CALL_METHOD, "nope").op(OP_COLLAPSE, 2);
    });
    EXPECT_TRUE(v.isUndefined());
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "Warning: unknown method \"nope\"");
    // new on something that is not a constructor warns; the value itself is what remains.
    v = main([](Asm& x) { x.op(OP_PUSH_0).op(OP_PUSH_NULL).op(OP_NEW).op(OP_SWAP).op(OP_COLLAPSE, 2); });
    EXPECT_TRUE(v.isNull());
    EXPECT_EQ(trace.back(), "Warning: invalid constructor");
}

TEST_F(Interpreter, ElementsOfObjectsAndArraysAndForInStepping) {
    ScriptValue v = main([](Asm& a) {
        a.call("mkarr", 0, [](Asm&) {}).name(OP_STORE_GLOBAL, "arr");
        a.string("x").name(OP_LOAD_GLOBAL, "arr").integer(2).op(OP_SET_ELEMENT);
        a.string("y").name(OP_LOAD_GLOBAL, "arr").number(0.9).op(OP_SET_ELEMENT);
        a.name(OP_LOAD_GLOBAL, "arr").integer(0).op(OP_GET_ELEMENT);
    });
    EXPECT_EQ(str(v), "y");
    ScriptValue arr = getGlobal(engine, "arr");
    ASSERT_EQ(arr.tag, kTagArray);
    EXPECT_EQ(arr.arr->length, 3u);
    EXPECT_EQ(getElement(engine, arr, 1), nullptr);  // a hole
    // delete closes the gap.
    main([](Asm& a) { a.name(OP_LOAD_GLOBAL, "arr").integer(0).op(OP_DELETE_ELEMENT); });
    EXPECT_EQ(arr.arr->length, 2u);
    EXPECT_EQ(str(*getElement(engine, arr, 1)), "x");
    // Negative keys are refused with a warning rather than wrapping.
    trace.clear();
    main([](Asm& a) { a.integer(1).name(OP_LOAD_GLOBAL, "arr").integer(-1).op(OP_SET_ELEMENT).op(OP_PUSH_NULL); });
    EXPECT_EQ(arr.arr->length, 2u);
    EXPECT_EQ(trace.back(), "Warning: invalid index for operator []");
    // ENUM_NEXT over a string yields code units and then ends.
    v = main([](Asm& a) {
        a.string("hi").integer(1).op(OP_ENUM_NEXT).op(OP_POP);
    });
    EXPECT_EQ(v.i, 'i');
    v = main([](Asm& a) { a.string("hi").integer(2).op(OP_ENUM_NEXT); });
    EXPECT_EQ(v.tag, kTagBoolean);
    EXPECT_EQ(v.i, 0);
}

TEST_F(Interpreter, HaltEndsTheRunAndJumpOfZeroContinues) {
    ScriptValue v = main([](Asm& a) {
        a.integer(1).jump(OP_JUMP, 5).label(5).integer(2).op(OP_ADD).op(OP_HALT).integer(100);
    });
    EXPECT_EQ(v.i, 3);
}

TEST_F(Interpreter, CallMethodEntryPoint) {
    Asm a;
    a.fn("m").prologue(1).op(OP_LOAD_ARG, 0).name(OP_GET_PROPERTY, "base").op(OP_LOAD_ARG, 2).op(OP_ADD).op(OP_RETURN);
    a.fn(".main").call("mkobj", 0, [](Asm&) {}).op(OP_DUP).name(OP_STORE_GLOBAL, "o");
    a.op(OP_DUP).integer(40).op(OP_SWAP).name(OP_SET_PROPERTY, "base");
    a.name(OP_LOAD_GLOBAL, "m").op(OP_SWAP).name(OP_SET_PROPERTY, "add");
    a.op(OP_PUSH_NULL);
    eval(a);
    ScriptValue argv[2] = {makeInteger(1), makeInteger(2)};
    EXPECT_EQ(callMethod(engine, getGlobal(engine, "o"), "add", 2, argv), 1);
    EXPECT_EQ(engine->returnSlot.i, 42);
    EXPECT_EQ(callMethod(engine, getGlobal(engine, "o"), "missing", 2, argv), 0);
    EXPECT_EQ(errorText(), "Warning: unknown method \"missing\"");
    // A count that disagrees with the array is normalised, never trusted.
    EXPECT_EQ(callMethod(engine, getGlobal(engine, "o"), "add", 1, argv), 1);
}

}  // namespace
