// The options dialog's pages: each shows its part of the settings record and stores the
// user's choices, keeping every field the user did not touch as it was read.
#include "projector/option_pages.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <iterator>

#include "projector/ansi_text.h"
#include "projector/dialog_ids.h"
#include "projector/layout/option_fields.h"
#include "projector/records/safe_name.h"

namespace quill::projector {

namespace {

// The record's text fields hold 260 characters with their terminator.
constexpr int kTextLimit = 259;
constexpr const char* kAlignments[] = {"Top Left",
                                       "Top Center",
                                       "Top Right",
                                       "Center Left",
                                       "Screen Center",
                                       "Center Right",
                                       "Bottom Left",
                                       "Bottom Center",
                                       "Bottom Right",
                                       "Custom: Absolute position",
                                       "Custom: Relative about screen"};
constexpr const char* kColorProblem =
    "The background color must be a hexadecimal color such as 0xFFFFFF.";

}  // namespace

OptionPage::~OptionPage() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool OptionPage::create(HWND parent, const OptionsContext& context) {
    context_ = &context;
    hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_), parent,
                               dialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

std::wstring OptionPage::title() const {
    wchar_t text[128] = L"";
    GetWindowTextW(hwnd_, text, 128);
    return text;
}

INT_PTR CALLBACK OptionPage::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<OptionPage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<OptionPage*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        self->onInit();
        return TRUE;
    }
    if (!self) return FALSE;
    switch (message) {
        case WM_COMMAND:
            self->onCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_DRAWITEM:
            if (self->onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
                SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_HSCROLL:
        case WM_VSCROLL:
            self->onScroll();
            return TRUE;
        case WM_NCDESTROY:
            self->hwnd_ = nullptr;
            return FALSE;
    }
    return FALSE;
}

int OptionPage::radioChoice(int first, int count) const {
    for (int i = 0; i < count; ++i) {
        if (checked(first + i)) return i;
    }
    return layout::kNoChoice;
}

void OptionPage::setRadio(int first, int count, int choice) {
    for (int i = 0; i < count; ++i) check(first + i, i == choice);
}

std::string OptionPage::text(int id) const {
    HWND control = item(id);
    int length = GetWindowTextLengthW(control);
    std::wstring wide(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    int n = GetWindowTextW(control, wide.data(), length + 1);
    wide.resize(static_cast<size_t>(std::max(n, 0)));
    return ansiFromWide(wide);
}

void OptionPage::setText(int id, const std::string& value) {
    SetWindowTextW(item(id), wideFromAnsi(value).c_str());
}

uint32_t OptionPage::number(int id, uint32_t fallback) const {
    std::string digits = text(id);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return fallback;
    }
    return static_cast<uint32_t>(std::stoul(digits));
}

std::string OptionPage::browse(const char* filter, const std::string& initial) const {
    char file[MAX_PATH] = "";
    lstrcpynA(file, initial.c_str(), MAX_PATH);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetParent(hwnd_);
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&ofn)) return {};
    return file;
}

// ---- Appearance ----

CPrjAppearanceDlg::CPrjAppearanceDlg() : OptionPage(IDD_PAGE_APPEARANCE, IDI_PAGE_APPEARANCE) {}

void CPrjAppearanceDlg::onInit() {
    SendMessageW(item(IDC_TITLE), EM_LIMITTEXT, kTextLimit, 0);
    if (context_->masks) {
        for (const std::string& name : context_->masks->names) {
            SendMessageW(item(IDC_MASK_LIST), CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(wideFromAnsi(name).c_str()));
        }
    }
}

