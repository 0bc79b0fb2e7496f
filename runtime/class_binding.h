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

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

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
    bool classLevel = false;  // answers without a live instance
    Empty empty = Empty::kUndefined;
    Invoke invoke = nullptr;  // methods (null: `text` is the answer)
    Get get = nullptr;        // properties and handlers
    Set set = nullptr;        // null: assignments are ignored
    Mark mark = nullptr;      // handlers
    // Constants: an integer, a double or ASCII text.
    bool isNumber = false;
    int64_t integer = 0;
    double number = 0;
    const char* text = nullptr;
    // The reference's text: the argument list as an author writes it ("target [, overwrite]";
    // null for properties, handlers and constants) and one line on what the member does.
    const char* synopsis = nullptr;
    const char* summary = nullptr;

    // `.doc(...)` on a row keeps each table row one constant expression.
    constexpr Member doc(const char* arguments, const char* line) const {
        Member row = *this;
        row.synopsis = arguments;
        row.summary = line;
        return row;
    }
    constexpr Member doc(const char* line) const {
        Member row = *this;
        row.summary = line;
        return row;
    }
};

using MemberTable = std::span<const Member>;

// A global constant registered with a class ($STREAM_IN and the like).
struct GlobalConstant {
    const char* name;
    int64_t value;
    const char* summary = nullptr;
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
    // The reference's text: the constructor's argument list (null when scripts do not construct
    // the class) and one line on what the class is for.
    const char* synopsis = nullptr;
    const char* summary = nullptr;
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

// The rows in effect of a class registered with defineClass, in the order of its tables (a row
// replaced by a later table's row of the same name is listed once, at its first position);
// empty for other classes. The reference is generated from these.
std::vector<const Member*> classMembers(const ClassDescriptor* cls);
// The global constants registered with such a class.
std::vector<GlobalConstant> classGlobals(const ClassDescriptor* cls);

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

}  // namespace quill::bind

#include "runtime/class_binding_detail.h"

namespace quill::bind {

// ---------------------------------------------------------------------------------------------
// Rows.

template <auto F>
constexpr Member method(const char* name, Empty empty = Empty::kUndefined) {
    static_assert(detail::Signature<decltype(F)>::kSelf,
                  "a method takes the instance (T& or T*); use classMethod otherwise");
    return {.name = name,
            .kind = MemberKind::kMethod,
            .classLevel = !detail::Signature<decltype(F)>::kLive,
            .empty = empty,
            .invoke = detail::invokeThunk<F>};
}

// A method that takes no instance: it answers on the class value and on every instance.
template <auto F>
constexpr Member classMethod(const char* name, Empty empty = Empty::kUndefined) {
    static_assert(!detail::Signature<decltype(F)>::kSelf, "a class method takes no instance");
    return {.name = name,
            .kind = MemberKind::kMethod,
            .classLevel = true,
            .empty = empty,
            .invoke = detail::invokeThunk<F>};
}

// A read-only property: assignments are accepted and ignored.
template <auto G>
constexpr Member getter(const char* name) {
    return {.name = name,
            .kind = MemberKind::kProperty,
            .classLevel = !detail::Signature<decltype(G)>::kLive,
            .get = detail::getThunk<G>};
}

// A read/write property; an assigned value that does not fit the setter's parameter is ignored.
template <auto G, auto S>
constexpr Member property(const char* name) {
    return {.name = name,
            .kind = MemberKind::kProperty,
            .classLevel = !detail::Signature<decltype(G)>::kLive,
            .get = detail::getThunk<G>,
            .set = detail::setThunk<S>};
}

// An event property such as onReceive: a ScriptValue field of the instance.
template <auto Field>
constexpr Member handler(const char* name) {
    using H = detail::HandlerField<Field>;
    return {
        .name = name, .kind = MemberKind::kHandler, .get = H::get, .set = H::set, .mark = H::mark};
}

constexpr Member constant(const char* name, int64_t value) {
    return {.name = name, .kind = MemberKind::kConstant, .classLevel = true, .integer = value};
}
constexpr Member constant(const char* name, double value) {
    return {.name = name,
            .kind = MemberKind::kConstant,
            .classLevel = true,
            .isNumber = true,
            .number = value};
}
constexpr Member constant(const char* name, const char* text) {
    return {.name = name, .kind = MemberKind::kConstant, .classLevel = true, .text = text};
}

// `toString` giving a fixed text (the class value and every instance).
constexpr Member objectText(const char* text) {
    return {.name = "toString", .kind = MemberKind::kMethod, .classLevel = true, .text = text};
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

// A global native function (print, the application functions): arguments and result are
// converted as for a class-level method.
template <auto F, Empty E = Empty::kUndefined>
void functionCall(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                  ScriptValue* argv) {
    static_assert(!detail::Signature<decltype(F)>::kSelf, "a function takes no instance");
    guarded(engine, [&] {
        if (!detail::callWith<F>(detail::Call{engine, argv, nullptr}, result)) {
            *result = emptyValue(engine, E);
        }
    });
}
// `synopsis` and `summary` are the reference's argument list and line for it.
template <auto F, Empty E = Empty::kUndefined>
ClassDescriptor* defineFunction(ScriptEngine* engine, const char* name,
                                const char* synopsis = nullptr, const char* summary = nullptr) {
    ClassDescriptor* cls = registerClass(engine, name);
    cls->call = functionCall<F, E>;
    cls->synopsis = synopsis;
    cls->summary = summary;
    return cls;
}

}  // namespace quill::bind