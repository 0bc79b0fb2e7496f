// Reading the resource tree of an image and laying out a new resource section.
#include "projector/records/pe_resources.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace quill::project {
namespace {

constexpr size_t kMostResources = 65536;
// Directory entries visited in all: a tree whose entries share subdirectories could otherwise
// make a small file cost billions of steps.
constexpr size_t kMostVisits = 1 << 20;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;

char16_t foldUnit(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

struct RawEntry {
    uint32_t nameField;
    uint32_t offsetField;
};

class TreeReader {
  public:
    TreeReader(const RandomAccessSource& source, uint64_t base, uint32_t limit)
        : source_(source), base_(base), limit_(limit) {}

    bool directory(uint32_t offset, std::vector<RawEntry>* entries, std::string* error) {
        uint8_t header[16];
        if (!read(offset, header, sizeof header)) return fail(error);
        uint32_t count = uint32_t(loadU16(header + 12)) + loadU16(header + 14);
        if (uint64_t(offset) + 16 + uint64_t(count) * 8 > limit_) return fail(error);
        visits_ += count;
        if (visits_ > kMostVisits) {
            *error = "the resource directory is too large";
            return false;
        }
        std::vector<uint8_t> raw(count * 8);
        if (!read(offset + 16, raw.data(), raw.size())) return fail(error);
        entries->clear();
        for (uint32_t i = 0; i < count; ++i) {
            entries->push_back({loadU32(&raw[8 * i]), loadU32(&raw[8 * i + 4])});
        }
        return true;
    }

    bool id(uint32_t field, ResourceId* out, std::string* error) {
        if (!(field & kSubdirectoryBit)) {
            *out = ResourceId::ofId(static_cast<uint16_t>(field));
            return true;
        }
        uint32_t offset = field & ~kSubdirectoryBit;
        uint8_t lengthBytes[2];
        if (!read(offset, lengthBytes, 2)) return fail(error);
        uint16_t length = loadU16(lengthBytes);
        std::vector<uint8_t> raw(length * 2u);
        if (!read(offset + 2, raw.data(), raw.size())) return fail(error);
        std::u16string text;
        for (uint16_t i = 0; i < length; ++i) text += static_cast<char16_t>(loadU16(&raw[2 * i]));
        *out = ResourceId::ofName(text);
        return true;
    }

    bool dataEntry(uint32_t offset, uint32_t* rva, uint32_t* size, uint32_t* codePage,
                   std::string* error) {
        uint8_t raw[16];
        if (!read(offset, raw, sizeof raw)) return fail(error);
        *rva = loadU32(raw);
        *size = loadU32(raw + 4);
        *codePage = loadU32(raw + 8);
        return true;
    }

  private:
    bool read(uint64_t offset, void* out, size_t n) {
        if (offset > limit_ || n > limit_ - offset) return false;
        return source_.readAt(base_ + offset, out, n);
    }
    static bool fail(std::string* error) {
        *error = "the resource directory points outside its section";
        return false;
    }

    const RandomAccessSource& source_;
    uint64_t base_;
    uint32_t limit_;
    size_t visits_ = 0;
};

}  // namespace

bool ResourceId::matches(std::u16string_view text) const {
    if (!named || name.size() != text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (foldUnit(name[i]) != foldUnit(text[i])) return false;
    }
    return true;
}

bool readResourceTable(const RandomAccessSource& source, const PeImage& image,
                       std::vector<ResourceEntry>* entries, std::string* error) {
    entries->clear();
    PeDirectory directory = image.directory(kDirectoryResource);
    if (directory.rva == 0 || directory.size == 0) return true;
    int index = image.sectionOf(directory.rva);
    if (index < 0) {
        *error = "the resource directory lies outside every section";
        return false;
    }
    const PeSection& section = image.sections[index];
    uint32_t delta = directory.rva - section.virtualAddress;
    if (delta >= section.rawSize) {
        *error = "the resource directory lies outside the file";
        return false;
    }
    TreeReader tree(source, uint64_t(section.rawPointer) + delta, section.rawSize - delta);

    std::vector<RawEntry> types, names, languages;
    if (!tree.directory(0, &types, error)) return false;
    for (const RawEntry& t : types) {
        ResourceId type;
        if (!(t.offsetField & kSubdirectoryBit)) {
            *error = "a resource type is not a directory";
            return false;
        }
        if (!tree.id(t.nameField, &type, error) ||
            !tree.directory(t.offsetField & ~kSubdirectoryBit, &names, error)) {
            return false;
        }
        for (const RawEntry& n : names) {
            ResourceId name;
            if (!(n.offsetField & kSubdirectoryBit)) {
                *error = "a resource name is not a directory";
                return false;
            }
            if (!tree.id(n.nameField, &name, error) ||
                !tree.directory(n.offsetField & ~kSubdirectoryBit, &languages, error)) {
                return false;
            }
            for (const RawEntry& l : languages) {
                if (l.offsetField & kSubdirectoryBit) {
                    *error = "a resource language is not a data entry";
                    return false;
                }
                uint32_t rva = 0, size = 0, codePage = 0;
                if (!tree.dataEntry(l.offsetField, &rva, &size, &codePage, error)) return false;
                uint64_t offset = 0;
                if (!image.fileOffsetOf(rva, size, &offset)) {
                    *error = "resource data lies outside the file";
                    return false;
                }
                if (entries->size() >= kMostResources) {
                    *error = "more than 65536 resources";
                    return false;
                }
                ResourceEntry entry;
                entry.type = type;
                entry.name = name;
                entry.language = static_cast<uint16_t>(l.nameField);
                entry.codePage = codePage;
                entry.fileOffset = offset;
                entry.size = size;
                entries->push_back(std::move(entry));
            }
        }
    }
    return true;
}

const ResourceEntry* findResource(const std::vector<ResourceEntry>& entries,
                                  std::u16string_view type, std::u16string_view name) {
    for (const ResourceEntry& entry : entries) {
        if (entry.type.matches(type) && entry.name.matches(name)) return &entry;
    }
    return nullptr;
}

bool loadResourceData(const RandomAccessSource& source, const ResourceEntry& entry,
                      std::vector<uint8_t>* data) {
    try {
        data->assign(entry.size, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return source.readAt(entry.fileOffset, data->data(), data->size());
}

namespace {

// Tree order: names before numbers, names by code unit (the loader's binary search compares
// them that way after upper-casing the name it looks for), numbers ascending.
bool idLess(const ResourceId& a, const ResourceId& b) {
    if (a.named != b.named) return a.named;
    if (a.named) return a.name < b.name;
    return a.id < b.id;
}

struct Directory {
    std::vector<size_t> children;  // indexes into the next level's directories, or entries
    uint32_t offset = 0;
};

class SectionBuilder {
  public:
    explicit SectionBuilder(std::vector<uint8_t>* head) : head_(head) {}

    uint32_t reserveDirectory(size_t named, size_t numbered) {
        uint32_t offset = static_cast<uint32_t>(head_->size());
        head_->resize(head_->size() + 16 + 8 * (named + numbered), 0);
        storeU16(&(*head_)[offset + 12], static_cast<uint16_t>(named));
        storeU16(&(*head_)[offset + 14], static_cast<uint16_t>(numbered));
        return offset;
    }
    void setEntry(uint32_t directory, size_t index, uint32_t nameField, uint32_t offsetField) {
        storeU32(&(*head_)[directory + 16 + 8 * index], nameField);
        storeU32(&(*head_)[directory + 16 + 8 * index + 4], offsetField);
    }

  private:
    std::vector<uint8_t>* head_;
};

}  // namespace

bool planResourceSection(std::vector<ResourceEntry>& entries, uint32_t sectionRva,
                         ResourceSectionPlan* plan, std::string* error) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ResourceEntry& a, const ResourceEntry& b) {
                         if (!(a.type == b.type)) return idLess(a.type, b.type);
                         if (!(a.name == b.name)) return idLess(a.name, b.name);
                         return a.language < b.language;
                     });
    for (size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].type == entries[i - 1].type && entries[i].name == entries[i - 1].name &&
            entries[i].language == entries[i - 1].language) {
            *error = "two resources with the same type, name and language";
            return false;
        }
    }

    for (const ResourceEntry& entry : entries) {
        if ((entry.name.named && entry.name.name.size() > 0xFFFF) ||
            (entry.type.named && entry.type.name.size() > 0xFFFF)) {
            *error = "a resource name is too long";
            return false;
        }
    }
    // A directory counts its entries in 16 bits.
    if (entries.size() > 0xFFFF) {
        *error = "more than 65535 resources";
        return false;
    }
    // Group into types -> names -> languages (ranges of the sorted entries).
    struct NameGroup {
        size_t first, last;
    };
    struct TypeGroup {
        size_t first, last;
        std::vector<NameGroup> names;
    };
    std::vector<TypeGroup> types;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (types.empty() || !(entries[types.back().first].type == entries[i].type)) {
            types.push_back({i, i, {}});
        }
        TypeGroup& type = types.back();
        type.last = i;
        if (type.names.empty() || !(entries[type.names.back().first].name == entries[i].name)) {
            type.names.push_back({i, i});
        }
        type.names.back().last = i;
    }
    auto countNamed = [](auto begin, auto end, auto idOf) {
        size_t n = 0;
        for (auto it = begin; it != end; ++it) n += idOf(*it).named ? 1 : 0;
        return n;
    };

    plan->head.clear();
    SectionBuilder builder(&plan->head);
    // Directories first, breadth first: the root, every type's, every name's.
    uint32_t root = builder.reserveDirectory(
        countNamed(types.begin(), types.end(),
                   [&](const TypeGroup& t) { return entries[t.first].type; }),
        types.size() - countNamed(types.begin(), types.end(),
                                  [&](const TypeGroup& t) { return entries[t.first].type; }));
    std::vector<uint32_t> typeDirs;
    for (const TypeGroup& t : types) {
        size_t named = countNamed(t.names.begin(), t.names.end(),
                                  [&](const NameGroup& n) { return entries[n.first].name; });
        typeDirs.push_back(builder.reserveDirectory(named, t.names.size() - named));
    }
    std::vector<std::vector<uint32_t>> nameDirs(types.size());
    for (size_t ti = 0; ti < types.size(); ++ti) {
        for (const NameGroup& n : types[ti].names) {
            nameDirs[ti].push_back(builder.reserveDirectory(0, n.last - n.first + 1));
        }
    }
    // Data descriptors, 16 bytes each, in entry order.
    uint32_t descriptors = static_cast<uint32_t>(plan->head.size());
    plan->head.resize(plan->head.size() + 16 * entries.size(), 0);
    // Name strings (each once).
    std::map<std::u16string, uint32_t> strings;
    auto stringOffset = [&](const std::u16string& text) -> uint32_t {
        auto found = strings.find(text);
        if (found != strings.end()) return found->second;
        uint32_t offset = static_cast<uint32_t>(plan->head.size());
        plan->head.resize(plan->head.size() + 2 + 2 * text.size());
        storeU16(&plan->head[offset], static_cast<uint16_t>(text.size()));
        for (size_t i = 0; i < text.size(); ++i) storeU16(&plan->head[offset + 2 + 2 * i], text[i]);
        strings.emplace(text, offset);
        return offset;
    };
    auto idField = [&](const ResourceId& id) -> uint32_t {
        return id.named ? (kSubdirectoryBit | stringOffset(id.name)) : id.id;
    };
    for (size_t ti = 0; ti < types.size(); ++ti) {
        builder.setEntry(root, ti, idField(entries[types[ti].first].type),
                         kSubdirectoryBit | typeDirs[ti]);
        for (size_t ni = 0; ni < types[ti].names.size(); ++ni) {
            const NameGroup& n = types[ti].names[ni];
            builder.setEntry(typeDirs[ti], ni, idField(entries[n.first].name),
                             kSubdirectoryBit | nameDirs[ti][ni]);
            for (size_t e = n.first; e <= n.last; ++e) {
                builder.setEntry(nameDirs[ti][ni], e - n.first, entries[e].language,
                                 descriptors + 16 * static_cast<uint32_t>(e));
            }
        }
    }
    // The data, each piece 8-byte aligned.
    uint64_t offset = alignUp64(plan->head.size(), 8);
    plan->dataOffsets.clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        uint64_t size = entries[i].data.size();
        if (offset + size + sectionRva > 0xFFFFFFFFu - 8) {
            *error = "the resources are larger than an executable can hold (4 GB)";
            return false;
        }
        plan->dataOffsets.push_back(static_cast<uint32_t>(offset));
        uint8_t* descriptor = &plan->head[descriptors + 16 * i];
        storeU32(descriptor, sectionRva + static_cast<uint32_t>(offset));
        storeU32(descriptor + 4, static_cast<uint32_t>(size));
        storeU32(descriptor + 8, entries[i].codePage);
        // Empty data still gets a byte of its own, so that its address lies inside the section.
        offset = alignUp64(offset + std::max<uint64_t>(size, 1), 8);
    }
    plan->size = static_cast<uint32_t>(offset);
    return true;
}

}  // namespace quill::project
