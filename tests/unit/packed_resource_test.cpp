// The "SM" container: the projector's exact checks and messages on reading, and the writer's
// header, CRC and streaming.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "projector/records/packed_resource.h"
#include "projector/records/random_access.h"

namespace quill::project {
namespace {

std::vector<uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

void setU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

// Unpacks and returns the reported messages (one at most).
std::vector<std::string> unpack(const std::vector<uint8_t>& container, std::vector<uint8_t>* out) {
    std::vector<std::string> reports;
    bool ok = UnpackContainer(container.data(), container.size(), out,
                              [&](const std::string& text) { reports.push_back(text); });
    EXPECT_EQ(ok, reports.empty());
    return reports;
}

TEST(PackedResourceTest, WriterHeaderAndRoundTrip) {
    std::vector<uint8_t> data = bytesOf(std::string(5000, 'q') + "the end");
    std::vector<uint8_t> container = packContainer(data);
    ASSERT_GT(container.size(), kContainerHeaderSize);
    EXPECT_EQ(container[0], 'S');
    EXPECT_EQ(container[1], 'M');
    EXPECT_EQ(loadU16(&container[2]), 1);
    EXPECT_EQ(loadU32(&container[4]), data.size());
    EXPECT_EQ(loadU32(&container[8]), container.size() - kContainerHeaderSize);
    EXPECT_EQ(loadU32(&container[12]), crc32(0, data.data(), static_cast<uInt>(data.size())));
    std::vector<uint8_t> out;
    EXPECT_TRUE(unpack(container, &out).empty());
    EXPECT_EQ(out, data);

    // Written piece by piece it is the same container.
    ContainerWriter writer;
    for (size_t i = 0; i < data.size(); i += 777) {
        writer.write(data.data() + i, std::min<size_t>(777, data.size() - i));
    }
    EXPECT_EQ(writer.finish().flatten(), container);

    // Empty data still makes a valid container (its zlib stream is not empty).
    std::vector<uint8_t> empty = packContainer(std::vector<uint8_t>());
    EXPECT_TRUE(unpack(empty, &out).empty());
    EXPECT_TRUE(out.empty());
}

TEST(PackedResourceTest, RejectsShortAndForeignHeaders) {
    std::vector<uint8_t> out = {1};
    // Exactly 16 bytes fails even when the packed size field says 0.
    std::vector<uint8_t> sixteen = {'S', 'M', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(unpack(sixteen, &out), std::vector<std::string>{"Bad compressed data length"});
    EXPECT_TRUE(out.empty());

    std::vector<uint8_t> good = packContainer(bytesOf("payload"));
    std::vector<uint8_t> version2 = good;
    version2[2] = 2;
    EXPECT_EQ(unpack(version2, &out), std::vector<std::string>{"Bad compressed data header"});
    std::vector<uint8_t> magic = good;
    magic[1] = 'N';
    EXPECT_EQ(unpack(magic, &out), std::vector<std::string>{"Bad compressed data header"});

    // A packed size that claims one byte more than follows.
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_EQ(unpack(truncated, &out), std::vector<std::string>{"Bad compressed data length"});
    // Extra bytes after the stream are allowed.
    std::vector<uint8_t> padded = good;
    padded.push_back(0xAA);
    EXPECT_TRUE(unpack(padded, &out).empty());
    EXPECT_EQ(out, bytesOf("payload"));
}

TEST(PackedResourceTest, SizesAndChecksumAsTheProjectorReadsThem) {
    std::vector<uint8_t> data = bytesOf("twelve bytes");
    std::vector<uint8_t> container = packContainer(data);
    std::vector<uint8_t> out;

    // The CRC is never compared.
    std::vector<uint8_t> wrongCrc = container;
    setU32(wrongCrc, 12, 0xDEADBEEF);
    EXPECT_TRUE(unpack(wrongCrc, &out).empty());
    EXPECT_EQ(out, data);

    // An unpacked size smaller than the data: zlib runs out of room.
    std::vector<uint8_t> small = container;
    setU32(small, 4, 5);
    EXPECT_EQ(unpack(small, &out),
              std::vector<std::string>{
                  "There was not enough room in the compress(uncompress) output buffer"});
    EXPECT_TRUE(out.empty());

    // A larger one unpacks and gives the real length, also when it claims 4 GB.
    for (uint32_t claim : {13u, 4096u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> large = container;
        setU32(large, 4, claim);
        EXPECT_TRUE(unpack(large, &out).empty()) << claim;
        EXPECT_EQ(out, data) << claim;
    }

    // A damaged stream.
    std::vector<uint8_t> corrupt = container;
    corrupt[kContainerHeaderSize] ^= 0xFF;
    EXPECT_EQ(unpack(corrupt, &out),
              std::vector<std::string>{"The compress(uncompress) input data was corrupted"});
    EXPECT_TRUE(out.empty());
}

TEST(PackedResourceTest, ZlibMessages) {
    EXPECT_STREQ(zlibErrorText(Z_MEM_ERROR),
                 "There was not enough memory for compress(uncompress)");
    EXPECT_STREQ(zlibErrorText(Z_STREAM_ERROR), "The compress level parameter is invalid");
    EXPECT_STREQ(zlibErrorText(Z_VERSION_ERROR), "Compression or uncompression failed");
}

}  // namespace
}  // namespace quill::project
