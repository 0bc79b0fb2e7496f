// The regular-expression matcher behind RegExp: Boost.Regex over UTF-16 code units with traits of
// our own, driven through a small compile/search interface that mirrors a POSIX-style flag word.
// Only regexp_matcher.cpp sees Boost, which keeps its heavy headers out of every other file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quill {

// The compile flag word.
constexpr uint32_t kRegExtended = 0x001;  // POSIX extended syntax, leftmost-longest matching
constexpr uint32_t kRegIgnoreCase = 0x002;
constexpr uint32_t kRegNewline = 0x008;        // '.' stops at line ends; ^ and $ anchor at lines
constexpr uint32_t kRegNoCollate = 0x100;      // ranges by code unit, not by collation order
constexpr uint32_t kRegEscapeInLists = 0x200;  // a backslash inside [...] escapes
// Every expression compiles with these, also when `compile` recompiles one: a pattern means the
// same whichever way it was made.
constexpr uint32_t kRegBaseFlags = kRegExtended | kRegNoCollate | kRegEscapeInLists;

// Slots of a search: {start, end} code-unit pairs, -1 for an unmatched slot; slot 0 is the whole
// match.
constexpr uint32_t kMaxSubMatches = 256;

struct CompiledPattern;

// Null when the pattern does not compile; *error then holds the matcher's message.
CompiledPattern* compilePattern(std::u16string_view pattern, uint32_t flags, std::string* error);
void freePattern(CompiledPattern* pattern);

enum class SearchResult { kMatch, kNoMatch, kLimit };

// Searches `text` for the first match starting at or after `start` (at most text.size()); the
// text before `start` still counts for anchors and word boundaries. Writes `slotCount` pairs
// (at most kMaxSubMatches) into `slots`. kLimit means the matcher gave up on a pattern too costly
// for this input; the slots are then all unmatched.
SearchResult searchPattern(const CompiledPattern* pattern, std::u16string_view text, size_t start,
                           int32_t* slots, uint32_t slotCount);

}  // namespace quill
