// Handler calls for the network objects (see handler_call.h).
#include "host/net/handler_call.h"

#include <string>
#include <vector>

namespace quill::net {

bool callHandler(ScriptEngine* engine, const ScriptValue* thisValue, const ScriptValue& handler,
                 std::initializer_list<ScriptValue> args, ScriptValue* result) {
    if (result) *result = makeUndefined();
    if (handler.tag != kTagFunction) return false;
    std::vector<ScriptValue> argv;
    argv.reserve(args.size() + 3);
    argv.push_back(makeInteger(int64_t(args.size())));
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(handler);
    argv.push_back(thisValue ? *thisValue : makeUndefined());
    RootedValues rooted(engine, argv.data(), argv.size());
    int ok = thisValue
                 ? callFunctionWithThis(engine, *thisValue, handler, uint32_t(args.size() + 1),
                                        argv.data())
                 : callFunction(engine, nullptr, &handler, uint32_t(args.size() + 1), argv.data());
    if (!ok) {
        std::string text = engine->errorBuffer;
        warn(engine, text.c_str());
        return false;
    }
    if (result) *result = engine->returnSlot;
    return true;
}

}  // namespace quill::net
