// The Number class: conversion by call or construction, the constants, and the methods of every
// numeric value (integers, doubles and NaN share one descriptor): toString with a radix, valueOf
// and format.
#include <cmath>
#include <limits>

#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "platform/number_text.h"

namespace quill {

namespace {

enum NumberMember { kMaxValue, kMinValue, kNaN, kNegativeInfinity, kPositiveInfinity, kFormat };

void numberConvert(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result,
                   ScriptValue* argv) {
    *result = hasArg(argv, 1) ? toNumber(e, argv[1]) : makeInteger(0);
}

void numberConstruct(ScriptEngine* e, ClassDescriptor* cls, ScriptValue* argv,
                     ScriptValue* result) {
    numberConvert(e, cls, nullptr, result, argv);
}

int numberProperty(ScriptEngine*, ClassDescriptor* cls, void*, uint32_t atom, int mode,
                   ScriptValue* value) {
    int member = memberIndex(cls, atom);
    if (member < 0 || member == kFormat) {
        if (mode == 0) *value = makeUndefined();
        return 0;
    }
    if (mode == 1) return 1;  // the constants accept writes and keep their values
    switch (member) {
        case kMaxValue:
            *value = makeNumber(std::numeric_limits<double>::max());
            break;
        case kMinValue:
            *value = makeNumber(std::numeric_limits<double>::min());
            break;
        case kNaN:
            *value = makeNaN();
            break;
        case kNegativeInfinity:
            *value = makeNumber(-std::numeric_limits<double>::infinity());
            break;
        default:
            *value = makeNumber(std::numeric_limits<double>::infinity());
            break;
    }
    return 1;
}

ScriptValue toStringWithRadix(ScriptEngine* e, const ScriptValue& self, ScriptValue* argv) {
    int64_t radix = 10;
    if (self.tag == kTagInteger && intArg(argv, 1, &radix) && radix != 10) {
        return newStringFromAscii(e, platform::formatIntegerRadix(self.i, int(radix)));
    }
    return numberToString(e, self);
}

int numberMethod(ScriptEngine* e, ClassDescriptor* cls, void* data, uint32_t atom,
                 ScriptValue* result, ScriptValue* argv) {
    const auto* self = static_cast<const ScriptValue*>(data);
    if (atom == e->atomToString) {
        *result =
            self ? toStringWithRadix(e, *self, argv) : newStringFromAscii(e, "[type Function]");
        return 1;
    }
    if (atom == e->atomValueOf) {
        *result = self ? *self : getGlobal(e, "Number");
        return 1;
    }
    if (self && memberIndex(cls, atom) == kFormat) {
        ScriptValue format = arg(argv, 1);
        if (format.tag != kTagString) {
            *result = toString(e, *self);
        } else if (self->tag == kTagNaN) {
            *result = staticString(e, kStrNaN);
        } else if (self->tag == kTagInteger) {
            *result = newString(e, platform::formatInteger(stringView(format), self->i));
        } else {
            *result = newString(e, platform::formatDouble(stringView(format), self->d));
        }
        return 1;
    }
    return 0;
}

}  // namespace

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kNumberReference[] = {
    bind::describedClassMethod("toString", "[radix]",
                               "The number's text; an integer in radix 2 to 36 when given. \"[type "
                               "Function]\" on the class."),
    bind::describedClassMethod("valueOf", "", "The number itself; the Number class on the class."),
    bind::describedMethod("format", "printfText",
                          "The number formatted by a printf-style text with one conversion "
                          "(\"%05d\", \"%.2f\"); its plain text when printfText is not a string."),
    bind::describedClassProperty("MAX_VALUE", "The largest double, 1.7976931348623157e308."),
    bind::describedClassProperty("MIN_VALUE",
                                 "The smallest normal double, 2.2250738585072014e-308."),
    bind::describedClassProperty("NaN", "Not a number."),
    bind::describedClassProperty("NEGATIVE_INFINITY", "Minus infinity."),
    bind::describedClassProperty("POSITIVE_INFINITY", "Infinity."),
};

void registerNumber(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClassWithNames(
        engine, "Number", ClassId::kNumber,
        {"MAX_VALUE", "MIN_VALUE", "NaN", "NEGATIVE_INFINITY", "POSITIVE_INFINITY", "format"});
    cls->synopsis = "[value]";
    cls->summary =
        "Converts value to a number primitive (a 64-bit integer, a double or NaN; no argument "
        "gives 0).";
    cls->call = numberConvert;
    cls->construct = numberConstruct;
    cls->method = numberMethod;
    cls->property = numberProperty;
    engine->typeTable[kTagInteger] = cls;
    engine->typeTable[kTagNumber] = cls;
    engine->typeTable[kTagNaN] = cls;
}

bind::MemberTable numberReference() {
    return kNumberReference;
}

}  // namespace quill
