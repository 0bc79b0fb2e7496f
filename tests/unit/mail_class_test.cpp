// The Mail script class: what a script sees of the message (the header block of a fresh
// message, property conversions, integer-only indexes and priorities), attachments and items
// through files and StringStreams, saving into a folder under the safe name, and the
// temporary file that goes with the object.
#include "stream_test_support.h"

using namespace quill;
using namespace quill::test;

namespace {

class MailClassTest : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        useScratchAsTemp();
    }
    std::string text(const ScriptValue& v) { return str(v); }
};

TEST_F(MailClassTest, AFreshMessageWithToAndText) {
    ScriptValue m = construct("Mail");
    ASSERT_EQ(m.tag, uint32_t(kTagHost));
    EXPECT_EQ(text(call(m, "toString")), "[object Mail]");
    EXPECT_EQ(integer(get(m, "size")), 0);
    EXPECT_EQ(text(get(m, "subject")), "");
    EXPECT_EQ(integer(get(m, "priority")), 0);
    set(m, "to", s("bob@example.com"));
    set(m, "text", s("a=b"));
    EXPECT_EQ(text(call(m, "asText")),
              "From:  \r\nTo: bob@example.com\r\nSubject: \r\nMIME-Version: 1.0\r\n"
              "X-Mailer: Plexor.Quill\r\nX-Priority: 0\r\n"
              "Content-Type: text/plain; charset=\"windows-1252\"\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n\r\na=3Db=\r\n");
    EXPECT_EQ(text(get(m, "text")), "a=b");
    // Assignments convert to strings; the priority takes integers only.
    set(m, "cc", makeInteger(42));
    EXPECT_EQ(text(get(m, "cc")), "42");
    set(m, "priority", s("1"));
    set(m, "priority", makeNumber(2.0));
    EXPECT_EQ(integer(get(m, "priority")), 0);
    set(m, "priority", makeInteger(5));
    EXPECT_EQ(integer(get(m, "priority")), 5);
    set(m, "subject", wide(u"caf\u00E9"));
    EXPECT_NE(text(call(m, "asText")).find("Subject: =?windows-1252?B?Y2Fm6Q==?=\r\n"),
              std::string::npos);
    EXPECT_EQ(integer(get(m, "size")), int64_t(text(call(m, "asText")).size()));
}

TEST_F(MailClassTest, AttachmentsAndItemsThroughFilesAndStreams) {
    writeFile("photo.png", std::string("\x89PNG\0\x01", 6));
    ScriptValue m = construct("Mail");
    call(m, "addAttachment", {s(path("photo.png"))});
    call(m, "addAttachment", {bytes(std::string("\0\xFF", 2)), s("raw.bin")});
    call(m, "addAttachment", {bytes("no name")});  // a stream needs a name
    call(m, "addAttachment", {makeInteger(1)});
    EXPECT_EQ(integer(get(m, "attachmentCount")), 2);
    EXPECT_EQ(text(call(m, "getAttachmentName", {makeInteger(0)})), "photo.png");
    EXPECT_EQ(text(call(m, "getAttachmentContentType", {makeInteger(0)})), "image/png");
    EXPECT_EQ(content(call(m, "saveAttachment", {makeInteger(1)})), std::string("\0\xFF", 2));
    call(m, "saveAttachment", {makeInteger(0), s(path("copy.png"))});
    EXPECT_EQ(readFile("copy.png"), readFile("photo.png"));
    // Indexes are integers within the count; anything else does nothing.
    for (ScriptValue bad : {makeInteger(-1), makeInteger(2), makeNumber(0.0), s("0")}) {
        EXPECT_TRUE(call(m, "getAttachmentName", {bad}).isUndefined());
        EXPECT_TRUE(call(m, "saveAttachment", {bad}).isUndefined());
        call(m, "removeAttachment", {bad});
    }
    EXPECT_EQ(integer(get(m, "attachmentCount")), 2);

    set(m, "html", s("<img src=\"cid:img1\">"));
    call(m, "addHtmlItem", {s(path("photo.png")), s("img1")});
    call(m, "addHtmlItem", {bytes("GIF89a"), s("img2"), s("dot.gif")});
    EXPECT_EQ(integer(get(m, "htmlItemCount")), 2);
    EXPECT_EQ(text(call(m, "getHtmlItemID", {makeInteger(0)})), "img1");
    EXPECT_EQ(text(call(m, "getHtmlItemName", {makeInteger(0)})), "photo.png");
    EXPECT_EQ(text(call(m, "getHtmlItemName", {makeInteger(1)})), "dot.gif");
    EXPECT_EQ(content(call(m, "saveHtmlItem", {makeInteger(1)})), "GIF89a");
    call(m, "removeHtmlItem", {makeInteger(0)});
    call(m, "removeAttachment", {makeInteger(0)});
    EXPECT_EQ(integer(get(m, "htmlItemCount")), 1);
    EXPECT_EQ(text(call(m, "getAttachmentName", {makeInteger(0)})), "raw.bin");
    call(m, "save", {s(path("out.eml"))});
    ScriptValue back = construct("Mail");
    call(back, "load", {s(path("out.eml"))});
    EXPECT_EQ(text(get(back, "html")), "<img src=\"cid:img1\">");
    EXPECT_EQ(text(call(back, "getHtmlItemID", {makeInteger(0)})), "img2");
    EXPECT_EQ(content(call(back, "saveHtmlItem", {makeInteger(0)})), "GIF89a");
}

TEST_F(MailClassTest, ReceivedNamesAreSafeAsFileNames) {
    writeFile(
        "evil.eml",
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain; name=\"..\\\\..\\\\escape.txt\"\r\n"
        "Content-Disposition: attachment\r\n\r\nx\r\n"
        "--b\r\nContent-Type: a/b; name=\"CON.txt\"\r\nContent-Disposition: attachment\r\n\r\n"
        "y\r\n--b--\r\n");
    ScriptValue m = construct("Mail");
    call(m, "load", {s(path("evil.eml"))});
    EXPECT_EQ(text(call(m, "getAttachmentName", {makeInteger(0)})), "escape.txt");
    EXPECT_EQ(text(call(m, "getAttachmentName", {makeInteger(1)})), "attachment 2");
    // A folder path (ending in a separator) gets the safe name.
    std::filesystem::create_directories(dir / "inbox");
    std::string folder = path("inbox") + "/";
    call(m, "saveAttachment", {makeInteger(0), s(folder)});
    call(m, "saveAttachment", {makeInteger(1), s(folder)});
    EXPECT_EQ(readFile("inbox/escape.txt"), "x");
    EXPECT_EQ(readFile("inbox/attachment 2"), "y");
    EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
    // Loading a missing file keeps the message; the temporary file goes with the object.
    call(m, "load", {s(path("missing.eml"))});
    EXPECT_EQ(integer(get(m, "attachmentCount")), 2);
    size_t files = filesInScratch();
    ScriptValue extra = construct("Mail");
    EXPECT_EQ(filesInScratch(), files + 1);
    setGlobal(engine, "kept", extra);
    engine->returnSlot = makeUndefined();
    collect(engine, engine->stackTop);
    EXPECT_EQ(filesInScratch(), files) << "the unreachable message's file is deleted";
}

}  // namespace
