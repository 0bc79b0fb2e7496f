// The PE resource section: the tree reader against damaged input, and the writer's three
// layouts (in place, in place with the relocations moved, appended) with the stub's resources,
// trailing data, symbols and checksum kept right.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pe_test_image.h"
#include "projector/records/additional_files.h"
#include "projector/records/pe_writer.h"
#include "temp_folder.h"

namespace quill::project {
namespace {

using test::buildTestImage;
using test::TestImageLayout;
using test::testResource;

TestImageLayout stubLayout() {
    TestImageLayout layout;
    layout.sections.push_back({".text", std::vector<uint8_t>(0x300, 0xC3), 0, 0x60000020});
    layout.sections.push_back({".rsrc", {}, 0, 0x40000040});
    layout.resourceSection = 1;
    layout.resources.push_back(
        testResource(ResourceId::ofId(kTypeVersion), ResourceId::ofId(1), "version info"));
    layout.resources.push_back(
        testResource(ResourceId::ofId(kTypeIcon), ResourceId::ofId(1), "icon bits"));
    layout.resources.push_back(
        testResource(ResourceId::ofName(u"PLEXOR"), ResourceId::ofName(u"OLD"), "stale"));
    layout.resources.push_back(
        testResource(ResourceId::ofId(10), ResourceId::ofName(u"KEEPME"), "kept"));
    return layout;
}

struct Packed {
    std::vector<uint8_t> bytes;
    PeImage image;
    std::vector<ResourceEntry> entries;
};

Packed pack(const std::vector<uint8_t>& stub, const TailWriter& tail = nullptr) {
    test::TempFolder folder;
    std::filesystem::path out = folder / "out.exe";
    std::FILE* file = openFsPath(out, "w+b");
    std::vector<ResourceEntry> added;
    added.push_back(
        testResource(ResourceId::ofName(u"PLEXOR"), ResourceId::ofName(u"ST"), "settings"));
    added.push_back(
        testResource(ResourceId::ofName(u"QUILL"), ResourceId::ofName(u"INITIALIZE"), "module"));
    std::string error;
    bool ok =
        writeImageWithResources(stub, {u"PLEXOR", u"QUILL"}, std::move(added), tail, file, &error);
    std::fclose(file);
    EXPECT_TRUE(ok) << error;
    Packed p;
    std::string text = test::TempFolder::readFile(out);
    p.bytes.assign(text.begin(), text.end());
    MemorySource source(p.bytes);
    EXPECT_TRUE(parsePeImage(source, &p.image, &error)) << error;
    EXPECT_TRUE(readResourceTable(source, p.image, &p.entries, &error)) << error;
    return p;
}

std::string dataOf(const Packed& p, std::u16string_view type, std::u16string_view name) {
    const ResourceEntry* entry = findResource(p.entries, type, name);
    if (!entry) return "(missing)";
    std::vector<uint8_t> data;
    MemorySource source(p.bytes);
    loadResourceData(source, *entry, &data);
    return std::string(data.begin(), data.end());
}

const ResourceEntry* numbered(const Packed& p, uint16_t type) {
    for (const ResourceEntry& e : p.entries) {
        if (!e.type.named && e.type.id == type) return &e;
    }
    return nullptr;
}

void expectStubResourcesKept(const Packed& p) {
    EXPECT_EQ(dataOf(p, u"plexor", u"st"), "settings");
    EXPECT_EQ(dataOf(p, u"Quill", u"initialize"), "module");
    EXPECT_EQ(dataOf(p, u"PLEXOR", u"OLD"), "(missing)");
    ASSERT_NE(numbered(p, kTypeVersion), nullptr);
    std::vector<uint8_t> version;
    MemorySource source(p.bytes);
    loadResourceData(source, *numbered(p, kTypeVersion), &version);
    EXPECT_EQ(std::string(version.begin(), version.end()), "version info");
    EXPECT_NE(numbered(p, kTypeIcon), nullptr);
    EXPECT_EQ(p.entries.size(), 5u);
    EXPECT_EQ(loadU32(&p.bytes[p.image.checksumOffset()]),
              test::referenceChecksum(p.bytes, p.image.checksumOffset()));
}

TEST(PeWriterTest, ResourceSectionLastIsRebuiltInPlace) {
    std::vector<uint8_t> stub = buildTestImage(stubLayout());
    Packed p = pack(stub);
    expectStubResourcesKept(p);
    ASSERT_EQ(p.image.sections.size(), 2u);
    EXPECT_EQ(p.image.sections[1].virtualAddress, 0x2000u);
    EXPECT_EQ(p.image.directory(kDirectoryResource).rva, 0x2000u);
    // The code is untouched.
    EXPECT_EQ(p.bytes[p.image.sections[0].rawPointer], 0xC3);
}

TEST(PeWriterTest, RelocationsMoveBehindTheGrownResources) {
    TestImageLayout layout = stubLayout();
    std::vector<uint8_t> relocations(0x40, 0);
    for (size_t i = 0; i < relocations.size(); ++i) relocations[i] = static_cast<uint8_t>(i * 7);
    layout.sections.push_back({".reloc", relocations, 0, 0x42000040});
    layout.relocationSection = 2;
    // Enough resources that the section must grow past its old page.
    std::vector<uint8_t> stub = buildTestImage(layout);
    test::TempFolder folder;
    std::filesystem::path out = folder / "big.exe";
    std::FILE* file = openFsPath(out, "w+b");
    std::vector<ResourceEntry> added;
    added.push_back(testResource(ResourceId::ofName(u"PLEXOR"), ResourceId::ofName(u"ML"),
                                 std::string(0x3000, 'm')));
    std::string error;
    ASSERT_TRUE(writeImageWithResources(stub, {u"PLEXOR"}, std::move(added), nullptr, file, &error))
        << error;
    std::fclose(file);
    std::string text = test::TempFolder::readFile(out);
    std::vector<uint8_t> bytes(text.begin(), text.end());
    PeImage image;
    MemorySource source(bytes);
    ASSERT_TRUE(parsePeImage(source, &image, &error)) << error;
    ASSERT_EQ(image.sections.size(), 3u);
    EXPECT_EQ(image.sections[1].virtualAddress, 0x2000u);
    EXPECT_GE(image.sections[1].virtualSize, 0x3000u);
    EXPECT_EQ(image.sections[2].virtualAddress, 0x6000u);
    EXPECT_EQ(image.directory(kDirectoryRelocation).rva, 0x6000u);
    EXPECT_EQ(image.directory(kDirectoryRelocation).size, 0x40u);
    EXPECT_TRUE(std::equal(relocations.begin(), relocations.end(),
                           bytes.begin() + image.sections[2].rawPointer));
    EXPECT_EQ(loadU32(&bytes[image.optionalOffset + 56]), 0x7000u);  // SizeOfImage
}

TEST(PeWriterTest, SectionPinnedByAnotherDirectoryMakesANewSection) {
    TestImageLayout layout = stubLayout();
    layout.sections.push_back({".idata", std::vector<uint8_t>(0x20, 1), 0, 0xC0000040});
    layout.importRva = 0x3000;  // the imports lie behind the resources
    Packed p = pack(buildTestImage(layout));
    expectStubResourcesKept(p);
    ASSERT_EQ(p.image.sections.size(), 4u);
    EXPECT_EQ(std::string(p.image.sections[3].name.data(), 5), ".rsrc");
    EXPECT_EQ(p.image.directory(kDirectoryResource).rva, p.image.sections[3].virtualAddress);
    EXPECT_EQ(p.image.sections[2].virtualAddress, 0x3000u);
}

TEST(PeWriterTest, StubWithoutResourcesGetsASection) {
    TestImageLayout layout;
    layout.sections.push_back({".text", std::vector<uint8_t>(0x10, 0x90), 0, 0x60000020});
    Packed p = pack(buildTestImage(layout));
    EXPECT_EQ(p.entries.size(), 2u);
    EXPECT_EQ(dataOf(p, u"PLEXOR", u"ST"), "settings");

    // Headers with no room left for another section header.
    layout.headerSize = 0x200;
    for (int i = 0; i < 3; ++i)
        layout.sections.push_back({".data", std::vector<uint8_t>(4, 1), 0, 0xC0000040});
    std::vector<uint8_t> full = buildTestImage(layout);
    test::TempFolder folder;
    std::FILE* file = openFsPath(folder / "x.exe", "w+b");
    std::string error;
    EXPECT_FALSE(writeImageWithResources(full, {}, {}, nullptr, file, &error));
    std::fclose(file);
    EXPECT_EQ(error, "the headers have no room for another section");

    // Found by fuzzing: headers with too few data directories to name the resources.
    std::vector<uint8_t> few = buildTestImage(layout);
    MemorySource source(few);
    PeImage image;
    ASSERT_TRUE(parsePeImage(source, &image, &error));
    storeU32(&few[image.directoryOffset - 4], 2);
    file = openFsPath(folder / "y.exe", "w+b");
    EXPECT_FALSE(writeImageWithResources(few, {}, {}, nullptr, file, &error));
    std::fclose(file);
    EXPECT_EQ(error, "the headers have no entry for a resource directory");

    // Found by fuzzing: a section that reaches the top of the address space leaves no room.
    TestImageLayout high;
    high.sections.push_back({".bss", std::vector<uint8_t>(4, 0), 0xFFFFE000, 0xC0000080});
    std::vector<uint8_t> huge = buildTestImage(high);
    file = openFsPath(folder / "z.exe", "w+b");
    EXPECT_FALSE(writeImageWithResources(huge, {}, {}, nullptr, file, &error));
    std::fclose(file);
    EXPECT_EQ(error, "the image would pass 4 GB");
}

TEST(PeWriterTest, TrailingDataSymbolsAndOldBlocks) {
    TestImageLayout layout = stubLayout();
    layout.overlay = {'S', 'Y', 'M', 'S', 1, 2, 3, 4};
    layout.symbolsInOverlay = true;
    std::vector<uint8_t> stub = buildTestImage(layout);
    // An additional-files block from an earlier packing behind it.
    test::TempFolder folder;
    folder.write("extra/old.txt", "old");
    std::vector<AdditionalSource> sources;
    std::string error;
    ASSERT_TRUE(collectAdditionalFiles(folder / "extra", &sources, &error));
    std::FILE* file = openFsPath(folder / "packed-once.exe", "w+b");
    ASSERT_TRUE(writeImageWithResources(
        stub, {u"PLEXOR"}, {},
        [&](OutputFile& out, std::string* e) { return writeAdditionalBlock(sources, out, e); },
        file, &error))
        << error;
    std::fclose(file);
    std::string once = folder.read("packed-once.exe");
    std::vector<uint8_t> packedOnce(once.begin(), once.end());

    // Packing that again as a stub drops the old block and keeps the symbols.
    Packed p = pack(packedOnce);
    MemorySource source(p.bytes);
    AdditionalBlock block;
    EXPECT_EQ(readAdditionalBlock(source, &block, &error), BlockState::kAbsent);
    uint32_t symbols = loadU32(&p.bytes[p.image.coffOffset + 8]);
    ASSERT_EQ(symbols + 8, p.bytes.size());
    EXPECT_EQ(std::string(p.bytes.begin() + symbols, p.bytes.begin() + symbols + 4), "SYMS");
    expectStubResourcesKept(p);
}

TEST(PeWriterTest, EmptyResourcesKeepAnAddressInsideTheSection) {
    // Found by fuzzing: an empty resource laid out last pointed just past its section.
    TestImageLayout layout = stubLayout();
    layout.resources.push_back(testResource(ResourceId::ofId(10), ResourceId::ofId(99), ""));
    Packed p = pack(buildTestImage(layout));
    std::vector<ResourceEntry> empty;
    for (const ResourceEntry& e : p.entries) {
        if (!e.name.named && e.name.id == 99) empty.push_back(e);
    }
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].size, 0u);
    EXPECT_LT(empty[0].fileOffset, p.bytes.size());
}

