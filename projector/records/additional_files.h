// The block of additional files appended to a packed executable after its image, read by the
// projector's getAdditionalFile. Layout (all integers little-endian, strings counted UTF-16 with
// their NUL as in the records):
//
//   "SAF\0"                      the block starts here (offset 0 below)
//   u32 1                        the tree's format version (nonzero)
//   string "Application"
//   u32 N                        entries, sorted by path (code-unit order)
//   N times: u32 kind            1 folder, 2 file
//            string path         relative, "\" between folders, no leading "\"
//            u32 offset, u32 size  of the file's bytes, from offset 0 (folders: 0, 0)
//   the files' bytes, one after the other, in entry order
//   u32 L                        the block's length: from "SAF\0" up to here
//   u32 1                        trailer marker (nonzero: a block is present)
//
// A reader takes the last u32 (0: no block), then L before it, and finds "SAF\0" L + 8 bytes
// before the end of the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "projector/records/output_file.h"
#include "projector/records/random_access.h"

namespace quill::project {

inline constexpr uint32_t kAdditionalFolder = 1;
inline constexpr uint32_t kAdditionalFile = 2;

struct AdditionalEntry {
    uint32_t kind = kAdditionalFile;
    std::u16string path;
    uint64_t fileOffset = 0;  // where the bytes lie in the executable
    uint32_t size = 0;
};

struct AdditionalBlock {
    uint64_t start = 0;  // file offset of "SAF\0"
    std::vector<AdditionalEntry> entries;
};

enum class BlockState { kAbsent, kValid, kInvalid };

// kAbsent when the file carries no block (its trailer or header does not match); kInvalid with
// `error` when the header matches but the tree is damaged (`block->start` is still set).
BlockState readAdditionalBlock(const RandomAccessSource& source, AdditionalBlock* block,
                               std::string* error);

// The entry for a relative path as a script gives it ("/" or "\" between folders, leading
// separators ignored, letters in any case); null when the block has none.
const AdditionalEntry* findAdditionalEntry(const AdditionalBlock& block, std::u16string_view path);

// Writes one entry (a file's bytes, or a folder) below `root`, creating folders on the way.
bool extractAdditionalEntry(const RandomAccessSource& source, const AdditionalEntry& entry,
                            const std::filesystem::path& root, std::string* error);

// The packer's side: the files and folders below `root`, relative paths in "\" form, sorted.
struct AdditionalSource {
    uint32_t kind = kAdditionalFile;
    std::u16string path;
    std::filesystem::path file;
    uint64_t size = 0;
};

// Lists everything below `root`; refuses names that could not be extracted safely, links and
// special files, files over 4 GB. False with `error` naming the entry at fault.
bool collectAdditionalFiles(const std::filesystem::path& root,
                            std::vector<AdditionalSource>* sources, std::string* error);

// Writes the block for `sources` (nothing when empty), reading each file in pieces.
bool writeAdditionalBlock(const std::vector<AdditionalSource>& sources, OutputFile& out,
                          std::string* error);

// The file-system path of a relative "\" path below `root`.
std::filesystem::path additionalPath(const std::filesystem::path& root, std::u16string_view path);

}  // namespace quill::project
