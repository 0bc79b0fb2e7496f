// The Array class: construction, the `length` property and the methods of array values (concat,
// join, pop, push, reverse, shift, slice, splice, unshift, toString; sort lives in
// array_sort.cpp).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "builtins/array_methods.h"
#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "runtime/array.h"

namespace quill {

namespace {

enum ArrayMember {
    kConcat,
    kJoin,
    kPop,
    kPush,
    kReverse,
    kShift,
    kSlice,
    kSplice,
    kSort,
    kUnshift,
    kLength
};

constexpr uint64_t kPushLimit = 0xFFFFFFFFull;

ScriptObject* arrayPrototype(ScriptEngine* e) {
    ClassDescriptor* cls = e->typeTable[kTagArray];
    return cls ? cls->prototype : nullptr;
}

// Arguments become the elements; one integer argument is a length instead. A negative count
// (array literals) always means elements.
void buildArray(ScriptEngine* e, ScriptValue* argv, ScriptValue* result) {
    uint32_t n = argCount(argv);
    ScriptValue array;
    if (argv[0].i == 1 && argv[1].tag == kTagInteger) {
        // A negative length would mean an absurd unsigned length; it gives an empty array.
        newArray(e, &array, argv[1].i < 0 ? 0 : uint64_t(argv[1].i));
    } else {
        newArray(e, &array, n);
        for (uint32_t i = 0; i < n; ++i) setElement(e, array, argv[i + 1], i);
    }
    array.arr->props = newObjectWithProto(e, arrayPrototype(e));
    *result = array;
}

void arrayCall(ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result, ScriptValue* argv) {
    buildArray(e, argv, result);
}

void arrayConstruct(ScriptEngine* e, ClassDescriptor*, ScriptValue* argv, ScriptValue* result) {
    buildArray(e, argv, result);
}

int arrayLengthWrite(ScriptEngine* e, const ScriptValue& self, const ScriptValue& value) {
    uint64_t length;
    if (value.tag == kTagInteger) {
        if (value.i < 0) return 1;  // negative lengths are ignored like negative numbers
        length = uint64_t(value.i);
    } else if (value.tag == kTagNumber && value.d >= 0.0 && std::isfinite(value.d)) {
        double t = std::trunc(value.d);
        length = t >= 18446744073709551615.0 ? UINT64_MAX : uint64_t(t);
    } else {
        return 1;
    }
    truncateArray(e, self, length);
    return 1;
}

// `length`: read on an array gives its length, on the class 1; writes set the length.
int arrayPropertyHook(ScriptEngine* e, ClassDescriptor* cls, void* data, uint32_t atom, int mode,
                      ScriptValue* value) {
    if (memberIndex(cls, atom) != kLength) {
        if (mode == 0) *value = makeUndefined();
        return 0;
    }
    const auto* self = static_cast<const ScriptValue*>(data);
    if (mode == 0) {
        *value = makeInteger(self ? int64_t(self->arr->length) : 1);
        return 1;
    }
    return self ? arrayLengthWrite(e, *self, *value) : 1;
}

ScriptValue concat(ScriptEngine* e, const ScriptValue& self, ScriptValue* argv) {
    ScriptValue result;
    newArray(e, &result, 0);
    RootedValues keep(e, &result, 1);
    copyElements(e, result, self, 0);
    uint64_t length = self.arr->length;
    for (uint32_t i = 1; i <= argCount(argv); ++i) {
        const ScriptValue& item = argv[i];
        if (item.tag == kTagArray) {
            if (item.arr->length > UINT64_MAX - length) break;
            copyElements(e, result, item, length);
            length += item.arr->length;
        } else {
            if (length == UINT64_MAX) break;
            setElement(e, result, item, length);
            ++length;
        }
    }
    result.arr->length = length;
    return result;
}

ScriptValue elementOrUndefined(ScriptEngine* e, const ScriptValue& array, uint64_t index) {
    ScriptValue* v = getElement(e, array, index);
    return v ? *v : makeUndefined();
}

ScriptValue pop(ScriptEngine* e, const ScriptValue& self) {
    ArrayRecord* a = self.arr;
    if (a->length == 0) return makeUndefined();
    ScriptValue last = elementOrUndefined(e, self, a->length - 1);
    removeElement(e, self, a->length - 1);
    a->length--;
    return last;
}

ScriptValue push(ScriptEngine* e, const ScriptValue& self, ScriptValue* argv) {
    ArrayRecord* a = self.arr;
    for (uint32_t i = 1; i <= argCount(argv); ++i) {
        if (a->length >= kPushLimit) break;
        setElement(e, self, argv[i], a->length);
        a->length++;
    }
    return makeInteger(int64_t(a->length));
}

void reverse(ScriptEngine* e, const ScriptValue& self) {
    ArrayRecord* a = self.arr;
    if (a->length < 2) return;
    std::vector<std::pair<uint64_t, ScriptValue>> items;
    forEachElement(e, a,
                   [&](uint64_t index, const ScriptValue& v) { items.emplace_back(index, v); });
    uint64_t length = a->length;
    truncateArray(e, self, 0);
    a->length = length;
    for (auto& [index, v] : items) {
        if (index < length) setElement(e, self, v, length - 1 - index);
    }
}

ScriptValue shift(ScriptEngine* e, const ScriptValue& self) {
    ArrayRecord* a = self.arr;
    if (a->length == 0) return makeUndefined();
    ScriptValue first = elementOrUndefined(e, self, 0);
    removeElement(e, self, 0);
    shiftIndices(e, self, -1);
    return first;
}

ScriptValue slice(ScriptEngine* e, const ScriptValue& self, ScriptValue* argv) {
    int64_t length = int64_t(std::min<uint64_t>(self.arr->length, INT64_MAX));
    int64_t start = 0, end = length;
    intArg(argv, 1, &start);
    intArg(argv, 2, &end);
    if (start < 0) start = std::max<int64_t>(start + length, 0);
    if (end < 0) {
        end += length;
        if (end < 0) end = start;
    }
    if (end < start) std::swap(start, end);
    ScriptValue result;
    newArray(e, &result, uint64_t(end - start));
    forEachElement(e, self.arr, [&](uint64_t index, const ScriptValue& v) {
        if (int64_t(index) >= start && int64_t(index) < end) {
            setElement(e, result, v, index - uint64_t(start));
        }
    });
    return result;
}

ScriptValue splice(ScriptEngine* e, const ScriptValue& self, ScriptValue* argv) {
    ArrayRecord* a = self.arr;
    int64_t length = int64_t(std::min<uint64_t>(a->length, INT64_MAX));
    int64_t start = 0;
    intArg(argv, 1, &start);
    if (start < 0) start = std::max<int64_t>(start + length, 0);
    int64_t count;
    if (!intArg(argv, 2, &count)) count = start < length ? length - start : 0;
    if (count < 0) count = 0;
    uint32_t argc = argCount(argv);
    int64_t inserted = argc > 2 ? int64_t(argc) - 2 : 0;
    ScriptValue removed;
    int64_t newLength;
    if (start < length) {
        count = std::min(count, length - start);
        newLength = length - count + inserted;
    } else {
        count = 0;
        length = start;
        newLength = start + inserted;
    }
    newArray(e, &removed, uint64_t(count));
    RootedValues keep(e, &removed, 1);
    // Elements at or after start: removed ones go to the result, later ones move.
    std::vector<std::pair<uint64_t, ScriptValue>> tail;
    forEachElement(e, a, [&](uint64_t index, const ScriptValue& v) {
        if (int64_t(index) >= start) tail.emplace_back(index, v);
    });
    truncateArray(e, self, uint64_t(start));
    for (auto& [index, v] : tail) {
        int64_t offset = int64_t(index) - start;
        if (offset < count) {
            setElement(e, removed, v, uint64_t(offset));
        } else {
            setElement(e, self, v, uint64_t(int64_t(index) - count + inserted));
        }
    }
    for (int64_t i = 0; i < inserted; ++i) setElement(e, self, argv[3 + i], uint64_t(start + i));
    a->length = uint64_t(newLength);
    return removed;
}

ScriptValue unshift(ScriptEngine* e, const ScriptValue& self, ScriptValue* argv) {
    uint32_t n = argCount(argv);
    if (n > 0) {
        shiftIndices(e, self, n);
        // The last argument lands at index 0, the first at n - 1.
        for (uint32_t i = 0; i < n; ++i) setElement(e, self, argv[n - i], i);
    }
    return makeInteger(int64_t(self.arr->length));
}

int arrayMethod(ScriptEngine* e, ClassDescriptor* cls, void* data, uint32_t atom,
                ScriptValue* result, ScriptValue* argv) {
    *result = makeUndefined();
    const auto* selfPtr = static_cast<const ScriptValue*>(data);
    if (!selfPtr) {
        if (atom != e->atomToString) return 0;
        *result = newStringFromAscii(e, "[object Array]");
        return 1;
    }
    ScriptValue self = *selfPtr;
    RootedValues keepSelf(e, &self, 1);
    if (atom == e->atomToString) {
        *result = joinArray(e, self, nullptr);
        return 1;
    }
    switch (memberIndex(cls, atom)) {
        case kConcat:
            *result = concat(e, self, argv);
            return 1;
        case kJoin: {
            if (!hasArg(argv, 1)) {
                *result = joinArray(e, self, nullptr);
                return 1;
            }
            ScriptValue separator = toString(e, argv[1]);
            RootedValues keep(e, &separator, 1);
            *result = joinArray(e, self, &separator);
            return 1;
        }
        case kPop:
            *result = pop(e, self);
            return 1;
        case kPush:
            *result = push(e, self, argv);
            return 1;
        case kReverse:
            reverse(e, self);
            return 1;
        case kShift:
            *result = shift(e, self);
            return 1;
        case kSlice:
            *result = slice(e, self, argv);
            return 1;
        case kSplice:
            *result = splice(e, self, argv);
            return 1;
        case kSort:
            sortArray(e, self, arg(argv, 1));
            return 1;
        case kUnshift:
            *result = unshift(e, self, argv);
            return 1;
        default:
            return 0;
    }
}

}  // namespace

ScriptValue joinArray(ScriptEngine* e, const ScriptValue& self, const ScriptValue* separator) {
    ArrayRecord* a = self.arr;
    if (a->length == 0) return staticString(e, kStrEmpty);
    // An array reached again while it is being joined contributes nothing (a cycle).
    auto& active = e->joinsInProgress;
    if (std::find(active.begin(), active.end(), a) != active.end()) {
        return staticString(e, kStrEmpty);
    }
    NativeDepthGuard depth(e);
    active.push_back(a);
    struct Pop {
        std::vector<const void*>& v;
        ~Pop() { v.pop_back(); }
    } popOnExit{active};

    std::u16string sep = separator ? std::u16string(stringView(*separator)) : u",";
    // The common case, every element a string and no holes: one pass to measure, one to copy
    // straight into the result. Nothing here runs a script or collects.
    if (!a->sparse && a->denseLength == a->length) {
        uint64_t total = sep.size() * (a->length - 1);
        bool allStrings = true;
        for (uint32_t i = 0; i < a->denseLength && allStrings; ++i) {
            if (a->dense[i].tag == kTagString) {
                total += a->dense[i].str->length;
            } else {
                allStrings = false;
            }
        }
        if (allStrings) {
            if (total > 0x7FFFFFFFu) raiseError(e, "Out of memory");
            StringRecord* record = allocString(e, static_cast<size_t>(total));
            char16_t* out = record->chars;
            for (uint32_t i = 0; i < a->denseLength; ++i) {
                if (i && !sep.empty()) {
                    std::memcpy(out, sep.data(), sep.size() * sizeof(char16_t));
                    out += sep.size();
                }
                const StringRecord* piece = a->dense[i].str;
                if (piece->length) {
                    std::memcpy(out, piece->chars, piece->length * sizeof(char16_t));
                    out += piece->length;
                }
            }
            return makeString(record);
        }
    }
    std::u16string text;
    const uint64_t length = a->length;
    uint64_t next = 0;  // the index whose separator has not been written yet
    auto separators = [&](uint64_t upTo) {
        // One separator follows every element but the last, holes included.
        uint64_t n = upTo - next;
        if (n && !sep.empty()) {
            if (n > (uint64_t(0x7FFFFFFF) - text.size()) / sep.size()) {
                raiseError(e, "Out of memory");
            }
            for (uint64_t i = 0; i < n; ++i) text += sep;
        }
        next = upTo;
    };
    std::vector<uint64_t> indices;
    forEachElement(e, a, [&](uint64_t index, const ScriptValue&) {
        if (index < length) indices.push_back(index);
    });
    for (uint64_t index : indices) {
        separators(index);
        // Conversions may run scripts that change the array: read the element afresh.
        ScriptValue* element = getElement(e, self, index);
        if (!element) continue;
        ScriptValue piece = toString(e, *element);
        size_t units = text.size() + piece.str->length;
        // The text grows outside the collected heap; a heap limit still holds it in check.
        if (units > 0x7FFFFFFFu || (e->maxHeapBytes && units * 2 > e->maxHeapBytes)) {
            raiseError(e, "Out of memory");
        }
        text.append(stringView(piece));
    }
    separators(length - 1);
    return newString(e, text);
}

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kArrayReference[] = {
    bind::describedClassMethod("toString", "",
                               "The elements' texts joined with commas (holes and cycles give "
                               "empty texts); \"[object Array]\" on the class."),
    bind::describedMethod("concat", "value, ...",
                          "A new array: this array's elements, then each argument's elements when "
                          "it is an array, or the argument itself."),
    bind::describedMethod("join", "[separator]",
                          "The elements' texts joined with separator (default \",\"); holes and "
                          "an array met again inside itself give empty texts."),
    bind::describedMethod("pop", "",
                          "Removes and gives the last element; undefined when the array is empty."),
    bind::describedMethod("push", "value, ...", "Appends the values and gives the new length."),
    bind::describedMethod("reverse", "", "Reverses the elements in place; gives undefined."),
    bind::describedMethod("shift", "",
                          "Removes and gives the first element, moving the others down; undefined "
                          "when the array is empty."),
    bind::describedMethod("slice", "[start [, end]]",
                          "A new array of the elements from start up to end (negative: from the "
                          "end); start and end are swapped when end comes first."),
    bind::describedMethod("splice", "start [, count [, item, ...]]",
                          "Removes count elements at start (default: to the end), inserts the "
                          "items there, and gives the removed elements as an array."),
    bind::describedMethod(
        "sort", "[compare]",
        "Sorts in place by the elements' texts, or by compare(a, b) giving a negative, zero or "
        "positive number; undefined elements go last. Gives undefined."),
    bind::describedMethod("unshift", "value, ...",
                          "Inserts the values at the front, the last argument first (unshift(1, 2) "
                          "gives [2, 1, ...]), and gives the new length."),
    bind::describedProperty("length",
                            "The number of elements (one more than the highest index); assigning a "
                            "smaller length drops the elements beyond it. 1 on the class.",
                            bind::Access::kWritable),
};

void registerArray(ScriptEngine* engine) {
    ClassDescriptor* cls =
        registerClassWithNames(engine, "Array", ClassId::kArray,
                               {"concat", "join", "pop", "push", "reverse", "shift", "slice",
                                "splice", "sort", "unshift", "length"});
    cls->synopsis = "[length] | [item, ...]";
    cls->summary =
        "Arrays of any values, sparse, with a 64-bit length, as in ECMAScript 3 (one integer "
        "argument gives an empty array of that length; calling Array constructs too).";
    cls->call = arrayCall;
    cls->construct = arrayConstruct;
    cls->method = arrayMethod;
    cls->property = arrayPropertyHook;
    engine->typeTable[kTagArray] = cls;
}

bind::MemberTable arrayReference() {
    return kArrayReference;
}

}  // namespace quill