void CPrjAppearanceDlg::selectMask(const std::string& name) {
    HWND list = item(IDC_MASK_LIST);
    if (name.empty()) {
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        return;
    }
    std::wstring wide = wideFromAnsi(name);
    LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(wide.c_str()));
    if (index == CB_ERR) {
        index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// A mask file from elsewhere is copied into the work folder under its own name, where the
// window looks for masks; the name without ".msk" becomes the mask name.
void CPrjAppearanceDlg::browseMask() {
    std::string file = browse("Window masks (*.msk)\0*.msk\0", "");
    if (file.empty() || context_->workFolder.empty()) return;
    std::string name = file.substr(file.find_last_of("\\/") + 1);
    if (name.size() <= 4 || lstrcmpiA(name.c_str() + name.size() - 4, ".msk") != 0) return;
    // The same rule as for the masks a projector carries: no device names or lost characters.
    if (!project::unsafeNameReason(project::ansiCodec(), project::ansiCodec().widen(name))
             .empty()) {
        return;
    }
    std::string target = context_->workFolder + name;
    if (lstrcmpiA(target.c_str(), file.c_str()) != 0 &&
        !CopyFileW(wideFromAnsi(file).c_str(), wideFromAnsi(target).c_str(), FALSE)) {
        return;
    }
    selectMask(name.substr(0, name.size() - 4));
    setRadio(IDC_SHAPE_RECTANGLE, 3, 2);
}

void CPrjAppearanceDlg::onCommand(int id, int code) {
    if (id == IDC_MASK_BROWSE && code == BN_CLICKED) browseMask();
    if (id == IDC_MASK_LIST && code == CBN_SELCHANGE) setRadio(IDC_SHAPE_RECTANGLE, 3, 2);
}

void CPrjAppearanceDlg::load(const project::ProjectSettings& s) {
    setRadio(IDC_SHAPE_RECTANGLE, 3, layout::shapeChoice(s.windowShape));
    selectMask(s.maskName);
    setRadio(IDC_BORDER_NONE, 4, layout::borderStyleChoice(s.frameStyle));
    check(IDC_HIDE_TASKBAR, (s.frameStyle & 0x10000) != 0);
    check(IDC_BUTTON_MAXIMIZE, (s.frameButtons & 0x1) != 0);
    check(IDC_BUTTON_MINIMIZE, (s.frameButtons & 0x10) != 0);
    check(IDC_BUTTON_SYSMENU, (s.frameButtons & 0x100) != 0);
    check(IDC_BUTTON_HELP, (s.frameButtons & 0x1000) != 0);
    setRadio(IDC_SCALE_SHOW_ALL, 4, layout::scaleChoice(s.frameParam));
    setText(IDC_TITLE, s.windowTitle);
}

bool CPrjAppearanceDlg::store(project::ProjectSettings* s) {
    s->windowShape = layout::withShapeChoice(s->windowShape, radioChoice(IDC_SHAPE_RECTANGLE, 3));
    HWND list = item(IDC_MASK_LIST);
    LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) {
        wchar_t name[MAX_PATH] = L"";
        if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) < MAX_PATH) {
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                         reinterpret_cast<LPARAM>(name));
            s->maskName = ansiFromWide(name);
        }
    }
    s->frameStyle = layout::withBorderStyle(s->frameStyle, radioChoice(IDC_BORDER_NONE, 4));
    s->frameStyle = layout::withBit(s->frameStyle, 0x10000, checked(IDC_HIDE_TASKBAR));
    s->frameButtons = layout::withBit(s->frameButtons, 0x1, checked(IDC_BUTTON_MAXIMIZE));
    s->frameButtons = layout::withBit(s->frameButtons, 0x10, checked(IDC_BUTTON_MINIMIZE));
    s->frameButtons = layout::withBit(s->frameButtons, 0x100, checked(IDC_BUTTON_SYSMENU));
    s->frameButtons = layout::withBit(s->frameButtons, 0x1000, checked(IDC_BUTTON_HELP));
    s->frameParam = layout::withScaleChoice(s->frameParam, radioChoice(IDC_SCALE_SHOW_ALL, 4));
    s->windowTitle = text(IDC_TITLE).substr(0, kTextLimit);
    return true;
}

// ---- Size and Position ----

CPrjSize_PosDlg::CPrjSize_PosDlg() : OptionPage(IDD_PAGE_SIZE, IDI_PAGE_SIZE) {}

