// The runtime core: atoms and global slots, the collected heap and its roots, runtime errors and
// traps, warnings, and the engine's lifecycle.
#include <cstring>

#include "engine_fixture.h"
#include "runtime/engine_internal.h"
#include "runtime/interpreter_internal.h"

using namespace quill;
using namespace quill::test;

namespace {

int finalized = 0;

void countFinalize(ScriptEngine*, ClassDescriptor*, void*) {
    ++finalized;
}

// A host value whose finalization is counted.
ScriptValue countedValue(ScriptEngine* e, ClassDescriptor* cls) {
    static int data;
    ScriptValue v;
    newHostValue(e, &v, cls, &data);
    return v;
}

class RuntimeCore : public EngineTest {
  protected:
    ClassDescriptor* countedClass() {
        ClassDescriptor* cls = newClass(engine);
        cls->finalizeInstance = countFinalize;
        engine->builtinRoots.push_back(makeUndefined());
        ScriptValue classValue;
        newHostValue(engine, &classValue, cls, nullptr);
        engine->builtinRoots.back() = classValue;  // keeps the descriptor alive
        finalized = 0;
        return cls;
    }
};

TEST_F(RuntimeCore, WellKnownAtomsComeFirstAndInterningIsStable) {
    EXPECT_EQ(intern(engine, "__proto__"), 0u);
    EXPECT_EQ(intern(engine, "prototype"), 1u);
    EXPECT_EQ(intern(engine, "toSource"), 2u);
    EXPECT_EQ(intern(engine, "toString"), 3u);
    EXPECT_EQ(intern(engine, "valueOf"), 4u);
    uint32_t a = intern(engine, "someName");
    EXPECT_EQ(intern(engine, "someName"), a);
    EXPECT_STREQ(atomName(engine, a), "someName");
    EXPECT_STREQ(atomName(engine, 0xFFFFFF), "???");
    EXPECT_EQ(findAtom(engine, "neverInterned", 13), -1);
    // Names with the same hash bucket but different bytes stay distinct.
    EXPECT_NE(intern(engine, "ab"), intern(engine, "ba"));
}

TEST_F(RuntimeCore, GlobalSlotsGrowByBlocksAndKeepEarlierValues) {
    uint32_t first = intern(engine, "keeper");
    globalSlot(engine, first) = makeInteger(42);
    uint32_t capacity = engine->globalCapacity;
    EXPECT_EQ(capacity % 1024, 0u);
    // Intern until the slot array has to grow.
    uint32_t last = first;
    for (int i = 0; engine->globalCapacity == capacity; ++i) {
        last = intern(engine, "filler" + std::to_string(i));
    }
    EXPECT_EQ(engine->globalCapacity, capacity + 1024);
    EXPECT_EQ(last, capacity);  // the 1025th-of-the-block atom caused the growth
    EXPECT_EQ(globalSlot(engine, first).tag, kTagInteger);
    EXPECT_EQ(globalSlot(engine, first).i, 42);
    EXPECT_TRUE(globalSlot(engine, last).isUndefined());
}

TEST_F(RuntimeCore, KeywordLookup) {
    EXPECT_EQ(keywordLookup(engine, "while", 5), 147u);
    EXPECT_EQ(keywordLookup(engine, "undefined", 9), 192u);
    EXPECT_EQ(keywordLookup(engine, "Null", 4), 128u);
    EXPECT_EQ(keywordLookup(engine, "instanceof", 10), 128u);
    EXPECT_EQ(keywordLookup(engine, "if\0x", 4), 128u);  // no match past an embedded NUL
}

TEST_F(RuntimeCore, CollectorFreesExactlyTheUnreachable) {
    ClassDescriptor* cls = countedClass();
    // Reachable from each kind of root, and two unreachable.
    appendConstant(engine, countedValue(engine, cls));
    setGlobal(engine, "rooted", countedValue(engine, cls));
    ClassDescriptor* type = newClass(engine);
    engine->typeTable[8] = type;  // an unused tag: only the table keeps it
    setByAtom(engine, type->prototype, intern(engine, "held"), countedValue(engine, cls));
    countedValue(engine, cls);
    countedValue(engine, cls);

    // A value on the stack and one in a frame's with-scope list.
    ScriptValue* sp = engine->stackEnd;
    *--sp = countedValue(engine, cls);
    auto* with = static_cast<WithList*>(gcAlloc(engine, sizeof(WithList) + sizeof(ScriptValue)));
    with->count = 1;
    with->capacity = 2;
    with->values[0] = countedValue(engine, cls);
    sp[-1] = makeFrameMark(nullptr);
    sp[-2] = makeFramePad(1, 0, nullptr);
    sp[-3] = makeFrameMark(with);
    sp[-4] = makeFrameMark(nullptr);
    sp -= 4;

    collect(engine, sp);
    EXPECT_EQ(finalized, 2);
    collect(engine, sp);
    EXPECT_EQ(finalized, 2) << "a finalizer ran twice or a live block was swept";

    engine->typeTable[8] = nullptr;
    collect(engine, sp);
    EXPECT_EQ(finalized, 3);
    collect(engine, engine->stackEnd);  // stack and with list no longer roots
    EXPECT_EQ(finalized, 5);
}

TEST_F(RuntimeCore, LargeBlocksGetChunksOfTheirOwn) {
    // A request that rounds up past what a shared chunk holds gets a chunk of its own: the
    // request in whole pages plus the chunk and block headers.
    size_t before = engine->heap.bytesInChunks;
    void* big = gcAlloc(engine, 102389);
    size_t afterBig = engine->heap.bytesInChunks;
    EXPECT_EQ(afterBig - before, 102400u + 32u);
    EXPECT_GE(gcBlockSize(big), 102389u);
    std::memset(big, 0xAB, 102389);
    // Smaller requests come from shared 102,400-byte chunks.
    for (int i = 0; i < 8; ++i) {
        size_t was = engine->heap.bytesInChunks;
        std::memset(gcAlloc(engine, 65536), 0xCD, 65536);
        size_t grew = engine->heap.bytesInChunks - was;
        EXPECT_TRUE(grew == 0 || grew == 102400u) << grew;
    }
    // Unreachable dedicated chunks go back to the system at the next collection.
    collect(engine, engine->stackEnd);
    EXPECT_LT(engine->heap.bytesInChunks, afterBig);
}

TEST_F(RuntimeCore, LargeBlocksGrowKeepingTheirContentAndAreFreedAtOnce) {
    size_t before = engine->heap.bytesInChunks;
    // Small to large, then large to larger: the content comes along each time.
    auto* block = static_cast<unsigned char*>(gcAlloc(engine, 1000));
    for (int i = 0; i < 1000; ++i) block[i] = static_cast<unsigned char>(i * 7);
    for (size_t size : {size_t(200000), size_t(1) << 20, size_t(5) << 20}) {
        block = static_cast<unsigned char*>(gcRealloc(engine, block, size));
        ASSERT_GE(gcBlockSize(block), size);
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(block[i], static_cast<unsigned char>(i * 7));
        block[size - 1] = 0x5A;
    }
    // Only the last size is held: the grown chunk replaced the earlier ones.
    EXPECT_LT(engine->heap.bytesInChunks - before, (size_t(5) << 20) + 2 * 102400u);
    // Other chunks allocated around it stay linked and intact.
    void* neighbour = gcAlloc(engine, 300000);
    std::memset(neighbour, 1, 300000);
    block = static_cast<unsigned char*>(gcRealloc(engine, block, size_t(6) << 20));
    EXPECT_EQ(block[(size_t(5) << 20) - 1], 0x5A);
    gcFree(engine, block);
    gcFree(engine, neighbour);
    EXPECT_LE(engine->heap.bytesInChunks, before + 2 * 102400u);
    // The heap is still walkable.
    collect(engine, engine->stackEnd);
    EXPECT_NE(gcAlloc(engine, 400000), nullptr);
    collect(engine, engine->stackEnd);
}

TEST_F(RuntimeCore, LargeGrowthRespectsTheHeapLimit) {
    engine->maxHeapBytes = engine->heap.bytesInChunks + (size_t(2) << 20);
    void* block = gcAlloc(engine, 1 << 20);
    std::memset(block, 3, 1 << 20);
    ScriptValue* sp = engine->stackEnd;
    int ok = guardHostCall(engine, [&] { block = gcRealloc(engine, block, size_t(4) << 20); });
    EXPECT_EQ(ok, 0);
    EXPECT_NE(std::string(engine->errorBuffer).find("Out of memory"), std::string::npos);
    // The old block is untouched.
    EXPECT_EQ(static_cast<unsigned char*>(block)[(1 << 20) - 1], 3);
    collect(engine, sp);
    engine->maxHeapBytes = 0;
}

TEST_F(RuntimeCore, HeapReusesFreedSpace) {
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 20000; ++i) gcAlloc(engine, 16 + (i % 200));
        collect(engine, engine->stackEnd);
    }
    // Nothing survives, so the heap stays about one round large.
    EXPECT_LT(engine->heap.bytesInChunks, size_t(16) << 20);
}

