// The array record behind tag 6 values and the element operations the interpreter and the
// Array class use. Elements live in a dense vector for the common case and in a hash table for
// indices far beyond it, so sparse arrays with huge lengths cost only what they hold.
#pragma once

#include <cstdint>

#include "runtime/script_engine.h"

namespace quill {

// Marks an absent element inside the dense vector; never leaves the array code.
constexpr uint32_t kTagHole = 9;

struct SparseTable;

struct ArrayRecord {
    uint64_t length;
    ScriptValue* dense;  // elements [0, denseLength); holes carry kTagHole
    uint32_t denseLength;
    uint32_t denseCapacity;
    SparseTable* sparse;  // elements at indices >= denseLength, or null
    ScriptObject* props;  // own properties, or null
};

// An empty array of the given length, without a props object.
void newArray(ScriptEngine* engine, ScriptValue* out, uint64_t length);
// The element at an index, or null for a hole or an index past the elements.
ScriptValue* getElement(ScriptEngine* engine, const ScriptValue& array, uint64_t index);
// Stores an element; the length is not touched.
void setElement(ScriptEngine* engine, const ScriptValue& array, const ScriptValue& value,
                uint64_t index);
// Drops the element at an index, leaving a hole.
void removeElement(ScriptEngine* engine, const ScriptValue& array, uint64_t index);
// Below the length: drops the element, moves every later element down by one and shortens the
// length by one.
void removeAt(ScriptEngine* engine, const ScriptValue& array, uint64_t index);
// Adds n (possibly negative) to every element's index and to the length; elements that would
// land below 0 are dropped.
void shiftIndices(ScriptEngine* engine, const ScriptValue& array, int64_t n);
// Stores every element of `from` into `to` at its index + offset.
void copyElements(ScriptEngine* engine, const ScriptValue& to, const ScriptValue& from,
                  uint64_t offset);
// Drops every element at or above `length` and sets the length.
void truncateArray(ScriptEngine* engine, const ScriptValue& array, uint64_t length);
// Number of present elements.
uint64_t presentCount(const ArrayRecord* array);
// Calls visit(index, value) for every present element in ascending index order; `visit` must not
// change the array.
template <typename Visit>
void forEachElement(ScriptEngine* engine, const ArrayRecord* array, Visit&& visit);

// Used by the collector.
void markArrayContents(ScriptEngine* engine, ArrayRecord* array);

// Internal: ascending enumeration of the sparse part.
void sparseSortedIndices(ScriptEngine* engine, const ArrayRecord* array,
                         std::vector<uint64_t>* out);
ScriptValue* sparseFind(const ArrayRecord* array, uint64_t index);

template <typename Visit>
void forEachElement(ScriptEngine* engine, const ArrayRecord* array, Visit&& visit) {
    for (uint32_t i = 0; i < array->denseLength; ++i) {
        if (array->dense[i].tag != kTagHole) visit(uint64_t(i), array->dense[i]);
    }
    if (array->sparse) {
        std::vector<uint64_t> indices;
        sparseSortedIndices(engine, array, &indices);
        for (uint64_t index : indices) visit(index, *sparseFind(array, index));
    }
}

}  // namespace quill
