// The MX lookup's exchange with the server: the framed query out, the 2-byte length and the reply
// in, read whole before it is parsed.
#include "host/net/mx_lookup.h"

#include "platform/net_socket.h"

namespace quill::dns {

std::vector<MxRecord> lookupMx(const std::string& domain, const std::string& server, uint16_t port,
                               uint32_t timeoutMs) {
    auto query = buildMxQuery(domain);
    if (!query) return {};
    platform::TcpConnection connection;
    if (!connection.connect(server, port, {timeoutMs, timeoutMs, timeoutMs})) return {};
    uint8_t prefix[2];
    if (!connection.sendAll(*query) || !connection.receiveExact(prefix, 2)) return {};
    size_t length = (size_t(prefix[0]) << 8) | prefix[1];
    std::vector<uint8_t> reply(length);
    if (length == 0 || !connection.receiveExact(reply.data(), length)) return {};
    auto records = parseMxReply(reply.data(), reply.size());
    return records ? std::move(*records) : std::vector<MxRecord>{};
}

}  // namespace quill::dns
