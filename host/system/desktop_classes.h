// Registration of the Windows desktop host classes (shell, shortcuts, system information,
// dialogs, fonts, multimedia), called at engine creation at their class ids (registration.cpp),
// and the pieces these classes share across their sources.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "runtime/class_binding.h"

namespace quill {

void registerDialogs(ScriptEngine* engine);
void registerFontObject(ScriptEngine* engine);
void registerShell(ScriptEngine* engine);
void registerShortcut(ScriptEngine* engine);
void registerURLShortcut(ScriptEngine* engine);
void registerMCI(ScriptEngine* engine);
void registerSysInfo(ScriptEngine* engine);
// getMainWnd, getAppDir and getExeName (app_functions_win32.cpp).
void registerAppFunctions(ScriptEngine* engine);

// Shell's getFileVersionInfo row (file_version_win32.cpp).
bind::MemberTable fileVersionMembers();

// What a FontObject holds: the logical font, the colour as 0xRRGGBB and the size in points.
struct FontRecord {
    LOGFONTW font{};
    uint32_t color = 0;
    int32_t size = 0;
    FontRecord() { font.lfCharSet = DEFAULT_CHARSET; }
};
// A new FontObject holding a copy of the record; undefined when the engine has no FontObject.
ScriptValue newFontObject(ScriptEngine* engine, const FontRecord& record);

}  // namespace quill

#endif
