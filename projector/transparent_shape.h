// The transparent background of the window shapes 1 and 3: the main window's region rebuilt from
// the movie's own pixels each time the control paints.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace quill::projector {

class CShockwaveFlash;

// Horizontal runs of the pixels (0x00RRGGBB rows, top first) that belong to the movie, one
// rectangle per run, moved by `offset`.
std::vector<RECT> movieRuns(const std::vector<uint32_t>& first, const std::vector<uint32_t>* second,
                            int width, int height, POINT offset);

// The region of the movie's pixels, in the coordinates of the window the control sits in at
// `offset`; null when the control cannot draw itself. Shape 3 draws the movie twice, on white
// and on black, and keeps every pixel that is not white on white and black on black. Shape 1
// draws it once on the key colour kTransparentKey and keeps every other pixel.
HRGN movieShapeRegion(CShockwaveFlash& control, uint32_t shape, POINT offset);

inline constexpr uint32_t kTransparentKey = 0xFF00FF;  // 0x00RRGGBB

}  // namespace quill::projector
