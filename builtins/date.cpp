// The Date class: construction, Date.parse and Date.UTC, the local and UTC getters and setters,
// and the text forms. An instance's data is its time value, which never holds NaN and never lies
// beyond 8.64e15 ms; operations that would leave the range keep the old value or give 0.
#include "builtins/date.h"
#include "builtins/builtin_reference.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "builtins/date_calendar.h"
#include "builtins/date_parse.h"
#include "platform/system_time.h"

namespace quill {

namespace {

using date::Fields;

enum Member {
    kParse,
    kGetDate,
    kGetDay,
    kGetFullYear,
    kGetHours,
    kGetMilliseconds,
    kGetMinutes,
    kGetMonth,
    kGetSeconds,
    kGetTime,
    kGetTimezoneOffset,
    kGetUTCDate,
    kGetUTCDay,
    kGetUTCFullYear,
    kGetUTCHours,
    kGetUTCMilliseconds,
    kGetUTCMinutes,
    kGetUTCMonth,
    kGetUTCSeconds,
    kGetYear,
    kSetDate,
    kSetFullYear,
    kSetHours,
    kSetMinutes,
    kSetMilliseconds,
    kSetMonth,
    kSetSeconds,
    kSetTime,
    kSetUTCDate,
    kSetUTCFullYear,
    kSetUTCHours,
    kSetUTCMilliseconds,
    kSetUTCMinutes,
    kSetUTCMonth,
    kSetUTCSeconds,
    kSetYear,
    kToGMTString,
    kToLocaleString,
    kUTC,
};

// The member names, in the order of the Member enumeration.
const std::initializer_list<const char*> kMemberNames = {
    "parse",
    "getDate",
    "getDay",
    "getFullYear",
    "getHours",
    "getMilliseconds",
    "getMinutes",
    "getMonth",
    "getSeconds",
    "getTime",
    "getTimezoneOffset",
    "getUTCDate",
    "getUTCDay",
    "getUTCFullYear",
    "getUTCHours",
    "getUTCMilliseconds",
    "getUTCMinutes",
    "getUTCMonth",
    "getUTCSeconds",
    "getYear",
    "setDate",
    "setFullYear",
    "setHours",
    "setMinutes",
    "setMilliseconds",
    "setMonth",
    "setSeconds",
    "setTime",
    "setUTCDate",
    "setUTCFullYear",
    "setUTCHours",
    "setUTCMilliseconds",
    "setUTCMinutes",
    "setUTCMonth",
    "setUTCSeconds",
    "setYear",
    "toGMTString",
    "toLocaleString",
    "UTC",
};

constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The class data: the member atoms and the zone adjustment read at registration.
struct DateClassData {
    NameAtoms* names;
    int32_t biasMinutes;
};

void freeDateClassData(void* data) {
    auto* d = static_cast<DateClassData*>(data);
    std::free(d->names);
    std::free(d);
}

DateClassData* classData(const ClassDescriptor* cls) {
    return static_cast<DateClassData*>(cls->classData);
}

int memberOf(const DateClassData* data, uint32_t atom) {
    for (uint32_t i = 0; i < data->names->count; ++i) {
        if (data->names->atoms[i] == atom) return static_cast<int>(i);
    }
    return -1;
}

double adjustmentMs(int32_t biasMinutes) {
    return double(biasMinutes) * 60000.0;
}

double boundedOrZero(double t) {
    return date::inTimeRange(t) ? t : 0.0;
}

// Time values reach scripts as integers, truncated toward zero.
ScriptValue timeInteger(double t) {
    return makeInteger(static_cast<int64_t>(std::trunc(t)));
}

double now() {
    return static_cast<double>(platform::currentTimeMillis());
}

// A numeric setter or component argument: integers as they are, doubles floored.
bool numericArg(const ScriptValue* argv, uint32_t i, double* out) {
    if (!hasArg(argv, i)) return false;
    const ScriptValue& v = argv[i];
    if (v.tag == kTagInteger) {
        *out = static_cast<double>(v.i);
        return true;
    }
    if (v.tag == kTagNumber) {
        *out = std::floor(v.d);
        return true;
    }
    return false;
}

// The time value an argument of Date.parse or the one-argument constructor stands for.
double timeFromValue(const ScriptValue& v, int32_t biasMinutes) {
    double t;
    switch (v.tag) {
        case kTagInteger:
            t = static_cast<double>(v.i);
            break;
        case kTagNumber:
            t = v.d;
            break;
        case kTagString: {
            std::string text = toAnsiString(stringView(v));
            if (!date::parseDateText(text, biasMinutes, &t)) t = now();
            break;
        }
        default:
            t = now();
            break;
    }
    return boundedOrZero(t);
}

// Year, month, date, hours, minutes, seconds, ms from the arguments; an argument that is not a
// number leaves its default.
double timeFromComponents(const ScriptValue* argv) {
    double f[7] = {1970, 0, 1, 0, 0, 0, 0};
    uint32_t n = argCount(argv);
    for (uint32_t i = 0; i < 7 && i < n; ++i) numericArg(argv, i + 1, &f[i]);
    return date::makeDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
}

std::string localText(double t, int32_t biasMinutes) {
    Fields f = date::splitTime(t - adjustmentMs(biasMinutes));
    // The zone as hours * 100 + minutes east of UTC: bias -330 prints +530, bias 300 prints -500.
    int zone = -((biasMinutes / 60) * 100 + biasMinutes % 60);
    bool beforeChrist = f.year < 1;
    int year = static_cast<int>(beforeChrist ? 1 - f.year : f.year);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer,
                  beforeChrist ? "%s %s %02d %02d:%02d:%02d GMT%+04d %s%s%04d B.C."
                               : "%s %s %02d %02d:%02d:%02d GMT%+04d %s%s%04d",
                  kDayNames[f.weekday], kMonthNames[f.month], f.date, f.hours, f.minutes, f.seconds,
                  zone, "", "", year);
    return buffer;
}

std::string gmtText(double t) {
    Fields f = date::splitTime(t);
    bool beforeChrist = f.year < 1;
    int year = static_cast<int>(beforeChrist ? 1 - f.year : f.year);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer,
                  beforeChrist ? "%s, %02d %s %04d %02d:%02d:%02d GMT B.C."
                               : "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  kDayNames[f.weekday], f.date, kMonthNames[f.month], year, f.hours, f.minutes,
                  f.seconds);
    return buffer;
}

