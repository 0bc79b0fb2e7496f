// Paths, variables and clip properties. A path names a clip by slashes ("/menu/item", "../x")
// or dots ("_root.menu.item"), and a variable after a colon or the last dot ("/menu:count",
// "_root.menu.count"). Names compare without case before version 7, as the format had it.
#include <algorithm>
#include <cmath>

#include "control/player.h"

namespace quill::movie {
namespace {

constexpr const char* kPropertyNames[kPropCount] = {
    "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
    "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
    "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
    "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
    "_xmouse",      "_ymouse"};

constexpr double kPi = 3.14159265358979323846;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool sameName(const std::string& a, const std::string& b, int version) {
    return version >= 7 ? a == b : lower(a) == lower(b);
}

// "a/b", "../c", "_root.a.b": the segments, with ".." for a parent step.
std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < path.size()) {
        if (path.compare(i, 2, "..") == 0 && (i + 2 == path.size() || path[i + 2] == '/')) {
            out.push_back("..");
            i += 3;
            continue;
        }
        size_t j = path.find_first_of("/.", i);
        if (j == std::string::npos) j = path.size();
        if (j > i) out.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

int levelNumber(const std::string& s) {
    std::string l = lower(s);
    if (l.rfind("_level", 0) != 0 || l.size() == 6) return -1;
    int n = 0;
    for (size_t i = 6; i < l.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(l[i])) || n > 100000) return -1;
        n = n * 10 + (l[i] - '0');
    }
    return n;
}

void decompose(const Transform& t, double* xscale, double* yscale, double* rotation) {
    *xscale = std::sqrt(t.a * t.a + t.b * t.b);
    *yscale = std::sqrt(t.c * t.c + t.d * t.d);
    *rotation = std::atan2(t.b, t.a);
}

void compose(Transform* t, double xscale, double yscale, double rotation) {
    t->a = xscale * std::cos(rotation);
    t->b = xscale * std::sin(rotation);
    t->c = -yscale * std::sin(rotation);
    t->d = yscale * std::cos(rotation);
}

}  // namespace

int propertyByName(const std::string& name) {
    std::string l = lower(name);
    for (int i = 0; i < kPropCount; ++i) {
        if (l == kPropertyNames[i]) return i;
    }
    return -1;
}

std::string Player::variableKey(const std::string& name) const {
    return version() >= 7 ? name : lower(name);
}

std::shared_ptr<DisplayObject> Player::childNamed(SpriteClip& clip, const std::string& name) {
    for (auto& [depth, child] : clip.children) {
        if (!child->name.empty() && sameName(child->name, name, version())) return child;
    }
    return nullptr;
}

std::shared_ptr<DisplayObject> Player::resolveTarget(const std::string& path, SpriteClip* base) {
    if (!root_) return nullptr;
    std::shared_ptr<DisplayObject> current =
        base && !base->removed ? base->shared_from_this() : root_;
    if (!path.empty() && path[0] == '/') current = root_;
    for (const std::string& s : segments(path)) {
        std::string l = lower(s);
        if (l == "_root" || l == "_level0") {
            current = root_;
        } else if (l == ".." || l == "_parent") {
            if (!current->parent) return nullptr;
            current = current->parent->shared_from_this();
        } else if (l == "this") {
            continue;
        } else if (levelNumber(l) > 0) {
            return nullptr;  // one movie, one level
        } else {
            SpriteClip* clip = current->asSprite();
            if (!clip) return nullptr;
            current = childNamed(*clip, s);
            if (!current) return nullptr;
        }
    }
    return current;
}

std::shared_ptr<SpriteClip> Player::findClip(const std::string& target) {
    auto object = resolveTarget(target, root_.get());
    if (!object || !object->asSprite()) return nullptr;
    return std::static_pointer_cast<SpriteClip>(object);
}

ActionValue Player::getPath(const std::string& path, SpriteClip* base) {
    if (!root_ || path.empty()) return ActionValue::undefined();
    if (!base || base->removed) base = root_.get();
    size_t split = path.rfind(':');
    if (split == std::string::npos) {
        size_t dot = path.rfind('.'), slash = path.rfind('/');
        if (dot != std::string::npos && slash != std::string::npos) {
            split = std::max(dot, slash);
        } else {
            split = dot != std::string::npos ? dot : slash;
        }
        // A path that is all target ("_root.a", "/a") reads the clip itself.
        if (split != std::string::npos && split + 1 < path.size() && path[split + 1] == '.') {
            split = std::string::npos;
        }
    }
    if (split == std::string::npos) {
        std::string l = lower(path);
        if (l == "_root" || l == "_level0") return ActionValue::fromClip(root_);
        if (l == "this") return ActionValue::fromClip(base->shared_from_this());
        if (l == "_parent") {
            return base->parent ? ActionValue::fromClip(base->parent->shared_from_this())
                                : ActionValue::undefined();
        }
        return member(*base, path);
    }
    std::string targetPart = path.substr(0, split);
    if (targetPart.empty() && path[0] == '/') targetPart = "/";
    auto target = resolveTarget(targetPart, base);
    if (!target) return ActionValue::undefined();
    std::string name = path.substr(split + 1);
    if (name.empty()) return ActionValue::fromClip(target);
    return member(*target, name);
}

