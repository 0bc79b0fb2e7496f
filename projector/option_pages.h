// The five pages of the options dialog. Each page is a child dialog made from its resource; it
// shows a copy of the settings record (load) and writes the user's choices back into a copy
// (store). A control the user did not touch stores its field exactly as it was read.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "projector/hover_button.h"
#include "projector/layout/window_layout.h"
#include "projector/records/movie_list.h"
#include "projector/records/project_settings.h"

namespace quill::projector {

// What the pages need beside the settings: the masks to choose from, the work folder (a mask
// picked with the browse button is copied there), and the window the placement preview starts
// from.
struct OptionsContext {
    const project::MovieList* movies = nullptr;
    const project::MaskList* masks = nullptr;
    std::string workFolder;
    RECT window{0, 0, 640, 480};
    layout::Size client{640, 480};
    std::optional<layout::Size> movie;
};

class OptionPage {
  public:
    OptionPage(int resource, int icon) : resource_(resource), icon_(icon) {}
    virtual ~OptionPage();
    OptionPage(const OptionPage&) = delete;
    OptionPage& operator=(const OptionPage&) = delete;

    // Creates the page (hidden) as a child of `parent`; false when the resource is missing.
    bool create(HWND parent, const OptionsContext& context);
    HWND hwnd() const { return hwnd_; }
    int icon() const { return icon_; }
    std::wstring title() const;

    virtual void load(const project::ProjectSettings& settings) = 0;
    // False when a control holds text that cannot be stored; the page has told the user.
    virtual bool store(project::ProjectSettings* settings) = 0;

  protected:
    virtual void onInit() {}
    virtual void onCommand(int /*id*/, int /*code*/) {}
    virtual bool onDrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
    virtual void onScroll() {}

    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    bool checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void check(int id, bool on) { CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED); }
    // The checked button among `count` consecutive ids, or -1.
    int radioChoice(int first, int count) const;
    void setRadio(int first, int count, int choice);
    std::string text(int id) const;
    void setText(int id, const std::string& text);
    // An edit box's number (its spin keeps it in range), or `fallback` when it holds none.
    uint32_t number(int id, uint32_t fallback) const;
    // A file chosen with the open-file dialog, or empty.
    std::string browse(const char* filter, const std::string& initial) const;

    const OptionsContext* context_ = nullptr;
    HWND hwnd_ = nullptr;

  private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    int resource_;
    int icon_;
};

class CPrjAppearanceDlg final : public OptionPage {
  public:
    CPrjAppearanceDlg();
    void load(const project::ProjectSettings& settings) override;
    bool store(project::ProjectSettings* settings) override;

  protected:
    void onInit() override;
    void onCommand(int id, int code) override;

  private:
    void selectMask(const std::string& name);
    void browseMask();
};

class CPrjSize_PosDlg final : public OptionPage {
  public:
    CPrjSize_PosDlg();
    void load(const project::ProjectSettings& settings) override;
    bool store(project::ProjectSettings* settings) override;

  protected:
    void onInit() override;
    void onCommand(int id, int code) override;
    bool onDrawItem(const DRAWITEMSTRUCT& item) override;
    void onScroll() override;

  private:
    void drawPreview(const DRAWITEMSTRUCT& item);
    void previewChanged();
    project::ProjectSettings loaded_;
    uint32_t loadedPercent_ = 100;
    bool loading_ = false;
};

class CPrjInteractionDlg final : public OptionPage {
  public:
    CPrjInteractionDlg();
    void load(const project::ProjectSettings& settings) override;
    bool store(project::ProjectSettings* settings) override;

  protected:
    void onInit() override;

  private:
    WORD loadedHotKey_ = 0;
};

class CPrjBehaviourDlg final : public OptionPage {
  public:
    CPrjBehaviourDlg();
    void load(const project::ProjectSettings& settings) override;
    bool store(project::ProjectSettings* settings) override;
};

class CPrjMiscellaneousDlg final : public OptionPage {
  public:
    CPrjMiscellaneousDlg();
    void load(const project::ProjectSettings& settings) override;
    bool store(project::ProjectSettings* settings) override;

  protected:
    void onInit() override;
    void onCommand(int id, int code) override;
    bool onDrawItem(const DRAWITEMSTRUCT& item) override;

  private:
    void chooseColor();
    CHoverButton helpBrowse_;
    CHoverButton colorChoose_;
};

// The pages in the order the dialog shows them.
std::vector<std::unique_ptr<OptionPage>> makeOptionPages();

}  // namespace quill::projector
