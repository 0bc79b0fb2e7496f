// Dialogs and FontObject under Wine: every dialog answered from a second thread and every cancel
// path, the owner the dialogs get (ours, or the one a host provides), and the font and colour
// conversions at the dialog boundary.
#include "tests/gui/system/desktop_test_support.h"

#include <commctrl.h>

#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "host/system/owner_window.h"

namespace quill::gui {
namespace {

using DialogsTest = DesktopTest;

// Control ids of the common dialogs.
constexpr int kRedBox = 706, kGreenBox = 707, kBlueBox = 708;  // colour dialog
constexpr int kFontSizeBox = 1138;                             // font dialog
constexpr int kFileTypeBox = 1136;                             // open and save dialogs

// A busy machine can keep Wine's first file dialog of a process from being ready for several
// seconds; the waits are bounded more generously than the bench's default.
constexpr DWORD kPatienceMs = 30000;

DialogAnswerer answer(DialogAnswerer::Answer a) {
    return DialogAnswerer(GetCurrentThreadId(), std::move(a), kPatienceMs);
}

// Answers the next dialog of this thread with `command` once `look` has seen what it wants in
// it (true): one thread, so the dialog cannot close before it is looked at.
std::thread lookThenAnswer(std::function<bool(HWND)> look, int command = IDOK) {
    return std::thread([thread = GetCurrentThreadId(), look = std::move(look), command] {
        HWND dialog = nullptr;
        if (!waitFor([&] { return (dialog = findDialog(thread)) != nullptr; }, kPatienceMs)) return;
        waitFor([&] { return look(dialog); }, kPatienceMs);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    });
}

TEST_F(DialogsTest, MessageBoxAnswersAndCaptions) {
    {
        DialogAnswerer answerer(GetCurrentThreadId(), {.command = IDOK});
        EXPECT_EQ(eval("Dialogs.msgBox('Hello')"), "1");
        EXPECT_TRUE(answerer.join()) << answerer.problem();
        EXPECT_EQ(answerer.title(), L"Plexor");
    }
    {
        DialogAnswerer answerer(GetCurrentThreadId(), {.command = IDNO});
        EXPECT_EQ(eval("Dialogs.msgBox('Go on?', 42, 4)"), "7");  // MB_YESNO
        EXPECT_TRUE(answerer.join()) << answerer.problem();
        EXPECT_EQ(answerer.title(), L"42");
    }
    {
        DialogAnswerer answerer(GetCurrentThreadId(), {.command = IDYES});
        EXPECT_EQ(eval("Dialogs.msgBox('Go on?', 'Question', 4)"), "6");
        EXPECT_TRUE(answerer.join()) << answerer.problem();
    }
    {
        // A type that is no integer is no type: a plain OK box, cancelled like one.
        DialogAnswerer answerer(GetCurrentThreadId(), {.command = IDCANCEL});
        EXPECT_EQ(eval("Dialogs.msgBox(undefined, undefined, '4')"), "2");
        EXPECT_TRUE(answerer.join()) << answerer.problem();
        EXPECT_EQ(answerer.title(), L"Plexor");
    }
}

// Our own hidden window owns the dialogs until a host provides its main window.
TEST_F(DialogsTest, DialogsBelongToTheOwnerWindow) {
    auto ownerOfNextBox = [&](const char* script) {
        HWND owner = nullptr;
        std::thread answerer = lookThenAnswer([&](HWND box) {
            owner = GetWindow(box, GW_OWNER);
            return true;
        });
        EXPECT_EQ(eval(script), "1");
        answerer.join();
        return owner;
    };
    HWND own = ownerOfNextBox("Dialogs.msgBox('ours')");
    EXPECT_EQ(own, ownerWindow());
    ASSERT_NE(own, nullptr);
    EXPECT_FALSE(IsWindowVisible(own));

    static HWND provided = nullptr;
    TestWindow main;
    provided = main.hwnd();
    setOwnerWindowProvider([] { return provided; });
    EXPECT_EQ(ownerOfNextBox("Dialogs.msgBox('theirs')"), main.hwnd());
    // A provider without a window yet: our own again.
    provided = nullptr;
    EXPECT_EQ(ownerWindow(), own);
    setOwnerWindowProvider(nullptr);
}

// The dialogs open in the current folder; the scratch folder is small, where the build folder
// the tests start in holds large programs whose icons Wine extracts slowly.
class FileDialogsTest : public DialogsTest {
  protected:
    void SetUp() override {
        DialogsTest::SetUp();
        std::ofstream(scratch / "a.txt") << "a\n";
        std::ofstream(scratch / "b.txt") << "b\n";
        started = std::filesystem::current_path();
        std::filesystem::current_path(scratch.path());
    }
    void TearDown() override {
        std::filesystem::current_path(started);
        DialogsTest::TearDown();
    }
    ScratchFolder scratch{"quill-dialogs"};
    std::filesystem::path started;
};

TEST_F(FileDialogsTest, OpenAndSaveAnswered) {
    std::filesystem::path chosen = scratch / "a.txt";
    auto opened = answer({.texts = {{kFileNameBox, chosen.wstring()}}});
    EXPECT_EQ(eval("Dialogs.fileOpen('Text files|*.txt|All files|*.*|', 'Pick one')"),
              chosen.string());
    EXPECT_TRUE(opened.join()) << opened.problem();
    EXPECT_EQ(opened.title(), L"Pick one");

    std::filesystem::path fresh = scratch / "new.txt";
    auto saved = answer({.texts = {{kFileNameBox, fresh.wstring()}}});
    EXPECT_EQ(eval("Dialogs.fileSave('Text files|*.txt|', 'Save it', 'start.txt')"),
              fresh.string());
    EXPECT_TRUE(saved.join()) << saved.problem();
    EXPECT_EQ(saved.title(), L"Save it");
    EXPECT_EQ(std::filesystem::current_path(), scratch.path());  // the dialogs leave it alone

    // Saving over an existing file asks first; the answerer cancels the question and the dialog.
    auto asked =
        DialogAnswerer(GetCurrentThreadId(), {.texts = {{kFileNameBox, chosen.wstring()}}}, 3000);
    EXPECT_EQ(eval("Dialogs.fileSave('', 'Overwrite?')"), "false");
    EXPECT_FALSE(asked.join());
    EXPECT_NE(asked.problem().find("stayed open"), std::string::npos) << asked.problem();
}

TEST_F(FileDialogsTest, MultipleSelectionGivesTheFolderAndTheNames) {
    auto answerer = answer({.texts = {{kFileNameBox, L"\"a.txt\" \"b.txt\""}}});
    std::string initial = literal(scratch / "a.txt");
    EXPECT_EQ(eval("var r = Dialogs.fileOpen('Text|*.txt|', 'Several', " + initial +
                   ", true); r.length + '|' + r.join('|')"),
              "3|" + scratch.path().string() + "|a.txt|b.txt");
    EXPECT_TRUE(answerer.join()) << answerer.problem();

    // One file chosen: the array holds its whole path.
    auto single = answer({.texts = {{kFileNameBox, (scratch / "b.txt").wstring()}}});
    EXPECT_EQ(eval("var r = Dialogs.fileOpen('', '', '', 1); r.length + '|' + r[0]"),
              "1|" + (scratch / "b.txt").string());
    EXPECT_TRUE(single.join()) << single.problem();
}

TEST_F(FileDialogsTest, CancelledDialogsAnswerFalse) {
    for (const char* call : {"Dialogs.fileOpen('Text|*.txt|')", "Dialogs.fileSave()",
                             "Dialogs.fileOpen('', '', '', true)"}) {
        auto answerer = answer({.command = IDCANCEL});
        EXPECT_EQ(eval(std::string(call) + " === false"), "true") << call;
        EXPECT_TRUE(answerer.join()) << answerer.problem();
        // Cancelling is error code 0: the system's text for it is left in the buffer.
        EXPECT_FALSE(errorText(engine).empty());
    }
}

// "|" separates description and pattern; a filter of one pair offers that one choice.
TEST_F(FileDialogsTest, FilterPartsBecomeTheTypeChoices) {
    std::vector<std::wstring> offered;
    auto types = [&](HWND dialog) {
        offered.clear();
        HWND box = findControl(dialog, kFileTypeBox);
        auto count = box ? SendMessageW(box, CB_GETCOUNT, 0, 0) : 0;
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[256] = L"";
            if (SendMessageW(box, CB_GETLBTEXTLEN, i, 0) < 256) {
                SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            }
            offered.push_back(text);
        }
        return !offered.empty();
    };
    std::thread answerer = lookThenAnswer(types, IDCANCEL);
    eval("Dialogs.fileOpen('Text files|*.txt|')");
    answerer.join();
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"Text files"}));

    answerer = lookThenAnswer(types, IDCANCEL);
    eval("Dialogs.fileSave('Text|*.txt|Pictures|*.bmp;*.png|Everything|*.*')");  // no final "|"
    answerer.join();
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"Text", L"Pictures", L"Everything"}));
}

