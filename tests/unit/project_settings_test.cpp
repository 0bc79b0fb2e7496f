// The settings record: every field round trip, strings absent and empty, a stream that ends
// early, and the embedded help file and picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "projector/records/project_settings.h"
#include "temp_folder.h"

namespace quill::project {
namespace {

// Every field set to a value of its own.
ProjectSettings filledSettings() {
    ProjectSettings s;
    s.productName = "Product";
    s.secondText = "";
    s.companyName = "Company";
    s.legalNotice = "(c) 2024";
    s.sixthText = "six";
    s.versionText = "Version 3";
    s.windowShape = 2;
    s.frameStyle = 0x1010;
    s.frameButtons = 0x111;
    s.frameParam = 256;
    s.maskName = "round";
    s.windowTitle = "Title";
    s.sizeMode = 3;
    s.width = 640;
    s.height = 65535;
    s.positionMode = 10;
    s.x = 11;
    s.y = 12;
    s.keepAspect = 1;
    s.interactionA = 1;
    s.interactionB = 2;
    s.inputFlags = 0x10;
    s.closeFlags = 0x11;
    s.taskbarFlag = 0x110;
    s.closeKey = 0x7B;
    s.closeModifiers = 6;
    s.systemMenuFlags = 0x1111;
    s.windowFlags = 0x1113;
    s.reservedBlock = {0, 1, 2, 0xFE, 0xFF};
    s.reservedText = "reserved";
    s.miscFlags = 0x1100;
    s.miscParam = 0x123457;
    s.publisherName = "Publisher";
    s.webAddress = "https://example.org/";
    s.linkText = "example";
    s.emailAddress = "mailto:a@example.org";
    s.aboutColor1 = 0xFF0000;
    s.aboutColor2 = 0x00FF00;
    s.aboutFont1 = {-12, 0, 0, 0, 700, 1, 0, 0, 0, 3, 2, 1, 0x22, "Tahoma"};
    s.aboutFont2 = {14, 6, 900, 900, 400, 0, 1, 1, 2, 0, 0, 4, 0x31, "Courier New"};
    s.aboutFlags = 0x110;
    s.aboutValue = 77;
    s.aboutText = "about";
    s.trailerValue1 = 1;
    s.trailerText1 = "t1";
    s.trailerValue2 = 2;
    s.trailerBytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    s.trailerValue3 = 3;
    s.trailerText2 = "t2";
    s.trailerShort1 = 0xFFFF;
    s.trailerShort2 = 9;
    return s;
}

std::vector<uint8_t> written(const ProjectSettings& s) {
    MemoryStream stream;
    EXPECT_TRUE(WriteProjectSettings(s, stream));
    return stream.takeBytes();
}

TEST(ProjectSettingsTest, EveryFieldRoundTrips) {
    ProjectSettings original = filledSettings();
    std::vector<uint8_t> bytes = written(original);
    ProjectSettings read;
    MemoryStream stream(bytes);
    ExtractTarget target;
    EXPECT_TRUE(ReadProjectSettings(&read, stream, target));
    EXPECT_EQ(read, original);
    EXPECT_EQ(stream.position(), bytes.size());
    // The fifth text was never set: it stays absent, not empty.
    EXPECT_FALSE(read.fifthText.has_value());
    ASSERT_TRUE(read.secondText.has_value());
    EXPECT_EQ(*read.secondText, "");
}

TEST(ProjectSettingsTest, StringCountsZeroAndOne) {
    // A record that begins with counts 0 and 1 for its first two strings.
    std::vector<uint8_t> bytes = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    ProjectSettings s;
    s.productName = "old";
    s.secondText = "old";
    MemoryStream stream(bytes);
    EXPECT_FALSE(ReadProjectSettings(&s, stream, ExtractTarget()));
    EXPECT_FALSE(s.productName.has_value());
    ASSERT_TRUE(s.secondText.has_value());
    EXPECT_EQ(*s.secondText, "");
}

TEST(ProjectSettingsTest, StreamEndingEarlyKeepsTheLaterFields) {
    ProjectSettings source = filledSettings();
    std::vector<uint8_t> bytes = written(source);
    // Cut the record inside Section 3: right after the width field.
    ProjectSettings head = source;
    head.height = 0;
    std::vector<uint8_t> probe = written(head);
    size_t cut = 0;
    while (cut < bytes.size() && bytes[cut] == probe[cut]) ++cut;  // the height's first byte
    ProjectSettings read;
    read.height = 1234;
    read.keepAspect = 99;
    read.aboutFont2.faceName = "kept";
    MemoryStream stream(bytes.data(), cut + 1);  // one byte of the u16 height
    EXPECT_FALSE(ReadProjectSettings(&read, stream, ExtractTarget()));
    EXPECT_EQ(read.width, 640);
    EXPECT_EQ(read.windowTitle, "Title");
    EXPECT_EQ(read.height, 1234);
    EXPECT_EQ(read.keepAspect, 99u);
    EXPECT_EQ(read.aboutFont2.faceName, "kept");

    // A string whose count claims far more than follows keeps its old value.
    std::vector<uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0};
    ProjectSettings other;
    other.productName = "before";
    MemoryStream hugeStream(huge);
    EXPECT_FALSE(ReadProjectSettings(&other, hugeStream, ExtractTarget()));
    EXPECT_EQ(other.productName, "before");
}

TEST(ProjectSettingsTest, TextsLongerThanTheirBuffersAreCut) {
    ProjectSettings s;
    s.windowTitle = std::string(300, 't');
    s.aboutFont1.faceName = std::string(40, 'f');
    std::vector<uint8_t> bytes = written(s);
    ProjectSettings read;
    MemoryStream stream(bytes);
    ReadProjectSettings(&read, stream, ExtractTarget());
    EXPECT_EQ(read.windowTitle, std::string(kBufferChars, 't'));
    EXPECT_EQ(read.aboutFont1.faceName, std::string(kFaceNameChars, 'f'));
}

TEST(ProjectSettingsTest, EmbeddedFilesGoIntoTheWorkFolder) {
    test::TempFolder source, work;
    source.write("manual.chm", "help bytes");
    source.write("empty.jpg", "");
    ProjectSettings s;
    s.helpFile = source.text() + "manual.chm";
    s.aboutPicture = source.text() + "empty.jpg";
    std::vector<uint8_t> bytes;
    {
        MemoryStream stream;
        ASSERT_TRUE(WriteProjectSettings(s, stream, utf8Codec()));
        bytes = stream.takeBytes();
    }
    ExtractTarget target;
    target.workFolder = work.text();
    target.codec = &utf8Codec();
    ProjectSettings read;
    MemoryStream stream(bytes);
    EXPECT_TRUE(ReadProjectSettings(&read, stream, target));
    EXPECT_EQ(read.helpFile, work.text() + "manual.chm");
    EXPECT_EQ(work.read("manual.chm"), "help bytes");
    // A file of 0 bytes is not written; the path field holds only its name.
    EXPECT_EQ(read.aboutPicture, "empty.jpg");
    EXPECT_FALSE(std::filesystem::exists(work / "empty.jpg"));

    // A missing file is written as an empty name and no bytes.
    ProjectSettings missing;
    missing.helpFile = source.text() + "nowhere.chm";
    MemoryStream out;
    ASSERT_TRUE(WriteProjectSettings(missing, out, utf8Codec()));
    ProjectSettings again;
    MemoryStream in(out.bytes());
    EXPECT_TRUE(ReadProjectSettings(&again, in, target));
    EXPECT_EQ(again.helpFile, "");
}

TEST(ProjectSettingsTest, UnsafeEmbeddedNameIsRefusedAndReadingGoesOn) {
    test::TempFolder work;
    ProjectSettings s = filledSettings();
    // A record whose help file is named "..\e.chm".
    ProjectSettings withHelp = s;
    test::TempFolder source;
    source.write("evil.chm", "EVIL");
    withHelp.helpFile = source.text() + "evil.chm";
    MemoryStream stream;
    WriteProjectSettings(withHelp, stream, utf8Codec());
    std::vector<uint8_t> record = stream.takeBytes();
    std::u16string good = u"evil.chm", bad = u"..\\e.chm";
    // Replace the name's code units in place (same length).
    for (size_t i = 0; i + good.size() * 2 <= record.size(); ++i) {
        bool match = true;
        for (size_t k = 0; k < good.size() && match; ++k) match = record[i + 2 * k] == good[k];
        if (match) {
            for (size_t k = 0; k < bad.size(); ++k)
                record[i + 2 * k] = static_cast<uint8_t>(bad[k]);
            break;
        }
    }
    std::vector<std::string> reports;
    ExtractTarget target;
    target.workFolder = work.text();
    target.codec = &utf8Codec();
    target.report = [&](const std::string& text) { reports.push_back(text); };
    ProjectSettings read;
    MemoryStream in(record);
    EXPECT_TRUE(ReadProjectSettings(&read, in, target));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              "Refused the file name \"..\\e.chm\": the name holds a folder or a drive");
    EXPECT_EQ(read.helpFile, "");
    EXPECT_FALSE(std::filesystem::exists(work.path().parent_path() / "e.chm"));
    // The fields after the refused file were still read.
    EXPECT_EQ(read.aboutFont2, s.aboutFont2);
    EXPECT_EQ(read.trailerShort1, s.trailerShort1);
}

}  // namespace
}  // namespace quill::project
