// The Shortcut and URLShortcut host classes: shell link (.lnk) and Internet shortcut (.url)
// files read and written through the system's own shell-link objects, with the hot-key text
// format of Shortcut.hotKey.
#include <windows.h>  // first: the system headers below need it

#include <objbase.h>  // the Internet shortcut header builds on it
#include <shlobj.h>

#include <intshcut.h>

#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_classes.h"
#include "host/system/desktop_support.h"

namespace quill {

namespace {

using desktop::fromWide;
using desktop::hasZero;
using desktop::wide;

// Every text of a link may be as long as a path can be; the calls that copy them out take a
// buffer of a size the caller picks.
constexpr int kTextBuffer = 32768;

// A relative name would be taken against whatever folder is current when the file is saved.
std::optional<std::wstring> fullPath(const std::u16string& path) {
    if (hasZero(path)) return std::nullopt;
    std::u16string full;
    if (!desktop::readGrowing(
            [&](wchar_t* buffer, DWORD size) {
                return GetFullPathNameW(wide(path), size, buffer, nullptr);
            },
            &full) ||
        full.empty()) {
        return std::nullopt;
    }
    return std::wstring(full.begin(), full.end());
}

bool isFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

template <typename Interface>
struct ComPointer {
    Interface* p = nullptr;
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() {
        if (p) p->Release();
    }
    Interface* operator->() const { return p; }
};

// Loads an existing file into, or saves, any object that persists through IPersistFile.
bool persist(IUnknown* object, const std::wstring& path, bool save) {
    ComPointer<IPersistFile> file;
    if (FAILED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) {
        return false;
    }
    return SUCCEEDED(save ? file->Save(path.c_str(), TRUE) : file->Load(path.c_str(), STGM_READ));
}

// ---------------------------------------------------------------------------------------------
// Hot-key text: "None", or the modifiers CTRL, SHIFT, ALT present, then the key's name as the
// keyboard layout gives it, joined with "+".

std::u16string keyName(BYTE virtualKey, bool extended) {
    UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LONG param = static_cast<LONG>((scan & 0xFF) << 16) | (extended ? (1 << 24) : 0);
    wchar_t name[64] = L"";
    int length = GetKeyNameTextW(param, name, 64);
    if (length > 0) return fromWide(name, static_cast<size_t>(length));
    // A layout without a name for the key (Wine's has none for the keypad): the names the
    // system's own layouts give.
    std::string fallback;
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z')) {
        fallback = std::string(1, char(virtualKey));
    } else if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD9) {
        fallback = "Num " + std::to_string(virtualKey - VK_NUMPAD0);
    } else if (virtualKey >= VK_F1 && virtualKey <= VK_F24) {
        fallback = "F" + std::to_string(virtualKey - VK_F1 + 1);
    }
    return std::u16string(fallback.begin(), fallback.end());
}

std::u16string hotKeyText(WORD hotKey) {
    if (hotKey == 0) return u"None";
    BYTE modifiers = HIBYTE(hotKey);
    std::u16string text;
    for (auto [flag, name] : {std::pair{HOTKEYF_CONTROL, u"CTRL"},
                              std::pair{HOTKEYF_SHIFT, u"SHIFT"}, std::pair{HOTKEYF_ALT, u"ALT"}}) {
        if (modifiers & flag) text += std::u16string(name) + u"+";
    }
    return text + keyName(LOBYTE(hotKey), (modifiers & HOTKEYF_EXT) != 0);
}

std::u16string lowerAscii(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    }
    return out;
}

// The number of "f1" to "f12" or of "num 0" to "num 9" after its prefix, or -1.
int numberAfter(std::u16string_view part, std::u16string_view prefix, int low, int high) {
    if (part.size() <= prefix.size() || part.substr(0, prefix.size()) != prefix) return -1;
    int value = 0;
    for (char16_t c : part.substr(prefix.size())) {
        if (c < u'0' || c > u'9' || value > 100) return -1;
        value = value * 10 + (c - u'0');
    }
    return value >= low && value <= high ? value : -1;
}

