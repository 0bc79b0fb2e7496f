// Array element storage: a dense vector for indices near the front and an open-addressing hash
// table for the rest, behind the element operations of the interpreter and the Array class.
#include <algorithm>
#include <cstring>

#include "runtime/array.h"
#include "runtime/engine_internal.h"

namespace quill {

// Sparse entries are told apart by the tag of their value: these two never occur in values.
constexpr uint32_t kTagEmptyEntry = 8;
constexpr uint32_t kTagDeletedEntry = kTagHole;

struct SparseEntry {
    uint64_t index;
    ScriptValue value;
};

struct SparseTable {
    uint32_t capacity;  // a power of two
    uint32_t count;     // live entries
    uint32_t used;      // live and deleted entries
    uint32_t pad;
    SparseEntry entries[1];
};

namespace {

// The dense part may grow to cover an index when the gap stays proportionate to what it holds.
constexpr uint32_t kMaxDense = 1u << 30;

inline uint32_t slotFor(uint64_t index, uint32_t capacity) {
    return static_cast<uint32_t>((index * 0x9E3779B97F4A7C15ull) >> 32) & (capacity - 1);
}

SparseTable* newSparse(ScriptEngine* engine, uint32_t capacity) {
    size_t bytes = offsetof(SparseTable, entries) + size_t(capacity) * sizeof(SparseEntry);
    auto* table = static_cast<SparseTable*>(gcAlloc(engine, bytes));
    table->capacity = capacity;
    table->count = 0;
    table->used = 0;
    table->pad = 0;
    for (uint32_t i = 0; i < capacity; ++i) table->entries[i].value.tag = kTagEmptyEntry;
    return table;
}

SparseEntry* sparseSlot(const SparseTable* table, uint64_t index) {
    uint32_t mask = table->capacity - 1;
    for (uint32_t i = slotFor(index, table->capacity);; i = (i + 1) & mask) {
        auto* e = const_cast<SparseEntry*>(&table->entries[i]);
        if (e->value.tag == kTagEmptyEntry) return nullptr;
        if (e->value.tag != kTagDeletedEntry && e->index == index) return e;
    }
}

void sparseInsertFresh(SparseTable* table, uint64_t index, const ScriptValue& value) {
    uint32_t mask = table->capacity - 1;
    uint32_t i = slotFor(index, table->capacity);
    while (table->entries[i].value.tag != kTagEmptyEntry &&
           table->entries[i].value.tag != kTagDeletedEntry) {
        i = (i + 1) & mask;
    }
    if (table->entries[i].value.tag == kTagEmptyEntry) table->used++;
    table->entries[i].index = index;
    table->entries[i].value = value;
    table->count++;
}

// Rebuilds the table with every live entry passed through `map` (which may drop an entry by
// returning false); also used to grow and to clear tombstones.
template <typename Map>
void rebuildSparse(ScriptEngine* engine, ArrayRecord* array, Map&& map) {
    SparseTable* old = array->sparse;
    if (!old) return;
    uint32_t capacity = 8;
    while (capacity < old->count * 2 + 2) capacity *= 2;
    SparseTable* fresh = newSparse(engine, capacity);
    for (uint32_t i = 0; i < old->capacity; ++i) {
        SparseEntry e = old->entries[i];
        if (e.value.tag == kTagEmptyEntry || e.value.tag == kTagDeletedEntry) continue;
        if (map(e.index)) sparseInsertFresh(fresh, e.index, e.value);
    }
    gcFree(engine, old);
    array->sparse = fresh->count ? fresh : nullptr;
    if (!array->sparse) gcFree(engine, fresh);
}

void sparsePut(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const ScriptValue& v) {
    if (!array->sparse) array->sparse = newSparse(engine, 8);
    if (SparseEntry* e = sparseSlot(array->sparse, index)) {
        e->value = v;
        return;
    }
    if ((array->sparse->used + 1) * 4 > array->sparse->capacity * 3) {
        SparseTable* old = array->sparse;
        uint32_t capacity = old->capacity;
        while (capacity < (old->count + 1) * 2) capacity *= 2;
        if (old->count * 2 >= capacity / 2) capacity *= 2;
        SparseTable* fresh = newSparse(engine, capacity);
        for (uint32_t i = 0; i < old->capacity; ++i) {
            const SparseEntry& e = old->entries[i];
            if (e.value.tag != kTagEmptyEntry && e.value.tag != kTagDeletedEntry) {
                sparseInsertFresh(fresh, e.index, e.value);
            }
        }
        gcFree(engine, old);
        array->sparse = fresh;
    }
    sparseInsertFresh(array->sparse, index, v);
}

void sparseErase(ScriptEngine* engine, ArrayRecord* array, uint64_t index) {
    if (!array->sparse) return;
    SparseEntry* e = sparseSlot(array->sparse, index);
    if (!e) return;
    e->value.tag = kTagDeletedEntry;
    if (--array->sparse->count == 0) {
        gcFree(engine, array->sparse);
        array->sparse = nullptr;
    }
}

void reserveDense(ScriptEngine* engine, ArrayRecord* array, uint32_t needed) {
    if (needed <= array->denseCapacity) return;
    uint32_t capacity = array->denseCapacity ? array->denseCapacity : 8;
    while (capacity < needed) capacity = capacity > kMaxDense / 2 ? kMaxDense : capacity * 2;
    array->dense = static_cast<ScriptValue*>(
        gcRealloc(engine, array->dense, size_t(capacity) * sizeof(ScriptValue)));
    array->denseCapacity = capacity;
}

// Extends the dense part to `length` slots, filling with holes and pulling in sparse entries
// that now fall inside it.
void extendDense(ScriptEngine* engine, ArrayRecord* array, uint32_t length) {
    reserveDense(engine, array, length);
    uint32_t from = array->denseLength;
    for (uint32_t i = from; i < length; ++i) array->dense[i].tag = kTagHole;
    array->denseLength = length;
    if (array->sparse) {
        SparseTable* table = array->sparse;
        for (uint32_t i = 0; i < table->capacity; ++i) {
            const SparseEntry& e = table->entries[i];
            if (e.value.tag == kTagEmptyEntry || e.value.tag == kTagDeletedEntry) continue;
            if (e.index < length) array->dense[e.index] = e.value;
        }
        rebuildSparse(engine, array, [length](uint64_t index) { return index >= length; });
    }
}

bool denseMayCover(const ArrayRecord* array, uint64_t index) {
    if (index >= kMaxDense) return false;
    uint64_t slack = array->denseLength < 64 ? 64 : array->denseLength;
    return index < array->denseLength + slack;
}

}  // namespace

void newArray(ScriptEngine* engine, ScriptValue* out, uint64_t length) {
    auto* array = static_cast<ArrayRecord*>(gcAllocZero(engine, sizeof(ArrayRecord)));
    array->length = length;
    *out = makeArray(array);
}

ScriptValue* sparseFind(const ArrayRecord* array, uint64_t index) {
    if (!array->sparse) return nullptr;
    SparseEntry* e = sparseSlot(array->sparse, index);
    return e ? &e->value : nullptr;
}

ScriptValue* getElement(ScriptEngine*, const ScriptValue& value, uint64_t index) {
    ArrayRecord* array = value.arr;
    if (index < array->denseLength) {
        ScriptValue* v = &array->dense[index];
        return v->tag == kTagHole ? nullptr : v;
    }
    return sparseFind(array, index);
}

void setElement(ScriptEngine* engine, const ScriptValue& value, const ScriptValue& element,
                uint64_t index) {
    ArrayRecord* array = value.arr;
    if (index < array->denseLength) {
        array->dense[index] = element;
        return;
    }
    if (index == array->denseLength && index < array->denseCapacity && !array->sparse) {
        // Appending at the end of the dense part: the common way arrays grow.
        array->dense[index] = element;
        array->denseLength++;
        return;
    }
    if (denseMayCover(array, index)) {
        extendDense(engine, array, static_cast<uint32_t>(index + 1));
        array->dense[index] = element;
        return;
    }
    sparsePut(engine, array, index, element);
}

void removeElement(ScriptEngine* engine, const ScriptValue& value, uint64_t index) {
    ArrayRecord* array = value.arr;
    if (index < array->denseLength) {
        array->dense[index].tag = kTagHole;
        return;
    }
    sparseErase(engine, array, index);
}

void removeAt(ScriptEngine* engine, const ScriptValue& value, uint64_t index) {
    ArrayRecord* array = value.arr;
    if (index >= array->length) return;
    if (index < array->denseLength) {
        std::memmove(&array->dense[index], &array->dense[index + 1],
                     size_t(array->denseLength - index - 1) * sizeof(ScriptValue));
        array->denseLength--;
    } else {
        sparseErase(engine, array, index);
    }
    if (array->sparse) {
        // Entries above the removed index move down by one; they stay at or above the dense end.
        SparseTable* old = array->sparse;
        std::vector<SparseEntry> moved;
        moved.reserve(old->count);
        for (uint32_t i = 0; i < old->capacity; ++i) {
            SparseEntry e = old->entries[i];
            if (e.value.tag == kTagEmptyEntry || e.value.tag == kTagDeletedEntry) continue;
            if (e.index > index) e.index--;
            moved.push_back(e);
        }
        gcFree(engine, old);
        array->sparse = nullptr;
        for (const SparseEntry& e : moved) sparsePut(engine, array, e.index, e.value);
    }
    array->length--;
}

void shiftIndices(ScriptEngine* engine, const ScriptValue& value, int64_t n) {
    ArrayRecord* array = value.arr;
    if (n == 0) return;
    std::vector<SparseEntry> entries;
    if (array->sparse) {
        SparseTable* table = array->sparse;
        entries.reserve(table->count);
        for (uint32_t i = 0; i < table->capacity; ++i) {
            const SparseEntry& e = table->entries[i];
            if (e.value.tag != kTagEmptyEntry && e.value.tag != kTagDeletedEntry)
                entries.push_back(e);
        }
        gcFree(engine, table);
        array->sparse = nullptr;
    }
    if (n > 0) {
        uint64_t shift = static_cast<uint64_t>(n);
        if (array->denseLength && shift < kMaxDense &&
            uint64_t(array->denseLength) + shift <= kMaxDense) {
            uint32_t s = static_cast<uint32_t>(shift);
            uint32_t oldLength = array->denseLength;
            reserveDense(engine, array, oldLength + s);
            std::memmove(&array->dense[s], &array->dense[0],
                         size_t(oldLength) * sizeof(ScriptValue));
            for (uint32_t i = 0; i < s; ++i) array->dense[i].tag = kTagHole;
            array->denseLength = oldLength + s;
        } else {
            for (uint32_t i = 0; i < array->denseLength; ++i) {
                if (array->dense[i].tag != kTagHole) entries.push_back({i, array->dense[i]});
            }
            array->denseLength = 0;
            for (SparseEntry& e : entries) e.index += shift;
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [shift](const SparseEntry& e) { return e.index < shift; }),
                          entries.end());
            for (const SparseEntry& e : entries) setElement(engine, value, e.value, e.index);
            array->length += shift;
            return;
        }
        for (const SparseEntry& e : entries) {
            if (e.index + shift >= e.index) sparsePut(engine, array, e.index + shift, e.value);
        }
        array->length += shift;
        return;
    }
    uint64_t shift = static_cast<uint64_t>(-(n + 1)) + 1;
    if (shift >= array->denseLength) {
        array->denseLength = 0;
    } else {
        uint32_t s = static_cast<uint32_t>(shift);
        std::memmove(&array->dense[0], &array->dense[s],
                     size_t(array->denseLength - s) * sizeof(ScriptValue));
        array->denseLength -= s;
    }
    for (const SparseEntry& e : entries) {
        if (e.index >= shift) setElement(engine, value, e.value, e.index - shift);
    }
    array->length = array->length >= shift ? array->length - shift : 0;
}