ScriptValue getterResult(int member, double t, int32_t biasMinutes) {
    bool utc = member >= kGetUTCDate && member <= kGetUTCSeconds;
    Fields f = date::splitTime(utc ? t : t - adjustmentMs(biasMinutes));
    switch (member) {
        case kGetDate:
        case kGetUTCDate:
            return makeInteger(f.date);
        case kGetDay:
        case kGetUTCDay:
            return makeInteger(f.weekday);
        case kGetFullYear:
        case kGetUTCFullYear:
            return makeInteger(f.year);
        case kGetHours:
        case kGetUTCHours:
            return makeInteger(f.hours);
        case kGetMinutes:
        case kGetUTCMinutes:
            return makeInteger(f.minutes);
        case kGetMonth:
        case kGetUTCMonth:
            return makeInteger(f.month);
        case kGetSeconds:
        case kGetUTCSeconds:
            return makeInteger(f.seconds);
        case kGetYear:
            return makeInteger(f.year >= 1900 && f.year <= 1999 ? f.year - 1900 : f.year);
        default:  // getMilliseconds and getUTCMilliseconds: the same field in every zone
            return makeInteger(static_cast<int64_t>(date::splitTime(t).ms));
    }
}

// The setters of date and time fields: which field the first argument sets, how many fields
// they take, and whether they work in UTC or local time.
struct SetterShape {
    int firstField;  // 0 year, 1 month, 2 date, 3 hours, 4 minutes, 5 seconds, 6 ms
    int fieldCount;
    bool utc;
};

