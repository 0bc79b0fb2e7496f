// The script classes only the projector has, added to each engine the bridge creates at their
// places in the registration order: createControl, FlashPlayer, MovieClip and the application
// functions that need the project.
#pragma once

#include <span>

#include "runtime/embed.h"
#include "runtime/script_engine.h"

namespace quill::projector {

class CShockwaveFlash;
class ProjectorApp;

std::span<const HostRegistration> projectorClasses();

// The main window's control, which the script objects work on; null when there is none.
void setScriptControl(CShockwaveFlash* control);
// The application whose movies, profile, work folder and main window scripts reach.
void setScriptApplication(ProjectorApp* app);

void registerProjectorFunctions(ScriptEngine* engine);  // app_functions.cpp
void registerCreateControl(ScriptEngine* engine);       // create_control.cpp
// Releases every control scripts created (the main window is going away).
void destroyCreatedControls();

}  // namespace quill::projector
