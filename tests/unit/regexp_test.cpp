// RegExp from native code and from compiled literals: construction and flags, exec/test and
// lastIndex, the statics, compile, leftmost-longest matching, case and line modes, the four
// String operations with their empty-match loops, and patterns the matcher gives up on.
#include <algorithm>
#include <memory>

#include "builtins/regexp_matcher.h"
#include "text_builtins_fixture.h"

using namespace quill;
using namespace quill::test;

namespace {

class RegExps : public TextBuiltinsTest {
  protected:
    std::string statics(const char* name) {
        ScriptValue v = property(global("RegExp"), name);
        return v.isNull() ? "<null>" : str(v);
    }
    // A module whose `.main` leaves the literal /pattern/flags.
    int loadLiteral(std::string_view pattern, uint8_t flags, ScriptValue* out) {
        std::vector<Instruction> list = {Instruction::functionStart(".main"),
                                         Instruction::pushRegExp(pattern, flags)};
        std::vector<uint8_t> bytes = writeModule(list, WriteOptions());
        int loaded = runBytes(bytes);
        *out = engine->returnSlot;
        return loaded;
    }
};

TEST_F(RegExps, ExecReportsSubMatchesUpToTheFirstUnmatchedOne) {
    ScriptValue r = method(regexp("a(b)?c"), "exec", {s("ac")});
    EXPECT_EQ(elements(r), Texts{"ac"});
    EXPECT_EQ(property(r, "index").i, 0);
    EXPECT_EQ(str(property(r, "input")), "ac");

    r = method(regexp("(a)(x)?(b)"), "exec", {s("zzab")});
    EXPECT_EQ(elements(r), (Texts{"ab", "a"})) << "slot 3 follows an unmatched slot";
    EXPECT_EQ(property(r, "index").i, 2);

    r = method(regexp("(a)(b)"), "exec", {s("xaby")});
    EXPECT_EQ(elements(r), (Texts{"ab", "a", "b"}));
    EXPECT_EQ(statics("$1"), "a");
    EXPECT_EQ(statics("$2"), "b");
    EXPECT_EQ(statics("$3"), "<null>");
    EXPECT_EQ(statics("$9"), "<null>");
    EXPECT_EQ(statics("lastParen"), "b");
    EXPECT_EQ(statics("lastMatch"), "ab");
    EXPECT_EQ(statics("leftContext"), "x");
    EXPECT_EQ(statics("rightContext"), "y");
    EXPECT_EQ(statics("input"), "xaby");
    EXPECT_EQ(statics("$_"), "xaby");
    // Statics read through an instance too; writes to them change nothing.
    ScriptValue other = regexp("q");
    EXPECT_EQ(str(property(other, "$1")), "a");
    setProperty(engine, global("RegExp"), intern(engine, "$1"), s("zz"));
    EXPECT_EQ(statics("$1"), "a");

    EXPECT_TRUE(method(regexp("a(b)?c"), "exec", {s("ac")}).tag == kTagArray);
    EXPECT_EQ(statics("lastParen"), "<null>") << "nothing besides the whole match";

    EXPECT_TRUE(method(regexp("z"), "exec", {s("abc")}).isNull());
    for (const char* name : {"$1", "input", "$_", "lastMatch", "leftContext", "rightContext"}) {
        EXPECT_EQ(statics(name), "<null>") << name;
    }
}

TEST_F(RegExps, StaticsAreNullBeforeAnyExecution) {
    for (const char* name : {"$1", "input", "lastMatch", "lastParen", "leftContext"}) {
        EXPECT_EQ(statics(name), "<null>") << name;
    }
    // Without an argument, the last input is searched; before any, the empty string.
    EXPECT_EQ(elements(method(regexp("^$"), "exec")), Texts{""});
    method(regexp("b"), "exec", {s("abc")});
    ScriptValue r = method(regexp("c"), "exec");
    EXPECT_EQ(property(r, "index").i, 2);
    EXPECT_EQ(str(property(r, "input")), "abc");
    r = method(regexp("undefined"), "exec", {makeUndefined()});
    EXPECT_EQ(elements(r), Texts{"undefined"}) << "an argument is always converted";
}

TEST_F(RegExps, GlobalTestMovesLastIndex) {
    ScriptValue re = regexp("o", "g");
    ScriptValue foo = s("foo");
    EXPECT_TRUE(method(re, "test", {foo}).i);
    EXPECT_EQ(property(re, "lastIndex").i, 2);
    EXPECT_TRUE(method(re, "test", {foo}).i);
    EXPECT_EQ(property(re, "lastIndex").i, 3);
    EXPECT_FALSE(method(re, "test", {foo}).i);
    EXPECT_EQ(property(re, "lastIndex").i, 0);
    EXPECT_EQ(method(re, "test", {foo}).tag, kTagBoolean);

    // Without g the search still starts at lastIndex, which then stays where it was.
    ScriptValue plain = regexp("o");
    uint32_t lastIndex = intern(engine, "lastIndex");
    setProperty(engine, plain, lastIndex, i(2));
    EXPECT_EQ(property(method(plain, "exec", {foo}), "index").i, 2);
    EXPECT_EQ(property(plain, "lastIndex").i, 2);
    setProperty(engine, plain, lastIndex, d(0.0));
    EXPECT_EQ(property(plain, "lastIndex").i, 2) << "only integers are taken";
    setProperty(engine, plain, lastIndex, i(-7));
    EXPECT_EQ(property(plain, "lastIndex").i, 0);
    setProperty(engine, plain, lastIndex, i(INT64_MAX));
    EXPECT_EQ(property(plain, "lastIndex").i, int64_t(UINT32_MAX));
    EXPECT_TRUE(method(plain, "exec", {foo}).isNull()) << "searched from the end";
    EXPECT_EQ(elements(method(regexp("$"), "exec", {foo})), Texts{""});
}

TEST_F(RegExps, ConstructionFlagsAndText) {
    ScriptValue re = regexp("x", "gim");
    EXPECT_EQ(text(re, "toString"), "/x/gim");
    EXPECT_EQ(str(toString(engine, re)), "/x/gim");
    EXPECT_EQ(text(regexp("a/b", "mqgz"), "toString"), "/a/b/gm");
    EXPECT_EQ(text(global("RegExp"), "toString"), "[Object RegExp]");
    EXPECT_EQ(str(property(re, "source")), "x");
    EXPECT_EQ(property(re, "global").i, 1);
    EXPECT_EQ(property(re, "ignoreCase").i, 1);
    EXPECT_EQ(property(regexp("x", "g"), "multiline").i, 0);
    EXPECT_EQ(property(regexp("x", "g"), "multiline").tag, kTagBoolean);
    setProperty(engine, re, intern(engine, "source"), s("y"));
    EXPECT_EQ(str(property(re, "source")), "x") << "writes are ignored";

    // An empty or missing pattern is "^"; patterns and flags of other types count as absent.
    EXPECT_EQ(text(construct("RegExp"), "toString"), "/^/");
    EXPECT_EQ(text(construct("RegExp", {s("")}), "toString"), "/^/");
    EXPECT_EQ(text(construct("RegExp", {i(5), i(1)}), "toString"), "/^/");
    EXPECT_EQ(text(construct("RegExp", {s("a"), i(1)}), "toString"), "/a/");

    construct("RegExp", {s("(")});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(),
              "Runtime error: RegExp runtime error: Unmatched marking parenthesis ( or \\(.");
    construct("RegExp", {s("a{2,1}")});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText().rfind("Runtime error: RegExp runtime error: ", 0), 0u) << errorText();

    // Calling the class constructs; calling an instance executes it.
    ScriptValue made = call(global("RegExp"), {s("b+"), s("g")});
    ASSERT_EQ(ok, 1) << errorText();
    EXPECT_EQ(text(made, "toString"), "/b+/g");
    EXPECT_EQ(elements(call(made, {s("abbc")})), Texts{"bb"});
    EXPECT_EQ(property(made, "lastIndex").i, 3);
    EXPECT_TRUE(call(made, {s("abbc")}).isNull());
}

