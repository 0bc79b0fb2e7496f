// Boost.Regex over char16_t with traits that take case mapping and character classes from the
// generated Unicode tables, so that a pattern matches the same text on every target (the
// library's own wide traits follow the C library and the locale, and wchar_t differs in width).
#include "builtins/regexp_matcher.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cstring>
#include <new>
#include <string>

#include "platform/unicode_chars.h"

namespace quill {

namespace {

// Class masks handed to Boost: the table's bits, plus the classes Boost asks for by name that
// the table does not hold.
constexpr uint32_t kMaskWord = 1u << 10;     // alnum or '_'
constexpr uint32_t kMaskUnicode = 1u << 11;  // above the 8-bit range
constexpr uint32_t kMaskHorizontal = 1u << 12;
constexpr uint32_t kMaskVertical = 1u << 13;
constexpr uint32_t kMaskAlnum = uint32_t(platform::kCharAlpha) | platform::kCharDigit;

bool isLineSeparator(char16_t c) {
    return c == '\n' || c == '\r' || c == '\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Narrows ASCII text for Boost's name tables; anything else makes the name unknown.
bool asciiName(const char16_t* p1, const char16_t* p2, std::string* out) {
    out->clear();
    for (const char16_t* p = p1; p != p2; ++p) {
        if (*p == 0 || *p > 0x7F) return false;
        out->push_back(static_cast<char>(*p));
    }
    return true;
}

struct Utf16Traits {
    using char_type = char16_t;
    using size_type = std::size_t;
    using string_type = std::u16string;
    struct locale_type {};
    using char_class_type = uint32_t;

    Utf16Traits() = default;
    Utf16Traits(const Utf16Traits&) = delete;
    Utf16Traits& operator=(const Utf16Traits&) = delete;

    static size_type length(const char_type* p) {
        size_type n = 0;
        while (p[n]) ++n;
        return n;
    }
    char_type translate(char_type c) const { return c; }
    char_type translate_nocase(char_type c) const { return platform::toLowerUnit(c); }
    // Collation is by code unit: the same order on every target and in every locale.
    string_type transform(const char_type* p1, const char_type* p2) const {
        return string_type(p1, p2);
    }
    string_type transform_primary(const char_type* p1, const char_type* p2) const {
        string_type key(p1, p2);
        for (char16_t& c : key) c = platform::toLowerUnit(c);
        return key;
    }
    char_class_type lookup_classname(const char_type* p1, const char_type* p2) const {
        static const char_class_type kMasks[] = {
            0,
            kMaskAlnum,
            platform::kCharAlpha,
            platform::kCharBlank,
            platform::kCharCntrl,
            platform::kCharDigit,
            platform::kCharDigit,
            kMaskAlnum | platform::kCharPunct,  // graph
            kMaskHorizontal,
            platform::kCharLower,
            platform::kCharLower,
            platform::kCharPrint,
            platform::kCharPunct,
            platform::kCharSpace,
            platform::kCharSpace,
            platform::kCharUpper,
            kMaskUnicode,
            platform::kCharUpper,
            kMaskVertical,
            kMaskAlnum | kMaskWord,
            kMaskAlnum | kMaskWord,
            platform::kCharXdigit,
        };
        std::string name;
        if (!asciiName(p1, p2, &name)) return 0;
        int id = boost::BOOST_REGEX_DETAIL_NS::get_default_class_id(name.data(),
                                                                    name.data() + name.size());
        if (id < 0) {
            for (char& c : name) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
            id = boost::BOOST_REGEX_DETAIL_NS::get_default_class_id(name.data(),
                                                                    name.data() + name.size());
        }
        if (id < 0 || size_t(id) + 1 >= sizeof kMasks / sizeof kMasks[0]) return 0;
        return kMasks[id + 1];
    }
    string_type lookup_collatename(const char_type* p1, const char_type* p2) const {
        std::string name;
        if (asciiName(p1, p2, &name)) {
            std::string found = boost::BOOST_REGEX_DETAIL_NS::lookup_default_collate_name(name);
            if (!found.empty()) return string_type(found.begin(), found.end());
        }
        if (p2 - p1 == 1) return string_type(p1, p2);
        return string_type();
    }
    bool isctype(char_type c, char_class_type mask) const {
        uint32_t classes = platform::charClasses(c);
        if (classes & mask & 0x3FF) return true;
        if ((mask & kMaskWord) && c == '_') return true;
        if ((mask & kMaskUnicode) && c > 0xFF) return true;
        if ((mask & kMaskVertical) && (isLineSeparator(c) || c == '\v')) return true;
        if ((mask & kMaskHorizontal) && (classes & platform::kCharSpace) && !isLineSeparator(c) &&
            c != '\v') {
            return true;
        }
        return false;
    }
    int value(char_type c, int radix) const {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'z') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'Z') {
            digit = c - 'A' + 10;
        }
        return digit < radix ? digit : -1;
    }
    locale_type imbue(locale_type l) { return l; }
    locale_type getloc() const { return locale_type(); }
};

using Regex = boost::basic_regex<char16_t, Utf16Traits>;
using Matches = boost::match_results<const char16_t*>;

// The most states one search may visit before the matcher gives up with its complexity error.
// Boost's own budget grows with the square of the input and can reach 10^8 or more states
// (seconds of work) before a hopeless pattern is abandoned; this keeps the worst case to a
// fraction of a second while leaving ordinary searches of long texts far below it.
constexpr uint64_t kMaxSearchStates = 20000000;

uint64_t saturatingProduct(uint64_t a, uint64_t b) {
    return (b != 0 && a > UINT64_MAX / b) ? UINT64_MAX : a * b;
}

}  // namespace

}  // namespace quill

