// The generic hooks behind every declared class: member lookup by atom through an open-addressed
// table built at registration, dispatch to the rows' thunks with C++ exceptions turned into
// script errors, the handler marking, and the argument conversions that live out of line.
#include "runtime/class_binding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "runtime/array.h"

namespace quill::bind {

namespace {

constexpr uint32_t kNoAtom = 0xFFFFFFFFu;

struct TableSlot {
    uint32_t atom = kNoAtom;
    const Member* member = nullptr;
};

// The class data of a declared class.
struct BoundClass {
    void* (*resolve)(void*) = nullptr;
    void (*mark)(ScriptEngine*, void*) = nullptr;
    void (*destroy)(void*) = nullptr;
    uint32_t mask = 0;
    std::vector<TableSlot> table;
    std::vector<const Member*> handlers;
    std::vector<GlobalConstant> globals;
    std::vector<MemberTable> tables;

    static uint32_t hash(uint32_t atom) { return atom * 0x9E3779B1u; }

    const Member* find(uint32_t atom) const {
        for (uint32_t i = hash(atom) & mask;; i = (i + 1) & mask) {
            const TableSlot& slot = table[i];
            if (slot.atom == atom) return slot.member;
            if (slot.atom == kNoAtom) return nullptr;
        }
    }

    // A later row of the same name replaces the earlier one.
    void insert(uint32_t atom, const Member* member) {
        for (uint32_t i = hash(atom) & mask;; i = (i + 1) & mask) {
            TableSlot& slot = table[i];
            if (slot.atom == atom || slot.atom == kNoAtom) {
                slot = {atom, member};
                return;
            }
        }
    }
};

void deleteBoundClass(void* data) {
    delete static_cast<BoundClass*>(data);
}

BoundClass* boundClassOf(ClassDescriptor* cls) {
    return static_cast<BoundClass*>(cls->classData);
}

int boundMethod(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                ScriptValue* result, ScriptValue* argv) {
    BoundClass* bound = boundClassOf(cls);
    const Member* member = bound ? bound->find(atom) : nullptr;
    if (!member || member->kind != MemberKind::kMethod) return 0;
    detail::Call call{engine, argv, data, bound->resolve};
    if (!member->classLevel && !call.self()) return 0;
    if (!member->invoke) {
        *result = newStringFromAscii(engine, member->text);
        return 1;
    }
    guarded(engine, [&] { member->invoke(call, result, member->empty); });
    return 1;
}

void readConstant(ScriptEngine* engine, const Member& member, ScriptValue* out) {
    if (member.text) {
        *out = newStringFromAscii(engine, member.text);
    } else if (member.isNumber) {
        *out = makeNumber(member.number);
    } else {
        *out = makeInteger(member.integer);
    }
}

int boundProperty(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom, int mode,
                  ScriptValue* value) {
    BoundClass* bound = boundClassOf(cls);
    const Member* member = bound ? bound->find(atom) : nullptr;
    if (!member || member->kind == MemberKind::kMethod) return 0;
    detail::Call call{engine, nullptr, data, bound->resolve};
    if (!member->classLevel && !call.self()) return 0;
    if (mode == 0) {
        *value = makeUndefined();
        if (member->kind == MemberKind::kConstant) {
            readConstant(engine, *member, value);
        } else {
            ScriptValue none[1] = {makeInteger(0)};
            call.argv = none;
            guarded(engine, [&] { member->get(call, value); });
        }
        return 1;
    }
    if (member->set) {
        // The assigned value stays reachable while a conversion may run scripts.
        ScriptValue args[2] = {makeInteger(1), *value};
        RootedValues rooted(engine, args, 2);
        call.argv = args;
        ScriptValue scratch = makeUndefined();
        guarded(engine, [&] { member->set(call, &scratch); });
    }
    return 1;  // read-only members ignore assignments
}

void boundMark(ScriptEngine* engine, ClassDescriptor* cls, void* data) {
    BoundClass* bound = boundClassOf(cls);
    if (!bound) return;
    if (!bound->handlers.empty()) {
        void* self = bound->resolve ? bound->resolve(data) : data;
        if (self) {
            for (const Member* member : bound->handlers) member->mark(engine, self);
        }
    }
    if (bound->mark) bound->mark(engine, data);
}

void boundFinalize(ScriptEngine*, ClassDescriptor* cls, void* data) {
    BoundClass* bound = boundClassOf(cls);
    if (bound && bound->destroy) bound->destroy(data);
}

}  // namespace

ClassDescriptor* defineClass(ScriptEngine* engine, const ClassSpec& spec) {
    ClassDescriptor* cls = registerClass(engine, spec.name, spec.id);
    auto* bound = new BoundClass();
    cls->classData = bound;
    cls->classDataDestructor = deleteBoundClass;
    bound->resolve = spec.resolve;
    bound->mark = spec.mark;
    bound->destroy = spec.destroy;
    bound->globals.assign(spec.globals.begin(), spec.globals.end());
    bound->tables.assign(spec.members.begin(), spec.members.end());
    cls->synopsis = spec.synopsis;
    cls->summary = spec.summary;
    size_t rows = 0;
    for (MemberTable table : spec.members) rows += table.size();
    uint32_t capacity = 8;
    while (capacity < rows * 2) capacity *= 2;
    bound->table.resize(capacity);
    bound->mask = capacity - 1;
    for (MemberTable table : spec.members) {
        for (const Member& member : table) {
            bound->insert(intern(engine, member.name), &member);
        }
    }
    // Handlers are marked once each, also when a later table replaced a row of the same name.
    for (const TableSlot& slot : bound->table) {
        if (slot.member && slot.member->kind == MemberKind::kHandler) {
            bound->handlers.push_back(slot.member);
        }
    }
    cls->call = spec.call;
    cls->construct = spec.construct;
    cls->method = boundMethod;
    cls->property = boundProperty;
    cls->markInstance = boundMark;
    cls->finalizeInstance = boundFinalize;
    if (spec.alias) registerClassAlias(engine, spec.alias, cls);
    for (const GlobalConstant& constant : spec.globals) {
        setGlobal(engine, constant.name, makeInteger(constant.value));
    }
    return cls;
}

ScriptValue newInstanceData(ScriptEngine* engine, ClassId id, void* object) {
    ClassDescriptor* cls = classById(engine, id);
    if (!cls || !object) return makeUndefined();
    ScriptValue out;
    newHostValue(engine, &out, cls, object);
    return out;
}

void* resolvedData(const ScriptValue& value) {
    if (value.tag != kTagHost || !value.host->data) return nullptr;
    ClassDescriptor* cls = value.host->cls;
    if (cls->method != boundMethod) return value.host->data;
    BoundClass* bound = boundClassOf(cls);
    return bound && bound->resolve ? bound->resolve(value.host->data) : value.host->data;
}

std::vector<const Member*> classMembers(const ClassDescriptor* cls) {
    std::vector<const Member*> rows;
    if (!cls || cls->method != boundMethod) return rows;
    const BoundClass* bound = static_cast<const BoundClass*>(cls->classData);
    for (MemberTable table : bound->tables) {
        for (const Member& member : table) {
            auto same = [&](const Member* row) { return std::strcmp(row->name, member.name) == 0; };
            auto earlier = std::find_if(rows.begin(), rows.end(), same);
            if (earlier == rows.end()) {
                rows.push_back(&member);
            } else {
                *earlier = &member;
            }
        }
    }
    return rows;
}

std::vector<GlobalConstant> classGlobals(const ClassDescriptor* cls) {
    if (!cls || cls->method != boundMethod) return {};
    return static_cast<const BoundClass*>(cls->classData)->globals;
}

ScriptValue emptyValue(ScriptEngine* engine, Empty empty) {
    switch (empty) {
        case Empty::kNull:
            return makeNull();
        case Empty::kFalse:
            return makeBoolean(false);
        case Empty::kZero:
            return makeInteger(0);
        case Empty::kMinusOne:
            return makeInteger(-1);
        case Empty::kEmptyString:
            return staticString(engine, kStrEmpty);
        case Empty::kEmptyArray: {
            ScriptValue array;
            newArray(engine, &array, 0);
            return array;
        }
        case Empty::kUndefined:
            break;
    }
    return makeUndefined();
}

void raiseFromException(ScriptEngine* engine, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        raiseError(engine, "Out of memory");
    } catch (const std::exception& e) {
        raiseError(engine, "%s", e.what());
    } catch (...) {
        raiseError(engine, "unexpected failure in a host object");
    }
}

