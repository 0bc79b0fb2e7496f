// Declarative host classes: one table row per member, with arguments and results converted from
// the C++ signature of the function the row names. A class is a ClassSpec and one or more member
// tables; the binder supplies the method, property, mark and finalizer hooks of its descriptor
// and finds a member by its atom in constant time.
//
//     struct Counter {
//         int64_t value = 0;
//         ScriptValue onChange = makeUndefined();
//         int64_t add(int64_t n) { return value += n; }  // integer arguments only
//     };
//     int64_t getValue(Counter& c) { return c.value; }
//     void setValue(Counter& c, int64_t v) { c.value = v; }
//     std::u16string describe(std::optional<std::u16string> prefix) { return prefix.value_or(u"?");
//     } std::unique_ptr<Counter> makeCounter(std::optional<int64_t> start) {
//         auto c = std::make_unique<Counter>();
//         c->value = start.value_or(0);
//         return c;
//     }
//
//     constexpr bind::Member kCounterMembers[] = {
//         bind::method<&Counter::add>("add", bind::Empty::kMinusOne),
//         bind::property<getValue, setValue>("value"),
//         bind::classMethod<describe>("describe"),
//         bind::constant("$COUNTER_MAX", 100),
//         bind::handler<&Counter::onChange>("onChange"),
//         bind::objectText("[object Counter]"),
//     };
//     bind::defineClass<Counter>(engine, {.name = "Counter", .id = ClassId::kFirstUser,
//                                         .members = {kCounterMembers},
//                                         .construct = bind::constructor<makeCounter>});
//
// Rules the binder applies:
// - A function's first parameter of type `T&` or `T*` (T a class, not const) is the instance: the
//   object the class's `resolve` gives for the host value's data (the data itself by default).
//   With `T&` the member exists only on live instances (elsewhere the hook answers "not mine", so
//   the caller warns of an unknown member); with `T*` it is called with null on the class value
//   and on instances that resolve to nothing. Rows without an instance parameter are class-level:
//   they answer on the class value and on every instance. A leading `ScriptEngine*` parameter
//   receives the engine. Member function pointers take the instance as their object.
// - Arguments by parameter type (see Param below): integers take integer values only and convert
//   nothing; `double` and `bool` convert any value; `std::u16string` takes strings only,
//   `std::string` strings only as ANSI text, `AsString` converts any value to text; `Path` is a
//   non-empty string without NUL characters; `Function` a script function; `Instance<T, Id>` an
//   open instance of another class; `ScriptValue` anything; `std::optional<P>` may be missing
//   (or undefined); `Args` gives the whole argument list. When an argument does not fit, the
//   function is not called and the member answers its empty result (the row's `Empty`).
// - Results: void (undefined), bool, integers, double, std::u16string, std::string (ANSI text),
//   const char* (ASCII text; null gives the empty result), ScriptValue, and std::optional<R>
//   (nothing gives the empty result).
// - A C++ exception escaping a member becomes the script runtime error "Runtime error: <what>"
//   (std::bad_alloc: "Out of memory"); the script's `try` sees it and the engine runs on.
// - Handler properties accept only script functions (anything else keeps the old value) and are
//   marked for the collector with the instance.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "runtime/script_engine.h"

namespace quill::bind {

// What a member answers when an argument does not fit.
enum class Empty : uint8_t {
    kUndefined,
    kNull,
    kFalse,
    kZero,
    kMinusOne,
    kEmptyString,
    kEmptyArray
};

// The argument list of a native call (1-based, as in the native layout).
class Args {
  public:
    explicit Args(ScriptValue* argv) : argv_(argv) {}
    uint32_t size() const {
        int64_t n = argv_[0].i;
        return static_cast<uint32_t>(n < 0 ? -n : n);
    }
    bool has(uint32_t i) const { return i >= 1 && i <= size(); }
    ScriptValue operator[](uint32_t i) const { return has(i) ? argv_[i] : makeUndefined(); }
    ScriptValue* raw() const { return argv_; }