bool setterShape(int member, SetterShape* shape) {
    switch (member) {
        case kSetFullYear:
            *shape = {0, 3, false};
            return true;
        case kSetMonth:
            *shape = {1, 2, false};
            return true;
        case kSetDate:
            *shape = {2, 1, false};
            return true;
        case kSetHours:
            *shape = {3, 4, false};
            return true;
        case kSetMinutes:
            *shape = {4, 3, false};
            return true;
        case kSetSeconds:
            *shape = {5, 2, false};
            return true;
        case kSetMilliseconds:
            *shape = {6, 1, false};
            return true;
        case kSetUTCFullYear:
            *shape = {0, 3, true};
            return true;
        case kSetUTCMonth:
            *shape = {1, 2, true};
            return true;
        case kSetUTCDate:
            *shape = {2, 1, true};
            return true;
        case kSetUTCHours:
            *shape = {3, 4, true};
            return true;
        case kSetUTCMinutes:
            *shape = {4, 3, true};
            return true;
        case kSetUTCSeconds:
            *shape = {5, 2, true};
            return true;
        case kSetUTCMilliseconds:
            *shape = {6, 1, true};
            return true;
        default:
            return false;
    }
}

// Replaces some fields of the time value; fields not given (or given as non-numbers after the
// first) keep their current value. Stored only when the result is in range.
void setFields(double* time, const SetterShape& shape, const ScriptValue* argv,
               int32_t biasMinutes) {
    double first;
    if (!numericArg(argv, 1, &first)) return;
    double shift = shape.utc ? 0.0 : adjustmentMs(biasMinutes);
    Fields now = date::splitTime(*time - shift);
    double f[7] = {double(now.year),
                   double(now.month),
                   double(now.date),
                   double(now.hours),
                   double(now.minutes),
                   double(now.seconds),
                   now.ms};
    f[shape.firstField] = first;
    for (int i = 1; i < shape.fieldCount; ++i) {
        numericArg(argv, uint32_t(i + 1), &f[shape.firstField + i]);
    }
    double t = date::makeDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]) + shift;
    if (date::inTimeRange(t)) *time = t;
}

void setYear(double* time, const ScriptValue* argv, int32_t biasMinutes) {
    double year;
    if (!numericArg(argv, 1, &year)) return;
    if (year >= 0 && year <= 99) year += 1900;
    double shift = adjustmentMs(biasMinutes);
    Fields now = date::splitTime(*time - shift);
    double t =
        date::makeDateTime(year, now.month, now.date, now.hours, now.minutes, now.seconds, now.ms) +
        shift;
    if (date::inTimeRange(t)) *time = t;
}

ScriptValue textValue(ScriptEngine* engine, const std::string& text) {
    return newStringFromAscii(engine, text);
}

// Members served on the class value and on instances alike.
bool staticMember(int member, const ScriptValue* argv, int32_t biasMinutes, ScriptValue* result) {
    if (member == kParse) {
        *result =
            hasArg(argv, 1) ? timeInteger(timeFromValue(argv[1], biasMinutes)) : makeInteger(0);
        return true;
    }
    if (member == kUTC) {
        *result = timeInteger(boundedOrZero(timeFromComponents(argv)));
        return true;
    }
    return false;
}

int dateMethod(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
               ScriptValue* result, ScriptValue* argv) {
    DateClassData* cd = classData(cls);
    auto* time = static_cast<double*>(data);
    int member = memberOf(cd, atom);
    if (atom == engine->atomToString || member == kToLocaleString) {
        *result = time ? textValue(engine, localText(*time, cd->biasMinutes))
                       : newStringFromAscii(engine, "[object Date]");
        return 1;
    }
    if (member >= 0 && staticMember(member, argv, cd->biasMinutes, result)) return 1;
    if (!time) return 0;  // everything below needs an instance
    if (atom == engine->atomValueOf) {
        *result = timeInteger(*time);
        return 1;
    }
    if (member < 0) return 0;
    SetterShape shape;
    switch (member) {
        case kGetTime:
            *result = timeInteger(*time);
            return 1;
        case kGetTimezoneOffset:
            *result = makeInteger(cd->biasMinutes);
            return 1;
        case kToGMTString:
            *result = textValue(engine, gmtText(*time));
            return 1;
        case kSetTime: {
            const ScriptValue v = arg(argv, 1);
            double t = v.tag == kTagInteger ? double(v.i) : v.tag == kTagNumber ? v.d : NAN;
            if (date::inTimeRange(t)) *time = t;
            *result = timeInteger(*time);
            return 1;
        }
        case kSetYear:
            setYear(time, argv, cd->biasMinutes);
            *result = timeInteger(*time);
            return 1;
        default:
            break;
    }
    if (setterShape(member, &shape)) {
        setFields(time, shape, argv, cd->biasMinutes);
        *result = timeInteger(*time);
        return 1;
    }
    *result = getterResult(member, *time, cd->biasMinutes);
    return 1;
}

