// The Dialogs host class: the message box and the common dialogs (open and save file, colour,
// font, folder browser), modal to the owner window. Cancelled or failed dialogs answer false
// (null for the font) and leave the system's text for the dialog's error code in the engine's
// error buffer.
#include <windows.h>  // first: the system headers below need it

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
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
using desktop::wide;

struct DialogsObject {};

// Room for the chosen name: any path for one file, and a folder with many names for several.
// (A name given to start with that is longer still gets room of its own.)
constexpr size_t kSingleNameRoom = 32768;
constexpr size_t kMultipleNameRoom = 262144;

// A string argument, or nothing for a missing one or one of another type.
std::optional<std::u16string> textArgument(bind::Args args, uint32_t i) {
    if (!args.has(i) || args[i].tag != kTagString) return std::nullopt;
    return std::u16string(stringView(args[i]));
}

ScriptValue failed(ScriptEngine* engine, ScriptValue result) {
    desktop::noteSystemError(engine, CommDlgExtendedError());
    return result;
}

// ---------------------------------------------------------------------------------------------
// Message box.

int64_t msgBox(std::optional<bind::AsString> text, std::optional<bind::AsString> caption,
               ScriptValue type) {
    std::u16string body = text ? text->text : std::u16string();
    std::u16string title = caption ? caption->text : std::u16string(u"Plexor");
    UINT flags = type.tag == kTagInteger ? static_cast<UINT>(type.i) : 0;
    return MessageBoxW(ownerWindow(), wide(body), wide(title), flags);
}

// ---------------------------------------------------------------------------------------------
// Open and save.

// "|" separates the parts; the dialog wants zero units there and two at the end.
std::vector<wchar_t> filterText(const std::u16string& filter) {
    std::vector<wchar_t> out;
    out.reserve(filter.size() + 2);
    for (char16_t c : filter) out.push_back(c == u'|' ? L'\0' : static_cast<wchar_t>(c));
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

// The units of a multiple selection, split at their zero units up to the empty part.
std::vector<std::u16string> splitAtZeros(const std::vector<wchar_t>& buffer) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start < buffer.size() && buffer[start] != L'\0') {
        size_t end = start;
        while (end < buffer.size() && buffer[end] != L'\0') ++end;
        parts.push_back(fromWide(buffer.data() + start, end - start));
        start = end + 1;
    }
    return parts;
}

ScriptValue fileDialog(ScriptEngine* engine, bind::Args args, bool save) {
    std::optional<std::u16string> filter = textArgument(args, 1);
    std::optional<std::u16string> title = textArgument(args, 2);
    std::u16string initial = textArgument(args, 3).value_or(u"");
    bool multiple = !save && args.has(4) && toBoolean(engine, args[4]);
    if (title && desktop::hasZero(*title)) title.reset();

    std::vector<wchar_t> filterUnits;
    if (filter) filterUnits = filterText(*filter);
    size_t room = std::max(multiple ? kMultipleNameRoom : kSingleNameRoom, initial.size() + 1);
    std::vector<wchar_t> name(room, L'\0');
    std::copy(initial.begin(), initial.end(), name.begin());

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ownerWindow();
    dialog.lpstrFilter = filter ? filterUnits.data() : nullptr;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(room);
    dialog.lpstrTitle = title ? wide(*title) : nullptr;
    // The current folder stays where the script had it: relative paths keep their meaning.
    dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (multiple) dialog.Flags |= OFN_ALLOWMULTISELECT;
    if (save) dialog.Flags |= OFN_OVERWRITEPROMPT;

    BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return failed(engine, makeBoolean(false));
    if (multiple) return desktop::newStringArray(engine, splitAtZeros(name));
    return newString(engine, desktop::fromBuffer(name));
}

ScriptValue fileOpen(ScriptEngine* engine, bind::Args args) {
    return fileDialog(engine, args, false);
}
ScriptValue fileSave(ScriptEngine* engine, bind::Args args) {
    return fileDialog(engine, args, true);
}

// ---------------------------------------------------------------------------------------------
// Colour and font.

ScriptValue chooseColor(ScriptEngine* engine, ScriptValue initial) {
    COLORREF custom[16] = {};  // empty on every call
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ownerWindow();
    dialog.lpCustColors = custom;
    dialog.Flags = CC_FULLOPEN | CC_ANYCOLOR;
    if (initial.tag == kTagInteger) {
        dialog.rgbResult = desktop::toColorRef(initial.i);
        dialog.Flags |= CC_RGBINIT;
    }
    if (!ChooseColorW(&dialog)) return failed(engine, makeBoolean(false));
    return makeInteger(desktop::fromColorRef(dialog.rgbResult));
}