void Player::setPath(const std::string& path, const ActionValue& value, SpriteClip* base) {
    if (!root_ || path.empty()) return;
    if (!base || base->removed) base = root_.get();
    size_t split = path.rfind(':');
    if (split == std::string::npos) {
        size_t dot = path.rfind('.'), slash = path.rfind('/');
        if (dot != std::string::npos && slash != std::string::npos) {
            split = std::max(dot, slash);
        } else {
            split = dot != std::string::npos ? dot : slash;
        }
    }
    if (split == std::string::npos) {
        setMember(*base, path, value);
        return;
    }
    std::string targetPart = path.substr(0, split);
    if (targetPart.empty() && path[0] == '/') targetPart = "/";
    auto target = resolveTarget(targetPart, base);
    std::string name = path.substr(split + 1);
    if (target && !name.empty()) setMember(*target, name, value);
}

ActionValue Player::member(DisplayObject& object, const std::string& name) {
    if (SpriteClip* clip = object.asSprite()) {
        auto it = clip->variables.find(variableKey(name));
        if (it != clip->variables.end()) return it->second;
    }
    int prop = propertyByName(name);
    if (prop >= 0) return property(object, prop);
    if (object.kind == DisplayObject::kText && lower(name) == "text") {
        return ActionValue::fromString(fieldText(static_cast<TextObject&>(object)));
    }
    if (SpriteClip* clip = object.asSprite()) {
        auto child = childNamed(*clip, name);
        if (child) return ActionValue::fromClip(child);
    }
    std::string l = lower(name);
    if (l == "_parent" && object.parent)
        return ActionValue::fromClip(object.parent->shared_from_this());
    if (l == "_root") return ActionValue::fromClip(root_);
    return ActionValue::undefined();
}

void Player::setMember(DisplayObject& object, const std::string& name, const ActionValue& value) {
    int prop = propertyByName(name);
    if (prop >= 0) {
        setPropertyValue(object, prop, value);
        return;
    }
    if (object.kind == DisplayObject::kText && lower(name) == "text") {
        auto& field = static_cast<TextObject&>(object);
        const std::string& variable = field.character->editText->variableName;
        SpriteClip* parent = field.parent ? field.parent->asSprite() : nullptr;
        if (!variable.empty() && parent) {
            setPath(variable, ActionValue::fromString(toString(value, version())), parent);
        } else {
            field.text = toString(value, version());
        }
        ++changes_;
        return;
    }
    if (SpriteClip* clip = object.asSprite()) storeVariable(*clip, name, value);
}

bool Player::storeVariable(SpriteClip& clip, const std::string& name, const ActionValue& value) {
    std::string key = variableKey(name);
    auto it = clip.variables.find(key);
    size_t added = key.size() + value.string.size() + 16;
    size_t removed = it != clip.variables.end() ? key.size() + it->second.string.size() + 16 : 0;
    if (it == clip.variables.end() && variableCount_ >= limits_.variables) {
        if (host_) host_->trace("Warning: too many variables; " + name + " is not set");
        return false;
    }
    if (variableBytes_ - removed + added > limits_.variableBytes) {
        if (host_) host_->trace("Warning: variables hold too much text; " + name + " is not set");
        return false;
    }
    variableBytes_ = variableBytes_ - removed + added;
    if (it == clip.variables.end()) {
        ++variableCount_;
        clip.variables.emplace(std::move(key), value);
    } else {
        it->second = value;
    }
    ++changes_;
    return true;
}

