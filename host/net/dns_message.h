// DNS messages for the MX lookup (RFC 1035 over TCP): the query for a domain's mail exchangers
// and the reader of the server's reply. The reader takes whatever a server (or anyone on the
// path) sends: every length, count, offset and compression pointer is checked, so a hostile reply
// ends in "no answer", never in a crash or an endless loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::dns {

// The identifier the lookup puts in its queries (and expects back).
constexpr uint16_t kQueryId = 0x4646;
constexpr uint16_t kTypeMx = 15;
constexpr uint16_t kClassIn = 1;
// A name is at most 255 bytes in its wire form (length bytes included).
constexpr size_t kMaxNameWireLength = 255;

struct MxRecord {
    std::string name;  // the exchange, labels joined with "."; "" for the root
    uint16_t preference = 0;
};

// The query message for the MX records of `domain`, with the 2-byte length in front that DNS over
// TCP needs: identifier kQueryId, recursion desired, one question (MX, IN). A domain of dotted
// labels, with or without the final dot; nothing for an empty domain, an empty or over-long (63)
// label, or a name over kMaxNameWireLength.
std::optional<std::string> buildMxQuery(std::string_view domain);

// The MX answers of a reply message (without the TCP length prefix), in reply order. Answer
// records of other types (a CNAME before the MX records, say) are skipped. Nothing when the reply
// is not a well-formed answer to our query: another identifier, not a response, any record or
// name running past the end, a compression pointer that does not point back before itself, a
// name over kMaxNameWireLength, or an MX record whose data does not hold exactly its preference
// and name.
std::optional<std::vector<MxRecord>> parseMxReply(const uint8_t* reply, size_t length);

}  // namespace quill::dns
