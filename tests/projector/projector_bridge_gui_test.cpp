// The FSCommand bridge end to end: a movie raises the reserved commands in one frame and from a
// button clicked with real input; scripts log what they see, call back into the movie while it
// raises nested commands, and the trace file shows what a packaged projector keeps silent.
#include "tests/projector/projector_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quill::projector::test {
namespace {

// Frame 1 raises the commands in order; the labelled frames run when a script calls them.
std::string bridgeMovie(const std::string& execTarget) {
    return R"MOVIE([movie]
width = 200
height = 100

[[shape]]
name = "box"
rect = [0, 0, 80, 30]
fill = "#ff0000"

[[button]]
name = "go"
up = "box"
fscommand = ["Quill_Run", "clicked"]

[[place]]
name = "go"
x = 10
y = 10

[[frame]]
frame = 1
actions = '''
fscommand "Quill_Run" "saveGame"
fscommand "Quill_Run" "SAVEGAME"
fscommand "Quill_Quit" ""
fscommand "Quill_Run" "saveGame"
fscommand "Quill_Run" "missing"
fscommand "saveGame" ""
fscommand "Quill_Eval" "log('eval ' + (1 + 2))"
fscommand "fullscreen" "1"
fscommand "Quill_Run" "nested"
fscommand "exec" "cmd.exe /c echo ran>)MOVIE" +
           execTarget + R"MOVIE("
fscommand "Quill_Run" "ready"
stop
'''

[[frame]]
frame = 2
label = "inner"
actions = '''
set "answer" "42"
fscommand "Quill_Run" "inner"
'''

[[frame]]
frame = 3
label = "quit"
actions = '''
fscommand "quit" ""
'''

[[frame]]
frame = 4
label = "big"
actions = '''
fscommand "FULLSCREEN" "TRUE"
'''
)MOVIE";
}

std::string escapedBackslashes(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// The middle of the movie's button, (10, 10)-(90, 40) of the 200 by 100 stage, in the client
// area where the movie is shown whole and centred.
POINT buttonPoint(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    double scale = std::min(client.right / 200.0, client.bottom / 100.0);
    double left = (client.right - 200 * scale) / 2, top = (client.bottom - 100 * scale) / 2;
    return {static_cast<LONG>(left + 50 * scale), static_cast<LONG>(top + 25 * scale)};
}

TEST(ProjectorBridge, ReservedCommandsNestingClicksAndDeferredQuit) {
    ASSERT_TRUE(registerControl(true));
    Scratch scratch("bridge");
    buildMovie(bridgeMovie(escapedBackslashes(scratch.path("exec.txt"))),
               scratch.path("bridge.swf"));
    std::string log = logFunction(scratch.path("log.txt"));
    const std::pair<const char*, const char*> scripts[] = {
        {"initialize", "log('init');\n"},
        {"saveGame",
         "if (typeof count == 'undefined') count = 0;\ncount++;\nlog('save ' + count);\n"},
        {"nested",
         "log('nested start');\nFlashPlayer.targetCallLabel('_root', 'inner');\n"
         "log('nested end ' + FlashPlayer.getVariable('_root.answer'));\n"},
        {"inner", "log('inner ' + FlashPlayer.getVariable('_root.answer'));\n"},
        {"ready", "log('ready');\n"},
        {"clicked",
         "if (typeof clicks == 'undefined') clicks = 0;\n"
         "if (++clicks == 1) {\n"
         "  log('clicked');\n  FlashPlayer.targetCallLabel('_root', 'big');\n  log('maximized');\n"
         "} else {\n"
         "  FlashPlayer.targetCallLabel('_root', 'quit');\n  log('after quit ' + count);\n}\n"},
    };
    std::string toml = "id = \"Quill Tests/Bridge\"\nmovies = [\"bridge.swf\"]\nscripts = [";
    for (const auto& [name, body] : scripts) {
        writeText(scratch.path(std::string(name) + ".qls"), log + body);
        toml += "\"" + std::string(name) + ".qls\", ";
    }
    toml += "]\n[window]\ntitle = \"Bridge\"\n";
    writeText(scratch.path("bridge.toml"), toml);
    std::string exe = scratch.path("bridge.exe");
    packProject(scratch.path("bridge.toml"), exe);

    Projector app(exe, {{}, "/trace:" + scratch.path("trace.txt")});
    HWND window = app.mainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "ready"));
    EXPECT_EQ(readText(scratch.path("log.txt")),
              "init\n"
              "save 1\n"
              "save 2\n"  // the same script under another case of its name runs again
              "save 1\n"  // after Quill_Quit the globals are gone
              "eval 3\n"
              "nested start\n"
              "inner 42\n"  // a command the movie raised while a script called into it
              "nested end 42\n"
              "ready\n");
    EXPECT_FALSE(IsZoomed(window)) << "fullscreen with \"1\" must do nothing";
    EXPECT_TRUE(waitForText(scratch.path("exec.txt"), "ran"));

    std::string trace = readText(scratch.path("trace.txt"));
    EXPECT_NE(trace.find("FSCommand(\"Quill_Run\", \"missing\")\r\n"
                         "Warning: Quill Script \"missing\" not found.\r\n\r\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("FSCommand(\"Quill_Run\", \"Initialize\")\r\n"), std::string::npos);
    EXPECT_EQ(trace.find("FSCommand(\"saveGame\""), std::string::npos);

    // A click on the movie's button runs its script, which maximizes the window from inside
    // the movie; a second click asks to quit from inside the movie, which waits until the
    // script has returned.
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(gui::click(window, buttonPoint(window)));
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "maximized"));
    EXPECT_TRUE(gui::waitFor([&] { return IsZoomed(window) != FALSE; }));
    ASSERT_TRUE(gui::click(window, buttonPoint(window)));
    DWORD code = 1;
    ASSERT_TRUE(app.waitExit(&code));
    EXPECT_EQ(code, 0u);
    std::string after = readText(scratch.path("log.txt"));
    EXPECT_NE(after.find("clicked\nmaximized\nafter quit 1\n"), std::string::npos) << after;
}

