// The diagnostic routines: line format, warnings that let the compilation go on, the error that
// stops it through the guard, and the 260-byte message limit.
#include <gtest/gtest.h>

#include <string>

#include "compiler/messages.h"
#include "compiler_test_support.h"

using namespace quill::compiler;
using namespace quill::compiler::testing;

TEST(Diagnostics, WarningsAccumulateAndTheErrorStops) {
    Compilation c("");
    bool reachedEnd = false;
    bool ok = guardCompile([&] {
        compileWarning(c.ctx, 3, kMsgUnknownEscape, '\\', 'q');
        compileWarning(c.ctx, 0, "%s", kMsgMissingSemicolon);
        syntaxError(c.ctx, 12, kMsgInvalidStatement);
        reachedEnd = true;
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(reachedEnd);
    EXPECT_EQ(c.diagnostics(),
              "warning: line 3: unknown escape sequence '\\q'\r\n"
              "warning: line 0: missing ;\r\n"
              "error: line 12: syntax error: invalid statement\r\n");
}

TEST(Diagnostics, ErrorCarriesItsLine) {
    Compilation c("");
    try {
        compileError(c.ctx, 4000000000u, "%s", kMsgMoreThanOneDefault);
        FAIL() << "no exception";
    } catch (const CompileError& error) {
        EXPECT_EQ(error.line, 4000000000u);
    }
    EXPECT_EQ(c.diagnostics(), "error: line 4000000000: more than one switch default\r\n");
    EXPECT_TRUE(guardCompile([] {}));
}

TEST(Diagnostics, MessagesAreCutAt259Bytes) {
    Compilation c("");
    std::string name(1000, 'n');
    compileWarning(c.ctx, 1, "%s%d%%", name.c_str(), 7);
    EXPECT_EQ(c.diagnostics(), "warning: line 1: " + name.substr(0, 259) + "\r\n");
}