  private:
    ScriptValue* argv_;
};

// Any value, converted to text with the dialect's toString (may run scripts).
struct AsString {
    std::u16string text;
};
// A non-empty string without NUL characters, for file-system paths.
struct Path {
    std::u16string wide;
    std::string ansi() const { return toAnsiString(wide); }
};
// A script function (handlers passed as arguments).
struct Function {
    ScriptValue value;
};
// An instance of another class whose data is live (closed streams do not fit).
template <typename T, ClassId Id>
struct Instance {
    T* object = nullptr;
    ScriptValue value;
    T* operator->() const { return object; }
    T& operator*() const { return *object; }
};

enum class MemberKind : uint8_t { kMethod, kProperty, kHandler, kConstant };

namespace detail {
struct Call;
}

struct Member {
    using Invoke = void (*)(const detail::Call& call, ScriptValue* result, Empty empty);
    using Get = void (*)(const detail::Call& call, ScriptValue* out);
    using Set = void (*)(const detail::Call& call, ScriptValue* scratch);
    using Mark = void (*)(ScriptEngine* engine, void* self);

    const char* name;
    MemberKind kind;
    bool classLevel;  // answers without a live instance
    Empty empty;
    Invoke invoke;  // methods
    Get get;        // properties, handlers, constants
    Set set;        // null: assignments are ignored
    Mark mark;      // handlers
    // Constants: an integer, a double or ASCII text.
    int64_t integer;
    double number;
    const char* text;
};

using MemberTable = std::span<const Member>;

// A global constant registered with a class ($STREAM_IN and the like).
struct GlobalConstant {
    const char* name;
    int64_t value;
};

struct ClassSpec {
    const char* name;
    ClassId id = ClassId::kNone;
    // Later tables may override rows of earlier ones by name (a family's shared table first).
    std::initializer_list<MemberTable> members;
    NativeFunction call = nullptr;
    ConstructHook construct = nullptr;
    // The object members work on, from the host value's instance data; null when the instance
    // is no longer usable (a closed stream). Default: the data itself.
    void* (*resolve)(void* data) = nullptr;
    // Marks what the instance data refers to besides its handlers.
    void (*mark)(ScriptEngine* engine, void* data) = nullptr;
    // Frees the instance data; defineClass<T> deletes it as a T.
    void (*destroy)(void* data) = nullptr;
    const char* alias = nullptr;  // a second global name for the same class
    std::initializer_list<GlobalConstant> globals = {};
};

// Registers the class: descriptor, hooks, member table, global name(s) and constants.
ClassDescriptor* defineClass(ScriptEngine* engine, const ClassSpec& spec);
template <typename T>
ClassDescriptor* defineClass(ScriptEngine* engine, ClassSpec spec) {
    if (!spec.destroy) spec.destroy = [](void* data) { delete static_cast<T*>(data); };
    return defineClass(engine, spec);
}

// A new instance of the class registered under `id`, owning `object`; undefined (and the object
// freed) when this engine has no such class.
ScriptValue newInstanceData(ScriptEngine* engine, ClassId id, void* object);
template <typename T>
ScriptValue newInstance(ScriptEngine* engine, ClassId id, std::unique_ptr<T> object) {
    ScriptValue out = newInstanceData(engine, id, object.get());
    if (out.tag == kTagHost) object.release();
    return out;
}

// The object a bound class's members work on for a host value (its instance data through the
// class's `resolve`), or null.
void* resolvedData(const ScriptValue& value);

// The value a member answers when an argument does not fit.
ScriptValue emptyValue(ScriptEngine* engine, Empty empty);
// Runs a member's C++ code, turning stray C++ exceptions into script runtime errors.
[[noreturn]] void raiseFromException(ScriptEngine* engine, std::exception_ptr error);
template <typename Work>
void guarded(ScriptEngine* engine, Work&& work) {
    try {
        work();
    } catch (const ScriptError&) {
        throw;
    } catch (...) {
        raiseFromException(engine, std::current_exception());
    }
}

// ---------------------------------------------------------------------------------------------
// Parameters: how each C++ parameter type is filled from the native call.

template <typename P>
struct Param;

namespace detail {

template <typename U>
constexpr bool isBinderType =
    std::is_same_v<U, ScriptValue> || std::is_same_v<U, ScriptEngine> || std::is_same_v<U, Args>;

// A non-const reference or pointer to a class type is the instance.
template <typename P>
constexpr bool isSelf() {
    if constexpr (std::is_lvalue_reference_v<P> || std::is_pointer_v<P>) {
        using U = std::remove_pointer_t<std::remove_reference_t<P>>;
        return std::is_class_v<U> && !std::is_const_v<U> && !isBinderType<U>;
    } else {
        return false;
    }
}

struct Call {
    ScriptEngine* engine;
    ScriptValue* argv;
    void* data;                         // the host value's instance data
    void* (*resolve)(void*) = nullptr;  // the class's resolve, or null for the data itself
    ClassDescriptor* cls = nullptr;     // constructors: the class of the new instance
    // Looked up after the arguments are converted: converting may run a script that closes the
    // instance.
    void* self() const { return data && resolve ? resolve(data) : data; }
};

template <typename P>
struct SelfParam {
    using U = std::remove_pointer_t<std::remove_reference_t<P>>;
    using Storage = U*;
    static constexpr bool kConsumes = false;
    static bool load(const Call& c, uint32_t, Storage& out) {
        out = static_cast<U*>(c.self());
        return out != nullptr || std::is_pointer_v<P>;
    }
    static P pass(Storage& s) {
        if constexpr (std::is_pointer_v<P>) {
            return s;
        } else {
            return *s;
        }
    }
};

template <typename P>
using ParamOf = std::conditional_t<isSelf<P>(), SelfParam<P>, Param<std::remove_cvref_t<P>>>;

template <typename... P>
constexpr std::array<uint32_t, sizeof...(P) + 1> argumentPositions() {
    std::array<uint32_t, sizeof...(P) + 1> at{};
    uint32_t next = 1;
    size_t i = 0;
    ((at[i++] = ParamOf<P>::kConsumes ? next++ : 0), ...);
    return at;
}

template <typename... P>
constexpr bool hasSelf() {
    return (isSelf<P>() || ...);
}
// An instance taken by reference: the member needs a live instance.
template <typename... P>
constexpr bool needsLiveSelf() {
    return ((isSelf<P>() && std::is_reference_v<P>) || ...);
}

template <typename F>
struct Signature;
template <typename R, typename... P>
struct Signature<R (*)(P...)> {
    using Result = R;
    using Object = void;
    static constexpr bool kSelf = hasSelf<P...>();
    static constexpr bool kLive = needsLiveSelf<P...>();
    template <auto F, typename... S>
    static R apply(void*, S&... storage) {
        return F(ParamOf<P>::pass(storage)...);
    }
    using Params = std::tuple<P...>;
};
template <typename R, typename... P>
struct Signature<R (*)(P...) noexcept> : Signature<R (*)(P...)> {};
template <typename R, typename C, typename... P>
struct Signature<R (C::*)(P...)> {
    using Result = R;
    using Object = C;
    static constexpr bool kSelf = true;
    static constexpr bool kLive = true;
    template <auto F, typename... S>
    static R apply(void* self, S&... storage) {
        return (static_cast<C*>(self)->*F)(ParamOf<P>::pass(storage)...);
    }
    using Params = std::tuple<P...>;
};
template <typename R, typename C, typename... P>
struct Signature<R (C::*)(P...) const> : Signature<R (C::*)(P...)> {};
template <typename R, typename C, typename... P>
struct Signature<R (C::*)(P...) noexcept> : Signature<R (C::*)(P...)> {};
template <typename R, typename C, typename... P>
struct Signature<R (C::*)(P...) const noexcept> : Signature<R (C::*)(P...)> {};

template <typename R>
struct Result;

// Converts the arguments, calls F and stores its result; false when an argument did not fit.
template <auto F, typename Tuple>
struct Caller;
template <auto F, typename... P>
struct Caller<F, std::tuple<P...>> {
    using Sig = Signature<decltype(F)>;
    using R = typename Sig::Result;

