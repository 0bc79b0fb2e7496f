// Pathological input for the parser: nesting 100,000 levels deep in every recursive form, long
// operator chains and long statement lists. Deep input must end in the nesting error on a
// thread with a small native stack, never in a crash.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>

#include "compiler/messages.h"
#include "compiler_test_support.h"

using namespace quill::compiler;
using namespace quill::compiler::testing;

namespace {

std::string repeat(const std::string& piece, int count) {
    std::string out;
    out.reserve(piece.size() * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out += piece;
    return out;
}

// The recursive forms of the language, each nested `depth` times.
struct Shape {
    const char* name;
    std::string (*build)(int depth);
};

const Shape kShapes[] = {
    {"parentheses", [](int n) { return repeat("(", n) + "a" + repeat(")", n); }},
    {"brackets", [](int n) { return repeat("[", n) + repeat("]", n); }},
    {"objects", [](int n) { return "x = " + repeat("{a:", n) + "1" + repeat("}", n); }},
    {"blocks", [](int n) { return repeat("{", n) + repeat("}", n); }},
    {"unary operators", [](int n) { return repeat("-", n) + "a"; }},
    {"typeof", [](int n) { return repeat("typeof ", n) + "a"; }},
    {"new", [](int n) { return repeat("new ", n) + "X"; }},
    {"calls", [](int n) { return repeat("f(", n) + repeat(")", n); }},
    {"indexes", [](int n) { return "a" + repeat("[", n) + "0" + repeat("]", n); }},
    {"assignments", [](int n) { return repeat("a = ", n) + "b"; }},
    {"conditionals", [](int n) { return repeat("a ? b : ", n) + "c"; }},
    {"conditional middles", [](int n) { return repeat("a ? ", n) + "b" + repeat(" : c", n); }},
    {"precedence ladders",
     [](int n) { return repeat("a||a&&a|a^a&a==a<a<<a+a*(", n) + "a" + repeat(")", n); }},
    {"functions", [](int n) { return repeat("function f(){", n) + repeat("}", n); }},
    {"function expressions", [](int n) { return repeat("x = function(){", n) + repeat("}", n); }},
    {"else-if chains", [](int n) { return repeat("if (a) {} else ", n) + "{}"; }},
    {"ifs", [](int n) { return repeat("if (a) ", n) + ";"; }},
    {"loops", [](int n) { return repeat("for (;;) while (a) ", n) + ";"; }},
    {"do-while", [](int n) { return repeat("do ", n) + ";" + repeat(" while (a);", n); }},
    {"try", [](int n) { return repeat("try ", n) + ";" + repeat(" finally {}", n); }},
    {"catch", [](int n) { return repeat("try {} catch (e) ", n) + ";"; }},
    {"switch", [](int n) { return repeat("switch (a) { case 1: ", n) + repeat("}", n); }},
    {"labels", [](int n) { return repeat("l: ", n) + ";"; }},
    {"with", [](int n) { return repeat("with (a) ", n) + ";"; }},
    {"mixed", [](int n) { return repeat("x = (-[{a:f(new X(", n) + repeat("))}])", n); }},
    // Chains that the parser builds in a loop still make tall trees.
    {"operator chains", [](int n) { return "a" + repeat("+a", n); }},
    {"comma chains", [](int n) { return "a" + repeat(",a", n); }},
    {"member chains", [](int n) { return "a" + repeat(".b", n); }},
    {"call chains", [](int n) { return "a" + repeat("()", n); }},
    {"index chains", [](int n) { return "a" + repeat("[0]", n); }},
};

const std::string kTooDeep =
    errorLine(0, "nesting too deep (more than " + std::to_string(kMaxNestingDepth) + " levels)");

// Runs `work` on a thread with a native stack of `bytes`, as small as the projector's, and
// checks that it ran to its end (a thread that dies of its stack must not pass for a success).
void runWithStack(size_t bytes, const std::function<void()>& work) {
    struct Job {
        const std::function<void()>* work;
        bool finished;
    } job{&work, false};
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    auto body = [](void* argument) -> void* {
        auto* j = static_cast<Job*>(argument);
        (*j->work)();
        j->finished = true;
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, body, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_TRUE(job.finished);
}

#if defined(__SANITIZE_ADDRESS__)
// Instrumented frames are several times larger.
constexpr size_t kSmallStack = 4u << 20;
#else
constexpr size_t kSmallStack = 1u << 20;
#endif

}  // namespace

TEST(ParserNesting, HundredThousandLevelsEndInTheNestingError) {
    runWithStack(kSmallStack, [] {
        for (const Shape& shape : kShapes) {
            EXPECT_EQ(diagnosticsOf(shape.build(100000)), kTooDeep) << shape.name;
        }
    });
}

TEST(ParserNesting, ReasonableDepthsParse) {
    runWithStack(kSmallStack, [] {
        for (const Shape& shape : kShapes) {
            Compilation c(shape.build(90));
            EXPECT_TRUE(c.parse()) << shape.name << ": " << c.diagnostics();
        }
    });
    // A thousand operands in one chain are too tall; nine hundred are fine.
    EXPECT_EQ(parseText("x = 1" + repeat(" + 1", 900)).substr(0, 9), "(expr (= ");
    EXPECT_EQ(diagnosticsOf("x = 1" + repeat(" + 1", 1000)), kTooDeep);
}

TEST(ParserNesting, TheLimitIsExact) {
    // An expression statement counts one level, its expression one more, each bracket one.
    std::string inner = repeat("(", kMaxNestingDepth - 2) + "a" + repeat(")", kMaxNestingDepth - 2);
    EXPECT_EQ(diagnosticsOf(inner), "");
    EXPECT_EQ(diagnosticsOf("(" + inner + ")"), kTooDeep);
    // The error is reported at the line where the limit was crossed.
    EXPECT_EQ(diagnosticsOf(repeat("{\n", 2000)),
              errorLine(kMaxNestingDepth - 1, "nesting too deep (more than " +
                                                  std::to_string(kMaxNestingDepth) + " levels)"));
}

TEST(ParserNesting, TreesStayWithinTheLimit) {
    Compilation c("x = " + repeat("[", 500) + repeat("]", 500) + "; y = a" + repeat(" + a", 400));
    ASSERT_TRUE(c.parse());
    for (const SyntaxNode* s = c.ctx.statements.first; s; s = s->next) {
        EXPECT_LE(s->height, kMaxNestingDepth);
    }
    EXPECT_EQ(c.ctx.statements.first->height, 502u);  // statement, assignment, 500 arrays
    EXPECT_EQ(c.ctx.statements.last->height, 403u);
}

TEST(ParserNesting, LongStatementListsAndWideLiterals) {
    const int count = 100000;
    Compilation c(repeat("x = 1;\n", count) + "f(" + repeat("a,", count) + "a);" + "[" +
                  repeat("1,", count) + "];");
    ASSERT_TRUE(c.parse()) << c.diagnostics();
    EXPECT_EQ(c.ctx.statements.count, static_cast<uint32_t>(count + 2));
    const SyntaxNode* call = c.ctx.statements.first;
    while (call->next != c.ctx.statements.last) call = call->next;
    EXPECT_EQ(call->a.node->a.word, static_cast<uint32_t>(count + 1));
    const SyntaxNode* array = c.ctx.statements.last->a.node;
    EXPECT_EQ(array->a.word, static_cast<uint32_t>(count + 1));  // the trailing hole
    EXPECT_EQ(c.ctx.lastLine, static_cast<uint32_t>(count));
}
