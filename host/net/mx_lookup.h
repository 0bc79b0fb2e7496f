// The MX lookup: one query over TCP to a given DNS server, blocking for at most its time-out per
// step (connect, send, reply).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/net/dns_message.h"

namespace quill::dns {

constexpr uint32_t kMxTimeoutMs = 10000;

// The MX records of `domain` as `server` (a host name or dotted address) answers them, in reply
// order; empty when the domain cannot be asked for, the server cannot be reached or answers with
// anything but a well-formed reply to this query.
std::vector<MxRecord> lookupMx(const std::string& domain, const std::string& server,
                               uint16_t port = 53, uint32_t timeoutMs = kMxTimeoutMs);

}  // namespace quill::dns
