// Inet and IPConfig under Wine against loopback servers: echo reports and their time-out (with
// strangers' replies arriving meanwhile), both ICMP paths, MX lookups against dnsmasq and hostile
// peers, the DNS servers of the registry and of the IP helper, the interface table from both
// sources, and downloads that succeed, fail, stop or break off without leaving a half file.
#include <windows.h>
#include <winsock2.h>
// After the Winsock and Windows headers.
#include <iphlpapi.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/net/icmp_echo.h"
#include "host/net/inet_win32.h"
#include "net_test_support.h"
#include "platform/net_socket.h"
#include "runtime/embed.h"

namespace quill::test {
namespace {

class InetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = createEngine();
        ASSERT_NE(engine, nullptr);
    }
    void TearDown() override { destroyEngine(engine); }

    // Runs script text; its completion value as text.
    std::string run(const std::string& script) {
        EXPECT_EQ(runScriptText(engine, script), 1) << errorText(engine);
        return completionText(engine);
    }
    std::string pingLog(const std::string& host, int count) {
        return run(
            "var inet = new Inet(), log = [];"
            "inet.onPinging = function (code, value, text) {"
            "  log.push(code + '|' + value + '|' + text); };"
            "var n = inet.ping('" +
            host + "', " + std::to_string(count) +
            ");"
            "n + '\\n' + log.join('\\n')");
    }

    ScriptEngine* engine = nullptr;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST_F(InetTest, PingReportsEveryReplyOfALoopbackHost) {
    auto log = lines(pingLog("127.0.0.1", 4));
    ASSERT_EQ(log.size(), 8u);  // the count, the code-3 text (two newlines end it), 4 replies
    EXPECT_EQ(log[0], "4");
    EXPECT_EQ(log[1], "3|0|Pinging 127.0.0.1 [127.0.0.1]: with 32 bytes of data:");
    EXPECT_EQ(log[2] + log[3], "");
    for (int i = 0; i < 4; ++i) {
        std::regex reply(
            "4\\|\\d+\\|Reply from 127\\.0\\.0\\.1: bytes=32 time=\\d+ms TTL=\\d+ "
            "icmp_seq=" +
            std::to_string(i));
        EXPECT_TRUE(std::regex_match(log[4 + i], reply)) << log[4 + i];
    }
}

// Sends echo replies that carry this process's identifier but come from 127.0.0.9, as fast as
// it can, until stopped: a ping must ignore them and still end by its time-out.
class StrangerReplies {
  public:
    StrangerReplies() {
        thread_ = std::thread([this] {
            SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
            if (s == INVALID_SOCKET) return;
            sockaddr_in from{AF_INET, 0, {}, {}};
            from.sin_addr.s_addr = htonl(0x7F000009);
            bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from);
            sockaddr_in to{AF_INET, 0, {}, {}};
            to.sin_addr.s_addr = htonl(0x7F000001);
            auto packet = icmp::buildEchoRequest(uint16_t(GetCurrentProcessId()), 0, 0);
            packet[0] = 0;  // a reply
            packet[2] = packet[3] = 0;
            uint16_t sum = icmp::internetChecksum(packet.data(), packet.size());
            packet[2] = uint8_t(sum >> 8);
            packet[3] = uint8_t(sum);
            while (!stop_) {
                if (sendto(s, reinterpret_cast<const char*>(packet.data()), int(packet.size()), 0,
                           reinterpret_cast<sockaddr*>(&to), sizeof to) > 0) {
                    ++sent_;
                }
                Sleep(2);
            }
            closesocket(s);
        });
    }
    ~StrangerReplies() {
        stop_ = true;
        thread_.join();
    }
    int sent() const { return sent_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<int> sent_{0};
    std::thread thread_;
};

TEST_F(InetTest, PingOfAnUnansweredAddressEndsByItsTimeOut) {
    // Loopback answers every 127.x address but its broadcast address, to which a socket without
    // the broadcast option cannot even send.
    StrangerReplies strangers;
    auto log = lines(pingLog("127.255.255.255", 1));
    EXPECT_GT(strangers.sent(), 10);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "0", "3|0|Pinging 127.255.255.255 [127.255.255.255]: with 32 bytes of data:",
                       "", "", "1|0|Destination host unreachable", "0|1000|Request timed out"}));
}