// The dialog starts from the given font (its size turned into a height for the screen) and
// answers a new FontObject; the one given is left as it was.
ScriptValue chooseFont(ScriptEngine* engine,
                       std::optional<bind::Instance<FontRecord, ClassId::kFontObject>> given) {
    FontRecord start = given ? **given : FontRecord();
    LOGFONTW font = start.font;
    CHOOSEFONTW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ownerWindow();
    dialog.lpLogFont = &font;
    dialog.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    if (given) {
        HDC screen = GetDC(nullptr);
        int pixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        font.lfHeight = -MulDiv(start.size, pixelsPerInch, 72);
        dialog.rgbColors = desktop::toColorRef(start.color);
        dialog.iPointSize = start.size * 10;
    }
    if (!ChooseFontW(&dialog)) return failed(engine, makeNull());
    FontRecord chosen;
    chosen.font = font;
    chosen.color = static_cast<uint32_t>(desktop::fromColorRef(dialog.rgbColors));
    chosen.size = dialog.iPointSize / 10;
    return newFontObject(engine, chosen);
}

// ---------------------------------------------------------------------------------------------
// Folder browser.

// Selected at once, and again once the dialog has settled: Wine's browser now and then falls back
// to its root after the first selection. The text outlives the dialog's message loop.
int CALLBACK selectInitialFolder(HWND dialog, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED && folder) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, folder);
        PostMessageW(dialog, BFFM_SETSELECTIONW, TRUE, folder);
    }
    return 0;
}

ScriptValue browse(ScriptEngine* engine, bind::Args args) {
    std::optional<std::u16string> title = textArgument(args, 1);
    std::optional<std::u16string> folder = textArgument(args, 2);
    bool computers = args.has(3) && toBoolean(engine, args[3]);
    if (title && desktop::hasZero(*title)) title.reset();
    if (folder && (folder->empty() || desktop::hasZero(*folder))) folder.reset();
    if (!desktop::ensureCom()) return makeBoolean(false);

    wchar_t displayName[MAX_PATH] = L"";  // the shell's contract: MAX_PATH units
    BROWSEINFOW info{};
    info.hwndOwner = ownerWindow();
    info.pszDisplayName = displayName;
    info.lpszTitle = title ? wide(*title) : nullptr;
    info.ulFlags = computers ? (BIF_BROWSEFORCOMPUTER | BIF_STATUSTEXT)
                             : (BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT);
    info.lpfn = selectInitialFolder;
    info.lParam = folder ? reinterpret_cast<LPARAM>(wide(*folder)) : 0;
    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    if (!item) return makeBoolean(false);
    std::vector<wchar_t> path(32768, L'\0');
    bool ok = SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()),
                                    GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(item);
    if (!ok || path[0] == L'\0') return makeBoolean(false);
    return newString(engine, desktop::fromBuffer(path));
}

std::unique_ptr<DialogsObject> makeDialogs() {
    return std::make_unique<DialogsObject>();
}

constexpr bind::Member kDialogsMembers[] = {
    bind::classMethod<msgBox>("msgBox").doc(
        "[text [, caption [, flags]]]",
        "Shows a message box (flags: the Windows MB_ values, default 0 for OK) and answers the "
        "button pressed: 1 OK, 2 Cancel, 6 Yes, 7 No..."),
    bind::classMethod<fileOpen>("fileOpen", bind::Empty::kFalse)
        .doc("[filter [, title [, fileName [, multiple]]]]",
             "The chosen file's path (filter like \"Text|*.txt|All|*.*|\"); with multiple, an "
             "array: the folder, then each name (or one full path). False when cancelled."),
    bind::classMethod<fileSave>("fileSave", bind::Empty::kFalse)
        .doc("[filter [, title [, fileName]]]",
             "The chosen path to save to; false when cancelled."),
    bind::classMethod<chooseColor>("chooseColor", bind::Empty::kFalse)
        .doc("[colour]", "The chosen colour as 0xRRGGBB; false when cancelled."),
    bind::classMethod<chooseFont>("chooseFont", bind::Empty::kNull)
        .doc("[fontObject]",
             "A new FontObject with the chosen font, size and colour; null when cancelled."),
    bind::classMethod<browse>("browse", bind::Empty::kFalse)
        .doc("[title [, folder [, computers]]]", "The chosen folder's path; false when cancelled."),
    bind::objectText("[object Dialogs]"),
};

}  // namespace

void registerDialogs(ScriptEngine* engine) {
    bind::defineClass<DialogsObject>(
        engine,
        {.name = "Dialogs",
         .id = ClassId::kDialogs,
         .members = {kDialogsMembers},
         .call = bind::constructorCall<makeDialogs>,
         .construct = bind::constructor<makeDialogs>,
         .synopsis = "",
         .summary = "The common dialogs: message box, open and save, colour, font and folder "
                    "browser, modal to the main window. Its methods also answer on Dialogs itself; "
                    "a cancelled or failed dialog answers false (null for the font)."});
}

}  // namespace quill
