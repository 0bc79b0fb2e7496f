// Window objects under Wine: one object per window, placement, state and styles read back from
// the system, and the events of the subclass procedure (size, close, pointer, context menu)
// reaching scripts that wait in processMsg, including handlers that fail, windows that go away
// under their objects, and engines that go away under their windows.
#include "tests/gui/system/desktop_test_support.h"

#include "host/system/window_object.h"

namespace quill::gui {
namespace {

class WindowTest : public DesktopTest {
  protected:
    // A window of the test's own thread that scripts reach as `w`.
    void wrap(HWND hwnd) { setGlobal(engine, "w", windowValue(engine, hwnd)); }
    // Waits in processMsg until the script condition holds (five seconds at most), then gives
    // the text of `result`.
    std::string waitInScript(const std::string& condition, const std::string& result) {
        return eval("var until = new Date().getTime() + 5000; while (!(" + condition +
                    ") && new Date().getTime() < until) processMsg(); " + result);
    }
};

// The pointer at a point of the screen, with a real move so the window under it hears of it.
void movePointer(POINT screen) {
    SetCursorPos(screen.x, screen.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;  // by 0: where SetCursorPos put it
    SendInput(1, &input, sizeof input);
}

TEST_F(WindowTest, OneObjectPerWindowWithItsPlacementAndState) {
    TestWindow::Options options;
    options.title = L"Quill window members";
    TestWindow window(options);
    ASSERT_NE(window.hwnd(), nullptr);
    // Found by class and title, by title in another letter case, and by handle: one object.
    EXPECT_EQ(eval("var w = Window.find('QuillTestWindow', 'Quill window members'); "
                   "var all = Window.getWindowsByName('QUILL WINDOW members'); "
                   "[all.length, all[0] === w, String(w), w.className, w.caption].join()"),
              "1,true,[object Window],QuillTestWindow,Quill window members");
    EXPECT_EQ(eval("w.handle"), std::to_string(reinterpret_cast<intptr_t>(window.hwnd())));
    setGlobal(engine, "same", windowValue(engine, window.hwnd()));
    EXPECT_EQ(eval("same === w"), "true");
    EXPECT_GE(std::stoi(eval("Window.getWindowsByName('').length")), 1);
    EXPECT_EQ(eval("Window.getWindowsByName('no window has this title').length"), "0");
    EXPECT_TRUE(isNull("Window.find('NoSuchWindowClassAnywhere', null)"));

    RECT rect = windowRect(window.hwnd());
    EXPECT_EQ(eval("[w.left, w.top, w.width, w.height].join()"),
              std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
                  std::to_string(rect.right - rect.left) + "," +
                  std::to_string(rect.bottom - rect.top));
    // Each edge written alone keeps the others; move with two integers keeps right and bottom.
    eval("w.left = 40; w.top = 50; w.width = 300; w.height = 200; w.caption = 'Renamed \\u00e9'");
    rect = windowRect(window.hwnd());
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.right, 340);
    EXPECT_EQ(rect.bottom, 250);
    EXPECT_EQ(windowText(window.hwnd()), L"Renamed \u00e9");
    eval("w.move(10, 20)");
    rect = windowRect(window.hwnd());
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 340);
    EXPECT_EQ(rect.bottom, 250);
    // Values of the wrong type are ignored member by member.
    eval(
        "w.width = 12.5; w.left = '7'; w.move('a', null, 1.5); w.caption = 42; "
        "w.windowState = 'MAXIMIZED'; w.modifyStyle('x')");
    EXPECT_EQ(windowRect(window.hwnd()).left, 10);
    EXPECT_EQ(windowRect(window.hwnd()).right, 340);
    EXPECT_EQ(windowText(window.hwnd()), L"Renamed \u00e9");
    EXPECT_FALSE(IsZoomed(window.hwnd()));

