// The action codes of the movie's byte code: a table of names shared by the interpreter, the
// assembler of `quill movie build` and the listing of `quill movie info`.
#pragma once

#include <cstdint>
#include <string_view>

namespace quill::movie {

enum ActionCode : uint8_t {
    kActionEnd = 0x00,
    kActionNextFrame = 0x04,
    kActionPreviousFrame = 0x05,
    kActionPlay = 0x06,
    kActionStop = 0x07,
    kActionToggleQuality = 0x08,
    kActionStopSounds = 0x09,
    kActionAdd = 0x0A,
    kActionSubtract = 0x0B,
    kActionMultiply = 0x0C,
    kActionDivide = 0x0D,
    kActionEquals = 0x0E,
    kActionLess = 0x0F,
    kActionAnd = 0x10,
    kActionOr = 0x11,
    kActionNot = 0x12,
    kActionStringEquals = 0x13,
    kActionStringLength = 0x14,
    kActionStringExtract = 0x15,
    kActionPop = 0x17,
    kActionToInteger = 0x18,
    kActionGetVariable = 0x1C,
    kActionSetVariable = 0x1D,
    kActionSetTarget2 = 0x20,
    kActionStringAdd = 0x21,
    kActionGetProperty = 0x22,
    kActionSetProperty = 0x23,
    kActionTrace = 0x26,
    kActionStringLess = 0x29,
    kActionRandomNumber = 0x30,
    kActionMBStringLength = 0x31,
    kActionCharToAscii = 0x32,
    kActionAsciiToChar = 0x33,
    kActionGetTime = 0x34,
    kActionMBStringExtract = 0x35,
    kActionMBCharToAscii = 0x36,
    kActionMBAsciiToChar = 0x37,
    kActionCallFunction = 0x3D,
    kActionModulo = 0x3F,
    kActionTypeOf = 0x44,
    kActionTargetPath = 0x45,
    kActionAdd2 = 0x47,
    kActionLess2 = 0x48,
    kActionEquals2 = 0x49,
    kActionToNumber = 0x4A,
    kActionToString = 0x4B,
    kActionPushDuplicate = 0x4C,
    kActionStackSwap = 0x4D,
    kActionGetMember = 0x4E,
    kActionSetMember = 0x4F,
    kActionIncrement = 0x50,
    kActionDecrement = 0x51,
    kActionCallMethod = 0x52,
    kActionBitAnd = 0x60,
    kActionBitOr = 0x61,
    kActionBitXor = 0x62,
    kActionBitLShift = 0x63,
    kActionBitRShift = 0x64,
    kActionBitURShift = 0x65,
    kActionStrictEquals = 0x66,
    kActionGreater = 0x67,
    kActionStringGreater = 0x68,
    kActionGotoFrame = 0x81,
    kActionGetURL = 0x83,
    kActionStoreRegister = 0x87,
    kActionConstantPool = 0x88,
    kActionWaitForFrame = 0x8A,
    kActionSetTarget = 0x8B,
    kActionGotoLabel = 0x8C,
    kActionWaitForFrame2 = 0x8D,
    kActionPush = 0x96,
    kActionJump = 0x99,
    kActionGetURL2 = 0x9A,
    kActionIf = 0x9D,
    kActionCall = 0x9E,
    kActionGotoFrame2 = 0x9F,
};

// Value kinds inside a Push action.
enum PushKind : uint8_t {
    kPushString = 0,
    kPushFloat = 1,
    kPushNull = 2,
    kPushUndefined = 3,
    kPushRegister = 4,
    kPushBoolean = 5,
    kPushDouble = 6,
    kPushInteger = 7,
    kPushConstant8 = 8,
    kPushConstant16 = 9,
};

// The action's name as the assembler spells it ("play", "gotoFrame"), or null for codes the
// player does not run.
const char* actionName(uint8_t code);
// The code for a name (case-insensitive), or -1.
int actionByName(std::string_view name);

}  // namespace quill::movie