TEST_F(InetTest, PingOfAnUnknownNameReportsItOnce) {
    // A name too long for any resolver: refused without asking a server.
    std::string name(300, 'x');
    EXPECT_EQ(lines(pingLog(name, 2)), (std::vector<std::string>{"0", "2|0|Unkown host " + name}));
    EXPECT_EQ(run("new Inet().ping(1, 2) + ' ' + new Inet().ping('127.0.0.1')"), "0 0");
}

TEST_F(InetTest, ThroughTheIcmpServiceTheReportsAreTheSame) {
    std::vector<std::string> log;
    auto collect = [&](int code, int64_t value, const std::string& text) {
        log.push_back(std::to_string(code) + "|" + (code == 4 ? "" : std::to_string(value)) + "|" +
                      text);
    };
    EXPECT_EQ(net::ping("127.0.0.1", 2, collect, net::PingMethod::kIcmpService), 2);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "3|0|Pinging 127.0.0.1 [127.0.0.1]: with 32 bytes of data:\n\n");
    EXPECT_TRUE(std::regex_match(log[2], std::regex("4\\|\\|Reply from 127\\.0\\.0\\.1: bytes=32 "
                                                    "time=\\d+ms TTL=\\d+ icmp_seq=1")))
        << log[2];
    log.clear();
    EXPECT_EQ(net::ping("127.255.255.255", 1, collect, net::PingMethod::kIcmpService), 0);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2], "0|1000|Request timed out");
}

TEST_F(InetTest, ConnectivityTestNeedsOneAnswer) {
    EXPECT_EQ(run("var inet = new Inet(), reports = 0;"
                  "inet.onPinging = function () { reports++; };"
                  "[inet.isInetConnected('127.0.0.1'), inet.isInetConnected('" +
                  std::string(300, 'y') + "'), reports].join()"),
              "true,false,0");
}

TEST_F(InetTest, MxLookupOfAScriptReadsRealAndCompressedReplies) {
    std::string script =
        "function show(list) { var out = [];"
        "  for (var i = 0; i < list.length; i++) out.push(list[i].pref + ' ' + list[i].name);"
        "  out.sort(); return out.join(', '); }"
        "var inet = new Inet();";
    EXPECT_EQ(run(script + "show(inet.mxfind('example.test', '" + server("DNS").host + "'))"),
              "10 mail.example.test, 20 backup.example.test");
    // Reply order is kept (no sorting here).
    EXPECT_EQ(run(script + "var r = inet.mxfind('example.test', '" + server("DNS_COMPRESSED").host +
                  "'); r[0].name + ' ' + r[1].pref"),
              "mx1.example.test 10");
    for (const char* peer : {"DNS_LOOPING", "DNS_CUT", "DNS_NONE"}) {
        EXPECT_EQ(run(script + "inet.mxfind('example.test', '" + server(peer).host + "').length"),
                  "0")
            << peer;
    }
    EXPECT_EQ(run(script + "inet.mxfind(1, 2).length"), "0");
}

std::vector<std::string> ipHelperDnsServers() {
    std::vector<std::string> out;
    ULONG size = 0;
    GetNetworkParams(nullptr, &size);
    std::vector<uint8_t> buffer(size);
    auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
    if (size && GetNetworkParams(info, &size) == ERROR_SUCCESS) {
        for (IP_ADDR_STRING* a = &info->DnsServerList; a; a = a->Next) {
            if (a->IpAddress.String[0]) out.push_back(a->IpAddress.String);
        }
    }
    return out;
}

