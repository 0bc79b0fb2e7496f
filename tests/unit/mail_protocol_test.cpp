// The byte rules of the mail dialogues without a server: the keyed digest of CRAM-MD5 against the
// published examples, the AUTH line of EHLO replies, recipients, reply codes and listings, and
// the transparency of message text in both directions however the bytes are split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/net/mail_protocol.h"
#include "host/net/md5.h"

namespace quill::mail {
namespace {

std::string hex(const net::Md5Digest& d) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : d) out += {kHex[b >> 4], kHex[b & 15]};
    return out;
}

TEST(MailProtocolTest, KeyedDigestsMatchThePublishedExamples) {
    EXPECT_EQ(hex(net::hmacMd5(std::string(16, '\x0b'), "Hi There")),
              "9294727a3638bb1c13f48ef8158bfc9d");
    EXPECT_EQ(hex(net::hmacMd5("Jefe", "what do ya want for nothing?")),
              "750c783e6ab0b503eaa86e310a5db738");
    // A key longer than the block is hashed first.
    EXPECT_EQ(hex(net::hmacMd5(std::string(80, '\xaa'),
                               "Test Using Larger Than Block-Size Key - Hash Key First")),
              "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
    EXPECT_EQ(cramMd5Answer("tim", "tanstaaftanstaaf",
                            "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n"),
              "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(MailProtocolTest, FindsTheOfferedMechanisms) {
    EXPECT_EQ(offeredAuthMechanisms("250-mail.test\r\n250-SIZE 100\r\n250 AUTH LOGIN PLAIN\r\n"),
              kAuthLogin | kAuthPlain);
    EXPECT_EQ(offeredAuthMechanisms("250-mail.test\r\n250-auth=plain Cram-MD5\r\n250 OK\r\n"),
              kAuthPlain | kAuthCramMd5);
    EXPECT_EQ(offeredAuthMechanisms("250-mail.test\r\n250-AUTH GSSAPI XOAUTH2\r\n250 OK\r\n"), 0u);
    // Only at the start of a line, and only as the keyword.
    EXPECT_EQ(offeredAuthMechanisms("250-x 250-AUTH LOGIN\r\n250-AUTHX PLAIN\r\n250 OK\r\n"), 0u);
    EXPECT_EQ(offeredAuthMechanisms("250 AUTH"), 0u);
}

TEST(MailProtocolTest, ReadsReplyCodesAndRecipients) {
    EXPECT_TRUE(isFinalSmtpLine("250 OK"));
    EXPECT_TRUE(isFinalSmtpLine("250"));
    EXPECT_FALSE(isFinalSmtpLine("250-more"));
    EXPECT_FALSE(isFinalSmtpLine("25"));
    EXPECT_TRUE(smtpReplyIn("354 go ahead\r\n", 300));
    EXPECT_FALSE(smtpReplyIn("400 no\r\n", 300));
    EXPECT_FALSE(smtpReplyIn("garbage", 200));
    EXPECT_FALSE(smtpReplyIn("2500000000000000000 overflow", 200));

    EXPECT_EQ(recipientAddresses("a@x, Bob <b@y>,c@z>junk, ,<d@w"),
              (std::vector<std::string>{"a@x", "b@y", "c@z", "d@w"}));
    // Spaces in a piece without brackets go out as they are.
    EXPECT_EQ(recipientAddresses(" a@x"), std::vector<std::string>{" a@x"});
    // The sender: a display name (even with a comma or brackets after) is not sent to MAIL FROM.
    EXPECT_EQ(senderAddress("Lovelace, Ada <ada@x> (home)"), "ada@x");
    EXPECT_EQ(senderAddress("  ada@x \t"), "ada@x");
    EXPECT_EQ(senderAddress("<ada@x"), "ada@x");
    EXPECT_EQ(senderAddress(""), "");
}

TEST(MailProtocolTest, ReadsPop3StatusAndListings) {
    EXPECT_EQ(pop3StatusText("+OK 3 1200\r\n"), "3 1200");
    EXPECT_EQ(pop3ListedSize("+OK 2 512\r\n"), 512);
    EXPECT_EQ(pop3ListedId("+OK 2 abc-123\r\n"), "abc-123");
    EXPECT_FALSE(pop3ListedSize("-ERR no such message\r\n"));
    EXPECT_FALSE(pop3ListedSize("+OK two 512\r\n"));

    auto sizes = pop3Listing("+OK 3 messages\r\n1 10\r\n3 30\r\n2 20\r\n.\r\n", true);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(*sizes[0], "10");
    EXPECT_EQ(*sizes[2], "30");
    // A number far past the listing would make a huge array: such lines are skipped.
    auto odd = pop3Listing("+OK\r\n99999999999 1\r\n0 5\r\n-1 5\r\n2 x\r\n4 y\r\n.\r\n", false);
    ASSERT_EQ(odd.size(), 4u);
    EXPECT_EQ(*odd[1], "x");
    EXPECT_FALSE(odd[0]);
}

// Every split of the input into two pieces gives the same result.
template <typename Run>
void forEverySplit(const std::string& input, Run run) {
    for (size_t cut = 0; cut <= input.size(); ++cut) {
        SCOPED_TRACE(cut);
        run(std::string_view(input).substr(0, cut), std::string_view(input).substr(cut));
    }
}

TEST(MailProtocolTest, DotStuffingGoesOutAndComesOffAgain) {
    const std::string text = ".first\r\nplain\r\n.\r\n..\r\nbare lf\nlast";
    const std::string wire = "..first\r\nplain\r\n..\r\n...\r\nbare lf\r\nlast\r\n";
    forEverySplit(text, [&](std::string_view a, std::string_view b) {
        SmtpLineWriter writer;
        std::string out;
        auto take = [&](std::string_view line) {
            out.append(line);
            return true;
        };
        writer.add(a, take);
        writer.add(b, take);
        writer.finish(take);
        EXPECT_EQ(out, wire);
    });

    const std::string incoming = wire + ".\r\nafter the end\r\n";
    forEverySplit(incoming, [&](std::string_view a, std::string_view b) {
        Pop3MessageReader reader;
        std::string out;
        reader.add(a, out);
        reader.add(b, out);
        EXPECT_TRUE(reader.ended());
        EXPECT_EQ(out, ".first\r\nplain\r\n.\r\n..\r\nbare lf\r\nlast\r\n");
    });

    // An empty message ends at once; a message without its end line is not ended.
    Pop3MessageReader empty;
    std::string out;
    empty.add(".\r\n", out);
    EXPECT_TRUE(empty.ended());
    EXPECT_EQ(out, "");
    Pop3MessageReader open;
    open.add("text\r\n.", out);
    EXPECT_FALSE(open.ended());
    EXPECT_EQ(out, "text\r\n");
}

TEST(MailProtocolTest, AWriterStoppedByItsCallbackSendsNoMore) {
    SmtpLineWriter writer;
    int lines = 0;
    EXPECT_FALSE(writer.add("a\r\nb\r\nc\r\n", [&](std::string_view) { return ++lines < 2; }));
    EXPECT_EQ(lines, 2);
}

}  // namespace
}  // namespace quill::mail
