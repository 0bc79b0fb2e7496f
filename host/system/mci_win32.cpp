// The MCI host class: the Media Control Interface driven like a multimedia control. Scripts set
// properties and assign a command word; status and capability properties ask the open device;
// a command-string method and the time-packing functions complete it. Each object owns a hidden
// playback window, a child of the owner window, which shows video and receives the device's
// notifications, turned into calls of the script's onNotify handler.
#include <windows.h>  // first: the system headers below need it

#include <mmsystem.h>  // before the video extensions, which build on it

#include <digitalv.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_classes.h"
#include "host/system/desktop_support.h"
#include "host/system/owner_window.h"
#include "runtime/array.h"

namespace quill {

namespace {

using desktop::fromWide;
using desktop::hasZero;
using desktop::wide;

const wchar_t kPlaybackClass[] = L"Plexor_Playback_Window";

// Aliases stay unique in the process, also across engines whose devices are open at once.
std::atomic<int> aliasCounter{0};

LRESULT CALLBACK playbackProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct Mci {
    explicit Mci(ScriptEngine* owner) : engine(owner) {
        HWND parent = ownerWindow();
        if (!parent) return;
        window = CreateWindowExW(0, kPlaybackClass, L"Playback", WS_CHILD, 0, 0, 0, 0, parent,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Mci() {
        if (device) {
            MCI_GENERIC_PARMS parameters{};
            mciSendCommandW(device, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&parameters));
        }
        if (HWND own = playbackWindow()) {
            SetWindowLongPtrW(own, GWLP_USERDATA, 0);
            DestroyWindow(own);
        }
    }
    Mci(const Mci&) = delete;
    Mci& operator=(const Mci&) = delete;

    // The playback window while it is still ours: destroying the owner window destroys it too,
    // and its handle may then name some other window.
    HWND playbackWindow() const {
        if (!window || !IsWindow(window)) return nullptr;
        return GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)
                   ? window
                   : nullptr;
    }

    // The flags every command message carries, and its callback window.
    DWORD commonFlags() const { return (notify ? MCI_NOTIFY : 0) | (wait ? MCI_WAIT : 0); }
    DWORD_PTR callback() const { return reinterpret_cast<DWORD_PTR>(playbackWindow()); }

    template <typename Parameters>
    MCIERROR send(UINT message, DWORD flags, Parameters* parameters) {
        parameters->dwCallback = callback();
        lastError = mciSendCommandW(device, message, commonFlags() | flags,
                                    reinterpret_cast<DWORD_PTR>(parameters));
        return lastError;
    }

    void notified(WPARAM code);

    ScriptEngine* engine;
    // The object's own script value, for `this` in the handler. Not a root: the window and this
    // record go with the object, so the value is valid whenever a notification can arrive.
    ScriptValue self = makeUndefined();
    MCIDEVICEID device = 0;
    std::optional<std::u16string> deviceType, fileName;
    bool sharable = false, notify = false, wait = false, recordOverwrite = false;
    int32_t from = -1, to = -1;
    int32_t frames = 0, channel = 0, track = 0;
    int32_t left = 0, top = 0, width = 0, height = 0;
    HWND window = nullptr;
    ScriptValue onNotify = makeNull();
    MCIERROR lastError = 0;
};

// The handler runs as a host call of its own: its failures go to the trace output and never
// through the window procedure.
void Mci::notified(WPARAM code) {
    if (onNotify.tag != kTagFunction) return;
    ScriptValue argv[2] = {makeInteger(1), makeInteger(static_cast<int64_t>(code))};
    if (!callFunctionWithThis(engine, self, onNotify, 2, argv)) {
        std::string message = engine->errorBuffer;
        warn(engine, message.c_str());
    }
}

LRESULT CALLBACK playbackProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_MCINOTIFY) {
        if (auto* mci = reinterpret_cast<Mci*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            mci->notified(wParam);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Commands.

bool hasVideo(Mci& m) {
    MCI_GETDEVCAPS_PARMS caps{};
    caps.dwItem = MCI_GETDEVCAPS_HAS_VIDEO;
    return mciSendCommandW(m.device, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM,
                           reinterpret_cast<DWORD_PTR>(&caps)) == 0 &&
           caps.dwReturn != 0;
}

// Video goes into the playback window, shown where the script placed it.
void showVideo(Mci& m) {
    HWND window = m.playbackWindow();
    if (!window) return;
    MCI_DGV_WINDOW_PARMSW target{};
    target.hWnd = window;
    mciSendCommandW(m.device, MCI_WINDOW, MCI_DGV_WINDOW_HWND,
                    reinterpret_cast<DWORD_PTR>(&target));
    MCI_DGV_PUT_PARMS put{};
    put.rc = RECT{0, 0, m.width, m.height};
    mciSendCommandW(m.device, MCI_PUT, MCI_DGV_PUT_DESTINATION | MCI_DGV_RECT,
                    reinterpret_cast<DWORD_PTR>(&put));
    SetWindowPos(window, nullptr, m.left, m.top, m.width, m.height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void closeDevice(Mci& m) {
    MCI_GENERIC_PARMS parameters{};
    bool wasOpen = m.device != 0;
    if (m.send(MCI_CLOSE, 0, &parameters) == 0) m.device = 0;
    if (HWND window = m.playbackWindow(); wasOpen && window) ShowWindow(window, SW_HIDE);
}

// A second "open" closes the device the object had first, which would otherwise stay open with
// nothing left to close it.
void openDevice(Mci& m) {
    if (m.device) closeDevice(m);
    wchar_t alias[32];
    std::swprintf(alias, 32, L"_Quill_MCI_%d", aliasCounter.fetch_add(1));
    MCI_OPEN_PARMSW parameters{};
    DWORD flags = MCI_OPEN_ALIAS;
    parameters.lpstrAlias = alias;
    if (m.deviceType && !m.deviceType->empty()) {
        flags |= MCI_OPEN_TYPE;
        parameters.lpstrDeviceType = const_cast<wchar_t*>(wide(*m.deviceType));
    }
    if (m.fileName) {
        flags |= MCI_OPEN_ELEMENT;
        parameters.lpstrElementName = const_cast<wchar_t*>(wide(*m.fileName));
    }
    if (m.sharable) flags |= MCI_OPEN_SHAREABLE;
    m.device = 0;
    if (m.send(MCI_OPEN, flags, &parameters) != 0) return;
    m.device = parameters.wDeviceID;
    m.from = m.to = -1;
    if (hasVideo(m)) showVideo(m);
}

DWORD rangeFlags(Mci& m, DWORD* from, DWORD* to) {
    DWORD flags = 0;
    if (m.from >= 0) {
        flags |= MCI_FROM;
        *from = static_cast<DWORD>(m.from);
    }
    if (m.to >= 0) {
        flags |= MCI_TO;
        *to = static_cast<DWORD>(m.to);
    }
    return flags;
}

// The moves: a successful one forgets the start position.
void move(Mci& m, UINT message, DWORD flags, DWORD frames, DWORD to) {
    MCIERROR result = 0;
    if (message == MCI_STEP) {
        MCI_DGV_STEP_PARMS parameters{};
        parameters.dwFrames = frames;
        result = m.send(MCI_STEP, flags, &parameters);
    } else {
        MCI_SEEK_PARMS parameters{};
        parameters.dwTo = to;
        result = m.send(MCI_SEEK, flags, &parameters);
    }
    if (result == 0) m.from = -1;
}

void update(Mci& m) {
    MCI_DGV_UPDATE_PARMS parameters{};
    parameters.rc = RECT{0, 0, m.width, m.height};
    HWND window = m.playbackWindow();
    parameters.hDC = window ? GetDC(window) : nullptr;
    m.send(MCI_UPDATE, MCI_DGV_UPDATE_HDC | MCI_DGV_RECT, &parameters);
    if (parameters.hDC) ReleaseDC(window, parameters.hDC);
}

void where(Mci& m) {
    MCI_DGV_RECT_PARMS parameters{};
    if (m.send(MCI_WHERE, MCI_DGV_WHERE_SOURCE, &parameters) != 0) return;
    m.width = parameters.rc.right;
    m.height = parameters.rc.bottom;
}

bool sameWord(std::u16string_view text, std::u16string_view word) {
    if (text.size() != word.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? char16_t(text[i] + 32) : text[i];
        if (c != word[i]) return false;
    }
    return true;
}

// Write-only: reading gives nothing.
void noCommand(Mci&) {}

// Any other word does nothing, and leaves `error` as it was.
void command(Mci& m, bind::AsString word) {
    const std::u16string& w = word.text;
    if (sameWord(w, u"open")) {
        openDevice(m);
    } else if (sameWord(w, u"close")) {
        closeDevice(m);
    } else if (sameWord(w, u"play")) {
        MCI_PLAY_PARMS parameters{};
        m.send(MCI_PLAY, rangeFlags(m, &parameters.dwFrom, &parameters.dwTo), &parameters);
    } else if (sameWord(w, u"pause") || sameWord(w, u"stop") || sameWord(w, u"resume")) {
        MCI_GENERIC_PARMS parameters{};
        UINT message = sameWord(w, u"pause")  ? MCI_PAUSE
                       : sameWord(w, u"stop") ? MCI_STOP
                                              : MCI_RESUME;
        m.send(message, 0, &parameters);
    } else if (sameWord(w, u"back")) {
        move(m, MCI_STEP, MCI_DGV_STEP_REVERSE, static_cast<DWORD>(m.frames), 0);
    } else if (sameWord(w, u"step")) {
        move(m, MCI_STEP, MCI_DGV_STEP_FRAMES, static_cast<DWORD>(m.frames), 0);
    } else if (sameWord(w, u"prev")) {
        move(m, MCI_SEEK, MCI_SEEK_TO_START, 0, 0);
    } else if (sameWord(w, u"next")) {
        move(m, MCI_SEEK, MCI_SEEK_TO_END, 0, 0);
    } else if (sameWord(w, u"seek")) {
        move(m, MCI_SEEK, MCI_TO, 0, static_cast<DWORD>(m.to));
    } else if (sameWord(w, u"record")) {
        MCI_RECORD_PARMS parameters{};
        DWORD flags = rangeFlags(m, &parameters.dwFrom, &parameters.dwTo);
        flags |= m.recordOverwrite ? MCI_RECORD_OVERWRITE : MCI_RECORD_INSERT;
        m.send(MCI_RECORD, flags, &parameters);
    } else if (sameWord(w, u"eject")) {
        MCI_SET_PARMS parameters{};
        m.send(MCI_SET, MCI_SET_DOOR_OPEN, &parameters);
    } else if (sameWord(w, u"save")) {
        MCI_SAVE_PARMSW parameters{};
        if (m.fileName) parameters.lpfilename = wide(*m.fileName);
        m.send(MCI_SAVE, MCI_SAVE_FILE, &parameters);
    } else if (sameWord(w, u"update")) {
        update(m);
    } else if (sameWord(w, u"where")) {
        where(m);
    }
}

// ---------------------------------------------------------------------------------------------
// Status and capabilities: asked without the notify and wait flags, answering what the system
// reports (0 without an open device).

template <DWORD Item, DWORD Flags = 0>
int64_t status(Mci& m) {
    MCI_STATUS_PARMS parameters{};
    parameters.dwItem = Item;
    if (Flags & MCI_TRACK) parameters.dwTrack = static_cast<DWORD>(m.track);
    mciSendCommandW(m.device, MCI_STATUS, MCI_STATUS_ITEM | Flags,
                    reinterpret_cast<DWORD_PTR>(&parameters));
    return static_cast<int64_t>(parameters.dwReturn);
}

template <DWORD Item>
bool capability(Mci& m) {
    MCI_GETDEVCAPS_PARMS parameters{};
    parameters.dwItem = Item;
    mciSendCommandW(m.device, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM,
                    reinterpret_cast<DWORD_PTR>(&parameters));
    return parameters.dwReturn != 0;
}

void setTimeFormat(Mci& m, int64_t format) {
    if (format < 0 || format > UINT32_MAX) return;
    MCI_SET_PARMS parameters{};
    parameters.dwTimeFormat = static_cast<DWORD>(format);
    m.send(MCI_SET, MCI_SET_TIME_FORMAT, &parameters);
}

// 0 both channels on, 1 only the left, 2 only the right; other values are kept without effect.
void setChannel(Mci& m, int64_t channel) {
    if (channel < INT32_MIN || channel > INT32_MAX) return;
    m.channel = static_cast<int32_t>(channel);
    auto audio = [&](DWORD which, DWORD onOff) {
        MCI_SET_PARMS parameters{};
        parameters.dwAudio = which;
        m.send(MCI_SET, MCI_SET_AUDIO | onOff, &parameters);
    };
    if (channel == 0) {
        audio(MCI_SET_AUDIO_ALL, MCI_SET_ON);
    } else if (channel == 1) {
        audio(MCI_SET_AUDIO_LEFT, MCI_SET_ON);
        audio(MCI_SET_AUDIO_RIGHT, MCI_SET_OFF);
    } else if (channel == 2) {
        audio(MCI_SET_AUDIO_LEFT, MCI_SET_OFF);
        audio(MCI_SET_AUDIO_RIGHT, MCI_SET_ON);
    }
}

// ---------------------------------------------------------------------------------------------
// Plain properties.

ScriptValue getDeviceType(ScriptEngine* engine, Mci& m) {
    return m.deviceType ? newString(engine, *m.deviceType) : makeNull();
}
void setDeviceType(Mci& m, bind::AsString v) {
    if (!hasZero(v.text)) m.deviceType = v.text;
}
ScriptValue getFileName(ScriptEngine* engine, Mci& m) {
    return m.fileName ? newString(engine, *m.fileName) : makeNull();
}
void setFileName(Mci& m, bind::AsString v) {
    if (!hasZero(v.text)) m.fileName = v.text;
}

int64_t getDeviceId(Mci& m) {
    return m.device;
}

// Flags take booleans and integers only.
template <bool Mci::*Field>
bool getFlag(Mci& m) {
    return m.*Field;
}
template <bool Mci::*Field>
void setFlag(Mci& m, ScriptValue v) {
    if (v.tag == kTagBoolean || v.tag == kTagInteger) m.*Field = v.i != 0;
}

template <int32_t Mci::*Field>
int64_t getInteger(Mci& m) {
    return m.*Field;
}
template <int32_t Mci::*Field>
void setInteger(Mci& m, int64_t v) {
    if (v >= INT32_MIN && v <= INT32_MAX) m.*Field = static_cast<int32_t>(v);
}
// The placement also takes numbers, truncated.
template <int32_t Mci::*Field>
void setPlacement(Mci& m, ScriptValue v) {
    double value = v.tag == kTagInteger ? double(v.i) : v.tag == kTagNumber ? v.d : NAN;
    if (value > -2147483649.0 && value < 2147483648.0) m.*Field = static_cast<int32_t>(value);
}

bool getError(Mci& m) {
    return m.lastError != 0;
}

std::u16string errorText(MCIERROR code, size_t room) {
    std::vector<wchar_t> text(room, L'\0');
    if (!mciGetErrorStringW(code, text.data(), static_cast<UINT>(room))) return {};
    text.back() = L'\0';
    return desktop::fromBuffer(text);
}

std::u16string getErrorMsg(Mci& m) {
    return errorText(m.lastError, 128);
}

// ---------------------------------------------------------------------------------------------
// Methods.

// The reply, or the error text when the command fails. Notifications the string asks for come to
// the object's handler.
std::u16string sendCmdString(Mci& m, std::u16string text) {
    if (hasZero(text)) return {};
    std::vector<wchar_t> reply(4096, L'\0');
    MCIERROR error = mciSendStringW(wide(text), reply.data(), static_cast<UINT>(reply.size()),
                                    m.playbackWindow());
    if (error != 0) return errorText(error, 256);
    reply.back() = L'\0';
    return desktop::fromBuffer(reply);
}

// At most this many: the count comes from the drivers' configuration.
constexpr DWORD kMaxDevices = 1024;

ScriptValue getDevices(ScriptEngine* engine) {
    std::vector<std::u16string> names;
    DWORD count = 0;
    MCI_SYSINFO_PARMSW query{};
    query.lpstrReturn = reinterpret_cast<wchar_t*>(&count);
    query.dwRetSize = sizeof count;
    query.wDeviceType = MCI_ALL_DEVICE_ID;
    if (mciSendCommandW(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_QUANTITY,
                        reinterpret_cast<DWORD_PTR>(&query)) == 0) {
        for (DWORD i = 1; i <= count && i <= kMaxDevices; ++i) {
            wchar_t name[256] = L"";
            MCI_SYSINFO_PARMSW item{};
            item.lpstrReturn = name;
            item.dwRetSize = 256;
            item.dwNumber = i;
            item.wDeviceType = MCI_ALL_DEVICE_ID;
            if (mciSendCommandW(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_NAME,
                                reinterpret_cast<DWORD_PTR>(&item)) != 0) {
                name[0] = L'\0';
            }
            name[255] = L'\0';
            names.push_back(fromWide(name));
        }
    }
    return desktop::newStringArray(engine, names);
}

// The standard packings: each part times its place (256 per part).
int64_t makeHMS(int64_t hours, int64_t minutes, int64_t seconds) {
    return hours + minutes * 256 + seconds * 65536;
}
int64_t makeMSF(int64_t minutes, int64_t seconds, int64_t frames) {
    return minutes + seconds * 256 + frames * 65536;
}
int64_t makeTMSF(int64_t track, int64_t minutes, int64_t seconds, int64_t frames) {
    return track + minutes * 256 + seconds * 65536 + frames * 16777216;
}
template <int Byte>
int64_t byteOf(int64_t packed) {
    return (packed >> (8 * Byte)) & 0xFF;
}

// ---------------------------------------------------------------------------------------------
// Construction: the record learns its own script value, for `this` in the handler.

void constructMci(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue*, ScriptValue* result) {
    *result = makeNull();
    bind::guarded(engine, [&] {
        auto mci = std::make_unique<Mci>(engine);
        newHostValue(engine, result, cls, mci.get());
        mci->self = *result;
        mci.release();
    });
}

void callMci(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
             ScriptValue* argv) {
    if (!data) constructMci(engine, cls, argv, result);
}

constexpr bind::Member kMciMembers[] = {
    bind::property<noCommand, command>("command").doc(
        "Assign a command to run it: \"open\", \"close\", \"play\", \"pause\", \"stop\", "
        "\"resume\", \"back\", \"step\", \"prev\", \"next\", \"seek\", \"record\", \"eject\", "
        "\"save\", \"update\" or \"where\" (other words do nothing). Write-only."),
    bind::property<getDeviceType, setDeviceType>("deviceType")
        .doc(
            "The device type for \"open\", such as \"waveaudio\" or \"cdaudio\"; null when unset."),
    bind::property<getFileName, setFileName>("fileName")
        .doc("The file for \"open\" and \"save\"; null when unset."),
    bind::getter<getDeviceId>("deviceID").doc("The open device's id; 0 when none is open."),
    bind::property<getFlag<&Mci::sharable>, setFlag<&Mci::sharable>>("sharable")
        .doc("Whether \"open\" opens the device shareable."),
    bind::property<getFlag<&Mci::notify>, setFlag<&Mci::notify>>("notify").doc(
        "Whether commands report their end to onNotify."),
    bind::property<getFlag<&Mci::wait>, setFlag<&Mci::wait>>("wait").doc(
        "Whether commands wait until the device has finished."),
    bind::property<getFlag<&Mci::recordOverwrite>, setFlag<&Mci::recordOverwrite>>("recordMode")
        .doc("True: \"record\" overwrites; false: it inserts."),
    bind::property<getInteger<&Mci::from>, setInteger<&Mci::from>>("from").doc(
        "Where \"play\" and \"record\" start; -1 (the default) for the current position."),
    bind::property<getInteger<&Mci::to>, setInteger<&Mci::to>>("to").doc(
        "Where \"play\" and \"record\" end, and the target of \"seek\"; -1 (the default) for the "
        "end."),
    bind::property<getInteger<&Mci::frames>, setInteger<&Mci::frames>>("frames").doc(
        "How many frames \"step\" and \"back\" move."),
    bind::property<getInteger<&Mci::track>, setInteger<&Mci::track>>("track").doc(
        "The track trackLength and trackPosition report on."),
    bind::property<getInteger<&Mci::channel>, setChannel>("channel").doc(
        "The audio channels: 0 both, 1 left only, 2 right only; assigning applies it at once."),
    bind::property<getInteger<&Mci::left>, setPlacement<&Mci::left>>("left").doc(
        "The left edge of the video, in pixels."),
    bind::property<getInteger<&Mci::top>, setPlacement<&Mci::top>>("top").doc(
        "The top edge of the video, in pixels."),
    bind::property<getInteger<&Mci::width>, setPlacement<&Mci::width>>("width").doc(
        "The width of the video, in pixels (\"where\" sets it to the source's)."),
    bind::property<getInteger<&Mci::height>, setPlacement<&Mci::height>>("height").doc(
        "The height of the video, in pixels (\"where\" sets it to the source's)."),
    bind::getter<getError>("error").doc("True when the last command failed."),
    bind::getter<getErrorMsg>("errorMsg").doc("The text of the last command's error."),
    bind::getter<capability<MCI_GETDEVCAPS_CAN_EJECT>>("canEject")
        .doc("True when the device can eject its medium."),
    bind::getter<capability<MCI_GETDEVCAPS_CAN_PLAY>>("canPlay").doc(
        "True when the device can play."),
    bind::getter<capability<MCI_GETDEVCAPS_CAN_RECORD>>("canRecord")
        .doc("True when the device can record."),
    bind::getter<capability<MCI_GETDEVCAPS_HAS_VIDEO>>("canStep").doc(
        "True when the device has video."),
    bind::getter<status<MCI_STATUS_LENGTH>>("length").doc(
        "The length of the medium in the current time format."),
    bind::getter<status<MCI_STATUS_POSITION>>("position")
        .doc("The current position in the current time format."),
    bind::getter<status<MCI_STATUS_POSITION, MCI_STATUS_START>>("start").doc(
        "The starting position of the medium."),
    bind::getter<status<MCI_STATUS_NUMBER_OF_TRACKS>>("tracks").doc("The number of tracks."),
    bind::getter<status<MCI_STATUS_MODE>>("mode").doc(
        "The device's mode: 524 not ready, 525 stopped, 526 playing, 527 recording, 528 seeking, "
        "529 paused, 530 open."),
    bind::property<status<MCI_STATUS_TIME_FORMAT>, setTimeFormat>("timeFormat")
        .doc("The time format (0 milliseconds, 1 hours:minutes:seconds, 2 minutes:seconds:frames, "
             "10 track:minutes:seconds:frames...); assigning an integer sets it."),
    bind::getter<status<MCI_STATUS_LENGTH, MCI_TRACK>>("trackLength")
        .doc("The length of the track in track."),
    bind::getter<status<MCI_STATUS_POSITION, MCI_TRACK>>("trackPosition")
        .doc("The starting position of the track in track."),
    bind::handler<&Mci::onNotify>("onNotify")
        .doc("Called as handler(code) with this the MCI object when a command sent with notify "
             "ends: 1 done, 2 superseded, 4 aborted, 8 failed."),
    bind::method<sendCmdString>("sendCmdString", bind::Empty::kEmptyString)
        .doc("command",
             "Sends an MCI command string such as \"status cdaudio length\"; the reply text, or "
             "the error text when it fails."),
    bind::classMethod<getDevices>("getDevices").doc("An array of the names of the MCI devices."),
    bind::classMethod<makeHMS>("makeHMS").doc(
        "hours, minutes, seconds", "The packed time hours + minutes*256 + seconds*65536."),
    bind::classMethod<makeMSF>("makeMSF").doc(
        "minutes, seconds, frames", "The packed time minutes + seconds*256 + frames*65536."),
    bind::classMethod<makeTMSF>("makeTMSF")
        .doc("track, minutes, seconds, frames",
             "The packed time track + minutes*256 + seconds*65536 + frames*16777216."),
    bind::classMethod<byteOf<0>>("hmsHour").doc(
        "packed", "The hours of a packed hours:minutes:seconds time."),
    bind::classMethod<byteOf<1>>("hmsMinute")
        .doc("packed", "The minutes of a packed hours:minutes:seconds time."),
    bind::classMethod<byteOf<2>>("hmsSecond")
        .doc("packed", "The seconds of a packed hours:minutes:seconds time."),
    bind::classMethod<byteOf<0>>("msfMinute")
        .doc("packed", "The minutes of a packed minutes:seconds:frames time."),
    bind::classMethod<byteOf<1>>("msfSecond")
        .doc("packed", "The seconds of a packed minutes:seconds:frames time."),
    bind::classMethod<byteOf<2>>("msfFrame")
        .doc("packed", "The frames of a packed minutes:seconds:frames time."),
    bind::classMethod<byteOf<0>>("tmsfTrack")
        .doc("packed", "The track of a packed track:minutes:seconds:frames time."),
    bind::classMethod<byteOf<1>>("tmsfMinute")
        .doc("packed", "The minutes of a packed track:minutes:seconds:frames time."),
    bind::classMethod<byteOf<2>>("tmsfSecond")
        .doc("packed", "The seconds of a packed track:minutes:seconds:frames time."),
    bind::classMethod<byteOf<3>>("tmsfFrame")
        .doc("packed", "The frames of a packed track:minutes:seconds:frames time."),
    bind::objectText("[object MCI]"),
};

}  // namespace

void registerMCI(ScriptEngine* engine) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = playbackProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kPlaybackClass;
    RegisterClassExW(&windowClass);  // already there for a second engine: as good
    bind::defineClass<Mci>(
        engine, {.name = "MCI",
                 .id = ClassId::kMCI,
                 .members = {kMciMembers},
                 .call = callMci,
                 .construct = constructMci,
                 .synopsis = "",
                 .summary = "A media device through the Windows MCI: set deviceType and fileName, "
                            "assign \"open\" to command, then \"play\", \"stop\" and so on; video "
                            "shows in a playback window at left, top, width, height. Notifications "
                            "reach onNotify while the script waits in processMsg."});
}

}  // namespace quill
