// CHoverButton: an owner-drawn push button that lights up while the mouse is over it. Mouse
// leave tracking comes from comctl32's "_TrackMouseEvent", looked up at run time so the
// projector still starts on systems whose comctl32 lacks it (the button then just never lights).
#pragma once

#include <windows.h>

namespace quill::projector {

class CHoverButton {
  public:
    CHoverButton() = default;
    ~CHoverButton() { detach(); }
    CHoverButton(const CHoverButton&) = delete;
    CHoverButton& operator=(const CHoverButton&) = delete;

    // Takes over a BS_OWNERDRAW button of a dialog; false when `button` is not a window.
    bool attach(HWND button);
    void detach();
    HWND hwnd() const { return hwnd_; }
    bool hovering() const { return hovering_; }

    // The dialog passes its WM_DRAWITEM on; true when the item was this button.
    static bool drawItem(const DRAWITEMSTRUCT& item);

  private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void draw(const DRAWITEMSTRUCT& item) const;
    void trackLeave();

    HWND hwnd_ = nullptr;
    WNDPROC previous_ = nullptr;
    bool hovering_ = false;
};

}  // namespace quill::projector
