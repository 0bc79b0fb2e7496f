// The projector's dialogs: the options dialog over the settings record, the about box with its
// hyperlink controls, and the "Open" dialog that asks for a movie location.
#pragma once

#include <windows.h>
// after windows.h
#include <oaidl.h>

#include <optional>
#include <string>

#include "projector/option_pages.h"
#include "projector/records/project_settings.h"

namespace quill::projector {

// Shows "Options" over `settings`: true on OK, with the settings holding the edited values;
// Cancel (or a page that cannot be made) leaves them untouched.
bool ShowOptions(HWND owner, project::ProjectSettings* settings, const OptionsContext& context);

// The about box: product texts, picture and links from the settings. `movie` is the control
// playing now (drawn as the picture when the settings ask for it; may be null); the BK picture
// is extracted into `workFolder` once.
void ShowAbout(HWND owner, const project::ProjectSettings& settings, const std::string& workFolder,
               IDispatch* movie, HWND movieWindow);

// The "Open" dialog: the location typed or browsed for, or nothing when cancelled or empty.
std::optional<std::string> AskMovieLocation(HWND owner);

// The hyperlink window class "PLEXORURL". Its window text is the text shown; the address it
// opens is the text of its hidden child window kHyperlinkAddressId, so that it can be read.
inline constexpr const wchar_t* kHyperlinkClass = L"PLEXORURL";
inline constexpr int kHyperlinkAddressId = 1;
bool registerHyperlinkClass();

// How a hyperlink looks: colours as Windows colour values, the font (null: the dialog's).
struct HyperlinkStyle {
    COLORREF normal = RGB(0, 0, 255);
    COLORREF hover = RGB(255, 0, 0);
    HFONT font = nullptr;
};
void setHyperlink(HWND link, const std::wstring& text, const std::wstring& address,
                  const HyperlinkStyle& style);

}  // namespace quill::projector
