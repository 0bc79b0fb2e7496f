// The options dialog's field rules: what each radio group shows for a stored value, that an
// untouched group stores its field unchanged (also for values no button describes), and the
// about box's version, e-mail and colour text rules.
#include "projector/layout/option_fields.h"

#include <gtest/gtest.h>

namespace quill::projector::layout {
namespace {

TEST(OptionFieldsTest, BorderStyleChoicesAndTheBitsTheyKeep) {
    EXPECT_EQ(borderStyleChoice(0x1), 0);
    EXPECT_EQ(borderStyleChoice(0x111), 0);  // a pop-up wins over any caption bits
    EXPECT_EQ(borderStyleChoice(0x10), 1);
    EXPECT_EQ(borderStyleChoice(0x110), 1);  // the frame takes the caption first as well
    EXPECT_EQ(borderStyleChoice(0x100), 2);
    EXPECT_EQ(borderStyleChoice(0x1010), 3);
    EXPECT_EQ(borderStyleChoice(0x1100), 3);
    EXPECT_EQ(borderStyleChoice(0x1000), kNoChoice);  // a tool window without any caption
    EXPECT_EQ(borderStyleChoice(0), kNoChoice);

    // The choice it already shows, or none, leaves the value alone (0x1100 stays resizable).
    EXPECT_EQ(withBorderStyle(0x11100, 3), 0x11100u);
    EXPECT_EQ(withBorderStyle(0x1000, kNoChoice), 0x1000u);
    // A new choice replaces the style bits and keeps "Hide Taskbar button" (bit 16).
    EXPECT_EQ(withBorderStyle(0x10100, 0), 0x10001u);
    EXPECT_EQ(withBorderStyle(0x1, 3), 0x1010u);
    EXPECT_EQ(withBorderStyle(0x1010, 2), 0x100u);
    EXPECT_EQ(withBorderStyle(0x100, 7), 0x100u);
}

TEST(OptionFieldsTest, ScaleShapeAndEnumerationsKeepValuesNoButtonShows) {
    EXPECT_EQ(scaleChoice(1), 0);
    EXPECT_EQ(scaleChoice(16), 1);
    EXPECT_EQ(scaleChoice(2), 2);
    EXPECT_EQ(scaleChoice(256), 3);
    EXPECT_EQ(scaleChoice(3), kNoChoice);
    EXPECT_EQ(withScaleChoice(3, kNoChoice), 3u);
    EXPECT_EQ(withScaleChoice(3, 1), 16u);

    // Both transparent shapes show as "Transparent background"; 3 survives an untouched page.
    EXPECT_EQ(shapeChoice(3), 1);
    EXPECT_EQ(withShapeChoice(3, 1), 3u);
    EXPECT_EQ(withShapeChoice(3, 2), 2u);
    EXPECT_EQ(shapeChoice(9), kNoChoice);
    EXPECT_EQ(withShapeChoice(9, kNoChoice), 9u);

    EXPECT_EQ(enumChoice(4, 5), 4);
    EXPECT_EQ(enumChoice(9, 5), kNoChoice);  // sizeMode 9: no button, kept
    EXPECT_EQ(withEnumChoice(9, kNoChoice), 9u);
    EXPECT_EQ(withEnumChoice(9, 0), 0u);
}

TEST(OptionFieldsTest, ColourText) {
    EXPECT_EQ(colorText(0xFFFFFF), "0xFFFFFF");
    EXPECT_EQ(colorText(0x1), "0x000001");
    EXPECT_EQ(colorText(0xAB123456), "0x123456");  // six digits, as the page shows it
    EXPECT_EQ(parseColorText("0xFFFFFF"), 0xFFFFFFu);
    EXPECT_EQ(parseColorText(" 0x00ff01 "), 0xFF01u);
    EXPECT_EQ(parseColorText("ff"), 0xFFu);
    EXPECT_EQ(parseColorText(""), std::nullopt);
    EXPECT_EQ(parseColorText("0x"), std::nullopt);
    EXPECT_EQ(parseColorText("0x1234567"), std::nullopt);
    EXPECT_EQ(parseColorText("0xGG0000"), std::nullopt);
    EXPECT_EQ(parseColorText("-1"), std::nullopt);
}

TEST(OptionFieldsTest, AboutBoxVersionAndMailRules) {
    EXPECT_EQ(versionLine("1.0"), "Version 1.0");
    EXPECT_EQ(versionLine("Version 2"), "Version 2");
    EXPECT_EQ(versionLine("Version"), "Version");
    EXPECT_EQ(versionLine("Versio"), "Version Versio");
    // The comparison is exact: another case is not the prefix.
    EXPECT_EQ(versionLine("version 3"), "Version version 3");
    EXPECT_EQ(mailtoAddress("a@b.example"), "mailto:a@b.example");
    EXPECT_EQ(mailtoAddress("mailto:a@b.example"), "mailto:a@b.example");
    EXPECT_EQ(mailtoAddress("MAILTO:a@b.example"), "MAILTO:a@b.example");
    EXPECT_EQ(mailtoAddress("mailto"), "mailto:mailto");
}

}  // namespace
}  // namespace quill::projector::layout
