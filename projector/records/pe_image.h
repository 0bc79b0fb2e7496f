// The headers of a PE executable (PE32 or PE32+) as far as the packer needs them: alignments,
// the data directories, the section table and where each field lives in the file, all checked
// against the file's size before use.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "projector/records/random_access.h"

namespace quill::project {

inline constexpr uint32_t kDirectoryCertificate = 4;  // holds a file offset, not an address
inline constexpr uint32_t kDirectoryResource = 2;
inline constexpr uint32_t kDirectoryRelocation = 5;
inline constexpr uint32_t kSectionHeaderSize = 40;

struct PeDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

struct PeSection {
    std::array<char, 8> name{};
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    uint32_t characteristics = 0;

    // The extent the section occupies in memory (a zero virtual size means the raw size).
    uint32_t memorySize() const { return virtualSize ? virtualSize : rawSize; }
    bool contains(uint32_t rva) const {
        return rva >= virtualAddress && rva - virtualAddress < memorySize();
    }
};

struct PeImage {
    bool pe32Plus = false;
    uint32_t coffOffset = 0;      // the COFF file header, after "PE\0\0"
    uint32_t optionalOffset = 0;  // the optional header
    uint32_t sectionTableOffset = 0;
    uint32_t fileAlignment = 0;
    uint32_t sectionAlignment = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t sizeOfInitializedData = 0;
    uint32_t symbolTablePointer = 0;
    uint32_t directoryOffset = 0;  // file offset of the first data directory
    std::vector<PeDirectory> directories;
    std::vector<PeSection> sections;  // in table order, which is address order

    uint32_t checksumOffset() const { return optionalOffset + 64; }
    // Where the last section's file data ends (at least the end of the headers).
    uint64_t endOfSectionData() const;
    // The index of the section holding `rva`, or -1.
    int sectionOf(uint32_t rva) const;
    // The file offset of `size` bytes at `rva`, when they lie in one section's file data.
    bool fileOffsetOf(uint32_t rva, uint32_t size, uint64_t* offset) const;
    PeDirectory directory(uint32_t index) const {
        return index < directories.size() ? directories[index] : PeDirectory{};
    }
};

// Parses and checks the headers. On failure `error` says what is wrong.
bool parsePeImage(const RandomAccessSource& source, PeImage* image, std::string* error);

inline uint32_t alignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}
inline uint64_t alignUp64(uint64_t value, uint32_t alignment) {
    return (value + alignment - 1) & ~uint64_t(alignment - 1);
}

}  // namespace quill::project