Rect Player::boundsOf(const DisplayObject& object, const Transform& toParent) const {
    Rect local;
    bool any = false;
    auto addRect = [&](const Rect& r, const Transform& t) {
        if (r.xMin == 0 && r.xMax == 0 && r.yMin == 0 && r.yMax == 0) return;
        double xs[4] = {t.mapX(r.xMin, r.yMin), t.mapX(r.xMax, r.yMin), t.mapX(r.xMin, r.yMax),
                        t.mapX(r.xMax, r.yMax)};
        double ys[4] = {t.mapY(r.xMin, r.yMin), t.mapY(r.xMax, r.yMin), t.mapY(r.xMin, r.yMax),
                        t.mapY(r.xMax, r.yMax)};
        Rect b;
        b.xMin =
            static_cast<int32_t>(std::clamp(std::floor(*std::min_element(xs, xs + 4)), -2e9, 2e9));
        b.xMax =
            static_cast<int32_t>(std::clamp(std::ceil(*std::max_element(xs, xs + 4)), -2e9, 2e9));
        b.yMin =
            static_cast<int32_t>(std::clamp(std::floor(*std::min_element(ys, ys + 4)), -2e9, 2e9));
        b.yMax =
            static_cast<int32_t>(std::clamp(std::ceil(*std::max_element(ys, ys + 4)), -2e9, 2e9));
        if (!any) {
            local = b;
            any = true;
        } else {
            local.xMin = std::min(local.xMin, b.xMin);
            local.xMax = std::max(local.xMax, b.xMax);
            local.yMin = std::min(local.yMin, b.yMin);
            local.yMax = std::max(local.yMax, b.yMax);
        }
    };
    switch (object.kind) {
        case DisplayObject::kShape:
            addRect(object.character->shape->bounds, toParent);
            break;
        case DisplayObject::kText:
            addRect(object.character->editText->bounds, toParent);
            break;
        case DisplayObject::kSprite:
            for (const auto& [depth, child] : static_cast<const SpriteClip&>(object).children) {
                Rect r = boundsOf(*child, toParent * child->transform);
                addRect(r, Transform{});
            }
            break;
        case DisplayObject::kButton: {
            const auto& button = static_cast<const ButtonObject&>(object);
            for (size_t i = 0; i < button.parts.size(); ++i) {
                if (!button.parts[i] || !button.partShown(i)) continue;
                Rect r = boundsOf(*button.parts[i], toParent * button.parts[i]->transform);
                addRect(r, Transform{});
            }
            break;
        }
    }
    return local;
}

ActionValue Player::property(DisplayObject& o, int index) {
    double xscale, yscale, rotation;
    decompose(o.transform, &xscale, &yscale, &rotation);
    SpriteClip* clip = o.asSprite();
    auto number = [](double d) { return ActionValue::fromNumber(d); };
    switch (index) {
        case kPropX:
            return number(o.transform.tx / kTwipsPerPixel);
        case kPropY:
            return number(o.transform.ty / kTwipsPerPixel);
        case kPropXScale:
            return number(xscale * 100);
        case kPropYScale:
            return number(yscale * 100);
        case kPropCurrentFrame:
            return number(clip ? std::max(clip->currentFrame, 0) + 1 : 1);
        case kPropTotalFrames:
        case kPropFramesLoaded:
            return number(clip ? clip->frameCount() : 1);
        case kPropAlpha:
            return number(o.colorTransform.multA * 100.0 / 256.0);
        case kPropVisible:
            return version() >= 5 ? ActionValue::fromBool(o.visible) : number(o.visible ? 1 : 0);
        case kPropWidth: {
            Rect r = boundsOf(o, o.transform);
            return number(r.width() / double(kTwipsPerPixel));
        }
        case kPropHeight: {
            Rect r = boundsOf(o, o.transform);
            return number(r.height() / double(kTwipsPerPixel));
        }
        case kPropRotation:
            return number(rotation * 180 / kPi);
        case kPropTarget:
            return ActionValue::fromString(clipSlashPath(o));
        case kPropName:
            return ActionValue::fromString(o.name);
        case kPropDropTarget:
        case kPropUrl:
            return ActionValue::fromString("");
        case kPropHighQuality:
            return number(1);
        case kPropFocusRect:
            return number(1);
        case kPropSoundBufTime:
            return number(5);
        case kPropQuality:
            return ActionValue::fromString("HIGH");
        case kPropXMouse:
        case kPropYMouse: {
            Transform toStage;
            for (const DisplayObject* p = &o; p; p = p->parent) toStage = p->transform * toStage;
            Transform fromStage;
            if (!toStage.invert(&fromStage)) return number(0);
            double v = index == kPropXMouse ? fromStage.mapX(mouseX_, mouseY_)
                                            : fromStage.mapY(mouseX_, mouseY_);
            return number(std::round(v / kTwipsPerPixel));
        }
    }
    return ActionValue::undefined();
}

