// What scripts reach inside a packed projector: the movie's variables through bindings both ways
// and MovieClip objects, playback and target methods on the timeline and a named sprite, the
// control's properties, the main window as a Window (a refused close, then a close that ends a
// processMsg loop), the project's movies, profile values and additional files, scripts by name,
// controls created in the window, and a quit raised while a window handler runs.
#include "tests/projector/projector_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quill::projector::test {
namespace {

constexpr const char* kMovie = R"MOVIE([movie]
width = 200
height = 100

[[shape]]
name = "dot"
rect = [0, 0, 10, 10]
fill = "#00ff00"

[[shape]]
name = "box"
rect = [0, 0, 80, 30]
fill = "#ff0000"

[[button]]
name = "probe"
up = "box"
fscommand = ["Quill_Run", "probe"]

[[sprite]]
name = "spinner"
frames = 3
[[sprite.place]]
name = "dot"
[[sprite.frame]]
frame = 1
actions = "stop"
[[sprite.frame]]
frame = 2
label = "middle"

[[place]]
name = "spinner"
instance = "clip"
x = 50
y = 50

[[place]]
name = "probe"
x = 10
y = 10

[[frame]]
frame = 1
actions = '''
set "score" "42"
set "half" "4.5"
set "yes" "true"
set "caps" "TRUE"
set "mixed" "4x"
set "empty" ""
set "clip.v" "7"
fscommand "Quill_Run" "ready"
stop
'''

[[frame]]
frame = 2
label = "second"

[[frame]]
frame = 3
label = "quitter"
actions = '''
fscommand "Quill_Quit" ""
fscommand "Quill_Eval" "log('nested eval ' + keep)"
stop
'''
)MOVIE";

std::string packWith(const Scratch& scratch, const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& scripts,
                     const std::string& extra = "") {
    std::string toml =
        "id = \"Quill Tests/" + name + "\"\nmovies = [\"movie.swf\"]\n" + extra + "scripts = [";
    for (const auto& [script, body] : scripts) {
        writeText(scratch.path(script + ".qls"), logFunction(scratch.path("log.txt")) + body);
        toml += "\"" + script + ".qls\", ";
    }
    toml += "]\n[window]\ntitle = \"" + name + "\"\n";
    writeText(scratch.path(name + ".toml"), toml);
    std::string exe = scratch.path(name + ".exe");
    packProject(scratch.path(name + ".toml"), exe);
    return exe;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string userString(const std::string& key, const std::string& name) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "<none>";
    char text[256];
    DWORD size = sizeof text, type = 0;
    LONG status = RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::string(text) : "<none>";
}

// The middle of the movie's button, (10, 10)-(90, 40) of the 200 by 100 stage, shown whole and
// centred in the client area.
POINT probePoint(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    double scale = std::min(client.right / 200.0, client.bottom / 100.0);
    double left = (client.right - 200 * scale) / 2, top = (client.bottom - 100 * scale) / 2;
    return {static_cast<LONG>(left + 50 * scale), static_cast<LONG>(top + 25 * scale)};
}