void copyElements(ScriptEngine* engine, const ScriptValue& to, const ScriptValue& from,
                  uint64_t offset) {
    if (to.arr == from.arr) {
        // Copy through a snapshot so that stores cannot disturb the walk.
        std::vector<std::pair<uint64_t, ScriptValue>> items;
        forEachElement(engine, from.arr,
                       [&](uint64_t index, const ScriptValue& v) { items.emplace_back(index, v); });
        for (auto& [index, v] : items) setElement(engine, to, v, index + offset);
        return;
    }
    const ArrayRecord* source = from.arr;
    for (uint32_t i = 0; i < source->denseLength; ++i) {
        if (source->dense[i].tag != kTagHole) setElement(engine, to, source->dense[i], i + offset);
    }
    if (source->sparse) {
        std::vector<uint64_t> indices;
        sparseSortedIndices(engine, source, &indices);
        for (uint64_t index : indices) {
            setElement(engine, to, *sparseFind(source, index), index + offset);
        }
    }
}

void truncateArray(ScriptEngine* engine, const ScriptValue& value, uint64_t length) {
    ArrayRecord* array = value.arr;
    if (length < array->denseLength) array->denseLength = static_cast<uint32_t>(length);
    if (array->sparse) {
        rebuildSparse(engine, array, [length](uint64_t index) { return index < length; });
    }
    array->length = length;
}