// Parts are compared without case; an unknown part is the key of its first character.
WORD parseHotKey(std::u16string_view text) {
    BYTE modifiers = 0;
    BYTE key = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'+', start);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string part = lowerAscii(text.substr(start, end - start));
        start = end + 1;
        if (part.empty()) continue;
        if (part == u"ctrl") {
            modifiers |= HOTKEYF_CONTROL;
        } else if (part == u"shift") {
            modifiers |= HOTKEYF_SHIFT;
        } else if (part == u"alt") {
            modifiers |= HOTKEYF_ALT;
        } else if (part == u"ins" || part == u"home" || part == u"end") {
            key = part == u"ins" ? VK_INSERT : part == u"home" ? VK_HOME : VK_END;
            modifiers |= HOTKEYF_EXT;
        } else if (int n = numberAfter(part, u"num ", 0, 9); n >= 0) {
            key = static_cast<BYTE>(VK_NUMPAD0 + n);
        } else if (int f = numberAfter(part, u"f", 1, 12); f >= 0) {
            key = static_cast<BYTE>(VK_F1 + f - 1);
        } else {
            auto c = static_cast<wchar_t>(std::towupper(part[0]));
            if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
                key = static_cast<BYTE>(c);
            } else if (SHORT scan = VkKeyScanW(c); scan != -1) {
                key = LOBYTE(scan);
            }
        }
    }
    return MAKEWORD(key, modifiers);
}

// ---------------------------------------------------------------------------------------------
// Shortcut.

struct Shortcut {
    ComPointer<IShellLinkW> link;
    std::wstring path;
};

std::unique_ptr<Shortcut> makeShortcut(bind::Path path) {
    std::optional<std::wstring> full = fullPath(path.wide);
    if (!full || !desktop::ensureCom()) return nullptr;
    auto shortcut = std::make_unique<Shortcut>();
    shortcut->path = *full;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shortcut->link.p)))) {
        return nullptr;
    }
    if (isFile(shortcut->path) && persist(shortcut->link.p, shortcut->path, false)) {
        shortcut->link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);
    }
    return shortcut;
}

// Reads one of the link's texts through a getter that fills a buffer of a given size.
template <typename Get>
std::u16string linkText(Get&& get) {
    std::vector<wchar_t> buffer(kTextBuffer, L'\0');
    if (FAILED(get(buffer.data(), kTextBuffer))) return {};
    buffer.back() = L'\0';
    return desktop::fromBuffer(buffer);
}

std::u16string getTargetPath(Shortcut& s) {
    return linkText([&](wchar_t* b, int n) { return s.link->GetPath(b, n, nullptr, 0); });
}
void setTargetPath(Shortcut& s, bind::AsString v) {
    if (!hasZero(v.text)) s.link->SetPath(wide(v.text));
}
std::u16string getArguments(Shortcut& s) {
    return linkText([&](wchar_t* b, int n) { return s.link->GetArguments(b, n); });
}
void setArguments(Shortcut& s, bind::AsString v) {
    if (!hasZero(v.text)) s.link->SetArguments(wide(v.text));
}
std::u16string getDescription(Shortcut& s) {
    return linkText([&](wchar_t* b, int n) { return s.link->GetDescription(b, n); });
}
void setDescription(Shortcut& s, bind::AsString v) {
    if (!hasZero(v.text)) s.link->SetDescription(wide(v.text));
}
std::u16string getWorkingDirectory(Shortcut& s) {
    return linkText([&](wchar_t* b, int n) { return s.link->GetWorkingDirectory(b, n); });
}
void setWorkingDirectory(Shortcut& s, bind::AsString v) {
    if (!hasZero(v.text)) s.link->SetWorkingDirectory(wide(v.text));
}

std::u16string getIconLocation(Shortcut& s) {
    int index = 0;
    std::u16string file =
        linkText([&](wchar_t* b, int n) { return s.link->GetIconLocation(b, n, &index); });
    std::string number = "," + std::to_string(index);
    return file + std::u16string(number.begin(), number.end());
}

// "file,index": the index is the decimal number after the last comma (a folder name may hold
// commas of its own); without a comma the index is 0.
void setIconLocation(Shortcut& s, bind::AsString v) {
    if (hasZero(v.text)) return;
    size_t comma = v.text.rfind(u',');
    std::u16string file = v.text.substr(0, comma);
    int index = 0;
    if (comma != std::u16string::npos) {
        std::string digits = toAnsiString(std::u16string_view(v.text).substr(comma + 1));
        index = static_cast<int>(std::strtol(digits.c_str(), nullptr, 10));
    }
    s.link->SetIconLocation(wide(file), index);
}

int64_t getWindowStyle(Shortcut& s) {
    int show = 0;
    s.link->GetShowCmd(&show);
    return show;
}
void setWindowStyle(Shortcut& s, int64_t show) {
    if (show >= INT32_MIN && show <= INT32_MAX) s.link->SetShowCmd(static_cast<int>(show));
}

