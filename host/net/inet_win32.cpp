// The Inet host class: ping with per-reply reports, the connectivity test, the MX lookup, the
// configured DNS servers, the interface table and downloads, each a blocking call on the
// user-interface thread that answers failures with its empty result.
#include "host/net/inet_win32.h"

#include <memory>
#include <optional>
#include <string>

#include "host/net/handler_call.h"
#include "host/net/mx_lookup.h"
#include "host/net/net_classes.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill::net {

namespace {

struct InetObject {
    ScriptValue onPinging = makeUndefined();
    ScriptValue onGetUrl = makeUndefined();
};

ScriptValue stringArray(ScriptEngine* engine, size_t count, auto&& element) {
    ScriptValue list;
    newArray(engine, &list, count);
    for (size_t i = 0; i < count; ++i) setElement(engine, list, element(i), i);
    return list;
}

int64_t ping(ScriptEngine* engine, InetObject& inet, std::string host, int64_t count) {
    return net::ping(host, count, [&](int code, int64_t value, const std::string& text) {
        ScriptValue message;
        newStringFromAnsi(engine, &message, text.data(), text.size());
        callHandler(engine, nullptr, inet.onPinging,
                    {makeInteger(code), makeInteger(value), message});
    });
}

bool isInetConnected(std::optional<std::string> host) {
    // Echo requests one at a time: the first answer settles it.
    std::string target = host.value_or(kDefaultConnectivityHost);
    for (int i = 0; i < 4; ++i) {
        if (net::ping(target, 1, nullptr) > 0) return true;
    }
    return false;
}

ScriptValue mxfind(ScriptEngine* engine, std::string domain, std::string server) {
    std::vector<dns::MxRecord> records = dns::lookupMx(domain, server);
    uint32_t nameAtom = intern(engine, "name");
    uint32_t prefAtom = intern(engine, "pref");
    return stringArray(engine, records.size(), [&](size_t i) {
        ScriptObject* record = newObject(engine);
        ScriptValue name;
        newStringFromAnsi(engine, &name, records[i].name.data(), records[i].name.size());
        setByAtom(engine, record, nameAtom, name);
        setByAtom(engine, record, prefAtom, makeInteger(records[i].preference));
        return makeObject(record);
    });
}

ScriptValue getDNS(ScriptEngine* engine) {
    std::vector<std::string> servers = configuredDnsServers();
    return stringArray(engine, servers.size(),
                       [&](size_t i) { return newStringFromAscii(engine, servers[i]); });
}

ScriptValue getIPConfig(ScriptEngine* engine) {
    std::vector<InterfaceEntry> table;
    if (!readInterfaces(&table)) return makeNull();
    return newIPConfigValue(engine, std::move(table));
}

bool getUrl(ScriptEngine* engine, InetObject& inet, std::string url, bind::Path path) {
    return downloadUrl(url, std::wstring(path.wide.begin(), path.wide.end()),
                       [&](int code, const std::string& text) {
                           ScriptValue message;
                           newStringFromAnsi(engine, &message, text.data(), text.size());
                           ScriptValue answer;
                           if (!callHandler(engine, nullptr, inet.onGetUrl,
                                            {makeInteger(code), message}, &answer)) {
                               // No handler, or one that failed: the download goes on.
                               return true;
                           }
                           return toBoolean(engine, answer) != 0;
                       });
}

constexpr bind::Member kInetMembers[] = {
    bind::method<ping>("ping", bind::Empty::kZero)
        .doc("host, count",
             "Sends count ICMP echo requests to host, one after another; the number of replies. "
             "Reports go to onPinging."),
    bind::classMethod<isInetConnected>("isInetConnected", bind::Empty::kFalse)
        .doc("[host]", "True when one of 4 echo requests to host (or a default host) is answered."),
    bind::classMethod<mxfind>("mxfind", bind::Empty::kEmptyArray)
        .doc("domain, dnsServer",
             "Asks dnsServer for domain's mail exchangers: an array of {name, pref} in reply "
             "order; empty on failure."),
    bind::classMethod<getDNS>("getDNS", bind::Empty::kEmptyArray)
        .doc("An array of the configured DNS server addresses, as dotted strings."),
    bind::classMethod<getIPConfig>("getIPConfig", bind::Empty::kNull)
        .doc("A new IPConfig describing the network interfaces; null on failure."),
    bind::method<getUrl>("getUrl", bind::Empty::kFalse)
        .doc("url, path",
             "Downloads url into the file at path; true when done. Reports go to onGetUrl."),
    bind::handler<&InetObject::onPinging>("onPinging")
        .doc("Called as handler(code, value, text) during ping: 3 start, 4 a reply (value: time in "
             "ms), 0 timed out, 1 unreachable, 2 setup failed."),
    bind::handler<&InetObject::onGetUrl>("onGetUrl")
        .doc("Called as handler(code, text) during getUrl: 1 with the bytes so far (return false "
             "to stop), 0 with the error text."),
    bind::objectText("[object Inet]"),
};

std::unique_ptr<InetObject> makeInet(ScriptEngine*) {
    return std::make_unique<InetObject>();
}

}  // namespace

}  // namespace quill::net

namespace quill {

void registerInet(ScriptEngine* engine) {
    bind::defineClass<net::InetObject>(
        engine, {.name = "Inet",
                 .id = ClassId::kInet,
                 .members = {net::kInetMembers},
                 .call = bind::constructorCall<net::makeInet>,
                 .construct = bind::constructor<net::makeInet>,
                 .synopsis = "",
                 .summary = "Internet utilities: ping, a connectivity check, mail-exchanger "
                            "lookup, the DNS servers, the interface table and URL downloads."});
}

}  // namespace quill