TEST(ProjectorScripting, MovieWindowAndProjectFromScripts) {
    ASSERT_TRUE(registerControl(true));
    Scratch scratch("scripting");
    buildMovie(kMovie, scratch.path("movie.swf"));
    CreateDirectoryA(scratch.path("extra").c_str(), nullptr);
    CreateDirectoryA(scratch.path("extra\\Docs").c_str(), nullptr);
    writeText(scratch.path("extra/notes.txt"), "notes");
    writeText(scratch.path("extra/Docs/inner.txt"), "inner");
    deleteUserKey("Software\\Quill Tests\\Scripting");
    const char* ready = R"(
var fp = FlashPlayer;
fp.bindData("_root.score", "_root.half", "_root.yes", "_root.caps", "_root.mixed",
            "_root.empty", 5, "_root.clip.v");
fp.updateData();
var r = fp._root;
log([r.score, r.score === 42, r.half, r.yes === true, r.caps, r.mixed, r.empty === 0].join());
log(r.clip + ' ' + r.clip.v + ' ' + fp._ROOT.CLIP.V);
fp.bindData('_root.absent');
r.absent = 'kept';
fp.updateData(true);  // a variable the movie does not have leaves the cell alone
log(r.absent);
r.score = 99;
r.clip.v = 'x y';
fp.updateData(false);
log(fp.getVariable('_root.score') + ' ' + fp.getVariable('_root.clip.v'));
fp.unbindData('_root.clip.v', '_root.nothing');
log(typeof fp._root.clip + ' ' + typeof fp._root.score);
log(fp.totalFrames + ' ' + fp.currentFrame());
fp.gotoFrame(1);
fp.stopPlay();
log(fp.currentFrame() + ' ' + fp.frameNum + ' ' + fp.isPlaying() + ' ' + fp.playing);
fp.targetGotoLabel('/clip', 'middle');
log(fp.targetCurrentFrame('/clip') + ' ' + fp.targetCurrentLabel('/clip'));
log(fp.targetGetProperty('/clip', 0) + ' ' + fp.targetGetPropertyNum('/clip', 0));
fp.targetSetPropertyNum('/clip', 0, 60);
fp.targetSetProperty('/clip', 1, 70);
log(fp.targetGetPropertyNum('/clip', 0) + ' ' + fp.targetGetPropertyNum('/clip', 1));
log(fp.gotoFrame('1') + ' ' + fp.targetGotoFrame(1, 2) + ' ' + fp.currentFrame());
fp.backgroundColor = 0x112233;
log(fp.backgroundColor.toString(16) + ' ' + fp.bgColor);
fp.loop = false;
fp.quality = 'high';
log(fp.loop + ' ' + fp.quality + ' ' + fp.percentLoaded() + ' ' + fp.frameLoaded(1));
var m = fp.movieToWindow({left: 0, top: 0, right: 200, bottom: 100});
var c = fp.window;
log((m.right - m.left) + ' ' + c.className + ' ' + (c.parent == getMainWnd()) + ' ' + fp);
log(typeof fp.movieToWindow({left: 0}) + ' ' + typeof fp.movieToWindow(5));

var w = getMainWnd();
log((w == getMainWnd()) + ' ' + w.caption + ' ' + w);
log((getExeName().indexOf(getAppDir()) == 0) + ' ' + getAppDir().charAt(getAppDir().length - 1));
log(getMovies().length + ' ' + getMovies()[0].substr(getMovies()[0].length - 9));
log(readProfile('Game') + ' ' + readProfile('Game', 'best') + ' ' + readProfile(1, 'best'));
writeProfile('Game', 'best', 123);
writeProfile('Game', 5, 'ignored');
log(readProfile('Game', 'best') + ' ' + typeof readProfile('game', 'BEST'));
log('file ' + getAdditionalFile('notes.txt'));
log('folder ' + getAdditionalFile('docs'));
log('slashes ' + getAdditionalFile('/Docs/INNER.txt'));
function firstLine(p) { var f = new FileStream(p, 'r'); var t = f.readLine(); f.close(); return t; }
log(firstLine(getAdditionalFile('notes.txt')) + ' ' + firstLine(getAdditionalFile('docs') + '\\inner.txt'));
function n(v) { return v === null ? 'null' : v; }
log(n(getAdditionalFile('../notes.txt')) + ' ' + n(getAdditionalFile('C:/windows/win.ini')) + ' ' +
    n(getAdditionalFile('Docs/../notes.txt')) + ' ' + n(getAdditionalFile('missing.txt')) + ' ' +
    n(getAdditionalFile(5)));
invoke('second');
invoke(7);
log(processMsg());
)";
    // Run from a click, once the window is up: a close refused by onQueryClose, then one that
    // ends the loop.
    const char* waiting = R"(
