// Rebuilding an executable around a new resource section.
#include "projector/records/pe_writer.h"

#include <algorithm>
#include <cstring>

#include "projector/records/additional_files.h"

namespace quill::project {
namespace {

constexpr uint32_t kResourceCharacteristics = 0x40000040;  // initialised data, readable
constexpr uint32_t kInitializedData = 0x00000040;

bool fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

// True when a data directory other than those in `allowed` points into `section`.
bool otherDirectoryInside(const PeImage& image, const PeSection& section,
                          std::initializer_list<uint32_t> allowed) {
    for (uint32_t i = 0; i < image.directories.size(); ++i) {
        if (i == kDirectoryCertificate ||
            std::find(allowed.begin(), allowed.end(), i) != allowed.end()) {
            continue;
        }
        const PeDirectory& d = image.directories[i];
        if (d.rva != 0 && d.size != 0 && section.contains(d.rva)) return true;
    }
    return false;
}

// Where the new section goes and which existing section, if any, moves behind it.
struct Layout {
    bool inPlace = false;
    int replaced = -1;       // the old resource section (in place)
    int moved = -1;          // the relocation section moved behind it
    uint64_t prefixEnd = 0;  // the stub's bytes [0, prefixEnd) are copied first
    uint64_t rva = 0;        // may lie past 4 GB in a hostile stub: checked by the caller
    uint32_t rawPointer = 0;
};

Layout chooseLayout(const PeImage& image) {
    Layout layout;
    PeDirectory resources = image.directory(kDirectoryResource);
    int r = resources.size ? image.sectionOf(resources.rva) : -1;
    if (r >= 0) {
        const PeSection& rs = image.sections[r];
        bool alone = rs.virtualAddress == resources.rva && rs.rawSize > 0 &&
                     !otherDirectoryInside(image, rs, {kDirectoryResource});
        for (int i = 0; alone && i < r; ++i) {
            const PeSection& s = image.sections[i];
            if (s.rawSize > 0 && uint64_t(s.rawPointer) + s.rawSize > rs.rawPointer) alone = false;
        }
        int after = static_cast<int>(image.sections.size()) - 1 - r;
        if (alone && after == 1) {
            const PeSection& next = image.sections[r + 1];
            PeDirectory relocations = image.directory(kDirectoryRelocation);
            bool movable = relocations.size != 0 && relocations.rva == next.virtualAddress &&
                           !otherDirectoryInside(image, next, {kDirectoryRelocation}) &&
                           (next.rawSize == 0 || next.rawPointer >= rs.rawPointer);
            if (movable) layout.moved = r + 1;
            alone = movable;
        } else if (after > 1) {
            alone = false;
        }
        if (alone) {
            layout.inPlace = true;
            layout.replaced = r;
            layout.prefixEnd = rs.rawPointer;
            layout.rva = rs.virtualAddress;
            layout.rawPointer = rs.rawPointer;
            return layout;
        }
    }
    const PeSection& last = image.sections.back();
    layout.prefixEnd = image.endOfSectionData();
    layout.rva =
        alignUp64(uint64_t(last.virtualAddress) + last.memorySize(), image.sectionAlignment);
    layout.rawPointer = static_cast<uint32_t>(alignUp64(layout.prefixEnd, image.fileAlignment));
    return layout;
}

// The part of the stub after its sections that is carried along: an additional-files block
// from an earlier packing and a certificate are cut off its end.
uint64_t overlayEnd(const std::vector<uint8_t>& stub, const PeImage& image, uint64_t overlayStart) {
    uint64_t end = stub.size();
    PeDirectory certificate = image.directory(kDirectoryCertificate);
    for (int round = 0; round < 2; ++round) {
        MemorySource source(stub.data(), static_cast<size_t>(end));
        AdditionalBlock block;
        std::string ignored;
        if (readAdditionalBlock(source, &block, &ignored) != BlockState::kAbsent &&
            block.start >= overlayStart) {
            end = block.start;
        }
        if (certificate.size != 0 && certificate.rva >= overlayStart &&
            uint64_t(certificate.rva) + certificate.size == end) {
            end = certificate.rva;
        }
    }
    return end;
}

void writeSectionHeader(uint8_t* h, const PeSection& s) {
    std::memcpy(h, s.name.data(), 8);
    storeU32(h + 8, s.virtualSize);
    storeU32(h + 12, s.virtualAddress);
    storeU32(h + 16, s.rawSize);
    storeU32(h + 20, s.rawPointer);
    storeU32(h + 36, s.characteristics);
}

}  // namespace

bool writeImageWithResources(const std::vector<uint8_t>& stub,
                             const std::vector<std::u16string>& replacedTypes,
                             std::vector<ResourceEntry> added, const TailWriter& tail,
                             std::FILE* file, std::string* error) {
    MemorySource source(stub);
    PeImage image;
    std::string problem;
    if (!parsePeImage(source, &image, &problem)) return fail(error, problem);
    if (image.directories.size() <= kDirectoryResource) {
        return fail(error, "the headers have no entry for a resource directory");
    }
    std::vector<ResourceEntry> entries;
    if (!readResourceTable(source, image, &entries, &problem)) return fail(error, problem);
    std::erase_if(entries, [&](const ResourceEntry& entry) {
        return std::any_of(replacedTypes.begin(), replacedTypes.end(),
                           [&](const std::u16string& type) { return entry.type.matches(type); });
    });
    for (ResourceEntry& entry : entries) {
        entry.data.append(stub.data() + entry.fileOffset, entry.size);
    }
    for (ResourceEntry& entry : added) entries.push_back(std::move(entry));

    Layout layout = chooseLayout(image);
    constexpr char kTooLarge[] = "the image would pass 4 GB";
    if (layout.rva > 0xFFFFF000u) return fail(error, kTooLarge);
    ResourceSectionPlan plan;
    if (!planResourceSection(entries, static_cast<uint32_t>(layout.rva), &plan, &problem)) {
        return fail(error, problem);
    }

    // The new section table.
    std::vector<PeSection> sections = image.sections;
    PeSection resource;
    if (layout.inPlace) {
        resource = sections[layout.replaced];
    } else {
        std::memcpy(resource.name.data(), ".rsrc\0\0\0", 8);
        resource.characteristics = kResourceCharacteristics;
    }
    resource.virtualAddress = static_cast<uint32_t>(layout.rva);
    resource.virtualSize = plan.size;
    resource.rawPointer = layout.rawPointer;
    resource.rawSize = alignUp(plan.size, image.fileAlignment);
    uint64_t sectionsEnd = uint64_t(resource.rawPointer) + resource.rawSize;
    uint32_t oldResourceRaw = layout.inPlace ? sections[layout.replaced].rawSize : 0;
    PeSection movedOld;
    if (layout.inPlace) {
        sections[layout.replaced] = resource;
        if (layout.moved >= 0) {
            movedOld = sections[layout.moved];
            PeSection& m = sections[layout.moved];
            uint64_t movedRva = alignUp64(uint64_t(resource.virtualAddress) + resource.virtualSize,
                                          image.sectionAlignment);
            if (movedRva + m.memorySize() > 0xFFFFFFFFu) return fail(error, kTooLarge);
            m.virtualAddress = static_cast<uint32_t>(movedRva);
            if (m.rawSize > 0) {
                m.rawPointer = static_cast<uint32_t>(sectionsEnd);
                sectionsEnd += m.rawSize;
            }
        }
    } else {
        uint64_t headerEnd =
            image.sectionTableOffset + uint64_t(sections.size() + 1) * kSectionHeaderSize;
        bool room = headerEnd <= image.sizeOfHeaders;
        for (const PeSection& s : sections) {
            if (s.rawSize > 0 && headerEnd > s.rawPointer) room = false;
        }
        uint64_t slot = headerEnd - kSectionHeaderSize;
        for (uint64_t i = slot; room && i < headerEnd; ++i) room = stub[i] == 0;
        if (!room) return fail(error, "the headers have no room for another section");
        sections.push_back(resource);
    }
    if (sectionsEnd > 0xFFFFFFFFu) return fail(error, kTooLarge);

    uint64_t oldEnd = image.endOfSectionData();
    uint64_t keptEnd = overlayEnd(stub, image, oldEnd);
    uint64_t overlayStart = std::min(oldEnd, keptEnd);

    // Patch the headers.
    std::vector<uint8_t> headers(stub.begin(), stub.begin() + image.sizeOfHeaders);
    storeU16(&headers[image.coffOffset + 2], static_cast<uint16_t>(sections.size()));
    for (size_t i = 0; i < sections.size(); ++i) {
        writeSectionHeader(&headers[image.sectionTableOffset + i * kSectionHeaderSize],
                           sections[i]);
    }
    uint64_t sizeOfImage = 0;
    for (const PeSection& sec : sections) {
        sizeOfImage = std::max(
            sizeOfImage,
            alignUp64(uint64_t(sec.virtualAddress) + sec.memorySize(), image.sectionAlignment));
    }
    if (sizeOfImage > 0xFFFFFFFFu) return fail(error, kTooLarge);
    storeU32(&headers[image.optionalOffset + 56], static_cast<uint32_t>(sizeOfImage));
    uint32_t initialized = image.sizeOfInitializedData - oldResourceRaw + resource.rawSize;
    if (resource.characteristics & kInitializedData) {
        storeU32(&headers[image.optionalOffset + 8], initialized);
    }
    storeU32(&headers[image.checksumOffset()], 0);
    auto setDirectory = [&](uint32_t index, uint32_t rva, uint32_t size) {
        if (index < image.directories.size()) {
            storeU32(&headers[image.directoryOffset + 8 * index], rva);
            storeU32(&headers[image.directoryOffset + 8 * index + 4], size);
        }
    };
    setDirectory(kDirectoryResource, resource.virtualAddress, plan.size);
    setDirectory(kDirectoryCertificate, 0, 0);
    if (layout.moved >= 0) {
        PeDirectory relocations = image.directory(kDirectoryRelocation);
        setDirectory(kDirectoryRelocation, sections[layout.moved].virtualAddress, relocations.size);
    }
    // A COFF symbol table after the sections moves with the trailing data.
    if (image.symbolTablePointer != 0) {
        uint64_t pointer = image.symbolTablePointer;
        if (pointer >= overlayStart && pointer < keptEnd) {
            pointer = pointer - overlayStart + sectionsEnd;
        } else if (pointer >= overlayStart) {
            pointer = 0;
        }
        if (pointer > 0xFFFFFFFFu) pointer = 0;
        storeU32(&headers[image.coffOffset + 8], static_cast<uint32_t>(pointer));
        if (pointer == 0) storeU32(&headers[image.coffOffset + 12], 0);
    }

    OutputFile out(file);
    bool ok = out.write(headers.data(), headers.size()) &&
              out.write(stub.data() + headers.size(), layout.prefixEnd - headers.size()) &&
              out.padTo(resource.rawPointer) && out.write(plan.head.data(), plan.head.size());
    for (size_t i = 0; ok && i < entries.size(); ++i) {
        ok = out.padTo(uint64_t(resource.rawPointer) + plan.dataOffsets[i]) &&
             entries[i].data.forEachPiece(
                 [&](const uint8_t* p, size_t n) { return out.write(p, n); });
        // Each piece is written once: free it now rather than at the end.
        entries[i].data = ChunkedBytes();
    }
    ok = ok && out.padTo(uint64_t(resource.rawPointer) + resource.rawSize);
    if (ok && layout.moved >= 0 && movedOld.rawSize > 0) {
        ok = out.write(stub.data() + movedOld.rawPointer, movedOld.rawSize);
    }
    if (ok && keptEnd > overlayStart) {
        ok = out.write(stub.data() + overlayStart, keptEnd - overlayStart);
    }
    if (!ok) return fail(error, "cannot write the output file");
    if (tail && !tail(out, error)) return false;
    uint8_t checksum[4];
    storeU32(checksum, out.checksum());
    if (std::fflush(file) != 0 ||
        std::fseek(file, static_cast<long>(image.checksumOffset()), SEEK_SET) != 0 ||
        std::fwrite(checksum, 1, 4, file) != 4 || std::fflush(file) != 0) {
        return fail(error, "cannot write the output file");
    }
    return true;
}

}  // namespace quill::project
