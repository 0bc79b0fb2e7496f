// The script classes only the projector has, added to each engine the bridge creates at their
// places in the registration order. For now a minimal `FlashPlayer`: the movie-variable and
// playback calls through which scripts and the movie exchange data.
#pragma once

#include <span>

#include "runtime/embed.h"

namespace quill::projector {

class CShockwaveFlash;

std::span<const HostRegistration> projectorClasses();

// The main window's control, which the script objects work on; null when there is none.
void setScriptControl(CShockwaveFlash* control);

}  // namespace quill::projector
