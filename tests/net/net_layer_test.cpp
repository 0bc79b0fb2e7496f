// The socket layer and the MX lookup against real loopback servers and scripted peers, on both
// builds (BSD sockets natively, Winsock under Wine): time-outs end every wait, a refused or full
// peer is reported as such, lines are read whole or refused, and DNS replies real or hostile end
// in records or in the empty result.
#include <algorithm>
#include <string>
#include <vector>

#include "host/net/mx_lookup.h"
#include "net_test_support.h"
#include "platform/net_socket.h"

namespace quill::test {
namespace {

using platform::NetStatus;
using platform::TcpConnection;

constexpr platform::TcpTimeouts kShort{300, 300, 300};

TEST(TcpConnectionTest, ExchangesAMegabyteWithAnEchoPeer) {
    Endpoint echo = server("ECHO");
    TcpConnection c;
    ASSERT_TRUE(c.connect(echo.host, echo.port)) << c.error().text;
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 131 % 256);
    // The echo sends back while we are still sending: both buffers must not fill for good.
    std::string back(data.size(), '\0');
    size_t sent = 0, received = 0;
    while (received < data.size()) {
        if (sent < data.size()) {
            size_t piece = std::min<size_t>(65536, data.size() - sent);
            ASSERT_TRUE(c.sendAll(data.data() + sent, piece)) << c.error().text;
            sent += piece;
        }
        ptrdiff_t got = c.receiveSome(back.data() + received, back.size() - received);
        ASSERT_GT(got, 0) << c.error().text;
        received += size_t(got);
    }
    EXPECT_EQ(back, data);
}

TEST(TcpConnectionTest, ReportsRefusedUnknownAndTimedOutConnections) {
    TcpConnection c;
    Endpoint closed = server("CLOSED");
    EXPECT_FALSE(c.connect(closed.host, closed.port, kShort));
    EXPECT_EQ(c.error().status, NetStatus::kRefused) << c.error().text;
    EXPECT_FALSE(c.isOpen());

    // Names the resolver is never asked about: nothing leaves this machine.
    EXPECT_FALSE(c.connect(std::string(300, 'a'), 25, kShort));
    EXPECT_EQ(c.error().status, NetStatus::kUnknownHost);
    EXPECT_FALSE(c.connect("", 25, kShort));
    EXPECT_EQ(c.error().status, NetStatus::kUnknownHost);

    Endpoint full = server("FULL");
    EXPECT_FALSE(c.connect(full.host, full.port, kShort));
    EXPECT_EQ(c.error().status, NetStatus::kTimedOut) << c.error().text;
}

TEST(TcpConnectionTest, SilentPeerEndsReadsByTheirTimeOut) {
    Endpoint silent = server("SILENT");
    TcpConnection c;
    ASSERT_TRUE(c.connect(silent.host, silent.port, kShort));
    char byte;
    EXPECT_EQ(c.receiveSome(&byte, 1), -1);
    EXPECT_EQ(c.error().status, NetStatus::kTimedOut);
    std::string line;
    EXPECT_FALSE(c.readLine(&line));
    EXPECT_EQ(c.error().status, NetStatus::kTimedOut);
}

TEST(TcpConnectionTest, ReadsLinesAndNoticesTheirEnd) {
    Endpoint lines = server("LINES");
    TcpConnection c;
    ASSERT_TRUE(c.connect(lines.host, lines.port, kShort));
    std::string line;
    ASSERT_TRUE(c.readLine(&line)) << c.error().text;
    EXPECT_EQ(line, "220 ready");
    ASSERT_TRUE(c.readLine(&line)) << c.error().text;
    EXPECT_EQ(line, "second line");   // a bare LF ends a line too
    EXPECT_FALSE(c.readLine(&line));  // the peer closed in the middle of a line
    EXPECT_EQ(c.error().status, NetStatus::kClosed);
    char byte;
    EXPECT_EQ(c.receiveSome(&byte, 1), 0);
}

TEST(TcpConnectionTest, LineLengthLimitCountsTheTextOnly) {
    Endpoint peer = server("LONG_LINES");
    TcpConnection c;
    ASSERT_TRUE(c.connect(peer.host, peer.port, kShort));
    std::string line;
    ASSERT_TRUE(c.readLine(&line, 4096)) << c.error().text;
    EXPECT_EQ(line, std::string(4096, 'B'));
    EXPECT_FALSE(c.readLine(&line, 4096));
    EXPECT_EQ(c.error().status, NetStatus::kTooLong);
}

TEST(TcpConnectionTest, ResolvesLocalNamesAndStrictDottedAddresses) {
    EXPECT_EQ(platform::resolveIPv4("127.0.0.1"), 0x7F000001u);
    // localhost names are the loopback address without a resolver (a hosts file may lack them).
    EXPECT_EQ(platform::resolveIPv4("localhost"), 0x7F000001u);
    EXPECT_EQ(platform::resolveIPv4("LocalHost."), 0x7F000001u);
    EXPECT_EQ(platform::resolveIPv4("game.localhost"), 0x7F000001u);
    EXPECT_EQ(platform::localhostAddress("notlocalhost"), std::nullopt);
    EXPECT_EQ(platform::localhostAddress("localhost.example"), std::nullopt);
    EXPECT_EQ(platform::parseIPv4("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* text : {"127.1", "1.2.3.4.", "1.2.3.256", "01234.1.1.1", " 1.2.3.4", "1..2.3",
                             "0x7f.0.0.1", ""}) {
        EXPECT_FALSE(platform::parseIPv4(text)) << text;
    }
    EXPECT_EQ(platform::formatIPv4(0x0A00FF01), "10.0.255.1");
}

std::vector<std::string> texts(const std::vector<dns::MxRecord>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(std::to_string(r.preference) + " " + r.name);
    return out;
}

TEST(MxLookupTest, AsksARealServerOverTcp) {
    std::string dns = server("DNS").host;
    auto records = texts(dns::lookupMx("example.test", dns));
    std::sort(records.begin(), records.end());
    EXPECT_EQ(records,
              (std::vector<std::string>{"10 mail.example.test", "20 backup.example.test"}));
    EXPECT_EQ(texts(dns::lookupMx("solo.test.", dns)),
              (std::vector<std::string>{"5 mx.solo.test"}));
    EXPECT_TRUE(dns::lookupMx("nothing.test", dns).empty());
}

TEST(MxLookupTest, ReadsCompressedNamesInReplyOrder) {
    auto records = texts(dns::lookupMx("example.test", server("DNS_COMPRESSED").host));
    EXPECT_EQ(records, (std::vector<std::string>{"5 mx1.example.test", "10 mx2.example.test"}));
}

TEST(MxLookupTest, HostileOrFailingServersGiveNothing) {
    EXPECT_TRUE(dns::lookupMx("example.test", server("DNS_LOOPING").host).empty());
    EXPECT_TRUE(dns::lookupMx("example.test", server("DNS_CUT").host).empty());
    EXPECT_TRUE(dns::lookupMx("example.test", server("DNS_SILENT").host, 53, 300).empty());
    Endpoint closed = server("CLOSED");
    EXPECT_TRUE(dns::lookupMx("example.test", closed.host, closed.port, 300).empty());
    // Refused before anything is sent.
    EXPECT_TRUE(dns::lookupMx("a..b", server("DNS").host).empty());
}

}  // namespace
}  // namespace quill::test
