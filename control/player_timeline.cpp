// Timelines: loading a movie, placing and removing objects frame by frame, going to frames
// (backwards by rebuilding the display list from the first frame, keeping the objects that are
// still the same placement), ticks, and the queue in which frame scripts wait to run.
#include <algorithm>

#include "control/action_runner.h"
#include "control/player.h"

namespace quill::movie {

bool ButtonObject::partShown(size_t i, bool hit) const {
    if (!character || !character->button || i >= character->button->records.size()) return false;
    const ButtonRecord& r = character->button->records[i];
    if (hit) return r.hitTest;
    switch (mouse) {
        case kOverUp:
            return r.over;
        case kOverDown:
            return r.down;
        default:
            return r.up;
    }
}

Player::Player(PlayerHost* host, const PlayerLimits& limits)
    : host_(host),
      limits_(limits),
      started_(std::chrono::steady_clock::now()),
      random_(static_cast<uint32_t>(started_.time_since_epoch().count())) {}

Player::~Player() {
    if (root_) detach(*root_);
}

void Player::unload() {
    load(nullptr);
}

void Player::load(std::shared_ptr<const Movie> movie) {
    if (callDepth_ > 0) {
        // A script of the old movie is still running on its bytes: switch when it returns.
        pendingMovie_ = std::move(movie);
        pendingUnload_ = pendingMovie_ == nullptr;
        return;
    }
    if (root_) detach(*root_);
    root_.reset();
    queue_.clear();
    geometry_.clear();
    hot_.reset();
    pressed_.reset();
    objects_ = 0;
    variableBytes_ = 0;
    variableCount_ = 0;
    movie_ = std::move(movie);
    ++changes_;
    background_ = {255, 255, 255, 255};
    if (!movie_) return;
    if (movie_->hasBackground) background_ = movie_->background;
    root_ = std::make_shared<SpriteClip>(nullptr, &movie_->root);
    root_->isRoot = true;
    root_->playing = startPlaying;
    objects_ = 1;
    started_ = std::chrono::steady_clock::now();
    for (const auto& [name, value] : startVariables)
        storeVariable(*root_, name, ActionValue::fromString(value));
    applyFrame(*root_, 0, true);
    root_->currentFrame = 0;
    drain();
}

int Player::totalFrames() const {
    return root_ ? root_->frameCount() : 0;
}
int Player::currentFrame() const {
    return root_ ? std::max(root_->currentFrame, 0) : 0;
}
bool Player::isPlaying() const {
    return root_ && root_->playing;
}

void Player::setPlaying(bool playing) {
    if (root_) root_->playing = playing;
}

void Player::gotoFrame(int frame) {
    if (!root_) return;
    goTo(*root_, frame);
    drain();
}

void Player::nextFrame() {
    if (!root_) return;
    root_->playing = false;
    goTo(*root_, root_->currentFrame + 1);
    drain();
}

void Player::previousFrame() {
    if (!root_) return;
    root_->playing = false;
    goTo(*root_, root_->currentFrame - 1);
    drain();
}

void Player::rewind() {
    if (!root_) return;
    root_->playing = false;
    goTo(*root_, 0);
    drain();
}

std::shared_ptr<DisplayObject> Player::instantiate(const Character* c, DisplayObject* parent,
                                                   int depth, int placeFrame) {
    if (!c || objects_ >= limits_.objects) return nullptr;
    int nesting = parent ? parent->nesting + 1 : 0;
    if (nesting > limits_.nesting) return nullptr;
    std::shared_ptr<DisplayObject> object;
    switch (c->kind) {
        case Character::kShape:
            object = std::make_shared<ShapeObject>(c);
            break;
        case Character::kSprite:
            object = std::make_shared<SpriteClip>(c, c->sprite.get());
            break;
        case Character::kButton: {
            auto button = std::make_shared<ButtonObject>(c);
            button->nesting = nesting;
            ++objects_;  // counted before its parts so they see the budget it uses
            for (const ButtonRecord& r : c->button->records) {
                auto part = instantiate(movie_->find(r.characterId), button.get(), r.depth, -1);
                if (part) {
                    part->transform = Transform::fromMatrix(r.matrix);
                    part->colorTransform = r.colorTransform;
                    if (SpriteClip* s = part->asSprite()) {
                        applyFrame(*s, 0, true);
                        s->currentFrame = 0;
                    }
                }
                button->parts.push_back(std::move(part));
            }
            --objects_;
            object = std::move(button);
            break;
        }
        case Character::kEditText: {
            auto text = std::make_shared<TextObject>(c);
            text->text = c->editText->initialText;
            object = std::move(text);
            break;
        }
        case Character::kFont:
            return nullptr;
    }
    object->parent = parent;
    object->depth = depth;
    object->placeFrame = placeFrame;
    object->nesting = nesting;
    ++objects_;
    return object;
}

namespace {

void applyProperties(DisplayObject& o, const PlaceObject& p) {
    if (p.hasMatrix && !o.scriptMoved) o.transform = Transform::fromMatrix(p.matrix);
    if (p.hasColorTransform) o.colorTransform = p.colorTransform;
    if (p.hasRatio) o.ratio = p.ratio;
    if (p.hasName) o.name = p.name;
    if (p.hasClipDepth) o.clipDepth = p.clipDepth;
}

// Later fields of a placement that modifies an earlier one.
void merge(PlaceObject& into, const PlaceObject& p) {
    if (p.hasMatrix) {
        into.hasMatrix = true;
        into.matrix = p.matrix;
    }
    if (p.hasColorTransform) {
        into.hasColorTransform = true;
        into.colorTransform = p.colorTransform;
    }
    if (p.hasRatio) {
        into.hasRatio = true;
        into.ratio = p.ratio;
    }
    if (p.hasName) {
        into.hasName = true;
        into.name = p.name;
    }
    if (p.hasClipDepth) {
        into.hasClipDepth = true;
        into.clipDepth = p.clipDepth;
    }
}

}  // namespace

void Player::placeTag(SpriteClip& clip, const PlaceObject& p, int frame) {
    auto it = clip.children.find(p.depth);
    std::shared_ptr<DisplayObject> existing = it != clip.children.end() ? it->second : nullptr;
    if (p.version == 2 && p.move && !p.hasCharacter) {
        if (existing) {
            applyProperties(*existing, p);
            ++changes_;
        }
        return;
    }
    if (!p.hasCharacter) return;
    auto object = instantiate(movie_->find(p.characterId), &clip, p.depth, frame);
    if (!object) return;
    if (existing && p.move) {
        // Replacing the character keeps what the new placement does not say.
        object->transform = existing->transform;
        object->colorTransform = existing->colorTransform;
        object->name = existing->name;
        object->ratio = existing->ratio;
        object->clipDepth = existing->clipDepth;
    }
    if (existing) removeChild(clip, p.depth);
    applyProperties(*object, p);
    clip.children[p.depth] = object;
    if (SpriteClip* s = object->asSprite()) {
        applyFrame(*s, 0, true);
        s->currentFrame = 0;
    } else if (object->kind == DisplayObject::kText) {
        // A field bound to an unset variable gives it its initial text.
        const EditTextDefinition& def = *object->character->editText;
        if (!def.variableName.empty() &&
            getPath(def.variableName, &clip).type == ActionValue::kUndefined) {
            setPath(def.variableName, ActionValue::fromString(def.initialText), &clip);
        }
    }
    ++changes_;
}

void Player::applyFrame(SpriteClip& clip, int frame, bool queueActions) {
    if (!clip.timeline || frame < 0 || frame >= clip.frameCount()) return;
    for (const ControlTag& t : clip.timeline->frames[static_cast<size_t>(frame)].tags) {
        if (clip.removed) return;
        switch (t.kind) {
            case ControlTag::kPlace:
                placeTag(clip, t.place, frame);
                break;
            case ControlTag::kRemove:
                removeChild(clip, t.depth);
                break;
            case ControlTag::kBackground:
                background_ = t.background;
                ++changes_;
                break;
            case ControlTag::kDoAction:
                if (queueActions) {
                    queue_.push_back({std::static_pointer_cast<SpriteClip>(clip.shared_from_this()),
                                      &t.actions});
                }
                break;
        }
    }
}

void Player::queueFrame(SpriteClip& clip, int frame) {
    if (!clip.timeline || frame < 0 || frame >= clip.frameCount()) return;
    auto self = std::static_pointer_cast<SpriteClip>(clip.shared_from_this());
    for (const ControlTag& t : clip.timeline->frames[static_cast<size_t>(frame)].tags) {
        if (t.kind == ControlTag::kDoAction) queue_.push_back({self, &t.actions});
    }
}

void Player::goTo(SpriteClip& clip, int frame) {
    int n = clip.frameCount();
    if (n == 0 || clip.removed) return;
    frame = std::clamp(frame, 0, n - 1);
    if (frame == clip.currentFrame) return;
    if (frame > clip.currentFrame) {
        for (int f = clip.currentFrame + 1; f <= frame && !clip.removed; ++f) {
            applyFrame(clip, f, f == frame);
        }
    } else {
        rebuild(clip, frame);
        queueFrame(clip, frame);
    }
    clip.currentFrame = frame;
    ++changes_;
}

void Player::rebuild(SpriteClip& clip, int frame) {
    struct State {
        PlaceObject place;
        int placeFrame = 0;
    };
    std::map<int, State> states;
    for (int f = 0; f <= frame; ++f) {
        for (const ControlTag& t : clip.timeline->frames[static_cast<size_t>(f)].tags) {
            if (t.kind == ControlTag::kRemove) {
                states.erase(t.depth);
            } else if (t.kind == ControlTag::kBackground) {
                background_ = t.background;
            } else if (t.kind == ControlTag::kPlace) {
                const PlaceObject& p = t.place;
                auto it = states.find(p.depth);
                if (p.version == 1 || (p.hasCharacter && !p.move)) {
                    states[p.depth] = {p, f};
                } else if (!p.hasCharacter) {
                    if (it != states.end()) merge(it->second.place, p);
                } else {
                    State s = it != states.end() ? it->second : State{};
                    merge(s.place, p);
                    s.place.characterId = p.characterId;
                    s.place.hasCharacter = true;
                    s.placeFrame = f;
                    states[p.depth] = s;
                }
            }
        }
    }
    // Objects that are still the same placement stay (with their own state); others go.
    std::vector<int> depths;
    for (const auto& entry : clip.children) depths.push_back(entry.first);
    for (int depth : depths) {
        auto& object = clip.children[depth];
        auto st = states.find(depth);
        bool same = st != states.end() && object->character &&
                    object->character->id == st->second.place.characterId &&
                    object->placeFrame == st->second.placeFrame;
        if (!same) {
            removeChild(clip, depth);
        } else {
            applyProperties(*object, st->second.place);
        }
    }
    for (const auto& [depth, state] : states) {
        if (clip.removed) return;
        if (clip.children.count(depth)) continue;
        PlaceObject p = state.place;
        p.move = false;
        p.version = 2;
        placeTag(clip, p, state.placeFrame);
    }
}

void Player::advance(SpriteClip& clip) {
    if (!clip.playing || clip.removed) return;
    int n = clip.frameCount();
    int next = clip.currentFrame + 1;
    if (next < n) {
        applyFrame(clip, next, true);
        clip.currentFrame = next;
        ++changes_;
        return;
    }
    if (clip.isRoot && !loop) {
        clip.playing = false;
        return;
    }
    if (n <= 1) return;  // a single frame is not shown again
    rebuild(clip, 0);
    clip.currentFrame = 0;
    queueFrame(clip, 0);
    ++changes_;
}

void Player::removeChild(SpriteClip& clip, int depth) {
    auto it = clip.children.find(depth);
    if (it == clip.children.end()) return;
    std::shared_ptr<DisplayObject> object = std::move(it->second);
    clip.children.erase(it);
    detach(*object);
    ++changes_;
}

void Player::detach(DisplayObject& object) {
    if (object.removed) return;
    object.removed = true;
    if (objects_ > 0) --objects_;
    if (SpriteClip* s = object.asSprite()) {
        for (auto& entry : s->children) detach(*entry.second);
        s->children.clear();
        for (const auto& [key, value] : s->variables) {
            size_t bytes = key.size() + value.string.size() + 16;
            variableBytes_ -= std::min(variableBytes_, bytes);
            if (variableCount_ > 0) --variableCount_;
        }
        s->variables.clear();
    } else if (object.kind == DisplayObject::kButton) {
        for (auto& part : static_cast<ButtonObject&>(object).parts) {
            if (part) detach(*part);
        }
    }
}

void Player::tick() {
    if (!root_ || callDepth_ > 0 || inTick_) return;
    inTick_ = true;
    std::vector<std::shared_ptr<SpriteClip>> clips;
    std::vector<DisplayObject*> stack{root_.get()};
    while (!stack.empty()) {
        DisplayObject* o = stack.back();
        stack.pop_back();
        if (SpriteClip* s = o->asSprite()) {
            clips.push_back(std::static_pointer_cast<SpriteClip>(s->shared_from_this()));
            for (auto it = s->children.rbegin(); it != s->children.rend(); ++it)
                stack.push_back(it->second.get());
        } else if (o->kind == DisplayObject::kButton) {
            for (auto& part : static_cast<ButtonObject*>(o)->parts) {
                if (part) stack.push_back(part.get());
            }
        }
    }
    for (auto& clip : clips) advance(*clip);
    drain();
    inTick_ = false;
}

void Player::drain() {
    if (callDepth_ == 0) drainSteps_ = 0;
    while (!queue_.empty()) {
        if (drainSteps_ >= limits_.stepsPerDrain) {
            queue_.clear();
            if (host_) host_->trace("Scripts stopped: too many actions for one frame");
            break;
        }
        Pending p = queue_.front();
        queue_.pop_front();
        auto clip = p.clip.lock();
        if (!clip || clip->removed) continue;
        runBlock(clip, *p.actions);
    }
}

void Player::runBlock(const std::shared_ptr<SpriteClip>& clip,
                      const std::vector<uint8_t>& actions) {
    if (callDepth_ >= limits_.callDepth) {
        if (host_) host_->trace("Scripts stopped: called from inside each other too deeply");
        return;
    }
    auto keep = movie_;  // the bytes belong to the movie
    ++callDepth_;
    try {
        ActionRunner runner(*this, clip);
        runner.run(actions.data(), actions.size());
    } catch (const std::exception& e) {
        if (host_) host_->trace(std::string("Scripts stopped: ") + e.what());
    }
    --callDepth_;
    if (callDepth_ == 0) finishOutermost();
}

void Player::finishOutermost() {
    if (!pendingMovie_ && !pendingUnload_) return;
    auto movie = std::move(pendingMovie_);
    pendingMovie_.reset();
    pendingUnload_ = false;
    load(std::move(movie));
}

int Player::labelFrame(const SpriteClip& clip, const std::string& label) const {
    if (!clip.timeline) return -1;
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::string want = lower(label);
    for (size_t f = 0; f < clip.timeline->frames.size(); ++f) {
        for (const std::string& l : clip.timeline->frames[f].labels) {
            if (lower(l) == want) return static_cast<int>(f);
        }
    }
    return -1;
}

const ShapeGeometry& Player::geometry(const ShapeDefinition* shape) const {
    auto it = geometry_.find(shape);
    if (it != geometry_.end()) return it->second;
    return geometry_.emplace(shape, buildGeometry(*shape)).first->second;
}

std::string Player::fieldText(const TextObject& field) {
    const EditTextDefinition& def = *field.character->editText;
    if (def.variableName.empty()) return field.text;
    SpriteClip* base = field.parent ? field.parent->asSprite() : nullptr;
    if (!base) return field.text;
    ActionValue v = getPath(def.variableName, base);
    if (v.type == ActionValue::kUndefined) return "";
    return toString(v, version());
}

}  // namespace quill::movie
