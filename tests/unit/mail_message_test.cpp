// The native mail message: every layout the composer makes is closed and reads back the same,
// save/load/regenerate cycles keep every byte (single parts too), decoded parts reach files
// whole, sizes are exact, and failures change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "host/net/mail_charset.h"
#include "host/net/mail_message.h"

using namespace quill::mail;

namespace {

class MailMessageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        dir = std::filesystem::temp_directory_path() /
              ("quill-mail-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + std::to_string(counter++) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    void writeFile(const std::string& name, const std::string& data) {
        std::ofstream(dir / name, std::ios::binary) << data;
    }
    std::string readFile(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::unique_ptr<MailMessage> reload(MailMessage& m) {
        EXPECT_TRUE(m.save(path("cycle.eml")));
        auto back = MailMessage::create();
        EXPECT_TRUE(back->load(path("cycle.eml")));
        return back;
    }
    static std::string text(MailMessage& m) { return *m.completeText(); }

    std::filesystem::path dir;
};

// Every boundary the message declares is closed exactly once.
void expectClosed(const std::string& message) {
    std::regex declared("boundary=\"([^\"]+)\"");
    int levels = 0;
    for (auto it = std::sregex_iterator(message.begin(), message.end(), declared);
         it != std::sregex_iterator(); ++it) {
        ++levels;
        std::string close = "\r\n--" + (*it)[1].str() + "--\r\n";
        size_t at = message.find(close);
        EXPECT_NE(at, std::string::npos) << (*it)[1].str();
        EXPECT_EQ(message.find(close, at + 1), std::string::npos);
    }
    EXPECT_EQ(message.find("boundary=\"", 0) == std::string::npos, levels == 0);
}

TEST_F(MailMessageTest, EveryLayoutIsClosedAndReadsBack) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    struct Layout {
        bool text, html, item, attachment;
    };
    const Layout layouts[] = {
        {true, false, false, false}, {false, true, false, false}, {true, true, false, false},
        {true, false, false, true},  {false, true, true, false},  {true, false, true, false},
        {true, true, true, true},    {false, false, true, true},  {false, false, false, false}};
    for (const Layout& l : layouts) {
        SCOPED_TRACE(testing::Message() << l.text << l.html << l.item << l.attachment);
        auto m = MailMessage::create();
        m->setField(HeaderField::kTo, u"to@example.com");
        m->setField(HeaderField::kSubject, u"layout");
        if (l.text) m->setText(u"the text\r\n");
        if (l.html) m->setHtml(u"<p>the html</p>");
        if (l.item) m->addHtmlItem(u"pic.png", binary, "pic1");
        if (l.attachment) m->addAttachment(u"data.bin", binary);
        std::string message = text(*m);
        expectClosed(message);
        EXPECT_EQ(message.find("multipart/alternative;") != std::string::npos, l.html);
        auto back = reload(*m);
        EXPECT_EQ(back->text(), l.text ? u"the text\r\n" : u"");
        EXPECT_EQ(back->html(), l.html ? u"<p>the html</p>" : u"");
        ASSERT_EQ(back->index().items.size(), l.item ? 1u : 0u);
        ASSERT_EQ(back->index().attachments.size(), l.attachment ? 1u : 0u);
        if (l.item) {
            EXPECT_EQ(back->index().items[0].contentId, "pic1");
            EXPECT_EQ(*back->decodePart(back->index().items[0]), binary);
        }
        if (l.attachment) {
            EXPECT_EQ(*back->decodePart(back->index().attachments[0]), binary);
        }
        // Regenerating the loaded message gives the same parts again.
        back->setField(HeaderField::kCc, u"cc@example.com");
        auto again = reload(*back);
        EXPECT_EQ(again->text(), back->text());
        EXPECT_EQ(again->index().attachments.size(), back->index().attachments.size());
        EXPECT_EQ(*again->field(HeaderField::kCc), u"cc@example.com");
    }
}

TEST_F(MailMessageTest, SaveLoadRegenerateCyclesKeepEveryByte) {
    const std::u16string texts[] = {
        u"no line end",           u"line end\r\n",           u"mixed\rCR\nLF\r\n\r\r\n\n", u"",
        u"trailing blank \r\n\t", u"\u65E5\u672C \u20AC\r\n"};
    for (const std::u16string& t : texts) {
        auto m = MailMessage::create();
        m->setText(t);
        m->setField(HeaderField::kFrom, u"me@example.com");
        std::string first = text(*m);
        // A single-part message neither grows nor loses anything over cycles.
        for (int cycle = 0; cycle < 3; ++cycle) {
            auto back = reload(*m);
            EXPECT_EQ(back->text(), t);
            back->setField(HeaderField::kFrom, u"me@example.com");  // dirty: regenerated
            m = std::move(back);
            EXPECT_EQ(text(*m).size(), first.size());
        }
    }
    // Attachments: every byte value, an empty one, a large one.
    std::string large(3 * 1024 * 1024 + 1, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 7919) >> 3);
    auto m = MailMessage::create();
    m->setText(u"t");
    m->addAttachment(u"empty.dat", "");
    m->addAttachment(u"large.dat", large);
    auto back = reload(*m);
    ASSERT_EQ(back->index().attachments.size(), 2u);
    EXPECT_EQ(*back->decodePart(back->index().attachments[0]), "");
    EXPECT_EQ(*back->decodePart(back->index().attachments[1]), large);
    ASSERT_TRUE(back->savePart(back->index().attachments[1], path("large.out")));
    EXPECT_EQ(readFile("large.out"), large);
    // Not dirty after a load: the file is given back exactly as it was read.
    EXPECT_EQ(text(*back), readFile("cycle.eml"));
}