TEST_F(RuntimeCore, RuntimeErrorReachesInnermostTrapWithPrefix) {
    int outer = guardHostCall(engine, [&] {
        int inner = guardHostCall(engine, [&] { raiseError(engine, "bad %s %d", "thing", 7); });
        EXPECT_EQ(inner, 0);
        EXPECT_EQ(errorText(), "Runtime error: bad thing 7");
    });
    EXPECT_EQ(outer, 1);
    // Long messages are cut to the buffer, never overrun it.
    std::string huge(5000, 'x');
    EXPECT_EQ(guardHostCall(engine, [&] { raiseError(engine, "%s", huge.c_str()); }), 0);
    EXPECT_EQ(std::strlen(engine->errorBuffer), kErrorBufferSize - 1);
    EXPECT_EQ(std::string(engine->errorBuffer).substr(0, 15), "Runtime error: ");
}

TEST_F(RuntimeCore, OutOfMemoryRaisesAndKeepsEarlierData) {
    setGlobal(engine, "kept", newStringFromAscii(engine, "still here"));
    EXPECT_EQ(guardHostCall(engine, [&] { plainAlloc(engine, size_t(1) << 62); }), 0);
    EXPECT_EQ(errorText(), "Runtime error: Out of memory");
    EXPECT_EQ(guardHostCall(engine, [&] { gcAlloc(engine, size_t(1) << 60); }), 0);
    EXPECT_EQ(errorText(), "Runtime error: Out of memory");
    EXPECT_EQ(plainAlloc(nullptr, size_t(1) << 62), nullptr);
    EXPECT_EQ(str(getGlobal(engine, "kept")), "still here");
}

