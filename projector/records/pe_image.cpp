// Parsing and checking PE headers.
#include "projector/records/pe_image.h"

#include <algorithm>
#include <cstring>

namespace quill::project {
namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kMostSections = 1024;

bool isPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

bool fail(std::string* error, const char* text) {
    *error = text;
    return false;
}

}  // namespace

uint64_t PeImage::endOfSectionData() const {
    uint64_t end = sizeOfHeaders;
    for (const PeSection& s : sections) {
        if (s.rawSize > 0) end = std::max<uint64_t>(end, uint64_t(s.rawPointer) + s.rawSize);
    }
    return end;
}

int PeImage::sectionOf(uint32_t rva) const {
    for (size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].contains(rva)) return static_cast<int>(i);
    }
    return -1;
}

bool PeImage::fileOffsetOf(uint32_t rva, uint32_t size, uint64_t* offset) const {
    int index = sectionOf(rva);
    // Nothing at all may also sit at the very end of a section.
    for (size_t i = 0; index < 0 && size == 0 && i < sections.size(); ++i) {
        if (rva == sections[i].virtualAddress + sections[i].memorySize())
            index = static_cast<int>(i);
    }
    if (index < 0) return false;
    const PeSection& s = sections[index];
    uint32_t delta = rva - s.virtualAddress;
    if (delta > s.rawSize || size > s.rawSize - delta) return false;
    *offset = uint64_t(s.rawPointer) + delta;
    return true;
}

bool parsePeImage(const RandomAccessSource& source, PeImage* image, std::string* error) {
    *image = PeImage{};
    uint8_t dos[64];
    if (!source.readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return fail(error, "not a Windows executable (no MZ header)");
    }
    uint32_t peOffset = loadU32(dos + 0x3C);
    uint8_t signature[24];
    if (!source.readAt(peOffset, signature, sizeof signature) ||
        std::memcmp(signature, "PE\0\0", 4) != 0) {
        return fail(error, "not a Windows executable (no PE header)");
    }
    image->coffOffset = peOffset + 4;
    const uint8_t* coff = signature + 4;
    uint16_t sectionCount = loadU16(coff + 2);
    image->symbolTablePointer = loadU32(coff + 8);
    uint16_t optionalSize = loadU16(coff + 16);
    image->optionalOffset = image->coffOffset + 20;

    if (optionalSize < 96) return fail(error, "the optional header is too small");
    std::vector<uint8_t> optional(optionalSize);
    if (!source.readAt(image->optionalOffset, optional.data(), optional.size())) {
        return fail(error, "the optional header lies past the end of the file");
    }
    uint16_t magic = loadU16(optional.data());
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        return fail(error, "unknown optional header (neither PE32 nor PE32+)");
    }
    image->pe32Plus = magic == kMagicPe32Plus;
    image->sizeOfInitializedData = loadU32(&optional[8]);
    image->sectionAlignment = loadU32(&optional[32]);
    image->fileAlignment = loadU32(&optional[36]);
    image->sizeOfHeaders = loadU32(&optional[60]);
    uint32_t countOffset = image->pe32Plus ? 108 : 92;
    if (optionalSize < countOffset + 4) return fail(error, "the optional header is too small");
    uint32_t directoryCount = loadU32(&optional[countOffset]);
    uint32_t directoryStart = countOffset + 4;
    if (directoryCount > 16 || directoryStart + uint64_t(directoryCount) * 8 > optionalSize) {
        return fail(error, "bad data directory count");
    }
    image->directoryOffset = image->optionalOffset + directoryStart;
    for (uint32_t i = 0; i < directoryCount; ++i) {
        image->directories.push_back({loadU32(&optional[directoryStart + 8 * i]),
                                      loadU32(&optional[directoryStart + 8 * i + 4])});
    }
    if (!isPowerOfTwo(image->fileAlignment) || image->fileAlignment > 0x10000 ||
        !isPowerOfTwo(image->sectionAlignment) || image->sectionAlignment < image->fileAlignment) {
        return fail(error, "bad section or file alignment");
    }

    image->sectionTableOffset = image->optionalOffset + optionalSize;
    if (sectionCount == 0 || sectionCount > kMostSections) return fail(error, "bad section count");
    uint64_t tableEnd =
        uint64_t(image->sectionTableOffset) + uint64_t(sectionCount) * kSectionHeaderSize;
    if (tableEnd > image->sizeOfHeaders || image->sizeOfHeaders > source.size()) {
        return fail(error, "the section table does not fit in the headers");
    }
    std::vector<uint8_t> table(sectionCount * kSectionHeaderSize);
    if (!source.readAt(image->sectionTableOffset, table.data(), table.size())) {
        return fail(error, "the section table lies past the end of the file");
    }
    uint64_t previousEnd = 0;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* h = &table[i * kSectionHeaderSize];
        PeSection s;
        std::memcpy(s.name.data(), h, 8);
        s.virtualSize = loadU32(h + 8);
        s.virtualAddress = loadU32(h + 12);
        s.rawSize = loadU32(h + 16);
        s.rawPointer = loadU32(h + 20);
        s.characteristics = loadU32(h + 36);
        if (s.rawSize > 0 && uint64_t(s.rawPointer) + s.rawSize > source.size()) {
            return fail(error, "a section lies past the end of the file");
        }
        if (s.rawSize > 0 && s.rawPointer < image->sizeOfHeaders) {
            return fail(error, "a section overlaps the headers");
        }
        if (s.virtualAddress < previousEnd || s.virtualAddress < image->sizeOfHeaders ||
            s.memorySize() == 0) {
            return fail(error, "the sections are not in address order");
        }
        previousEnd = uint64_t(s.virtualAddress) + s.memorySize();
        if (previousEnd > 0xFFFFFFFFu) return fail(error, "a section lies past 4 GB");
        image->sections.push_back(s);
    }
    return true;
}

}  // namespace quill::project