std::u16string getHotKey(Shortcut& s) {
    WORD hotKey = 0;
    s.link->GetHotkey(&hotKey);
    return hotKeyText(hotKey);
}
void setHotKey(Shortcut& s, bind::AsString v) {
    s.link->SetHotkey(parseHotKey(v.text));
}

std::u16string getFullName(Shortcut& s) {
    return fromWide(s.path);
}

bool saveShortcut(Shortcut& s) {
    return persist(s.link.p, s.path, true);
}

constexpr bind::Member kShortcutMembers[] = {
    bind::property<getTargetPath, setTargetPath>("targetPath")
        .doc("The path of the file the link points to."),
    bind::property<getArguments, setArguments>("arguments")
        .doc("The command-line arguments passed to the target."),
    bind::property<getDescription, setDescription>("description").doc("The link's description."),
    bind::property<getWorkingDirectory, setWorkingDirectory>("workingDirectory")
        .doc("The folder the target starts in."),
    bind::property<getIconLocation, setIconLocation>("iconLocation")
        .doc("The icon as \"file,index\"; assigning \"file\" alone means index 0."),
    bind::property<getWindowStyle, setWindowStyle>("windowStyle")
        .doc("The show command the target starts with (1 normal, 3 maximised, 7 minimised); an "
             "integer."),
    bind::property<getHotKey, setHotKey>("hotKey").doc(
        "The hot key as text such as \"CTRL+ALT+F5\", or \"None\"."),
    bind::getter<getFullName>("fullName").doc("The path of the link file."),
    bind::method<saveShortcut>("save", bind::Empty::kFalse)
        .doc("Writes the link to its file; true when written."),
    bind::objectText("[object Shortcut]"),
};

// ---------------------------------------------------------------------------------------------
// URLShortcut.

struct UrlShortcut {
    ComPointer<IUniformResourceLocatorW> locator;
    std::wstring path;
};

std::unique_ptr<UrlShortcut> makeUrlShortcut(bind::Path path) {
    std::optional<std::wstring> full = fullPath(path.wide);
    if (!full || !desktop::ensureCom()) return nullptr;
    auto shortcut = std::make_unique<UrlShortcut>();
    shortcut->path = *full;
    if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IUniformResourceLocatorW,
                                reinterpret_cast<void**>(&shortcut->locator.p)))) {
        return nullptr;
    }
    if (isFile(shortcut->path)) persist(shortcut->locator.p, shortcut->path, false);
    return shortcut;
}

std::u16string getUrl(UrlShortcut& s) {
    wchar_t* url = nullptr;
    if (FAILED(s.locator->GetURL(&url)) || !url) return {};
    std::u16string text = fromWide(url);
    CoTaskMemFree(url);
    return text;
}

// The system adds a protocol when the text has none it knows.
void setUrl(UrlShortcut& s, bind::AsString v) {
    if (!hasZero(v.text)) s.locator->SetURL(wide(v.text), IURL_SETURL_FL_GUESS_PROTOCOL);
}

bool saveUrlShortcut(UrlShortcut& s) {
    return persist(s.locator.p, s.path, true);
}

constexpr bind::Member kUrlShortcutMembers[] = {
    bind::property<getUrl, setUrl>("url").doc("The address the shortcut opens (\"\" when none); "
                                              "assigning lets the system add a default protocol."),
    bind::method<saveUrlShortcut>("save", bind::Empty::kFalse)
        .doc("Writes the shortcut to its file; true when written."),
    bind::objectText("[object URLShortcut]"),
};

}  // namespace

void registerShortcut(ScriptEngine* engine) {
    bind::defineClass<Shortcut>(engine,
                                {.name = "Shortcut",
                                 .id = ClassId::kShortcut,
                                 .members = {kShortcutMembers},
                                 .call = bind::constructorCall<makeShortcut>,
                                 .construct = bind::constructor<makeShortcut>,
                                 .synopsis = "path",
                                 .summary = "A shell link (.lnk) file: loaded when path exists, "
                                            "written by save; null when path is not a string."});
}

void registerURLShortcut(ScriptEngine* engine) {
    bind::defineClass<UrlShortcut>(
        engine, {.name = "URLShortcut",
                 .id = ClassId::kURLShortcut,
                 .members = {kUrlShortcutMembers},
                 .call = bind::constructorCall<makeUrlShortcut>,
                 .construct = bind::constructor<makeUrlShortcut>,
                 .synopsis = "path",
                 .summary = "An Internet shortcut (.url) file: loaded when path exists, written by "
                            "save; null when path is not a string."});
}

}  // namespace quill