    EXPECT_EQ(eval("w.windowState = 'maximized'; w.windowState"), "maximized");
    EXPECT_EQ(eval("w.windowState = 6; w.windowState"), "minimized");
    EXPECT_EQ(eval("w.windowState = 'normal'; w.windowState"), "normal");
    EXPECT_EQ(eval("w.hide(); var a = w.visible; w.show(); a + ',' + w.visible"), "false,true");
    EXPECT_EQ(eval("w.enable = 0; var a = w.enable; w.enable = 'yes'; a + ',' + w.enable"),
              "false,true");
    EXPECT_EQ(eval("w.modifyStyle(" + std::to_string(WS_MAXIMIZEBOX) + "); w.modifyStyleEx(0, " +
                   std::to_string(WS_EX_TOOLWINDOW) + ")"),
              "undefined");
    EXPECT_EQ(style(window.hwnd()) & WS_MAXIMIZEBOX, 0u);
    EXPECT_NE(exStyle(window.hwnd()) & WS_EX_TOOLWINDOW, 0u);
    EXPECT_TRUE(IsWindowVisible(window.hwnd()));
    // Handlers are write-only.
    EXPECT_EQ(eval("w.onSize = function () {}; typeof w.onSize"), "undefined");
    EXPECT_TRUE(trace.empty()) << trace;
}

TEST_F(WindowTest, ChildrenParentsAndTheMainWindow) {
    TestWindow parent, other;
    HWND button = CreateWindowExW(0, L"BUTTON", L"Press", WS_CHILD | WS_VISIBLE, 5, 6, 70, 25,
                                  parent.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND inner = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 1, 1, 5, 5, button, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(inner, nullptr);
    wrap(parent.hwnd());
    setGlobal(engine, "other", windowValue(engine, other.hwnd()));
    // Children of children too, as the system enumerates them; positions in the parent's client
    // area; a top-level window has no parent.
    EXPECT_EQ(eval("var c = w.getChildren(); var b = c[0]; "
                   "[c.length, b.className, b.caption, b.left, b.top, b.width, b.parent === w, "
                   "c[1].parent === b, w.parent === null].join()"),
              "2,Button,Press,5,6,70,true,true,true");
    EXPECT_EQ(eval("b.parent = other; b.parent === other"), "true");
    EXPECT_EQ(GetParent(button), other.hwnd());
    EXPECT_EQ(eval("b.parent = 'w'; b.parent === other"), "true");

    // The quill tool has no main window: create gives null. A host's main window takes the
    // children, 200 by 20 at its corner.
    EXPECT_TRUE(isNull("w.create('STATIC')"));
    setMainWindow(engine, parent.hwnd());
    EXPECT_EQ(eval("var n = Window.create('STATIC'); "
                   "[n.parent === w, n.left, n.top, n.width, n.height, n.visible].join()"),
              "true,0,0,200,20,true");
    EXPECT_TRUE(isNull("Window.create('NoSuchWindowClassAnywhere')"));
    EXPECT_EQ(eval("Window.create(5)"), "undefined");
}

TEST_F(WindowTest, EventsReachHandlersWhileTheScriptWaits) {
    TestWindow window;
    wrap(window.hwnd());
    eval(
        "var log = []; "
        "w.onSize = function (type, width, height) { log.push('size ' + type + ' ' + width + "
        "' ' + height + ' ' + (this === w)); }; "
        "var keep = true; w.onQueryClose = function () { log.push('query'); return !keep; }; "
        "w.onClose = function () { log.push('close ' + (this === w)); }; "
        "w.onEnter = 1; w.onClose = 'not a function'");
    // The test resizes the window: the handler runs at once, with the new client size.
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(eval("log.join()"), "size 0 " + std::to_string(client.right) + " " +
                                      std::to_string(client.bottom) + " true");

    // A close the handler refuses: the window stays, and the window itself never hears of it.
    eval("log = []; w.close()");
    EXPECT_EQ(waitInScript("log.length > 0", "log.join()"), "query");
    EXPECT_TRUE(IsWindow(window.hwnd()));
    EXPECT_EQ(window.count(WM_CLOSE), 0);
    // The user closes it: the handlers run while the script waits, then the window goes.
    eval("keep = false; log = []");
    PostMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(waitInScript("log.length >= 2", "log.join()"), "query,close true");
    EXPECT_FALSE(IsWindow(window.hwnd()));
    EXPECT_EQ(eval("[w.caption, w.handle, w.visible, w.getChildren(), w.close()].join()"),
              "undefined,undefined,undefined,undefined,undefined");
    EXPECT_EQ(eval("w.caption = 'x'; w.width = 5; w.onSize = function () {}; String(w)"),
              "[object Window]");
    EXPECT_EQ(windowHandle(getGlobal(engine, "w")), nullptr);
    EXPECT_EQ(trackedWindowCount(engine), 0u);
    EXPECT_TRUE(trace.empty()) << trace;
}

TEST_F(WindowTest, PointerEntersHoversAndLeaves) {
    movePointer({5, 5});
    TestWindow window;
    ASSERT_TRUE(bringToFront(window.hwnd()));
    wrap(window.hwnd());
    eval(
        "var log = []; "
        "w.onEnter = function () { log.push('enter ' + (this === w)); }; "
        "w.onHover = function () { if (log[log.length - 1] != 'hover') log.push('hover'); }; "
        "w.onLeave = function () { log.push('leave'); }");
    movePointer({200, 150});
    // onHover comes every half second while the pointer stays inside.
    EXPECT_EQ(waitInScript("log.length >= 2", "log.join()"), "enter true,hover");
    EXPECT_EQ(GetCapture(), window.hwnd());
    movePointer({5, 5});
    EXPECT_EQ(waitInScript("log.length >= 3", "log.join()"), "enter true,hover,leave");
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(WindowTest, ContextMenuHandlerTakesTheRightButton) {
    TestWindow window;
    ASSERT_TRUE(bringToFront(window.hwnd()));
    wrap(window.hwnd());
    eval("var menus = []; function onMenu() { menus.push(this === w); }");
    ASSERT_TRUE(setContextMenuHandler(engine, window.hwnd(), getGlobal(engine, "onMenu")));
    EXPECT_EQ(contextMenuHandler(engine, window.hwnd()).tag, kTagFunction);
    ASSERT_TRUE(click(window.hwnd(), {30, 30}, Button::Right));
    EXPECT_EQ(waitInScript("menus.length > 0", "menus.join()"), "true");
    EXPECT_EQ(window.count(WM_RBUTTONDOWN), 0);  // swallowed
    EXPECT_GT(window.count(WM_RBUTTONUP), 0);

    // Cleared, the press reaches the window again.
    ASSERT_TRUE(setContextMenuHandler(engine, window.hwnd(), makeNull()));
    ASSERT_TRUE(click(window.hwnd(), {30, 30}, Button::Right));
    EXPECT_TRUE(waitFor([&] { return window.count(WM_RBUTTONDOWN) > 0; }));
    EXPECT_EQ(eval("menus.length"), "1");
    // A window of no thread of ours carries no events.
    EXPECT_FALSE(setContextMenuHandler(engine, GetDesktopWindow(), getGlobal(engine, "onMenu")));
}

TEST_F(WindowTest, HandlersThatFailOrResizeTheirOwnWindow) {
    TestWindow window;
    wrap(window.hwnd());
    // A failing handler goes to the trace output and the window carries on.
    eval("var sizes = 0; w.onSize = function () { sizes++; throw 'size broke'; }");
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 300, 300, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(eval("sizes"), "1");
    EXPECT_NE(trace.find("size broke"), std::string::npos) << trace;
    EXPECT_GT(window.count(WM_SIZE), 0);
    // A handler that resizes its own window nests only so deep.
    eval("sizes = 0; w.onSize = function (t, x, y) { sizes++; this.width = this.width + 1; }");
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 320, 300, SWP_NOMOVE | SWP_NOZORDER);
    int sizes = std::stoi(eval("sizes"));
    EXPECT_GE(sizes, 2);
    EXPECT_LE(sizes, 8);
    // A handler that waits for messages while its window closes under it.
    eval("w.onSize = function () { this.close(); processMsg(); sizes = -1; }");
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 200, 200, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(eval("sizes"), "-1");
    EXPECT_FALSE(IsWindow(window.hwnd()));

    // onQueryClose that fails gives no answer: the close goes on.
    TestWindow second;
    wrap(second.hwnd());
    eval("w.onQueryClose = function () { throw 'no answer'; }");
    PostMessageW(second.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(second.hwnd()); }));
}

