// MCI under Wine with wave and MIDI files the test writes. Wine here has no sound card (every
// audio device count is 0): "open", the status and capability items and "close" work, "play"
// returns at once and notifies a failure, and "play" with wait fails. Hearing the sound, and a
// notification of success when it ends, need a real machine.
#include "tests/gui/system/desktop_test_support.h"

#include <mmsystem.h>

#include <fstream>
#include <string>
#include <string_view>

#include "host/system/owner_window.h"

namespace quill::gui {
namespace {

// Little-endian words and RIFF chunks for the media files the tests write.
struct Bytes {
    std::string data;
    Bytes& u16(uint16_t v) {
        data.append(reinterpret_cast<const char*>(&v), 2);
        return *this;
    }
    Bytes& u32(uint32_t v) {
        data.append(reinterpret_cast<const char*>(&v), 4);
        return *this;
    }
    Bytes& text(std::string_view t) {
        data += t;
        return *this;
    }
};
std::string chunk(std::string_view id, const std::string& body) {
    Bytes out;
    out.text(id).u32(static_cast<uint32_t>(body.size())).text(body);
    if (body.size() % 2) out.data += '\0';
    return out.data;
}
std::string list(std::string_view type, const std::string& body) {
    return chunk("LIST", std::string(type) + body);
}
void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// One second of an 8 kHz, 8-bit mono square wave.
void writeWave(const std::filesystem::path& file) {
    const uint32_t rate = 8000;
    std::string samples;
    for (uint32_t i = 0; i < rate; ++i) samples += static_cast<char>((i / 20) % 2 ? 188 : 68);
    Bytes format;
    format.u16(1).u16(1).u32(rate).u32(rate).u16(1).u16(8);  // PCM, mono, 8 bits
    writeFile(file, chunk("RIFF", "WAVE" + chunk("fmt ", format.data) + chunk("data", samples)));
}

// One note held for one second (two quarter notes at the default tempo, 96 ticks a quarter).
void writeMidi(const std::filesystem::path& file) {
    const unsigned char song[] = {
        'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,    0,    1,    0,   96,  // header
        'M',  'T',  'r',  'k',  0,    0,    0,    13,  // one track
        0x00, 0x90, 0x3C, 0x40, 0x81, 0x40, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(song), sizeof song);
}

// Four frames of 32 by 16 grey pixels, uncompressed, at ten frames a second.
void writeVideo(const std::filesystem::path& file) {
    const uint32_t width = 32, height = 16, frames = 4, frameBytes = width * height * 3;
    Bytes main, stream, format;
    main.u32(100000).u32(0).u32(0).u32(0x10).u32(frames).u32(0).u32(1).u32(frameBytes);
    main.u32(width).u32(height).u32(0).u32(0).u32(0).u32(0);
    stream.text("vidsDIB ").u32(0).u16(0).u16(0).u32(0).u32(1).u32(10).u32(0).u32(frames);
    stream.u32(frameBytes).u32(0xFFFFFFFF).u32(0).u16(0).u16(0).u16(width).u16(height);
    format.u32(40).u32(width).u32(height).u16(1).u16(24).u32(0).u32(frameBytes);
    format.u32(0).u32(0).u32(0).u32(0);
    // Grey: every byte alike, so the colour does not depend on how a reader aligns the pixels.
    const std::string grey(frameBytes, '\x80');
    std::string movie;
    Bytes index;
    for (uint32_t i = 0, offset = 4; i < frames; ++i, offset += 8 + frameBytes) {
        movie += chunk("00db", grey);
        index.text("00db").u32(0x10).u32(offset).u32(frameBytes);
    }
    std::string header =
        list("hdrl", chunk("avih", main.data) +
                         list("strl", chunk("strh", stream.data) + chunk("strf", format.data)));
    writeFile(file,
              chunk("RIFF", "AVI " + header + list("movi", movie) + chunk("idx1", index.data)));
}

class MciTest : public DesktopTest {
  protected:
    void SetUp() override {
        DesktopTest::SetUp();
        writeWave(scratch / "tone.wav");
        writeMidi(scratch / "tune.mid");
        writeVideo(scratch / "clip.avi");
        wave = literal(scratch / "tone.wav");
        midi = literal(scratch / "tune.mid");
        video = literal(scratch / "clip.avi");
    }
    ScratchFolder scratch{"quill-mci"};
    std::string wave, midi, video;
};

TEST_F(MciTest, WaveOpenedAskedAndClosed) {
    std::string open = "var m = new MCI(); m.fileName = " + wave + "; m.command = 'open'; ";
    EXPECT_EQ(
        eval(open + "[m.error, m.deviceID > 0, m.from, m.to, m.deviceType === null].join('|')"),
        "false|true|-1|-1|true");
    // Milliseconds by default; bytes (time format 8) count the samples.
    EXPECT_EQ(
        eval(open + "[m.length, m.position, m.start, m.tracks, m.mode, m.timeFormat].join('|')"),
        "1000|0|0|1|525|0");  // 525: stopped
    EXPECT_EQ(eval(open + "m.timeFormat = 8; [m.error, m.timeFormat, m.length].join('|')"),
              "false|8|8000");
    EXPECT_EQ(eval(open + "[m.canPlay, m.canRecord, m.canEject, m.canStep].join('|')"),
              "true|true|false|false");
    EXPECT_EQ(
        eval(open + "m.sendCmdString('status _Quill_MCI_' + (m.deviceID - 1) + ' mode')").empty(),
        false);
    EXPECT_EQ(eval(open + "m.command = 'close'; [m.error, m.deviceID].join('|')"), "false|0");
    // Closing what is closed fails, and says why.
    EXPECT_EQ(eval(open + "m.command = 'close'; m.command = 'close'; m.error && m.errorMsg != ''"),
              "true");
    // The device type can also be named; the word is taken in any letter case.
    EXPECT_EQ(eval("var m = new MCI(); m.deviceType = 'waveaudio'; m.fileName = " + wave +
                   "; m.command = 'OPEN'; m.error + '|' + m.length"),
              "false|1000");
}

TEST_F(MciTest, MidiOpenedByTheSequencer) {
    std::string open = "var m = new MCI(); m.deviceType = 'sequencer'; m.fileName = " + midi +
                       "; m.command = 'open'; ";
    EXPECT_EQ(eval(open + "[m.error, m.length, m.mode, m.tracks].join('|')"), "false|1000|525|1");
    EXPECT_EQ(
        eval(open + "m.command = 'play'; var e = m.error; m.command = 'close'; e + '|' + m.error"),
        "false|false");
}

// Video goes into the playback window, placed in the owner window where the script said; the
// owner here is a visible window a host provides, so the frames can be seen.
TEST_F(MciTest, VideoPlaysInThePlaybackWindow) {
    static HWND host = nullptr;
    TestWindow main({.background = RGB(255, 255, 255), .clientSize = {200, 150}});
    host = main.hwnd();
    setOwnerWindowProvider([] { return host; });
    std::string open =
        "var m = new MCI(); m.left = 5; m.top = 6; m.width = 64; m.height = 48; "
        "m.fileName = " +
        video + "; m.command = 'open'; ";
    ASSERT_EQ(eval(open + "[m.error, m.canStep, m.length, m.mode].join('|')"), "false|true|4|525");
    HWND playback = FindWindowExW(main.hwnd(), nullptr, L"Plexor_Playback_Window", L"Playback");
    ASSERT_NE(playback, nullptr);
    EXPECT_TRUE(IsWindowVisible(playback));
    RECT placed = windowRect(playback);
    RECT client = clientRectOnScreen(main.hwnd());
    EXPECT_EQ(placed.left - client.left, 5);
    EXPECT_EQ(placed.top - client.top, 6);
    EXPECT_EQ(placed.right - placed.left, 64);
    EXPECT_EQ(placed.bottom - placed.top, 48);
    // The frame stretched over the destination rectangle.
    // Playing draws the frames, stretched over the destination rectangle.
    EXPECT_EQ(eval("m.command = 'play'; m.error"), "false");
    // (Wine leaves a few rows at the top black; the stretched frame covers the rest.)
    EXPECT_TRUE(waitFor([&] { return readPixel(playback, 60, 45) == RGB(128, 128, 128); }));
    EXPECT_EQ(readPixel(playback, 32, 24), RGB(128, 128, 128));
    EXPECT_EQ(eval("m.command = 'update'; m.error"), "false");

    // Moves in frames; a successful one forgets the start position.
    EXPECT_EQ(eval("m.command = 'prev'; m.from = 1; m.frames = 2; m.command = 'step'; "
                   "[m.error, m.position, m.from].join('|')"),
              "false|2|-1");
    EXPECT_EQ(eval("m.frames = 1; m.command = 'back'; m.position"), "1");
    EXPECT_EQ(eval("m.command = 'next'; m.position"), "3");
    EXPECT_EQ(eval("m.command = 'prev'; m.position"), "0");
    EXPECT_EQ(eval("m.to = 2; m.command = 'seek'; m.position"), "2");
    // The source rectangle comes back as the size.
    EXPECT_EQ(eval("m.command = 'where'; m.width + 'x' + m.height"), "32x16");
    EXPECT_EQ(eval("m.command = 'close'; m.error"), "false");
    EXPECT_FALSE(IsWindowVisible(playback));
    setOwnerWindowProvider(nullptr);
}

TEST_F(MciTest, FailuresSetErrorAndItsText) {
    std::string m = "var m = new MCI(); ";
    EXPECT_EQ(eval(m + "m.fileName = " + literal(scratch / "missing.wav") +
                   "; m.command = 'open'; [m.error, m.deviceID, m.errorMsg != ''].join('|')"),
              "true|0|true");
    EXPECT_EQ(eval(m + "m.deviceType = 'nosuchdevice'; m.command = 'open'; m.error + '|' + "
                       "(m.errorMsg != '')"),
              "true|true");
    // An unknown word leaves `error` as the last command left it.
    EXPECT_EQ(
        eval(m + "m.command = 'close'; var e = m.error; m.command = 'dance'; e + '|' + m.error"),
        "true|true");
    EXPECT_EQ(
        eval(m + "m.fileName = " + wave + "; m.command = 'open'; m.command = 'dance'; m.error"),
        "false");
    // Without a device the status items answer what the system reports.
    EXPECT_EQ(eval(m + "m.length + '|' + m.mode"), "0|0");
    EXPECT_EQ(eval(m + "m.sendCmdString('bogus') != ''"), "true");
    EXPECT_EQ(eval(m + "m.sendCmdString(5)"), "");
    // Without a sound card "play" with wait fails.
    EXPECT_EQ(eval(m + "m.fileName = " + wave +
                   "; m.command = 'open'; m.wait = true; "
                   "m.command = 'play'; m.error"),
              "true");
}

TEST_F(MciTest, NotifyReachesTheHandlerThroughProcessMsg) {
    std::string script =
        "var m = new MCI(); var got = -1, self = null; "
        "m.onNotify = function(code) { got = code; self = this; }; "
        "m.fileName = " +
        wave +
        "; m.command = 'open'; m.notify = true; m.command = 'play'; "
        "var until = new Date().getTime() + 10000; "
        "while (got < 0 && new Date().getTime() < until) processMsg(); ";
    // Without a sound card the play ends at once, as a failure (8); a real machine says 1 after
    // the second of sound.
    EXPECT_EQ(eval(script + "got + '|' + (self === m)"), "8|true");
    EXPECT_EQ(eval("var m = new MCI(); var a = m.onNotify; m.onNotify = 5; var b = m.onNotify; "
                   "m.onNotify = function() {}; (a === null) + '|' + (b === null) + '|' + typeof "
                   "m.onNotify"),
              "true|true|function");
}

TEST_F(MciTest, AFailingHandlerIsReportedAndTheScriptGoesOn) {
    std::string script =
        "var m = new MCI(); var runs = 0; "
        "m.onNotify = function(code) { runs++; throw 'handler failed'; }; "
        "m.fileName = " +
        wave +
        "; m.command = 'open'; m.notify = true; m.command = 'play'; "
        "var until = new Date().getTime() + 10000; "
        "while (runs == 0 && new Date().getTime() < until) processMsg(); runs";
    EXPECT_EQ(eval(script), "1");
    EXPECT_NE(trace.find("handler failed"), std::string::npos) << trace;
}

TEST_F(MciTest, ProcessMsgStopsAtAQuitMessage) {
    PostQuitMessage(0);
    EXPECT_EQ(eval("var a = processMsg(); var b = processMsg(); a + '|' + b"), "false|true");
}

TEST_F(MciTest, PlaybackWindowIsAHiddenChildOfTheOwner) {
    ASSERT_EQ(eval("var keep = new MCI(); keep + ''"), "[object MCI]");
    HWND playback = FindWindowExW(ownerWindow(), nullptr, L"Plexor_Playback_Window", L"Playback");
    ASSERT_NE(playback, nullptr);
    EXPECT_FALSE(IsWindowVisible(playback));
    EXPECT_EQ(GetParent(playback), ownerWindow());
    EXPECT_NE(style(playback) & WS_CHILD, 0u);
}

// A collected MCI object closes its device and takes its window with it.
TEST_F(MciTest, CollectedObjectClosesItsDevice) {
    destroyEngine(engine);
    EngineConfig config;
    config.gcStress = true;
    engine = createEngine(config);
    ASSERT_NE(engine, nullptr);
    std::string device =
        eval("var m = new MCI(); m.fileName = " + wave + "; m.command = 'open'; m.deviceID");
    ASSERT_NE(device, "0");
    HWND before = FindWindowExW(ownerWindow(), nullptr, L"Plexor_Playback_Window", nullptr);
    ASSERT_NE(before, nullptr);
    // Dropping the only reference and running on lets the collector finalize the object.
    EXPECT_EQ(eval("m = null; var s = ''; for (var i = 0; i < 100; i++) s += i; s.length"), "190");
    EXPECT_FALSE(IsWindow(before));
    // Its device is closed: the id no longer answers.
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_MODE;
    EXPECT_NE(mciSendCommandW(static_cast<MCIDEVICEID>(std::stoul(device)), MCI_STATUS,
                              MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)),
              0u);
}

// The time packing is in the corpus (win32/mci_time.qls).
TEST_F(MciTest, DevicesAreListed) {
    EXPECT_EQ(
        eval("var d = MCI.getDevices(); d.length > 0 && d.join(',').indexOf('waveaudio') >= 0"),
        "true");
}

}  // namespace
}  // namespace quill::gui
