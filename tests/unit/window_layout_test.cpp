// The window rules of the settings record: styles, placement, aspect, mask transform and data,
// menus and the input filters, checked against the cases an author meets.
#include "projector/layout/window_layout.h"

#include <gtest/gtest.h>

namespace quill::projector::layout {
namespace {

project::ProjectSettings settings() {
    return {};
}

TEST(WindowLayoutTest, FrameStylesReplaceTheFrameAndKeepOtherBits) {
    constexpr uint32_t kVisible = 0x10000000, kClipChildren = 0x02000000;
    Styles old{kVisible | kClipChildren | 0x00CF0000, 0x00000200 | 0x00000008 /* topmost */};
    Styles caption = frameStyles(0x10, 0x111, old);
    EXPECT_EQ(caption.style, kVisible | kClipChildren | kStyleCaption | kStyleMaximizeBox |
                                 kStyleMinimizeBox | kStyleSysMenu);
    EXPECT_EQ(caption.exStyle, kExClientEdge | 0x8u | kExAppWindow);

    // A pop-up never gets a maximize box or the help button, and loses the client edge.
    Styles popup = frameStyles(0x1 | 0x1000, 0x1111, old);
    EXPECT_EQ(popup.style,
              kVisible | kClipChildren | kStylePopup | kStyleMinimizeBox | kStyleSysMenu);
    EXPECT_EQ(popup.exStyle, 0x8u | kExAppWindow);  // no tool window for a pop-up either

    Styles sizing = frameStyles(0x100 | 0x1000 | 0x10000, 0x1000, {});
    EXPECT_EQ(sizing.style, kStyleCaption | kStyleThickFrame);
    EXPECT_EQ(sizing.exStyle, kExContextHelp | kExToolWindow);

    // Caption wins over a sizing border: the bits are tried in order.
    EXPECT_EQ(frameStyles(0x110, 0, {}).style, kStyleCaption);
}

TEST(WindowLayoutTest, ScaleModesFromTheirFlagValues) {
    EXPECT_EQ(scaleModeOf(1), 0);
    EXPECT_EQ(scaleModeOf(2), 1);
    EXPECT_EQ(scaleModeOf(256), 2);
    EXPECT_EQ(scaleModeOf(16), 3);
    EXPECT_EQ(scaleModeOf(3), std::nullopt);
    EXPECT_EQ(scaleModeOf(0), std::nullopt);
}

TEST(WindowLayoutTest, PlacementSizesAndPositions) {
    const Size screen{1024, 768};
    const Rect window{10, 10, 10 + 208, 10 + 227};  // an 8 by 27 pixel frame
    const Size client{200, 200};
    auto s = settings();

    s.sizeMode = 3, s.width = 640, s.height = 480, s.positionMode = 4;
    EXPECT_EQ(placeWindow(s, screen, window, client, std::nullopt),
              (Placement{{192, 144, 832, 624}, Show::kNormal}));

    // Percent of the screen: the height field for both extents, the width field unused.
    s.sizeMode = 4, s.width = 99, s.height = 50, s.positionMode = 0;
    EXPECT_EQ(placeWindow(s, screen, window, client, std::nullopt).window, (Rect{0, 0, 512, 384}));

    // The movie's size becomes the client area; without a readable movie the size stays.
    s.sizeMode = 0, s.positionMode = 8;
    EXPECT_EQ(placeWindow(s, screen, window, client, Size{550, 400}).window,
              (Rect{1024 - 558, 768 - 427, 1024, 768}));
    EXPECT_EQ(placeWindow(s, screen, window, client, Size{0, 400}).window,
              (Rect{1024 - 208, 768 - 227, 1024, 768}));
    EXPECT_EQ(placeWindow(s, screen, window, client, std::nullopt).window.width(), 208);

    s.sizeMode = 2, s.positionMode = 1;
    EXPECT_EQ(placeWindow(s, screen, window, client, Size{100, 100}),
              (Placement{{(1024 - 108) / 2, 0, (1024 - 108) / 2 + 108, 127}, Show::kMaximized}));

    s.sizeMode = 1;
    EXPECT_EQ(placeWindow(s, screen, window, client, Size{100, 100}),
              (Placement{{0, 0, 1024, 768}, Show::kFullScreen}));

    s.sizeMode = 3, s.width = 100, s.height = 50;
    s.positionMode = 9, s.x = 7, s.y = 9;
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window, (Rect{7, 9, 107, 59}));
    s.positionMode = 10, s.x = 50, s.y = 25;
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window, (Rect{512, 192, 612, 242}));
    s.positionMode = 5;
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window, (Rect{924, 359, 1024, 409}));
    s.positionMode = 6;
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window, (Rect{0, 718, 100, 768}));
    s.positionMode = 11;  // unknown: the window stays as it is
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window, window);

    // A window larger than the screen is centred to a negative position, as the rule says.
    s.width = 2000, s.positionMode = 4;
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window.left, (1024 - 2000) / 2);

    // A percentage over 100 is the whole screen.
    s.sizeMode = 4, s.height = 500, s.positionMode = 0;
    EXPECT_EQ(placeWindow(s, screen, window, client, {}).window, (Rect{0, 0, 1024, 768}));
}

