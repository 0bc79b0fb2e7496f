// The movie control as a COM object, without a window: every member the projector calls answers
// by name, the timeline and variables behave through IDispatch, FSCommand reaches a connected
// sink with dispatch identifier 150, unreadable movies leave it empty and usable, and its
// properties survive persistence (with damaged data refused).
#include <gtest/gtest.h>

#include "control_test_support.h"

using namespace quill::movie::test;

namespace {

const char* kMovie = R"(
[movie]
width = 200
height = 100
[[shape]]
name = "box"
rect = [0, 0, 20, 20]
fill = "#ff0000"
[[sprite]]
name = "spin"
frames = 2
[[sprite.place]]
name = "box"
[[text]]
name = "field"
rect = [0, 50, 100, 20]
variable = "msg"
[[place]]
name = "spin"
instance = "clip"
x = 10
[[place]]
name = "field"
[[frame]]
frame = 1
actions = ["set \"greeting\" \"hello\""]
[[frame]]
frame = 2
label = "second"
actions = ["fscommand \"Quill_Run\" \"fromFrame\""]
[[frame]]
frame = 3
label = "third"
)";

struct ControlComTest : ::testing::Test {
    ComApartment apartment;
    Com<IDispatch> control;
    void SetUp() override {
        ASSERT_EQ(createFromFile(IID_IDispatch, reinterpret_cast<void**>(control.out())), S_OK);
    }
};

}  // namespace

TEST_F(ControlComTest, EveryMemberContainersCallHasAName) {
    const wchar_t* names[] = {L"Movie",
                              L"Playing",
                              L"Loop",
                              L"ScaleMode",
                              L"AlignMode",
                              L"BackgroundColor",
                              L"Quality",
                              L"Quality2",
                              L"ReadyState",
                              L"TotalFrames",
                              L"FrameNum",
                              L"Play",
                              L"Stop",
                              L"StopPlay",
                              L"Back",
                              L"Forward",
                              L"Rewind",
                              L"GotoFrame",
                              L"CurrentFrame",
                              L"IsPlaying",
                              L"PercentLoaded",
                              L"FrameLoaded",
                              L"FlashVersion",
                              L"LoadMovie",
                              L"Zoom",
                              L"SetZoomRect",
                              L"Pan",
                              L"SetVariable",
                              L"GetVariable",
                              L"TGotoFrame",
                              L"TGotoLabel",
                              L"TCurrentFrame",
                              L"TCurrentLabel",
                              L"TPlay",
                              L"TStopPlay",
                              L"TSetProperty",
                              L"TGetProperty",
                              L"TSetPropertyNum",
                              L"TGetPropertyNum",
                              L"TCallFrame",
                              L"TCallLabel",
                              L"WMode",
                              L"SAlign",
                              L"Menu",
                              L"Base",
                              L"Scale",
                              L"DeviceFont",
                              L"EmbedMovie",
                              L"BGColor",
                              L"SWRemote",
                              L"FlashVars",
                              L"gotoFrame",
                              L"totalframes"};  // names are found whatever their case
    for (const wchar_t* name : names) {
        DISPID id;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id), S_OK)
            << std::string(name, name + wcslen(name));
    }
    // Without a movie: empty, and saying so.
    EXPECT_EQ(callNumber(control.p, L"ReadyState"), 1);
    EXPECT_EQ(callNumber(control.p, L"TotalFrames"), 0);
    EXPECT_EQ(callNumber(control.p, L"PercentLoaded"), 0);
    EXPECT_GE(callNumber(control.p, L"FlashVersion"), 0x60000);
}