TEST_F(DialogsTest, ColourChosenAndCancelled) {
    auto kept = answer({.command = IDOK});
    EXPECT_EQ(eval("Dialogs.chooseColor(16711680)"), "16711680");  // red, preselected
    EXPECT_TRUE(kept.join()) << kept.problem();

    auto typed = answer({.texts = {{kRedBox, L"0"}, {kGreenBox, L"128"}, {kBlueBox, L"255"}}});
    EXPECT_EQ(eval("Dialogs.chooseColor(255)"), std::to_string(0x0080FF));
    EXPECT_TRUE(typed.join()) << typed.problem();

    auto cancelled = answer({.command = IDCANCEL});
    EXPECT_EQ(eval("Dialogs.chooseColor() === false"), "true");
    EXPECT_TRUE(cancelled.join()) << cancelled.problem();
}

TEST_F(DialogsTest, FontChosenFromAFontObject) {
    std::string font =
        "var f = new FontObject(); f.name = 'Tahoma'; f.size = 12; f.color = 0x00FF00; "
        "f.bold = 1; f.italic = true; ";
    auto kept = answer({.command = IDOK});
    EXPECT_EQ(eval(font + "var g = Dialogs.chooseFont(f); [g.name, g.size, g.color, g.bold, "
                          "g.italic, g.underline, g === f, f.size].join('|')"),
              "Tahoma|12|65280|true|true|false|false|12");
    EXPECT_TRUE(kept.join()) << kept.problem();

    // Another size and style, and the dialog's own size box shows the size it opened with.
    std::wstring sizeShown;
    std::thread answerer = lookThenAnswer([&](HWND dialog) {
        sizeShown = windowText(findControl(dialog, kFontSizeBox));
        return !sizeShown.empty();
    });
    EXPECT_EQ(eval("var f = new FontObject(); f.name = 'Tahoma'; f.size = 20; f.underline = 1; "
                   "f.color = 0x123456; var g = Dialogs.chooseFont(f); [g.name, g.size, g.bold, "
                   "g.italic, g.underline, g.color].join('|')"),
              "Tahoma|20|false|false|true|" + std::to_string(0x123456));
    answerer.join();
    EXPECT_EQ(sizeShown, L"20");

    auto cancelled = answer({.command = IDCANCEL});
    EXPECT_EQ(eval(font + "Dialogs.chooseFont(f) === null"), "true");
    EXPECT_TRUE(cancelled.join()) << cancelled.problem();
    // Not a FontObject: no dialog at all.
    EXPECT_EQ(eval("Dialogs.chooseFont('Tahoma') === null"), "true");
}

