// The two facts about time the engine asks of the operating system: the current UTC time and
// the local zone's standard-time bias (daylight saving never enters).
#pragma once

#include <cstdint>

namespace quill::platform {

// Milliseconds since 1970-01-01 00:00:00 UTC by the system clock.
int64_t currentTimeMillis();

// The local zone's bias in minutes for standard time, the way Windows states it: UTC = local time
// + bias, so zones west of Greenwich are positive (480 for UTC-8) and zones east negative (-330
// for UTC+5:30). Read afresh from the system on each call; on POSIX systems the TZ variable is
// honoured (after a change of TZ within the process too).
int32_t standardTimeBiasMinutes();

}  // namespace quill::platform