TEST(PeResourceReaderTest, DamagedTreesAreRefused) {
    std::vector<uint8_t> stub = buildTestImage(stubLayout());
    MemorySource source(stub);
    PeImage image;
    std::string error;
    ASSERT_TRUE(parsePeImage(source, &image, &error));
    uint64_t base = image.sections[1].rawPointer;
    auto readWith = [&](const std::function<void(std::vector<uint8_t>&)>& damage) {
        std::vector<uint8_t> copy = stub;
        damage(copy);
        MemorySource s(copy);
        std::vector<ResourceEntry> entries;
        std::string problem;
        bool ok = readResourceTable(s, image, &entries, &problem);
        return ok ? std::string("ok") : problem;
    };
    EXPECT_EQ(readWith([](std::vector<uint8_t>&) {}), "ok");
    // Entry counts that run past the section.
    EXPECT_EQ(readWith([&](std::vector<uint8_t>& b) { storeU16(&b[base + 14], 0xFFFF); }),
              "the resource directory points outside its section");
    // A type entry that points at data, not at a directory.
    EXPECT_EQ(readWith([&](std::vector<uint8_t>& b) { b[base + 16 + 7] &= 0x7F; }),
              "a resource type is not a directory");
    // A subdirectory offset far outside.
    EXPECT_EQ(readWith([&](std::vector<uint8_t>& b) { storeU32(&b[base + 16 + 4], 0xFFFFFF00); }),
              "the resource directory points outside its section");
    // Every type pointing back at the root: the walk ends, it does not loop.
    EXPECT_NE(readWith([&](std::vector<uint8_t>& b) {
                  for (int i = 0; i < 4; ++i) storeU32(&b[base + 16 + 8 * i + 4], 0x80000000u);
              }),
              "ok");

    // Headers that lie.
    std::vector<uint8_t> broken = stub;
    storeU32(&broken[0x3C], 0xFFFFFFF0);
    MemorySource b(broken);
    EXPECT_FALSE(parsePeImage(b, &image, &error));
    EXPECT_EQ(error, "not a Windows executable (no PE header)");
    std::vector<uint8_t> truncated(stub.begin(), stub.begin() + stub.size() - 0x100);
    MemorySource t(truncated);
    EXPECT_FALSE(parsePeImage(t, &image, &error));
    EXPECT_EQ(error, "a section lies past the end of the file");
}

