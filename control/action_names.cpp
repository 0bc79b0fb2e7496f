// The names of the action codes, as the assembler reads them and the listing writes them.
#include <cctype>
#include <string>

#include "control/action_codes.h"

namespace quill::movie {
namespace {

struct NamedAction {
    uint8_t code;
    const char* name;
};

constexpr NamedAction kNames[] = {
    {kActionEnd, "end"},
    {kActionNextFrame, "nextFrame"},
    {kActionPreviousFrame, "prevFrame"},
    {kActionPlay, "play"},
    {kActionStop, "stop"},
    {kActionToggleQuality, "toggleQuality"},
    {kActionStopSounds, "stopSounds"},
    {kActionAdd, "add"},
    {kActionSubtract, "subtract"},
    {kActionMultiply, "multiply"},
    {kActionDivide, "divide"},
    {kActionEquals, "equals"},
    {kActionLess, "less"},
    {kActionAnd, "and"},
    {kActionOr, "or"},
    {kActionNot, "not"},
    {kActionStringEquals, "stringEquals"},
    {kActionStringLength, "stringLength"},
    {kActionStringExtract, "stringExtract"},
    {kActionPop, "pop"},
    {kActionToInteger, "toInteger"},
    {kActionGetVariable, "getVariable"},
    {kActionSetVariable, "setVariable"},
    {kActionSetTarget2, "setTarget2"},
    {kActionStringAdd, "stringAdd"},
    {kActionGetProperty, "getProperty"},
    {kActionSetProperty, "setProperty"},
    {kActionTrace, "trace"},
    {kActionStringLess, "stringLess"},
    {kActionRandomNumber, "random"},
    {kActionMBStringLength, "mbStringLength"},
    {kActionCharToAscii, "charToAscii"},
    {kActionAsciiToChar, "asciiToChar"},
    {kActionGetTime, "getTime"},
    {kActionMBStringExtract, "mbStringExtract"},
    {kActionMBCharToAscii, "mbCharToAscii"},
    {kActionMBAsciiToChar, "mbAsciiToChar"},
    {kActionCallFunction, "callFunction"},
    {kActionModulo, "modulo"},
    {kActionTypeOf, "typeOf"},
    {kActionTargetPath, "targetPath"},
    {kActionAdd2, "add2"},
    {kActionLess2, "less2"},
    {kActionEquals2, "equals2"},
    {kActionToNumber, "toNumber"},
    {kActionToString, "toString"},
    {kActionPushDuplicate, "pushDuplicate"},
    {kActionStackSwap, "swap"},
    {kActionGetMember, "getMember"},
    {kActionSetMember, "setMember"},
    {kActionIncrement, "increment"},
    {kActionDecrement, "decrement"},
    {kActionCallMethod, "callMethod"},
    {kActionBitAnd, "bitAnd"},
    {kActionBitOr, "bitOr"},
    {kActionBitXor, "bitXor"},
    {kActionBitLShift, "bitLShift"},
    {kActionBitRShift, "bitRShift"},
    {kActionBitURShift, "bitURShift"},
    {kActionStrictEquals, "strictEquals"},
    {kActionGreater, "greater"},
    {kActionStringGreater, "stringGreater"},
    {kActionGotoFrame, "gotoFrame"},
    {kActionGetURL, "getURL"},
    {kActionStoreRegister, "storeRegister"},
    {kActionConstantPool, "constantPool"},
    {kActionWaitForFrame, "waitForFrame"},
    {kActionSetTarget, "setTarget"},
    {kActionGotoLabel, "gotoLabel"},
    {kActionWaitForFrame2, "waitForFrame2"},
    {kActionPush, "push"},
    {kActionJump, "jump"},
    {kActionGetURL2, "getURL2"},
    {kActionIf, "if"},
    {kActionCall, "call"},
    {kActionGotoFrame2, "gotoFrame2"},
};

bool sameName(std::string_view a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && !b[i];
}

}  // namespace

const char* actionName(uint8_t code) {
    for (const NamedAction& n : kNames) {
        if (n.code == code) return n.name;
    }
    return nullptr;
}

int actionByName(std::string_view name) {
    for (const NamedAction& n : kNames) {
        if (sameName(name, n.name)) return n.code;
    }
    return -1;
}

}  // namespace quill::movie
