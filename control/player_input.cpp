// Pointer input: which button is under the pointer (through the shapes of its hit state), and
// the transitions of its state machine that fire the button's scripts (press, release, roll over,
// roll out, drag out and over, release outside).
#include "control/player.h"

namespace quill::movie {

bool Player::hitTest(const DisplayObject& object, const Transform& toStage, double x,
                     double y) const {
    if (!object.visible || object.removed) return false;
    switch (object.kind) {
        case DisplayObject::kShape: {
            Transform inverse;
            if (!toStage.invert(&inverse)) return false;
            const ShapeDefinition* shape = object.character->shape.get();
            double lx = inverse.mapX(x, y), ly = inverse.mapY(x, y);
            const Rect& b = shape->bounds;
            if (lx < b.xMin || lx > b.xMax || ly < b.yMin || ly > b.yMax) return false;
            return geometryContains(geometry(shape), lx, ly);
        }
        case DisplayObject::kText: {
            Transform inverse;
            if (!toStage.invert(&inverse)) return false;
            const Rect& b = object.character->editText->bounds;
            double lx = inverse.mapX(x, y), ly = inverse.mapY(x, y);
            return lx >= b.xMin && lx <= b.xMax && ly >= b.yMin && ly <= b.yMax;
        }
        case DisplayObject::kSprite:
            for (const auto& [depth, child] : static_cast<const SpriteClip&>(object).children) {
                if (child->clipDepth) continue;
                if (hitTest(*child, toStage * child->transform, x, y)) return true;
            }
            return false;
        case DisplayObject::kButton: {
            const auto& button = static_cast<const ButtonObject&>(object);
            bool anyHitRecord = false;
            for (size_t i = 0; i < button.parts.size(); ++i)
                anyHitRecord |= button.partShown(i, true);
            for (size_t i = 0; i < button.parts.size(); ++i) {
                const auto& part = button.parts[i];
                if (!part) continue;
                bool inHitArea = anyHitRecord ? button.partShown(i, true)
                                              : button.character->button->records[i].up;
                if (inHitArea && hitTest(*part, toStage * part->transform, x, y)) return true;
            }
            return false;
        }
    }
    return false;
}

std::shared_ptr<ButtonObject> Player::buttonAt(double x, double y) {
    if (!root_) return nullptr;
    // Topmost first: the highest depth of the innermost clip wins.
    struct Walk {
        Player* player;
        double x, y;
        std::shared_ptr<ButtonObject> find(SpriteClip& clip, const Transform& toStage) {
            for (auto it = clip.children.rbegin(); it != clip.children.rend(); ++it) {
                DisplayObject& child = *it->second;
                if (!child.visible || child.clipDepth) continue;
                Transform t = toStage * child.transform;
                if (SpriteClip* s = child.asSprite()) {
                    if (auto hit = find(*s, t)) return hit;
                } else if (child.kind == DisplayObject::kButton) {
                    if (player->hitTest(child, t, x, y)) {
                        return std::static_pointer_cast<ButtonObject>(it->second);
                    }
                }
            }
            return nullptr;
        }
    } walk{this, x, y};
    return walk.find(*root_, root_->transform);
}

void Player::buttonEvent(ButtonObject& button, uint16_t condition) {
    ++changes_;
    SpriteClip* parent = button.parent ? button.parent->asSprite() : nullptr;
    if (!parent || button.removed) return;
    auto clip = std::static_pointer_cast<SpriteClip>(parent->shared_from_this());
    for (const ButtonAction& a : button.character->button->actions) {
        if (a.conditions & condition) queue_.push_back({clip, &a.actions});
    }
}

void Player::mouseMove(double x, double y) {
    mouseX_ = x;
    mouseY_ = y;
    if (!root_ || callDepth_ > 0) return;
    auto under = buttonAt(x, y);
    if (auto pressed = pressed_.lock(); pressed && !pressed->removed) {
        bool inside = under == pressed;
        if (pressed->mouse == ButtonObject::kOverDown && !inside) {
            pressed->mouse = ButtonObject::kOutDown;
            buttonEvent(*pressed, kCondOverDownToOutDown);
        } else if (pressed->mouse == ButtonObject::kOutDown && inside) {
            pressed->mouse = ButtonObject::kOverDown;
            buttonEvent(*pressed, kCondOutDownToOverDown);
        }
        hot_ = inside ? pressed : nullptr;
    } else {
        auto hot = hot_.lock();
        if (hot != under) {
            if (hot && !hot->removed) {
                hot->mouse = ButtonObject::kIdle;
                buttonEvent(*hot, kCondOverUpToIdle);
            }
            if (under) {
                under->mouse = ButtonObject::kOverUp;
                buttonEvent(*under, kCondIdleToOverUp);
            }
            hot_ = under;
        }
    }
    drain();
}

void Player::mouseDown(double x, double y) {
    if (!root_ || callDepth_ > 0) return;
    mouseMove(x, y);
    auto hot = hot_.lock();
    if (!hot || hot->removed) return;
    hot->mouse = ButtonObject::kOverDown;
    pressed_ = hot;
    buttonEvent(*hot, kCondOverUpToOverDown);
    drain();
}

void Player::mouseUp(double x, double y) {
    if (!root_ || callDepth_ > 0) return;
    mouseMove(x, y);
    auto pressed = pressed_.lock();
    pressed_.reset();
    if (!pressed || pressed->removed) return;
    if (pressed->mouse == ButtonObject::kOverDown) {
        pressed->mouse = ButtonObject::kOverUp;
        buttonEvent(*pressed, kCondOverDownToOverUp);
    } else {
        pressed->mouse = ButtonObject::kIdle;
        buttonEvent(*pressed, kCondOutDownToIdle);
        hot_.reset();
    }
    drain();
    mouseMove(x, y);
}

}  // namespace quill::movie