uint64_t presentCount(const ArrayRecord* array) {
    uint64_t n = array->sparse ? array->sparse->count : 0;
    for (uint32_t i = 0; i < array->denseLength; ++i) n += array->dense[i].tag != kTagHole;
    return n;
}

void sparseSortedIndices(ScriptEngine*, const ArrayRecord* array, std::vector<uint64_t>* out) {
    out->clear();
    if (!array->sparse) return;
    const SparseTable* table = array->sparse;
    out->reserve(table->count);
    for (uint32_t i = 0; i < table->capacity; ++i) {
        const SparseEntry& e = table->entries[i];
        if (e.value.tag != kTagEmptyEntry && e.value.tag != kTagDeletedEntry)
            out->push_back(e.index);
    }
    std::sort(out->begin(), out->end());
}

void markArrayContents(ScriptEngine* engine, ArrayRecord* array) {
    if (array->dense) {
        mark(array->dense);
        for (uint32_t i = 0; i < array->denseLength; ++i) markValue(engine, array->dense[i]);
    }
    if (array->sparse) {
        mark(array->sparse);
        const SparseTable* table = array->sparse;
        for (uint32_t i = 0; i < table->capacity; ++i) {
            const SparseEntry& e = table->entries[i];
            if (e.value.tag != kTagEmptyEntry && e.value.tag != kTagDeletedEntry) {
                markValue(engine, e.value);
            }
        }
    }
    if (array->props) markObject(engine, array->props);
}

}  // namespace quill