TEST_F(WindowTest, WindowsAndEnginesThatGoFirst) {
    // The window goes while its object lives: members answer undefined, collections run.
    HWND loose = CreateWindowExW(0, L"STATIC", L"loose", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    wrap(loose);
    eval("w.onSize = function () { gone = false; }; var gone = true");
    DestroyWindow(loose);
    collect(engine, nullptr);
    EXPECT_EQ(eval("[w.className, w.left, w.parent, w.windowState, gone].join()"),
              "undefined,undefined,undefined,undefined,true");
    // A new window that happens to get the same handle is not the old object's.
    EXPECT_EQ(trackedWindowCount(engine), 0u);

    // The engine goes while its window lives and holds handlers: no call reaches it later.
    TestWindow::Options options;
    options.title = L"Quill window kept";  // other programs may show test windows too
    TestWindow window(options);
    EngineConfig config;
    ScriptEngine* other = createEngine(config);
    ASSERT_NE(other, nullptr);
    setGlobal(other, "w", windowValue(other, window.hwnd()));
    wrap(window.hwnd());  // this engine's object for the same window keeps its own events
    eval("var mine = 0; w.onSize = function () { mine++; }");
    ASSERT_TRUE(runScriptText(other,
                              "w.onSize = function () { throw 1; }; "
                              "w.onEnter = function () {}; w.onClose = function () {}"));
    destroyEngine(other);
    int before = window.count(WM_SIZE);
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 250, 250, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_GT(window.count(WM_SIZE), before);
    EXPECT_EQ(eval("mine"), "1");
    // Handlers belong to the window, not to one script value: they outlive every reference.
    EXPECT_EQ(eval("function keep() { var mine = Window.find(null, 'Quill window kept'); "
                   "mine.onSize = function () { this.caption = 'resized'; }; } "
                   "w = null; keep(); 1"),
              "1");
    collect(engine, nullptr);
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 260, 260, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(windowText(window.hwnd()), L"resized") << trace;
    PostMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(window.hwnd()); }));
}

}  // namespace
}  // namespace quill::gui
