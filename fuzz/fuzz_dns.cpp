// Fuzz target: the DNS reply reader of the MX lookup on arbitrary bytes, which must end (no
// pointer loop runs forever) with records whose names keep the length rule, and the query
// builder on the same bytes taken as a domain, whose queries keep their documented size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_engine.h"
#include "host/net/dns_message.h"

using namespace quill;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (auto records = dns::parseMxReply(data, size)) {
        // Every record needs at least 11 bytes of its own in the reply.
        if (records->size() * 11 > size) fuzz::fail("more records than the reply can hold");
        for (const dns::MxRecord& record : *records) {
            // A name of at most 255 bytes on the wire is at most 253 characters as text.
            if (record.name.size() > 253) fuzz::fail("name longer than allowed", record.name);
        }
    }

    std::string_view domain(reinterpret_cast<const char*>(data), size < 300 ? size : 300);
    if (auto query = dns::buildMxQuery(domain)) {
        std::string_view name = domain;
        if (!name.empty() && name.back() == '.') name.remove_suffix(1);
        if (query->size() != 2 + name.size() + 18) fuzz::fail("query of the wrong size", *query);
        size_t length = (uint8_t((*query)[0]) << 8) | uint8_t((*query)[1]);
        if (length != query->size() - 2) fuzz::fail("length prefix disagrees", *query);
    }
    return 0;
}