// ---------------------------------------------------------------------------------------------
// Conversions of the parameter kinds.

bool Param<double>::load(const detail::Call& c, uint32_t i, Storage& out) {
    ScriptValue n = toNumber(c.engine, Args(c.argv)[i]);
    out = n.tag == kTagInteger ? double(n.i) : n.tag == kTagNumber ? n.d : std::nan("");
    return true;
}

bool Param<bool>::load(const detail::Call& c, uint32_t i, Storage& out) {
    out = toBoolean(c.engine, Args(c.argv)[i]) != 0;
    return true;
}

bool Param<std::u16string>::load(const detail::Call& c, uint32_t i, Storage& out) {
    if (!Args(c.argv).has(i) || c.argv[i].tag != kTagString) return false;
    out.assign(stringView(c.argv[i]));
    return true;
}

bool Param<std::string>::load(const detail::Call& c, uint32_t i, Storage& out) {
    if (!Args(c.argv).has(i) || c.argv[i].tag != kTagString) return false;
    out = toAnsiString(stringView(c.argv[i]));
    return true;
}

bool Param<AsString>::load(const detail::Call& c, uint32_t i, Storage& out) {
    ScriptValue text = toString(c.engine, Args(c.argv)[i]);
    if (text.tag != kTagString) return false;
    out.text.assign(stringView(text));
    return true;
}

bool Param<Path>::load(const detail::Call& c, uint32_t i, Storage& out) {
    if (!Args(c.argv).has(i) || c.argv[i].tag != kTagString) return false;
    std::u16string_view text = stringView(c.argv[i]);
    if (text.empty() || text.find(u'\0') != std::u16string_view::npos) return false;
    out.wide.assign(text);
    return true;
}

}  // namespace quill::bind