    template <size_t... I>
    static bool run(const Call& c, ScriptValue* result, std::index_sequence<I...>) {
        static constexpr auto at = argumentPositions<P...>();
        std::tuple<typename ParamOf<P>::Storage...> storage;
        // Arguments first, the instance last (see Call::self).
        if (!((isSelf<P>() || ParamOf<P>::load(c, at[I], std::get<I>(storage))) && ...)) {
            return false;
        }
        if (!((!isSelf<P>() || ParamOf<P>::load(c, at[I], std::get<I>(storage))) && ...)) {
            return false;
        }
        void* object = nullptr;
        if constexpr (!std::is_void_v<typename Sig::Object>) {
            object = c.self();
            if (!object) return false;
        }
        if constexpr (std::is_void_v<R>) {
            Sig::template apply<F>(object, std::get<I>(storage)...);
            return true;
        } else {
            return Result<R>::store(c, Sig::template apply<F>(object, std::get<I>(storage)...),
                                    result);
        }
    }
    static bool run(const Call& c, ScriptValue* result) {
        return run(c, result, std::index_sequence_for<P...>{});
    }
};

template <auto F>
bool callWith(const Call& c, ScriptValue* result) {
    using Sig = Signature<decltype(F)>;
    return Caller<F, typename Sig::Params>::run(c, result);
}

template <auto F>
void invokeThunk(const Call& c, ScriptValue* result, Empty empty) {
    if (!callWith<F>(c, result)) *result = emptyValue(c.engine, empty);
}

template <auto G>
void getThunk(const Call& c, ScriptValue* out) {
    if (!callWith<G>(c, out)) *out = makeUndefined();
}

// A setter receives the assigned value as its one argument (c.argv).
template <auto S>
void setThunk(const Call& c, ScriptValue* ignored) {
    callWith<S>(c, ignored);
}

template <auto Field>
struct HandlerField;
template <typename C, ScriptValue C::*Field>
struct HandlerField<Field> {
    static void get(const Call& c, ScriptValue* out) {
        if (auto* self = static_cast<C*>(c.self())) *out = self->*Field;
    }
    static void set(const Call& c, ScriptValue*) {
        auto* self = static_cast<C*>(c.self());
        if (self && c.argv[1].tag == kTagFunction) self->*Field = c.argv[1];
    }
    static void mark(ScriptEngine* engine, void* self) {
        markValue(engine, static_cast<C*>(self)->*Field);
    }
};

}  // namespace detail

// ---------------------------------------------------------------------------------------------
// Rows.

template <auto F>
constexpr Member method(const char* name, Empty empty = Empty::kUndefined) {
    static_assert(detail::Signature<decltype(F)>::kSelf,
                  "a method takes the instance (T& or T*); use classMethod otherwise");
    return {name,
            MemberKind::kMethod,
            !detail::Signature<decltype(F)>::kLive,
            empty,
            detail::invokeThunk<F>,
            nullptr,
            nullptr,
            nullptr,
            0,
            0,
            nullptr};
}

// A method that takes no instance: it answers on the class value and on every instance.
template <auto F>
constexpr Member classMethod(const char* name, Empty empty = Empty::kUndefined) {
    static_assert(!detail::Signature<decltype(F)>::kSelf, "a class method takes no instance");
    return {name,
            MemberKind::kMethod,
            true,
            empty,
            detail::invokeThunk<F>,
            nullptr,
            nullptr,
            nullptr,
            0,
            0,
            nullptr};
}

// A read-only property: assignments are accepted and ignored.
template <auto G>
constexpr Member getter(const char* name) {
    return {name,
            MemberKind::kProperty,
            !detail::Signature<decltype(G)>::kLive,
            Empty{},
            nullptr,
            detail::getThunk<G>,
            nullptr,
            nullptr,
            0,
            0,
            nullptr};
}

// A read/write property; an assigned value that does not fit the setter's parameter is ignored.
template <auto G, auto S>
constexpr Member property(const char* name) {
    return {name,
            MemberKind::kProperty,
            !detail::Signature<decltype(G)>::kLive,
            Empty{},
            nullptr,
            detail::getThunk<G>,
            detail::setThunk<S>,
            nullptr,
            0,
            0,
            nullptr};
}

// An event property such as onReceive: a ScriptValue field of the instance.
template <auto Field>
constexpr Member handler(const char* name) {
    using H = detail::HandlerField<Field>;
    return {name,   MemberKind::kHandler, false, Empty{}, nullptr, H::get, H::set, H::mark, 0, 0,
            nullptr};
}

constexpr Member constant(const char* name, int64_t value) {
    return {
        name,   MemberKind::kConstant, true, Empty{}, nullptr, nullptr, nullptr, nullptr, value, 0,
        nullptr};
}
constexpr Member constant(const char* name, double value) {
    return {name,    MemberKind::kConstant,
            true,    Empty::kZero,
            nullptr, nullptr,
            nullptr, nullptr,
            0,       value,
            nullptr};
}
constexpr Member constant(const char* name, const char* text) {
    return {name,    MemberKind::kConstant,
            true,    Empty::kEmptyString,
            nullptr, nullptr,
            nullptr, nullptr,
            0,       0,
            text};
}

// `toString` giving a fixed text (the class value and every instance).
constexpr Member objectText(const char* text) {
    return {
        "toString", MemberKind::kMethod, true, Empty{}, nullptr, nullptr, nullptr, nullptr, 0, 0,
        text};
}

// A construct hook from a factory: its arguments are converted like a method's; a null
// unique_ptr (or an argument that does not fit) gives null.
template <auto F>
void constructor(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv,
                 ScriptValue* result);
// The same as a call hook: calling the class value constructs.
template <auto F>
void constructorCall(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
                     ScriptValue* argv) {
    if (!data) constructor<F>(engine, cls, argv, result);
}

// ---------------------------------------------------------------------------------------------
// Parameter kinds.

template <typename P>
requires std::is_integral_v<P> &&(!std::is_same_v<P, bool>)struct Param<P> {
    using Storage = P;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out) {
        if (!Args(c.argv).has(i) || c.argv[i].tag != kTagInteger) return false;
        out = static_cast<P>(c.argv[i].i);
        return true;
    }
    static P pass(Storage& s) { return s; }
};

