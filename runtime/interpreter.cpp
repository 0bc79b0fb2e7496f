// The bytecode interpreter: one dispatch loop over the word form of compiled functions, with
// call frames on the value stack, `with` scopes, script `try` through the trap chain, and the
// collection points. Integer arithmetic stays on inline fast paths; everything that can call
// out first stores the stack top, frame and instruction pointer into the engine.
#include <cstring>

#include "runtime/array.h"
#include "runtime/element_access.h"
#include "runtime/engine_internal.h"
#include "runtime/fused_ops.h"
#include "runtime/interpreter_internal.h"
#include "runtime/opcodes.h"
#include "runtime/operators.h"

#if !defined(__GNUC__)
#error "the interpreter dispatches with computed goto (GCC or Clang)"
#endif

namespace quill {

uint32_t functionStackNeed(const CompiledFunction* function) { return function->maxStack; }

namespace {

constexpr size_t kMaxTraps = 1u << 20;
constexpr uint32_t kBackwardJumpsPerHook = 4096;
// Slots every frame keeps free below its verified need.
constexpr ptrdiff_t kStackReserve = 14;

// Called when the countdown of backward jumps and calls runs out. After a break the next jump
// or call asks again (see collectionPoint), so a script whose `catch` swallows the break cannot
// loop or recurse on.
void askHook(ScriptEngine* e) {
    e->hookCountdown = kBackwardJumpsPerHook;
    if (int answer = e->hook(2, e->hookUser)) {
        e->hookCountdown = 1;
        raiseError(e, "hook break %d", answer);
    }
}

[[noreturn]] void badBytecode(ScriptEngine* e) {
    raiseError(e, "Unimplemented Quill Script bytecode");
}

// The jump test of JUMP_IF_TRUE / JUMP_IF_FALSE: 1 true, 0 false, -1 for values (atoms and
// internal tags) that make neither jump.
inline int truthOf(const ScriptValue& v) {
    switch (v.tag) {
        case kTagUndefined:
        case kTagNull:
        case kTagNaN:
            return 0;
        case kTagBoolean:
        case kTagInteger:
            return v.i != 0;
        case kTagNumber:
            return v.d != 0.0;
        case kTagString:
            return v.str->length != 0;
        case kTagArray:
        case kTagObject:
        case kTagHost:
        case kTagFunction:
            return 1;
        default:
            return -1;
    }
}

// The argument count of a call being set up (slot 2 under the callee/receiver), checked against
// the slots the caller really has: a module cannot make a callee read outside its caller.
inline uint32_t callArgCount(ScriptEngine* e, ScriptValue* sp, ScriptValue* fh) {
    const ScriptValue& count = sp[1];
    if (count.tag != kTagInteger) badBytecode(e);
    uint64_t n = count.i < 0 ? 0 - static_cast<uint64_t>(count.i) : static_cast<uint64_t>(count.i);
    uint64_t available = static_cast<uint64_t>((fh - 3) - sp);
    if (available < 2 || n > available - 2 || n > kMaxProvidedSlots - 2) badBytecode(e);
    return static_cast<uint32_t>(n);
}

WithList* withList(ScriptValue* fh) { return fh[-2].with; }

void pushWith(ScriptEngine* e, ScriptValue* fh, const ScriptValue& scope) {
    WithList* w = fh[-2].with;
    if (!w || w->count == w->capacity) {
        uint32_t capacity = w ? w->capacity * 2 : 4;
        if (capacity > (1u << 24)) raiseError(e, "Out of memory");
        size_t bytes = offsetof(WithList, values) + size_t(capacity) * sizeof(ScriptValue);
        auto* grown = static_cast<WithList*>(gcAlloc(e, bytes));
        grown->count = w ? w->count : 0;
        grown->capacity = capacity;
        if (w) std::memcpy(grown->values, w->values, size_t(w->count) * sizeof(ScriptValue));
        fh[-2].with = grown;
        w = grown;
    }
    w->values[w->count++] = scope;
}

void warnUndefinedVariable(ScriptEngine* e, uint32_t atom) {
    if (e->flags & kEngineWarnUndefined) {
        warnf(e, "Warning: using undefined variable \"%s\"", atomName(e, atom));
    }
}

void warnUnknownMethod(ScriptEngine* e, uint32_t atom) {
    warnf(e, "Warning: unknown method \"%s\"", atomName(e, atom));
}

// Asks a type-table descriptor's method hook on behalf of a primitive receiver.
int typeMethodHook(ScriptEngine* e, ScriptValue* receiver, uint32_t atom, ScriptValue* result,
                   ScriptValue* argv) {
    if (receiver->tag >= kTypeTableSize) return 0;
    ClassDescriptor* type = e->typeTable[receiver->tag];
    if (!type || !type->method) return 0;
    *result = makeUndefined();
    return type->method(e, type, receiver, atom, result, argv);
}

// Object receivers whose name is not found fall back to the Object descriptor's methods.
int objectTypeMethod(ScriptEngine* e, ScriptValue* receiver, uint32_t atom, ScriptValue* result,
                     ScriptValue* argv) {
    ClassDescriptor* type = e->typeTable[kTagObject];
    if (!type || !type->method) return 0;
    *result = makeUndefined();
    return type->method(e, type, receiver, atom, result, argv);
}

// The result of a method lookup for CALL_METHOD / CALL_NAME.
struct MethodTarget {
    enum Kind { kNone, kScript, kHandled } kind = kNone;
    CompiledFunction* code = nullptr;
    ScriptValue result = makeUndefined();
};

// Resolves `receiver.atom(...)` the way CALL_METHOD does: host method hook, then script
// functions among own properties, then the type descriptors. `collected` reports that a host
// method answered (the caller then runs a collection point).
MethodTarget resolveMethod(ScriptEngine* e, ScriptValue* receiver, uint32_t atom,
                           ScriptValue* argv) {
    MethodTarget t;
    ScriptValue found;
    switch (receiver->tag) {
        case kTagHost: {
            HostInstance* host = receiver->host;
            ClassDescriptor* cls = host->cls;
            if (cls->method) {
                t.result = makeUndefined();
                if (cls->method(e, cls, host->data, atom, &t.result, argv)) {
                    t.kind = MethodTarget::kHandled;
                    return t;
                }
            }
            if (host->props && lookup(e, host->props, atom, &found) && found.tag == kTagFunction) {
                t.kind = MethodTarget::kScript;
                t.code = found.fn->code;
            }
            return t;
        }
        case kTagObject:
            if (lookup(e, receiver->obj, atom, &found)) {
                if (found.tag == kTagFunction) {
                    t.kind = MethodTarget::kScript;
                    t.code = found.fn->code;
                }
                return t;
            }
            if (objectTypeMethod(e, receiver, atom, &t.result, argv)) t.kind = MethodTarget::kHandled;
            return t;
        default:
            break;
    }
    if (typeMethodHook(e, receiver, atom, &t.result, argv)) {
        t.kind = MethodTarget::kHandled;
        return t;
    }
    ScriptObject* props = ownProps(e, *receiver, false);
    if (props && lookup(e, props, atom, &found) && found.tag == kTagFunction) {
        t.kind = MethodTarget::kScript;
        t.code = found.fn->code;
    }
    return t;
}

// One scope of CALL_NAME. Host scopes are followed by a collection point.
MethodTarget resolveScopeCall(ScriptEngine* e, ScriptValue* scope, uint32_t atom,
                              ScriptValue* argv) {
    MethodTarget t;
    ScriptValue found;
    switch (scope->tag) {
        case kTagHost: {
            ClassDescriptor* cls = scope->host->cls;
            if (cls->method && cls->method(e, cls, scope->host->data, atom, &t.result, argv)) {
                t.kind = MethodTarget::kHandled;
            }
            return t;
        }
        case kTagObject:
            if (lookup(e, scope->obj, atom, &found) && found.tag == kTagFunction) {
                t.kind = MethodTarget::kScript;
                t.code = found.fn->code;
                return t;
            }
            if (objectTypeMethod(e, scope, atom, &t.result, argv)) t.kind = MethodTarget::kHandled;
            return t;
        default:
            break;
    }
    if (typeMethodHook(e, scope, atom, &t.result, argv)) {
        t.kind = MethodTarget::kHandled;
        return t;
    }
    ScriptObject* props = ownProps(e, *scope, false);
    if (props && lookup(e, props, atom, &found) && found.tag == kTagFunction) {
        t.kind = MethodTarget::kScript;
        t.code = found.fn->code;
    }
    return t;
}

// Everything up to the error-buffer text for THROW toward a host-level trap.
void throwToHost(ScriptEngine* e, const ScriptValue& value) {
    ScriptValue text = toString(e, value);
    char* ansi = toAnsi(e, text);
    setErrorText(e, std::string_view(ansi, std::strlen(ansi)));
    plainFree(ansi);
    e->errorKind = ErrorKind::kThrown;
    e->errorLocated = false;  // located by the catch below, at the THROW
    throw ScriptError{};
}

ScriptValue incrementValue(ScriptEngine* e, const ScriptValue& v, int64_t amount) {
    if (v.tag == kTagInteger) {
        return makeInteger(static_cast<int64_t>(static_cast<uint64_t>(v.i) + uint64_t(amount)));
    }
    bool concatenated;
    return opAdd(e, v, makeInteger(amount), &concatenated);
}

// The dense slot an integer key addresses inside an array's length, or null: the element
// instructions' fast path (a slot may hold a hole).
inline ScriptValue* denseSlot(const ScriptValue& container, const ScriptValue& key) {
    if (container.tag != kTagArray || key.tag != kTagInteger) return nullptr;
    ArrayRecord* a = container.arr;
    if (uint64_t(key.i) >= a->denseLength || uint64_t(key.i) >= a->length) return nullptr;
    return &a->dense[key.i];
}

// Executes from the current frame until END, HALT or RETURN from the outermost frame.
void execute(ScriptEngine* e, ScriptValue* sp, ScriptValue* fh, const uint32_t* ip) {
    const uint32_t myRun = e->runDepth;

    static const void* const kLabels[] = {
#define L(name) &&L_##name
#define BAD &&L_BAD
        // 0x00 - 0x20 are not opcodes
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, L(CALL_NAME), L(GET_NAME), L(ADD_TWO), L(INCREMENT), L(JUMP_IF_NONZERO),
        L(JUMP_IF_ZERO), L(THROW), L(POP_TRAPS), L(TRY), L(POP_WITH), L(PUSH_WITH),
        L(GET_ARG_AT), L(ADJUST_ARGS), L(RESERVE_LOCALS), L(DELETE_ELEMENT),
        L(DELETE_PROPERTY), L(NEW), L(TYPEOF), L(RETURN), L(CALL), L(JUMP), L(CALL_METHOD),
        L(JUMP_IF_TRUE), L(JUMP_IF_FALSE), L(USHR), L(SHR), L(SHL), L(BIT_XOR), L(BIT_OR),
        L(NOT), L(BIT_AND), L(NEGATE), L(MOD), L(DIV), L(MUL), L(ADD), L(SUB), L(STRICT_NE),
        L(STRICT_EQ), L(GE), L(LE), L(GT), L(LT), L(NE), L(EQ), L(ENUM_NEXT), L(SET_ELEMENT),
        L(GET_ELEMENT), L(SET_PROPERTY), L(GET_PROPERTY), L(STORE_LOCAL), L(LOAD_LOCAL),
        L(STORE_ARG), L(LOAD_ARG), L(STORE_GLOBAL), L(LOAD_GLOBAL), L(PUSH_INT), L(PUSH_3),
        L(PUSH_2), L(PUSH_1), L(PUSH_0), L(PUSH_UNDEFINED), L(PUSH_FALSE), L(PUSH_TRUE),
        L(PUSH_NULL), L(PUSH_CONST), L(MOVE), L(SWAP), L(COLLAPSE), L(DROP), L(POP), L(DUP),
        L(NOP), L(END), L(HALT), L(SET_NAME), L(DELETE_NAME),
        // 0x6e - 0xef are not opcodes
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
        BAD, BAD, BAD, BAD,
        // 0xf0 - 0xf7: fused instructions of the word form (fused_ops.h); 0xf8 - 0xff unused
        L(FUSED_LOCAL_INC), L(FUSED_LOCAL_DEC), L(FUSED_GET_LOCALS), L(FUSED_SET_LOCALS),
        L(FUSED_LT_BRANCH), L(FUSED_LE_BRANCH), L(FUSED_GT_BRANCH), L(FUSED_GE_BRANCH),
        BAD, BAD, BAD, BAD, BAD, BAD, BAD, BAD,
#undef L
#undef BAD
    };
    static_assert(sizeof(kLabels) / sizeof(kLabels[0]) == 256);

#define SAVE() (e->stackTop = sp, e->ip = ip, e->frame = fh)
#define NEXT() goto* kLabels[*ip++ & 0xFF]
#define OPERAND() (*ip++)
// Most collection points have nothing to do: the test is inline, the work out of line.
#define COLLECTION_POINT()                          \
    do {                                            \
        if (collectionPointDue(e)) {                \
            SAVE();                                 \
            collectionPoint(e, sp);                 \
        }                                           \
    } while (0)
// Script calls count toward the hook like backward jumps: recursion that catches its own stack
// overflow and calls again (two calls per frame) runs for exponential time without a single
// collection point.
#define ENTER(codeExpr, nargs)                                                                   \
    do {                                                                                         \
        CompiledFunction* enter_ = (codeExpr);                                                   \
        if (sp - e->stackBase < ptrdiff_t(enter_->maxStack) + kStackReserve) {                   \
            SAVE();                                                                              \
            raiseStackOverflow(e);                                                               \
        }                                                                                        \
        if (e->hook && --e->hookCountdown == 0) {                                                \
            SAVE();                                                                              \
            askHook(e);                                                                          \
        }                                                                                        \
        sp[-1] = makeFrameMark(fh);                                                              \
        sp[-2] = makeFramePad((nargs) + 2, 0, enter_);                                           \
        sp[-3] = makeFrameMark(nullptr);                                                         \
        sp[-4] = makeFrameMark(const_cast<uint32_t*>(ip));                                       \
        fh = sp - 1;                                                                             \
        sp -= 4;                                                                                 \
        ip = enter_->code;                                                                       \
    } while (0)

    for (;;) {
        try {
            try {
                NEXT();

            L_BAD:
                SAVE();
                badBytecode(e);

            L_NOP:
                NEXT();

            L_PUSH_UNDEFINED:
                *--sp = makeUndefined();
                NEXT();
            L_PUSH_NULL:
                *--sp = makeNull();
                NEXT();
            L_PUSH_TRUE:
                *--sp = makeBoolean(true);
                NEXT();
            L_PUSH_FALSE:
                *--sp = makeBoolean(false);
                NEXT();
            L_PUSH_0:
                *--sp = makeInteger(0);
                NEXT();
            L_PUSH_1:
                *--sp = makeInteger(1);
                NEXT();
            L_PUSH_2:
                *--sp = makeInteger(2);
                NEXT();
            L_PUSH_3:
                *--sp = makeInteger(3);
                NEXT();
            L_PUSH_INT:
                *--sp = makeInteger(static_cast<int32_t>(OPERAND()));
                NEXT();
            L_PUSH_CONST:
                *--sp = e->constants[OPERAND()];
                NEXT();

            L_LOAD_GLOBAL: {
                uint32_t atom = OPERAND();
                *--sp = e->globals[atom];
                if (sp->tag == kTagUndefined) {
                    SAVE();
                    warnUndefinedVariable(e, atom);
                }
                NEXT();
            }
            L_STORE_GLOBAL: {
                uint32_t atom = OPERAND();
                ScriptValue v = *sp++;
                if (v.tag == kTagUndefined) v.i = 0;
                e->globals[atom] = v;
                NEXT();
            }

            L_LOAD_LOCAL: {
                int32_t n = static_cast<int32_t>(OPERAND());
                ScriptValue v = fh[-4 - n];
                *--sp = v;
                NEXT();
            }
            L_STORE_LOCAL: {
                int32_t n = static_cast<int32_t>(OPERAND());
                fh[-4 - n] = *sp++;
                NEXT();
            }
            L_LOAD_ARG: {
                uint32_t n = OPERAND();
                const ScriptValue& pad = fh[-1];
                if (n < padProvided(pad) + padExtra(pad)) {
                    ScriptValue v = fh[1 + n];
                    *--sp = v;
                } else {
                    *--sp = makeUndefined();
                }
                NEXT();
            }
            L_STORE_ARG: {
                uint32_t n = OPERAND();
                const ScriptValue& pad = fh[-1];
                ScriptValue v = *sp++;
                if (n < padProvided(pad) + padExtra(pad)) fh[1 + n] = v;
                NEXT();
            }
            L_GET_ARG_AT: {
                const ScriptValue& pad = fh[-1];
                uint64_t limit = padProvided(pad) + padExtra(pad);
                if (sp->tag == kTagInteger && sp->i >= 0 && uint64_t(sp->i) < limit) {
                    *sp = fh[1 + sp->i];
                } else {
                    *sp = makeUndefined();
                }
                NEXT();
            }

            L_ADD_TWO:
                if (sp->tag == kTagInteger) {
                    sp->i = static_cast<int64_t>(static_cast<uint64_t>(sp->i) + 2);
                } else {
                    SAVE();
                    *sp = incrementValue(e, *sp, 2);
                }
                NEXT();
            L_INCREMENT:
                if (sp->tag == kTagInteger) {
                    sp->i = static_cast<int64_t>(static_cast<uint64_t>(sp->i) + 1);
                } else {
                    SAVE();
                    *sp = incrementValue(e, *sp, 1);
                }
                NEXT();

            L_DUP: {
                ScriptValue v = *sp;
                *--sp = v;
                NEXT();
            }
            L_POP:
                ++sp;
                NEXT();
            L_DROP:
                sp += static_cast<int32_t>(OPERAND());
                NEXT();
            L_SWAP: {
                ScriptValue t = sp[0];
                sp[0] = sp[1];
                sp[1] = t;
                NEXT();
            }
            L_COLLAPSE: {
                int32_t n = static_cast<int32_t>(OPERAND());
                sp[n] = sp[0];
                sp += n;
                NEXT();
            }
            L_MOVE: {
                int32_t n = static_cast<int32_t>(OPERAND());
                if (n > 1) {
                    ScriptValue t = sp[0];
                    std::memmove(sp, sp + 1, size_t(n - 1) * sizeof(ScriptValue));
                    sp[n - 1] = t;
                } else if (n < -1) {
                    int32_t m = -n;
                    ScriptValue t = sp[m - 1];
                    std::memmove(sp + 1, sp, size_t(m - 1) * sizeof(ScriptValue));
                    sp[0] = t;
                }
                NEXT();
            }

            L_RESERVE_LOCALS: {
                int32_t n = static_cast<int32_t>(OPERAND());
                for (int32_t i = 0; i < n; ++i) *--sp = makeUndefined();
                NEXT();
            }
            L_ADJUST_ARGS: {
                int32_t n = static_cast<int32_t>(OPERAND());
                ++sp;  // the caller's count + 2; the frame's own record is what counts
                ScriptValue pad = fh[-1];
                uint32_t provided = padProvided(pad);
                if (padExtra(pad) == 0 && n > 0 && uint32_t(n) > provided) {
                    uint32_t k = uint32_t(n) - provided;
                    CompiledFunction* fn = padFunction(pad);
                    if (sp - e->stackBase < ptrdiff_t(k + fn->maxStack) + kStackReserve) {
                        SAVE();
                        raiseStackOverflow(e);
                    }
                    ScriptValue* last = fh + provided;
                    std::memmove(sp - k, sp, size_t(last - sp + 1) * sizeof(ScriptValue));
                    for (uint32_t i = 0; i < k; ++i) last[-int32_t(i)] = makeUndefined();
                    sp -= k;
                    fh -= k;
                    fh[-1] = makeFramePad(provided, k, fn);
                }
                NEXT();
            }

            // A loop without collection points would never let the host's hook stop it, so
            // with a hook installed every backward jump counts toward a call of the hook.
#define TAKE_JUMP(d)                                                                             \
    do {                                                                                         \
        ip += (d);                                                                               \
        if ((d) < 0 && e->hook && --e->hookCountdown == 0) {                                     \
            SAVE();                                                                              \
            askHook(e);                                                                          \
        }                                                                                        \
    } while (0)
            L_JUMP: {
                int32_t d = static_cast<int32_t>(OPERAND());
                TAKE_JUMP(d);
                NEXT();
            }
            L_JUMP_IF_TRUE: {
                int32_t d = static_cast<int32_t>(OPERAND());
                if (truthOf(*sp++) == 1) TAKE_JUMP(d);
                NEXT();
            }
            L_JUMP_IF_FALSE: {
                int32_t d = static_cast<int32_t>(OPERAND());
                if (truthOf(*sp++) == 0) TAKE_JUMP(d);
                NEXT();
            }
            L_JUMP_IF_NONZERO: {
                int32_t d = static_cast<int32_t>(OPERAND());
                if (static_cast<uint32_t>((sp++)->i) != 0) TAKE_JUMP(d);
                NEXT();
            }
            L_JUMP_IF_ZERO: {
                int32_t d = static_cast<int32_t>(OPERAND());
                if (static_cast<uint32_t>((sp++)->i) == 0) TAKE_JUMP(d);
                NEXT();
            }

            // --- operators ---
            L_ADD: {
                ScriptValue& a = sp[1];
                const ScriptValue& b = sp[0];
                if (a.tag == kTagInteger && b.tag == kTagInteger) {
                    a.i = static_cast<int64_t>(static_cast<uint64_t>(a.i) + uint64_t(b.i));
                    ++sp;
                    NEXT();
                }
                if (a.tag == kTagNumber && b.tag == kTagNumber) {
                    a = makeNumber(a.d + b.d);
                    ++sp;
                    NEXT();
                }
                SAVE();
                bool concatenated;
                ScriptValue r = opAdd(e, a, b, &concatenated);
                sp[1] = r;
                ++sp;
                if (concatenated) COLLECTION_POINT();
                NEXT();
            }
            L_SUB: {
                ScriptValue& a = sp[1];
                const ScriptValue& b = sp[0];
                if (a.tag == kTagInteger && b.tag == kTagInteger) {
                    a.i = static_cast<int64_t>(static_cast<uint64_t>(a.i) - uint64_t(b.i));
                } else if (a.tag == kTagNumber && b.tag == kTagNumber) {
                    a = makeNumber(a.d - b.d);
                } else {
                    SAVE();
                    a = opSub(e, a, b);
                }
                ++sp;
                NEXT();
            }
            L_MUL: {
                ScriptValue& a = sp[1];
                const ScriptValue& b = sp[0];
                if (a.tag == kTagInteger && b.tag == kTagInteger) {
                    a.i = static_cast<int64_t>(static_cast<uint64_t>(a.i) * uint64_t(b.i));
                } else if (a.tag == kTagNumber && b.tag == kTagNumber) {
                    a = makeNumber(a.d * b.d);
                } else {
                    SAVE();
                    a = opMul(e, a, b);
                }
                ++sp;
                NEXT();
            }
            L_DIV:
                SAVE();
                sp[1] = opDiv(e, sp[1], sp[0]);
                ++sp;
                NEXT();
            L_MOD:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger && sp[0].i > 0) {
                    sp[1].i = sp[1].i % sp[0].i;
                } else {
                    SAVE();
                    sp[1] = opMod(e, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_NEGATE:
                if (sp->tag == kTagInteger) {
                    sp->i = static_cast<int64_t>(0 - static_cast<uint64_t>(sp->i));
                } else {
                    SAVE();
                    *sp = opNegate(e, *sp);
                }
                NEXT();
            L_NOT: {
                int t = truthOf(*sp);
                *sp = makeBoolean(t == 0);
                NEXT();
            }
            L_BIT_AND:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1].i &= sp[0].i;
                } else {
                    SAVE();
                    sp[1] = opBitwise(e, BitOp::And, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_BIT_OR:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1].i |= sp[0].i;
                } else {
                    SAVE();
                    sp[1] = opBitwise(e, BitOp::Or, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_BIT_XOR:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1].i ^= sp[0].i;
                } else {
                    SAVE();
                    sp[1] = opBitwise(e, BitOp::Xor, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_SHL:
                SAVE();
                sp[1] = opBitwise(e, BitOp::Shl, sp[1], sp[0]);
                ++sp;
                NEXT();
            L_SHR:
                SAVE();
                sp[1] = opBitwise(e, BitOp::Shr, sp[1], sp[0]);
                ++sp;
                NEXT();
            L_USHR:
                SAVE();
                sp[1] = opBitwise(e, BitOp::Ushr, sp[1], sp[0]);
                ++sp;
                NEXT();

            L_LT:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1] = makeBoolean(sp[1].i < sp[0].i);
                } else {
                    SAVE();
                    sp[1] = opCompare(e, CompareOp::Lt, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_GT:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1] = makeBoolean(sp[1].i > sp[0].i);
                } else {
                    SAVE();
                    sp[1] = opCompare(e, CompareOp::Gt, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_LE:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1] = makeBoolean(sp[1].i <= sp[0].i);
                } else {
                    SAVE();
                    sp[1] = opCompare(e, CompareOp::Le, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_GE:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1] = makeBoolean(sp[1].i >= sp[0].i);
                } else {
                    SAVE();
                    sp[1] = opCompare(e, CompareOp::Ge, sp[1], sp[0]);
                }
                ++sp;
                NEXT();
            L_EQ:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1] = makeBoolean(sp[1].i == sp[0].i);
                } else {
                    SAVE();
                    sp[1] = makeBoolean(looseEquals(e, sp[1], sp[0]));
                }
                ++sp;
                NEXT();
            L_NE:
                if (sp[1].tag == kTagInteger && sp[0].tag == kTagInteger) {
                    sp[1] = makeBoolean(sp[1].i != sp[0].i);
                } else {
                    SAVE();
                    sp[1] = makeBoolean(!looseEquals(e, sp[1], sp[0]));
                }
                ++sp;
                NEXT();
            L_STRICT_EQ:
                sp[1] = makeBoolean(strictEquals(sp[1], sp[0]));
                ++sp;
                NEXT();
            L_STRICT_NE:
                sp[1] = makeBoolean(!strictEquals(sp[1], sp[0]));
                ++sp;
                NEXT();
            L_TYPEOF:
                *sp = typeOf(e, *sp);
                COLLECTION_POINT();
                NEXT();

            // --- properties and elements ---
            L_GET_PROPERTY: {
                uint32_t atom = OPERAND();
                ScriptValue result;
                if (sp->tag == kTagObject) {
                    if (lookup(e, sp->obj, atom, &result)) {
                        *sp = result;
                        NEXT();
                    }
                } else {
                    SAVE();
                    if (getProperty(e, *sp, atom, &result) == 1) {
                        *sp = result;
                        NEXT();
                    }
                }
                *sp = makeUndefined();
                SAVE();
                warnf(e, "Warning: using undefined property \"%s\"", atomName(e, atom));
                NEXT();
            }
            L_SET_PROPERTY: {
                uint32_t atom = OPERAND();
                SAVE();
                if (sp[0].tag == kTagObject) {
                    setByAtom(e, sp[0].obj, atom, sp[1]);
                } else {
                    setProperty(e, sp[0], atom, sp[1]);
                }
                sp += 2;
                COLLECTION_POINT();
                NEXT();
            }
            L_DELETE_PROPERTY: {
                uint32_t atom = OPERAND();
                if (sp->tag == kTagObject) deleteByAtom(e, sp->obj, atom);
                *sp = makeUndefined();
                NEXT();
            }
            L_GET_ELEMENT: {
                ScriptValue& container = sp[1];
                const ScriptValue& key = sp[0];
                const ScriptValue* slot = denseSlot(container, key);
                if (slot && slot->tag != kTagHole) {
                    container = *slot;
                    ++sp;
                    NEXT();
                }
                SAVE();
                container = readElement(e, container, key);
                ++sp;
                NEXT();
            }
            L_SET_ELEMENT: {
                if (ScriptValue* slot = denseSlot(sp[1], sp[0])) {
                    *slot = sp[2];
                    sp += 3;
                    COLLECTION_POINT();
                    NEXT();
                }
                SAVE();
                writeElement(e, sp[1], sp[0], sp[2]);
                sp += 3;
                COLLECTION_POINT();
                NEXT();
            }
            // --- fused instructions (fused_ops.h): ip is at the first operand word; the
            // fallback is the replaced LOAD_LOCAL, after which the original words run on ---
#define LOCAL(word) fh[-4 - static_cast<int32_t>(word)]
#define FUSED_FALLBACK_LOAD_LOCAL()           \
    do {                                      \
        ScriptValue v_ = LOCAL(OPERAND());    \
        *--sp = v_;                           \
        NEXT();                               \
    } while (0)
            // a, PUSH_1, ADD or SUB, STORE_LOCAL, a
#define FUSED_STEP(delta)                                                                 \
    do {                                                                                  \
        ScriptValue& local = LOCAL(ip[0]);                                                \
        if (local.tag == kTagInteger) {                                                   \
            local.i = static_cast<int64_t>(static_cast<uint64_t>(local.i) + (delta));     \
            ip += 5;                                                                      \
            NEXT();                                                                       \
        }                                                                                 \
        FUSED_FALLBACK_LOAD_LOCAL();                                                      \
    } while (0)
            L_FUSED_LOCAL_INC:
                FUSED_STEP(uint64_t(1));
            L_FUSED_LOCAL_DEC:
                FUSED_STEP(~uint64_t(0));
#undef FUSED_STEP
            L_FUSED_GET_LOCALS: {
                // x, LOAD_LOCAL, i, GET_ELEMENT
                if (const ScriptValue* slot = denseSlot(LOCAL(ip[0]), LOCAL(ip[2]));
                    slot && slot->tag != kTagHole) {
                    ScriptValue v = *slot;
                    *--sp = v;
                    ip += 4;
                    NEXT();
                }
                FUSED_FALLBACK_LOAD_LOCAL();
            }
            L_FUSED_SET_LOCALS: {
                // x, LOAD_LOCAL, i, SET_ELEMENT; the value is on the stack
                if (ScriptValue* slot = denseSlot(LOCAL(ip[0]), LOCAL(ip[2]))) {
                    *slot = sp[0];
                    ++sp;
                    ip += 4;
                    COLLECTION_POINT();
                    NEXT();
                }
                FUSED_FALLBACK_LOAD_LOCAL();
            }
            // a, LOAD_LOCAL or LOAD_ARG, b, the comparison, JUMP_IF_ZERO, offset (from the end)
#define FUSED_BRANCH(op)                                                                         \
    do {                                                                                         \
        const ScriptValue& left = LOCAL(ip[0]);                                                  \
        const ScriptValue* right;                                                                \
        if ((ip[1] & 0xFF) == OP_LOAD_LOCAL) {                                                   \
            right = &LOCAL(ip[2]);                                                               \
        } else {                                                                                 \
            const ScriptValue& pad = fh[-1];                                                     \
            right = ip[2] < padProvided(pad) + padExtra(pad) ? &fh[1 + ip[2]] : nullptr;        \
        }                                                                                        \
        if (right && left.tag == kTagInteger && right->tag == kTagInteger) {                    \
            bool holds = left.i op right->i;                                                     \
            int32_t d = static_cast<int32_t>(ip[5]);                                             \
            ip += 6;                                                                             \
            if (!holds) TAKE_JUMP(d);                                                            \
            NEXT();                                                                              \
        }                                                                                        \
        FUSED_FALLBACK_LOAD_LOCAL();                                                             \
    } while (0)
            L_FUSED_LT_BRANCH:
                FUSED_BRANCH(<);
            L_FUSED_LE_BRANCH:
                FUSED_BRANCH(<=);
            L_FUSED_GT_BRANCH:
                FUSED_BRANCH(>);
            L_FUSED_GE_BRANCH:
                FUSED_BRANCH(>=);
#undef FUSED_BRANCH
#undef TAKE_JUMP
#undef FUSED_FALLBACK_LOAD_LOCAL
#undef LOCAL
            L_DELETE_ELEMENT: {
                SAVE();
                deleteElement(e, sp[1], sp[0]);
                ++sp;
                *sp = makeUndefined();
                NEXT();
            }
            L_ENUM_NEXT: {
                SAVE();
                ScriptValue item;
                if (enumerateNext(e, sp[1], sp[0], &item)) {
                    sp[1] = item;
                    sp[0] = makeBoolean(true);
                } else {
                    sp[1] = makeUndefined();
                    sp[0] = makeBoolean(false);
                }
                NEXT();
            }

            // --- with scopes ---
            L_PUSH_WITH:
                SAVE();
                pushWith(e, fh, *sp);
                ++sp;
                NEXT();
            L_POP_WITH: {
                uint32_t n = OPERAND();
                WithList* w = withList(fh);
                if (w && w->count >= n) w->count -= n;
                NEXT();
            }
            L_GET_NAME: {
                uint32_t atom = OPERAND();
                SAVE();
                if (WithList* w = withList(fh)) {
                    for (uint32_t i = 0; i < w->count; ++i) {
                        ScriptValue result;
                        if (getProperty(e, w->values[i], atom, &result) == 1) {
                            *--sp = result;
                            goto get_name_done;
                        }
                        w = withList(fh);  // a property hook may have run scripts
                        if (!w) break;
                    }
                }
                *--sp = e->globals[atom];
                if (sp->tag == kTagUndefined) {
                    SAVE();
                    warnUndefinedVariable(e, atom);
                }
            get_name_done:
                NEXT();
            }
            L_SET_NAME: {
                uint32_t atom = OPERAND();
                SAVE();
                if (sp->tag == kTagUndefined) sp->i = 0;
                for (uint32_t i = 0;; ++i) {
                    WithList* w = withList(fh);
                    if (!w || i >= w->count) {
                        e->globals[atom] = *sp;
                        break;
                    }
                    if (setPropertyIfPresent(e, w->values[i], atom, *sp)) break;
                    COLLECTION_POINT();
                }
                ++sp;
                NEXT();
            }
            L_DELETE_NAME: {
                uint32_t atom = OPERAND();
                if (WithList* w = withList(fh)) {
                    for (uint32_t i = 0; i < w->count; ++i) {
                        ScriptValue found;
                        if (w->values[i].tag == kTagObject &&
                            lookup(e, w->values[i].obj, atom, &found)) {
                            deleteByAtom(e, w->values[i].obj, atom);
                            break;
                        }
                    }
                }
                *sp = makeUndefined();
                NEXT();
            }

            // --- calls ---
            L_CALL: {
                SAVE();
                uint32_t argc = callArgCount(e, sp, fh);
                ScriptValue callee = sp[0];
                sp[0] = makeNull();
                if (callee.tag == kTagFunction) {
                    ENTER(callee.fn->code, argc);
                    NEXT();
                }
                if (callee.tag == kTagHost && callee.host->cls->call) {
                    ScriptValue result = makeUndefined();
                    {
                        // Computed gotos skip destructors: the root must go before NEXT().
                        RootedValues keep(e, &callee, 1);
                        callee.host->cls->call(e, callee.host->cls, callee.host->data, &result,
                                               sp + 1);
                    }
                    *--sp = result;
                    NEXT();
                }
                *--sp = makeUndefined();
                warn(e, "Warning: call a undefined function");
                NEXT();
            }
            L_CALL_METHOD: {
                uint32_t atom = OPERAND();
                SAVE();
                uint32_t argc = callArgCount(e, sp, fh);
                MethodTarget t = resolveMethod(e, sp, atom, sp + 1);
                if (t.kind == MethodTarget::kScript) {
                    ENTER(t.code, argc);
                    NEXT();
                }
                if (t.kind == MethodTarget::kHandled) {
                    *--sp = t.result;
                    COLLECTION_POINT();
                    NEXT();
                }
                *--sp = makeUndefined();
                warnUnknownMethod(e, atom);
                NEXT();
            }
            L_CALL_NAME: {
                uint32_t atom = OPERAND();
                SAVE();
                uint32_t argc = callArgCount(e, sp, fh);
                for (uint32_t i = 0;; ++i) {
                    WithList* w = withList(fh);
                    if (!w || i >= w->count) break;
                    ScriptValue scope = w->values[i];
                    MethodTarget t = resolveScopeCall(e, &scope, atom, sp + 1);
                    bool hostScope = scope.tag == kTagHost;
                    if (t.kind == MethodTarget::kScript) {
                        sp[0] = scope;
                        ENTER(t.code, argc);
                        goto call_name_done;
                    }
                    if (t.kind == MethodTarget::kHandled) {
                        *--sp = t.result;
                        COLLECTION_POINT();
                        goto call_name_done;
                    }
                    if (hostScope) COLLECTION_POINT();
                }
                goto L_CALL;
            call_name_done:
                NEXT();
            }
            L_NEW: {
                SAVE();
                uint32_t argc = callArgCount(e, sp, fh);
                ScriptValue ctor = sp[0];
                ClassDescriptor* cls = nullptr;
                if (ctor.tag == kTagHost) {
                    cls = ctor.host->cls;
                } else if (ctor.tag == kTagFunction) {
                    FunctionValue* f = ctor.fn;
                    if (!f->props) {
                        ClassDescriptor* objectType = e->typeTable[kTagObject];
                        f->props = newObjectWithProto(e, objectType ? objectType->prototype : nullptr);
                    }
                    sp[0] = makeObject(newObjectWithProto(e, f->props));
                    // The frame's pad keeps the code alive; the function value itself is not
                    // needed once the frame exists.
                    ENTER(f->code, argc);
                    COLLECTION_POINT();
                    NEXT();
                } else if (ctor.tag < kTypeTableSize) {
                    cls = e->typeTable[ctor.tag];
                }
                if (cls && cls->construct) {
                    {
                        RootedValues keep(e, &ctor, 1);
                        sp[0] = makeUndefined();
                        cls->construct(e, cls, sp + 1, &sp[0]);
                    }
                    *--sp = makeUndefined();
                } else {
                    *--sp = makeNull();
                    warn(e, "Warning: invalid constructor");
                }
                COLLECTION_POINT();
                NEXT();
            }
            L_RETURN: {
                ScriptValue result = *sp;
                while (!e->traps.empty()) {
                    const TrapEntry& t = e->traps.back();
                    if (!t.scriptTry || t.runDepth != myRun || t.savedFrame > fh) break;
                    e->traps.pop_back();
                }
                ScriptValue pad = fh[-1];
                const uint32_t* ret = fh[-3].code;
                ScriptValue* caller = fh[0].frame;
                uint32_t k = padExtra(pad);
                if (k) {
                    std::memmove(fh + 1 + k, fh + 1, size_t(padProvided(pad)) * sizeof(ScriptValue));
                    fh += k;
                }
                *fh = result;
                sp = fh;
                if (!ret) {
                    e->returnSlot = result;
                    e->stackTop = sp;
                    return;
                }
                fh = caller;
                ip = ret;
                NEXT();
            }
            L_END:
            L_HALT:
                e->returnSlot = sp < fh - 3 ? *sp : makeUndefined();
                e->stackTop = sp;
                return;

            // --- exceptions ---
            L_TRY: {
                int32_t d = static_cast<int32_t>(OPERAND());
                if (e->traps.size() >= kMaxTraps) {
                    SAVE();
                    raiseStackOverflow(e);
                }
                TrapEntry t{};
                t.scriptTry = true;
                t.runDepth = myRun;
                t.savedTop = sp;
                t.savedFrame = fh;
                t.catchAddress = ip + d;
                WithList* w = withList(fh);
                t.savedWithCount = w ? w->count : 0;
                e->traps.push_back(t);
                NEXT();
            }
            L_POP_TRAPS: {
                uint32_t n = OPERAND();
                while (n-- && !e->traps.empty()) {
                    const TrapEntry& t = e->traps.back();
                    if (!t.scriptTry || t.runDepth != myRun) break;
                    e->traps.pop_back();
                }
                NEXT();
            }
            L_THROW: {
                SAVE();
                ScriptValue value = *sp;
                if (!e->traps.empty() && e->traps.back().scriptTry) {
                    if (e->traps.back().runDepth == myRun) {
                        TrapEntry t = e->traps.back();
                        e->traps.pop_back();
                        sp = t.savedTop;
                        fh = t.savedFrame;
                        ip = t.catchAddress;
                        if (WithList* w = withList(fh)) {
                            if (w->count > t.savedWithCount) w->count = t.savedWithCount;
                        }
                        *--sp = value;
                        NEXT();
                    }
                    e->thrownValue = value;
                    e->hasThrownValue = true;
                    e->errorLocated = false;
                    throw ScriptError{};
                }
                throwToHost(e, value);
            }
            } catch (const ScriptError&) {
                throw;
            } catch (...) {
                // A host function let a C++ exception out: the script's `try` sees it as a
                // runtime error like any other.
                noteHostException(e, std::current_exception());
                throw ScriptError{};
            }
        } catch (const ScriptError&) {
            if (!e->errorLocated) {
                e->errorIp = ip;
                e->errorFunction = padFunction(fh[-1]);
                e->errorLocated = true;
            }
            if (e->traps.empty()) throw;
            TrapEntry t = e->traps.back();
            if (!t.scriptTry || t.runDepth != myRun) throw;
            e->traps.pop_back();
            ScriptValue caught;
            if (e->hasThrownValue) {
                caught = e->thrownValue;
                e->thrownValue = makeUndefined();
                e->hasThrownValue = false;
            } else {
                newStringFromAnsi(e, &caught, e->errorBuffer, std::strlen(e->errorBuffer));
            }
            e->errorLocated = false;
            sp = t.savedTop;
            fh = t.savedFrame;
            ip = t.catchAddress;
            if (WithList* w = withList(fh)) {
                if (w->count > t.savedWithCount) w->count = t.savedWithCount;
            }
            *--sp = caught;
        }
    }
