// The "Open" dialog (1000): a movie location typed as a file path or web address, or browsed
// for with the open-file dialog.
#include <windows.h>
// after windows.h
#include <commdlg.h>

#include "projector/ansi_text.h"
#include "projector/dialog_ids.h"
#include "projector/dialogs.h"

namespace quill::projector {

namespace {

constexpr int kLocationLimit = 2048;

void browse(HWND dialog) {
    wchar_t file[MAX_PATH] = L"";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter = L"Movies (*.swf)\0*.swf\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&ofn)) SetDlgItemTextW(dialog, IDC_LOCATION, file);
}

INT_PTR CALLBACK openProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            SendDlgItemMessageW(hwnd, IDC_LOCATION, EM_LIMITTEXT, kLocationLimit, 0);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_OPEN_BROWSE:
                    browse(hwnd);
                    return TRUE;
                case IDOK: {
                    auto* location =
                        reinterpret_cast<std::wstring*>(GetWindowLongPtrW(hwnd, DWLP_USER));
                    wchar_t text[kLocationLimit + 1] = L"";
                    GetDlgItemTextW(hwnd, IDC_LOCATION, text, kLocationLimit + 1);
                    *location = text;
                    EndDialog(hwnd, IDOK);
                    return TRUE;
                }
                case IDCANCEL:
                    EndDialog(hwnd, IDCANCEL);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> AskMovieLocation(HWND owner) {
    std::wstring location;
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPEN), owner,
                                     openProc, reinterpret_cast<LPARAM>(&location));
    size_t begin = location.find_first_not_of(L" \t");
    if (result != IDOK || begin == std::wstring::npos) return std::nullopt;
    location = location.substr(begin, location.find_last_not_of(L" \t") - begin + 1);
    return ansiFromWide(location);
}

}  // namespace quill::projector
