// The Window host class: caption, placement, parent, state and style of any window, its child
// and sibling windows, and the handler properties whose events the subclass procedure raises
// (window_registry_win32.cpp). Every member of a window that is gone does nothing and answers
// undefined.
#include <windows.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_support.h"
#include "host/system/window_object.h"
#include "host/system/window_record.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

using desktop::fromWide;
using desktop::wide;
using window::Record;
using window::Ref;
using WindowArg = bind::Instance<Record, ClassId::kWindow>;

// Coordinates and show commands are 32-bit for the system: larger integers fit nothing.
std::optional<int> int32Of(int64_t value) {
    if (value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

bool isChild(HWND hwnd) {
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) != 0;
}

// The window rectangle in the parent's client coordinates, or on the screen for a top-level
// window.
RECT placement(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    if (isChild(hwnd)) {
        if (HWND parent = GetAncestor(hwnd, GA_PARENT)) {
            MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
        }
    }
    return rect;
}

ScriptValue newWindowArray(ScriptEngine* engine, const std::vector<HWND>& windows) {
    // Making the objects allocates but never collects, so the array needs no root.
    ScriptValue array;
    newArray(engine, &array, windows.size());
    uint32_t index = 0;
    for (HWND hwnd : windows) {
        ScriptValue value = windowValue(engine, hwnd);
        if (value.tag == kTagNull) continue;  // gone since it was listed
        setElement(engine, array, value, index++);
    }
    truncateArray(engine, array, index);
    return array;
}

std::u16string textOf(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
    return fromWide(buffer.data(), static_cast<size_t>(got > 0 ? got : 0));
}

// ---------------------------------------------------------------------------------------------
// Properties.

ScriptValue getCaption(ScriptEngine* engine, Record& w) {
    return w.alive() ? newString(engine, textOf(w.hwnd)) : makeUndefined();
}
void setCaption(Record& w, std::u16string text) {
    if (w.alive()) SetWindowTextW(w.hwnd, wide(text));
}

enum Edge { kLeft, kTop, kWidth, kHeight };

template <Edge E>
ScriptValue getEdge(Record& w) {
    if (!w.alive()) return makeUndefined();
    RECT r = placement(w.hwnd);
    int values[] = {int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)};
    return makeInteger(values[E]);
}
// Moves or sizes the window, keeping the other three values.
template <Edge E>
void setEdge(Record& w, int64_t value) {
    std::optional<int> v = int32Of(value);
    if (!v || !w.alive()) return;
    RECT r = placement(w.hwnd);
    LONG width = r.right - r.left, height = r.bottom - r.top;
    if (E == kLeft) r.left = *v;
    if (E == kTop) r.top = *v;
    if (E == kWidth) width = *v;
    if (E == kHeight) height = *v;
    SetWindowPos(w.hwnd, nullptr, r.left, r.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

ScriptValue getParent(ScriptEngine* engine, Record& w) {
    if (!w.alive()) return makeUndefined();
    HWND parent = isChild(w.hwnd) ? GetAncestor(w.hwnd, GA_PARENT) : nullptr;
    return parent ? windowValue(engine, parent) : makeNull();
}
void setParent(Record& w, WindowArg parent) {
    if (w.alive() && parent->alive()) SetParent(w.hwnd, parent->hwnd);
}

ScriptValue getHandle(Record& w) {
    if (!w.alive()) return makeUndefined();
    return makeInteger(static_cast<int64_t>(reinterpret_cast<intptr_t>(w.hwnd)));
}

ScriptValue getClassName(ScriptEngine* engine, Record& w) {
    if (!w.alive()) return makeUndefined();
    wchar_t name[257] = L"";  // class names are at most 256 characters
    int length = GetClassNameW(w.hwnd, name, 257);
    return newString(engine, fromWide(name, static_cast<size_t>(length > 0 ? length : 0)));
}

ScriptValue getVisible(Record& w) {
    return w.alive() ? makeBoolean(IsWindowVisible(w.hwnd) != 0) : makeUndefined();
}

ScriptValue getEnable(Record& w) {
    return w.alive() ? makeBoolean(IsWindowEnabled(w.hwnd) != 0) : makeUndefined();
}
void setEnable(Record& w, bool enable) {
    if (w.alive()) EnableWindow(w.hwnd, enable);
}

ScriptValue getWindowState(ScriptEngine* engine, Record& w) {
    if (!w.alive()) return makeUndefined();
    const char* state = IsZoomed(w.hwnd) ? "maximized" : IsIconic(w.hwnd) ? "minimized" : "normal";
    return newStringFromAscii(engine, state);
}
// A state name, or an integer show command passed on unchanged; anything else is ignored.
void setWindowState(Record& w, ScriptValue value) {
    if (!w.alive()) return;
    std::optional<int> command;
    if (value.tag == kTagInteger) {
        command = int32Of(value.i);
    } else if (value.tag == kTagString) {
        std::u16string_view name = stringView(value);
        if (name == u"normal") command = SW_SHOWNORMAL;
        if (name == u"maximized") command = SW_SHOWMAXIMIZED;
        if (name == u"minimized") command = SW_SHOWMINIMIZED;
    }
    if (!command) return;
    ShowWindow(w.hwnd, *command);
    // A window minimized from maximized comes back maximized: "normal" means the normal size.
    if (*command == SW_SHOWNORMAL && IsZoomed(w.hwnd)) ShowWindow(w.hwnd, SW_SHOWNORMAL);
}

// Handler properties are write-only: reading gives undefined.
ScriptValue readNothing(Record&) {
    return makeUndefined();
}
template <window::Slot S>
void storeHandler(Record& w, ScriptValue handler) {
    if (handler.tag == kTagFunction && w.alive()) w.handlers[S] = handler;
}

// ---------------------------------------------------------------------------------------------
// Methods.

void show(Record& w) {
    if (w.alive()) ShowWindow(w.hwnd, SW_SHOW);
}
void hide(Record& w) {
    if (w.alive()) ShowWindow(w.hwnd, SW_HIDE);
}
void postClose(Record& w) {
    if (w.alive()) PostMessageW(w.hwnd, WM_CLOSE, 0, 0);
}

// Every descendant, as the system enumerates them (children of children too).
ScriptValue getChildren(ScriptEngine* engine, Record& w) {
    if (!w.alive()) return makeUndefined();
    std::vector<HWND> children;
    EnumChildWindows(
        w.hwnd,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return newWindowArray(engine, children);
}

void bringToTop(Record& w) {
    if (w.alive()) SetForegroundWindow(w.hwnd);
}

// Styles are 32-bit words: an integer gives its low 32 bits.
template <int Index>
void modifyStyleOf(Record& w, std::optional<int64_t> remove, std::optional<int64_t> add) {
    if (!w.alive()) return;
    auto style = static_cast<DWORD>(GetWindowLongPtrW(w.hwnd, Index));
    style = (style & ~static_cast<DWORD>(remove.value_or(0))) | static_cast<DWORD>(add.value_or(0));
    SetWindowLongPtrW(w.hwnd, Index, static_cast<LONG_PTR>(style));
    SetWindowPos(w.hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                     SWP_NOACTIVATE);
}

// Each integer argument replaces its edge; the others keep theirs.
void moveEdges(Record& w, bind::Args args) {
    if (!w.alive()) return;
    RECT r = placement(w.hwnd);
    LONG* edges[] = {&r.left, &r.top, &r.right, &r.bottom};
    for (uint32_t i = 1; i <= 4; ++i) {
        if (args[i].tag != kTagInteger) continue;
        if (std::optional<int> v = int32Of(args[i].i)) *edges[i - 1] = *v;
    }
    MoveWindow(w.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

// The members below do not depend on the window they are called on: they answer on the class
// value as well, which is how a script without a main window finds its first window.

ScriptValue findWindow(ScriptEngine* engine, bind::Args args) {
    std::optional<std::u16string> names[2];
    for (uint32_t i = 1; i <= 2; ++i) {
        if (args[i].tag == kTagString) names[i - 1] = std::u16string(stringView(args[i]));
    }
    HWND found =
        FindWindowW(names[0] ? wide(*names[0]) : nullptr, names[1] ? wide(*names[1]) : nullptr);
    return found ? windowValue(engine, found) : makeNull();
}

ScriptValue createChild(ScriptEngine* engine, std::u16string className) {
    window::Registry* registry = window::registryOf(engine);
    HWND parent = registry ? registry->mainWindow : nullptr;
    if (!parent || !IsWindow(parent)) return makeNull();
    HWND created = CreateWindowExW(0, wide(className), L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20,
                                   parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    return created ? windowValue(engine, created) : makeNull();
}

// Titles compare with only A to Z folded, as the system's window titles are matched here.
bool sameTitle(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

ScriptValue getWindowsByName(ScriptEngine* engine, bind::AsString title) {
    struct Search {
        std::u16string title;
        std::vector<HWND> found;
    } search{std::move(title.text), {}};
    EnumWindows(
        [](HWND hwnd, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            if (s->title.empty() || sameTitle(textOf(hwnd), s->title)) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return newWindowArray(engine, search.found);
}

// ---------------------------------------------------------------------------------------------
// The class.

void* resolveWindow(void* data) {
    return static_cast<Ref*>(data)->record.get();
}

void markWindow(ScriptEngine* engine, void* data) {
    for (const ScriptValue& handler : static_cast<Ref*>(data)->record->handlers) {
        markValue(engine, handler);
    }
}

constexpr bind::Member kWindowMembers[] = {
    bind::property<getCaption, setCaption>("caption").doc("The window's text (its title)."),
    bind::property<getEdge<kLeft>, setEdge<kLeft>>("left").doc(
        "The left edge, in the parent's client coordinates (screen coordinates for a top-level "
        "window); assigning moves the window."),
    bind::property<getEdge<kTop>, setEdge<kTop>>("top").doc(
        "The top edge, in the parent's client coordinates (screen coordinates for a top-level "
        "window); assigning moves the window."),
    bind::property<getEdge<kWidth>, setEdge<kWidth>>("width").doc(
        "The width in pixels; assigning resizes the window."),
    bind::property<getEdge<kHeight>, setEdge<kHeight>>("height").doc(
        "The height in pixels; assigning resizes the window."),
    bind::property<getParent, setParent>("parent").doc(
        "A Window for the parent (null for none); assigning a Window makes it the parent."),
    bind::getter<getHandle>("handle").doc("The window handle as an integer."),
    bind::getter<getClassName>("className").doc("The window's class name."),
    bind::getter<getVisible>("visible").doc("True when the window is visible."),
    bind::property<getEnable, setEnable>("enable").doc(
        "Whether the window takes input; assigning enables or disables it."),
    bind::property<getWindowState, setWindowState>("windowState")
        .doc("\"normal\", \"maximized\" or \"minimized\"; assign one of those, or an integer show "
             "command."),
    bind::property<readNothing, storeHandler<window::kOnClose>>("onClose").doc(
        "Called (this the window) when the window is about to close. Write-only."),
    bind::property<readNothing, storeHandler<window::kOnQueryClose>>("onQueryClose")
        .doc("Called (this the window) before the window closes; a false result keeps it open. "
             "Write-only."),
    bind::property<readNothing, storeHandler<window::kOnEnter>>("onEnter").doc(
        "Called when the mouse pointer enters the window. Write-only."),
    bind::property<readNothing, storeHandler<window::kOnLeave>>("onLeave").doc(
        "Called when the mouse pointer leaves the window. Write-only."),
    bind::property<readNothing, storeHandler<window::kOnHover>>("onHover").doc(
        "Called every 500 ms while the mouse pointer stays in the window. Write-only."),
    bind::property<readNothing, storeHandler<window::kOnSize>>("onSize").doc(
        "Called as handler(sizeType, clientWidth, clientHeight) when the window is resized. "
        "Write-only."),
    bind::method<show>("show").doc("Shows the window."),
    bind::method<hide>("hide").doc("Hides the window."),
    bind::method<postClose>("close").doc("Asks the window to close, without waiting."),
    bind::method<getChildren>("getChildren")
        .doc("An array of Window objects for the child windows."),
    bind::method<bringToTop>("bringToTop").doc("Makes the window the foreground window."),
    bind::method<modifyStyleOf<GWL_STYLE>>("modifyStyle")
        .doc("[remove [, add]]",
             "Removes and adds window style bits, then redraws the frame and shows the window."),
    bind::method<modifyStyleOf<GWL_EXSTYLE>>("modifyStyleEx")
        .doc("[remove [, add]]",
             "Removes and adds extended style bits, then redraws the frame and shows the window."),
    bind::method<moveEdges>("move").doc(
        "[left [, top [, right [, bottom]]]]",
        "Moves the edges given as integers (the others stay), in the parent's client coordinates."),
    bind::classMethod<findWindow>("find").doc(
        "[className [, title]]",
        "A Window for the first top-level window with that class and title (each used when a "
        "string); null when none."),
    bind::classMethod<createChild>("create").doc("className",
                                                 "Creates a visible 200x20 child window of that "
                                                 "class in the main window; its Window, or null."),
    bind::classMethod<getWindowsByName>("getWindowsByName")
        .doc("title",
             "An array of Window objects for the top-level windows with that title (any case of "
             "A-Z); every one for \"\"."),
    bind::objectText("[object Window]"),
};

}  // namespace

void registerWindow(ScriptEngine* engine) {
    bind::defineClass<Ref>(
        engine, {.name = "Window",
                 .id = ClassId::kWindow,
                 .members = {kWindowMembers},
                 .resolve = resolveWindow,
                 .mark = markWindow,
                 .summary = "Any window of the system, by handle; scripts get one from "
                            "Window.find, Window.getWindowsByName, Shell.run or the projector's "
                            "getMainWnd. Members do nothing once the window is gone."});
    window::createRegistry(engine);
}

}  // namespace quill