TEST(ProjectorBridge, ARunawayScriptCanBeStoppedAndFailuresAreTraced) {
    ASSERT_TRUE(registerControl(true));
    Scratch scratch("runaway");
    buildMovie(R"MOVIE([movie]
width = 100
height = 100
[[frame]]
frame = 1
actions = '''
fscommand "Quill_Run" "loop"
fscommand "Quill_Eval" "log('still here');"
fscommand "Quill_Eval" "this is not a script"
fscommand "Quill_Run" "fails"
stop
'''
)MOVIE",
               scratch.path("loop.swf"));
    std::string log = logFunction(scratch.path("log.txt"));
    writeText(scratch.path("loop.qls"), log + "log('looping');\nwhile (true) {}\n");
    writeText(scratch.path("fails.qls"), log + "undefinedFunction();\n");
    writeText(scratch.path("loop.toml"),
              "id = \"Quill Tests/Runaway\"\nmovies = [\"loop.swf\"]\n"
              "scripts = [\"loop.qls\", \"fails.qls\"]\n");
    std::string exe = scratch.path("loop.exe");
    packProject(scratch.path("loop.toml"), exe);

    Projector app(exe, {{{"QUILL_SCRIPT_TIMEOUT", "1"}}, "/trace:" + scratch.path("trace.txt")});
    std::string text;
    ASSERT_TRUE(app.answerMessageBox(&text, IDYES));
    EXPECT_EQ(text.rfind("A script is not responding.", 0), 0u) << text;
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "still here"));
    ASSERT_NE(app.mainWindow(), nullptr);
    std::string trace = readText(scratch.path("trace.txt"));
    EXPECT_NE(trace.find("hook break 1\r\n\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("FSCommand(\"Quill_Eval\", \"this is not a script\")\r\nerror: line 0"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("undefinedFunction"), std::string::npos) << trace;
    app.close();
    ASSERT_TRUE(app.waitExit(nullptr));
}

// Quill_File runs script files, source or compiled, in the engine the project's scripts share;
// the trace destination receives the engine's warnings, a file that cannot be read and the
// message of a run that failed, each after its command.
TEST(ProjectorBridge, ScriptFilesRunAndTheTraceGetsWarningsAndFailures) {
    ASSERT_TRUE(registerControl(true));
    Scratch scratch("files");
    std::string log = logFunction(scratch.path("log.txt"));
    writeText(scratch.path("source.qls"), log + "fromFile = 'source';\nlog('source');\n");
    writeText(scratch.path("compiled.qls"), log + "log('compiled after ' + fromFile);\n");
    ASSERT_EQ(runQuill("compile \"" + scratch.path("compiled.qls") + "\" -o \"" +
                       scratch.path("compiled.qsc") + "\""),
              0);
    writeText(scratch.path("fails.qls"),
              log + "log('before ' + notDefined);\nthrow 'boom from a file';\nlog('after');\n");
    const std::string missing = scratch.slashed("missing.qls");
    buildMovie(
        "[movie]\nwidth = 100\nheight = 100\n[[frame]]\nframe = 1\nactions = '''\n"
        "fscommand \"Quill_File\" \"" +
            scratch.slashed("source.qls") +
            "\"\n"
            "fscommand \"quill_file\" \"" +
            scratch.slashed("compiled.qsc") +
            "\"\n"
            "fscommand \"Quill_File\" \"" +
            missing +
            "\"\n"
            "fscommand \"Quill_File\" \"" +
            scratch.slashed("fails.qls") +
            "\"\n"
            "fscommand \"Quill_Run\" \"done\"\nstop\n'''\n",
        scratch.path("files.swf"));
    writeText(scratch.path("done.qls"), log + "log('done ' + fromFile);\n");
    writeText(scratch.path("files.toml"),
              "id = \"Quill Tests/Files\"\nmovies = [\"files.swf\"]\nscripts = [\"done.qls\"]\n");
    std::string exe = scratch.path("files.exe");
    packProject(scratch.path("files.toml"), exe);

    Projector app(exe, {{}, "/trace:" + scratch.path("trace.txt")});
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "done"));
    EXPECT_EQ(readText(scratch.path("log.txt")),
              "source\ncompiled after source\nbefore undefined\ndone source\n");
    std::string trace = readText(scratch.path("trace.txt"));
    EXPECT_NE(trace.find("FSCommand(\"quill_file\", \"" + scratch.slashed("compiled.qsc") +
                         "\")\r\n\r\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("FSCommand(\"Quill_File\", \"" + missing +
                         "\")\r\ncan't open the script file: " + missing + "\r\n\r\n"),
              std::string::npos)
        << trace;
    size_t fails = trace.find("FSCommand(\"Quill_File\", \"" + scratch.slashed("fails.qls"));
    ASSERT_NE(fails, std::string::npos) << trace;
    size_t warning = trace.find("Warning: using undefined variable \"notDefined\"", fails);
    size_t boom = trace.find("boom from a file", fails);
    EXPECT_NE(warning, std::string::npos) << trace;
    EXPECT_NE(boom, std::string::npos) << trace;
    EXPECT_LT(warning, boom);
    EXPECT_LT(boom, trace.find("FSCommand(\"Quill_Run\", \"done\")"));
    app.close();
    ASSERT_TRUE(app.waitExit(nullptr));
}

}  // namespace
}  // namespace quill::projector::test
