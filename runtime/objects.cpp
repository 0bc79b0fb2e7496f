// Script objects: property slots in insertion order, lookup along the __proto__ chain, the lazily
// built by-name index, positional (integer key) and by-name (string key) access, and the
// enumeration order.
#include <cstring>

#include "runtime/engine_internal.h"

namespace quill {

namespace {

// Objects addressed positionally far past their end would otherwise ask for gigabytes of slots.
constexpr uint32_t kMaxSlots = 1u << 24;

void growSlots(ScriptEngine* engine, ScriptObject* object, uint32_t needed) {
    if (needed <= object->capacity) return;
    if (needed > kMaxSlots) raiseError(engine, "Out of memory");
    uint32_t capacity = object->capacity < 4 ? 8 : object->capacity * 2;
    while (capacity < needed) capacity *= 2;
    size_t bytes = size_t(capacity) * sizeof(PropertyEntry);
    if (object->slotsInline()) {
        auto* slots = static_cast<PropertyEntry*>(gcAlloc(engine, bytes));
        std::memcpy(slots, object->inlineSlots, object->count * sizeof(PropertyEntry));
        object->slots = slots;
    } else {
        object->slots = static_cast<PropertyEntry*>(gcRealloc(engine, object->slots, bytes));
    }
    object->capacity = capacity;
}

bool isNamed(uint32_t atom) { return atom != kFreeSlot && atom != kUnnamedSlot; }

// --- name index ---

void indexAdd(ScriptEngine* engine, ScriptObject* object, uint32_t position) {
    NameIndex* index = object->index;
    if (position >= index->capacity) {
        uint32_t capacity = index->capacity;
        while (capacity <= position) capacity *= 2;
        size_t bytes = offsetof(NameIndex, next) + size_t(capacity) * sizeof(int32_t);
        index = static_cast<NameIndex*>(gcRealloc(engine, index, bytes));
        index->capacity = capacity;
        object->index = index;
    }
    uint32_t bucket = atomHash(engine, object->slots[position].atom()) & 127;
    index->next[position] = index->heads[bucket];
    index->heads[bucket] = static_cast<int32_t>(position);
    index->counts[bucket]++;
}

void indexRemove(ScriptEngine* engine, ScriptObject* object, uint32_t position) {
    NameIndex* index = object->index;
    uint32_t bucket = atomHash(engine, object->slots[position].atom()) & 127;
    int32_t* link = &index->heads[bucket];
    while (*link >= 0) {
        if (*link == static_cast<int32_t>(position)) {
            *link = index->next[position];
            index->counts[bucket]--;
            return;
        }
        link = &index->next[*link];
    }
}

void ensureIndex(ScriptEngine* engine, ScriptObject* object) {
    if (object->index) return;
    uint32_t capacity = object->count < 8 ? 8 : object->count;
    size_t bytes = offsetof(NameIndex, next) + size_t(capacity) * sizeof(int32_t);
    auto* index = static_cast<NameIndex*>(gcAlloc(engine, bytes));
    for (int32_t& head : index->heads) head = -1;
    std::memset(index->counts, 0, sizeof index->counts);
    index->capacity = capacity;
    object->index = index;
    for (uint32_t i = 0; i < object->count; ++i) {
        if (isNamed(object->slots[i].atom())) indexAdd(engine, object, i);
    }
}

// The slot of a key given as text, through the index: own properties only.
int64_t findByName(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key) {
    char* name = toAnsi(engine, key);
    size_t length = std::strlen(name);
    int64_t atom = findAtom(engine, name, length);
    plainFree(name);
    if (atom < 0) return -1;
    ensureIndex(engine, object);
    uint32_t bucket = atomHash(engine, static_cast<uint32_t>(atom)) & 127;
    for (int32_t pos = object->index->heads[bucket]; pos >= 0; pos = object->index->next[pos]) {
        if (object->slots[pos].atom() == static_cast<uint32_t>(atom)) return pos;
    }
    return -1;
}

// Integer keys address slots when they fit in 32 unsigned bits.
bool positionalKey(const ScriptValue& key, uint32_t* position) {
    if (key.tag != kTagInteger || key.i < 0 || key.i > int64_t(0xFFFFFFFFu)) return false;
    *position = static_cast<uint32_t>(key.i);
    return true;
}

void appendSlot(ScriptEngine* engine, ScriptObject* object, uint32_t atom,
                const ScriptValue& value) {
    growSlots(engine, object, object->count + 1);
    object->slots[object->count].set(atom, value);
    object->count++;
    if (object->index && isNamed(atom)) indexAdd(engine, object, object->count - 1);
}

}  // namespace

ScriptObject* newObject(ScriptEngine* engine) {
    auto* object = static_cast<ScriptObject*>(gcAlloc(engine, sizeof(ScriptObject)));
    object->slots = object->inlineSlots;
    object->count = 0;
    object->capacity = kInlineSlots;
    object->index = nullptr;
    return object;
}

ScriptObject* newObjectWithProto(ScriptEngine* engine, ScriptObject* proto) {
    ScriptObject* object = newObject(engine);
    appendSlot(engine, object, engine->atomProto, proto ? makeObject(proto) : makeNull());
    return object;
}

int64_t findOwnSlot(const ScriptObject* object, uint32_t atom) {
    for (uint32_t i = 0; i < object->count; ++i) {
        if (object->slots[i].atom() == atom) return i;
    }
    return -1;
}

ScriptObject* objectPrototype(const ScriptEngine* engine, const ScriptObject* object) {
    ScriptObject* proto = nullptr;
    for (uint32_t i = 0; i < object->count; ++i) {
        const PropertyEntry& e = object->slots[i];
        if (e.atom() == engine->atomProto && e.value.tag == kTagObject) proto = e.value.obj;
    }
    return proto;
}

int lookup(ScriptEngine* engine, ScriptObject* object, uint32_t atom, ScriptValue* result) {
    const uint32_t protoAtom = engine->atomProto;
    ScriptObject* current = object;
    // A __proto__ chain may be made cyclic by a script; past a few hops the chain is checked
    // with a second cursor moving at half speed, and a cycle answers "not found".
    ScriptObject* slow = object;
    uint32_t hops = 0;
    while (current) {
        ScriptObject* proto = nullptr;
        const PropertyEntry* slots = current->slots;
        for (uint32_t i = 0, n = current->count; i < n; ++i) {
            if (slots[i].atom() == atom) {
                *result = slots[i].value;
                return 1;
            }
            if (slots[i].atom() == protoAtom && slots[i].value.tag == kTagObject) {
                proto = slots[i].value.obj;
            }
        }
        current = proto;
        if (++hops > 32) {
            if (hops & 1) slow = objectPrototype(engine, slow);
            if (current && current == slow) break;
        }
    }
    *result = makeUndefined();
    return 0;
}

void setByAtom(ScriptEngine* engine, ScriptObject* object, uint32_t atom, const ScriptValue& v) {
    int64_t lastFree = -1;
    for (uint32_t i = 0; i < object->count; ++i) {
        PropertyEntry& e = object->slots[i];
        if (e.atom() == atom) {
            e.setValue(v);
            return;
        }
        if (e.atom() == kFreeSlot) lastFree = i;
    }
    if (lastFree >= 0) {
        object->slots[lastFree].set(atom, v);
        if (object->index) indexAdd(engine, object, static_cast<uint32_t>(lastFree));
        return;
    }
    appendSlot(engine, object, atom, v);
}

void deleteByAtom(ScriptEngine* engine, ScriptObject* object, uint32_t atom) {
    int64_t pos = findOwnSlot(object, atom);
    if (pos < 0) return;
    if (object->index) indexRemove(engine, object, static_cast<uint32_t>(pos));
    object->slots[pos].set(kFreeSlot, makeUndefined());
}

int getByKey(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key,
             ScriptValue* result) {
    *result = makeUndefined();
    uint32_t position;
    if (positionalKey(key, &position)) {
        if (position >= object->count) return 0;
        if (object->slots[position].atom() != kFreeSlot) *result = object->slots[position].value;
        return 1;
    }
    if (key.tag == kTagString) {
        int64_t pos = findByName(engine, object, key);
        if (pos < 0) return 0;
        *result = object->slots[pos].value;
        return 1;
    }
    return 0;
}

void setByKey(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key,
              const ScriptValue& value) {
    uint32_t position;
    if (positionalKey(key, &position)) {
        if (position < object->count) {
            object->slots[position].setValue(value);
            return;
        }
        growSlots(engine, object, position + 1);
        while (object->count < position) appendSlot(engine, object, kUnnamedSlot, makeUndefined());
        appendSlot(engine, object, kUnnamedSlot, value);
        return;
    }
    if (key.tag == kTagString) {
        int64_t pos = findByName(engine, object, key);
        if (pos >= 0) {
            object->slots[pos].setValue(value);
            return;
        }
        char* name = toAnsi(engine, key);
        uint32_t atom;
        try {
            atom = intern(engine, name, std::strlen(name));
        } catch (...) {
            plainFree(name);
            throw;
        }
        plainFree(name);
        appendSlot(engine, object, atom, value);
    }
}

void deleteByKey(ScriptEngine* engine, ScriptObject* object, const ScriptValue& key) {
    int64_t pos = -1;
    uint32_t position;
    if (positionalKey(key, &position)) {
        if (position < object->count) pos = position;
    } else if (key.tag == kTagString) {
        pos = findByName(engine, object, key);
    }
    if (pos < 0 || object->slots[pos].atom() == kFreeSlot) return;
    if (object->index && isNamed(object->slots[pos].atom())) {
        indexRemove(engine, object, static_cast<uint32_t>(pos));
    }
    object->slots[pos].set(kFreeSlot, makeUndefined());
}

int propertyAt(ScriptEngine* engine, ScriptObject* object, uint32_t i, ScriptValue* name) {
    ensureIndex(engine, object);
    const NameIndex* index = object->index;
    for (int bucket = 0; bucket < 128; ++bucket) {
        if (i >= index->counts[bucket]) {
            i -= index->counts[bucket];
            continue;
        }
        int32_t pos = index->heads[bucket];
        while (i--) pos = index->next[pos];
        const char* text = atomName(engine, object->slots[pos].atom());
        newStringFromAnsi(engine, name, text, std::strlen(text));
        return 1;
    }
    *name = makeUndefined();
    return 0;
}

}  // namespace quill