template <>
struct Param<double> {
    using Storage = double;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out);
    static double pass(Storage& s) { return s; }
};

template <>
struct Param<bool> {
    using Storage = bool;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out);
    static bool pass(Storage& s) { return s; }
};

template <>
struct Param<std::u16string> {
    using Storage = std::u16string;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out);
    static std::u16string& pass(Storage& s) { return s; }
};

template <>
struct Param<std::string> {
    using Storage = std::string;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out);
    static std::string& pass(Storage& s) { return s; }
};

template <>
struct Param<AsString> {
    using Storage = AsString;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out);
    static AsString& pass(Storage& s) { return s; }
};

template <>
struct Param<Path> {
    using Storage = Path;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out);
    static Path& pass(Storage& s) { return s; }
};

template <>
struct Param<Function> {
    using Storage = Function;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out) {
        if (!Args(c.argv).has(i) || c.argv[i].tag != kTagFunction) return false;
        out.value = c.argv[i];
        return true;
    }
    static Function& pass(Storage& s) { return s; }
};

template <typename T, ClassId Id>
struct Param<Instance<T, Id>> {
    using Storage = Instance<T, Id>;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out) {
        if (!Args(c.argv).has(i) || !isHostInstanceOf(c.argv[i], Id)) return false;
        void* object = resolvedData(c.argv[i]);
        if (!object) return false;
        out.object = static_cast<T*>(object);
        out.value = c.argv[i];
        return true;
    }
    static Storage& pass(Storage& s) { return s; }
};

