// The speakers' mute switch (the mute control of the first mixer's speakers line): brought to
// the project's wish while the projector runs and set back at exit. Without a mixer, or on a
// line without a mute control, nothing happens.
#pragma once

namespace quill::projector {

class SpeakerMute {
  public:
    // Sets the switch to `muted`, remembering the state found the first time.
    void apply(bool muted);
    // Puts back the state found first, when it was changed.
    void restore();

  private:
    bool saved_ = false;
    bool original_ = false;
    bool changed_ = false;
};

}  // namespace quill::projector
