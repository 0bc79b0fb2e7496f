// Compiled modules: the container format, constant merging and anonymous-function numbering,
// debug information, the load-time checks against malformed code, and a deterministic mutation
// run over module images.
#include <algorithm>
#include <cstring>
#include <random>

#include "engine_fixture.h"

using namespace quill;
using namespace quill::test;

namespace {

class Modules : public EngineTest {};

Asm returnsFromMain(int64_t value) {
    Asm a;
    a.fn(".main").integer(value);
    return a;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

TEST_F(Modules, WrittenLayoutHasTheFixedHeader) {
    Asm a = returnsFromMain(99);
    std::vector<uint8_t> bytes = a.bytes();
    ASSERT_GE(bytes.size(), 56u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "QS1b");
    EXPECT_EQ(le32(bytes, 4) & 0xFF, 0u);  // code first ...
    EXPECT_EQ(le32(bytes, 8), 56u);  // ... at offset 56
    EXPECT_EQ(le32(bytes, 16) & 0xFF, 1u);
    EXPECT_EQ(le32(bytes, 28) & 0xFF, 2u);
    EXPECT_EQ(le32(bytes, 40) & 0xFF, 3u);
    EXPECT_EQ(le32(bytes, 44) - le32(bytes, 32), le32(bytes, 36));  // no gaps
    EXPECT_EQ(le32(bytes, 48), 0u);  // no debug section asked for
    EXPECT_EQ(le32(bytes, 52), 0xFFFFFFFFu);
    // The function table of a module of one `.main`.
    size_t table = le32(bytes, 32);
    const uint8_t expected[] = {0, 0, 0, 1, '.', 'm', 'a', 'i', 'n', 0, 0, 0, 0, 0};
    ASSERT_EQ(le32(bytes, 36), sizeof expected);
    EXPECT_EQ(std::memcmp(bytes.data() + table, expected, sizeof expected), 0);
    EXPECT_EQ(eval(a).i, 99);
}

TEST_F(Modules, ContainerVariantsThatLoadAndThatDoNot) {
    std::vector<uint8_t> bytes = returnsFromMain(7).bytes();
    // Random upper bytes in the section ids change nothing.
    std::vector<uint8_t> shuffled = bytes;
    for (size_t entry = 4; entry < 52; entry += 12) shuffled[entry + 3] ^= 0x5A;
    EXPECT_EQ(runBytes(shuffled), 1);
    EXPECT_EQ(engine->returnSlot.i, 7);
    // A leading "#" line is skipped; one without a line feed is rejected.
    std::vector<uint8_t> withLine = {'#', '!', 'q', 'u', 'i', 'l', 'l', '\n'};
    withLine.insert(withLine.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(runBytes(withLine), 1);
    std::vector<uint8_t> noFeed = {'#', '!', 'x'};
    noFeed.insert(noFeed.end(), bytes.begin(), bytes.end());
    std::replace(noFeed.begin(), noFeed.end(), uint8_t('\n'), uint8_t(' '));
    EXPECT_EQ(readModule(noFeed.data(), noFeed.size()), nullptr);
    // Wrong magic, short data, a section past the end.
    std::vector<uint8_t> bad = bytes;
    bad[3] = 'c';
    EXPECT_EQ(readModule(bad.data(), bad.size()), nullptr);
    EXPECT_EQ(readModule(bytes.data(), 7), nullptr);
    bad = bytes;
    bad[12] = 0xFF;  // code size
    EXPECT_EQ(readModule(bad.data(), bad.size()), nullptr);
    EXPECT_EQ(readModule(bytes.data(), 40), nullptr);  // truncated section table
}

TEST_F(Modules, UnknownConstantTypeStopsTheLoad) {
    std::vector<uint8_t> bytes = returnsFromMain(1000).bytes();  // 1000 is a constant
    size_t constants = le32(bytes, 20);
    ASSERT_EQ(bytes[constants], 3);
    bytes[constants] = 6;
    EXPECT_EQ(runBytes(bytes), 0);
    EXPECT_EQ(errorText(), "Runtime error: Unimplemented Quill Script bytecode");
}

TEST_F(Modules, RegularExpressionConstantsNeedTheFactory) {
    std::vector<Instruction> list = {Instruction::functionStart(".main"),
                                     Instruction::pushRegExp("a+", 1)};
    std::vector<uint8_t> bytes = writeModule(list, WriteOptions());
    setRegExpFactory(engine, nullptr);
    EXPECT_EQ(runBytes(bytes), 0);
    EXPECT_EQ(errorText(), "Runtime error: regular expressions are not available in this engine");
    setRegExpFactory(engine, [](ScriptEngine* e, ScriptValue* out, const char16_t* pattern,
                                uint32_t length, uint32_t flags) {
        *out = newString(e, std::u16string(pattern, length) + (flags == 1 ? u"/g" : u"/?"));
    });
    EXPECT_EQ(runBytes(bytes), 1);
    EXPECT_EQ(str(engine->returnSlot), "a+/g");
}

TEST_F(Modules, AnonymousFunctionsAreRenumberedPerLoad) {
    auto module = [](int64_t value, const char* resultName) {
        Asm a;
        a.fn("@F_0").prologue(0).integer(value).op(OP_RETURN);
        a.fn(".main").call("@F_0", 0, [](Asm&) {}).name(OP_STORE_GLOBAL, resultName);
        a.op(OP_PUSH_NULL);
        return a.bytes();
    };
    uint32_t before = engine->anonymousCounter;
    ASSERT_EQ(runBytes(module(1, "r1")), 1);
    ASSERT_EQ(runBytes(module(2, "r2")), 1);
    EXPECT_EQ(engine->anonymousCounter, before + 2);
    std::string first = "@F_" + std::to_string(before);
    std::string second = "@F_" + std::to_string(before + 1);
    EXPECT_EQ(getGlobal(engine, first.c_str()).tag, kTagFunction);
    EXPECT_EQ(getGlobal(engine, second.c_str()).tag, kTagFunction);
    EXPECT_EQ(getGlobal(engine, "r1").i, 1);
    EXPECT_EQ(getGlobal(engine, "r2").i, 2);
    // Each module's functions stay defined: calling the first again still gives 1.
    ScriptValue argv[1] = {makeInteger(0)};
    ASSERT_EQ(callFunction(engine, first.c_str(), nullptr, 1, argv), 1);
    EXPECT_EQ(engine->returnSlot.i, 1);
}

TEST_F(Modules, ConstantsAreSharedByTextAndType) {
    Asm a;
    a.fn(".main").string("x").op(OP_POP).name(OP_LOAD_GLOBAL, "x").op(OP_POP);
    a.string("x").op(OP_POP).number(0.1).op(OP_POP).number(0.1 + 1e-17).op(OP_POP).integer(1000).op(OP_POP);
    a.number(1e-40).op(OP_POP).number(2e-40);
    std::string listing = listModule(a.bytes().data(), a.bytes().size());
    // The same text as identifier and as string gives two constants; equal strings one.
    EXPECT_NE(listing.find("#0    string \"x\""), std::string::npos) << listing;
    EXPECT_NE(listing.find("#1    identifier x"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("#7"), std::string::npos) << listing;
    // Tiny doubles that print alike with few digits stay distinct constants.
    EXPECT_EQ(eval(a).d, 2e-40);
}

TEST_F(Modules, DebugInformationNamesFunctionAndLine) {
    Asm a;
    a.line(3).fn("helper").prologue(0);
    a.line(5).string("failure").op(OP_THROW);
    a.line(9).fn(".main").call("helper", 0, [](Asm&) {});
    std::vector<uint8_t> bytes = a.bytes(true, "demo.qls");
    EXPECT_EQ(runBytes(bytes), 0);
    EXPECT_EQ(errorText(), "failure");
    ASSERT_NE(engine->errorIp, nullptr);
    EXPECT_STREQ(functionNameAt(engine, engine->errorIp), "helper");
    uint32_t line = 0;
    EXPECT_STREQ(sourceLineAt(engine, engine->errorIp, &line), "demo.qls");
    EXPECT_EQ(line, 5u);
    // Without debug information there is no source name.
    std::vector<uint8_t> plain = a.bytes(false);
    EXPECT_EQ(runBytes(plain), 0);
    EXPECT_EQ(sourceLineAt(engine, engine->errorIp, &line), nullptr);
    EXPECT_STREQ(functionNameAt(engine, nullptr), ".main");
    std::string listing = listModule(bytes.data(), bytes.size());
    EXPECT_NE(listing.find("source: demo.qls"), std::string::npos);
    EXPECT_NE(listing.find("; line 5"), std::string::npos) << listing;
}

// Raw module bytes around a hand-made code section.
std::vector<uint8_t> rawModule(const std::vector<uint8_t>& code,
                               const std::vector<uint8_t>& constants) {
    std::vector<uint8_t> table = {0, 0, 0, 1, '.', 'm', 'a', 'i', 'n', 0, 0, 0, 0, 0};
    std::vector<uint8_t> out = {'Q', 'S', '1', 'b'};
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    uint32_t pos = 56;
    const std::vector<uint8_t>* sections[] = {&code, &constants, &table};
    for (uint32_t k = 0; k < 3; ++k) {
        put(k);
        put(pos);
        put(uint32_t(sections[k]->size()));
        pos += uint32_t(sections[k]->size());
    }
    put(3);
    put(pos);
    put(0);
    put(0xFFFFFFFF);
    for (auto* s : sections) out.insert(out.end(), s->begin(), s->end());
    return out;
}

TEST_F(Modules, MalformedCodeFailsTheLoadCleanly) {
    const std::string message = "Runtime error: Unimplemented Quill Script bytecode";
    const std::vector<uint8_t> identifier = {10, 'x', 0};
    struct Case {
        const char* what;
        std::vector<uint8_t> code;
    } cases[] = {
        {"pop on an empty stack", {OP_POP}},
        {"binary operator with one operand", {OP_PUSH_1, OP_ADD}},
        {"local never reserved", {OP_LOAD_LOCAL, 0, 0}},
        {"negative drop", {OP_PUSH_1, OP_DROP, 0xFF}},
        {"jump into an operand", {OP_JUMP, 0, 0, 0, 0xFE, OP_PUSH_1}},
        {"jump out of the function", {OP_JUMP, 0, 0, 1, 0}},
        {"constant index out of range", {OP_PUSH_CONST, 0, 0, 0, 9}},
        {"truncated operand", {OP_PUSH_INT, 0, 0}},
        {"stack that grows around a loop", {OP_PUSH_1, OP_JUMP, 0xFF, 0xFF, 0xFF, 0xFA}},
        {"name that is not an identifier", {OP_LOAD_GLOBAL, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> constants = identifier;
        constants.insert(constants.end(), {3, 0, 0, 0, 0, 0, 0, 0, 5});
        EXPECT_EQ(runBytes(rawModule(c.code, constants)), 0) << c.what;
        EXPECT_EQ(errorText(), message) << c.what;
    }
    // A call whose count claims more arguments than were pushed is stopped at run time.
    std::vector<uint8_t> code = {OP_PUSH_INT, 0, 0, 0, 50, OP_LOAD_GLOBAL, 0, 0, 0, 0, OP_CALL};
    EXPECT_EQ(runBytes(rawModule(code, identifier)), 0);
    EXPECT_EQ(errorText(), message);
    EXPECT_EQ(engine->stackTop, engine->stackEnd);
    // Bytes that are not opcodes are skipped.
    code = {0x00, OP_PUSH_2, 0x7F, 0xFF};
    EXPECT_EQ(runBytes(rawModule(code, {})), 1);
    EXPECT_EQ(engine->returnSlot.i, 2);
}

int stopAfterMany(int, void* user) {
    int* calls = static_cast<int*>(user);
    return ++*calls > 50 ? 1 : 0;
}

TEST(ModuleMutation, MutatedImagesNeverCrash) {
    // A deterministic mutation run over a module that uses most opcodes.
    Asm a;
    a.fn("f").prologue(2, 2).op(OP_LOAD_ARG, 2).op(OP_STORE_LOCAL, 0);
    a.label(1).op(OP_LOAD_LOCAL, 0).integer(100).op(OP_LT).jump(OP_JUMP_IF_FALSE, 2);
    a.op(OP_LOAD_LOCAL, 0).op(OP_INCREMENT).op(OP_STORE_LOCAL, 0).jump(OP_JUMP, 1).label(2);
    a.jump(OP_TRY, 3).string("t").op(OP_THROW).label(3).op(OP_POP);
    a.op(OP_LOAD_LOCAL, 0).op(OP_LOAD_ARG, 3).op(OP_ADD).op(OP_RETURN);
    a.fn(".main").call("mkobj", 0, [](Asm&) {}).op(OP_DUP).op(OP_PUSH_WITH);
    a.string("v").op(OP_SWAP).name(OP_SET_PROPERTY, "p").name(OP_GET_NAME, "p").op(OP_POP);
    a.call("f", 2, [](Asm& x) { x.number(2.5).integer(3); }).op(OP_TYPEOF).op(OP_POP);
    a.string("abc").integer(1).op(OP_GET_ELEMENT).op(OP_POP_WITH, 1);
    std::vector<uint8_t> original = a.bytes(true);

    std::mt19937 random(20261206);
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        EngineConfig config;
        int calls = 0;
        config.hook = stopAfterMany;
        config.hookUser = &calls;
        config.maxHeapBytes = 64 << 20;
        config.stackSlots = 2048;
        ScriptEngine* e = createEngine(config);
        ASSERT_NE(e, nullptr);
        ClassDescriptor* mk = registerClass(e, "mkobj");
        mk->call = [](ScriptEngine* en, ClassDescriptor*, void*, ScriptValue* r, ScriptValue*) {
            *r = makeObject(newObject(en));
        };
        std::vector<uint8_t> bytes = original;
        int flips = 1 + int(random() % 8);
        for (int i = 0; i < flips; ++i) {
            size_t at = random() % bytes.size();
            switch (random() % 3) {
                case 0:
                    bytes[at] ^= uint8_t(1u << (random() % 8));
                    break;
                case 1:
                    bytes[at] = uint8_t(random());
                    break;
                default:
                    bytes.resize(at);  // truncation
                    break;
            }
            if (bytes.empty()) break;
        }
        loaded += runModule(e, bytes.data(), bytes.size());
        (void)listModule(bytes.data(), bytes.size());
        destroyEngine(e);
    }
    // Some mutations are harmless; most are not. Either way nothing crashed.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 3000);
}

}  // namespace