// Date instances keep script-added properties like any host instance; no name is special.
int dateProperty(ScriptEngine*, ClassDescriptor*, void*, uint32_t, int mode, ScriptValue* value) {
    if (mode == 0) *value = makeUndefined();
    return 0;
}

void finalizeDate(ScriptEngine*, ClassDescriptor*, void* data) {
    plainFree(data);
}

void newDateOfClass(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* out, double t) {
    std::unique_ptr<double, void (*)(void*)> data(
        static_cast<double*>(plainAlloc(engine, sizeof(double))), plainFree);
    *data = boundedOrZero(t);
    newHostValue(engine, out, cls, data.get());
    data.release();  // the instance owns it now
}

void constructDate(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv,
                   ScriptValue* result) {
    int32_t bias = classData(cls)->biasMinutes;
    uint32_t n = argCount(argv);
    double t;
    if (n == 0) {
        t = now();
    } else if (n == 1) {
        t = timeFromValue(argv[1], bias);
    } else {
        t = timeFromComponents(argv) + adjustmentMs(bias);
    }
    newDateOfClass(engine, cls, result, t);
}

// Date() called as a function: the text of the current time.
void callDate(ScriptEngine* engine, ClassDescriptor* cls, void*, ScriptValue* result,
              ScriptValue*) {
    *result = textValue(engine, localText(now(), classData(cls)->biasMinutes));
}

// The Date class of this engine, whatever scripts did to the global name.
ClassDescriptor* dateClass(ScriptEngine* engine) {
    return classById(engine, ClassId::kDate);
}

}  // namespace

bool dateTimeValue(const ScriptValue& value, double* out) {
    if (!isHostInstanceOf(value, ClassId::kDate) || !value.host->data) return false;
    *out = *static_cast<const double*>(value.host->data);
    return true;
}

void newDate(ScriptEngine* engine, ScriptValue* out, double timeValue) {
    ClassDescriptor* cls = dateClass(engine);
    if (!cls) raiseError(engine, "Date is not available");
    newDateOfClass(engine, cls, out, timeValue);
}

int32_t dateBiasMinutes(ScriptEngine* engine) {
    ClassDescriptor* cls = dateClass(engine);
    return cls ? classData(cls)->biasMinutes : platform::standardTimeBiasMinutes();
}