void CPrjSize_PosDlg::onInit() {
    for (int spin : {IDC_WIDTH_SPIN, IDC_HEIGHT_SPIN, IDC_LEFT_SPIN, IDC_TOP_SPIN}) {
        SendMessageW(item(spin), UDM_SETRANGE32, 0, 0xFFFF);
    }
    SendMessageW(item(IDC_PERCENT_SPIN), UDM_SETRANGE32, 1, 100);
    for (const char* name : kAlignments) {
        SendMessageW(item(IDC_ALIGNMENT), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(wideFromAnsi(name).c_str()));
    }
    HWND slider = item(IDC_SCREEN_SLIDER);
    SendMessageW(slider, TBM_SETRANGE, TRUE,
                 MAKELPARAM(0, static_cast<int>(std::size(layout::kPreviewScreens)) - 1));
    SendMessageW(slider, TBM_SETPOS, TRUE, layout::kDefaultPreviewScreen);
    previewChanged();
}

void CPrjSize_PosDlg::load(const project::ProjectSettings& s) {
    loading_ = true;
    loaded_ = s;
    setRadio(IDC_SIZE_MOVIE, 5, layout::enumChoice(s.sizeMode, 5));
    SendMessageW(item(IDC_WIDTH_SPIN), UDM_SETPOS32, 0, s.width);
    SendMessageW(item(IDC_HEIGHT_SPIN), UDM_SETPOS32, 0, s.height);
    loadedPercent_ = s.sizeMode == 4 && s.height >= 1 && s.height <= 100 ? s.height : 100;
    SendMessageW(item(IDC_PERCENT_SPIN), UDM_SETPOS32, 0, static_cast<LPARAM>(loadedPercent_));
    int alignment = layout::enumChoice(s.positionMode, static_cast<int>(std::size(kAlignments)));
    SendMessageW(item(IDC_ALIGNMENT), CB_SETCURSEL, static_cast<WPARAM>(alignment), 0);
    SendMessageW(item(IDC_LEFT_SPIN), UDM_SETPOS32, 0, s.x);
    SendMessageW(item(IDC_TOP_SPIN), UDM_SETPOS32, 0, s.y);
    check(IDC_KEEP_RATIO, s.keepAspect != 0);
    loading_ = false;
    previewChanged();
}

bool CPrjSize_PosDlg::store(project::ProjectSettings* s) {
    s->sizeMode = layout::withEnumChoice(s->sizeMode, radioChoice(IDC_SIZE_MOVIE, 5));
    s->width = static_cast<uint16_t>(std::min<uint32_t>(number(IDC_WIDTH, s->width), 0xFFFF));
    s->height = static_cast<uint16_t>(std::min<uint32_t>(number(IDC_HEIGHT, s->height), 0xFFFF));
    // A percentage of the screen lives in the height field.
    if (s->sizeMode == 4) {
        uint32_t percent = std::clamp<uint32_t>(number(IDC_PERCENT, 100), 1, 100);
        if (loaded_.sizeMode != 4 || percent != loadedPercent_) {
            s->height = static_cast<uint16_t>(percent);
        }
    }
    LRESULT alignment = SendMessageW(item(IDC_ALIGNMENT), CB_GETCURSEL, 0, 0);
    if (alignment != CB_ERR) s->positionMode = static_cast<uint32_t>(alignment);
    s->x = static_cast<uint16_t>(std::min<uint32_t>(number(IDC_LEFT, s->x), 0xFFFF));
    s->y = static_cast<uint16_t>(std::min<uint32_t>(number(IDC_TOP, s->y), 0xFFFF));
    bool keep = checked(IDC_KEEP_RATIO);
    if (keep != (s->keepAspect != 0)) s->keepAspect = keep ? 1 : 0;
    return true;
}

void CPrjSize_PosDlg::onCommand(int id, int code) {
    if (id == IDC_PERCENT && code == EN_CHANGE && !loading_) setRadio(IDC_SIZE_MOVIE, 5, 4);
    if (code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE) previewChanged();
}