var w = getMainWnd();
var queries = 0;
w.onQueryClose = function () { log('query ' + queries); return queries++ > 0; };
w.onClose = function () { log('onClose'); };
log('waiting');
while (processMsg()) {}
log('loop ended');
)";
    std::string exe =
        packWith(scratch, "Scripting",
                 {{"ready", ready}, {"second", "log('second ran');\n"}, {"probe", waiting}},
                 "additional_files = \"extra\"\n");
    Projector app(exe, {{{"QUILL_SCRIPT_TIMEOUT", "0"}}, ""});
    HWND window = app.mainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "second ran\ntrue\n"));
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(gui::click(window, probePoint(window)));
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "waiting"));
    app.close();  // refused by onQueryClose
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "query 0"));
    EXPECT_TRUE(IsWindow(window));
    app.close();
    DWORD code = 1;
    ASSERT_TRUE(app.waitExit(&code));
    EXPECT_EQ(code, 0u);

    std::vector<std::string> log = lines(readText(scratch.path("log.txt")));
    ASSERT_GE(log.size(), 30u) << readText(scratch.path("log.txt"));
    size_t i = 0;
    EXPECT_EQ(log[i++], "42,true,4.5,true,TRUE,4x,true");
    EXPECT_EQ(log[i++], "[object MovieClip] 7 7");
    EXPECT_EQ(log[i++], "kept");
    EXPECT_EQ(log[i++], "99 x y");
    EXPECT_EQ(log[i++], "undefined number");
    EXPECT_EQ(log[i++], "3 0");
    EXPECT_EQ(log[i++], "1 1 false false");
    EXPECT_EQ(log[i++], "1 middle");
    EXPECT_EQ(log[i++], "50 50");
    EXPECT_EQ(log[i++], "60 70");
    EXPECT_EQ(log[i++], "undefined undefined 1");  // wrong argument types do nothing
    EXPECT_EQ(log[i++], "112233 #112233");
    EXPECT_EQ(log[i++], "false 1 100 true");
    std::string geometry = log[i++];
    EXPECT_NE(geometry.find(" QuillMovieControl true [object FlashPlayer]"), std::string::npos)
        << geometry;
    EXPECT_EQ(log[i++], "undefined undefined");
    EXPECT_EQ(log[i++], "true Scripting [object Window]");
    EXPECT_EQ(log[i++], "true \\");
    EXPECT_EQ(log[i++], "1 movie.swf");
    EXPECT_EQ(log[i++], "undefined undefined undefined");
    EXPECT_EQ(log[i++], "123 string");
    std::string file = log[i++], folder = log[i++], slashes = log[i++];
    ASSERT_EQ(file.rfind("file ", 0), 0u);
    EXPECT_NE(file.find("\\_extra\\notes.txt"), std::string::npos) << file;
    EXPECT_NE(folder.find("\\_extra\\Docs"), std::string::npos) << folder;
    EXPECT_NE(slashes.find("\\_extra\\Docs\\inner.txt"), std::string::npos) << slashes;
    EXPECT_EQ(log[i++], "notes inner");
    EXPECT_EQ(log[i++], "null null null null null");
    EXPECT_EQ(log[i++], "second ran");
    EXPECT_EQ(log[i++], "true");
    EXPECT_EQ(log[i++], "waiting");
    EXPECT_EQ(log[i++], "query 0");
    EXPECT_EQ(log[i++], "query 1");
    EXPECT_EQ(log[i++], "onClose");
    EXPECT_EQ(log[i++], "loop ended");
    EXPECT_EQ(userString("Software\\Quill Tests\\Scripting\\Game", "best"), "123");
    deleteUserKey("Software\\Quill Tests\\Scripting");
}

