// The resource tree of a PE executable (type, name, language): reading it from an image with
// every offset checked, finding a resource by name as Win32 does (case-insensitively), and
// laying out a new resource section for a set of entries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "projector/records/chunked_bytes.h"
#include "projector/records/pe_image.h"
#include "projector/records/random_access.h"

namespace quill::project {

// A resource type or name: a string or a 16-bit number.
struct ResourceId {
    bool named = false;
    uint16_t id = 0;
    std::u16string name;

    static ResourceId ofName(std::u16string_view text) { return {true, 0, std::u16string(text)}; }
    static ResourceId ofId(uint16_t number) { return {false, number, {}}; }
    // True for a string id equal to `text` in any letter case.
    bool matches(std::u16string_view text) const;
    bool operator==(const ResourceId&) const = default;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    // Where the data lies in the image it was read from.
    uint64_t fileOffset = 0;
    uint32_t size = 0;
    // The data to write (filled by the caller for entries that go into a new section).
    ChunkedBytes data;
};

// The common numbered types (RT_ICON and so on), for readers and tests.
inline constexpr uint16_t kTypeIcon = 3;
inline constexpr uint16_t kTypeMenu = 4;
inline constexpr uint16_t kTypeDialog = 5;
inline constexpr uint16_t kTypeGroupIcon = 14;
inline constexpr uint16_t kTypeVersion = 16;

// Reads every leaf of the resource tree (data locations only). An image without resources gives
// an empty list. False with `error` for a tree that points outside the section, loops or holds
// more than 65536 resources.
bool readResourceTable(const RandomAccessSource& source, const PeImage& image,
                       std::vector<ResourceEntry>* entries, std::string* error);

// The first entry of that type and name (any language), compared case-insensitively as
// FindResource does; null when there is none.
const ResourceEntry* findResource(const std::vector<ResourceEntry>& entries,
                                  std::u16string_view type, std::u16string_view name);

// Reads an entry's data from the source it was listed from.
bool loadResourceData(const RandomAccessSource& source, const ResourceEntry& entry,
                      std::vector<uint8_t>* data);

// A resource section laid out for the address `sectionRva`: the directory tables, data
// descriptors and names (`head`), then each entry's data at dataOffsets[i] (from the start of
// the section, 8-byte aligned), in the order of `entries` after sorting.
struct ResourceSectionPlan {
    std::vector<uint8_t> head;
    std::vector<uint32_t> dataOffsets;
    uint32_t size = 0;
};

// Sorts `entries` into tree order (named before numbered, names by code unit, numbers and
// languages ascending) and lays them out. False when the section would pass 4 GB.
bool planResourceSection(std::vector<ResourceEntry>& entries, uint32_t sectionRva,
                         ResourceSectionPlan* plan, std::string* error);

}  // namespace quill::project
