// The four pattern operations String hands to RegExp: match, search, replace (with its "$"
// substitutions) and split. Every global loop moves past an empty match, so each one ends.
#include <string_view>

#include "builtins/regexp.h"
#include "builtins/string_support.h"
#include "runtime/array.h"

namespace quill {

namespace {

const int32_t* slots(ScriptEngine* engine) {
    return regexpState(engine)->slots;
}

void appendSlot(TextBuilder* out, std::u16string_view text, const int32_t* slot, uint32_t k) {
    int32_t begin = slot[2 * k], end = slot[2 * k + 1];
    if (begin < 0 || end < begin || size_t(end) > text.size()) return;
    out->append(text.substr(size_t(begin), size_t(end - begin)));
}

// The replacement text for the current match, with its "$" substitutions.
void appendReplacement(TextBuilder* out, std::u16string_view text, std::u16string_view pattern,
                       const int32_t* slot) {
    size_t matchStart = size_t(slot[0]), matchEnd = size_t(slot[1]);
    for (size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c != u'$' || i + 1 == pattern.size()) {
            out->append(c);
            continue;
        }
        char16_t next = pattern[i + 1];
        if (next == u'$') {
            out->append(u'$');
        } else if (next == u'&') {
            appendSlot(out, text, slot, 0);
        } else if (next == u'`') {
            out->append(text.substr(0, matchStart));
        } else if (next == u'\'') {
            out->append(text.substr(matchEnd));
        } else if (next == u'+') {
            uint32_t highest = 0;
            for (uint32_t k = 1; k < kMaxSubMatches; ++k) {
                if (slot[2 * k] >= 0) highest = k;
            }
            if (highest) appendSlot(out, text, slot, highest);
        } else if (next >= u'1' && next <= u'9') {
            appendSlot(out, text, slot, uint32_t(next - u'0'));
        } else {
            out->append(c);  // a lone "$": the next character is copied on the next round
            continue;
        }
        ++i;
    }
}

void appendElement(ScriptEngine* engine, const ScriptValue& array, const ScriptValue& value) {
    uint64_t n = array.arr->length;
    setElement(engine, array, value, n);
    array.arr->length = n + 1;
}

// After a global loop that stopped past the end of the input: the statics read as after a
// failed execution, which is how every other global loop ends.
void clearSlots(ScriptEngine* engine) {
    for (int32_t& slot : regexpState(engine)->slots) slot = -1;
}

}  // namespace

void regexpMatch(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& reValue,
                 ScriptValue* result) {
    RegExpInstance* re = regexpInstance(engine, reValue);
    size_t length = s.str->length;
    if (!(re->flags & kRegExpGlobal)) {
        size_t start = re->lastIndex < length ? re->lastIndex : length;
        if (executeRegExp(engine, re, s, start, kMaxSubMatches)) {
            execResultArray(engine, s, result);
        } else {
            *result = makeNull();
        }
        return;
    }
    // No collection happens in this loop, so the array needs no root.
    newArray(engine, result, 0);
    re->lastIndex = 0;
    size_t position = 0;
    for (;;) {
        if (position > length) {
            clearSlots(engine);
            break;
        }
        if (!executeRegExp(engine, re, s, position, 1)) break;
        const int32_t* slot = slots(engine);
        appendElement(engine, *result, sliceString(engine, s, size_t(slot[0]), size_t(slot[1])));
        position = slot[1] > slot[0] ? size_t(slot[1]) : size_t(slot[1]) + 1;
    }
    re->lastIndex = 0;
}

int64_t regexpSearch(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& reValue) {
    RegExpInstance* re = regexpInstance(engine, reValue);
    size_t length = s.str->length;
    size_t start = re->lastIndex < length ? re->lastIndex : length;
    bool found = executeRegExp(engine, re, s, start, kMaxSubMatches);
    if (re->flags & kRegExpGlobal) re->lastIndex = found ? uint32_t(slots(engine)[1]) : 0;
    return found ? slots(engine)[0] : -1;
}

void regexpReplace(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& reValue,
                   const ScriptValue& replacement, ScriptValue* result) {
    RegExpInstance* re = regexpInstance(engine, reValue);
    bool global = re->flags & kRegExpGlobal;
    // Neither string changes while the loop runs: it calls no script.
    std::u16string_view text = textOf(s);
    std::u16string_view pattern = textOf(replacement);
    TextBuilder out(engine);
    size_t copied = 0, position = 0;
    bool replaced = false;
    for (;;) {
        if (position > text.size()) {
            clearSlots(engine);
            break;
        }
        if (!executeRegExp(engine, re, s, position, kMaxSubMatches)) break;
        const int32_t* slot = slots(engine);
        out.append(text.substr(copied, size_t(slot[0]) - copied));
        appendReplacement(&out, text, pattern, slot);
        copied = size_t(slot[1]);
        replaced = true;
        if (!global) break;
        position = slot[1] > slot[0] ? size_t(slot[1]) : size_t(slot[1]) + 1;
    }
    if (global) re->lastIndex = 0;
    if (!replaced) {
        *result = s;
        return;
    }
    out.append(text.substr(copied));
    *result = out.toValue();
}

void regexpSplit(ScriptEngine* engine, const ScriptValue& s, const ScriptValue& reValue,
                 uint64_t limit, ScriptValue* result) {
    RegExpInstance* re = regexpInstance(engine, reValue);
    RegExpState* state = regexpState(engine);
    size_t length = s.str->length;
    newArray(engine, result, 0);
    engine->builtinRoots[state->inputRoot] = s;
    if (limit == 0) return;
    size_t pieceStart = 0, position = 0;
    while (position < length) {
        if (!executeRegExp(engine, re, s, position, 1)) break;
        size_t begin = size_t(state->slots[0]), end = size_t(state->slots[1]);
        if (begin >= length) break;
        if (end == pieceStart) {
            // An empty match right where the piece starts would make an empty piece: step on.
            position = begin + 1;
            continue;
        }
        appendElement(engine, *result, sliceString(engine, s, pieceStart, begin));
        if (result->arr->length >= limit) return;
        pieceStart = end;
        position = end > begin ? end : end + 1;
    }
    appendElement(engine, *result, sliceString(engine, s, pieceStart, length));
}

}  // namespace quill