void Player::setPropertyValue(DisplayObject& o, int index, const ActionValue& value) {
    double v = toNumber(value, version());
    double xscale, yscale, rotation;
    decompose(o.transform, &xscale, &yscale, &rotation);
    // Positions and scales beyond these are of no use and would overflow the drawing.
    auto bounded = [](double d, double limit) {
        return std::isfinite(d) ? std::clamp(d, -limit, limit) : 0.0;
    };
    switch (index) {
        case kPropX:
            if (!std::isfinite(v)) return;
            o.transform.tx = bounded(v, 1e6) * kTwipsPerPixel;
            break;
        case kPropY:
            if (!std::isfinite(v)) return;
            o.transform.ty = bounded(v, 1e6) * kTwipsPerPixel;
            break;
        case kPropXScale:
            if (!std::isfinite(v)) return;
            compose(&o.transform, bounded(v, 1e5) / 100, yscale, rotation);
            break;
        case kPropYScale:
            if (!std::isfinite(v)) return;
            compose(&o.transform, xscale, bounded(v, 1e5) / 100, rotation);
            break;
        case kPropRotation:
            if (!std::isfinite(v)) return;
            compose(&o.transform, xscale, yscale, std::fmod(v, 360.0) * kPi / 180);
            break;
        case kPropWidth:
        case kPropHeight: {
            if (!std::isfinite(v) || v < 0) return;
            Rect r = boundsOf(o, o.transform);
            double current =
                (index == kPropWidth ? r.width() : r.height()) / double(kTwipsPerPixel);
            if (current <= 0) return;
            double factor = bounded(v, 1e6) / current;
            if (index == kPropWidth) {
                compose(&o.transform, xscale * factor, yscale, rotation);
            } else {
                compose(&o.transform, xscale, yscale * factor, rotation);
            }
            break;
        }
        case kPropAlpha:
            if (!std::isfinite(v)) return;
            o.colorTransform.multA =
                static_cast<int16_t>(std::clamp(v * 256 / 100, -32768.0, 32767.0));
            break;
        case kPropVisible:
            o.visible = toBoolean(value, version());
            break;
        case kPropName:
            o.name = toString(value, version());
            break;
        default:
            return;  // read-only, or a setting this player does not have
    }
    if (index <= kPropYScale || index == kPropRotation || index == kPropWidth ||
        index == kPropHeight) {
        o.scriptMoved = true;
    }
    ++changes_;
}

// The control's entry points, with targets and variables resolved from the main timeline.
bool Player::getVariable(const std::string& path, std::string* value) {
    if (!root_) return false;
    ActionValue v = getPath(path, root_.get());
    if (v.type == ActionValue::kUndefined) return false;
    *value = toString(v, version());
    return true;
}

bool Player::setVariable(const std::string& path, const std::string& value) {
    if (!root_ || path.empty()) return false;
    setPath(path, ActionValue::fromString(value), root_.get());
    drain();
    return true;
}

bool Player::getProperty(const std::string& target, int index, ActionValue* value) {
    auto object = resolveTarget(target, root_.get());
    if (!object || index < 0 || index >= kPropCount) return false;
    *value = property(*object, index);
    return true;
}

bool Player::setProperty(const std::string& target, int index, const ActionValue& value) {
    auto object = resolveTarget(target, root_.get());
    if (!object || index < 0 || index >= kPropCount) return false;
    setPropertyValue(*object, index, value);
    return true;
}

bool Player::callFrame(const std::string& target, int frame) {
    auto clip = findClip(target);
    if (!clip || frame < 0 || frame >= clip->frameCount()) return false;
    for (const ControlTag& t : clip->timeline->frames[static_cast<size_t>(frame)].tags) {
        if (t.kind == ControlTag::kDoAction) runBlock(clip, t.actions);
    }
    drain();
    return true;
}

bool Player::callLabel(const std::string& target, const std::string& label) {
    auto clip = findClip(target);
    if (!clip) return false;
    int frame = labelFrame(*clip, label);
    return frame >= 0 && callFrame(target, frame);
}

bool Player::gotoFrame(const std::string& target, int frame) {
    auto clip = findClip(target);
    if (!clip) return false;
    goTo(*clip, frame);
    drain();
    return true;
}

bool Player::gotoLabel(const std::string& target, const std::string& label) {
    auto clip = findClip(target);
    if (!clip) return false;
    int frame = labelFrame(*clip, label);
    if (frame < 0) return false;
    goTo(*clip, frame);
    drain();
    return true;
}

bool Player::setPlaying(const std::string& target, bool playing) {
    auto clip = findClip(target);
    if (!clip) return false;
    clip->playing = playing;
    return true;
}

int Player::currentFrame(const std::string& target) {
    auto clip = findClip(target);
    return clip ? std::max(clip->currentFrame, 0) : -1;
}

std::string Player::currentLabel(const std::string& target) {
    auto clip = findClip(target);
    if (!clip || !clip->timeline || clip->currentFrame < 0) return "";
    const auto& labels = clip->timeline->frames[static_cast<size_t>(clip->currentFrame)].labels;
    return labels.empty() ? "" : labels.front();
}

}  // namespace quill::movie
