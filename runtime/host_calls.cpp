// The host entry points through which native code calls script functions and methods: each
// runs under a host-level trap and reports success, with the result in the engine's return slot.
#include <cstring>
#include <vector>

#include "runtime/engine_internal.h"

namespace quill {

namespace {

// Natives trust element 0 of an argument array; a host that passes a count that disagrees with
// it gets a normalised copy.
const ScriptValue* normalisedArgs(uint32_t count, const ScriptValue* values,
                                  std::vector<ScriptValue>* storage) {
    if (count > 0 && values && values[0].tag == kTagInteger && values[0].i == int64_t(count) - 1) {
        return values;
    }
    storage->assign(1, makeInteger(count > 0 ? int64_t(count) - 1 : 0));
    for (uint32_t i = 1; i < count; ++i) storage->push_back(values[i]);
    return storage->data();
}

void beginHostCall(ScriptEngine* e) {
    e->errorKind = ErrorKind::kNone;
    e->errorBuffer[0] = '\0';
    e->returnSlot = makeUndefined();
    e->errorLocated = false;
    e->hasThrownValue = false;
}

// Calls a host value's call hook with a private copy of the arguments on the value stack, so the
// hook sees stable memory that the collector also sees.
void callHostHook(ScriptEngine* e, const ScriptValue& callee, uint32_t count,
                  const ScriptValue* values) {
    ScriptValue* sp = e->stackTop;
    if (sp - e->stackBase < ptrdiff_t(count) + 16) raiseStackOverflow(e);
    *--sp = callee;
    for (uint32_t i = count; i-- > 0;) *--sp = values[i];
    e->stackTop = sp;
    ScriptValue result = makeUndefined();
    ClassDescriptor* cls = callee.host->cls;
    cls->call(e, cls, callee.host->data, &result, sp);
    e->returnSlot = result;
}

int callWithThis(ScriptEngine* e, const ScriptValue* thisValue, const ScriptValue& callee,
                 uint32_t count, const ScriptValue* values) {
    std::vector<ScriptValue> storage;
    const ScriptValue* argv = normalisedArgs(count, values, &storage);
    if (count == 0) count = 1;
    return guardHostCall(e, [&] {
        NativeDepthGuard depth(e);
        if (callee.tag == kTagFunction) {
            ScriptValue keep[2] = {callee, thisValue ? *thisValue : makeNull()};
            RootedValues rooted(e, keep, 2);
            run(e, thisValue, callee.fn->code, count, argv);
        } else if (callee.tag == kTagHost && callee.host->cls->call) {
            callHostHook(e, callee, count, argv);
        } else {
            setErrorText(e, "Warning: call a undefined function");
            throw ScriptError{};
        }
    });
}

}  // namespace

int callFunction(ScriptEngine* e, const char* globalName, const ScriptValue* function,
                 uint32_t count, const ScriptValue* values) {
    beginHostCall(e);
    ScriptValue callee = makeUndefined();
    if (globalName) {
        callee = getGlobal(e, globalName);
    } else if (function) {
        callee = *function;
    }
    return finishEntry(e, callWithThis(e, nullptr, callee, count, values));
}

int callFunctionWithThis(ScriptEngine* e, const ScriptValue& thisValue, const ScriptValue& function,
                         uint32_t count, const ScriptValue* values) {
    beginHostCall(e);
    return finishEntry(e, callWithThis(e, &thisValue, function, count, values));
}

int callMethod(ScriptEngine* e, const ScriptValue& receiver, const char* methodName, uint32_t count,
               const ScriptValue* values) {
    beginHostCall(e);
    std::vector<ScriptValue> storage;
    const ScriptValue* argv = normalisedArgs(count, values, &storage);
    if (count == 0) count = 1;
    ScriptValue self = receiver;
    return finishEntry(e, guardHostCall(e, [&] {
                           NativeDepthGuard depth(e);
                           RootedValues rooted(e, &self, 1);
                           uint32_t atom = intern(e, methodName, std::strlen(methodName));
                           auto unknown = [&] {
                               setErrorTextf(e, "Warning: unknown method \"%s\"", methodName);
                               throw ScriptError{};
                           };
                           // Method hooks get a private copy of the arguments on the value stack.
                           auto hook = [&](MethodHook method, ClassDescriptor* cls, void* data) {
                               ScriptValue* sp = e->stackTop;
                               if (sp - e->stackBase < ptrdiff_t(count) + 16) raiseStackOverflow(e);
                               for (uint32_t i = count; i-- > 0;) *--sp = argv[i];
                               e->stackTop = sp;
                               ScriptValue result = makeUndefined();
                               int handled = method(e, cls, data, atom, &result, sp);
                               if (handled) e->returnSlot = result;
                               return handled != 0;
                           };
                           switch (self.tag) {
                               case kTagHost: {
                                   ClassDescriptor* cls = self.host->cls;
                                   if (!cls->method || !hook(cls->method, cls, self.host->data))
                                       unknown();
                                   return;
                               }
                               case kTagObject: {
                                   ScriptValue found;
                                   if (lookup(e, self.obj, atom, &found)) {
                                       if (found.tag != kTagFunction) unknown();
                                       RootedValues keep(e, &found, 1);
                                       run(e, &self, found.fn->code, count, argv);
                                       return;
                                   }
                                   ClassDescriptor* type = e->typeTable[kTagObject];
                                   if (!type || !type->method || !hook(type->method, type, &self))
                                       unknown();
                                   return;
                               }
                               default: {
                                   ClassDescriptor* type =
                                       self.tag < kTypeTableSize ? e->typeTable[self.tag] : nullptr;
                                   if (!type || !type->method || !hook(type->method, type, &self))
                                       unknown();
                                   return;
                               }
                           }
                       }));
}

}  // namespace quill
