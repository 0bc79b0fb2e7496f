// The Date text parser. One left-to-right pass: words name months, weekdays, zones and am/pm;
// numbers become fields by their size, by the character after them and by what is still unset.
#include "builtins/date_parse.h"

#include <cstring>

#include "builtins/date_calendar.h"

namespace quill::date {

namespace {

enum class WordKind { kAm, kPm, kWeekday, kMonth, kZone };

struct Word {
    const char* text;
    WordKind kind;
    int32_t value;  // month number or zone offset in minutes west of UTC
};

// Searched from the last entry to the first, so an abbreviation shared by two entries ("ma",
// "ju", "ut") means the later one.
constexpr Word kWords[] = {
    {"am", WordKind::kAm, 0},
    {"pm", WordKind::kPm, 0},
    {"monday", WordKind::kWeekday, 0},
    {"tuesday", WordKind::kWeekday, 0},
    {"wednesday", WordKind::kWeekday, 0},
    {"thursday", WordKind::kWeekday, 0},
    {"friday", WordKind::kWeekday, 0},
    {"saturday", WordKind::kWeekday, 0},
    {"sunday", WordKind::kWeekday, 0},
    {"january", WordKind::kMonth, 0},
    {"february", WordKind::kMonth, 1},
    {"march", WordKind::kMonth, 2},
    {"april", WordKind::kMonth, 3},
    {"may", WordKind::kMonth, 4},
    {"june", WordKind::kMonth, 5},
    {"july", WordKind::kMonth, 6},
    {"august", WordKind::kMonth, 7},
    {"september", WordKind::kMonth, 8},
    {"october", WordKind::kMonth, 9},
    {"november", WordKind::kMonth, 10},
    {"december", WordKind::kMonth, 11},
    {"gmt", WordKind::kZone, 0},
    {"ut", WordKind::kZone, 0},
    {"utc", WordKind::kZone, 0},
    {"est", WordKind::kZone, 300},
    {"edt", WordKind::kZone, 240},
    {"cst", WordKind::kZone, 360},
    {"cdt", WordKind::kZone, 300},
    {"mst", WordKind::kZone, 420},
    {"mdt", WordKind::kZone, 360},
    {"pst", WordKind::kZone, 480},
    {"pdt", WordKind::kZone, 420},
};

constexpr int64_t kUnset = INT64_MIN;
// Digit runs stop growing here: far beyond any field, and no arithmetic on it can overflow.
constexpr int64_t kNumberCap = 1000000000000LL;

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isSeparator(unsigned char c) {
    return c <= ' ' || c == ',';
}

const Word* findWord(std::string_view text, size_t start, size_t length) {
    for (size_t k = sizeof kWords / sizeof kWords[0]; k-- > 0;) {
        const char* entry = kWords[k].text;
        if (std::strlen(entry) < length) continue;
        bool prefix = true;
        for (size_t j = 0; j < length && prefix; ++j) {
            char c = text[start + j];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            prefix = c == entry[j];
        }
        if (prefix) return &kWords[k];
    }
    return nullptr;
}

class DateScanner {
  public:
    explicit DateScanner(std::string_view text) : s_(text) {}

    bool scan() {
        while (i_ < s_.size()) {
            auto c = static_cast<unsigned char>(s_[i_++]);
            if (isSeparator(c)) continue;
            if (c == '(') {
                skipComment();
            } else if (c == '-' || c == '+') {
                // A sign counts only right before a digit; elsewhere the character is skipped.
                if (i_ < s_.size() && isDigit(static_cast<unsigned char>(s_[i_]))) sign_ = char(c);
            } else if (isDigit(c)) {
                if (!number(c)) return false;
            } else if (isLetter(c)) {
                if (!word()) return false;
            } else if (c == '/' || c == ':') {
                previous_ = char(c);
            } else {
                return false;
            }
        }
        return year_ != kUnset && month_ != kUnset && date_ != kUnset;
    }

    // The time value; only after scan() succeeded.
    double result(int32_t biasMinutes) const {
        auto orZero = [](int64_t v) { return v == kUnset ? 0.0 : static_cast<double>(v); };
        double t = makeDateTime(double(year_), double(month_), double(date_), orZero(hour_),
                                orZero(minute_), orZero(second_), 0.0);
        double offset = zone_ != kUnset ? static_cast<double>(zone_) : double(biasMinutes);
        return t + offset * 60000.0;
    }

