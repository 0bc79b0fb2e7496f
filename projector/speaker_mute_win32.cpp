// The mixer calls behind SpeakerMute.
#include "projector/speaker_mute.h"

#include <windows.h>
// after windows.h
#include <mmsystem.h>

namespace quill::projector {

namespace {

// Reads the mute state into `state` and, with `wanted`, sets it; false without such a switch.
bool muteSwitch(bool* state, const bool* wanted) {
    HMIXER mixer = nullptr;
    if (mixerGetNumDevs() == 0 || mixerOpen(&mixer, 0, 0, 0, MIXER_OBJECTF_MIXER) != 0) {
        return false;
    }
    auto object = reinterpret_cast<HMIXEROBJ>(mixer);
    bool ok = false;
    MIXERLINEW line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    MIXERCONTROLW control{};
    control.cbStruct = sizeof control;
    MIXERLINECONTROLSW controls{};
    controls.cbStruct = sizeof controls;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    MIXERCONTROLDETAILS_BOOLEAN value{};
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.cChannels = 1;
    details.cbDetails = sizeof value;
    details.paDetails = &value;
    if (mixerGetLineInfoW(object, &line, MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER) ==
        0) {
        controls.dwLineID = line.dwLineID;
        if (mixerGetLineControlsW(object, &controls,
                                  MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER) == 0) {
            details.dwControlID = control.dwControlID;
            if (mixerGetControlDetailsW(
                    object, &details, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) == 0) {
                *state = value.fValue != 0;
                ok = true;
                if (wanted) {
                    value.fValue = *wanted ? 1 : 0;
                    ok = mixerSetControlDetails(
                             object, &details,
                             MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) == 0;
                }
            }
        }
    }
    mixerClose(mixer);
    return ok;
}

}  // namespace

void SpeakerMute::apply(bool muted) {
    bool current = false;
    if (!muteSwitch(&current, nullptr)) return;
    if (!saved_) {
        saved_ = true;
        original_ = current;
    }
    if (current != muted) muteSwitch(&current, &muted);
    changed_ = muted != original_;
}

void SpeakerMute::restore() {
    if (!changed_) return;
    bool current = false;
    muteSwitch(&current, &original_);
    changed_ = false;
}

}  // namespace quill::projector
