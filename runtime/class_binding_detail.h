// The machinery behind the declared host classes of class_binding.h: how each C++ parameter
// type is filled from a native call, how results are stored, and the thunks a member row points
// to. Include class_binding.h, not this file.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "runtime/script_engine.h"

namespace quill::bind {

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
        [[maybe_unused]] static constexpr auto at = argumentPositions<P...>();  // none for ()
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

}  // namespace quill::bind
