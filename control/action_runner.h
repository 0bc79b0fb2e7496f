// Runs one block of action byte code (a frame's or a button's script) against the player. The
// block ends at its end action, at an unknown action, at a jump out of the block, or when it
// uses up its step, stack or string budget; none of these is an error for the movie.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/action_value.h"

namespace quill::movie {

class Player;
class SpriteClip;

class ActionRunner {
  public:
    ActionRunner(Player& player, std::shared_ptr<SpriteClip> clip);
    void run(const uint8_t* code, size_t size);

    // Why the last run ended (for tests): "end", "unknown action", "jump out", "steps", ...
    const std::string& endReason() const { return endReason_; }

  private:
    struct Stop {
        const char* reason;
    };

    void step(uint8_t code, const uint8_t* body, size_t length, size_t* pc, const uint8_t* block,
              size_t size);
    ActionValue pop();
    void push(ActionValue v);
    void pushString(std::string s);
    double popNumber() { return toNumber(pop(), version_); }
    std::string popString() { return toString(pop(), version_); }
    void pushBoolean(bool b);  // a number 1 or 0 before version 5
    SpriteClip* target();      // the clip `SetTarget` chose, null when it named nothing
    SpriteClip* base();        // where variables resolve
    void gotoFrameValue(const ActionValue& frame, bool play, int bias);
    void getUrl(const std::string& url, const std::string& target);
    void setTarget(const std::string& path);
    void callMethod(const ActionValue& object, const std::string& name,
                    std::vector<ActionValue>& args);
    void skipActions(unsigned count, size_t* pc, const uint8_t* block, size_t size);

    Player& player_;
    std::shared_ptr<SpriteClip> original_;
    std::shared_ptr<SpriteClip> target_;
    bool targetMissing_ = false;
    int version_;
    std::vector<ActionValue> stack_;
    std::vector<std::string> constants_;
    ActionValue registers_[4];
    size_t steps_ = 0;
    size_t stringBytes_ = 0;
    std::string endReason_;
};

}  // namespace quill::movie