TEST_F(MailMessageTest, ForeignPartsDecodeWholeAndKeepTheirCharset) {
    std::string data =
        "Subject: =?utf-8?B?w6nDqQ==?=\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "--b\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n"
        "Content-Transfer-Encoding: 8bit\r\n\r\n\xE2\x82\xAC and \xC3\xA9\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=z.bin\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\na=00b=FF=\nc=0D=0A\r\n"
        "--b--\r\n";
    writeFile("in.eml", data);
    auto m = MailMessage::create();
    ASSERT_TRUE(m->load(path("in.eml")));
    EXPECT_EQ(*m->field(HeaderField::kSubject), u"\u00E9\u00E9");
    EXPECT_EQ(m->text(), u"\u20AC and \u00E9");
    // Decoded quoted-printable data reaches the file whole, zero bytes included.
    ASSERT_TRUE(m->savePart(m->index().attachments[0], path("z.bin")));
    EXPECT_EQ(readFile("z.bin"), std::string("a\0b\xFF"
                                             "c\r\n",
                                             7));
    // Regenerated, the text keeps its charset and its 8bit label.
    m->setField(HeaderField::kTo, u"x@example.com");
    std::string out = text(*m);
    EXPECT_NE(out.find("charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit"), std::string::npos);
    EXPECT_EQ(reload(*m)->text(), u"\u20AC and \u00E9");
}

TEST_F(MailMessageTest, SizesAreExactAndDirtyFollowsChanges) {
    auto m = MailMessage::create();
    EXPECT_EQ(m->size(), 0);
    EXPECT_FALSE(m->headersDirty());
    m->setField(HeaderField::kTo, u"a@example.com");
    m->setText(u"text");
    int64_t before = m->size();
    EXPECT_EQ(before, int64_t(text(*m).size()));
    EXPECT_FALSE(m->headersDirty());
    EXPECT_EQ(m->size(), before);
    m->setField(HeaderField::kDate, u"Mon, 1 Jan 2024 00:00:00 +0000");
    EXPECT_TRUE(m->headersDirty());
    EXPECT_EQ(m->size(),
              before + int64_t(std::string("Date: Mon, 1 Jan 2024 00:00:00 +0000\r\n").size()));
    EXPECT_EQ(m->size(), int64_t(text(*m).size()));
    m->addAttachment(u"a.txt", "attached");
    EXPECT_EQ(m->size(), int64_t(text(*m).size()));
    // A recomposition leaves only the body in the file until the message is regenerated.
    m->removeAttachment(0);
    EXPECT_TRUE(m->headersDirty());
    std::string single = text(*m);
    EXPECT_NE(single.find("\r\nContent-Type: text/plain; charset="), std::string::npos);
    EXPECT_EQ(single.find("multipart"), std::string::npos);
    // load keeps the dirty flag as it was.
    writeFile("plain.eml", "Subject: loaded\r\n\r\nbody");
    m->setField(HeaderField::kCc, u"c@example.com");
    ASSERT_TRUE(m->load(path("plain.eml")));
    EXPECT_TRUE(m->headersDirty());
    EXPECT_FALSE(m->field(HeaderField::kCc));
    EXPECT_EQ(m->priority(), 3);
}

TEST_F(MailMessageTest, FailuresChangeNothing) {
    auto m = MailMessage::create();
    m->setText(u"kept");
    std::string before = text(*m);
    EXPECT_FALSE(m->load(path("missing.eml")));
    EXPECT_FALSE(m->save(path("no-such-folder/out.eml")));
    EXPECT_FALSE(m->savePart(m->index().text, path("no-such-folder/t.txt")));
    EXPECT_EQ(text(*m), before);
    EXPECT_FALSE(m->removeAttachment(0));
    EXPECT_FALSE(m->removeHtmlItem(3));
    // A file that cannot be read gives an empty attachment under its name.
    ASSERT_TRUE(m->addAttachment(fromAnsi(path("missing.bin"))));
    ASSERT_EQ(m->index().attachments.size(), 1u);
    EXPECT_EQ(m->index().attachments[0].name, u"missing.bin");
    EXPECT_EQ(*m->decodePart(m->index().attachments[0]), "");
    writeFile("real.txt", "from a file");
    ASSERT_TRUE(m->addHtmlItem(fromAnsi(path("real.txt")), "<id\r\n>"));
    EXPECT_EQ(m->index().items[0].contentId, "id");
    EXPECT_EQ(m->index().items[0].contentType, "text/plain");
    EXPECT_EQ(*m->decodePart(m->index().items[0]), "from a file");
}

}  // namespace
