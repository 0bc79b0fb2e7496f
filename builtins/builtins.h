// Registration entry points of the built-in classes and of the portable host classes, called at
// engine creation in the engine's fixed order (see registration.cpp).
#pragma once

#include "runtime/script_engine.h"

namespace quill {

void registerGlobalFunctions(ScriptEngine* engine);  // parseInt, escape, eval, trace, NaN, ...
void registerDate(ScriptEngine* engine);
#ifdef _WIN32
void registerFolder(ScriptEngine* engine);  // also registered as File
void registerDrive(ScriptEngine* engine);
#endif
void registerFileStream(ScriptEngine* engine);
void registerStringStream(ScriptEngine* engine);
void registerMath(ScriptEngine* engine);
void registerRegExp(ScriptEngine* engine);
void registerArray(ScriptEngine* engine);
void registerBoolean(ScriptEngine* engine);
void registerFunction(ScriptEngine* engine);
void registerNumber(ScriptEngine* engine);
void registerString(ScriptEngine* engine);
void registerObject(ScriptEngine* engine);
#ifdef _WIN32
void registerRegKey(ScriptEngine* engine);
void registerRegValue(ScriptEngine* engine);
void registerIni(ScriptEngine* engine);
#endif
// The URI coding functions, registered where the application functions are.
void registerUriFunctions(ScriptEngine* engine);
void registerMail(ScriptEngine* engine);      // host/net/mail.cpp
void registerSendMail(ScriptEngine* engine);  // host/net/mail_client_classes.cpp
void registerRecvMail(ScriptEngine* engine);  // host/net/mail_client_classes.cpp

}  // namespace quill