template <>
struct Param<ScriptValue> {
    using Storage = ScriptValue;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out) {
        out = Args(c.argv)[i];
        return true;
    }
    static ScriptValue& pass(Storage& s) { return s; }
};

template <typename P>
struct Param<std::optional<P>> {
    using Storage = std::optional<P>;
    static constexpr bool kConsumes = true;
    static bool load(const detail::Call& c, uint32_t i, Storage& out) {
        if (!Args(c.argv).has(i) || c.argv[i].tag == kTagUndefined) return true;
        typename Param<P>::Storage value{};
        if (!Param<P>::load(c, i, value)) return false;
        out.emplace(std::move(value));
        return true;
    }
    static Storage& pass(Storage& s) { return s; }
};

template <>
struct Param<ScriptEngine*> {
    using Storage = ScriptEngine*;
    static constexpr bool kConsumes = false;
    static bool load(const detail::Call& c, uint32_t, Storage& out) {
        out = c.engine;
        return true;
    }
    static ScriptEngine* pass(Storage& s) { return s; }
};

template <>
struct Param<Args> {
    using Storage = ScriptValue*;
    static constexpr bool kConsumes = false;
    static bool load(const detail::Call& c, uint32_t, Storage& out) {
        out = c.argv;
        return true;
    }
    static Args pass(Storage& s) { return Args(s); }
};