TEST_F(ControlComTest, TimelineAndVariablesThroughDispatch) {
    MovieFile movie(kMovie, "timeline");
    EXPECT_EQ(put(control.p, L"Playing", vbool(false)), S_OK);
    EXPECT_EQ(put(control.p, L"Movie", bstr(movie.path)), S_OK);
    EXPECT_EQ(callText(control.p, L"Movie"), movie.path);
    EXPECT_EQ(callNumber(control.p, L"ReadyState"), 4);
    EXPECT_EQ(callNumber(control.p, L"TotalFrames"), 3);
    EXPECT_EQ(callNumber(control.p, L"CurrentFrame"), 0);
    EXPECT_EQ(callText(control.p, L"IsPlaying"), L"False");
    EXPECT_EQ(callNumber(control.p, L"PercentLoaded"), 100);
    EXPECT_EQ(callText(control.p, L"GetVariable", {bstr(L"greeting")}), L"hello");
    EXPECT_EQ(call(control.p, L"SetVariable", {bstr(L"_root.msg"), bstr(L"hi")}, nullptr), S_OK);
    EXPECT_EQ(callText(control.p, L"GetVariable", {bstr(L"msg")}), L"hi");
    VARIANT r;
    EXPECT_NE(call(control.p, L"GetVariable", {bstr(L"no.such.thing")}, &r), S_OK);

    EXPECT_EQ(call(control.p, L"GotoFrame", {i4(2)}, &r), S_OK);
    EXPECT_EQ(callNumber(control.p, L"CurrentFrame"), 2);
    EXPECT_EQ(callNumber(control.p, L"FrameNum"), 2);
    EXPECT_EQ(call(control.p, L"Back", {}, &r), S_OK);
    EXPECT_EQ(callNumber(control.p, L"CurrentFrame"), 1);
    EXPECT_EQ(call(control.p, L"Forward", {}, &r), S_OK);
    EXPECT_EQ(callNumber(control.p, L"CurrentFrame"), 2);
    EXPECT_EQ(call(control.p, L"Rewind", {}, &r), S_OK);
    EXPECT_EQ(callNumber(control.p, L"CurrentFrame"), 0);
    EXPECT_EQ(put(control.p, L"FrameNum", i4(1)), S_OK);
    EXPECT_EQ(callNumber(control.p, L"CurrentFrame"), 1);
    EXPECT_EQ(callText(control.p, L"FrameLoaded", {i4(2)}), L"True");
    EXPECT_EQ(callText(control.p, L"FrameLoaded", {i4(3)}), L"False");
    EXPECT_EQ(call(control.p, L"Play", {}, &r), S_OK);
    EXPECT_EQ(callText(control.p, L"IsPlaying"), L"True");
    EXPECT_EQ(call(control.p, L"StopPlay", {}, &r), S_OK);
    EXPECT_EQ(callText(control.p, L"Playing"), L"False");

    // Clips by target path.
    EXPECT_EQ(call(control.p, L"TGotoLabel", {bstr(L"/"), bstr(L"third")}, &r), S_OK);
    EXPECT_EQ(callText(control.p, L"TCurrentLabel", {bstr(L"_root")}), L"third");
    EXPECT_EQ(callNumber(control.p, L"TCurrentFrame", {bstr(L"/")}), 2);
    EXPECT_EQ(call(control.p, L"TGotoFrame", {bstr(L"/clip"), i4(1)}, &r), S_OK);
    EXPECT_EQ(callNumber(control.p, L"TCurrentFrame", {bstr(L"/clip")}), 1);
    EXPECT_EQ(call(control.p, L"TStopPlay", {bstr(L"/clip")}, &r), S_OK);
    EXPECT_EQ(call(control.p, L"TPlay", {bstr(L"_root.clip")}, &r), S_OK);
    EXPECT_EQ(callText(control.p, L"TGetProperty", {bstr(L"/clip"), i4(0)}), L"10");
    EXPECT_EQ(call(control.p, L"TSetPropertyNum", {bstr(L"/clip"), i4(0), i4(42)}, &r), S_OK);
    EXPECT_EQ(callNumber(control.p, L"TGetPropertyNum", {bstr(L"/clip"), i4(0)}), 42);
    EXPECT_EQ(call(control.p, L"TSetProperty", {bstr(L"/clip"), i4(13), bstr(L"renamed")}, &r),
              S_OK);
    EXPECT_EQ(callText(control.p, L"TGetProperty", {bstr(L"/renamed"), i4(13)}), L"renamed");
    EXPECT_NE(call(control.p, L"TCurrentFrame", {bstr(L"/nothing")}, &r), S_OK);

    // View settings are kept and read back.
    EXPECT_EQ(put(control.p, L"ScaleMode", i4(2)), S_OK);
    EXPECT_EQ(callText(control.p, L"Scale"), L"ExactFit");
    EXPECT_EQ(put(control.p, L"BGColor", bstr(L"#102030")), S_OK);
    EXPECT_EQ(callNumber(control.p, L"BackgroundColor"), static_cast<long>(RGB(0x10, 0x20, 0x30)));
    EXPECT_EQ(put(control.p, L"Quality2", bstr(L"low")), S_OK);
    EXPECT_EQ(callNumber(control.p, L"Quality"), 0);
    EXPECT_NE(put(control.p, L"ScaleMode", i4(7)), S_OK);
    EXPECT_EQ(call(control.p, L"Zoom", {i4(50)}, &r), S_OK);
    EXPECT_EQ(call(control.p, L"Pan", {i4(10), i4(10), i4(0)}, &r), S_OK);
    EXPECT_EQ(call(control.p, L"SetZoomRect", {i4(0), i4(0), i4(2000), i4(1000)}, &r), S_OK);
    EXPECT_EQ(call(control.p, L"Zoom", {i4(0)}, &r), S_OK);
}