// Boost's budget for one search (the larger of N*S^2 and N^2 for N units of text and a pattern of
// S units), capped by kMaxSearchStates.
template <>
void boost::BOOST_REGEX_DETAIL_NS::perl_matcher<
    const char16_t*, quill::Matches::allocator_type,
    quill::Utf16Traits>::estimate_max_state_count(std::random_access_iterator_tag*) {
    constexpr uint64_t kBase = 100000;
    uint64_t n = last > base ? uint64_t(last - base) : 1;
    uint64_t s = re.size() ? uint64_t(re.size()) : 1;
    uint64_t budget = std::max(quill::saturatingProduct(quill::saturatingProduct(s, s), n),
                               quill::saturatingProduct(n, n));
    budget = budget > quill::kMaxSearchStates - kBase ? quill::kMaxSearchStates : budget + kBase;
    max_state_count = static_cast<std::ptrdiff_t>(budget);
}

namespace quill {

// Zeros kept after a pattern while it is parsed.
constexpr size_t kPatternPadding = 4;

struct CompiledPattern {
    Regex regex;
    boost::regex_constants::match_flag_type matchFlags;
};

CompiledPattern* compilePattern(std::u16string_view pattern, uint32_t flags, std::string* error) {
    namespace rc = boost::regex_constants;
    // Extended syntax without the Perl extensions: POSIX leftmost-longest matching.
    rc::syntax_option_type syntax = rc::extended;
    if (flags & kRegNoCollate) {
        syntax |= rc::nocollate;
        syntax &= ~rc::collate;
    }
    if (flags & kRegIgnoreCase) syntax |= rc::icase;
    if (flags & kRegEscapeInLists) syntax &= ~rc::no_escape_in_lists;
    // Newline-sensitive in the POSIX sense: '.' does not cross a line end and ^ $ anchor at every
    // line. Without it a line end is an ordinary character and ^ $ anchor only at the ends of the
    // input.
    rc::match_flag_type match =
        (flags & kRegNewline) ? rc::match_not_dot_newline : rc::match_single_line;
    // The parser looks one unit past a backslash that ends a bracket list ("[a\\") before it
    // notices the end of the pattern. It gets a copy with zeros after the end to read there,
    // never the memory that follows the caller's text.
    std::u16string padded;
    padded.reserve(pattern.size() + kPatternPadding);
    padded.assign(pattern);
    padded.append(kPatternPadding, u'\0');
    auto* compiled = new CompiledPattern{Regex(), match};
    try {
        compiled->regex.assign(padded.data(), padded.data() + pattern.size(), syntax);
        return compiled;
    } catch (const boost::regex_error& e) {
        *error = boost::BOOST_REGEX_DETAIL_NS::get_default_error_string(e.code());
    } catch (const std::bad_alloc&) {
        delete compiled;
        throw;
    } catch (const std::exception&) {
        *error = boost::BOOST_REGEX_DETAIL_NS::get_default_error_string(rc::error_unknown);
    }
    delete compiled;
    return nullptr;
}

void freePattern(CompiledPattern* pattern) {
    delete pattern;
}

SearchResult searchPattern(const CompiledPattern* pattern, std::u16string_view text, size_t start,
                           int32_t* slots, uint32_t slotCount) {
    if (slotCount > kMaxSubMatches) slotCount = kMaxSubMatches;
    for (uint32_t i = 0; i < 2 * slotCount; ++i) slots[i] = -1;
    if (start > text.size()) start = text.size();
    const char16_t* base = text.data();
    const char16_t* end = base + text.size();
    Matches m;
    bool found;
    try {
        // `base` lets anchors and word boundaries see the text before the start.
        found =
            boost::regex_search(base + start, end, m, pattern->regex, pattern->matchFlags, base);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // The state-count and backtracking-stack limits of the matcher.
        return SearchResult::kLimit;
    }
    if (!found) return SearchResult::kNoMatch;
    uint32_t n = static_cast<uint32_t>(m.size());
    for (uint32_t i = 0; i < n && i < slotCount; ++i) {
        if (!m[i].matched) continue;
        slots[2 * i] = static_cast<int32_t>(m[i].first - base);
        slots[2 * i + 1] = static_cast<int32_t>(m[i].second - base);
    }
    return SearchResult::kMatch;
}

}  // namespace quill