TEST_F(RegExps, CompileReplacesThePatternOnlyWhenTheNewOneCompiles) {
    // A recompiled pattern means what it means when constructed: escapes work inside bracket
    // lists, so [\]] holds ']' and [\d] is the digit class.
    ScriptValue re = regexp("[\\]]");
    EXPECT_EQ(elements(method(re, "exec", {s("a\\]")})), Texts{"]"});
    EXPECT_EQ(method(re, "compile", {s("[\\d]")}).tag, kTagBoolean);
    EXPECT_TRUE(method(re, "test", {s("5")}).i);
    EXPECT_FALSE(method(re, "test", {s("\\")}).i);
    EXPECT_FALSE(method(re, "test", {s("d")}).i);
    EXPECT_EQ(method(re, "compile", {s("[\\]]"), s("g")}).tag, kTagBoolean);
    EXPECT_EQ(elements(method(re, "exec", {s("a\\]")})), Texts{"]"});
    EXPECT_EQ(text(re, "toString"), "/[\\]]/g");

    setProperty(engine, re, intern(engine, "lastIndex"), i(2));
    method(re, "compile", {s("(")});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(),
              "Runtime error: RegExp runtime error: Unmatched marking parenthesis ( or \\(.");
    EXPECT_EQ(text(re, "toString"), "/[\\]]/g") << "the old pattern stays";
    EXPECT_EQ(property(re, "lastIndex").i, 2);
    method(re, "compile");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(text(re, "toString"), "/^/");
    EXPECT_EQ(property(re, "lastIndex").i, 0);
}