// ---------------------------------------------------------------------------------------------
// Result kinds. store() returns false when the member's empty result stands instead.

namespace detail {

template <typename R>
requires std::is_integral_v<R> &&(!std::is_same_v<R, bool>)struct Result<R> {
    static bool store(const Call&, R value, ScriptValue* out) {
        *out = makeInteger(static_cast<int64_t>(value));
        return true;
    }
};
template <>
struct Result<bool> {
    static bool store(const Call&, bool value, ScriptValue* out) {
        *out = makeBoolean(value);
        return true;
    }
};
template <>
struct Result<double> {
    static bool store(const Call&, double value, ScriptValue* out) {
        *out = makeNumber(value);
        return true;
    }
};
template <>
struct Result<ScriptValue> {
    static bool store(const Call&, const ScriptValue& value, ScriptValue* out) {
        *out = value;
        return true;
    }
};
template <>
struct Result<std::u16string> {
    static bool store(const Call& c, const std::u16string& value, ScriptValue* out) {
        *out = newString(c.engine, value);
        return true;
    }
};
template <>
struct Result<std::string> {
    static bool store(const Call& c, const std::string& value, ScriptValue* out) {
        newStringFromAnsi(c.engine, out, value.data(), value.size());
        return true;
    }
};
template <>
struct Result<const char*> {
    static bool store(const Call& c, const char* value, ScriptValue* out) {
        if (!value) return false;
        *out = newStringFromAscii(c.engine, value);
        return true;
    }
};
template <typename R>
struct Result<std::optional<R>> {
    static bool store(const Call& c, std::optional<R>&& value, ScriptValue* out) {
        return value && Result<R>::store(c, std::move(*value), out);
    }
};
// Constructors only: the new instance of the class being constructed owns the object.
template <typename T>
struct Result<std::unique_ptr<T>> {
    static bool store(const Call& c, std::unique_ptr<T>&& object, ScriptValue* out) {
        if (!object || !c.cls) return false;
        newHostValue(c.engine, out, c.cls, object.get());
        object.release();
        return true;
    }
};

}  // namespace detail

template <auto F>
void constructor(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv,
                 ScriptValue* result) {
    static_assert(!detail::Signature<decltype(F)>::kSelf, "a constructor takes no instance");
    *result = makeNull();
    guarded(engine, [&] {
        using Sig = detail::Signature<decltype(F)>;
        detail::Call call{engine, argv, nullptr, nullptr, cls};
        if (!detail::Caller<F, typename Sig::Params>::run(call, result)) {
            *result = makeNull();
        }
    });
}

}  // namespace quill::bind