TEST_F(RuntimeCore, HeapLimitGivesOutOfMemory) {
    EngineConfig config;
    config.maxHeapBytes = 4 << 20;
    restart(config);
    int ok = guardHostCall(engine, [&] {
        for (int i = 0; i < 1000; ++i) gcAlloc(engine, 64 * 1024);
    });
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), "Runtime error: Out of memory");
    EXPECT_LE(engine->heap.bytesInChunks, size_t(4) << 20);
    // The engine stays usable.
    ScriptValue s = newStringFromAscii(engine, "fine");
    EXPECT_EQ(str(s), "fine");
}

TEST_F(RuntimeCore, WarningsGoToTheTraceOutput) {
    warnf(engine, "Warning: using undefined property \"%s\"", "x");
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: using undefined property \"x\"");
    setTraceOutput(engine, nullptr, nullptr);
    warn(engine, "Warning: dropped");  // no output installed: nothing happens
    EXPECT_EQ(trace.size(), 1u);
}

TEST_F(RuntimeCore, StringsAcrossTheAnsiBoundary) {
    ScriptValue v;
    newStringFromAnsi(engine, &v, "caf\xe9", 4);
    EXPECT_EQ(stringView(v), u"caf\u00e9");
    char* back = toAnsi(engine, v);
    EXPECT_STREQ(back, "caf\xe9");
    plainFree(back);
    newStringFromAnsi(engine, &v, nullptr, 10);
    EXPECT_EQ(v.str->length, 0u);
    ScriptValue u = newStringFromUtf8(engine, "\xe2\x98\xba \xff");
    EXPECT_EQ(stringView(u), u"\u263a \ufffd");
    EXPECT_EQ(toUtf8String(stringView(u)), "\xe2\x98\xba \xef\xbf\xbd");
}

TEST(EngineLifecycle, CreateAndDestroyManyTimes) {
    // Run under the leak checker: nothing may remain after destruction.
    for (int i = 0; i < 20; ++i) {
        ScriptEngine* e = createEngine();
        ASSERT_NE(e, nullptr);
        for (int k = 0; k < 100; ++k) {
            setGlobal(e, ("g" + std::to_string(k)).c_str(), newStringFromAscii(e, "text"));
        }
        destroyEngine(e);
    }
}

TEST(EngineLifecycle, FinalizersRunOnDestruction) {
    ScriptEngine* e = createEngine();
    ClassDescriptor* cls = registerClass(e, "Counted");
    cls->finalizeInstance = countFinalize;
    finalized = 0;
    setGlobal(e, "a", countedValue(e, cls));
    countedValue(e, cls);
    destroyEngine(e);
    EXPECT_EQ(finalized, 2);
}

}  // namespace