TEST_F(InetTest, DnsServersComeFromTheRegistryElseFromTheIpHelper) {
    // Wine keeps no "NameServer" values: what the IP helper reports is the answer.
    ASSERT_TRUE(net::registryDnsServers().empty());
    std::string expected;
    for (const std::string& s : ipHelperDnsServers()) expected += (expected.empty() ? "" : ",") + s;
    EXPECT_EQ(run("new Inet().getDNS().join()"), expected);

    // A value of our own for the length of the test.
    const wchar_t* key =
        L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{quill-net-test}";
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    const wchar_t value[] = L"127.0.0.5, 127.0.0.6;127.0.0.5\t bogus 127.0.0.300 127.0.0.7";
    RegSetValueExW(handle, L"NameServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   sizeof value);
    RegCloseKey(handle);
    std::string got = run("new Inet().getDNS().join()");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    EXPECT_EQ(got, "127.0.0.5,127.0.0.6,127.0.0.5,127.0.0.7");  // duplicates stay
}

std::string describe(const std::vector<net::InterfaceEntry>& table) {
    std::string out;
    for (const auto& e : table) {
        out += std::to_string(e.index) + " " + std::to_string(e.type) + " " + e.description + " " +
               std::to_string(e.addressCount);
        for (uint32_t i = 0; i < e.addressCount; ++i) {
            out +=
                " " + platform::formatIPv4(e.addresses[i]) + "/" + platform::formatIPv4(e.masks[i]);
        }
        out += " mac" + std::to_string(e.physicalLength) + (e.hasGateway ? " gw " : " ") +
               platform::formatIPv4(e.gateway) + "\n";
    }
    return out;
}

TEST_F(InetTest, InterfaceTableShowsTheLoopbackInterface) {
    std::string found =
        run("var c = new Inet().getIPConfig(), out = 'none';"
            "for (var i = 0; i < c.ifNum; i++) if (c.ifType(i) == 'loopback')"
            "  out = [c.ifDesc(i), c.ifIP(i).join(' '), c.ifIPMask(i).join(' '), '[' + c.ifMac(i) "
            "+ ']',"
            "         '[' + c.ifDefaultGateway(i) + ']'].join('|');"
            "[String(c), out, c.ifType(c.ifNum) === null, c.ifIP(-1) === null,"
            " c.ifDesc('0') === null].join(';')");
    EXPECT_EQ(found, "[object IPConfig];lo|127.0.0.1|255.0.0.0|[]|[];true;true;true");
    // A script's own IPConfig has no table.
    EXPECT_EQ(run("var c = new IPConfig(); [String(c), typeof c.ifNum].join()"),
              "[object IPConfig],undefined");

    // The agent library and the IP helper describe the same interfaces.
    std::vector<net::InterfaceEntry> agent, helper;
    ASSERT_TRUE(net::readInterfaces(&agent, net::InterfaceSource::kMibAgent));
    ASSERT_TRUE(net::readInterfaces(&helper, net::InterfaceSource::kIpHelper));
    EXPECT_EQ(describe(agent), describe(helper));
    EXPECT_FALSE(agent.empty());
}

TEST_F(InetTest, InterfaceTextsFollowTheirFormats) {
    net::InterfaceEntry ethernet;
    ethernet.type = 6;
    ethernet.physicalLength = 6;
    const uint8_t mac[] = {0x00, 0x0A, 0x95, 0x9D, 0x68, 0x16};
    std::copy(std::begin(mac), std::end(mac), ethernet.physical);
    ethernet.addressCount = 2;
    ethernet.addresses[0] = 0xC0A80102;
    ethernet.masks[0] = 0xFFFFFF00;
    ethernet.addresses[1] = 0x0A000001;
    ethernet.masks[1] = 0xFF000000;
    ethernet.hasGateway = true;
    ethernet.gateway = 0xC0A80101;
    net::InterfaceEntry other;
    other.type = 99;
    ScriptValue config = net::newIPConfigValue(engine, {ethernet, other});
    setGlobal(engine, "cfg", config);
    EXPECT_EQ(run("[cfg.ifNum, cfg.ifType(0), cfg.ifMac(0), cfg.ifIP(0).join(' '),"
                  " cfg.ifIPMask(0).join(' '), cfg.ifDefaultGateway(0), '[' + cfg.ifType(1) + ']',"
                  " cfg.ifIP(1).length, '[' + cfg.ifMac(1) + ']'].join('|')"),
              "2|ethernet|00-0A-95-9D-68-16|192.168.1.2 10.0.0.1|255.255.255.0 255.0.0.0|"
              "192.168.1.1|[]|0|[]");
}

// A scratch folder for downloads, removed with everything in it.
class Scratch {
  public:
    Scratch() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"quill-net-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Scratch() {
        for (const std::wstring& name : names()) DeleteFileW((path_ + L"\\" + name).c_str());
        RemoveDirectoryW((path_ + L"\\sub").c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::string file(const char* name) const {
        return std::string(path_.begin(), path_.end()) + "\\" + name;
    }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return out;
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") out.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return out;
    }

  private:
    std::wstring path_;
};

std::string slashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(InetTest, DownloadsIntoAFileWithProgressReports) {
    Scratch scratch;
    std::string target = slashes(scratch.file("big.bin"));
    Endpoint http = server("HTTP");
    std::string result =
        run("var inet = new Inet(), reports = [], rising = true, last = 0;"
            "inet.onGetUrl = function (code, text) { reports.push(code);"
            "  if (Number(text) <= last) rising = false; last = Number(text); return true; };"
            "var ok = inet.getUrl('http://" +
            http.host + ":" + std::to_string(http.port) + "/big.bin', '" + target +
            "');"
            "[ok, reports.length >= 200000 / 512, rising, last, reports.join('').replace(/1/g, '')]"
            ".join()");
    EXPECT_EQ(result, "true,true,true,200000,");
    std::string data = contents(scratch.file("big.bin"));
    ASSERT_EQ(data.size(), 200000u);
    for (size_t i = 0; i < data.size(); ++i) {
        if (uint8_t(data[i]) != (i * 7) % 251) FAIL() << "byte " << i;
    }
    EXPECT_EQ(scratch.names().size(), 1u);  // no temporary file left behind

    // The agent name the server saw.
    Endpoint agent = server("HTTP_AGENT");
    target = slashes(scratch.file("agent.txt"));
    EXPECT_EQ(run("new Inet().getUrl('http://" + agent.host + ":" + std::to_string(agent.port) +
                  "/', '" + target + "')"),
              "true");
    EXPECT_EQ(contents(scratch.file("agent.txt")), "PLEXOR Quill 1.0");
}

TEST_F(InetTest, FailedStoppedAndInterruptedDownloadsLeaveNoHalfFile) {
    Scratch scratch;
    Endpoint http = server("HTTP");
    Endpoint closed = server("CLOSED");
    Endpoint cut = server("HTTP_CUT");
    auto url = [](const Endpoint& e, const char* path) {
        return "http://" + e.host + ":" + std::to_string(e.port) + path;
    };
    // An older file under the target name survives every failure.
    std::string target = scratch.file("kept.txt");
    std::ofstream(target, std::ios::binary) << "older";
    // Handlers see globals only (the dialect has no closures).
    std::string download =
        "var codes, answer;"
        "function onUrl(code, text) { codes.push(code + (code == 0 && text ? '+' : ''));"
        "  return answer; }"
        "function download(url, path, a) { var inet = new Inet(); codes = []; answer = a;"
        "  inet.onGetUrl = onUrl;"
        "  return inet.getUrl(url, path) + ':' + codes[0] + '/' + (codes.length == 1); }";
    EXPECT_EQ(run(download + "download('" + url(http, "/missing.txt") + "', '" + slashes(target) +
                  "', true)"),
              "false:0+/true");
    EXPECT_EQ(
        run(download + "download('" + url(closed, "/x") + "', '" + slashes(target) + "', true)"),
        "false:0+/true");
    EXPECT_EQ(run(download + "download('" + url(http, "/big.bin") + "', '" + slashes(target) +
                  "', false)"),
              "false:1/true");  // stopped at the first block
    EXPECT_EQ(run(download + "download('" + url(cut, "/") + "', '" + slashes(target) + "', 1)"),
              "false:1/false");
    EXPECT_EQ(contents(target), "older");

    // Places that cannot take the file: a missing folder, a folder of that name.
    std::string sub = scratch.file("sub");
    CreateDirectoryW(std::wstring(sub.begin(), sub.end()).c_str(), nullptr);
    for (const char* place : {"missing\\file.txt", "sub"}) {
        EXPECT_EQ(run("new Inet().getUrl('" + url(http, "/hello.txt") + "', '" +
                      slashes(scratch.file(place)) + "')"),
                  "false")
            << place;
    }
    EXPECT_EQ(scratch.names().size(), 2u);  // kept.txt and sub, no temporary files
    EXPECT_EQ(run("new Inet().getUrl('x', '')") + run("new Inet().getUrl(3, 'y')"), "falsefalse");
}

}  // namespace
}  // namespace quill::test
