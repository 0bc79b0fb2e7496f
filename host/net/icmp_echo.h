// ICMP echo packets for `ping`: the 44-byte request and the test a received datagram must pass to
// count as the reply to it. Portable, so the packet rules are tested on every build.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quill::icmp {

constexpr size_t kEchoRequestLength = 44;
constexpr size_t kEchoDataLength = 32;  // the payload bytes 32 to 63

// The Internet checksum (RFC 1071) of the bytes, as the big-endian value to store.
uint16_t internetChecksum(const uint8_t* bytes, size_t length);

// An echo request: type 8, code 0, checksum, identifier and sequence number in little-endian
// order, the sender's millisecond tick (4 bytes, little-endian), then the payload.
std::array<uint8_t, kEchoRequestLength> buildEchoRequest(uint16_t identifier, uint16_t sequence,
                                                         uint32_t tick);

struct EchoReply {
    uint8_t ttl = 0;
    uint16_t sequence = 0;
    uint32_t tick = 0;  // the tick the request carried
};

// A received IPv4 datagram (IP header first, as raw sockets deliver it) when it is the echo reply
// to our request: an echo reply from `source` carrying our identifier and this sequence number.
// Anything else (our own request seen on loopback, replies to other programs or to earlier
// requests, other ICMP messages, short or malformed datagrams) gives nothing.
std::optional<EchoReply> matchEchoReply(const uint8_t* datagram, size_t length, uint32_t source,
                                        uint16_t identifier, uint16_t sequence);

}  // namespace quill::icmp