void CPrjSize_PosDlg::onScroll() {
    previewChanged();
}

void CPrjSize_PosDlg::previewChanged() {
    if (loading_ || !hwnd_) return;
    LRESULT pos = SendMessageW(item(IDC_SCREEN_SLIDER), TBM_GETPOS, 0, 0);
    size_t index = static_cast<size_t>(
        std::clamp<LRESULT>(pos, 0, static_cast<LRESULT>(std::size(layout::kPreviewScreens)) - 1));
    layout::Size screen = layout::kPreviewScreens[index];
    std::string label = std::to_string(screen.cx) + "x" + std::to_string(screen.cy);
    if (text(IDC_SCREEN_SIZE) != label) setText(IDC_SCREEN_SIZE, label);
    InvalidateRect(item(IDC_PREVIEW), nullptr, TRUE);
}

bool CPrjSize_PosDlg::onDrawItem(const DRAWITEMSTRUCT& drawn) {
    if (drawn.CtlID != IDC_PREVIEW) return false;
    drawPreview(drawn);
    return true;
}

// The chosen screen scaled into the preview box, with the window where the settings on the
// page would put it.
void CPrjSize_PosDlg::drawPreview(const DRAWITEMSTRUCT& drawn) {
    HDC dc = drawn.hDC;
    RECT box = drawn.rcItem;
    FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
    LRESULT pos = SendMessageW(item(IDC_SCREEN_SLIDER), TBM_GETPOS, 0, 0);
    size_t index = static_cast<size_t>(
        std::clamp<LRESULT>(pos, 0, static_cast<LRESULT>(std::size(layout::kPreviewScreens)) - 1));
    layout::Size screen = layout::kPreviewScreens[index];
    project::ProjectSettings shown = loaded_;
    store(&shown);
    const RECT& w = context_->window;
    layout::Placement placement = layout::placeWindow(
        shown, screen, {w.left, w.top, w.right, w.bottom}, context_->client, context_->movie);
    double scale = std::min(static_cast<double>(box.right - box.left - 4) / screen.cx,
                            static_cast<double>(box.bottom - box.top - 4) / screen.cy);
    int screenW = static_cast<int>(screen.cx * scale),
        screenH = static_cast<int>(screen.cy * scale);
    int ox = box.left + (box.right - box.left - screenW) / 2;
    int oy = box.top + (box.bottom - box.top - screenH) / 2;
    RECT screenRect{ox, oy, ox + screenW, oy + screenH};
    FillRect(dc, &screenRect, GetSysColorBrush(COLOR_BACKGROUND));
    FrameRect(dc, &screenRect, GetSysColorBrush(COLOR_WINDOWFRAME));
    layout::Rect r = placement.window;
    if (placement.show != layout::Show::kNormal) r = {0, 0, screen.cx, screen.cy};
    RECT windowRect{ox + static_cast<int>(r.left * scale), oy + static_cast<int>(r.top * scale),
                    ox + static_cast<int>(r.right * scale),
                    oy + static_cast<int>(r.bottom * scale)};
    IntersectRect(&windowRect, &windowRect, &screenRect);
    FillRect(dc, &windowRect, GetSysColorBrush(COLOR_ACTIVECAPTION));
    FrameRect(dc, &windowRect, GetSysColorBrush(COLOR_WINDOWFRAME));
}

// ---- Interaction ----

CPrjInteractionDlg::CPrjInteractionDlg() : OptionPage(IDD_PAGE_INTERACTION, IDI_PAGE_INTERACTION) {}

void CPrjInteractionDlg::onInit() {}