TEST_F(RegExps, MatchingIsLeftmostLongestWithCaseAndLineModes) {
    EXPECT_EQ(elements(method(regexp("a|ab"), "exec", {s("ab")})), Texts{"ab"});
    EXPECT_EQ(elements(method(regexp("(a|ab)(c|bcd)"), "exec", {s("abcd")})),
              (Texts{"abcd", "a", "bcd"}));
    // Case-insensitive matching follows the Unicode case table.
    EXPECT_EQ(
        elements(method(regexp("\xC3\x89T\xC3\x89", "i"), "exec", {s("l'\xC3\xA9t\xC3\xA9")})),
        Texts{"\xC3\xA9t\xC3\xA9"});
    EXPECT_EQ(elements(method(regexp("[a-z]+", "i"), "exec", {s("12ABc")})), Texts{"ABc"});
    EXPECT_TRUE(method(regexp("abc"), "exec", {s("ABC")}).isNull());
    // Classes know letters beyond ASCII; digits are 0-9.
    EXPECT_EQ(elements(method(regexp("\\w+"), "exec", {s(" caf\xC3\xA9!")})), Texts{"caf\xC3\xA9"});
    EXPECT_EQ(elements(method(regexp("[[:upper:]]+"), "exec", {s("ab\xC3\x89Z")})),
              Texts{"\xC3\x89Z"});
    EXPECT_EQ(elements(method(regexp("\\d+"), "exec",
                              {s("\xD9\xA3"
                                 "42")})),
              Texts{"42"});
    // Anchors: the input's ends, or every line with m; '.' stops at line ends only with m.
    ScriptValue lines = s("a\nb");
    EXPECT_TRUE(method(regexp("^b"), "exec", {lines}).isNull());
    EXPECT_EQ(property(method(regexp("^b", "m"), "exec", {lines}), "index").i, 2);
    EXPECT_TRUE(method(regexp("a$"), "exec", {lines}).isNull());
    EXPECT_EQ(elements(method(regexp("a$", "m"), "exec", {lines})), Texts{"a"});
    EXPECT_EQ(elements(method(regexp("a.b"), "exec", {lines})), Texts{"a\nb"});
    EXPECT_TRUE(method(regexp("a.b", "m"), "exec", {lines}).isNull());
    // A search that starts inside the text still sees what lies before it.
    ScriptValue anchored = regexp("^b|\\<c", "g");
    setProperty(engine, anchored, intern(engine, "lastIndex"), i(1));
    EXPECT_TRUE(method(anchored, "exec", {s("abbc")}).isNull());
    // NUL characters are ordinary in patterns and input alike.
    EXPECT_EQ(
        property(method(regexp(std::string("b\0c", 3)), "exec", {s(std::string("a\0b\0c", 5))}),
                 "index")
            .i,
        2);
}

