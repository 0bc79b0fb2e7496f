// Invoking an automation member with script arguments: conversion by the declared parameter
// types, by-reference parameters through temporaries (boxes get the member's result back), and
// the cleanup of every argument afterwards.
#pragma once

#include "host/com/com_type_info.h"

namespace quill::com {

// Converts the arguments, invokes (locale 0) and writes by-reference results back into boxes.
// Conversion errors raise; the HRESULT of the call is returned with the result in `result` and a
// filled `exception` for DISP_E_EXCEPTION. `args` are the script arguments in order.
HRESULT invokeWith(ScriptEngine* engine, IDispatch* dispatch, DISPID id, const MemberInfo& member,
                   const ScriptValue* args, uint32_t count, VARIANT* result, EXCEPINFO* exception);

// The same, raising the script error for a failed call and converting the result.
ScriptValue invokeMember(ScriptEngine* engine, IDispatch* dispatch, DISPID id,
                         const MemberInfo& member, const ScriptValue* args, uint32_t count);

}  // namespace quill::com