void CPrjInteractionDlg::load(const project::ProjectSettings& s) {
    setRadio(IDC_LEFT_SEND, 3, layout::enumChoice(s.interactionA, 3));
    setRadio(IDC_RIGHT_PLAYER_MENU, 3, layout::enumChoice(s.interactionB, 3));
    setRadio(IDC_KEYS_SEND, 2, (s.inputFlags & 0x10) ? 1 : 0);
    check(IDC_NO_TASK_SWITCH, (s.taskbarFlag & 0x1) != 0);
    check(IDC_NO_CURSOR, (s.taskbarFlag & 0x10) != 0);
    check(IDC_NO_SCREEN_SAVER, (s.taskbarFlag & 0x100) != 0);
    check(IDC_EXIT_ESCAPE, (s.closeFlags & 0x1) != 0);
    check(IDC_EXIT_HOT_KEY, (s.closeFlags & 0x10) != 0);
    // The hot-key control's modifier bits (Shift 1, Ctrl 2, Alt 4) are the record's own.
    loadedHotKey_ = MAKEWORD(s.closeKey & 0xFF, s.closeModifiers & 0x7);
    SendMessageW(item(IDC_HOT_KEY), HKM_SETHOTKEY, loadedHotKey_, 0);
}

bool CPrjInteractionDlg::store(project::ProjectSettings* s) {
    s->interactionA = layout::withEnumChoice(s->interactionA, radioChoice(IDC_LEFT_SEND, 3));
    s->interactionB =
        layout::withEnumChoice(s->interactionB, radioChoice(IDC_RIGHT_PLAYER_MENU, 3));
    int keys = radioChoice(IDC_KEYS_SEND, 2);
    if (keys >= 0) s->inputFlags = layout::withBit(s->inputFlags, 0x10, keys == 1);
    s->taskbarFlag = layout::withBit(s->taskbarFlag, 0x1, checked(IDC_NO_TASK_SWITCH));
    s->taskbarFlag = layout::withBit(s->taskbarFlag, 0x10, checked(IDC_NO_CURSOR));
    s->taskbarFlag = layout::withBit(s->taskbarFlag, 0x100, checked(IDC_NO_SCREEN_SAVER));
    s->closeFlags = layout::withBit(s->closeFlags, 0x1, checked(IDC_EXIT_ESCAPE));
    s->closeFlags = layout::withBit(s->closeFlags, 0x10, checked(IDC_EXIT_HOT_KEY));
    WORD hotKey = static_cast<WORD>(SendMessageW(item(IDC_HOT_KEY), HKM_GETHOTKEY, 0, 0));
    if (hotKey != loadedHotKey_) {
        s->closeKey = LOBYTE(hotKey);
        s->closeModifiers = HIBYTE(hotKey) & 0x7;
    }
    return true;
}

// ---- Behaviour ----

CPrjBehaviourDlg::CPrjBehaviourDlg() : OptionPage(IDD_PAGE_BEHAVIOUR, IDI_PAGE_BEHAVIOUR) {}

namespace {
constexpr std::pair<int, uint32_t> kWindowFlagBoxes[] = {{IDC_TOPMOST, 0x100},
                                                         {IDC_TRAY_ICON, 0x1000},
                                                         {IDC_START_MINIMIZED, 0x10},
                                                         {IDC_AUTO_PLAY, 0x1},
                                                         {IDC_APP_ICON, 0x2}};
constexpr std::pair<int, uint32_t> kMenuFlagBoxes[] = {{IDC_MENU_CONFIG, 0x1},
                                                       {IDC_MENU_PLAYER, 0x10},
                                                       {IDC_MENU_ABOUT, 0x100},
                                                       {IDC_MENU_HELP, 0x1000}};
}  // namespace

void CPrjBehaviourDlg::load(const project::ProjectSettings& s) {
    for (auto [id, bit] : kWindowFlagBoxes) check(id, (s.windowFlags & bit) != 0);
    for (auto [id, bit] : kMenuFlagBoxes) check(id, (s.systemMenuFlags & bit) != 0);
}

bool CPrjBehaviourDlg::store(project::ProjectSettings* s) {
    for (auto [id, bit] : kWindowFlagBoxes)
        s->windowFlags = layout::withBit(s->windowFlags, bit, checked(id));
    for (auto [id, bit] : kMenuFlagBoxes) {
        s->systemMenuFlags = layout::withBit(s->systemMenuFlags, bit, checked(id));
    }
    return true;
}

