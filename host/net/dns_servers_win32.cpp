// The configured DNS servers for Inet's `getDNS`: the registry's "NameServer" values of the
// TCP/IP parameters, else what the IP helper reports (Wine keeps them only there).
#include <windows.h>
#include <winsock2.h>
// After the Winsock and Windows headers.
#include <iphlpapi.h>

#include <memory>

#include "host/net/inet_win32.h"
#include "platform/net_socket.h"

namespace quill::net {

namespace {

constexpr wchar_t kParameters[] = L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr wchar_t kTransient[] =
    L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Transient";
constexpr wchar_t kInterfaces[] =
    L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";

class Key {
  public:
    Key(HKEY parent, const wchar_t* path) {
        if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// The "NameServer" string of a key; empty when it is missing, not a string or too short.
std::wstring nameServerValue(HKEY key) {
    if (!key) return {};
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"NameServer", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size < 2 || size > 65536) {
        return {};
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, L"NameServer", nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &size) != ERROR_SUCCESS) {
        return {};
    }
    text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
    return text;
}

}  // namespace

void appendNameServers(const std::wstring& value, std::vector<std::string>* out) {
    std::string piece;
    auto flush = [&] {
        if (auto address = platform::parseIPv4(piece))
            out->push_back(platform::formatIPv4(*address));
        piece.clear();
    };
    for (wchar_t c : value) {
        if (c == L' ' || c == L',' || c == L';' || c == L'\t') {
            flush();
        } else {
            // Anything outside ASCII cannot be part of a dotted address.
            piece += c < 0x80 ? char(c) : '?';
        }
    }
    flush();
}

std::vector<std::string> registryDnsServers() {
    std::vector<std::string> servers;
    for (const wchar_t* path : {kTransient, kParameters}) {
        Key key(HKEY_LOCAL_MACHINE, path);
        appendNameServers(nameServerValue(key.get()), &servers);
    }
    Key interfaces(HKEY_LOCAL_MACHINE, kInterfaces);
    if (!interfaces.get()) return servers;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        LONG rc =
            RegEnumKeyExW(interfaces.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // no interface key has such a name
        if (rc != ERROR_SUCCESS) break;
        Key key(interfaces.get(), name);
        appendNameServers(nameServerValue(key.get()), &servers);
    }
    return servers;
}

std::vector<std::string> configuredDnsServers() {
    std::vector<std::string> servers = registryDnsServers();
    if (!servers.empty()) return servers;
    ULONG size = 0;
    if (GetNetworkParams(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return servers;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
    auto* info = reinterpret_cast<FIXED_INFO*>(buffer.get());
    if (GetNetworkParams(info, &size) != ERROR_SUCCESS) return servers;
    for (IP_ADDR_STRING* entry = &info->DnsServerList; entry; entry = entry->Next) {
        if (auto address = platform::parseIPv4(entry->IpAddress.String)) {
            servers.push_back(platform::formatIPv4(*address));
        }
    }
    return servers;
}

}  // namespace quill::net
