// The generated case and class tables: the ASCII range against the C locale, the run layouts the
// lookups depend on (alternating ranges, single entries, the ends of the 16-bit range), and the
// whole range for properties every mapping must keep.
#include <gtest/gtest.h>

#include <cctype>

#include "platform/unicode_chars.h"

using namespace quill::platform;

namespace {

TEST(UnicodeChars, AsciiAgreesWithTheCLocale) {
    for (int c = 0; c < 0x80; ++c) {
        char16_t u = static_cast<char16_t>(c);
        EXPECT_EQ(toUpperUnit(u), std::toupper(c)) << c;
        EXPECT_EQ(toLowerUnit(u), std::tolower(c)) << c;
        uint16_t classes = charClasses(u);
        EXPECT_EQ((classes & kCharSpace) != 0, std::isspace(c) != 0) << c;
        EXPECT_EQ((classes & kCharDigit) != 0, std::isdigit(c) != 0) << c;
        EXPECT_EQ((classes & kCharAlpha) != 0, std::isalpha(c) != 0) << c;
        EXPECT_EQ((classes & kCharUpper) != 0, std::isupper(c) != 0) << c;
        EXPECT_EQ((classes & kCharLower) != 0, std::islower(c) != 0) << c;
        EXPECT_EQ((classes & kCharPunct) != 0, std::ispunct(c) != 0) << c;
        EXPECT_EQ((classes & kCharCntrl) != 0, std::iscntrl(c) != 0) << c;
        EXPECT_EQ((classes & kCharPrint) != 0, std::isprint(c) != 0) << c;
        EXPECT_EQ((classes & kCharXdigit) != 0, std::isxdigit(c) != 0) << c;
        EXPECT_EQ((classes & kCharBlank) != 0, c == ' ' || c == '\t') << c;
    }
}

TEST(UnicodeChars, MappingsBeyondAscii) {
    EXPECT_EQ(toUpperUnit(u'\u00E9'), u'\u00C9');  // é É
    EXPECT_EQ(toLowerUnit(u'\u00C9'), u'\u00E9');
    EXPECT_EQ(toUpperUnit(u'\u00FF'), u'\u0178');  // ÿ Ÿ, far apart
    EXPECT_EQ(toUpperUnit(u'\u00B5'), u'\u039C');  // micro sign -> capital mu
    EXPECT_EQ(toLowerUnit(u'\u03A3'), u'\u03C3');  // Σ σ
    EXPECT_EQ(toUpperUnit(u'\u03C2'), u'\u03A3');  // final ς Σ
    // Alternating pairs: even units are capitals, odd ones small, and only those move.
    EXPECT_EQ(toLowerUnit(u'\u0100'), u'\u0101');
    EXPECT_EQ(toLowerUnit(u'\u0101'), u'\u0101');
    EXPECT_EQ(toUpperUnit(u'\u0101'), u'\u0100');
    EXPECT_EQ(toUpperUnit(u'\u0100'), u'\u0100');
    EXPECT_EQ(toUpperUnit(u'\u012F'), u'\u012E');
    // One-to-many mappings have no one-unit form: the unit stays.
    EXPECT_EQ(toUpperUnit(u'\u00DF'), u'\u00DF');  // ß
    EXPECT_EQ(toUpperUnit(u'\uFB01'), u'\uFB01');  // ﬁ
    EXPECT_EQ(toLowerUnit(u'\u0130'), u'i');       // İ
    EXPECT_EQ(toUpperUnit(u'\u1F80'), u'\u1F88');  // small alpha with iota -> its titlecase
    EXPECT_EQ(toUpperUnit(u'\u0131'), u'I');       // dotless ı
    EXPECT_EQ(toUpperUnit(u'\u0430'), u'\u0410');  // Cyrillic а А
    EXPECT_EQ(toUpperUnit(u'\uFF41'), u'\uFF21');  // fullwidth ａ Ａ
    EXPECT_EQ(toLowerUnit(u'\uFF3A'), u'\uFF5A');
    // The ends of the range and units without letters.
    EXPECT_EQ(toUpperUnit(u'\0'), u'\0');
    EXPECT_EQ(toUpperUnit(u'\uFFFF'), u'\uFFFF');
    EXPECT_EQ(toLowerUnit(u'\uFFFF'), u'\uFFFF');
    EXPECT_EQ(toLowerUnit(u'\u4E2D'), u'\u4E2D');
}

TEST(UnicodeChars, EveryUnitMapsWithinItsKind) {
    int upperMapped = 0, lowerMapped = 0;
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
        char16_t u = static_cast<char16_t>(c);
        char16_t up = toUpperUnit(u), low = toLowerUnit(u);
        bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        if (surrogate) {
            EXPECT_EQ(up, u);
            EXPECT_EQ(low, u);
            EXPECT_EQ(charClasses(u), 0) << c;
            continue;
        }
        EXPECT_FALSE(up >= 0xD800 && up <= 0xDFFF) << c;
        EXPECT_FALSE(low >= 0xD800 && low <= 0xDFFF) << c;
        // Only letters (and a few letter-like marks and numbers) change case.
        if (up != u || low != u) {
            EXPECT_TRUE(charClasses(up) & (kCharAlpha | kCharPunct | kCharPrint)) << c;
        }
        // A capital that maps down has a small letter that maps up again (capital sharp s is
        // the one exception: ß has no one-unit capital).
        if (charClasses(u) & kCharUpper && low != u && c != 0x1E9E) {
            EXPECT_NE(toUpperUnit(low), low) << c;
        }
        upperMapped += up != u;
        lowerMapped += low != u;
        uint16_t classes = charClasses(u);
        if (classes & (kCharUpper | kCharLower)) {
            EXPECT_TRUE(classes & kCharAlpha) << c;
        }
        if (classes & kCharBlank) {
            EXPECT_TRUE(classes & kCharSpace) << c;
        }
        EXPECT_FALSE((classes & kCharCntrl) && (classes & kCharPrint)) << c;
    }
    // Every one of the generator's mappings is found (the counts of its Unicode version).
    EXPECT_EQ(upperMapped, 1190);
    EXPECT_EQ(lowerMapped, 1173);
}

TEST(UnicodeChars, ClassesBeyondAscii) {
    EXPECT_TRUE(charClasses(u'\u00E9') & kCharLower);
    EXPECT_TRUE(charClasses(u'\u00E9') & kCharAlpha);
    EXPECT_TRUE(charClasses(u'\u4E2D') & kCharAlpha);  // a letter without case
    EXPECT_FALSE(charClasses(u'\u4E2D') & (kCharUpper | kCharLower));
    EXPECT_EQ(charClasses(u'\u0663') & kCharDigit, 0);  // Arabic-Indic three is not 0-9
    EXPECT_TRUE(charClasses(u'\u00A0') & kCharBlank);   // no-break space
    EXPECT_TRUE(charClasses(u'\u3000') & kCharSpace);
    EXPECT_TRUE(charClasses(u'\u2028') & kCharSpace);
    EXPECT_FALSE(charClasses(u'\u2028') & (kCharBlank | kCharPrint));
    EXPECT_TRUE(charClasses(u'\u20AC') & kCharPunct);  // € is a symbol
    EXPECT_TRUE(charClasses(u'\u0085') & kCharCntrl);
    EXPECT_EQ(charClasses(u'\uFFFF'), 0);  // not a character
}

}  // namespace