TEST_F(ControlComTest, EventsReachTheSinkFsCommandAs150) {
    MovieFile movie(kMovie, "events");
    EventSink sink;
    DWORD cookie = sink.connect(control.p);
    EXPECT_EQ(put(control.p, L"Movie", bstr(movie.path)), S_OK);
    // Loading: "loading", then "complete" and 100 percent.
    ASSERT_GE(sink.events.size(), 3u);
    EXPECT_EQ(sink.events[0].id, -609);
    EXPECT_EQ(sink.events[0].args, std::vector<std::wstring>{L"0"});
    EXPECT_EQ(sink.events[1].args, std::vector<std::wstring>{L"4"});
    EXPECT_EQ(sink.events[2].id, 0x7A6);
    EXPECT_EQ(sink.events[2].args, std::vector<std::wstring>{L"100"});
    VARIANT r;
    EXPECT_EQ(call(control.p, L"TCallLabel", {bstr(L"/"), bstr(L"second")}, &r), S_OK);
    auto commands = sink.commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].first, L"Quill_Run");
    EXPECT_EQ(commands[0].second, L"fromFrame");
    EXPECT_EQ(call(control.p, L"GotoFrame", {i4(1)}, &r), S_OK);  // reaching the frame fires it too
    EXPECT_EQ(sink.commands().size(), 2u);
    sink.disconnect(control.p, cookie);
    EXPECT_EQ(call(control.p, L"TCallFrame", {bstr(L"/"), i4(1)}, &r), S_OK);
    EXPECT_EQ(sink.commands().size(), 2u);
}

TEST_F(ControlComTest, UnreadableMoviesLeaveTheControlEmptyAndUsable) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring text = std::wstring(dir) + L"quill-not-a-movie.swf";
    FILE* f = _wfopen(text.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fputs("this is not a movie", f);
    fclose(f);
    MovieFile good(kMovie, "good");
    VARIANT r;
    for (const std::wstring& bad : {text, std::wstring(dir) + L"quill-missing.swf",
                                    std::wstring(L"http://127.0.0.1:1/x.swf"), std::wstring(L"")}) {
        EXPECT_EQ(put(control.p, L"Movie", bstr(good.path)), S_OK);
        EXPECT_EQ(callNumber(control.p, L"TotalFrames"), 3);
        EXPECT_EQ(put(control.p, L"Movie", bstr(bad)), S_OK);
        EXPECT_EQ(callNumber(control.p, L"ReadyState"), 1);
        EXPECT_EQ(callNumber(control.p, L"TotalFrames"), 0);
        EXPECT_EQ(call(control.p, L"GotoFrame", {i4(5)}, &r), S_OK);
        EXPECT_EQ(call(control.p, L"Play", {}, &r), S_OK);
        EXPECT_NE(call(control.p, L"GetVariable", {bstr(L"greeting")}, &r), S_OK);
        EXPECT_NE(call(control.p, L"TGotoFrame", {bstr(L"/"), i4(1)}, &r), S_OK);
    }
    DeleteFileW(text.c_str());
    // A file URL works as a path does.
    std::wstring url = L"file:///" + good.path;
    for (wchar_t& c : url) {
        if (c == L'\\') c = L'/';
    }
    EXPECT_EQ(put(control.p, L"Movie", bstr(url)), S_OK);
    EXPECT_EQ(callNumber(control.p, L"TotalFrames"), 3);
}

