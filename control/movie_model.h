// The tag model: what a movie file holds once read, and what the writer turns back into bytes.
// Definitions live in a dictionary by character id; timelines are frames of control tags.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/record_arena.h"
#include "control/swf_records.h"

namespace quill::movie {

struct GradientStop {
    uint8_t ratio = 0;
    Rgba color;
    bool operator==(const GradientStop&) const = default;
};

enum FillKind : uint8_t {
    kFillSolid = 0x00,
    kFillLinearGradient = 0x10,
    kFillRadialGradient = 0x12,
    kFillFocalGradient = 0x13,
    kFillRepeatingBitmap = 0x40,
    kFillClippedBitmap = 0x41,
    kFillRepeatingBitmapHard = 0x42,
    kFillClippedBitmapHard = 0x43,
};

struct FillStyle {
    uint8_t kind = kFillSolid;
    Rgba color;                       // solid fills
    Matrix matrix;                    // gradients and bitmaps
    std::vector<GradientStop> stops;  // gradients
    uint16_t bitmapId = 0;            // bitmaps (not drawn)
    bool operator==(const FillStyle&) const = default;
};

struct LineStyle {
    uint16_t width = 20;  // twips
    Rgba color;
    bool operator==(const LineStyle&) const = default;
};

// One shape record. Style indices count from 1 into the current style arrays; 0 is "none".
struct ShapeRecord {
    enum Kind : uint8_t { kStyleChange, kStraight, kCurved };
    Kind kind = kStraight;
    // kStyleChange
    bool hasMove = false, hasFill0 = false, hasFill1 = false, hasLine = false, hasNewStyles = false;
    int32_t moveX = 0, moveY = 0;  // absolute, in the shape's space
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    uint32_t newStylesIndex = 0;  // into ShapeDefinition::styleSets when hasNewStyles
    // kStraight: (dx, dy); kCurved: control (dx, dy), then anchor (ax, ay), both relative
    int32_t dx = 0, dy = 0, ax = 0, ay = 0;
    bool operator==(const ShapeRecord&) const = default;
};

using ShapeRecords = std::vector<ShapeRecord, ArenaAllocator<ShapeRecord>>;

struct StyleSet {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    bool operator==(const StyleSet&) const = default;
};

struct ShapeDefinition {
    int version = 1;  // 1, 2 or 3 (DefineShape, DefineShape2, DefineShape3)
    Rect bounds;
    std::vector<StyleSet> styleSets;  // [0] the initial styles, then each change's new styles
    ShapeRecords records;
    bool operator==(const ShapeDefinition&) const = default;
};

struct PlaceObject {
    int version = 2;  // 1 PlaceObject, 2 PlaceObject2
    uint16_t depth = 1;
    bool move = false;  // PlaceObject2: modify the object at this depth
    bool hasCharacter = false, hasMatrix = false, hasColorTransform = false, hasRatio = false,
         hasName = false, hasClipDepth = false;
    uint16_t characterId = 0;
    Matrix matrix;
    ColorTransform colorTransform;
    uint16_t ratio = 0;
    std::string name;
    uint16_t clipDepth = 0;
    bool operator==(const PlaceObject&) const = default;
};

struct ControlTag {
    enum Kind : uint8_t { kPlace, kRemove, kDoAction, kBackground };
    Kind kind = kPlace;
    PlaceObject place;
    int removeVersion = 2;  // 1 RemoveObject (with character id), 2 RemoveObject2
    uint16_t depth = 0;
    uint16_t characterId = 0;
    std::vector<uint8_t> actions;  // kDoAction: the action records, with their end byte
    Rgba background;               // kBackground
    bool operator==(const ControlTag&) const = default;
};

struct Frame {
    std::vector<ControlTag> tags;
    std::vector<std::string> labels;
    bool operator==(const Frame&) const = default;
};

struct Timeline {
    uint16_t declaredFrames = 0;  // the count in the header or sprite tag
    std::vector<Frame> frames;    // at least one
    bool operator==(const Timeline&) const = default;
};

struct ButtonRecord {
    bool up = false, over = false, down = false, hitTest = false;
    uint16_t characterId = 0;
    uint16_t depth = 1;
    Matrix matrix;
    ColorTransform colorTransform;
    bool operator==(const ButtonRecord&) const = default;
};

// Button transition conditions (the bits of a condition word).
enum ButtonCondition : uint16_t {
    kCondIdleToOverUp = 1 << 0,       // roll over
    kCondOverUpToIdle = 1 << 1,       // roll out
    kCondOverUpToOverDown = 1 << 2,   // press
    kCondOverDownToOverUp = 1 << 3,   // release
    kCondOverDownToOutDown = 1 << 4,  // drag out
    kCondOutDownToOverDown = 1 << 5,  // drag over
    kCondOutDownToIdle = 1 << 6,      // release outside
    kCondIdleToOverDown = 1 << 7,
    kCondOverDownToIdle = 1 << 8,
};

struct ButtonAction {
    uint16_t conditions = kCondOverDownToOverUp;
    uint8_t keyCode = 0;
    std::vector<uint8_t> actions;
    bool operator==(const ButtonAction&) const = default;
};

struct ButtonDefinition {
    int version = 2;  // 1 DefineButton, 2 DefineButton2
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    std::vector<ButtonAction> actions;
    bool operator==(const ButtonDefinition&) const = default;
};

struct EditTextDefinition {
    Rect bounds;
    bool wordWrap = false, multiline = false, password = false, readOnly = true, autoSize = false,
         noSelect = false, border = false, html = false, useOutlines = false;
    bool hasFont = false, hasColor = false, hasMaxLength = false, hasLayout = false,
         hasText = false;
    uint16_t fontId = 0;
    uint16_t fontHeight = 240;  // twips
    Rgba color;
    uint16_t maxLength = 0;
    uint8_t align = 0;  // 0 left, 1 right, 2 centre, 3 justify
    uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
    int16_t leading = 0;
    std::string variableName;
    std::string initialText;
    bool operator==(const EditTextDefinition&) const = default;
};

// Only what a device font needs: its name and style; glyph outlines are not kept.
struct FontDefinition {
    int version = 2;
    std::string name;
    bool bold = false, italic = false;
    bool operator==(const FontDefinition&) const = default;
};

struct Character {
    enum Kind : uint8_t { kShape, kSprite, kButton, kEditText, kFont };
    Kind kind = kShape;
    uint16_t id = 0;
    std::shared_ptr<ShapeDefinition> shape;
    std::shared_ptr<Timeline> sprite;
    std::shared_ptr<ButtonDefinition> button;
    std::shared_ptr<EditTextDefinition> editText;
    std::shared_ptr<FontDefinition> font;
};

// A tag as it sits in the file, for listings (nested tags of sprites have depth 1).
struct TagInfo {
    uint16_t code = 0;
    uint32_t length = 0;
    size_t offset = 0;  // of the tag header in the uncompressed data
    int depth = 0;
    uint16_t characterId = 0;  // for definitions, else 0
};

struct Movie {
    uint8_t version = 6;
    bool compressed = false;
    Rect frameSize{0, 11000, 0, 8000};
    uint16_t frameRate = 12 << 8;  // 8.8 fixed point frames per second
    Rgba background{255, 255, 255, 255};
    bool hasBackground = false;
    std::map<uint16_t, Character> dictionary;
    Timeline root;

    double framesPerSecond() const { return frameRate / 256.0; }
    const Character* find(uint16_t id) const {
        auto it = dictionary.find(id);
        return it == dictionary.end() ? nullptr : &it->second;
    }
};

}  // namespace quill::movie
