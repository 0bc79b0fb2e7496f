// Drawing the movie off screen through the control's view object and turning its pixels into a
// region.
#include "projector/transparent_shape.h"

#include <ocidl.h>
#include <ole2.h>

#include "projector/shockwave_flash.h"

namespace quill::projector {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr size_t kInitialRects = 256;

// Draws the control into a top-down 32-bit bitmap of the given size; empty on failure.
std::vector<uint32_t> drawMovie(IViewObject* view, int width, int height) {
    std::vector<uint32_t> pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        RECTL bounds{0, 0, width, height};
        if (SUCCEEDED(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds,
                                 nullptr, nullptr, 0))) {
            GdiFlush();
            const auto* p = static_cast<const uint32_t*>(bits);
            pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
            for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); i++) {
                pixels.push_back(p[i] & 0xFFFFFF);
            }
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    return pixels;
}

}  // namespace

std::vector<RECT> movieRuns(const std::vector<uint32_t>& first, const std::vector<uint32_t>* second,
                            int width, int height, POINT offset) {
    std::vector<RECT> rects;
    rects.reserve(kInitialRects);
    for (int y = 0; y < height; y++) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(width);
        int x = 0;
        while (x < width) {
            auto background = [&](int at) {
                size_t i = row + static_cast<size_t>(at);
                return second ? first[i] == kWhite && (*second)[i] == kBlack
                              : first[i] == kTransparentKey;
            };
            while (x < width && background(x)) x++;
            int start = x;
            while (x < width && !background(x)) x++;
            if (x > start) {
                rects.push_back({start + offset.x, y + offset.y, x + offset.x, y + 1 + offset.y});
            }
        }
    }
    return rects;
}

HRGN movieShapeRegion(CShockwaveFlash& control, uint32_t shape, POINT offset) {
    if (!control.created() || !control.window()) return nullptr;
    RECT client;
    GetClientRect(control.window(), &client);
    int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return nullptr;
    IViewObject* view = nullptr;
    if (FAILED(
            control.dispatch()->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view))) ||
        !view) {
        return nullptr;
    }
    long saved = control.getLong(L"BackgroundColor", -1);
    auto drawOn = [&](uint32_t rgb) {
        control.putLong(L"BackgroundColor", static_cast<long>(swapRedAndBlue(rgb)));
        return drawMovie(view, width, height);
    };
    std::vector<uint32_t> first, second;
    if (shape == 3) {
        first = drawOn(kWhite);
        second = drawOn(kBlack);
    } else {
        first = drawOn(kTransparentKey);
    }
    control.putLong(L"BackgroundColor", saved);
    view->Release();
    size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (first.size() != pixels || (shape == 3 && second.size() != pixels)) return nullptr;

    std::vector<RECT> rects =
        movieRuns(first, shape == 3 ? &second : nullptr, width, height, offset);
    std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    region->rdh.dwSize = sizeof(RGNDATAHEADER);
    region->rdh.iType = RDH_RECTANGLES;
    region->rdh.nCount = static_cast<DWORD>(rects.size());
    region->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    region->rdh.rcBound = {offset.x, offset.y, offset.x + width, offset.y + height};
    if (!rects.empty()) memcpy(region->Buffer, rects.data(), rects.size() * sizeof(RECT));
    return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), region);
}

}  // namespace quill::projector
