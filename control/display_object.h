// What is on the stage while a movie plays: shapes, sprite clips (timelines of their own, with
// their variables and children by depth), buttons and text fields. Children are owned by their
// parent; scripts hold clips through weak references, so a clip removed under a running script
// is simply gone for it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/action_value.h"
#include "control/movie_model.h"

namespace quill::movie {

class SpriteClip;

class DisplayObject : public std::enable_shared_from_this<DisplayObject> {
  public:
    enum Kind : uint8_t { kShape, kSprite, kButton, kText };

    DisplayObject(Kind kind, const Character* character) : kind(kind), character(character) {}
    virtual ~DisplayObject() = default;

    const Kind kind;
    const Character* character;  // null for the root clip
    DisplayObject* parent = nullptr;
    int depth = 0;
    int placeFrame = -1;  // the parent's frame whose tag created it
    int nesting = 0;      // objects above this one
    bool removed = false;
    bool scriptMoved = false;  // a script set its position or shape: the timeline leaves it
    bool visible = true;
    Transform transform;
    ColorTransform colorTransform;
    std::string name;
    uint16_t ratio = 0;
    uint16_t clipDepth = 0;

    SpriteClip* asSprite();
    const SpriteClip* asSprite() const;
};

class SpriteClip : public DisplayObject {
  public:
    SpriteClip(const Character* character, const Timeline* timeline)
        : DisplayObject(kSprite, character), timeline(timeline) {}

    const Timeline* timeline;
    int currentFrame = -1;  // from 0; -1 before the first frame is shown
    bool playing = true;
    bool isRoot = false;
    std::map<int, std::shared_ptr<DisplayObject>> children;  // by depth
    std::map<std::string, ActionValue> variables;            // keys as `variableKey` makes them

    int frameCount() const { return timeline ? static_cast<int>(timeline->frames.size()) : 0; }
};

class ShapeObject : public DisplayObject {
  public:
    explicit ShapeObject(const Character* c) : DisplayObject(kShape, c) {}
};

// Buttons track the pointer through four states; each record of the definition is a child
// shown in some of them.
class ButtonObject : public DisplayObject {
  public:
    enum Mouse : uint8_t { kIdle, kOverUp, kOverDown, kOutDown };
    explicit ButtonObject(const Character* c) : DisplayObject(kButton, c) {}

    Mouse mouse = kIdle;
    std::vector<std::shared_ptr<DisplayObject>> parts;  // one per record, null when not drawable

    // Whether record i shows in the current state (the hit area when `hit`).
    bool partShown(size_t i, bool hit = false) const;
};

class TextObject : public DisplayObject {
  public:
    explicit TextObject(const Character* c) : DisplayObject(kText, c) {}
    std::string text;  // shown when the field is bound to no variable
};

inline SpriteClip* DisplayObject::asSprite() {
    return kind == kSprite ? static_cast<SpriteClip*>(this) : nullptr;
}
inline const SpriteClip* DisplayObject::asSprite() const {
    return kind == kSprite ? static_cast<const SpriteClip*>(this) : nullptr;
}

}  // namespace quill::movie
