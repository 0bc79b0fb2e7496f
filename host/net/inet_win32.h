// The native work behind the Inet and IPConfig classes, one file each: ICMP echo, the configured
// DNS servers, the interface table and the download. Declared here for the classes and for the
// tests, which also reach the paths the automatic choices would not take on the test machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/script_engine.h"

namespace quill::net {

// --- Ping ---------------------------------------------------------------------------------------

// The host `isInetConnected` pings when the script names none: the IETF's web site, a neutral,
// well-known host that has long answered echo requests. Tests never use it.
constexpr const char* kDefaultConnectivityHost = "www.ietf.org";
constexpr uint32_t kEchoTimeoutMs = 1000;

// How echo requests go out. A raw ICMP socket gives the whole reply (its TTL, its identifier),
// but Windows lets only administrators open one; everyone else goes through the system's ICMP
// service, which does the matching itself.
enum class PingMethod { kAutomatic, kRawSocket, kIcmpService };

// (code, value, text) as `onPinging` receives them.
using PingReport = std::function<void(int code, int64_t value, const std::string& text)>;

// Sends `count` echo requests to `host` one after the other, each waited for at most
// kEchoTimeoutMs; returns the number answered. Reports: 3 before the first request, then for each
// request 4 (a reply) or 0 (none in time), with 1 first when it could not be sent; 2 alone when
// nothing could be set up (the result is then 0). `report` may be empty.
int64_t ping(const std::string& host, int64_t count, const PingReport& report,
             PingMethod method = PingMethod::kAutomatic);

// --- DNS servers --------------------------------------------------------------------------------

// The configured DNS servers as dotted addresses: the "NameServer" values of the TCP/IP
// parameters in the registry (the transient ones, the global ones, then every interface's); when
// the registry names none (Wine keeps them elsewhere), the servers the IP helper reports.
std::vector<std::string> configuredDnsServers();
// The registry part alone, and how one "NameServer" value is split.
std::vector<std::string> registryDnsServers();
void appendNameServers(const std::wstring& value, std::vector<std::string>* out);

// --- Interface table ----------------------------------------------------------------------------

struct InterfaceEntry {
    uint32_t index = 0;
    uint32_t type = 0;
    uint32_t speed = 0;
    uint32_t operStatus = 0;
    uint32_t addressCount = 0;
    uint32_t addresses[2] = {};  // host order
    uint32_t masks[2] = {};
    bool hasGateway = false;
    uint32_t gateway = 0;
    uint32_t physicalLength = 0;
    uint8_t physical[16] = {};
    std::string description;  // at most 255 bytes
};

// Where the interface table comes from: the system's MIB-II agent library (inetmib1.dll, through
// its SNMP extension entry points), or the IP helper's tables, which carry the same MIB-II rows
// and serve where the agent library is absent (it is an optional component of newer Windows).
enum class InterfaceSource { kAutomatic, kMibAgent, kIpHelper };

// The interface table; false when the source cannot be read at all.
bool readInterfaces(std::vector<InterfaceEntry>* out,
                    InterfaceSource source = InterfaceSource::kAutomatic);

// A new IPConfig object over the table.
ScriptValue newIPConfigValue(ScriptEngine* engine, std::vector<InterfaceEntry> table);

// --- Download -----------------------------------------------------------------------------------

constexpr const char* kAgentName = "PLEXOR Quill 1.0";

// (code, text) as `onGetUrl` receives them; for code 1 the answer decides whether the download
// goes on.
using DownloadReport = std::function<bool(int code, const std::string& text)>;

// Downloads `url` into the file `path`. The data goes to a temporary file beside it, which takes
// the final name only once the whole body has arrived, so a refused, failed, stopped or
// interrupted download leaves the file that was there before (or none).
bool downloadUrl(const std::string& url, const std::wstring& path, const DownloadReport& report);

}  // namespace quill::net