TEST(WindowLayoutTest, AWindowOffEveryDisplayComesBackToThePrimaryOne) {
    const Size screen{1024, 768};
    const Rect desktop{-1280, 0, 1024, 1024};  // a second display on the left, taller
    // Anywhere on some display: kept, even partly off it.
    for (Rect shown :
         {Rect{-1000, 100, -600, 400}, Rect{900, 700, 1300, 1100}, Rect{0, 0, 5000, 10}}) {
        EXPECT_EQ(keepOnDesktop(shown, desktop, screen), shown);
    }
    // Wholly outside: moved onto the primary display, as close to where it was as fits.
    EXPECT_EQ(keepOnDesktop({4096, 3072, 4496, 3372}, desktop, screen),
              (Rect{624, 468, 1024, 768}));
    EXPECT_EQ(keepOnDesktop({-5000, 50, -4900, 150}, desktop, screen), (Rect{0, 50, 100, 150}));
    // Larger than the primary display: its top-left corner at the display's.
    EXPECT_EQ(keepOnDesktop({60000, 60000, 62000, 61000}, desktop, screen),
              (Rect{0, 0, 2000, 1000}));
}

TEST(WindowLayoutTest, KeepingTheAspectRatio) {
    const Size overhead{8, 27};
    float ratio = aspectRatio({640, 480});
    Rect before{100, 100, 100 + 648, 100 + 507};
    // Widening by 40 pixels grows the height by 30.
    Rect wider{100, 100, 100 + 688, 100 + 507};
    EXPECT_EQ(keepAspect(ratio, before, wider, overhead), (Rect{100, 100, 788, 100 + 537}));
    // A height-only change sets the width from it.
    Rect taller{100, 100, 100 + 648, 100 + 537};
    EXPECT_EQ(keepAspect(ratio, before, taller, overhead).width(), 680 + 8);
    // No ratio (an empty client area when it was taken): nothing is kept.
    EXPECT_EQ(aspectRatio({640, 0}), 0.0f);
    EXPECT_EQ(keepAspect(0.0f, before, wider, overhead), wider);
}

TEST(WindowLayoutTest, MaskTransformFollowsTheScaleMode) {
    const Size movie{400, 300}, client{800, 400}, offset{4, 23};
    EXPECT_EQ(maskTransform(0, movie, client, offset),
              (Transform{4.0f / 3, 4.0f / 3, (800 - 400 * (4.0f / 3)) / 2 + 4, 0 + 23}));
    EXPECT_EQ(maskTransform(1, movie, client, offset),
              (Transform{2, 2, 4, (400 - 600) / 2.0f + 23}));
    EXPECT_EQ(maskTransform(2, movie, client, offset), (Transform{2, 4.0f / 3, 4, 23}));
    EXPECT_EQ(maskTransform(3, movie, client, offset), (Transform{1, 1, 200 + 4, 50 + 23}));
    EXPECT_EQ(maskTransform(4, movie, client, offset), std::nullopt);
    EXPECT_EQ(maskTransform(0, {0, 300}, client, offset), std::nullopt);
}

std::vector<uint8_t> maskFile(uint32_t count, uint32_t headerSize, uint32_t type, uint32_t rects,
                              size_t dataBytes) {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
    };
    u32(count);
    u32(headerSize);
    u32(type);
    u32(rects);
    out.resize(4 + dataBytes);
    return out;
}

TEST(WindowLayoutTest, MaskDataIsCheckedBeforeUse) {
    auto good = maskFile(32 + 2 * 16, 32, 1, 2, 32 + 2 * 16);
    auto data = maskRegionData(good);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), 64u);
    EXPECT_EQ(data->data(), good.data() + 4);
    // Trailing bytes after the counted data are ignored.
    auto longer = maskFile(64, 32, 1, 2, 80);
    EXPECT_EQ(maskRegionData(longer)->size(), 64u);

    EXPECT_FALSE(maskRegionData(std::vector<uint8_t>{1, 0, 0}));
    EXPECT_FALSE(maskRegionData(maskFile(64, 32, 1, 2, 63)));          // count beyond the file
    EXPECT_FALSE(maskRegionData(maskFile(31, 32, 1, 0, 31)));          // shorter than a header
    EXPECT_FALSE(maskRegionData(maskFile(64, 40, 1, 2, 64)));          // foreign header size
    EXPECT_FALSE(maskRegionData(maskFile(64, 32, 2, 2, 64)));          // not rectangles
    EXPECT_FALSE(maskRegionData(maskFile(64, 32, 1, 3, 64)));          // more rectangles than data
    EXPECT_FALSE(maskRegionData(maskFile(0xFFFFFFFF, 32, 1, 0, 64)));  // a huge count
    EXPECT_TRUE(maskRegionData(maskFile(32, 32, 1, 0, 32)));           // an empty region
}

