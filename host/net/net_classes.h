// Registration of the network host classes the Windows build has: Socket, Inet and IPConfig.
#pragma once

#include "runtime/script_engine.h"

namespace quill {

void registerInet(ScriptEngine* engine);
void registerIPConfig(ScriptEngine* engine);
void registerSocket(ScriptEngine* engine);

}  // namespace quill
