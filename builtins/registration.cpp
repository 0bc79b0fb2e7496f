// The registration of every built-in and host class at engine creation, in the engine's fixed
// order. A build that lacks some classes registers the ones it has in the same relative order.
#include "builtins/builtins.h"
#include "compiler/compile_driver.h"
#include "runtime/engine_internal.h"

namespace quill {

void registerBuiltins(ScriptEngine* engine) {
    // Full order: global functions and constants, Date, Folder, File, Drive, FileStream,
    // StringStream, Math, RegExp, Array, Boolean, Function, Number, String, Object,
    // ActiveXObject, Enumerator, RegKey, RegValue, Ini, Dialogs, FontObject, Shell, Shortcut,
    // URLShortcut, MCI, createControl, FlashPlayer, MovieClip, the application functions,
    // Window, Mail, SendMail, RecvMail, Inet, IPConfig, SysInfo, Socket.
    // Each line below is added when its class exists.
    registerGlobalFunctions(engine);
    registerEvalFunctions(engine);  // with the global functions
    registerDate(engine);
    registerFileStream(engine);
    registerStringStream(engine);
    registerMath(engine);
    registerRegExp(engine);
    registerArray(engine);
    registerBoolean(engine);
    registerFunction(engine);
    registerNumber(engine);
    registerString(engine);
    registerObject(engine);
    registerUriFunctions(engine);  // with the application functions
}

}  // namespace quill
