// Date values for the rest of the system: host classes that take or give dates (file times,
// registry times, COM dates) use these instead of reaching into the Date class.
#pragma once

#include <cstdint>

#include "runtime/script_engine.h"

namespace quill {

// The time value (milliseconds since 1970-01-01 UTC) of a Date instance; false for any other
// value, the Date class value included.
bool dateTimeValue(const ScriptValue& value, double* out);

// A new Date instance. A time value that is not finite or lies beyond 8.64e15 in magnitude
// becomes 0, as everywhere in Date.
void newDate(ScriptEngine* engine, ScriptValue* out, double timeValue);

// The local-time adjustment of this engine in minutes (UTC = local time + bias), read from the
// system's standard-time bias when Date was registered.
int32_t dateBiasMinutes(ScriptEngine* engine);

// The time value of a local date and time, computed the way the Date constructor computes it
// from components (month from 0, fields beyond their range carry over); 0 when out of range.
double localTimeValue(ScriptEngine* engine, double year, double month, double date,
                      double hours = 0, double minutes = 0, double seconds = 0, double ms = 0);

}  // namespace quill
