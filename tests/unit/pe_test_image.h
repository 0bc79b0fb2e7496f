// Small PE32+ images built in memory for the packer's tests: sections with given contents, an
// optional resource section (laid out by the packer's own planner at its address), an optional
// relocation section, trailing data and a COFF symbol table pointer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "projector/records/pe_image.h"
#include "projector/records/pe_resources.h"

namespace quill::test {

struct TestSection {
    std::string name;
    std::vector<uint8_t> raw;  // file data (may be shorter than the memory size)
    uint32_t memorySize = 0;   // 0: the raw size
    uint32_t characteristics = 0x40000040;
};

struct TestImageLayout {
    std::vector<TestSection> sections;
    int resourceSection = -1;  // this section holds `resources`
    std::vector<project::ResourceEntry> resources;
    int relocationSection = -1;  // data directory 5 points at this section
    uint32_t headerSize = 0x400;
    std::vector<uint8_t> overlay;   // bytes after the last section's data
    bool symbolsInOverlay = false;  // PointerToSymbolTable at the overlay's start
    uint32_t importRva = 0;         // data directory 1, to pin a section in place
};

inline constexpr uint32_t kTestFileAlignment = 0x200;
inline constexpr uint32_t kTestSectionAlignment = 0x1000;

inline std::vector<uint8_t> buildTestImage(TestImageLayout layout) {
    using project::alignUp;
    using project::storeU16;
    using project::storeU32;
    std::vector<uint8_t> image(layout.headerSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    storeU32(&image[0x3C], 0x40);
    std::memcpy(&image[0x40], "PE\0\0", 4);
    const uint32_t coff = 0x44, optional = coff + 20, table = optional + 240;
    storeU16(&image[coff], 0x8664);
    storeU16(&image[coff + 2], static_cast<uint16_t>(layout.sections.size()));
    storeU16(&image[coff + 16], 240);
    storeU16(&image[coff + 18], 0x22);
    storeU16(&image[optional], 0x20B);
    storeU32(&image[optional + 32], kTestSectionAlignment);
    storeU32(&image[optional + 36], kTestFileAlignment);
    storeU32(&image[optional + 60], layout.headerSize);
    storeU16(&image[optional + 68], 3);
    storeU32(&image[optional + 108], 16);
    uint32_t rva = kTestSectionAlignment;
    uint32_t raw = layout.headerSize;
    for (size_t i = 0; i < layout.sections.size(); ++i) {
        TestSection& s = layout.sections[i];
        if (static_cast<int>(i) == layout.resourceSection) {
            project::ResourceSectionPlan plan;
            std::string error;
            project::planResourceSection(layout.resources, rva, &plan, &error);
            s.raw = plan.head;
            s.raw.resize(plan.size, 0);
            for (size_t e = 0; e < layout.resources.size(); ++e) {
                std::vector<uint8_t> data = layout.resources[e].data.flatten();
                std::copy(data.begin(), data.end(), s.raw.begin() + plan.dataOffsets[e]);
            }
            storeU32(&image[optional + 112 + 8 * 2], rva);
            storeU32(&image[optional + 112 + 8 * 2 + 4], plan.size);
        }
        uint32_t memory = s.memorySize ? s.memorySize : static_cast<uint32_t>(s.raw.size());
        if (static_cast<int>(i) == layout.relocationSection) {
            storeU32(&image[optional + 112 + 8 * 5], rva);
            storeU32(&image[optional + 112 + 8 * 5 + 4], static_cast<uint32_t>(s.raw.size()));
        }
        uint8_t* h = &image[table + 40 * i];
        std::memcpy(h, s.name.data(), std::min<size_t>(8, s.name.size()));
        storeU32(h + 8, memory);
        storeU32(h + 12, rva);
        uint32_t rawSize = alignUp(static_cast<uint32_t>(s.raw.size()), kTestFileAlignment);
        storeU32(h + 16, rawSize);
        storeU32(h + 20, rawSize ? raw : 0);
        storeU32(h + 36, s.characteristics);
        image.resize(raw + rawSize, 0);
        std::copy(s.raw.begin(), s.raw.end(), image.begin() + raw);
        raw += rawSize;
        rva += alignUp(memory, kTestSectionAlignment);
    }
    if (layout.importRva) {
        storeU32(&image[optional + 112 + 8], layout.importRva);
        storeU32(&image[optional + 112 + 12], 8);
    }
    storeU32(&image[optional + 56], rva);
    if (layout.symbolsInOverlay) {
        storeU32(&image[coff + 8], static_cast<uint32_t>(image.size()));
        storeU32(&image[coff + 12], 1);
    }
    image.insert(image.end(), layout.overlay.begin(), layout.overlay.end());
    return image;
}

// The PE checksum computed the way the loader's tools do it, word by word with the carries
// folded at once, the checksum field taken as zero.
inline uint32_t referenceChecksum(std::vector<uint8_t> file, uint32_t checksumOffset) {
    std::memset(&file[checksumOffset], 0, 4);
    uint32_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        uint32_t word = file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(file.size());
}

inline project::ResourceEntry testResource(project::ResourceId type, project::ResourceId name,
                                           const std::string& text, uint16_t language = 0) {
    project::ResourceEntry entry;
    entry.type = std::move(type);
    entry.name = std::move(name);
    entry.language = language;
    entry.data.append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return entry;
}

}  // namespace quill::test
