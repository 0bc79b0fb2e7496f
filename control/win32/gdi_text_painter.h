// Text fields drawn with the system's fonts through GDI, onto the device-independent bitmap the
// rasteriser draws into, so that text and shapes keep their stacking order.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "control/renderer.h"

namespace quill::movie {

class GdiTextPainter : public TextPainter {
  public:
    ~GdiTextPainter() override;
    // The bitmap's device context for the next frame; text is drawn only while one is set.
    void setTarget(HDC dc, bool antialias) {
        dc_ = dc;
        antialias_ = antialias;
    }
    void drawText(Canvas& canvas, const TextRun& run) override;

  private:
    HFONT font(const std::wstring& face, int height, bool bold, bool italic);

    HDC dc_ = nullptr;
    bool antialias_ = true;
    std::map<std::tuple<std::wstring, int, bool, bool, bool>, HFONT> fonts_;
};

}  // namespace quill::movie
