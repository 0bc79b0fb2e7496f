// Parsing a raw message into its header values and part index. One pass over the lines with a
// stack of the open multipart levels, so nesting costs memory, not recursion, and each line is
// looked at once whatever the depth.
#pragma once

#include <cstddef>
#include <string_view>

#include "host/net/mail_index.h"

namespace quill::mail {

// Bounds on what a message may make the parser hold: deeper multipart levels are kept whole as
// one attachment, parts past the count are left out of the index.
constexpr size_t kMaxNestingDepth = 1000;
constexpr size_t kMaxIndexedParts = 65536;
// Content types and names are cut to this many characters.
constexpr size_t kMaxTypeLength = 259;
constexpr size_t kMaxNameLength = 259;

struct ParsedMessage {
    HeaderValues headers;
    PartIndex index;
};

// Lines may end in CR LF or in a lone LF. Never fails: whatever the bytes, the result describes
// them (a message without any structure is one text part).
ParsedMessage parseMessage(std::string_view data);

}  // namespace quill::mail
