// Fuzz target: the PE reader and writer and the additional-files block. A file whose headers and
// resource tree read is packed again with one resource replaced and one added; the result must
// read back with every other resource unchanged and the checksum right. The block reader must
// only ever give entries with safe paths and data inside the file.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/fuzz_engine.h"
#include "projector/records/additional_files.h"
#include "projector/records/pe_writer.h"

using namespace quill::project;

namespace {

std::vector<uint8_t> dataOf(const RandomAccessSource& source, const ResourceEntry& entry) {
    std::vector<uint8_t> data;
    if (!loadResourceData(source, entry, &data))
        quill::fuzz::fail("listed resource data unreadable");
    return data;
}

void repack(const std::vector<uint8_t>& stub, const std::vector<ResourceEntry>& before) {
    std::FILE* file = std::tmpfile();
    if (!file) return;
    std::vector<ResourceEntry> added(1);
    added[0].type = ResourceId::ofName(u"PLEXOR");
    added[0].name = ResourceId::ofName(u"ST");
    const uint8_t settings[] = {1, 2, 3};
    added[0].data.append(settings, sizeof settings);
    std::string error;
    bool ok = writeImageWithResources(stub, {u"PLEXOR"}, std::move(added), nullptr, file, &error);
    std::vector<uint8_t> out;
    if (ok) {
        std::rewind(file);
        uint8_t buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            out.insert(out.end(), buffer, buffer + n);
    }
    std::fclose(file);
    if (!ok) return;  // a stub the writer cannot rebuild is refused with a reason
    MemorySource source(out), original(stub);
    PeImage image;
    std::vector<ResourceEntry> after;
    if (!parsePeImage(source, &image, &error) ||
        !readResourceTable(source, image, &after, &error)) {
        quill::fuzz::fail("the packed image does not read back", error);
    }
    const ResourceEntry* st = findResource(after, u"plexor", u"st");
    if (!st || dataOf(source, *st) != std::vector<uint8_t>(settings, settings + 3)) {
        quill::fuzz::fail("the added resource is missing or changed");
    }
    size_t kept = 0;
    for (const ResourceEntry& entry : before) {
        if (entry.type.matches(u"PLEXOR")) continue;
        ++kept;
        bool found = false;
        for (const ResourceEntry& other : after) {
            if (other.type == entry.type && other.name == entry.name &&
                other.language == entry.language) {
                found = dataOf(source, other) == dataOf(original, entry);
                break;
            }
        }
        if (!found) quill::fuzz::fail("a resource of the stub was lost or changed");
    }
    if (after.size() != kept + 1) quill::fuzz::fail("the packed image holds other resources");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    MemorySource source(bytes);

    AdditionalBlock block;
    std::string error;
    if (readAdditionalBlock(source, &block, &error) == BlockState::kValid) {
        for (const AdditionalEntry& entry : block.entries) {
            if (entry.fileOffset + entry.size > size)
                quill::fuzz::fail("additional file outside the file");
            for (char16_t c : entry.path) {
                if (c == u'/' || c == u':')
                    quill::fuzz::fail("an unsafe additional path was accepted");
            }
        }
    }

    PeImage image;
    if (!parsePeImage(source, &image, &error)) return 0;
    std::vector<ResourceEntry> entries;
    if (!readResourceTable(source, image, &entries, &error)) return 0;
    for (const ResourceEntry& entry : entries) dataOf(source, entry);
    findResource(entries, u"PLEXOR", u"ST");
    repack(bytes, entries);
    return 0;
}
