// The about box (dialog 3000): the product texts with the version and e-mail rules, the picture
// chosen by the about flags, and the two hyperlinks in the about section's colours and fonts.
#include <windows.h>
// after windows.h
#include <ole2.h>

#include <fstream>
#include <vector>

#include "projector/ansi_text.h"
#include "projector/dialog_ids.h"
#include "projector/dialogs.h"
#include "projector/layout/option_fields.h"
#include "projector/records/resource_access.h"

namespace quill::projector {

namespace {

constexpr const char* kAboutPictureFile = "Plexor.BK";

COLORREF colorRef(uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The record's font, or null when it names none (the dialog's font is used then).
HFONT createFont(const project::LogFont& f) {
    if (f.faceName.empty() && f.height == 0) return nullptr;
    LOGFONTW font{};
    font.lfHeight = f.height;
    font.lfWidth = f.width;
    font.lfEscapement = f.escapement;
    font.lfOrientation = f.orientation;
    font.lfWeight = f.weight;
    font.lfItalic = f.italic;
    font.lfUnderline = f.underline;
    font.lfStrikeOut = f.strikeOut;
    font.lfCharSet = f.charSet;
    font.lfOutPrecision = f.outPrecision;
    font.lfClipPrecision = f.clipPrecision;
    font.lfQuality = f.quality;
    font.lfPitchAndFamily = f.pitchAndFamily;
    std::wstring face = wideFromAnsi(f.faceName.substr(0, project::kFaceNameChars));
    lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

bool fileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wideFromAnsi(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The BK picture as a file in the work folder, written on first use; empty when the projector
// carries none (or it cannot be written).
std::string extractedPicture(const std::string& workFolder) {
    if (workFolder.empty()) return {};
    std::string path = workFolder + kAboutPictureFile;
    if (fileExists(path)) return path;
    std::vector<uint8_t> bytes;
    try {
        if (!project::LoadPackedResource("BK", project::kProjectType, &bytes, nullptr)) return {};
    } catch (...) {
        return {};  // no BK resource: the picture area stays empty
    }
    std::ofstream file(wideFromAnsi(path).c_str(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) return {};
    return path;
}

// A bitmap file scaled to fit `area` with its proportions kept; null when it is not one.
HBITMAP loadFitted(const std::string& path, SIZE area) {
    if (path.empty() || !fileExists(path)) return nullptr;
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(nullptr, wideFromAnsi(path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!bitmap) return nullptr;
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        DeleteObject(bitmap);
        return nullptr;
    }
    if (info.bmWidth <= area.cx && info.bmHeight <= area.cy) return bitmap;
    double scale = std::min(static_cast<double>(area.cx) / info.bmWidth,
                            static_cast<double>(area.cy) / info.bmHeight);
    int w = std::max(1, static_cast<int>(info.bmWidth * scale));
    int h = std::max(1, static_cast<int>(info.bmHeight * scale));
    auto fitted = static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, w, h, LR_COPYDELETEORG));
    if (!fitted) return bitmap;
    return fitted;
}

// The movie as the control shows it now, drawn through its view interface at a size that fits
// `area` with the control's proportions; null without a control that draws.
HBITMAP movieSnapshot(IDispatch* control, HWND controlWindow, SIZE area) {
    if (!control || area.cx <= 0 || area.cy <= 0) return nullptr;
    RECT client{0, 0, area.cx, area.cy};
    if (controlWindow) GetClientRect(controlWindow, &client);
    if (client.right <= 0 || client.bottom <= 0) return nullptr;
    double scale = std::min(static_cast<double>(area.cx) / client.right,
                            static_cast<double>(area.cy) / client.bottom);
    int w = std::max(1, static_cast<int>(client.right * scale));
    int h = std::max(1, static_cast<int>(client.bottom * scale));
    IViewObject* view = nullptr;
    if (FAILED(control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view))) ||
        !view) {
        return nullptr;
    }
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HRESULT drawn = E_FAIL;
    if (dc && bitmap) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECTL bounds{0, 0, w, h};
        drawn = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                           nullptr, 0);
        SelectObject(dc, old);
    }
    view->Release();
    if (dc) DeleteDC(dc);
    if (FAILED(drawn) && bitmap) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    return bitmap;
}

struct AboutBox {
    const project::ProjectSettings& settings;
    std::string workFolder;
    IDispatch* movie = nullptr;
    HWND movieWindow = nullptr;
    HFONT font1 = nullptr;
    HFONT font2 = nullptr;
    HBITMAP picture = nullptr;

    ~AboutBox() {
        if (font1) DeleteObject(font1);
        if (font2) DeleteObject(font2);
        if (picture) DeleteObject(picture);
    }

    // With aboutFlags bit 8 the picture file of the about section, with bit 4 the movie as it
    // plays now, otherwise the BK picture.
    HBITMAP loadPicture(SIZE area) const {
        uint32_t flags = settings.aboutFlags;
        if (flags & 0x100) return loadFitted(settings.aboutPicture, area);
        if (flags & 0x10) return movieSnapshot(movie, movieWindow, area);
        return loadFitted(extractedPicture(workFolder), area);
    }

    void init(HWND dialog) {
        SetDlgItemTextW(dialog, IDC_ABOUT_PRODUCT,
                        wideFromAnsi(settings.productName.value_or("")).c_str());
        std::string version = settings.versionText.value_or("");
        if (!version.empty()) version = layout::versionLine(version);
        SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, wideFromAnsi(version).c_str());
        SetDlgItemTextW(dialog, IDC_ABOUT_THIRD,
                        wideFromAnsi(settings.legalNotice.value_or("")).c_str());

        font1 = createFont(settings.aboutFont1);
        font2 = createFont(settings.aboutFont2);
        std::string web = settings.webAddress.value_or("");
        std::string linkText = settings.linkText.value_or("");
        if (linkText.empty()) linkText = web;
        // A project that sets neither colour gets links that look like links.
        HyperlinkStyle colors;
        if (settings.aboutColor1 != 0 || settings.aboutColor2 != 0) {
            colors.normal = colorRef(settings.aboutColor1);
            colors.hover = colorRef(settings.aboutColor2);
        }
        HyperlinkStyle webStyle{colors.normal, colors.hover, font1};
        setHyperlink(GetDlgItem(dialog, IDC_ABOUT_WEB), wideFromAnsi(linkText), wideFromAnsi(web),
                     webStyle);
        std::string email = settings.emailAddress.value_or("");
        HyperlinkStyle mailStyle{colors.normal, colors.hover, font2};
        setHyperlink(GetDlgItem(dialog, IDC_ABOUT_EMAIL), wideFromAnsi(email),
                     email.empty() ? L"" : wideFromAnsi(layout::mailtoAddress(email)), mailStyle);

        HWND area = GetDlgItem(dialog, IDC_ABOUT_PICTURE);
        RECT r{};
        GetClientRect(area, &r);
        picture = loadPicture({r.right, r.bottom});
        if (picture) {
            SendMessageW(area, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
        }
    }
};

INT_PTR CALLBACK aboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            reinterpret_cast<AboutBox*>(lParam)->init(hwnd);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, LOWORD(wParam));
            }
            return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowAbout(HWND owner, const project::ProjectSettings& settings, const std::string& workFolder,
               IDispatch* movie, HWND movieWindow) {
    registerHyperlinkClass();
    AboutBox box{settings, workFolder, movie, movieWindow};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, aboutProc,
                    reinterpret_cast<LPARAM>(&box));
}

}  // namespace quill::projector