TEST(ProjectorScripting, ControlsInTheWindowAndAQuitInsideAHandler) {
    ASSERT_TRUE(registerControl(true));
    Scratch scratch("handlerquit");
    buildMovie(kMovie, scratch.path("movie.swf"));
    const char* ready = R"(
keep = 'kept';
// The created controls keep clear of the movie's button and of the point the test right-clicks.
var made = createControl('Quill.Movie', 100, 6, 140, 36);
log(made.window.className + ' ' + made.window.left + ' ' + made.window.width + ' ' +
    (made.window.parent == getMainWnd()) + ' ' + made.activex.TotalFrames);
var byId = createControl('{D27CDB6E-AE6D-11CF-96B8-444553540000}');
log(byId.window.width + ' ' + byId.window.height);
function n(v) { return v === null ? 'null' : v; }
log(n(createControl('No.Such.Control')) + ' ' + n(createControl(5)) + ' ' +
    n(createControl('Scripting.Dictionary')) + ' ' + n(createControl()));
made.window.width = 60;
log(made.window.width + ' ' + made.window.height);
var sizes = 0;
// Set from the right-click, so that only the test's own resize calls it.
FlashPlayer.onContextMenu = function () {
  log('menu ' + (this == FlashPlayer.window));
  getMainWnd().onSize = function (type, width, height) {
    if (sizes++ > 0) return;
    FlashPlayer.targetCallLabel('_root', 'quitter');
    log('handler goes on ' + keep + ' ' + typeof FlashPlayer);
  };
};
FlashPlayer.onContextMenu = 5;  // not a function: kept
log(typeof FlashPlayer.onContextMenu);
var beside = getAdditionalFile('movie.swf');
log(beside.substr(beside.length - 10) + ' ' + n(getAdditionalFile('..\\HandlerQuit\\movie.swf')) +
    ' ' + n(getAdditionalFile('nope.txt')));
log(setWindowless('none') + ' ' + setWindowless(1) + ' ' + setWindowless());
log('ready');
)";
    std::string exe = packWith(scratch, "HandlerQuit",
                               {{"ready", ready}, {"probe", "log('probe ' + typeof keep);\n"}});
    Projector app(exe, {{{"QUILL_SCRIPT_TIMEOUT", "0"}}, ""});
    HWND window = app.mainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "ready"));
    // A right-click on the movie reaches the handler instead of the movie's menu.
    RECT client;
    GetClientRect(window, &client);
    ASSERT_TRUE(gui::bringToFront(window));
    ASSERT_TRUE(gui::click(window, {client.right - 20, client.bottom - 20}, gui::Button::Right));
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "menu true"))
        << readText(scratch.path("log.txt"));
    RECT r = gui::windowRect(window);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left + 40, r.bottom - r.top + 20,
                 SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "handler goes on"));
    // The engine went once the handler had returned: a later script starts afresh.
    // The movie may not have been laid out for the new size when the first click comes, so
    // the click is repeated until the button answers.
    bool probed = false;
    for (int attempt = 0; attempt < 5 && !probed; ++attempt) {
        ASSERT_TRUE(gui::bringToFront(window));
        ASSERT_TRUE(gui::click(window, probePoint(window)));
        probed = waitForText(scratch.path("log.txt"), "probe", 2000);
    }
    ASSERT_TRUE(probed);
    app.close();
    DWORD code = 1;
    ASSERT_TRUE(app.waitExit(&code));
    EXPECT_EQ(code, 0u);
    std::vector<std::string> log = lines(readText(scratch.path("log.txt")));
    ASSERT_GE(log.size(), 12u) << readText(scratch.path("log.txt"));
    EXPECT_EQ(log[0], "QuillMovieControl 100 40 true 0");
    EXPECT_EQ(log[1], "50 50");
    EXPECT_EQ(log[2], "null null null null");
    EXPECT_EQ(log[3], "60 30");
    EXPECT_EQ(log[4], "function");
    EXPECT_EQ(log[5], "\\movie.swf null null");  // beside an executable without a block
    EXPECT_EQ(log[6], "undefined undefined undefined");
    EXPECT_EQ(log[7], "ready");
    EXPECT_EQ(log[8], "menu true");
    EXPECT_EQ(log[9], "nested eval kept");
    EXPECT_EQ(log[10], "handler goes on kept object");
    for (size_t i = 11; i < log.size(); ++i) EXPECT_EQ(log[i], "probe undefined");
}

TEST(ProjectorScripting, ADamagedAdditionalBlockIsReportedAndGivesNull) {
    ASSERT_TRUE(registerControl(true));
    Scratch scratch("damagedextra");
    buildMovie(
        "[movie]\nwidth = 100\nheight = 100\n[[frame]]\nframe = 1\n"
        "actions = [\"fscommand \\\"Quill_Run\\\" \\\"ready\\\"\", \"stop\"]\n",
        scratch.path("movie.swf"));
    CreateDirectoryA(scratch.path("extra").c_str(), nullptr);
    writeText(scratch.path("extra/notes.txt"), "notes");
    std::string exe =
        packWith(scratch, "Damaged",
                 {{"ready", "log('damaged ' + (getAdditionalFile('notes.txt') === null));\n"}},
                 "additional_files = \"extra\"\n");
    // The entry's name in the block becomes ":otes.txt", which names a drive.
    std::string bytes = readText(exe);
    const std::string name("n\0o\0t\0e\0s\0.\0t\0x\0t\0", 18);
    size_t at = bytes.rfind(name);
    ASSERT_NE(at, std::string::npos);
    bytes[at] = ':';
    writeText(exe, bytes);

    Projector app(exe, {{{"QUILL_SCRIPT_TIMEOUT", "0"}}, ""});
    std::string text;
    ASSERT_TRUE(app.answerMessageBox(&text));
    EXPECT_EQ(text,
              "the additional file \":otes.txt\" is refused: the name holds a folder or a drive");
    ASSERT_TRUE(waitForText(scratch.path("log.txt"), "damaged true\n"));
    app.close();
    DWORD code = 1;
    EXPECT_TRUE(app.waitExit(&code));
}

}  // namespace
}  // namespace quill::projector::test
