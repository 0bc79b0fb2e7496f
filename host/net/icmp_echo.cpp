// Building echo requests and recognising their replies. The IP header's own length field is
// honoured (options make it longer than 20 bytes), and every offset is checked against the
// datagram's length before it is read.
#include "host/net/icmp_echo.h"

namespace quill::icmp {

namespace {

uint16_t readLe16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t readLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

uint16_t internetChecksum(const uint8_t* bytes, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += uint32_t((bytes[i] << 8) | bytes[i + 1]);
    if (length % 2) sum += uint32_t(bytes[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

std::array<uint8_t, kEchoRequestLength> buildEchoRequest(uint16_t identifier, uint16_t sequence,
                                                         uint32_t tick) {
    std::array<uint8_t, kEchoRequestLength> packet{};
    packet[0] = 8;  // echo request
    packet[4] = uint8_t(identifier);
    packet[5] = uint8_t(identifier >> 8);
    packet[6] = uint8_t(sequence);
    packet[7] = uint8_t(sequence >> 8);
    for (int i = 0; i < 4; ++i) packet[8 + i] = uint8_t(tick >> (8 * i));
    for (size_t i = 0; i < kEchoDataLength; ++i) packet[12 + i] = uint8_t(32 + i);
    uint16_t sum = internetChecksum(packet.data(), packet.size());
    packet[2] = uint8_t(sum >> 8);
    packet[3] = uint8_t(sum);
    return packet;
}

std::optional<EchoReply> matchEchoReply(const uint8_t* datagram, size_t length, uint32_t source,
                                        uint16_t identifier, uint16_t sequence) {
    if (length < 20 || (datagram[0] >> 4) != 4 || datagram[9] != 1) return std::nullopt;
    size_t header = size_t(datagram[0] & 0x0F) * 4;
    if (header < 20 || length < header + 12) return std::nullopt;
    uint32_t from = (uint32_t(datagram[12]) << 24) | (uint32_t(datagram[13]) << 16) |
                    (uint32_t(datagram[14]) << 8) | datagram[15];
    const uint8_t* icmp = datagram + header;
    if (from != source || icmp[0] != 0 || icmp[1] != 0) return std::nullopt;
    if (readLe16(icmp + 4) != identifier || readLe16(icmp + 6) != sequence) return std::nullopt;
    return EchoReply{datagram[8], sequence, readLe32(icmp + 8)};
}

}  // namespace quill::icmp
