// Shared between the String class sources: the member order of its class data and the HTML
// formatting methods, which live in a file of their own.
#pragma once

#include <cstdint>

#include "runtime/script_engine.h"

namespace quill {

enum StringMember : int {
    kStrLength,
    kStrCharAt,
    kStrCharCodeAt,
    kStrConcat,
    kStrFromCharCode,
    kStrIndexOf,
    kStrLastIndexOf,
    kStrMatch,
    kStrReplace,
    kStrSearch,
    kStrSlice,
    kStrSplit,
    kStrSubstr,
    kStrSubstring,
    kStrToLowerCase,
    kStrToUpperCase,
    kStrAnchor,  // the HTML methods run from here to the end
    kStrBig,
    kStrBlink,
    kStrBold,
    kStrFixed,
    kStrFontColor,
    kStrFontSize,
    kStrItalics,
    kStrLink,
    kStrSmall,
    kStrStrike,
    kStrSub,
    kStrSup,
    kStrMemberCount
};

// `self` wrapped in the tags of an HTML member (kStrAnchor and after); the argument of anchor,
// fontColor, fontSize and link is converted to a string (empty when absent).
void stringHtmlMethod(ScriptEngine* engine, int member, const ScriptValue& self, ScriptValue* argv,
                      ScriptValue* result);

}  // namespace quill
