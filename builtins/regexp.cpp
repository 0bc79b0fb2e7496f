// The RegExp host class: construction from a pattern and a flags string (and from literals of
// loaded modules through the factory), exec/test/call, compile, toString, the instance
// properties and the statics of the last execution shared by every instance.
#include "builtins/regexp.h"
#include "builtins/builtin_reference.h"

#include <cstring>

#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "builtins/string_support.h"
#include "runtime/array.h"
#include "runtime/module.h"

namespace quill {

namespace {

// What a matcher that gives up on a costly pattern reports.
constexpr const char* kSearchLimitText = "Max regex search depth exceeded.";

uint32_t flagsFromText(const ScriptValue& text) {
    uint32_t flags = 0;
    for (char16_t c : textOf(text)) {
        if (c == 'g') flags |= kRegExpGlobal;
        if (c == 'i') flags |= kRegExpIgnoreCase;
        if (c == 'm') flags |= kRegExpMultiline;
    }
    return flags;
}

uint32_t compileFlags(uint32_t flags, uint32_t base) {
    uint32_t word = base;
    if (flags & kRegExpIgnoreCase) word |= kRegIgnoreCase;
    if (flags & kRegExpMultiline) word |= kRegNewline;
    return word;
}

// Compiles a pattern (an empty one stands for "^") or raises the RegExp runtime error. The
// pattern's own copy of the text goes to *source.
CompiledPattern* compileOrRaise(ScriptEngine* engine, std::u16string_view pattern, uint32_t flags,
                                uint32_t base, char16_t** source, uint32_t* sourceLength) {
    if (pattern.empty()) pattern = u"^";
    std::string error;
    CompiledPattern* compiled = compilePattern(pattern, compileFlags(flags, base), &error);
    if (!compiled) raiseError(engine, "RegExp runtime error: %s", error.c_str());
    char16_t* copy = plainWcsdup(nullptr, pattern.data(), pattern.size());
    if (!copy) {
        freePattern(compiled);
        raiseError(engine, "Out of memory");
    }
    *source = copy;
    *sourceLength = static_cast<uint32_t>(pattern.size());
    return compiled;
}

void freeInstance(RegExpInstance* re) {
    if (!re) return;
    freePattern(re->pattern);
    plainFree(re->source);
    plainFree(re);
}

void newRegExp(ScriptEngine* engine, ScriptValue* out, std::u16string_view pattern,
               uint32_t flags) {
    RegExpState* state = regexpState(engine);
    auto* re = static_cast<RegExpInstance*>(plainCalloc(nullptr, 1, sizeof(RegExpInstance)));
    if (!re) raiseError(engine, "Out of memory");
    re->flags = flags & (kRegExpGlobal | kRegExpIgnoreCase | kRegExpMultiline);
    try {
        re->pattern = compileOrRaise(engine, pattern, re->flags, kRegBaseFlags, &re->source,
                                     &re->sourceLength);
        newHostValue(engine, out, state->cls, re);
    } catch (...) {
        freeInstance(re);
        throw;
    }
}

// Literals of loaded modules.
void regexpFactory(ScriptEngine* engine, ScriptValue* out, const char16_t* pattern, uint32_t length,
                   uint32_t flags) {
    newRegExp(engine, out, std::u16string_view(pattern, length), flags);
}

int memberOf(const RegExpState* state, uint32_t atom) {
    for (uint32_t i = 0; i < kReMemberCount; ++i) {
        if (state->atoms[i] == atom) return static_cast<int>(i);
    }
    return -1;
}

ScriptValue& lastInput(ScriptEngine* engine, const RegExpState* state) {
    return engine->builtinRoots[state->inputRoot];
}

// The text of slot k of the last execution, or null when it is unmatched or no longer lies
// inside the input.
ScriptValue slotText(ScriptEngine* engine, const RegExpState* state, uint32_t k) {
    const ScriptValue& input = lastInput(engine, state);
    int32_t begin = state->slots[2 * k], end = state->slots[2 * k + 1];
    if (begin < 0 || end < begin || uint32_t(end) > input.str->length) return makeNull();
    return sliceString(engine, input, size_t(begin), size_t(end));
}

// The statics; every one is null unless the last execution matched a string input.
bool readStatic(ScriptEngine* engine, const RegExpState* state, int member, ScriptValue* out) {
    if (member > kReRightContext || member == kReMultiline) return false;
    const ScriptValue& input = lastInput(engine, state);
    *out = makeNull();
    if (input.tag != kTagString || state->slots[0] < 0 ||
        uint32_t(state->slots[1]) > input.str->length) {
        return true;
    }
    switch (member) {
        case kReDollarUnderscore:
        case kReInput:
            *out = input;
            break;
        case kReLastMatch:
            *out = slotText(engine, state, 0);
            break;
        case kReLastParen: {
            uint32_t k = 1;
            while (k < kMaxSubMatches && state->slots[2 * k] >= 0) ++k;
            if (k > 1) *out = slotText(engine, state, k - 1);
            break;
        }
        case kReLeftContext:
            *out = sliceString(engine, input, 0, size_t(state->slots[0]));
            break;
        case kReRightContext:
            *out = sliceString(engine, input, size_t(state->slots[1]), input.str->length);
            break;
        default:  // $1 ... $9
            *out = slotText(engine, state, uint32_t(member - kReDollar1 + 1));
            break;
    }
    return true;
}

ScriptValue sourceText(ScriptEngine* engine, const RegExpInstance* re) {
    return newString(engine, std::u16string_view(re->source, re->sourceLength));
}

ScriptValue regexpText(ScriptEngine* engine, const RegExpInstance* re) {
    TextBuilder text(engine);
    text.append(u'/');
    text.append(std::u16string_view(re->source, re->sourceLength));
    text.append(u'/');
    if (re->flags & kRegExpGlobal) text.append(u'g');
    if (re->flags & kRegExpIgnoreCase) text.append(u'i');
    if (re->flags & kRegExpMultiline) text.append(u'm');
    return text.toValue();
}

// exec and test: one search from lastIndex; `g` moves lastIndex to the end of a match, or back
// to 0 when nothing matched.
bool execute(ScriptEngine* engine, RegExpInstance* re, ScriptValue* argv, ScriptValue* input) {
    RegExpState* state = regexpState(engine);
    if (argCount(argv) >= 1) {
        *input = toString(engine, argv[1]);
    } else {
        const ScriptValue& last = lastInput(engine, state);
        *input = last.tag == kTagString ? last : staticString(engine, kStrEmpty);
    }
    // The conversion may have run a script that recompiled or moved this expression.
    size_t length = input->str->length;
    size_t start = re->lastIndex < length ? re->lastIndex : length;
    bool found = executeRegExp(engine, re, *input, start, kMaxSubMatches);
    if (re->flags & kRegExpGlobal) re->lastIndex = found ? uint32_t(state->slots[1]) : 0;
    return found;
}

void execMethod(ScriptEngine* engine, RegExpInstance* re, ScriptValue* argv, ScriptValue* result) {
    ScriptValue input;
    if (execute(engine, re, argv, &input)) {
        execResultArray(engine, input, result);
    } else {
        *result = makeNull();
    }
}

void compileMethod(ScriptEngine* engine, RegExpInstance* re, ScriptValue* argv) {
    ScriptValue pattern = arg(argv, 1), flagText = arg(argv, 2);
    std::u16string_view text = pattern.tag == kTagString ? textOf(pattern) : std::u16string_view();
    uint32_t flags = flagText.tag == kTagString ? flagsFromText(flagText) : 0;
    char16_t* source = nullptr;
    uint32_t sourceLength = 0;
    // Nothing changes unless the new pattern compiles.
    CompiledPattern* compiled =
        compileOrRaise(engine, text, flags, kRegBaseFlags, &source, &sourceLength);
    freePattern(re->pattern);
    plainFree(re->source);
    re->pattern = compiled;
    re->source = source;
    re->sourceLength = sourceLength;
    re->flags = flags;
    re->lastIndex = 0;
}

void constructRegExp(ScriptEngine* engine, ClassDescriptor*, ScriptValue* argv,
                     ScriptValue* result) {
    ScriptValue pattern = arg(argv, 1), flagText = arg(argv, 2);
    std::u16string_view text = pattern.tag == kTagString ? textOf(pattern) : std::u16string_view();
    uint32_t flags = flagText.tag == kTagString ? flagsFromText(flagText) : 0;
    newRegExp(engine, result, text, flags);
}

// Calling an instance executes it; calling the class constructs, as `new` does.
void callRegExp(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
                ScriptValue* argv) {
    if (!data) {
        constructRegExp(engine, cls, argv, result);
        return;
    }
    execMethod(engine, static_cast<RegExpInstance*>(data), argv, result);
}

int regexpMethod(ScriptEngine* engine, ClassDescriptor*, void* data, uint32_t atom,
                 ScriptValue* result, ScriptValue* argv) {
    RegExpState* state = regexpState(engine);
    if (!data) {
        if (atom != engine->atomToString) return 0;
        *result = newStringFromAscii(engine, "[Object RegExp]");
        return 1;
    }
    auto* re = static_cast<RegExpInstance*>(data);
    if (atom == engine->atomToString) {
        *result = regexpText(engine, re);
        return 1;
    }
    switch (memberOf(state, atom)) {
        case kReExec:
            execMethod(engine, re, argv, result);
            return 1;
        case kReTest: {
            ScriptValue input;
            *result = makeBoolean(execute(engine, re, argv, &input));
            return 1;
        }
        case kReCompile:
            compileMethod(engine, re, argv);
            *result = makeBoolean(true);
            return 1;
        default:
            return 0;
    }
}

int regexpProperty(ScriptEngine* engine, ClassDescriptor*, void* data, uint32_t atom, int mode,
                   ScriptValue* value) {
    RegExpState* state = regexpState(engine);
    int member = memberOf(state, atom);
    if (member < 0 || member >= kReCompile) return 0;
    auto* re = static_cast<RegExpInstance*>(data);
    bool instanceMember = member == kReMultiline || member >= kReGlobal;
    if (instanceMember && !re) return 0;
    if (mode == 1) {
        // Only lastIndex takes a value, and only an integer; every other write is ignored.
        if (member == kReLastIndex && value->tag == kTagInteger) {
            int64_t v = value->i;
            re->lastIndex = v < 0 ? 0 : (v > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(v));
        }
        return 1;
    }
    switch (member) {
        case kReSource:
            *value = sourceText(engine, re);
            return 1;
        case kReGlobal:
            *value = makeBoolean(re->flags & kRegExpGlobal);
            return 1;
        case kReIgnoreCase:
            *value = makeBoolean(re->flags & kRegExpIgnoreCase);
            return 1;
        case kReMultiline:
            *value = makeBoolean(re->flags & kRegExpMultiline);
            return 1;
        case kReLastIndex:
            *value = makeInteger(re->lastIndex);
            return 1;
        default:
            return readStatic(engine, state, member, value) ? 1 : 0;
    }
}

void finalizeRegExp(ScriptEngine*, ClassDescriptor*, void* data) {
    freeInstance(static_cast<RegExpInstance*>(data));
}

void freeState(void* data) {
    plainFree(data);
}

}  // namespace

RegExpState* regexpState(ScriptEngine* engine) {
    return static_cast<RegExpState*>(engine->builtinState[kStateRegExp]);
}

RegExpInstance* regexpInstance(ScriptEngine* engine, const ScriptValue& value) {
    RegExpState* state = regexpState(engine);
    if (!state || value.tag != kTagHost || value.host->cls != state->cls) return nullptr;
    return static_cast<RegExpInstance*>(value.host->data);
}

bool executeRegExp(ScriptEngine* engine, RegExpInstance* re, const ScriptValue& input, size_t start,
                   uint32_t slotCount) {
    RegExpState* state = regexpState(engine);
    for (int32_t& slot : state->slots) slot = -1;
    lastInput(engine, state) = input;
    SearchResult r = searchPattern(re->pattern, textOf(input), start, state->slots, slotCount);
    if (r == SearchResult::kLimit) raiseError(engine, "RegExp runtime error: %s", kSearchLimitText);
    return r == SearchResult::kMatch;
}

void execResultArray(ScriptEngine* engine, const ScriptValue& input, ScriptValue* out) {
    RegExpState* state = regexpState(engine);
    uint32_t count = 0;
    while (count < kMaxSubMatches && state->slots[2 * count] >= 0) ++count;
    // No collection happens while the array is built, so it needs no root.
    newArray(engine, out, count);
    for (uint32_t k = 0; k < count; ++k) {
        setElement(engine, *out, slotText(engine, state, k), k);
    }
    ScriptObject* props = ownProps(engine, *out, true);
    setByAtom(engine, props, state->atomIndex, makeInteger(state->slots[0]));
    setByAtom(engine, props, state->atoms[kReInput], input);
}

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kRegExpReference[] = {
    bind::describedClassMethod(
        "toString", "", "The expression as /source/flags; \"[Object RegExp]\" on the class."),
    bind::describedMethod(
        "exec", "[text]",
        "Matches against text (default: the last input): an array of the match and its groups with "
        "index and input, or null; a global expression starts at lastIndex and moves it."),
    bind::describedMethod("test", "[text]",
                          "True when exec would find a match (and moves lastIndex the same way)."),
    bind::describedMethod("compile", "pattern [, flags]",
                          "Replaces the expression with a new pattern and flags; gives true."),
    bind::describedProperty("source", "The pattern text."),
    bind::describedProperty("global", "True with the g flag."),
    bind::describedProperty("ignoreCase", "True with the i flag."),
    bind::describedProperty("multiline", "True with the m flag."),
    bind::describedProperty(
        "lastIndex",
        "Where the next search of a global expression starts; takes integers (negative: 0).",
        bind::Access::kWritable),
    bind::describedClassProperty("$1",
                                 "The text of group 1 of the last match; null before any match."),
    bind::describedClassProperty("$2",
                                 "The text of group 2 of the last match; null before any match."),
    bind::describedClassProperty("$3",
                                 "The text of group 3 of the last match; null before any match."),
    bind::describedClassProperty("$4",
                                 "The text of group 4 of the last match; null before any match."),
    bind::describedClassProperty("$5",
                                 "The text of group 5 of the last match; null before any match."),
    bind::describedClassProperty("$6",
                                 "The text of group 6 of the last match; null before any match."),
    bind::describedClassProperty("$7",
                                 "The text of group 7 of the last match; null before any match."),
    bind::describedClassProperty("$8",
                                 "The text of group 8 of the last match; null before any match."),
    bind::describedClassProperty("$9",
                                 "The text of group 9 of the last match; null before any match."),
    bind::describedClassProperty("$_", "The text the last match searched; null before any match."),
    bind::describedClassProperty("input", "The same as $_."),
    bind::describedClassProperty("lastMatch", "The text of the last match."),
    bind::describedClassProperty("lastParen", "The text of the last group of the last match."),
    bind::describedClassProperty("leftContext", "The text before the last match."),
    bind::describedClassProperty("rightContext", "The text after the last match."),
};

void registerRegExp(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "RegExp", ClassId::kRegExp);
    cls->synopsis = "pattern [, flags]";
    cls->summary =
        "Regular expressions (flags g, i, m), also written /pattern/flags; the class's own "
        "properties describe the last match.";
    auto* state = static_cast<RegExpState*>(plainCalloc(engine, 1, sizeof(RegExpState)));
    cls->classData = state;
    cls->classDataDestructor = freeState;
    static const char* const kNames[kReMemberCount] = {
        "$1",        "$2",          "$3",        "$4",           "$5",     "$6",
        "$7",        "$8",          "$9",        "$_",           "input",  "lastMatch",
        "lastParen", "leftContext", "multiline", "rightContext", "global", "ignoreCase",
        "lastIndex", "source",      "compile",   "exec",         "test",
    };
    for (uint32_t i = 0; i < kReMemberCount; ++i) state->atoms[i] = intern(engine, kNames[i]);
    state->atomIndex = intern(engine, "index");
    state->cls = cls;
    for (int32_t& slot : state->slots) slot = -1;
    cls->call = callRegExp;
    cls->method = regexpMethod;
    cls->property = regexpProperty;
    cls->construct = constructRegExp;
    cls->finalizeInstance = finalizeRegExp;
    // The last input. (The class itself stays alive as a registered class: literals keep being
    // made after a script has reassigned the global.)
    state->inputRoot = engine->builtinRoots.size();
    engine->builtinRoots.push_back(makeNull());
    engine->builtinState[kStateRegExp] = state;
    setRegExpFactory(engine, regexpFactory);
}

bind::MemberTable regexpReference() {
    return kRegExpReference;
}

}  // namespace quill
