// Writes an executable whose resource section is replaced: the stub's own resources (icons,
// version information, dialogs, menus) are kept beside the new ones, the headers and the
// checksum are fixed, and anything appended to the stub is carried along. Works on any host,
// without the Win32 resource-update calls.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "projector/records/output_file.h"
#include "projector/records/pe_resources.h"

namespace quill::project {

// Writes what follows the image (the additional-files block); false with `error` on failure.
using TailWriter = std::function<bool(OutputFile& out, std::string* error)>;

// Writes `stub` with its resources of the types in `replacedTypes` dropped and `added` put in,
// then `tail` (may be empty). The resource section is rebuilt where it was when only the
// relocation section follows it (which then moves behind it), otherwise a new section is
// appended. The stub's certificate is dropped (the signature no longer holds) and so is an
// additional-files block from an earlier packing. False with `error` on failure; `out` is then
// in an unknown state.
bool writeImageWithResources(const std::vector<uint8_t>& stub,
                             const std::vector<std::u16string>& replacedTypes,
                             std::vector<ResourceEntry> added, const TailWriter& tail,
                             std::FILE* out, std::string* error);

}  // namespace quill::project
