// The appended block of additional files: written from a folder tree, found from the end of
// the file, extracted below a root, and refused when damaged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "projector/records/additional_files.h"
#include "temp_folder.h"

namespace quill::project {
namespace {

std::vector<uint8_t> blockFile(const std::filesystem::path& root, const std::string& image) {
    std::vector<AdditionalSource> sources;
    std::string error;
    EXPECT_TRUE(collectAdditionalFiles(root, &sources, &error)) << error;
    test::TempFolder out;
    std::FILE* file = openFsPath(out / "app.exe", "w+b");
    OutputFile sink(file);
    sink.write(image.data(), image.size());
    EXPECT_TRUE(writeAdditionalBlock(sources, sink, &error)) << error;
    std::fclose(file);
    std::string bytes = out.read("app.exe");
    return {bytes.begin(), bytes.end()};
}

TEST(AdditionalFilesTest, TreeRoundTrip) {
    test::TempFolder source;
    source.write("readme.txt", "read me");
    source.write("data/levels/one.bin", std::string("\0\1\2", 3));
    source.write("data/empty.txt", "");
    std::filesystem::create_directories(source / "nothing");
    std::vector<uint8_t> file = blockFile(source.path(), "MZ pretend image");
    MemorySource reader(file);
    AdditionalBlock block;
    std::string error;
    ASSERT_EQ(readAdditionalBlock(reader, &block, &error), BlockState::kValid) << error;
    EXPECT_EQ(block.start, 16u);
    std::vector<std::u16string> paths;
    for (const AdditionalEntry& e : block.entries) paths.push_back(e.path);
    EXPECT_EQ(paths,
              (std::vector<std::u16string>{u"data", u"data\\empty.txt", u"data\\levels",
                                           u"data\\levels\\one.bin", u"nothing", u"readme.txt"}));
    test::TempFolder target;
    for (const AdditionalEntry& e : block.entries) {
        ASSERT_TRUE(extractAdditionalEntry(reader, e, target.path(), &error)) << error;
    }
    EXPECT_EQ(target.read("data/levels/one.bin"), std::string("\0\1\2", 3));
    EXPECT_EQ(target.read("readme.txt"), "read me");
    EXPECT_TRUE(std::filesystem::is_directory(target / "nothing"));
    EXPECT_TRUE(std::filesystem::exists(target / "data/empty.txt"));

    // Scripts name the files with either separator and in any case.
    const AdditionalEntry* found = findAdditionalEntry(block, u"/Data/LEVELS/One.bin");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->path, u"data\\levels\\one.bin");
    EXPECT_EQ(findAdditionalEntry(block, u"data\\levels\\")->kind, kAdditionalFolder);
    EXPECT_EQ(findAdditionalEntry(block, u"data\\levels\\two.bin"), nullptr);
    EXPECT_EQ(findAdditionalEntry(block, u""), nullptr);
}

TEST(AdditionalFilesTest, FilesWithoutABlock) {
    AdditionalBlock block;
    std::string error;
    for (std::vector<uint8_t> bytes :
         {std::vector<uint8_t>{}, std::vector<uint8_t>(64, 0), std::vector<uint8_t>(64, 0xFF),
          std::vector<uint8_t>{'S', 'A', 'F', 0, 1, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0}}) {
        MemorySource source(bytes);
        EXPECT_EQ(readAdditionalBlock(source, &block, &error), BlockState::kAbsent);
    }
}

TEST(AdditionalFilesTest, DamagedBlocksAreRefused) {
    test::TempFolder source;
    source.write("a.txt", "aaaa");
    std::vector<uint8_t> good = blockFile(source.path(), "IMAGE");
    auto state = [](std::vector<uint8_t> bytes, std::string* error) {
        MemorySource reader(bytes);
        AdditionalBlock block;
        return readAdditionalBlock(reader, &block, error);
    };
    std::string error;
    // The entry's name "a.txt" made "..txt"... made into a path that climbs out.
    std::vector<uint8_t> climbing = good;
    for (size_t i = 0; i + 10 < climbing.size(); ++i) {
        if (climbing[i] == 'a' && climbing[i + 2] == '.' && climbing[i + 4] == 't') {
            climbing[i] = '.';
            climbing[i + 2] = '.';
            climbing[i + 4] = '\\';
            break;
        }
    }
    EXPECT_EQ(state(climbing, &error), BlockState::kInvalid);
    EXPECT_NE(error.find("refused"), std::string::npos) << error;
    // A file whose bytes would lie past the block.
    std::vector<uint8_t> oversized = good;
    size_t sizeField = good.size() - 8 - 4 - 4;  // the last index field before the data ("aaaa")
    storeU32(&oversized[sizeField], 1000);
    EXPECT_EQ(state(oversized, &error), BlockState::kInvalid);
    // A trailer whose length points before the file.
    std::vector<uint8_t> lost = good;
    storeU32(&lost[lost.size() - 8], 0xFFFFFF00);
    EXPECT_EQ(state(lost, &error), BlockState::kAbsent);
}

TEST(AdditionalFilesTest, CollectingRefusesWhatCannotBeCarried) {
    std::vector<AdditionalSource> sources;
    std::string error;
    test::TempFolder empty;
    EXPECT_TRUE(collectAdditionalFiles(empty.path(), &sources, &error));
    EXPECT_TRUE(sources.empty());
    EXPECT_FALSE(collectAdditionalFiles(empty / "missing", &sources, &error));
#ifndef _WIN32
    test::TempFolder device;
    device.write("sub/aux.txt", "x");
    EXPECT_FALSE(collectAdditionalFiles(device.path(), &sources, &error));
    EXPECT_NE(error.find("reserved for a device"), std::string::npos) << error;
    test::TempFolder linked;
    linked.write("target.txt", "x");
    std::filesystem::create_symlink(linked / "target.txt", linked / "link.txt");
    EXPECT_FALSE(collectAdditionalFiles(linked.path(), &sources, &error));
    EXPECT_NE(error.find("links are not carried"), std::string::npos) << error;
#endif
}

}  // namespace
}  // namespace quill::project
