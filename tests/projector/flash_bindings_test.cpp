// The movie-variable binding tables without a movie: the texts a movie gives back and the values
// they become, prefixes counted across bindings, case-insensitive paths, bucket order, and the
// MovieClip objects reading a bound path part by part.
#include "projector/flash_bindings.h"

#include <gtest/gtest.h>

#include "runtime/embed.h"

namespace quill::projector {
namespace {

constexpr HostRegistration kClasses[] = {{ClassId::kMovieClip, registerMovieClip}};

class FlashBindings : public ::testing::Test {
  protected:
    void SetUp() override {
        EngineConfig config;
        config.hostClasses = kClasses;
        engine = createEngine(config);
        ASSERT_NE(engine, nullptr);
    }
    void TearDown() override { destroyEngine(engine); }

    ScriptValue read(std::u16string_view base, const char* name) {
        ScriptValue v = makeUndefined();
        if (!pathProperty(engine, base, intern(engine, name), 0, &v)) return makeNull();
        return v;
    }

    ScriptEngine* engine = nullptr;
};

TEST_F(FlashBindings, MovieTextsBecomeBooleansIntegersNumbersOrText) {
    struct Case {
        std::u16string text;
        uint32_t tag;
    } cases[] = {
        {u"true", kTagBoolean}, {u"false", kTagBoolean},
        {u"42", kTagInteger},   {u"-7", kTagInteger},
        {u"", kTagInteger},     {u"4.5", kTagNumber},
        {u"1e3", kTagNumber},   {u"TRUE", kTagString},
        {u"4x", kTagString},    {u"-", kTagString},
        {u"0x10", kTagString},  {u"inf", kTagString},
        {u"nan", kTagString},   {u"99999999999999999999", kTagNumber},
    };
    for (const Case& c : cases) {
        ScriptValue v = movieTextValue(engine, c.text);
        EXPECT_EQ(v.tag, c.tag) << std::string(c.text.begin(), c.text.end());
    }
    EXPECT_EQ(movieTextValue(engine, u"").i, 0);  // an empty text parses completely
    EXPECT_EQ(movieTextValue(engine, u"42").i, 42);
    EXPECT_EQ(movieTextValue(engine, u"true").i, 1);
    EXPECT_DOUBLE_EQ(movieTextValue(engine, u"4.5").d, 4.5);
}

TEST_F(FlashBindings, PrefixesLiveAsLongAsABindingUsesThem) {
    bindPath(engine, u"r.a.b");
    bindPath(engine, u"r.a.c");
    bindPath(engine, u"R.A.B");  // already bound: counts nothing twice
    EXPECT_TRUE(isBoundPrefix(engine, u"r"));
    EXPECT_TRUE(isBoundPrefix(engine, u"R.a"));
    EXPECT_FALSE(isBoundPrefix(engine, u"r.a.b"));
    unbindPath(engine, u"r.a.b");
    unbindPath(engine, u"r.a.b");  // no longer bound: lowers nothing
    unbindPath(engine, u"x.y");
    EXPECT_TRUE(isBoundPrefix(engine, u"r.a"));
    unbindPath(engine, u"R.a.C");
    EXPECT_FALSE(isBoundPrefix(engine, u"r.a"));
    EXPECT_FALSE(isBoundPrefix(engine, u"r"));
    EXPECT_TRUE(boundPaths(engine).empty());

    // A leading dot makes no empty prefix; doubled dots make prefixes ending in a dot.
    bindPath(engine, u".a.b");
    bindPath(engine, u"c..d");
    EXPECT_FALSE(isBoundPrefix(engine, u""));
    EXPECT_TRUE(isBoundPrefix(engine, u".a"));
    EXPECT_TRUE(isBoundPrefix(engine, u"c."));
    unbindAllPaths(engine);
    EXPECT_FALSE(isBoundPrefix(engine, u".a"));
    EXPECT_TRUE(boundPaths(engine).empty());
}

TEST_F(FlashBindings, BucketsFoldCaseAndTakeNewEntriesFirst) {
    EXPECT_EQ(bindingHash(u"_ROOT.Score"), bindingHash(u"_root.score"));
    EXPECT_EQ(bindingHash(u"a"), uint32_t('a'));
    EXPECT_EQ(bindingHash(u"ab"), (uint32_t('a') << 5) ^ uint32_t('b'));
    // Two paths of one bucket come back newest first; buckets in order.
    std::u16string first = u"p1", second;
    for (char16_t c = u'a'; c <= u'z' && second.empty(); ++c) {
        std::u16string candidate = u"q";
        candidate += c;
        if (bindingHash(candidate) % kBindingBuckets == bindingHash(first) % kBindingBuckets)
            second = candidate;
    }
    ASSERT_FALSE(second.empty());
    bindPath(engine, first);
    bindPath(engine, second);
    std::vector<std::u16string> paths = boundPaths(engine);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], second);
    EXPECT_EQ(paths[1], first);
}

TEST_F(FlashBindings, MovieClipsReachTheCellPartByPart) {
    bindPath(engine, u"_root.r.a.b");
    *bindingCell(engine, u"_root.r.a.b") = makeInteger(5);
    ScriptValue root = read(u"", "_root");
    ASSERT_TRUE(isHostInstanceOf(root, ClassId::kMovieClip));
    ScriptValue r = makeUndefined();
    ASSERT_EQ(getProperty(engine, root, intern(engine, "R"), &r), 1);  // any letter case
    ScriptValue a = makeUndefined();
    ASSERT_EQ(getProperty(engine, r, intern(engine, "a"), &a), 1);
    ScriptValue b = makeUndefined();
    ASSERT_EQ(getProperty(engine, a, intern(engine, "b"), &b), 1);
    EXPECT_EQ(b.tag, kTagInteger);
    EXPECT_EQ(b.i, 5);
    EXPECT_EQ(stringView(toString(engine, a)), u"[object MovieClip]");
    // A write through a clip lands in the cell; paths that are not bound stay the engine's.
    ScriptValue seven = makeInteger(7);
    EXPECT_EQ(pathProperty(engine, u"_root.r.a", intern(engine, "b"), 1, &seven), 1);
    EXPECT_EQ(bindingCell(engine, u"_root.r.a.b")->i, 7);
    EXPECT_EQ(read(u"", "other").tag, kTagNull);
    ScriptValue v = makeInteger(1);
    EXPECT_EQ(pathProperty(engine, u"_root", intern(engine, "r"), 1, &v), 0);
    // The clip outlives its binding and then reads nothing.
    unbindAllPaths(engine);
    EXPECT_EQ(read(u"_root.r.a", "b").tag, kTagNull);
}

}  // namespace
}  // namespace quill::projector