// ---- Miscellaneous ----

CPrjMiscellaneousDlg::CPrjMiscellaneousDlg() : OptionPage(IDD_PAGE_MISC, IDI_PAGE_MISC) {}

void CPrjMiscellaneousDlg::onInit() {
    SendMessageW(item(IDC_HELP_FILE), EM_LIMITTEXT, kTextLimit, 0);
    SendMessageW(item(IDC_COLOR_TEXT), EM_LIMITTEXT, 16, 0);
    helpBrowse_.attach(item(IDC_HELP_BROWSE));
    colorChoose_.attach(item(IDC_COLOR_CHOOSE));
}

bool CPrjMiscellaneousDlg::onDrawItem(const DRAWITEMSTRUCT& drawn) {
    return CHoverButton::drawItem(drawn);
}

void CPrjMiscellaneousDlg::onCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IDC_HELP_BROWSE) {
        std::string file = browse("Help files (*.chm;*.hlp)\0*.chm;*.hlp\0All files (*.*)\0*.*\0",
                                  text(IDC_HELP_FILE));
        if (!file.empty()) {
            setText(IDC_HELP_FILE, file);
            check(IDC_USE_HELP, true);
        }
    } else if (id == IDC_COLOR_CHOOSE) {
        chooseColor();
    }
}

void CPrjMiscellaneousDlg::chooseColor() {
    static COLORREF custom[16];
    uint32_t rgb = layout::parseColorText(text(IDC_COLOR_TEXT)).value_or(0xFFFFFF);
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = GetParent(hwnd_);
    choice.rgbResult = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    choice.lpCustColors = custom;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorW(&choice)) return;
    COLORREF c = choice.rgbResult;
    setText(IDC_COLOR_TEXT,
            layout::colorText((static_cast<uint32_t>(GetRValue(c)) << 16) |
                              (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c)));
    check(IDC_CUSTOM_COLOR, true);
}

void CPrjMiscellaneousDlg::load(const project::ProjectSettings& s) {
    check(IDC_USE_HELP, (s.miscFlags & 0x1000) != 0);
    setText(IDC_HELP_FILE, s.helpFile);
    check(IDC_MUTE, (s.miscFlags & 0x100) != 0);
    check(IDC_CUSTOM_COLOR, (s.miscParam & 0x1) != 0);
    setText(IDC_COLOR_TEXT, layout::colorText(s.miscParam));
}

bool CPrjMiscellaneousDlg::store(project::ProjectSettings* s) {
    std::optional<uint32_t> color = layout::parseColorText(text(IDC_COLOR_TEXT));
    if (!color) {
        MessageBoxA(GetParent(hwnd_), kColorProblem, "Options", MB_OK | MB_ICONEXCLAMATION);
        SetFocus(item(IDC_COLOR_TEXT));
        return false;
    }
    s->miscFlags = layout::withBit(s->miscFlags, 0x1000, checked(IDC_USE_HELP));
    s->miscFlags = layout::withBit(s->miscFlags, 0x100, checked(IDC_MUTE));
    s->helpFile = text(IDC_HELP_FILE).substr(0, kTextLimit);
    // Bit 0 both switches the colour on and is the colour's lowest bit, as the record has it.
    uint32_t value = (s->miscParam & 0xFF000000u) | *color;
    s->miscParam = layout::withBit(value, 0x1, checked(IDC_CUSTOM_COLOR));
    return true;
}

std::vector<std::unique_ptr<OptionPage>> makeOptionPages() {
    std::vector<std::unique_ptr<OptionPage>> pages;
    pages.push_back(std::make_unique<CPrjAppearanceDlg>());
    pages.push_back(std::make_unique<CPrjSize_PosDlg>());
    pages.push_back(std::make_unique<CPrjInteractionDlg>());
    pages.push_back(std::make_unique<CPrjBehaviourDlg>());
    pages.push_back(std::make_unique<CPrjMiscellaneousDlg>());
    return pages;
}

}  // namespace quill::projector
