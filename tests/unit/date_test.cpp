// The Date class: construction from components, numbers and text, the getters and setters with
// their argument rules and the 8.64e15 bound, the text forms (B.C. years included), Date.UTC,
// and the local zone taken from the system's standard-time bias.
#include <cstdlib>
#include <string>

#include "builtins/date.h"
#include "native_call_support.h"
#include "platform/system_time.h"

using namespace quill;
using namespace quill::test;

namespace {

constexpr int64_t kJuly9 = 994667415123;  // Mon, 09 Jul 2001 08:30:15.123 GMT

// The local zone: expectations for the zones the tests run in.
struct ZoneCase {
    const char* tz;
    int32_t bias;
    const char* epochText;  // new Date(0).toString()
};

constexpr ZoneCase kZones[] = {
    {"UTC", 0, "Thu Jan 01 00:00:00 GMT+000 1970"},
    {"PST8", 480, "Wed Dec 31 16:00:00 GMT-800 1969"},
    {"PST8PDT", 480, "Wed Dec 31 16:00:00 GMT-800 1969"},
    {"America/Los_Angeles", 480, "Wed Dec 31 16:00:00 GMT-800 1969"},
    {"IST-5:30", -330, "Thu Jan 01 05:30:00 GMT+530 1970"},
    {"Asia/Kolkata", -330, "Thu Jan 01 05:30:00 GMT+530 1970"},
};

class DateTest : public NativeTest {
  protected:
    ScriptValue date(const std::vector<ScriptValue>& args = {}) {
        ScriptValue v = construct("Date", args);
        EXPECT_EQ(ok, 1) << errorText();
        return v;
    }
    int64_t time(const ScriptValue& v) { return method(v, "getTime").i; }
    ScriptValue dateClass() { return getGlobal(engine, "Date"); }
    // The current time is only known to lie between two readings of the clock.
    bool isNow(const ScriptValue& v, int64_t before) {
        int64_t t = v.tag == kTagHost ? time(v) : v.i;
        return t >= before && t <= platform::currentTimeMillis();
    }

