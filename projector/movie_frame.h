// The frame size a movie file's header gives, in pixels, for the parts of the projector that fit
// windows, masks and coordinates to the movie.
#pragma once

#include <optional>
#include <string>

#include "projector/layout/window_layout.h"

namespace quill::projector {

// Twips rounded to the nearest pixel; nothing when the file cannot be read or gives no positive
// size.
std::optional<layout::Size> movieFrameSize(const std::wstring& path);

}  // namespace quill::projector