#undef SAVE
#undef NEXT
#undef OPERAND
#undef COLLECTION_POINT
#undef ENTER
}

}  // namespace

void run(ScriptEngine* e, const ScriptValue* thisValue, CompiledFunction* function,
         uint32_t count, const ScriptValue* values) {
    ScriptValue* sp = e->stackTop;
    ptrdiff_t need = ptrdiff_t(count) + 6 + ptrdiff_t(function->maxStack) + kStackReserve;
    if (count > kMaxProvidedSlots - 2 || sp - e->stackBase < need) raiseStackOverflow(e);
    if (e->runDepth >= kMaxNativeDepth) raiseStackOverflow(e);
    // Natives that call back (sort comparators, conversions) count as calls too.
    if (e->hook && --e->hookCountdown == 0) askHook(e);
    // The frame's pad keeps the code reachable; the slot under the arguments stays empty, so a
    // call from native code allocates nothing.
    *--sp = makeNull();
    for (uint32_t i = count; i-- > 0;) *--sp = values[i];
    *--sp = thisValue ? *thisValue : makeNull();
    sp[-1] = makeFrameMark(nullptr);
    sp[-2] = makeFramePad(count + 1, 0, function);
    sp[-3] = makeFrameMark(nullptr);
    sp[-4] = makeFrameMark(nullptr);
    ScriptValue* fh = sp - 1;
    sp -= 4;
    ++e->runDepth;
    struct DepthGuard {
        ScriptEngine* e;
        ~DepthGuard() { --e->runDepth; }
    } guard{e};
    e->stackTop = sp;
    execute(e, sp, fh, function->code);
}

}  // namespace quill