namespace {

// A property bag over a map, as an embedding page would pass one.
struct MapBag : IPropertyBag {
    std::vector<std::pair<std::wstring, std::wstring>> values;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
            *out = static_cast<IPropertyBag*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
        for (auto& [k, value] : values) {
            if (k == name) {
                VariantClear(v);
                v->vt = VT_BSTR;
                v->bstrVal = SysAllocString(value.c_str());
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
        VARIANT copy;
        VariantInit(&copy);
        VariantChangeType(&copy, v, 0, VT_BSTR);
        values.emplace_back(name, copy.bstrVal ? copy.bstrVal : L"");
        VariantClear(&copy);
        return S_OK;
    }
};

}  // namespace

TEST_F(ControlComTest, PropertiesSurviveStreamsAndBagsAndDamageChangesNothing) {
    MovieFile movie(kMovie, "persist");
    put(control.p, L"ScaleMode", i4(2));
    put(control.p, L"Loop", vbool(false));
    put(control.p, L"BGColor", bstr(L"#123456"));
    put(control.p, L"Movie", bstr(movie.path));
    Com<IPersistStreamInit> persist;
    ASSERT_EQ(control.as(&persist, IID_IPersistStreamInit), S_OK);
    Com<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.out()), S_OK);
    ASSERT_EQ(persist->Save(stream.p, TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    Com<IDispatch> second;
    ASSERT_EQ(createFromFile(IID_IDispatch, reinterpret_cast<void**>(second.out())), S_OK);
    Com<IPersistStreamInit> secondPersist;
    ASSERT_EQ(second.as(&secondPersist, IID_IPersistStreamInit), S_OK);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(secondPersist->Load(stream.p), S_OK);
    EXPECT_EQ(callNumber(second.p, L"ScaleMode"), 2);
    EXPECT_EQ(callText(second.p, L"Loop"), L"False");
    EXPECT_EQ(callText(second.p, L"BGColor"), L"#123456");
    EXPECT_EQ(callNumber(second.p, L"TotalFrames"), 3);  // the movie was loaded again

    // Cut short: refused, and nothing changed.
    STATSTG stat;
    stream->Stat(&stat, STATFLAG_NONAME);
    Com<IStream> cut;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, cut.out()), S_OK);
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULARGE_INTEGER half;
    half.QuadPart = stat.cbSize.QuadPart / 2;
    stream->CopyTo(cut.p, half, nullptr, nullptr);
    cut->Seek(zero, STREAM_SEEK_SET, nullptr);
    Com<IDispatch> third;
    ASSERT_EQ(createFromFile(IID_IDispatch, reinterpret_cast<void**>(third.out())), S_OK);
    Com<IPersistStreamInit> thirdPersist;
    ASSERT_EQ(third.as(&thirdPersist, IID_IPersistStreamInit), S_OK);
    EXPECT_NE(thirdPersist->Load(cut.p), S_OK);
    EXPECT_EQ(callNumber(third.p, L"ScaleMode"), 0);
    EXPECT_EQ(callNumber(third.p, L"TotalFrames"), 0);

    // Property bags use the parameter names of embedding pages.
    MapBag bag;
    bag.values = {{L"Movie", movie.path},
                  {L"Play", L"false"},
                  {L"Scale", L"noborder"},
                  {L"BGColor", L"#00FF00"}};
    Com<IPersistPropertyBag> bagPersist;
    ASSERT_EQ(third.as(&bagPersist, IID_IPersistPropertyBag), S_OK);
    ASSERT_EQ(bagPersist->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(callNumber(third.p, L"ScaleMode"), 1);
    EXPECT_EQ(callText(third.p, L"Playing"), L"False");
    EXPECT_EQ(callNumber(third.p, L"TotalFrames"), 3);
    MapBag saved;
    ASSERT_EQ(bagPersist->Save(&saved, TRUE, TRUE), S_OK);
    bool sawScale = false;
    for (auto& [k, v] : saved.values) sawScale |= k == L"Scale" && v == L"NoBorder";
    EXPECT_TRUE(sawScale);
}
