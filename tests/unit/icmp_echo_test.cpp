// Echo requests as the wire carries them, and which received datagrams count as the reply: only
// an echo reply from the pinged address with our identifier and this request's sequence number.
#include <gtest/gtest.h>

#include <vector>

#include "host/net/icmp_echo.h"

namespace quill::icmp {
namespace {

// A datagram as a raw socket hands it over: an IP header of `headerWords` 32-bit words, then
// the ICMP message.
std::vector<uint8_t> datagram(uint32_t from, const uint8_t* icmp, size_t length,
                              int headerWords = 5) {
    std::vector<uint8_t> out(size_t(headerWords) * 4, 0);
    out[0] = uint8_t(0x40 | headerWords);
    out[8] = 57;  // TTL
    out[9] = 1;   // ICMP
    for (int i = 0; i < 4; ++i) out[12 + i] = uint8_t(from >> (24 - 8 * i));
    out.insert(out.end(), icmp, icmp + length);
    return out;
}

TEST(IcmpEchoTest, RequestCarriesTheFieldsAndAValidChecksum) {
    auto packet = buildEchoRequest(0x1234, 0x0102, 0xA0B0C0D0);
    EXPECT_EQ(packet[0], 8);
    EXPECT_EQ(packet[1], 0);
    EXPECT_EQ((std::vector<uint8_t>(packet.begin() + 4, packet.begin() + 12)),
              (std::vector<uint8_t>{0x34, 0x12, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}));
    for (size_t i = 0; i < kEchoDataLength; ++i) EXPECT_EQ(packet[12 + i], 32 + i);
    // Summing a message with its checksum in place gives zero.
    EXPECT_EQ(internetChecksum(packet.data(), packet.size()), 0);
    const uint8_t odd[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(internetChecksum(odd, 3), uint16_t(~(0x0102 + 0x0300)));
}

TEST(IcmpEchoTest, OnlyTheReplyToThisRequestMatches) {
    const uint32_t target = 0x7F000001;
    auto reply = buildEchoRequest(7, 3, 1000);
    reply[0] = 0;
    auto match = [&](const std::vector<uint8_t>& d, uint32_t source = 0x7F000001) {
        return matchEchoReply(d.data(), d.size(), source, 7, 3).has_value();
    };
    auto good = datagram(target, reply.data(), reply.size());
    auto echo = matchEchoReply(good.data(), good.size(), target, 7, 3);
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->ttl, 57);
    EXPECT_EQ(echo->tick, 1000u);
    EXPECT_TRUE(match(datagram(target, reply.data(), reply.size(), 7)));  // IP options

    EXPECT_FALSE(match(good, 0x7F000002));        // another host
    auto request = buildEchoRequest(7, 3, 1000);  // our own request
    EXPECT_FALSE(match(datagram(target, request.data(), request.size())));
    auto otherId = buildEchoRequest(8, 3, 1000);
    otherId[0] = 0;
    EXPECT_FALSE(match(datagram(target, otherId.data(), otherId.size())));
    auto earlier = buildEchoRequest(7, 2, 1000);
    earlier[0] = 0;
    EXPECT_FALSE(match(datagram(target, earlier.data(), earlier.size())));
    for (size_t cut = 0; cut < 32; ++cut)
        EXPECT_FALSE(match({good.begin(), good.begin() + long(cut)}));
    auto notIcmp = good;
    notIcmp[9] = 17;
    EXPECT_FALSE(match(notIcmp));
    auto shortHeader = good;
    shortHeader[0] = 0x44;  // a header length below 20 bytes
    EXPECT_FALSE(match(shortHeader));
    auto longHeader = good;
    longHeader[0] = 0x4F;  // 60 bytes of header: more than the datagram holds
    EXPECT_FALSE(match(longHeader));
}

}  // namespace
}  // namespace quill::icmp