    // What a zone changes, checked in the engine of the running test.
    void checkZone(const ZoneCase& zone) {
        SCOPED_TRACE(zone.tz);
        EXPECT_EQ(platform::standardTimeBiasMinutes(), zone.bias);
        double shift = zone.bias * 60000.0;
        ScriptValue epoch;
        newDate(engine, &epoch, 0);
        EXPECT_EQ(text(epoch), zone.epochText);
        EXPECT_TRUE(isInteger(method(epoch, "getTimezoneOffset"), zone.bias));
        // Local midday in July: no daylight saving, so the zone's standard offset applies.
        ScriptValue july =
            construct("Date", {makeInteger(2001), makeInteger(6), makeInteger(9), makeInteger(12)});
        EXPECT_EQ(method(july, "getTime").i, int64_t(994680000000 + shift));
        EXPECT_TRUE(isInteger(method(july, "getHours"), 12));
        EXPECT_TRUE(isInteger(method(july, "getUTCHours"), (12 * 60 + zone.bias) / 60));
        ScriptValue cls = getGlobal(engine, "Date");
        ScriptValue localText = newStringFromAscii(engine, "7/9/2001 12:00");
        EXPECT_EQ(method(cls, "parse", {localText}).i, int64_t(994680000000 + shift));
        ScriptValue zonedText = newStringFromAscii(engine, "7/9/2001 12:00 GMT");
        EXPECT_EQ(method(cls, "parse", {zonedText}).i, 994680000000);
        // setHours works in local time, setUTCHours in UTC.
        method(july, "setHours", {makeInteger(0)});
        EXPECT_EQ(method(july, "getTime").i, int64_t(994636800000 + shift));
        method(july, "setUTCHours", {makeInteger(0)});
        EXPECT_TRUE(isInteger(method(july, "getUTCHours"), 0));
    }
};

TEST_F(DateTest, ConstructionFromComponents) {
    ScriptValue v = date({i(2001), i(6), i(9)});
    EXPECT_TRUE(isInteger(method(v, "getDate"), 9));
    EXPECT_TRUE(isInteger(method(v, "getMonth"), 6));
    EXPECT_EQ(time(v), 994636800000);
    v = date({i(2001), i(12), i(1)});
    EXPECT_EQ(time(v), 1009843200000) << "month 12 is January of the next year";
    EXPECT_EQ(str(method(v, "toGMTString")), "Tue, 01 Jan 2002 00:00:00 GMT");
    EXPECT_EQ(time(date({i(2001), i(6), i(9), i(8), i(30), i(15), i(123)})), kJuly9);
    EXPECT_EQ(time(date({d(2001.9), d(6.9), d(9.99), d(8.5), i(30), i(15), d(123.7)})), kJuly9)
        << "doubles are floored";
    EXPECT_EQ(time(date({i(2001), i(-1)})), 975628800000) << "December 2000";
    EXPECT_EQ(time(date({i(2001), i(0), i(1), i(25)})), 978397200000) << "hours carry over";
    EXPECT_EQ(time(date({i(2001), s(u"6"), makeNull(), makeBoolean(true)})), 978307200000)
        << "non-numbers leave their defaults";
    EXPECT_EQ(method(date({i(99), i(0)}), "getFullYear").i, 99) << "two-digit years stay";
    EXPECT_EQ(time(date({i(300000), i(0)})), 0) << "beyond 8.64e15 the value is 0";
    EXPECT_EQ(time(date({d(1e300), i(0)})), 0);
    EXPECT_EQ(time(date({d(-INFINITY), i(0)})), 0);
    EXPECT_EQ(time(date({i(INT64_MAX), i(INT64_MAX), i(INT64_MIN)})), 0);
    EXPECT_EQ(time(date({i(275760), i(8), i(13)})), 8640000000000000) << "the last valid day";
    EXPECT_EQ(time(date({i(275760), i(8), i(13), i(0), i(0), i(0), i(1)})), 0);
}

TEST_F(DateTest, ConstructionFromOneValueAndTheClock) {
    ScriptValue v = date({d(1.5)});
    EXPECT_EQ(time(v), 1);
    EXPECT_TRUE(isInteger(method(v, "getMilliseconds"), 1));
    EXPECT_EQ(time(date({d(-1.5)})), -1) << "truncated toward zero";
    EXPECT_EQ(method(date({d(-1.5)}), "getMilliseconds").i, 998);
    EXPECT_EQ(time(date({i(8640000000000000)})), 8640000000000000);
    EXPECT_EQ(time(date({i(-8640000000000000)})), -8640000000000000);
    EXPECT_EQ(time(date({i(8640000000000001)})), 0);
    EXPECT_EQ(time(date({d(INFINITY)})), 0);
    EXPECT_EQ(time(date({s(u"Mon, 09 Jul 2001 08:30:15 GMT")})), 994667415000);

    int64_t before = platform::currentTimeMillis();
    EXPECT_TRUE(isNow(date(), before));
    EXPECT_TRUE(isNow(date({s(u"garbage")}), before));
    EXPECT_TRUE(isNow(date({makeBoolean(true)}), before));
    EXPECT_TRUE(isNow(date({makeNaN()}), before));
    ScriptValue text = call("Date", {i(0)});
    ASSERT_EQ(text.tag, kTagString) << "Date() called as a function gives text";
    std::string now = str(text);
    EXPECT_EQ(now.size(), 32u) << now;
    EXPECT_EQ(now.substr(19, 8), " GMT+000");
}

TEST_F(DateTest, ParseAndUTC) {
    ScriptValue cls = dateClass();
    EXPECT_TRUE(
        isInteger(method(cls, "parse", {s(u"Mon, 09 Jul 2001 08:30:15 GMT")}), 994667415000));
    EXPECT_TRUE(isInteger(method(cls, "parse", {s(u"Mon, 09 Jul 2001 08:30:15 PDT")}),
                          994667415000 + 25200000));
    EXPECT_TRUE(isInteger(method(cls, "parse", {s(u"7/9/2001")}), 994636800000));
    EXPECT_TRUE(isInteger(method(cls, "parse"), 0));
    EXPECT_TRUE(isInteger(method(cls, "parse", {d(1.9)}), 1));
    EXPECT_TRUE(isInteger(method(cls, "parse", {d(-1.9)}), -1));
    EXPECT_TRUE(isInteger(method(cls, "parse", {d(9e15)}), 0));
    EXPECT_TRUE(isInteger(method(cls, "parse", {s(u"1/1/300000")}), 0)) << "parsed, out of range";
    int64_t before = platform::currentTimeMillis();
    EXPECT_TRUE(isNow(method(cls, "parse", {s(u"garbage")}), before));
    EXPECT_TRUE(isNow(method(cls, "parse", {makeNull()}), before));
    ScriptValue v = date({i(0)});
    EXPECT_TRUE(isInteger(method(v, "parse", {s(u"Jan 2 1970 GMT")}), 86400000))
        << "parse is served on instances too";

    EXPECT_TRUE(
        isInteger(method(cls, "UTC", {i(2001), i(6), i(9), i(8), i(30), i(15)}), 994667415000));
    EXPECT_TRUE(isInteger(method(cls, "UTC", {i(2001)}), 978307200000));
    EXPECT_TRUE(isInteger(method(cls, "UTC"), 0));
    EXPECT_TRUE(isInteger(method(cls, "UTC", {i(300000), i(0)}), 0));
    EXPECT_TRUE(isInteger(method(v, "UTC", {i(1970), i(0), i(2)}), 86400000));
}

TEST_F(DateTest, GettersAndTextForms) {
    ScriptValue v = date({i(kJuly9)});
    EXPECT_TRUE(isInteger(method(v, "getDay"), 1));
    EXPECT_TRUE(isInteger(method(v, "getFullYear"), 2001));
    EXPECT_TRUE(isInteger(method(v, "getHours"), 8));
    EXPECT_TRUE(isInteger(method(v, "getMinutes"), 30));
    EXPECT_TRUE(isInteger(method(v, "getSeconds"), 15));
    EXPECT_TRUE(isInteger(method(v, "getMilliseconds"), 123));
    EXPECT_TRUE(isInteger(method(v, "getUTCDate"), 9));
    EXPECT_TRUE(isInteger(method(v, "getUTCDay"), 1));
    EXPECT_TRUE(isInteger(method(v, "getUTCFullYear"), 2001));
    EXPECT_TRUE(isInteger(method(v, "getUTCHours"), 8));
    EXPECT_TRUE(isInteger(method(v, "getUTCMilliseconds"), 123));
    EXPECT_TRUE(isInteger(method(v, "getUTCMinutes"), 30));
    EXPECT_TRUE(isInteger(method(v, "getUTCMonth"), 6));
    EXPECT_TRUE(isInteger(method(v, "getUTCSeconds"), 15));
    EXPECT_TRUE(isInteger(method(v, "getTimezoneOffset"), 0));
    EXPECT_TRUE(isInteger(method(v, "valueOf"), kJuly9));
    EXPECT_TRUE(isInteger(method(v, "getYear"), 2001));
    EXPECT_TRUE(isInteger(method(date({i(1999), i(11), i(31)}), "getYear"), 99));
    EXPECT_TRUE(isInteger(method(date({i(1900), i(0)}), "getYear"), 0));
    EXPECT_TRUE(isInteger(method(date({i(2003), i(5)}), "getYear"), 2003));
    EXPECT_TRUE(isInteger(method(date({i(1899), i(5)}), "getYear"), 1899));

    EXPECT_EQ(str(method(v, "toString")), "Mon Jul 09 08:30:15 GMT+000 2001");
    EXPECT_EQ(str(method(v, "toLocaleString")), "Mon Jul 09 08:30:15 GMT+000 2001");
    EXPECT_EQ(text(v), "Mon Jul 09 08:30:15 GMT+000 2001") << "the string conversion";
    EXPECT_EQ(str(method(v, "toGMTString")), "Mon, 09 Jul 2001 08:30:15 GMT");
    EXPECT_EQ(str(method(date({i(0)}), "toGMTString")), "Thu, 01 Jan 1970 00:00:00 GMT");
    ScriptValue epochEve = date({i(-1)});
    EXPECT_EQ(str(method(epochEve, "toString")), "Wed Dec 31 23:59:59 GMT+000 1969");
    EXPECT_TRUE(isInteger(method(epochEve, "getMilliseconds"), 999));

    // Years before 1 print 1 - year with B.C.; the edges of the range still format.
    EXPECT_EQ(str(method(date({i(0), i(0)}), "toString")), "Sat Jan 01 00:00:00 GMT+000 0001 B.C.");
    EXPECT_EQ(str(method(date({i(-99), i(0)}), "toGMTString")),
              "Tue, 01 Jan 0100 00:00:00 GMT B.C.");
    EXPECT_EQ(str(method(date({i(1), i(0)}), "toGMTString")), "Mon, 01 Jan 0001 00:00:00 GMT");
    EXPECT_EQ(str(method(date({i(8640000000000000)}), "toGMTString")),
              "Sat, 13 Sep 275760 00:00:00 GMT");
    EXPECT_EQ(str(method(date({i(-8640000000000000)}), "toString")),
              "Tue Apr 20 00:00:00 GMT+000 271822 B.C.");

    ScriptValue cls = dateClass();
    EXPECT_EQ(str(method(cls, "toString")), "[object Date]");
    EXPECT_EQ(text(cls), "[object Date]");
    method(cls, "getTime");
    EXPECT_EQ(ok, 0) << "instance members need an instance";
    method(v, "toUTCString");
    EXPECT_EQ(ok, 0) << "names outside the table are not handled";
}

TEST_F(DateTest, SettersKeepWhatTheyAreNotGiven) {
    auto set = [&](const char* name, std::vector<ScriptValue> args) {
        ScriptValue v = date({i(kJuly9)});
        ScriptValue r = method(v, name, args);
        EXPECT_TRUE(isInteger(r, time(v))) << name << " returns the time value";
        return time(v);
    };
    EXPECT_EQ(set("setDate", {i(31)}), 996568215123);
    EXPECT_EQ(set("setMonth", {i(1)}), 981707415123);
    EXPECT_EQ(set("setFullYear", {i(2000), i(1), i(29)}), 951813015123);
    EXPECT_EQ(set("setHours", {i(25)}), 994728615123);
    EXPECT_EQ(set("setMinutes", {i(-1)}), 994665555123);
    EXPECT_EQ(set("setSeconds", {i(5), i(7)}), 994667405007);
    EXPECT_EQ(set("setMilliseconds", {d(999.9)}), kJuly9 + 876);
    EXPECT_EQ(set("setUTCDate", {i(31)}), 996568215123);
    EXPECT_EQ(set("setUTCHours", {i(25)}), 994728615123);
    EXPECT_EQ(set("setUTCMilliseconds", {i(0)}), kJuly9 - 123);
    EXPECT_EQ(set("setHours", {i(8), s(u"x"), i(0)}), kJuly9 - 15000)
        << "a later non-number keeps its field";
    EXPECT_EQ(set("setYear", {i(99)}), 931509015123);
    EXPECT_EQ(set("setYear", {i(2003)}), 1057739415123);
    ScriptValue early = date({i(kJuly9)});
    method(early, "setYear", {d(-0.5)});
    EXPECT_TRUE(isInteger(method(early, "getFullYear"), -1)) << "-0.5 floors to -1";
    EXPECT_TRUE(isInteger(method(early, "getDate"), 9));

    // Nothing changes for a first argument that is not a number or a result beyond the bound.
    for (const char* name : {"setDate", "setFullYear", "setHours", "setMinutes", "setSeconds",
                             "setMonth", "setMilliseconds", "setUTCFullYear", "setUTCMonth",
                             "setUTCSeconds", "setYear", "setTime"}) {
        EXPECT_EQ(set(name, {s(u"5")}), kJuly9) << name;
        EXPECT_EQ(set(name, {}), kJuly9) << name;
        EXPECT_EQ(set(name, {d(1e300)}), kJuly9) << name;
        EXPECT_EQ(set(name, {d(-INFINITY)}), kJuly9) << name;
    }
    EXPECT_EQ(set("setTime", {d(1e16)}), kJuly9);
    EXPECT_EQ(set("setTime", {i(0)}), 0);
    EXPECT_EQ(set("setTime", {d(-8.64e15)}), -8640000000000000);
    EXPECT_EQ(set("setFullYear", {i(275760), i(8), i(14)}), kJuly9) << "one day too far";
}

TEST_F(DateTest, HelpersForOtherClasses) {
    ScriptValue v;
    newDate(engine, &v, 86400000.5);
    double t = 0;
    ASSERT_TRUE(dateTimeValue(v, &t));
    EXPECT_EQ(t, 86400000.5);
    EXPECT_TRUE(isHostInstanceOf(engine, v, "Date"));
    newDate(engine, &v, 1e300);
    ASSERT_TRUE(dateTimeValue(v, &t));
    EXPECT_EQ(t, 0.0);
    EXPECT_FALSE(dateTimeValue(dateClass(), &t));
    EXPECT_FALSE(dateTimeValue(makeNumber(5), &t));
    EXPECT_EQ(dateBiasMinutes(engine), 0);
    EXPECT_EQ(localTimeValue(engine, 1601, 0, 1), -11644473600000.0);

    // Script-added properties live on the instance like on any host instance.
    setProperty(engine, v, intern(engine, "label"), makeInteger(7));
    EXPECT_TRUE(isInteger(property(v, "label"), 7));
    EXPECT_TRUE(trace.empty());
}

// The zone this process was started with (the test run starts some with other zones, because a
// Windows process reads its zone once).
TEST_F(DateTest, FollowsTheZoneOfTheProcess) {
    const char* tz = std::getenv("TZ");
    for (const ZoneCase& zone : kZones) {
        if (tz && std::string(tz) == zone.tz) {
            checkZone(zone);
            return;
        }
    }
    GTEST_SKIP() << "no expectations for TZ=" << (tz ? tz : "(unset)");
}

#ifndef _WIN32
// POSIX reads TZ again after a change within the process, and a new engine reads the bias again.
class ZoneScope {
  public:
    explicit ZoneScope(const char* tz) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneScope() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool hadOld_ = false;
    std::string old_;
};

TEST_F(DateTest, ZonesWestAndEastWithinTheProcess) {
    for (const ZoneCase& zone : kZones) {
        ZoneScope scope(zone.tz);
        restart(EngineConfig());
        checkZone(zone);
    }
    struct {
        const char* tz;
        int32_t bias;
        const char* text;
    } odd[] = {
        {"<+0545>-5:45", -345, "Thu Jan 01 05:45:00 GMT+545 1970"},
        {"<-0330>3:30", 210, "Wed Dec 31 20:30:00 GMT-330 1969"},
        {"Europe/Dublin", 0, "Thu Jan 01 00:00:00 GMT+000 1970"},
        {"Australia/Sydney", -600, "Thu Jan 01 10:00:00 GMT+1000 1970"},
    };
    for (const auto& zone : odd) {
        ZoneScope scope(zone.tz);
        restart(EngineConfig());
        SCOPED_TRACE(zone.tz);
        EXPECT_EQ(dateBiasMinutes(engine), zone.bias);
        EXPECT_EQ(str(method(date({i(0)}), "toString")), zone.text);
    }
    restart(EngineConfig());
}
#endif

}  // namespace