double localTimeValue(ScriptEngine* engine, double year, double month, double date, double hours,
                      double minutes, double seconds, double ms) {
    double t = date::makeDateTime(year, month, date, hours, minutes, seconds, ms) +
               adjustmentMs(dateBiasMinutes(engine));
    return boundedOrZero(t);
}

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kDateReference[] = {
    bind::describedClassMethod("toString", "",
                               "The local date and time as text, such as \"Thu Jan 01 01:00:00 "
                               "GMT+100 1970\"; \"[object Date]\" on the class."),
    bind::describedClassMethod("toLocaleString", "", "The same text as toString."),
    bind::describedClassMethod("parse", "text",
                               "The time of a date text (or of a number, as milliseconds) in "
                               "milliseconds since 1970 UTC; 0 without an argument."),
    bind::describedClassMethod("UTC",
                               "year, month [, day [, hours [, minutes [, seconds [, ms]]]]]",
                               "The milliseconds since 1970 of that UTC date (month from 0)."),
    bind::describedMethod("valueOf", "", "The time in milliseconds since 1970 UTC, an integer."),
    bind::describedMethod("getTime", "", "The time in milliseconds since 1970 UTC, an integer."),
    bind::describedMethod("getTimezoneOffset", "",
                          "The local zone's standard offset from UTC in minutes (UTC minus local), "
                          "as read when the engine started."),
    bind::describedMethod("getDate", "", "The day of the month, 1 to 31, local time."),
    bind::describedMethod("getDay", "", "The day of the week, 0 (Sunday) to 6, local time."),
    bind::describedMethod("getFullYear", "", "The year, local time."),
    bind::describedMethod("getYear", "",
                          "The year minus 1900 for 1900 to 1999, else the full year, local time."),
    bind::describedMethod("getHours", "", "The hours, 0 to 23, local time."),
    bind::describedMethod("getMinutes", "", "The minutes, 0 to 59, local time."),
    bind::describedMethod("getSeconds", "", "The seconds, 0 to 59, local time."),
    bind::describedMethod("getMilliseconds", "", "The milliseconds, 0 to 999."),
    bind::describedMethod("getMonth", "", "The month, 0 (January) to 11, local time."),
    bind::describedMethod("getUTCDate", "", "The day of the month in UTC."),
    bind::describedMethod("getUTCDay", "", "The day of the week in UTC, 0 (Sunday) to 6."),
    bind::describedMethod("getUTCFullYear", "", "The year in UTC."),
    bind::describedMethod("getUTCHours", "", "The hours in UTC."),
    bind::describedMethod("getUTCMilliseconds", "", "The milliseconds, 0 to 999."),
    bind::describedMethod("getUTCMinutes", "", "The minutes in UTC."),
    bind::describedMethod("getUTCMonth", "", "The month in UTC, 0 to 11."),
    bind::describedMethod("getUTCSeconds", "", "The seconds in UTC."),
    bind::describedMethod("setTime", "milliseconds",
                          "Sets the time (an integer or number of milliseconds since 1970 UTC; "
                          "others leave it) and gives it."),
    bind::describedMethod(
        "setYear", "year",
        "Sets the year (0 to 99 mean 1900 to 1999), local time; gives the new time."),
    bind::describedMethod("setFullYear", "year [, month [, day]]",
                          "Sets the year and optionally month and day, local time; gives the new "
                          "time in milliseconds."),
    bind::describedMethod(
        "setMonth", "month [, day]",
        "Sets the month (from 0) and optionally the day, local time; gives the new time."),
    bind::describedMethod("setDate", "day",
                          "Sets the day of the month, local time; gives the new time."),
    bind::describedMethod(
        "setHours", "hours [, minutes [, seconds [, ms]]]",
        "Sets the hours and optionally the smaller fields, local time; gives the new time."),
    bind::describedMethod("setMinutes", "minutes [, seconds [, ms]]",
                          "Sets the minutes and optionally seconds and milliseconds, local time; "
                          "gives the new time."),
    bind::describedMethod("setSeconds", "seconds [, ms]",
                          "Sets the seconds and optionally milliseconds; gives the new time."),
    bind::describedMethod("setMilliseconds", "ms", "Sets the milliseconds; gives the new time."),
    bind::describedMethod("setUTCFullYear", "year [, month [, day]]", "setFullYear in UTC."),
    bind::describedMethod("setUTCMonth", "month [, day]", "setMonth in UTC."),
    bind::describedMethod("setUTCDate", "day", "setDate in UTC."),
    bind::describedMethod("setUTCHours", "hours [, minutes [, seconds [, ms]]]",
                          "setHours in UTC."),
    bind::describedMethod("setUTCMinutes", "minutes [, seconds [, ms]]", "setMinutes in UTC."),
    bind::describedMethod("setUTCSeconds", "seconds [, ms]", "setSeconds in UTC."),
    bind::describedMethod("setUTCMilliseconds", "ms", "setMilliseconds in UTC."),
    bind::describedMethod(
        "toGMTString", "",
        "The date and time in UTC as text, e.g. \"Thu, 01 Jan 1970 00:00:00 GMT\"."),
};

void registerDate(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "Date", ClassId::kDate);
    cls->synopsis =
        "[milliseconds | text | year, month [, day [, hours [, minutes [, seconds [, ms]]]]]]";
    cls->summary =
        "Dates in the local time zone, kept as milliseconds since 1970 UTC, with the ECMAScript "
        "3 methods (month numbers from 0); Date() called as a function gives the current time "
        "as text.";
    auto* data = static_cast<DateClassData*>(plainCalloc(engine, 1, sizeof(DateClassData)));
    cls->classData = data;
    cls->classDataDestructor = freeDateClassData;
    data->names = internNames(engine, kMemberNames);
    data->biasMinutes = platform::standardTimeBiasMinutes();
    cls->call = callDate;
    cls->method = dateMethod;
    cls->property = dateProperty;
    cls->construct = constructDate;
    cls->finalizeInstance = finalizeDate;
}

bind::MemberTable dateReference() {
    return kDateReference;
}

}  // namespace quill
