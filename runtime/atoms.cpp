// The atom table (interned identifiers with dense indices), the global slot per atom, the
// engine-wide constant table, and the compiler's keyword hash that lives in the engine.
#include <cstring>

#include "runtime/engine_internal.h"

namespace quill {

constexpr uint32_t kGlobalGrowth = 1024;
constexpr uint32_t kConstantGrowth = 1024;

uint32_t nameHash(const char* name, size_t length) {
    uint32_t h = 0;
    for (size_t i = 0; i < length; ++i) {
        h = (h << 5) ^ (((h >> 9) ^ h) >> 7) ^ static_cast<uint8_t>(name[i]);
    }
    return h;
}

namespace {

AtomEntry* findEntry(const ScriptEngine* engine, const char* name, size_t length, uint32_t hash) {
    for (AtomEntry* e = engine->atomBuckets[hash & 255]; e; e = e->next) {
        if (e->length == length && std::memcmp(e->name, name, length) == 0) return e;
    }
    return nullptr;
}

}  // namespace

int64_t findAtom(const ScriptEngine* engine, const char* name, size_t length) {
    AtomEntry* e = findEntry(engine, name, length, nameHash(name, length));
    return e ? int64_t(e->index) : -1;
}

uint32_t intern(ScriptEngine* engine, const char* name, size_t length) {
    uint32_t hash = nameHash(name, length);
    if (AtomEntry* e = findEntry(engine, name, length, hash)) return e->index;
    if (length > 0xFFFFFF) raiseError(engine, "Out of memory");

    // Make room first so that a failure leaves the table as it was.
    uint32_t index = static_cast<uint32_t>(engine->atomsByIndex.size());
    if (index == 0xFFFFFFF0u) raiseError(engine, "Out of memory");
    if (engine->globalCount == engine->globalCapacity) {
        uint32_t capacity = engine->globalCapacity + kGlobalGrowth;
        engine->globals = static_cast<ScriptValue*>(
            plainRealloc(engine, engine->globals, size_t(capacity) * sizeof(ScriptValue)));
        for (uint32_t i = engine->globalCapacity; i < capacity; ++i) {
            engine->globals[i] = makeUndefined();
        }
        engine->globalCapacity = capacity;
    }
    auto* entry = static_cast<AtomEntry*>(plainAlloc(engine, sizeof(AtomEntry)));
    entry->name = static_cast<char*>(std::malloc(length + 1));
    if (!entry->name) {
        plainFree(entry);
        raiseError(engine, "Out of memory");
    }
    std::memcpy(entry->name, name, length);
    entry->name[length] = '\0';
    entry->length = static_cast<uint32_t>(length);
    entry->hash = hash;
    entry->index = index;
    engine->atomsByIndex.push_back(entry);
    entry->next = engine->atomBuckets[hash & 255];
    engine->atomBuckets[hash & 255] = entry;
    engine->globals[index] = makeUndefined();
    engine->globalCount = index + 1;
    return index;
}

const char* atomName(const ScriptEngine* engine, uint32_t atom) {
    if (atom < engine->atomsByIndex.size()) return engine->atomsByIndex[atom]->name;
    return "???";
}

uint32_t atomHash(const ScriptEngine* engine, uint32_t atom) {
    return atom < engine->atomsByIndex.size() ? engine->atomsByIndex[atom]->hash : 0;
}

void freeAtoms(ScriptEngine* engine) {
    for (AtomEntry* e : engine->atomsByIndex) {
        std::free(e->name);
        std::free(e);
    }
    engine->atomsByIndex.clear();
    std::memset(engine->atomBuckets, 0, sizeof engine->atomBuckets);
}

void setGlobal(ScriptEngine* engine, const char* name, const ScriptValue& value) {
    uint32_t atom = intern(engine, name, std::strlen(name));
    engine->globals[atom] = value;
}

ScriptValue getGlobal(ScriptEngine* engine, const char* name) {
    int64_t atom = findAtom(engine, name, std::strlen(name));
    return atom < 0 ? makeUndefined() : engine->globals[atom];
}

uint32_t appendConstant(ScriptEngine* engine, const ScriptValue& value) {
    if (engine->constantCount == engine->constantCapacity) {
        if (engine->constantCapacity > 0xFFFFFFFFu - kConstantGrowth) {
            raiseError(engine, "Out of memory");
        }
        uint32_t capacity = engine->constantCapacity + kConstantGrowth;
        engine->constants = static_cast<ScriptValue*>(
            plainRealloc(engine, engine->constants, size_t(capacity) * sizeof(ScriptValue)));
        engine->constantCapacity = capacity;
    }
    engine->constants[engine->constantCount] = value;
    return engine->constantCount++;
}

// ---------------------------------------------------------------------------------------------
// Keywords.

namespace {

struct KeywordSpelling {
    const char* spelling;
    uint32_t kind;
};

constexpr KeywordSpelling kKeywords[] = {
    {"break", 133},    {"continue", 134}, {"delete", 135},  {"else", 136},    {"for", 137},
    {"function", 138}, {"if", 139},       {"in", 140},      {"new", 141},     {"return", 142},
    {"this", 143},     {"typeof", 144},   {"var", 145},     {"void", 146},    {"while", 147},
    {"with", 148},     {"case", 149},     {"catch", 150},   {"class", 151},   {"const", 152},
    {"debugger", 153}, {"default", 154},  {"do", 155},      {"enum", 156},    {"export", 157},
    {"extends", 158},  {"finally", 159},  {"import", 160},  {"super", 161},   {"switch", 162},
    {"throw", 163},    {"try", 164},      {"null", 165},    {"true", 166},    {"false", 167},
    {"undefined", 192},
};

constexpr uint32_t kNotKeyword = 128;

}  // namespace

void loadKeywordTable(ScriptEngine* engine) {
    for (const KeywordSpelling& k : kKeywords) {
        size_t length = std::strlen(k.spelling);
        if (keywordLookup(engine, k.spelling, length) != kNotKeyword) continue;
        uint32_t bucket = nameHash(k.spelling, length) & 31;
        auto* entry = static_cast<KeywordEntry*>(plainAlloc(engine, sizeof(KeywordEntry)));
        entry->spelling = plainStrdup(nullptr, k.spelling);
        if (!entry->spelling) {
            plainFree(entry);
            raiseError(engine, "Out of memory");
        }
        entry->kind = k.kind;
        entry->next = engine->keywordBuckets[bucket];
        engine->keywordBuckets[bucket] = entry;
    }
}

uint32_t keywordLookup(const ScriptEngine* engine, const char* spelling, size_t length) {
    uint32_t bucket = nameHash(spelling, length) & 31;
    for (KeywordEntry* e = engine->keywordBuckets[bucket]; e; e = e->next) {
        if (std::strlen(e->spelling) == length && std::memcmp(e->spelling, spelling, length) == 0) {
            return e->kind;
        }
    }
    return kNotKeyword;
}

void freeKeywords(ScriptEngine* engine) {
    for (KeywordEntry*& head : engine->keywordBuckets) {
        while (head) {
            KeywordEntry* next = head->next;
            plainFree(head->spelling);
            plainFree(head);
            head = next;
        }
    }
}

}  // namespace quill
