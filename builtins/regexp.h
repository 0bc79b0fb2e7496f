// The RegExp class as the rest of the built-ins see it: the instance record, the engine-wide
// statics of the last execution, one execution step, and the four pattern operations that String
// hands over (match, search, replace, split).
#pragma once

#include <cstdint>

#include "builtins/regexp_matcher.h"
#include "runtime/script_engine.h"

namespace quill {

// Flag bits of an instance, as regular-expression literals carry them.
constexpr uint32_t kRegExpGlobal = 1;
constexpr uint32_t kRegExpIgnoreCase = 2;
constexpr uint32_t kRegExpMultiline = 4;

struct RegExpInstance {
    char16_t* source;  // plain allocation, NUL-terminated
    uint32_t sourceLength;
    uint32_t flags;  // kRegExp* bits
    CompiledPattern* pattern;
    uint32_t lastIndex;  // where the next search starts
};

// The member names of the class, in the order of its class data.
enum RegExpMember : int {
    kReDollar1,  // $1 ... $9 follow in order
    kReDollarUnderscore = 9,
    kReInput,
    kReLastMatch,
    kReLastParen,
    kReLeftContext,
    kReMultiline,
    kReRightContext,
    kReGlobal,
    kReIgnoreCase,
    kReLastIndex,
    kReSource,
    kReCompile,
    kReExec,
    kReTest,
    kReMemberCount
};

// Class data: the member atoms and the statics shared by every instance.
struct RegExpState {
    uint32_t atoms[kReMemberCount];
    uint32_t atomIndex;  // "index" of exec results
    ClassDescriptor* cls;
    size_t inputRoot;  // the last input, kept in engine->builtinRoots at this position
    int32_t slots[2 * kMaxSubMatches];  // of the last execution; -1 when unmatched
};

// The RegExp state of an engine (null before registration).
RegExpState* regexpState(ScriptEngine* engine);
// The instance behind a RegExp value, or null for any other value.
RegExpInstance* regexpInstance(ScriptEngine* engine, const ScriptValue& value);

// One execution over `input` (a string) from `start` with `slotCount` slots: clears the slot
// table, stores the input as the last input and the slots of a match. Returns whether it matched;
// a pattern too costly for the input raises the RegExp runtime error.
bool executeRegExp(ScriptEngine* engine, RegExpInstance* re, const ScriptValue& input, size_t start,
                   uint32_t slotCount);
// The result array of a successful execution: sub-matches up to the first unmatched slot, with
// the properties `index` and `input`.
void execResultArray(ScriptEngine* engine, const ScriptValue& input, ScriptValue* out);

// The operations String hands over; `s` is a string and `re` a RegExp value.
void regexpMatch(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& re,
                 ScriptValue* result);
int64_t regexpSearch(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& re);
void regexpReplace(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& re,
                   const ScriptValue& replacement, ScriptValue* result);
void regexpSplit(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& re, uint64_t limit,
                 ScriptValue* result);

}  // namespace quill
