// The options dialog's reading of the settings record as portable rules: which choice of a
// page's radio group a field shows, the field a choice stores, and the about box's text rules.
// A field the user did not touch is stored exactly as it was read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "projector/layout/window_layout.h"

namespace quill::projector::layout {

// Radio groups give their choice as 0..n-1, or -1 when no button of the group is checked.
inline constexpr int kNoChoice = -1;

// "None", "Single", "Resizable", "Small caption" of the frame style (frameStyle bits 0, 4, 8,
// 12); kNoChoice for a style none of them describes.
int borderStyleChoice(uint32_t frameStyle);
// The frame style for a choice, keeping the bits the choice does not own ("Hide Taskbar
// button"); the old value when the choice is the one it already shows or none.
uint32_t withBorderStyle(uint32_t frameStyle, int choice);

// "Show all", "100%", "No border", "Exact Fit" of frameParam (1, 16, 2, 256).
int scaleChoice(uint32_t frameParam);
uint32_t withScaleChoice(uint32_t frameParam, int choice);

// "Rectangle", "Transparent background" (windowShape 1 or 3), "Set clip shape" (2).
int shapeChoice(uint32_t windowShape);
uint32_t withShapeChoice(uint32_t windowShape, int choice);

// A plain enumeration field (sizeMode, interactionA, ...) shown by `count` buttons: values out
// of range show no button and stay as they are until one is chosen.
int enumChoice(uint32_t value, int count);
uint32_t withEnumChoice(uint32_t value, int choice);

constexpr uint32_t withBit(uint32_t value, uint32_t bit, bool on) {
    return on ? (value | bit) : (value & ~bit);
}

// The colour text of the Miscellaneous page ("0x%06X") and its reading: hexadecimal with or
// without "0x", at most six digits; anything else is refused.
std::string colorText(uint32_t value);
std::optional<uint32_t> parseColorText(const std::string& text);

// The about box's version line: "Version " in front unless the text starts with "Version".
std::string versionLine(const std::string& version);
// The e-mail link's address: "mailto:" in front unless it is there already.
std::string mailtoAddress(const std::string& email);

// The screens the placement preview offers, smallest last.
inline constexpr Size kPreviewScreens[] = {{1280, 1024}, {1280, 720}, {1152, 864}, {1024, 768},
                                           {800, 600},   {720, 576},  {720, 480},  {640, 480}};
inline constexpr int kDefaultPreviewScreen = 3;

}  // namespace quill::projector::layout