TEST(WindowLayoutTest, SystemMenuAdditions) {
    using enum MenuItem;
    EXPECT_TRUE(systemMenuAdditions(0).empty());
    EXPECT_TRUE(systemMenuAdditions(0x2).empty());  // bits of no item
    EXPECT_EQ(systemMenuAdditions(0x100), (std::vector{kSeparator, kAbout}));
    EXPECT_EQ(systemMenuAdditions(0x1111),
              (std::vector{kSeparator, kPlayerMenu, kConfig, kHelp, kSeparator, kAbout}));
    EXPECT_EQ(systemMenuAdditions(0x1), (std::vector{kSeparator, kConfig}));
}

TEST(WindowLayoutTest, WindowMenuStates) {
    auto s = settings();
    s.frameStyle = 0x100, s.frameButtons = 0x11;
    EXPECT_EQ(menuStates(s, false), (MenuStates{false, true, true, true}));
    s.frameStyle = 0x1;  // a pop-up cannot be maximized
    EXPECT_EQ(menuStates(s, true), (MenuStates{true, false, false, true}));
}

TEST(WindowLayoutTest, TrayToggleAndItsText) {
    EXPECT_EQ(trayToggle(WindowState::kHidden), Toggle::kShow);
    EXPECT_EQ(trayToggle(WindowState::kVisible), Toggle::kMinimizeAndHide);
    EXPECT_EQ(trayToggle(WindowState::kMinimized), Toggle::kRestore);
    EXPECT_STREQ(trayToggleText(WindowState::kHidden), "Show ");
    EXPECT_STREQ(trayToggleText(WindowState::kVisible), "Hide ");
    EXPECT_STREQ(trayToggleText(WindowState::kMinimized), "Restore ");
}

TEST(WindowLayoutTest, MouseFilterModes) {
    // Drag mode: the press both starts a drag and reaches the movie.
    MouseDecision down = mouseFilter(1, 0, Mouse::kLeftDown, false, true);
    EXPECT_TRUE(down.passOn && down.startDrag);
    EXPECT_TRUE(mouseFilter(1, 0, Mouse::kMove, true, true).moveWindow);
    EXPECT_FALSE(mouseFilter(1, 0, Mouse::kMove, true, false).moveWindow);
    EXPECT_FALSE(mouseFilter(0, 0, Mouse::kMove, true, true).moveWindow);
    MouseDecision up = mouseFilter(1, 0, Mouse::kLeftUp, true, false);
    EXPECT_TRUE(up.endDrag && up.moveWindow);
    EXPECT_FALSE(mouseFilter(1, 0, Mouse::kLeftUp, false, false).moveWindow);
    EXPECT_FALSE(mouseFilter(1, 0, Mouse::kLeftDouble, false, true).passOn);
    // Disabled left button.
    EXPECT_FALSE(mouseFilter(2, 0, Mouse::kLeftDown, false, true).passOn);
    EXPECT_FALSE(mouseFilter(7, 0, Mouse::kLeftUp, false, false).passOn);
    EXPECT_TRUE(mouseFilter(2, 0, Mouse::kMove, false, false).passOn);
    // Right button: the control's menu, the projector's menu, or nothing.
    EXPECT_TRUE(mouseFilter(0, 0, Mouse::kRightDown, false, false).passOn);
    MouseDecision menu = mouseFilter(0, 1, Mouse::kRightDown, false, false);
    EXPECT_TRUE(menu.showMenu && !menu.passOn);
    EXPECT_FALSE(mouseFilter(0, 2, Mouse::kRightDown, false, false).passOn);
    EXPECT_TRUE(mouseFilter(0, 1, Mouse::kRightDouble, false, false).passOn);
    EXPECT_FALSE(mouseFilter(0, 2, Mouse::kRightDouble, false, false).passOn);
}

TEST(WindowLayoutTest, KeyFilterClosesOnReleaseEvenWhenKeysAreBlocked) {
    auto s = settings();
    s.inputFlags = 0x10, s.closeFlags = 0x1;
    EXPECT_EQ(keyFilter(s, Key::kDown, kVirtualKeyEscape, 0).close, false);
    KeyDecision up = keyFilter(s, Key::kUp, kVirtualKeyEscape, 0);
    EXPECT_TRUE(up.close);
    EXPECT_FALSE(up.passOn);
    EXPECT_FALSE(keyFilter(s, Key::kChar, 'a', 0).passOn);

    s.inputFlags = 0, s.closeFlags = 0x10, s.closeKey = 'Q', s.closeModifiers = kModifierCtrl;
    EXPECT_FALSE(keyFilter(s, Key::kUp, kVirtualKeyEscape, 0).close);  // Escape not chosen
    EXPECT_FALSE(keyFilter(s, Key::kUp, 'Q', 0).close);
    EXPECT_TRUE(keyFilter(s, Key::kUp, 'Q', kModifierCtrl | kModifierShift).close);
    EXPECT_TRUE(keyFilter(s, Key::kSysUp, 'Q', kModifierCtrl).passOn);
    s.closeModifiers = kModifierAlt | kModifierCtrl;
    EXPECT_FALSE(keyFilter(s, Key::kSysUp, 'Q', kModifierAlt).close);
}

}  // namespace
}  // namespace quill::projector::layout