  private:
    void skipComment() {
        int64_t depth = 1;
        while (i_ < s_.size() && depth > 0) {
            if (s_[i_] == '(') ++depth;
            if (s_[i_] == ')') --depth;
            ++i_;
        }
    }

    bool number(unsigned char first) {
        int64_t n = first - '0';
        while (i_ < s_.size() && isDigit(static_cast<unsigned char>(s_[i_]))) {
            n = n * 10 + (s_[i_++] - '0');
            if (n > kNumberCap) n = kNumberCap;
        }
        bool atEnd = i_ >= s_.size();
        auto next = atEnd ? '\0' : static_cast<unsigned char>(s_[i_]);
        char sign = sign_;
        char previous = previous_;
        bool zoneHours = zoneHours_;
        sign_ = 0;
        previous_ = 0;
        zoneHours_ = false;

        if (sign) {
            // A zone offset: hours below 24, otherwise hhmm; '+' is east of UTC.
            if (zone_ != kUnset && zone_ != 0) return false;
            int64_t minutes = n < 24 ? n * 60 : (n / 100) * 60 + n % 100;
            zone_ = sign == '+' ? -minutes : minutes;
            zoneSign_ = sign;
            zoneHours_ = n < 24;
            return true;
        }
        if (n >= 70 ||
            (previous == '/' && month_ != kUnset && date_ != kUnset && year_ == kUnset)) {
            if (year_ != kUnset) return false;
            if (!atEnd && !isSeparator(next) && next != '/') return false;
            year_ = n < 100 ? n + 1900 : n;
            return true;
        }
        if (next == ':') return setFirstUnset(&hour_, n) || setFirstUnset(&minute_, n);
        if (next == '/') return setFirstUnset(&month_, n - 1) || setFirstUnset(&date_, n);
        if (!atEnd && !isSeparator(next) && next != '-') return false;
        if (zoneHours && previous == ':' && n < 60) {
            // The minutes of a "+05:30" zone, away from zero in the zone's direction.
            zone_ += zoneSign_ == '+' ? -n : n;
        } else if (hour_ != kUnset && minute_ == kUnset) {
            minute_ = n;
        } else if (minute_ != kUnset && second_ == kUnset) {
            second_ = n;
        } else if (date_ == kUnset) {
            date_ = n;
        } else {
            return false;
        }
        return true;
    }

    static bool setFirstUnset(int64_t* field, int64_t value) {
        if (*field != kUnset) return false;
        *field = value;
        return true;
    }

    bool word() {
        size_t start = i_ - 1;
        while (i_ < s_.size() && isLetter(static_cast<unsigned char>(s_[i_]))) ++i_;
        size_t length = i_ - start;
        sign_ = 0;
        previous_ = 0;
        zoneHours_ = false;
        if (length < 2) return false;
        const Word* w = findWord(s_, start, length);
        if (!w) return false;
        switch (w->kind) {
            case WordKind::kAm:
            case WordKind::kPm:
                if (hour_ == kUnset || hour_ > 12) return false;
                if (w->kind == WordKind::kAm && hour_ == 12) hour_ = 0;
                if (w->kind == WordKind::kPm && hour_ < 12) hour_ += 12;
                return true;
            case WordKind::kWeekday:
                return true;
            case WordKind::kMonth:
                if (month_ != kUnset) return false;
                month_ = w->value;
                return true;
            case WordKind::kZone:
                zone_ = w->value;
                return true;
        }
        return false;
    }

    std::string_view s_;
    size_t i_ = 0;
    int64_t year_ = kUnset, month_ = kUnset, date_ = kUnset;
    int64_t hour_ = kUnset, minute_ = kUnset, second_ = kUnset;
    int64_t zone_ = kUnset;  // minutes west of UTC
    char zoneSign_ = 0;
    char sign_ = 0;           // '+' or '-' right before the number being read
    char previous_ = 0;       // '/' or ':' seen since the last number or word
    bool zoneHours_ = false;  // the last number was a zone offset in whole hours
};

}  // namespace

bool parseDateText(std::string_view text, int32_t biasMinutes, double* out) {
    DateScanner scanner(text);
    if (!scanner.scan()) return false;
    *out = scanner.result(biasMinutes);
    return true;
}

}  // namespace quill::date