TEST_F(RegExps, StringMatchAndSearch) {
    EXPECT_EQ(elements(method(s("abab"), "match", {regexp("a", "g")})), (Texts{"a", "a"}));
    EXPECT_EQ(elements(method(s("abc"), "match", {regexp("z", "g")})), Texts{});
    EXPECT_EQ(elements(method(s("abc"), "match", {regexp("x*", "g")})), (Texts{"", "", "", ""}));
    EXPECT_EQ(elements(method(s("aab"), "match", {regexp("a*", "g")})), (Texts{"aa", "", ""}));
    EXPECT_EQ(elements(method(s(""), "match", {regexp("^", "g")})), Texts{""});
    ScriptValue global = regexp("b", "g");
    setProperty(engine, global, intern(engine, "lastIndex"), i(3));
    EXPECT_EQ(elements(method(s("abab"), "match", {global})), (Texts{"b", "b"}))
        << "a global match starts at 0";
    EXPECT_EQ(property(global, "lastIndex").i, 0);
    EXPECT_EQ(statics("lastMatch"), "<null>") << "the loop ends with a failed execution";
    EXPECT_EQ(statics("input"), "<null>");

    ScriptValue r = method(s("xaby"), "match", {regexp("a(b)")});
    EXPECT_EQ(elements(r), (Texts{"ab", "b"}));
    EXPECT_EQ(property(r, "index").i, 1);
    EXPECT_TRUE(method(s("xy"), "match", {regexp("a")}).isNull());

    EXPECT_EQ(method(s("abcb"), "search", {regexp("b")}).i, 1);
    EXPECT_EQ(method(s("abc"), "search", {regexp("z")}).i, -1);
    ScriptValue g = regexp("b", "g");
    EXPECT_EQ(method(s("abcb"), "search", {g}).i, 1);
    EXPECT_EQ(property(g, "lastIndex").i, 2);
    EXPECT_EQ(method(s("abcb"), "search", {g}).i, 3);
    EXPECT_EQ(method(s("abcb"), "search", {g}).i, -1);
    EXPECT_EQ(property(g, "lastIndex").i, 0);
    EXPECT_EQ(statics("input"), "<null>");
    method(s("abcb"), "search", {g});
    EXPECT_EQ(statics("input"), "abcb") << "String operations set the last input";
}

TEST_F(RegExps, StringReplaceAndItsSubstitutions) {
    EXPECT_EQ(text(s("abc"), "replace", {regexp("b"), s("[$&]")}), "a[b]c");
    EXPECT_EQ(text(s("aaa"), "replace", {regexp("a", "g"), s("b")}), "bbb");
    EXPECT_EQ(text(s("aaa"), "replace", {regexp("a"), s("b")}), "baa");
    EXPECT_EQ(text(s("x"), "replace", {regexp("x"), s("$5")}), "");
    EXPECT_EQ(text(s("abcde"), "replace", {regexp("c"), s("<$`|$'>")}), "ab<ab|de>de");
    EXPECT_EQ(text(s("abc"), "replace", {regexp("(a)(x)?(b)"), s("$3$2$1$+")}), "babc");
    EXPECT_EQ(text(s("abc"), "replace", {regexp("b"), s("$$ $0 $x $")}), "a$ $0 $x $c");
    EXPECT_EQ(text(s("abc"), "replace", {regexp("(b)"), s("$10")}), "ab0c") << "one digit only";
    EXPECT_EQ(text(s("abc"), "replace", {regexp("x*", "g"), s("-")}), "-a-b-c-");
    EXPECT_EQ(text(s("aab"), "replace", {regexp("a*", "g"), s("-")}), "--b-");
    EXPECT_EQ(text(s(""), "replace", {regexp("x*", "g"), s("-")}), "-");
    EXPECT_EQ(text(s("a.b.c"), "replace", {regexp("\\.", "g"), s("")}), "abc");
    EXPECT_EQ(text(s("abc"), "replace", {regexp("b"), i(1)}), "")
        << "the replacement must be a string";
    ScriptValue same = s("abc");
    EXPECT_EQ(method(same, "replace", {regexp("z", "g"), s("-")}).str, same.str);
    // A global replace starts at 0 and leaves lastIndex at 0.
    ScriptValue g = regexp("a", "g");
    setProperty(engine, g, intern(engine, "lastIndex"), i(2));
    EXPECT_EQ(text(s("aXa"), "replace", {g, s("b")}), "bXb");
    EXPECT_EQ(property(g, "lastIndex").i, 0);
}