// The text of the tree's selected item.
std::wstring selectedItem(HWND tree) {
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    wchar_t text[MAX_PATH] = L"";
    TVITEMW query{};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    if (!item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query))) return {};
    return text;
}

TEST_F(DialogsTest, FolderBrowserStartsAtTheGivenFolder) {
    ScratchFolder scratch("quill-browse");
    // Wine selects the folder a moment after the dialog shows: OK waits until it is selected.
    const DWORD thread = GetCurrentThreadId();
    bool selected = false;
    std::thread answerer([&] {
        HWND dialog = nullptr;
        if (!waitFor([&] { return (dialog = findDialog(thread)) != nullptr; })) return;
        HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        selected =
            waitFor([&] { return selectedItem(tree) == scratch.path().filename().wstring(); });
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(eval("Dialogs.browse('Pick a folder', " + literal(scratch.path()) + ")"),
              scratch.path().string());
    answerer.join();
    EXPECT_TRUE(selected);

    auto cancelled = answer({.command = IDCANCEL});
    EXPECT_EQ(
        eval("Dialogs.browse('Pick a folder', " + literal(scratch.path()) + ", false) === false"),
        "true");
    EXPECT_TRUE(cancelled.join()) << cancelled.problem();
}

// The members themselves are in the corpus (win32/font_object.qls).
TEST_F(DialogsTest, InstalledFontFamilies) {
    EXPECT_EQ(eval("FontObject.getFonts(1, 'Tahoma')[0]"), "Tahoma");
    EXPECT_EQ(eval("new FontObject().getFonts(0, 'Tahoma').length > 0"), "true");
    EXPECT_EQ(eval("FontObject.getFonts(1, 'No such face at all') === null"), "true");
    EXPECT_EQ(eval("FontObject.getFonts(300) === null"), "true");
}

}  // namespace
}  // namespace quill::gui
