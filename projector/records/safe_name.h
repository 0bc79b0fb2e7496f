// File names that come from an executable's records are written into the work folder; a name
// that could leave that folder, name a device or lose characters on the way is refused.
#pragma once

#include <string>
#include <string_view>

#include "projector/records/text_codec.h"

namespace quill::project {

// Why the name cannot be used as a plain file name in one folder, or empty when it can.
// Refused: empty, "." and "..", folder separators and drives, characters Windows does not allow
// in names, a trailing dot or space (Windows drops them, so "a.swf." would be "a.swf"), the
// reserved device names (CON, NUL, COM1, LPT1 ... with or without an extension) and names over
// 255 characters.
std::string unsafeNameReason(std::u16string_view name);

// The same, and also refused when the name does not survive the codec's 8-bit form (characters
// the ANSI code page cannot hold would reach the file system as "?").
std::string unsafeNameReason(const TextCodec& codec, std::u16string_view name);

}  // namespace quill::project
