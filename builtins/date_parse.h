// The Date text parser: the loose "Mon, 09 Jul 2001 08:30:15 GMT" / "7/9/2001 10:00 PM" forms
// scripts hand to Date.parse and the one-argument Date constructor.
#pragma once

#include <cstdint>
#include <string_view>

namespace quill::date {

// Parses 8-bit text. On success *out is the time value (possibly outside the valid range, or
// NaN for an impossible year; the caller bounds it) and the result is true. Text without a zone
// is local time: `biasMinutes` (UTC = local + bias) is added. Any input is safe: the scan is
// linear, reads only inside `text`, and numbers saturate instead of overflowing.
bool parseDateText(std::string_view text, int32_t biasMinutes, double* out);

}  // namespace quill::date