TEST(PeResourceReaderTest, NamesSortAndCompareAsTheLoaderExpects) {
    std::vector<ResourceEntry> entries;
    for (const char16_t* name : {u"SAVEGAME", u"INITIALIZE", u"A", u"AB"}) {
        entries.push_back(
            testResource(ResourceId::ofName(u"QUILL"), ResourceId::ofName(name), "x"));
    }
    entries.push_back(testResource(ResourceId::ofName(u"QUILL"), ResourceId::ofId(7), "y"));
    ResourceSectionPlan plan;
    std::string error;
    ASSERT_TRUE(planResourceSection(entries, 0x1000, &plan, &error));
    std::vector<std::u16string> order;
    for (const ResourceEntry& e : entries) order.push_back(e.name.named ? e.name.name : u"#");
    EXPECT_EQ(order, (std::vector<std::u16string>{u"A", u"AB", u"INITIALIZE", u"SAVEGAME", u"#"}));
    EXPECT_NE(findResource(entries, u"quill", u"saveGame"), nullptr);
    EXPECT_EQ(findResource(entries, u"quill", u"save"), nullptr);

    entries.push_back(
        testResource(ResourceId::ofName(u"QUILL"), ResourceId::ofName(u"A"), "twice"));
    EXPECT_FALSE(planResourceSection(entries, 0x1000, &plan, &error));
}

}  // namespace
}  // namespace quill::project
