// Device-font text with GDI. The generic names of the movie format map to fonts Windows and
// Wine both have; fonts are kept by face, size and style for the life of the painter.
#include "gdi_text_painter.h"

#include <algorithm>
#include <cmath>

namespace quill::movie {

GdiTextPainter::~GdiTextPainter() {
    for (auto& [key, font] : fonts_) DeleteObject(font);
}

HFONT GdiTextPainter::font(const std::wstring& face, int height, bool bold, bool italic) {
    auto key = std::make_tuple(face, height, bold, italic, antialias_);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    if (fonts_.size() > 64) {
        for (auto& [k, f] : fonts_) DeleteObject(f);
        fonts_.clear();
    }
    HFONT f = CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          antialias_ ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    fonts_[key] = f;
    return f;
}

void GdiTextPainter::drawText(Canvas&, const TextRun& run) {
    if (!dc_) return;
    std::wstring face;
    if (run.font == "_sans") {
        face = L"Arial";
    } else if (run.font == "_serif") {
        face = L"Times New Roman";
    } else if (run.font == "_typewriter") {
        face = L"Courier New";
    } else {
        int n = MultiByteToWideChar(CP_UTF8, 0, run.font.data(), static_cast<int>(run.font.size()),
                                    nullptr, 0);
        face.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_UTF8, 0, run.font.data(), static_cast<int>(run.font.size()),
                            face.data(), n);
        if (face.size() > 31) face.resize(31);
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, run.text.data(), static_cast<int>(run.text.size()),
                                nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, run.text.data(), static_cast<int>(run.text.size()), text.data(),
                        n);
    int height = static_cast<int>(std::lround(std::clamp(run.height, 1.0, 2000.0)));
    GdiFlush();
    HGDIOBJ old = SelectObject(dc_, font(face, height, run.bold, run.italic));
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, RGB(run.color.r, run.color.g, run.color.b));
    // Fields have a two-pixel gutter inside their box, as authors expect text to sit.
    RECT box{static_cast<LONG>(std::lround(run.x0)) + 2, static_cast<LONG>(std::lround(run.y0)) + 2,
             static_cast<LONG>(std::lround(run.x1)) - 2,
             static_cast<LONG>(std::lround(run.y1)) - 2};
    UINT format = DT_NOPREFIX | DT_TOP;
    format |= run.align == 1 ? DT_RIGHT : run.align == 2 ? DT_CENTER : DT_LEFT;
    if (run.multiline || run.wordWrap) {
        if (run.wordWrap) format |= DT_WORDBREAK;
    } else {
        format |= DT_SINGLELINE;
    }
    DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &box, format);
    SelectObject(dc_, old);
    GdiFlush();
}

}  // namespace quill::movie
