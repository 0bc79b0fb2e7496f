// `FlashPlayer`, the movie as scripts see it: the data bindings, and class-level members that
// call the main window's control by name (methods by their control names, the "target" ones as
// the control's T-prefixed methods; properties as the control's properties). Wrong argument
// types leave a member undone with an undefined result.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host/com/com_variant.h"
#include "host/system/window_object.h"
#include "projector/ansi_text.h"
#include "projector/flash_bindings.h"
#include "projector/movie_frame.h"
#include "projector/script_objects.h"
#include "projector/shockwave_flash.h"
#include "runtime/class_binding.h"

namespace quill::projector {

namespace {

CShockwaveFlash* scriptControl = nullptr;

struct FlashPlayerObject {};

CShockwaveFlash* control() {
    return scriptControl && scriptControl->created() ? scriptControl : nullptr;
}

VARIANT textVariant(std::u16string_view text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                                  static_cast<UINT>(text.size()));
    return v;
}

// Integers beyond 32 bits are cut to their low word, as the control's parameters are 32-bit.
VARIANT longVariant(int64_t n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = static_cast<LONG>(n);
    return v;
}

VARIANT doubleVariant(double d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
}

VARIANT boolVariant(bool b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

// Calls a control method; its result as a script value (undefined when there is no control or
// the call failed).
ScriptValue callControl(ScriptEngine* engine, const wchar_t* name, std::vector<VARIANT> args) {
    CShockwaveFlash* c = control();
    if (!c) {
        for (VARIANT& a : args) VariantClear(&a);
        return makeUndefined();
    }
    VARIANT result;
    VariantInit(&result);
    ScriptValue out = makeUndefined();
    if (SUCCEEDED(c->call(name, std::move(args), &result)) && result.vt != VT_EMPTY) {
        try {
            out = com::fromVariant(engine, result);
        } catch (...) {
            VariantClear(&result);
            throw;
        }
    }
    VariantClear(&result);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Data bindings.

void bindData(ScriptEngine* engine, bind::Args args) {
    for (uint32_t i = 1; i <= args.size(); ++i) {
        if (args[i].tag == kTagString) bindPath(engine, stringView(args[i]));
    }
}

void unbindData(ScriptEngine* engine, bind::Args args) {
    for (uint32_t i = 1; i <= args.size(); ++i) {
        if (args[i].tag == kTagString) unbindPath(engine, stringView(args[i]));
    }
}

void unbindAll(ScriptEngine* engine) {
    unbindAllPaths(engine);
}

// The movie may raise commands (and so run scripts that bind or unbind) inside each call, so
// the paths are taken first and every cell is looked up again after its call.
void updateData(ScriptEngine* engine, std::optional<bool> toScript) {
    CShockwaveFlash* c = control();
    if (!c) return;
    for (const std::u16string& path : boundPaths(engine)) {
        if (toScript.value_or(true)) {
            VARIANT result;
            VariantInit(&result);
            bool got = SUCCEEDED(c->call(L"GetVariable", {textVariant(path)}, &result)) &&
                       result.vt == VT_BSTR;
            std::u16string text;
            if (got && result.bstrVal) {
                text.assign(reinterpret_cast<const char16_t*>(result.bstrVal),
                            SysStringLen(result.bstrVal));
            }
            VariantClear(&result);
            if (!got) continue;
            ScriptValue value = movieTextValue(engine, text);
            if (ScriptValue* cell = bindingCell(engine, path)) *cell = value;
        } else {
            ScriptValue* cell = bindingCell(engine, path);
            if (!cell) continue;
            ScriptValue value[1] = {*cell};
            RootedValues rooted(engine, value, 1);
            ScriptValue text = toString(engine, value[0]);
            c = control();  // toString may run a script that closed the window
            if (!c) return;
            c->call(L"SetVariable", {textVariant(path), textVariant(stringView(text))}, nullptr);
        }
        c = control();
        if (!c) return;
    }
}

// ---------------------------------------------------------------------------------------------
// movieToWindow: movie pixels to the control's client pixels under its scale mode, the movie
// frame taken from the playing movie's header.

bool playingMovieSize(SIZE* size) {
    CShockwaveFlash* c = control();
    if (!c) return false;
    VARIANT movie;
    VariantInit(&movie);
    bool ok = SUCCEEDED(c->getProperty(L"Movie", &movie)) && movie.vt == VT_BSTR && movie.bstrVal;
    std::wstring path = ok ? std::wstring(movie.bstrVal, SysStringLen(movie.bstrVal)) : L"";
    VariantClear(&movie);
    auto frame = movieFrameSize(path);
    if (!frame) return false;
    *size = {frame->cx, frame->cy};
    return true;
}

ScriptValue movieToWindow(ScriptEngine* engine, ScriptValue rect) {
    if (rect.tag != kTagObject) return makeUndefined();
    const char* names[] = {"left", "top", "right", "bottom"};
    double edges[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        ScriptValue v = makeUndefined();
        if (!getProperty(engine, rect, intern(engine, names[i]), &v) || v.tag == kTagUndefined) {
            if (i == 1) continue;  // top may be left out
            return makeUndefined();
        }
        ScriptValue n = toNumber(engine, v);
        if (n.tag == kTagInteger) {
            edges[i] = static_cast<double>(n.i);
        } else if (n.tag == kTagNumber && std::isfinite(n.d)) {
            edges[i] = n.d;
        } else {
            return makeUndefined();
        }
    }
    CShockwaveFlash* c = control();
    SIZE movie;
    if (!c || !c->window() || !playingMovieSize(&movie)) return makeUndefined();
    RECT client;
    GetClientRect(c->window(), &client);
    double sx = double(client.right) / movie.cx, sy = double(client.bottom) / movie.cy;
    switch (c->getLong(L"ScaleMode", 0)) {
        case 1:  // no border: the movie covers the client area
            sx = sy = std::max(sx, sy);
            break;
        case 2:  // exact fit: each axis on its own
            break;
        case 3:  // no scale
            sx = sy = 1;
            break;
        default:  // show all
            sx = sy = std::min(sx, sy);
            break;
    }
    double ox = (client.right - movie.cx * sx) / 2, oy = (client.bottom - movie.cy * sy) / 2;
    ScriptObject* out = newObject(engine);
    ScriptValue result = makeObject(out);
    double mapped[4] = {ox + edges[0] * sx, oy + edges[1] * sy, ox + edges[2] * sx,
                        oy + edges[3] * sy};
    for (int i = 0; i < 4; ++i) {
        setByAtom(engine, out, intern(engine, names[i]),
                  makeInteger(static_cast<int64_t>(std::lround(mapped[i]))));
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Control methods.

template <const wchar_t* Name>
ScriptValue noArguments(ScriptEngine* engine) {
    return callControl(engine, Name, {});
}
template <const wchar_t* Name>
ScriptValue oneInteger(ScriptEngine* engine, int64_t n) {
    return callControl(engine, Name, {longVariant(n)});
}
template <const wchar_t* Name>
ScriptValue oneText(ScriptEngine* engine, std::u16string target) {
    return callControl(engine, Name, {textVariant(target)});
}
template <const wchar_t* Name>
ScriptValue textInteger(ScriptEngine* engine, std::u16string target, int64_t n) {
    return callControl(engine, Name, {textVariant(target), longVariant(n)});
}
template <const wchar_t* Name>
ScriptValue twoTexts(ScriptEngine* engine, std::u16string target, std::u16string text) {
    return callControl(engine, Name, {textVariant(target), textVariant(text)});
}

ScriptValue setZoomRect(ScriptEngine* engine, int64_t left, int64_t top, int64_t right,
                        int64_t bottom) {
    return callControl(
        engine, L"SetZoomRect",
        {longVariant(left), longVariant(top), longVariant(right), longVariant(bottom)});
}
ScriptValue pan(ScriptEngine* engine, int64_t x, int64_t y, int64_t mode) {
    return callControl(engine, L"Pan", {longVariant(x), longVariant(y), longVariant(mode)});
}
ScriptValue loadMovie(ScriptEngine* engine, int64_t layer, std::u16string url) {
    return callControl(engine, L"LoadMovie", {longVariant(layer), textVariant(url)});
}
ScriptValue setVariable(ScriptEngine* engine, std::u16string path, bind::AsString value) {
    return callControl(engine, L"SetVariable", {textVariant(path), textVariant(value.text)});
}
ScriptValue targetSetProperty(ScriptEngine* engine, std::u16string target, int64_t property,
                              bind::AsString value) {
    return callControl(engine, L"TSetProperty",
                       {textVariant(target), longVariant(property), textVariant(value.text)});
}
ScriptValue targetSetPropertyNum(ScriptEngine* engine, std::u16string target, int64_t property,
                                 double value) {
    return callControl(engine, L"TSetPropertyNum",
                       {textVariant(target), longVariant(property), doubleVariant(value)});
}

constexpr wchar_t kZoom[] = L"Zoom", kPlay[] = L"Play", kStop[] = L"Stop", kBack[] = L"Back",
                  kForward[] = L"Forward", kRewind[] = L"Rewind", kStopPlay[] = L"StopPlay",
                  kGotoFrame[] = L"GotoFrame", kCurrentFrame[] = L"CurrentFrame",
                  kIsPlaying[] = L"IsPlaying", kPercentLoaded[] = L"PercentLoaded",
                  kFrameLoaded[] = L"FrameLoaded", kFlashVersion[] = L"FlashVersion",
                  kGetVariable[] = L"GetVariable", kTGotoFrame[] = L"TGotoFrame",
                  kTGotoLabel[] = L"TGotoLabel", kTCurrentFrame[] = L"TCurrentFrame",
                  kTCurrentLabel[] = L"TCurrentLabel", kTPlay[] = L"TPlay",
                  kTStopPlay[] = L"TStopPlay", kTGetProperty[] = L"TGetProperty",
                  kTCallFrame[] = L"TCallFrame", kTCallLabel[] = L"TCallLabel",
                  kTGetPropertyNum[] = L"TGetPropertyNum";

// ---------------------------------------------------------------------------------------------
// Control properties.

template <const wchar_t* Name>
ScriptValue readProperty(ScriptEngine* engine) {
    CShockwaveFlash* c = control();
    if (!c) return makeUndefined();
    VARIANT v;
    VariantInit(&v);
    ScriptValue out = makeUndefined();
    if (SUCCEEDED(c->getProperty(Name, &v))) {
        try {
            out = com::fromVariant(engine, v);
        } catch (...) {
            VariantClear(&v);
            throw;
        }
    }
    VariantClear(&v);
    return out;
}

void put(const wchar_t* name, VARIANT v) {
    if (CShockwaveFlash* c = control()) c->putProperty(name, v);
    VariantClear(&v);
}
template <const wchar_t* Name>
void writeBool(bool value) {
    put(Name, boolVariant(value));
}
template <const wchar_t* Name>
void writeInteger(int64_t value) {
    put(Name, longVariant(value));
}
template <const wchar_t* Name>
void writeText(std::u16string value) {
    put(Name, textVariant(value));
}

// Scripts see colours as 0xRRGGBB; the control keeps the system's 0xBBGGRR (-1: none).
int64_t swapRedBlue(int64_t color) {
    if (color < 0) return -1;
    return swapRedAndBlue(static_cast<uint32_t>(color & 0xFFFFFF));
}
ScriptValue readBackgroundColor() {
    CShockwaveFlash* c = control();
    if (!c) return makeUndefined();
    VARIANT v;
    VariantInit(&v);
    ScriptValue out = makeUndefined();
    if (SUCCEEDED(c->getProperty(L"BackgroundColor", &v)) &&
        SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4))) {
        out = makeInteger(swapRedBlue(v.lVal));
    }
    VariantClear(&v);
    return out;
}
void writeBackgroundColor(int64_t color) {
    put(L"BackgroundColor", longVariant(color < 0 ? -1 : swapRedBlue(color & 0xFFFFFF)));
}

ScriptValue controlWindow(ScriptEngine* engine) {
    CShockwaveFlash* c = control();
    return c && c->window() ? windowValue(engine, c->window()) : makeNull();
}

ScriptValue readContextMenu(ScriptEngine* engine) {
    CShockwaveFlash* c = control();
    return c && c->window() ? contextMenuHandler(engine, c->window()) : makeUndefined();
}
// A function replaces the movie's own menu; null or undefined gives it back; anything else is
// ignored.
void writeContextMenu(ScriptEngine* engine, ScriptValue handler) {
    CShockwaveFlash* c = control();
    if (!c || !c->window()) return;
    if (handler.tag == kTagFunction || handler.tag == kTagNull || handler.tag == kTagUndefined) {
        setContextMenuHandler(engine, c->window(), handler);
    }
}

constexpr wchar_t kTotalFrames[] = L"TotalFrames", kPlaying[] = L"Playing", kQuality[] = L"Quality",
                  kScaleMode[] = L"ScaleMode", kAlignMode[] = L"AlignMode", kLoop[] = L"Loop",
                  kMovie[] = L"Movie", kFrameNum[] = L"FrameNum", kWMode[] = L"WMode",
                  kSAlign[] = L"SAlign", kMenu[] = L"Menu", kBase[] = L"Base", kScale[] = L"Scale",
                  kDeviceFont[] = L"DeviceFont", kEmbedMovie[] = L"EmbedMovie",
                  kBGColor[] = L"BGColor", kQuality2[] = L"Quality2", kSWRemote[] = L"SWRemote",
                  kFlashVars[] = L"FlashVars";

constexpr bind::Member kFlashPlayerMembers[] = {
    bind::classMethod<bindData>("bindData")
        .doc("path, ...",
             "Binds movie variable paths such as \"_root.score\" (strings; other arguments are "
             "skipped): each becomes a property of FlashPlayer, reached as FlashPlayer._root.score "
             "through MovieClip objects, that updateData fills."),
    bind::classMethod<unbindData>("unbindData")
        .doc("path, ...",
             "Removes the bindings of these paths; a path that is not bound is skipped."),
    bind::classMethod<unbindAll>("unbindAll").doc("", "Removes every binding."),
    bind::classMethod<updateData>("updateData")
        .doc("[toScript]",
             "Copies every bound movie variable into its property (no argument or true: "
             "\"true\"/\"false\" become booleans, decimal text numbers, the rest strings; "
             "variables the movie does not give stay as they were), or with false each property's "
             "text to the movie."),
    bind::classMethod<movieToWindow>("movieToWindow")
        .doc("rect",
             "Converts {left, top, right, bottom} in movie pixels (top may be left out) to the "
             "control's window pixels under its scale mode, as a new object of integers; undefined "
             "without a movie or with an edge that is not a number."),
    bind::classMethod<setZoomRect>("setZoomRect")
        .doc("left, top, right, bottom",
             "Zooms into the rectangle of the movie given in twips (integers)."),
    bind::classMethod<oneInteger<kZoom>>("zoom").doc(
        "percent",
        "Zooms by percent (below 100 in, above 100 out); 0 shows the whole movie again."),
    bind::classMethod<pan>("pan").doc(
        "x, y, mode",
        "Moves a zoomed view by x and y, in window pixels (mode 0) or percent of the part shown "
        "(mode 1)."),
    bind::classMethod<noArguments<kPlay>>("play").doc("", "Starts playing the movie."),
    bind::classMethod<noArguments<kStop>>("stop").doc("", "Stops playing the movie."),
    bind::classMethod<noArguments<kBack>>("back").doc("", "Goes one frame back and stops."),
    bind::classMethod<noArguments<kForward>>("forward").doc("", "Goes one frame on and stops."),
    bind::classMethod<noArguments<kRewind>>("rewind").doc("", "Goes to the first frame."),
    bind::classMethod<noArguments<kStopPlay>>("stopPlay")
        .doc("", "Stops playing (the same as stop)."),
    bind::classMethod<oneInteger<kGotoFrame>>("gotoFrame")
        .doc("frame", "Goes to the frame by number, the first being 0."),
    bind::classMethod<noArguments<kCurrentFrame>>("currentFrame")
        .doc("", "The number of the frame shown, the first being 0."),
    bind::classMethod<noArguments<kIsPlaying>>("isPlaying").doc("", "True while the movie plays."),
    bind::classMethod<noArguments<kPercentLoaded>>("percentLoaded")
        .doc("", "How much of the movie is loaded, 0 to 100."),
    bind::classMethod<oneInteger<kFrameLoaded>>("frameLoaded")
        .doc("frame", "True when that frame is loaded."),
    bind::classMethod<noArguments<kFlashVersion>>("flashVersion")
        .doc("", "The control's version, the major number in the high 16 bits."),
    bind::classMethod<loadMovie>("loadMovie")
        .doc("layer, url",
             "Loads the movie file or URL into that layer (0 replaces the main movie)."),
    bind::classMethod<setVariable>("setVariable")
        .doc("path, value",
             "Sets the movie variable at path (such as \"_root.msg\") to the text of value."),
    bind::classMethod<oneText<kGetVariable>>("getVariable")
        .doc("path",
             "The text of the movie variable at path; undefined when the movie has no such "
             "variable."),
    bind::classMethod<textInteger<kTGotoFrame>>("targetGotoFrame")
        .doc("target, frame",
             "Goes to the frame (from 0) in the timeline of the movie clip at target (such as "
             "\"/menu\")."),
    bind::classMethod<twoTexts<kTGotoLabel>>("targetGotoLabel")
        .doc("target, label", "Goes to the labelled frame in the target's timeline."),
    bind::classMethod<oneText<kTCurrentFrame>>("targetCurrentFrame")
        .doc("target", "The frame number (from 0) the target's timeline shows."),
    bind::classMethod<oneText<kTCurrentLabel>>("targetCurrentLabel")
        .doc("target",
             "The label of the frame the target's timeline shows (empty when it has none)."),
    bind::classMethod<oneText<kTPlay>>("targetPlay").doc("target", "Starts the target's timeline."),
    bind::classMethod<oneText<kTStopPlay>>("targetStopPlay")
        .doc("target", "Stops the target's timeline."),
    bind::classMethod<textInteger<kTGetProperty>>("targetGetProperty")
        .doc("target, property",
             "A property of the target by number (0 _x, 1 _y, 2 _xscale, ... as in the movie's "
             "actions), as text."),
    bind::classMethod<targetSetProperty>("targetSetProperty")
        .doc("target, property, value",
             "Sets a property of the target by number to the text of value."),
    bind::classMethod<textInteger<kTCallFrame>>("targetCallFrame")
        .doc("target, frame",
             "Runs the actions of the target's frame (from 0) without going there."),
    bind::classMethod<twoTexts<kTCallLabel>>("targetCallLabel")
        .doc("target, label",
             "Runs the actions of the target's labelled frame without going there."),
    bind::classMethod<textInteger<kTGetPropertyNum>>("targetGetPropertyNum")
        .doc("target, property", "A property of the target by number, as a number."),
    bind::classMethod<targetSetPropertyNum>("targetSetPropertyNum")
        .doc("target, property, value", "Sets a property of the target by number to a number."),
    bind::getter<readProperty<kTotalFrames>>("totalFrames")
        .doc("The number of frames of the movie."),
    bind::property<readProperty<kPlaying>, writeBool<kPlaying>>("playing").doc(
        "True while the movie plays; assigning starts or stops it."),
    bind::property<readProperty<kQuality>, writeInteger<kQuality>>("quality").doc(
        "Rendering quality: 0 low, 1 high, 2 automatic from low, 3 automatic from high."),
    bind::property<readProperty<kScaleMode>, writeInteger<kScaleMode>>("scaleMode")
        .doc("How the movie fits the window: 0 show all, 1 no border, 2 exact fit, 3 no scale."),
    bind::property<readProperty<kAlignMode>, writeInteger<kAlignMode>>("alignMode")
        .doc("Where the movie sits in the window: bits 1 left, 2 right, 4 top, 8 bottom."),
    bind::property<readBackgroundColor, writeBackgroundColor>("backgroundColor")
        .doc("The background colour as 0xRRGGBB; -1 for the movie's own."),
    bind::property<readProperty<kLoop>, writeBool<kLoop>>("loop").doc(
        "True when the movie starts again after its last frame."),
    bind::property<readProperty<kMovie>, writeText<kMovie>>("movie").doc(
        "The movie file or URL; assigning loads another movie."),
    bind::property<readProperty<kFrameNum>, writeInteger<kFrameNum>>("frameNum")
        .doc("The frame shown (from 0); assigning goes there."),
    bind::property<readProperty<kWMode>, writeText<kWMode>>("wmode").doc(
        "The window mode as text: \"Window\", \"Opaque\" or \"Transparent\"."),
    bind::property<readProperty<kSAlign>, writeText<kSAlign>>("salign").doc(
        "The alignment as text of the letters L, T, R and B (\"LT\": top left)."),
    bind::property<readProperty<kMenu>, writeBool<kMenu>>("menu").doc(
        "True when the movie's own context menu has every entry, false for the short one."),
    bind::property<readProperty<kBase>, writeText<kBase>>("base").doc(
        "The base URL for relative paths in the movie."),
    bind::property<readProperty<kScale>, writeText<kScale>>("scale").doc(
        "The scale mode as text: \"ShowAll\", \"NoBorder\" or \"ExactFit\"."),
    bind::property<readProperty<kDeviceFont>, writeBool<kDeviceFont>>("deviceFont")
        .doc("True to draw text in the system's fonts where the movie allows."),
    bind::property<readProperty<kEmbedMovie>, writeBool<kEmbedMovie>>("embedMovie")
        .doc("True when the movie is kept inside the control's saved state."),
    bind::property<readProperty<kBGColor>, writeText<kBGColor>>("bgColor").doc(
        "The background colour as text (\"#RRGGBB\")."),
    bind::property<readProperty<kQuality2>, writeText<kQuality2>>("quality2")
        .doc("The rendering quality as text (\"Low\", \"High\", \"AutoLow\", \"AutoHigh\")."),
    bind::property<readProperty<kSWRemote>, writeText<kSWRemote>>("SWRemote")
        .doc("The control's SWRemote text, passed on as it is."),
    bind::property<readProperty<kFlashVars>, writeText<kFlashVars>>("flashVars")
        .doc("Variables handed to the movie at load, as \"name=value&name=value\"."),
    bind::getter<controlWindow>("window").doc(
        "The Window of the control; null when there is none."),
    bind::property<readContextMenu, writeContextMenu>("onContextMenu")
        .doc("A function called (this: the control's Window) on a right-button press instead of "
             "the movie's menu; null gives the menu back."),
    bind::objectText("[object FlashPlayer]"),
};

PropertyHook flashPlayerBinderProperty = nullptr;

// Names that are not members are movie-variable paths when bound.
int flashPlayerProperty(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                        int mode, ScriptValue* value) {
    if (flashPlayerBinderProperty(engine, cls, data, atom, mode, value)) return 1;
    return pathProperty(engine, u"", atom, mode, value);
}

void registerFlashPlayer(ScriptEngine* engine) {
    ClassDescriptor* cls = bind::defineClass<FlashPlayerObject>(
        engine,
        {.name = "FlashPlayer",
         .id = ClassId::kFlashPlayer,
         .members = {kFlashPlayerMembers},
         .summary = "The movie in the main window: its control's methods and properties by name, "
                    "and movie variables bound as properties (bindData). Every member works on "
                    "the class itself; without a movie control methods give undefined and "
                    "assignments are ignored."});
    flashPlayerBinderProperty = cls->property;
    cls->property = flashPlayerProperty;
}

constexpr HostRegistration kProjectorClasses[] = {
    {ClassId::kCreateControl, registerCreateControl},
    {ClassId::kFlashPlayer, registerFlashPlayer},
    {ClassId::kMovieClip, registerMovieClip},
    {ClassId::kAppFunctions, registerProjectorFunctions},
};

}  // namespace

std::span<const HostRegistration> projectorClasses() {
    return kProjectorClasses;
}

void setScriptControl(CShockwaveFlash* control) {
    scriptControl = control;
}

}  // namespace quill::projector
