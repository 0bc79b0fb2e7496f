// COptDialog: the "Options" dialog, a tab control over the five pages. Every page is made and
// loaded before the dialog shows; OK stores each page into a copy of the settings and hands the
// copy back only when every page could store.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>
#include <vector>

#include "projector/dialog_ids.h"
#include "projector/dialogs.h"

namespace quill::projector {

namespace {

class COptDialog {
  public:
    COptDialog(project::ProjectSettings* settings, const OptionsContext& context)
        : settings_(settings), context_(context) {}
    ~COptDialog() {
        if (images_) ImageList_Destroy(images_);
    }
    COptDialog(const COptDialog&) = delete;
    COptDialog& operator=(const COptDialog&) = delete;

    INT_PTR run(HWND owner) {
        return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPTIONS), owner,
                               dialogProc, reinterpret_cast<LPARAM>(this));
    }

  private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool onInit();
    void select(int index);
    void onOk();

    project::ProjectSettings* settings_;
    const OptionsContext& context_;
    HWND hwnd_ = nullptr;
    HIMAGELIST images_ = nullptr;
    std::vector<std::unique_ptr<OptionPage>> pages_;
};

INT_PTR CALLBACK COptDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<COptDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<COptDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        // Ending here means the dialog never shows.
        if (!self->onInit()) EndDialog(hwnd, -1);
        return TRUE;
    }
    if (!self) return FALSE;
    switch (message) {
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_OPTION_TABS && header->code == TCN_SELCHANGE) {
                self->select(static_cast<int>(
                    SendMessageW(GetDlgItem(hwnd, IDC_OPTION_TABS), TCM_GETCURSEL, 0, 0)));
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) self->onOk();
            if (LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, IDCANCEL);
            return TRUE;
        case WM_DESTROY:
            self->pages_.clear();
            return FALSE;
    }
    return FALSE;
}

bool COptDialog::onInit() {
    HWND tabs = GetDlgItem(hwnd_, IDC_OPTION_TABS);
    if (!tabs) return false;
    pages_ = makeOptionPages();
    images_ = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                               ILC_COLOR32 | ILC_MASK, static_cast<int>(pages_.size()), 0);
    if (images_) SendMessageW(tabs, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    for (size_t i = 0; i < pages_.size(); ++i) {
        OptionPage& page = *pages_[i];
        if (!page.create(hwnd_, context_)) return false;
        page.load(*settings_);
        int image = -1;
        HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(page.icon()), IMAGE_ICON,
                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        if (icon && images_) image = ImageList_AddIcon(images_, icon);
        if (icon) DestroyIcon(icon);
        std::wstring title = page.title();
        TCITEMW tab{};
        tab.mask = TCIF_TEXT | TCIF_IMAGE;
        tab.pszText = title.data();
        tab.iImage = image;
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&tab));
    }
    // The pages fill the tab control's display area, above it in the z-order.
    RECT area;
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (auto& page : pages_) {
        SetWindowPos(page->hwnd(), HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOACTIVATE);
    }
    select(0);
    return true;
}

void COptDialog::select(int index) {
    for (size_t i = 0; i < pages_.size(); ++i) {
        ShowWindow(pages_[i]->hwnd(), static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
    }
    SendMessageW(GetDlgItem(hwnd_, IDC_OPTION_TABS), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void COptDialog::onOk() {
    project::ProjectSettings edited = *settings_;
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (!pages_[i]->store(&edited)) {
            select(static_cast<int>(i));
            return;
        }
    }
    *settings_ = std::move(edited);
    EndDialog(hwnd_, IDOK);
}

}  // namespace

bool ShowOptions(HWND owner, project::ProjectSettings* settings, const OptionsContext& context) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS |
                                                       ICC_BAR_CLASSES | ICC_HOTKEY_CLASS |
                                                       ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    COptDialog dialog(settings, context);
    return dialog.run(owner) == IDOK;
}

}  // namespace quill::projector
