// Saving a window snapshot as a PNG file, so a test or the demo runner can leave a picture of
// what it saw. The image data goes in stored (uncompressed) deflate blocks: no compression
// library is needed and any viewer reads the result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/gui/gui_bench.h"

namespace quill::gui {

// The PNG bytes of a snapshot (8-bit RGB); empty for an empty snapshot.
std::vector<uint8_t> encodePng(const Snapshot& snapshot);
// Writes encodePng's bytes to `path`; false when the snapshot is empty or the file cannot be
// written.
bool savePng(const Snapshot& snapshot, const std::string& path);

// The checksums the format uses, for the encoder and its tests.
uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t adler32(const uint8_t* data, size_t size);

}  // namespace quill::gui
