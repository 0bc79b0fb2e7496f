// The MX query bytes and the reply reader: the names servers write (plain and compressed), the
// records it skips, and replies that are cut short, loop, overstate their counts or carry names
// too long, which all end in no answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/net/dns_message.h"

namespace quill::dns {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes* out, uint16_t v) {
    out->push_back(uint8_t(v >> 8));
    out->push_back(uint8_t(v));
}
Bytes name(std::initializer_list<std::string> labels) {
    Bytes out;
    for (const std::string& label : labels) {
        out.push_back(uint8_t(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    out.push_back(0);
    return out;
}
Bytes pointer(uint16_t offset) {
    return {uint8_t(0xC0 | (offset >> 8)), uint8_t(offset)};
}

// A reply: header, the question for example.test, then the records as given.
struct Reply {
    uint16_t id = kQueryId;
    uint16_t flags = 0x8180;
    uint16_t answers = 0;
    Bytes records;

    void record(const Bytes& owner, uint16_t type, const Bytes& data) {
        records.insert(records.end(), owner.begin(), owner.end());
        put16(&records, type);
        put16(&records, kClassIn);
        records.insert(records.end(), {0, 0, 0, 60});
        put16(&records, uint16_t(data.size()));
        records.insert(records.end(), data.begin(), data.end());
        ++answers;
    }
    void mx(const Bytes& owner, uint16_t preference, const Bytes& exchange) {
        Bytes data;
        put16(&data, preference);
        data.insert(data.end(), exchange.begin(), exchange.end());
        record(owner, kTypeMx, data);
    }
    Bytes build() const {
        Bytes out;
        put16(&out, id);
        put16(&out, flags);
        put16(&out, 1);
        put16(&out, answers);
        put16(&out, 0);
        put16(&out, 0);
        Bytes q = name({"example", "test"});
        out.insert(out.end(), q.begin(), q.end());
        put16(&out, kTypeMx);
        put16(&out, kClassIn);
        out.insert(out.end(), records.begin(), records.end());
        return out;
    }
};
constexpr uint16_t kQuestionName = 12;
constexpr size_t kAnswersStart = 12 + 14 + 4;

std::string show(const std::optional<std::vector<MxRecord>>& records) {
    if (!records) return "none";
    std::string out;
    for (const MxRecord& r : *records) out += std::to_string(r.preference) + " " + r.name + ";";
    return out;
}
std::string parse(const Bytes& reply) {
    return show(parseMxReply(reply.data(), reply.size()));
}

TEST(DnsMessageTest, QueryCarriesTheDomainAsLabels) {
    auto query = buildMxQuery("example.test");
    ASSERT_TRUE(query);
    std::string expected = std::string("\0\x1e", 2) + "FF" +
                           std::string("\x01\0\0\x01\0\0\0\0\0\0", 10) +
                           "\x07"
                           "example"
                           "\x04"
                           "test" +
                           std::string("\0\0\x0f\0\x01", 5);
    EXPECT_EQ(*query, expected);
    EXPECT_EQ(query->size(), 2 + std::string("example.test").size() + 18);
    EXPECT_EQ(buildMxQuery("example.test."), query);
    for (const char* bad : {"", ".", "a..b", ".a", "a b.."}) {
        EXPECT_FALSE(buildMxQuery(bad)) << bad;
    }
    EXPECT_TRUE(buildMxQuery(std::string(63, 'a') + ".b"));
    EXPECT_FALSE(buildMxQuery(std::string(64, 'a') + ".b"));
    std::string longest;  // 4 labels of 62 and one of 1: 4 * 63 + 2 + 1 = 255 bytes on the wire
    for (int i = 0; i < 4; ++i) longest += std::string(62, 'a' + i) + ".";
    EXPECT_TRUE(buildMxQuery(longest + "e"));
    EXPECT_FALSE(buildMxQuery(longest + "ef"));
}

TEST(DnsMessageTest, ReadsPlainAndCompressedNamesInReplyOrder) {
    Reply plain;  // the way dnsmasq writes --mx-host answers
    plain.mx(pointer(kQuestionName), 20, name({"backup", "example", "test"}));
    plain.mx(pointer(kQuestionName), 10, name({"mail", "example", "test"}));
    EXPECT_EQ(parse(plain.build()), "20 backup.example.test;10 mail.example.test;");

    Reply compressed;
    Bytes first = {3, 'm', 'x', '1'};
    Bytes tail = pointer(kQuestionName);
    first.insert(first.end(), tail.begin(), tail.end());
    compressed.mx(pointer(kQuestionName), 5, first);
    // The second exchange points at the first one's "mx1" label (answer start + 14).
    Bytes second = {3, 'm', 'x', '2'};
    Bytes back = pointer(uint16_t(kAnswersStart + 14));
    second.insert(second.end(), back.begin(), back.end());
    compressed.mx(pointer(kQuestionName), 10, second);
    EXPECT_EQ(parse(compressed.build()), "5 mx1.example.test;10 mx2.mx1.example.test;");

    Reply mixed;  // a CNAME first, then the MX record of its target; the root as exchange
    mixed.record(pointer(kQuestionName), 5, name({"alias", "test"}));
    mixed.mx(name({"alias", "test"}), 0, name({}));
    EXPECT_EQ(parse(mixed.build()), "0 ;");

    Reply none;
    EXPECT_EQ(parse(none.build()), "");
}

TEST(DnsMessageTest, RepliesNotMeantForUsGiveNothing) {
    Reply other;
    other.id = 0x1234;
    EXPECT_EQ(parse(other.build()), "none");
    Reply query;
    query.flags = 0x0100;  // a query, not a response
    EXPECT_EQ(parse(query.build()), "none");
}

TEST(DnsMessageTest, EveryCutOfAReplyGivesNothing) {
    Reply reply;
    reply.mx(pointer(kQuestionName), 10, name({"mail", "example", "test"}));
    reply.mx(pointer(kQuestionName), 20, name({"backup", "example", "test"}));
    Bytes whole = reply.build();
    ASSERT_NE(parse(whole), "none");
    for (size_t n = 0; n < whole.size(); ++n) {
        Bytes cut(whole.begin(), whole.begin() + long(n));
        EXPECT_EQ(parse(cut), "none") << n << " bytes";
    }
    EXPECT_EQ(parseMxReply(nullptr, 0), std::nullopt);
}

TEST(DnsMessageTest, LoopsOverstatementsAndOverlongNamesGiveNothing) {
    Reply self;  // the exchange name points at itself
    self.mx(pointer(kQuestionName), 5, pointer(uint16_t(kAnswersStart + 14)));
    EXPECT_EQ(parse(self.build()), "none");

    Reply forward;  // points ahead of itself
    forward.mx(pointer(kQuestionName), 5, pointer(uint16_t(kAnswersStart + 14 + 2)));
    EXPECT_EQ(parse(forward.build()), "none");

    Reply claims;  // says three answers, holds one
    claims.mx(pointer(kQuestionName), 5, name({"mx", "example", "test"}));
    claims.answers = 3;
    EXPECT_EQ(parse(claims.build()), "none");

    Reply reserved;  // label kinds 01 and 10 are not in use
    reserved.mx(pointer(kQuestionName), 5, {0x40, 0});
    EXPECT_EQ(parse(reserved.build()), "none");

    Reply length;  // the data length disagrees with the name it holds
    length.mx(pointer(kQuestionName), 5, name({"mx", "example", "test"}));
    length.records[11] += 1;
    length.records.push_back(0);
    EXPECT_EQ(parse(length.build()), "none");

    // A name of 4 x 63-byte labels is 257 bytes on the wire; one built by pointers as well.
    Reply big;
    std::string label(62, 'x');
    big.mx(pointer(kQuestionName), 5, name({label, label, label, label}));
    EXPECT_NE(parse(big.build()), "none");  // 253 bytes: fits
    Reply huge;
    std::string label63(63, 'y');
    huge.mx(pointer(kQuestionName), 5, name({label63, label63, label63, label63}));
    EXPECT_EQ(parse(huge.build()), "none");
    Reply chained;  // each exchange is one label before the previous one: the fourth is too long
    size_t previous = 0;
    for (int i = 0; i < 4; ++i) {
        size_t start = kAnswersStart + chained.records.size() + 14;
        Bytes exchange = name({label63});
        if (i > 0) {
            exchange.pop_back();  // the root label gives way to the previous exchange
            Bytes link = pointer(uint16_t(previous));
            exchange.insert(exchange.end(), link.begin(), link.end());
        }
        chained.mx(pointer(kQuestionName), uint16_t(i), exchange);
        previous = start;
    }
    EXPECT_EQ(parse(chained.build()), "none");
}

}  // namespace
}  // namespace quill::dns
