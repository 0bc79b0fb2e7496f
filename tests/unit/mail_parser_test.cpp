// The message parser on messages of other mailers: fields found only by their whole names,
// LF-only files and mailbox envelopes, defaults where headers are missing, delimiters with and
// without the empty line, broken structures that must not lose content, classification of
// parts, and the bounds (deep nesting, huge header lines) that keep hostile input harmless.
#include <gtest/gtest.h>

#include <string>

#include "host/net/mail_parser.h"

using namespace quill::mail;

namespace {

std::string rangeOf(std::string_view data, const PartRecord& part) {
    if (part.start < 0) return "<none>";
    return std::string(data.substr(size_t(part.start), size_t(part.end - part.start)));
}

TEST(MailParserTest, FieldsAreFoundByTheirWholeNames) {
    std::string data =
        "Delivered-To: wrong-to@example.com\r\n"
        "In-Reply-To: <wrong@example.com>\r\n"
        "X-Original-From: wrong-from@example.com\r\n"
        "Resent-Date: wrong date\r\n"
        "X-Subject: wrong subject\r\n"
        "Received: from a (To: nobody)\r\n"
        "from:   right-from@example.com  \r\n"
        "TO: right-to@example.com,\r\n"
        "\tsecond@example.com\r\n"
        "Subject :spaced colon\r\n"
        "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
        "X-Priority: 1 (Highest)\r\n"
        "\r\n"
        "To: not a header, the body\r\n";
    ParsedMessage m = parseMessage(data);
    EXPECT_EQ(*m.headers.from, u"right-from@example.com");
    EXPECT_EQ(*m.headers.to, u"right-to@example.com, second@example.com");
    EXPECT_EQ(*m.headers.subject, u"spaced colon");
    EXPECT_EQ(*m.headers.date, u"Mon, 1 Jan 2024 10:00:00 +0000");
    EXPECT_FALSE(m.headers.cc);
    EXPECT_EQ(m.headers.priority, 1);
    EXPECT_EQ(rangeOf(data, m.index.text), "To: not a header, the body\r\n");
    EXPECT_EQ(parseMessage("X-Priority: High\r\n\r\n").headers.priority, 3);
    EXPECT_EQ(parseMessage("Subject: x\r\n\r\n").headers.priority, 3);
}

TEST(MailParserTest, PlainMessagesOfOtherMailers) {
    // No Content-Type: plain text, as MIME defines it; LF-only lines; an mbox envelope line;
    // a field-less first line starts the body.
    std::string lf =
        "From someone@example.com Mon Jan  1 00:00:00 2024\nSubject: lf\n\nline 1\nline 2\n";
    ParsedMessage m = parseMessage(lf);
    EXPECT_EQ(*m.headers.subject, u"lf");
    EXPECT_FALSE(m.headers.from);
    EXPECT_EQ(rangeOf(lf, m.index.text), "line 1\nline 2\n");
    EXPECT_TRUE(m.index.attachments.empty());
    std::string noSeparator = "Subject: s\r\nthis line is no field\r\nmore\r\n";
    EXPECT_EQ(rangeOf(noSeparator, parseMessage(noSeparator).index.text),
              "this line is no field\r\nmore\r\n");
    std::string headersOnly = "Subject: only";
    EXPECT_EQ(*parseMessage(headersOnly).headers.subject, u"only");
    EXPECT_EQ(parseMessage("").index.text.end, 0);
    // A single part of another type is an attachment with a made-up name.
    std::string pdf =
        "Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBE\r\n";
    ParsedMessage p = parseMessage(pdf);
    ASSERT_EQ(p.index.attachments.size(), 1u);
    EXPECT_EQ(p.index.attachments[0].name, u"attachment 1");
    EXPECT_EQ(p.index.attachments[0].encoding, Encoding::kBase64);
    EXPECT_EQ(p.index.text.start, -1);
}

TEST(MailParserTest, PartsEndAtTheLineEndBeforeTheDelimiter) {
    std::string data =
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "preamble --b not at a line start\r\n"
        "--b\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n\r\n"
        "text without an empty line\r\n"
        "--b  \t\r\n"  // transport padding after the boundary
        "Content-Type: text/html\r\n\r\n"
        "<p>html</p>\r\n\r\n"
        "--b\r\n"
        "Content-Type: image/png; name=\"p.png\"\r\nContent-Disposition: attachment\r\n\r\n"
        "--bogus\r\n--b-not-it\r\n"
        "--b--\r\n"
        "epilogue\r\n";
    ParsedMessage m = parseMessage(data);
    EXPECT_EQ(rangeOf(data, m.index.text), "text without an empty line");
    EXPECT_EQ(m.index.text.charset, "utf-8");
    EXPECT_EQ(rangeOf(data, m.index.html), "<p>html</p>\r\n");
    ASSERT_EQ(m.index.attachments.size(), 1u);
    EXPECT_EQ(rangeOf(data, m.index.attachments[0]), "--bogus\r\n--b-not-it");
    EXPECT_EQ(m.index.attachments[0].name, u"p.png");
}

TEST(MailParserTest, BrokenStructuresKeepTheirContent) {
    // A multipart whose boundary never appears, or that has none, is kept whole.
    std::string noDelimiter =
        "Content-Type: multipart/mixed; boundary=\"zz\"\r\n\r\nall the content\r\n";
    ParsedMessage a = parseMessage(noDelimiter);
    ASSERT_EQ(a.index.attachments.size(), 1u);
    EXPECT_EQ(rangeOf(noDelimiter, a.index.attachments[0]), "all the content\r\n");
    EXPECT_EQ(parseMessage("Content-Type: multipart/mixed\r\n\r\nx").index.attachments.size(), 1u);
    // Missing closing delimiters: the last part runs to the end; inner levels close with the
    // outer delimiter.
    std::string unclosed =
        "Content-Type: multipart/mixed; boundary=o\n\n--o\n"
        "Content-Type: multipart/alternative; boundary=i\n\n--i\n\ninner text\n"
        "--o\nContent-Type: text/html\n\nouter html\n";
    ParsedMessage b = parseMessage(unclosed);
    EXPECT_EQ(rangeOf(unclosed, b.index.text), "inner text");
    EXPECT_EQ(rangeOf(unclosed, b.index.html), "outer html\n");
    // A part whose headers run into a delimiter is empty; a digest's parts are messages.
    std::string digest =
        "Content-Type: multipart/digest; boundary=d\r\n\r\n--d\r\nSubject: inner\r\n\r\nhi\r\n"
        "--d\r\nContent-Type: text/plain\r\n--d--\r\n";
    ParsedMessage c = parseMessage(digest);
    ASSERT_EQ(c.index.attachments.size(), 1u);
    EXPECT_EQ(c.index.attachments[0].contentType, "message/rfc822");
    EXPECT_EQ(rangeOf(digest, c.index.attachments[0]), "hi");
    EXPECT_EQ(rangeOf(digest, c.index.text), "");
}

TEST(MailParserTest, LeavesAreClassifiedAsUsersExpect) {
    std::string data =
        "Content-Type: multipart/related; boundary=r\r\n\r\n"
        "--r\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: "
        "Quoted-Printable\r\n\r\nt\r\n"
        "--r\r\nContent-Type: image/gif; name*=utf-8''%C3%A9.gif\r\nContent-ID: <id@x>\r\n\r\ng\r\n"
        "--r\r\nContent-Type: text/css; name=\"s.css\"\r\nContent-ID: <css>\r\n\r\nc\r\n"
        "--r\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n\r\nn\r\n"
        "--r\r\nContent-Type: text/plain\r\nContent-Disposition: ATTACHMENT; "
        "filename=a.txt\r\n\r\na\r\n"
        "--r\r\nContent-Type: image/png\r\nContent-ID: nobrackets\r\n\r\np\r\n"
        "--r--\r\n";
    ParsedMessage m = parseMessage(data);
    EXPECT_EQ(rangeOf(data, m.index.text), "t");
    EXPECT_EQ(m.index.text.encoding, Encoding::kQuotedPrintable);
    ASSERT_EQ(m.index.items.size(), 4u);
    EXPECT_EQ(m.index.items[0].name, u"\u00E9.gif");
    EXPECT_EQ(m.index.items[0].contentId, "id@x");
    EXPECT_EQ(m.index.items[1].name, u"s.css") << "a named text part is an item, not the text";
    EXPECT_EQ(m.index.items[2].name, u"notes.txt");
    EXPECT_EQ(m.index.items[3].contentId, "nobrackets");
    EXPECT_EQ(m.index.items[3].name, u"item 4");
    ASSERT_EQ(m.index.attachments.size(), 1u);
    EXPECT_EQ(m.index.attachments[0].name, u"a.txt");
    EXPECT_EQ(m.index.attachments[0].encodingLabel, "7bit");
}

TEST(MailParserTest, HostileNestingAndHeaderSizesAreBounded) {
    // 300 levels, each closed properly, with the text at the bottom.
    std::string deep = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 1; i < 300; ++i) {
        deep += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                std::to_string(i) + "\r\n\r\n";
    }
    deep += "--b299\r\n\r\nbottom\r\n";
    for (int i = 299; i >= 0; --i) deep += "--b" + std::to_string(i) + "--\r\n";
    EXPECT_EQ(rangeOf(deep, parseMessage(deep).index.text), "bottom");
    // Past the depth bound the rest is one attachment; nothing recurses.
    std::string deeper;
    for (size_t i = 0; i < kMaxNestingDepth + 50; ++i) {
        std::string b = "x" + std::to_string(i);
        deeper += "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n";
    }
    ParsedMessage d = parseMessage(deeper);
    EXPECT_EQ(d.index.attachments.size(), 1u);
    // A 256 KB header line and a long folded one.
    std::string longValue(256 * 1024, 'v');
    std::string huge = "Subject: " + longValue + "\r\nX-Long: a\r\n" + std::string(100000, ' ') +
                       "b\r\nContent-Type: text/plain; name=\"" + longValue + "\"\r\n\r\nbody";
    ParsedMessage h = parseMessage(huge);
    EXPECT_EQ(h.headers.subject->size(), longValue.size());
    EXPECT_EQ(h.index.attachments.at(0).name.size(), kMaxNameLength);
    // Many tiny parts stop being indexed at the bound.
    std::string many = "Content-Type: multipart/mixed; boundary=m\n\n";
    for (size_t i = 0; i < kMaxIndexedParts + 10; ++i) many += "--m\nContent-Type: a/b\n\n";
    EXPECT_EQ(parseMessage(many).index.attachments.size(), kMaxIndexedParts);
}

}  // namespace
