// The window that owns what the desktop host classes show: message boxes, common dialogs, the
// shell's verbs and the playback windows of MCI. The projector supplies its main window through
// setOwnerWindowProvider; without a provider (the quill tool) a hidden top-level window of our
// own, created on first need on the calling thread, stands in.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace quill {

// Answers the owner to use now (the projector's main window), or null when there is none yet.
using OwnerWindowProvider = HWND (*)();

// Installs the provider (null: back to the hidden window of our own).
void setOwnerWindowProvider(OwnerWindowProvider provider);

// The provider's window when it answers one, else the hidden owner window (null only when no
// window can be created, say without a display).
HWND ownerWindow();

}  // namespace quill

#endif