TEST_F(RegExps, StringSplitWithPatterns) {
    EXPECT_EQ(elements(method(s("aXbXc"), "split", {regexp("X")})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("abc"), "split", {regexp("x")})), Texts{"abc"});
    EXPECT_EQ(elements(method(s("a,b,"), "split", {regexp(",")})), (Texts{"a", "b", ""}));
    EXPECT_EQ(elements(method(s("abc"), "split", {regexp("x*")})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("a1b22c"), "split", {regexp("[0-9]*")})), (Texts{"a", "b", "c"}));
    EXPECT_EQ(elements(method(s("a1b2c"), "split", {regexp("([0-9])")})), (Texts{"a", "b", "c"}))
        << "sub-matches do not become pieces";
    EXPECT_EQ(elements(method(s("a1b2c"), "split", {regexp("[0-9]"), i(2)})), (Texts{"a", "b"}));
    EXPECT_EQ(elements(method(s("a1b2c"), "split", {regexp("[0-9]"), i(0)})), Texts{});
    EXPECT_EQ(elements(method(s(""), "split", {regexp("x")})), Texts{""});
    EXPECT_EQ(elements(method(s("1a"), "split", {regexp("[0-9]")})), (Texts{"", "a"}));
}

// Patterns whose matching explodes end with the matcher's limit, never a hang; the engine goes on
// working afterwards.
TEST_F(RegExps, CatastrophicPatternsEndWithAnError) {
    // (The benchmarks time the same patterns on far longer runs.)
    ScriptValue run = s(std::string(1500, 'a'));
    ScriptValue longRun = s(std::string(100000, 'a'));
    const std::string limit =
        "Runtime error: RegExp runtime error: Max regex search depth exceeded.";
    method(regexp("(a*)*b"), "exec", {run});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), limit);
    method(longRun, "replace", {regexp("(a|aa)*b", "g"), s("x")});
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(errorText(), limit);
    method(run, "split", {regexp("(a*)*b")});
    EXPECT_EQ(errorText(), limit);
    method(longRun, "match", {regexp("(a|aa)*c", "g")});
    EXPECT_EQ(errorText(), limit);
    EXPECT_EQ(elements(method(s("aab"), "match", {regexp("(a*)*b")})), (Texts{"aab", "aa"}));
}

TEST_F(RegExps, LiteralsOfLoadedModules) {
    ScriptValue re;
    ASSERT_EQ(loadLiteral("a(b)", 7, &re), 1) << errorText();
    EXPECT_EQ(text(re, "toString"), "/a(b)/gim");
    EXPECT_EQ(elements(method(re, "exec", {s("xAB")})), (Texts{"AB", "B"}));
    ASSERT_EQ(loadLiteral("", 0, &re), 1);
    EXPECT_EQ(text(re, "toString"), "/^/");
    EXPECT_EQ(loadLiteral("a(", 0, &re), 0);
    EXPECT_EQ(errorText(),
              "Runtime error: RegExp runtime error: Unmatched marking parenthesis ( or \\(.");
    // Instances die with their last reference (the sanitizer build checks that nothing leaks).
    for (int k = 0; k < 200; ++k) regexp("x+y", "g");
    collect(engine, engine->stackTop);
    // Literals keep working when a script has replaced the global.
    setGlobal(engine, "RegExp", makeNull());
    collect(engine, engine->stackTop);
    ASSERT_EQ(loadLiteral("b+", 1, &re), 1) << errorText();
    EXPECT_EQ(elements(method(s("abbcb"), "match", {re})), (Texts{"bb", "b"}));
    // The last input outlives every reference the caller had to it.
    method(re, "exec", {s("xxbby")});
    collect(engine, engine->stackTop);
    EXPECT_EQ(str(property(re, "input")), "xxbby");
    EXPECT_EQ(str(property(re, "rightContext")), "y");
}

}  // namespace

TEST(RegExpPatterns, ABackslashEndingABracketListIsAnErrorWithoutReadingPastThePattern) {
    // Each pattern sits in a block of exactly its own size, so the address sanitizer sees any
    // read beyond its end.
    for (std::u16string_view text : {u"[\\", u"a[b\\", u"([x\\", u"[[:alpha:]\\", u"\\"}) {
        std::unique_ptr<char16_t[]> exact(new char16_t[text.size()]);
        std::copy(text.begin(), text.end(), exact.get());
        for (uint32_t flags : {kRegBaseFlags, kRegExtended, kRegBaseFlags | kRegIgnoreCase}) {
            std::string error;
            CompiledPattern* compiled =
                compilePattern(std::u16string_view(exact.get(), text.size()), flags, &error);
            EXPECT_EQ(compiled, nullptr);
            EXPECT_FALSE(error.empty());
            if (compiled) freePattern(compiled);
        }
    }
}
