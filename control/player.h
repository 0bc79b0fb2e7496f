// The movie player: timelines that advance frame by frame, the display list they build, the
// scripts of frames and buttons, variables and paths, and pointer input. It draws nothing itself
// (see renderer.h) and knows no window: the control drives it with ticks and pointer events and
// hears from it through `PlayerHost`.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "control/display_object.h"
#include "control/movie_model.h"
#include "control/shape_geometry.h"

namespace quill::movie {

class PlayerHost {
  public:
    virtual ~PlayerHost() = default;
    // A script asked for a URL beginning with "FSCommand:": the rest and the target.
    virtual void fsCommand(const std::string& command, const std::string& args) = 0;
    virtual void trace(const std::string& /*text*/) {}
    // Any other URL: ignored unless the host cares.
    virtual void getURL(const std::string& /*url*/, const std::string& /*target*/) {}
};

// Bounds that keep a hostile movie from freezing or exhausting the process.
struct PlayerLimits {
    size_t stepsPerBlock = 1000000;  // actions one block may run
    size_t stepsPerDrain = 4000000;  // actions of all blocks run for one event
    size_t stackValues = 4096;
    size_t stringBytes = 1u << 20;        // longest string a script may build
    size_t blockStringBytes = 16u << 20;  // string bytes one block may build in all
    size_t variableBytes = 64u << 20;     // text held in variables over the whole movie
    size_t variables = 65536;
    size_t objects = 20000;  // display objects alive at once
    int nesting = 32;        // clips inside clips
    int callDepth = 16;      // scripts run from inside scripts
};

// Property numbers of GetProperty/SetProperty and of the control's T-methods.
enum ClipProperty : int {
    kPropX,
    kPropY,
    kPropXScale,
    kPropYScale,
    kPropCurrentFrame,
    kPropTotalFrames,
    kPropAlpha,
    kPropVisible,
    kPropWidth,
    kPropHeight,
    kPropRotation,
    kPropTarget,
    kPropFramesLoaded,
    kPropName,
    kPropDropTarget,
    kPropUrl,
    kPropHighQuality,
    kPropFocusRect,
    kPropSoundBufTime,
    kPropQuality,
    kPropXMouse,
    kPropYMouse,
    kPropCount
};
int propertyByName(const std::string& name);  // "_x" -> 0; -1 when not a property

class ActionRunner;

class Player {
  public:
    explicit Player(PlayerHost* host = nullptr, const PlayerLimits& limits = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Shows the first frame (running its scripts) of a new movie; the old one is dropped. Called
    // from inside a script, the change waits until the outermost script returns.
    void load(std::shared_ptr<const Movie> movie);
    // How the next movie starts: playing or not, and variables its first frame already sees.
    bool startPlaying = true;
    std::vector<std::pair<std::string, std::string>> startVariables;
    void unload();
    bool hasMovie() const { return root_ != nullptr; }
    const Movie* movie() const { return movie_.get(); }
    const SpriteClip* root() const { return root_.get(); }
    Rgba background() const { return background_; }

    // The main timeline (frames from 0).
    int totalFrames() const;
    int currentFrame() const;
    bool isPlaying() const;
    void setPlaying(bool playing);
    bool loop = true;
    void play() { setPlaying(true); }
    void stop() { setPlaying(false); }
    void gotoFrame(int frame);  // keeps the playing state
    void nextFrame();
    void previousFrame();
    void rewind();  // frame 0 and stop

    // One frame period: every playing timeline moves on one frame, then their scripts run.
    void tick();
    // Grows whenever something visible may have changed.
    uint64_t changes() const { return changes_; }

    // Targets and variables, with paths as scripts write them ("_root.a.b", "/a/b:x", "a.b").
    std::shared_ptr<SpriteClip> findClip(const std::string& target);
    bool getVariable(const std::string& path, std::string* value);
    bool setVariable(const std::string& path, const std::string& value);
    bool getProperty(const std::string& target, int property, ActionValue* value);
    bool setProperty(const std::string& target, int property, const ActionValue& value);
    // Runs the scripts of one frame of a clip now, without going there.
    bool callFrame(const std::string& target, int frame);
    bool callLabel(const std::string& target, const std::string& label);
    bool gotoFrame(const std::string& target, int frame);
    bool gotoLabel(const std::string& target, const std::string& label);
    bool setPlaying(const std::string& target, bool playing);
    int currentFrame(const std::string& target);  // -1 when there is no such clip
    std::string currentLabel(const std::string& target);

    // Pointer input in stage twips; true when the pointer is over an active button.
    void mouseMove(double x, double y);
    void mouseDown(double x, double y);
    void mouseUp(double x, double y);
    bool overButton() const { return hot_.lock() != nullptr; }
    double mouseX() const { return mouseX_; }
    double mouseY() const { return mouseY_; }

    // Shared geometry of a shape definition, built on first use.
    const ShapeGeometry& geometry(const ShapeDefinition* shape) const;
    // A text field's text: its variable's value, or its own text when it has no variable.
    std::string fieldText(const TextObject& field);
    int version() const { return movie_ ? movie_->version : 6; }
    const PlayerLimits& limits() const { return limits_; }
    size_t objectCount() const { return objects_; }

  private:
    friend class ActionRunner;
    struct Pending {
        std::weak_ptr<SpriteClip> clip;
        const std::vector<uint8_t>* actions;
    };

    // Timeline work (player_timeline.cpp).
    std::shared_ptr<DisplayObject> instantiate(const Character* c, DisplayObject* parent, int depth,
                                               int placeFrame);
    void placeTag(SpriteClip& clip, const PlaceObject& p, int frame);
    void applyFrame(SpriteClip& clip, int frame, bool queueActions);
    void goTo(SpriteClip& clip, int frame);
    void rebuild(SpriteClip& clip, int frame);
    void advance(SpriteClip& clip);
    void removeChild(SpriteClip& clip, int depth);
    void detach(DisplayObject& object);
    void queueFrame(SpriteClip& clip, int frame);
    void drain();
    void runBlock(const std::shared_ptr<SpriteClip>& clip, const std::vector<uint8_t>& actions);
    void finishOutermost();
    int labelFrame(const SpriteClip& clip, const std::string& label) const;

    // Paths, variables and properties (player_paths.cpp).
    std::shared_ptr<DisplayObject> resolveTarget(const std::string& path, SpriteClip* base);
    ActionValue getPath(const std::string& path, SpriteClip* base);
    void setPath(const std::string& path, const ActionValue& value, SpriteClip* base);
    ActionValue member(DisplayObject& object, const std::string& name);
    void setMember(DisplayObject& object, const std::string& name, const ActionValue& value);
    ActionValue property(DisplayObject& object, int index);
    void setPropertyValue(DisplayObject& object, int index, const ActionValue& value);
    std::shared_ptr<DisplayObject> childNamed(SpriteClip& clip, const std::string& name);
    std::string variableKey(const std::string& name) const;
    bool storeVariable(SpriteClip& clip, const std::string& name, const ActionValue& value);
    Rect boundsOf(const DisplayObject& object, const Transform& toParent) const;

    // Buttons (player_input.cpp).
    std::shared_ptr<ButtonObject> buttonAt(double x, double y);
    bool hitTest(const DisplayObject& object, const Transform& toStage, double x, double y) const;
    void buttonEvent(ButtonObject& button, uint16_t condition);

    PlayerHost* host_;
    PlayerLimits limits_;
    std::shared_ptr<const Movie> movie_;
    std::shared_ptr<const Movie> pendingMovie_;
    bool pendingUnload_ = false;
    std::shared_ptr<SpriteClip> root_;
    Rgba background_{255, 255, 255, 255};
    std::deque<Pending> queue_;
    int callDepth_ = 0;
    size_t drainSteps_ = 0;
    size_t objects_ = 0;
    size_t variableBytes_ = 0;
    size_t variableCount_ = 0;
    uint64_t changes_ = 0;
    bool inTick_ = false;
    mutable std::unordered_map<const ShapeDefinition*, ShapeGeometry> geometry_;
    std::weak_ptr<ButtonObject> hot_;      // under the pointer
    std::weak_ptr<ButtonObject> pressed_;  // took the button press
    double mouseX_ = 0, mouseY_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::mt19937 random_;
};

}  // namespace quill::movie
