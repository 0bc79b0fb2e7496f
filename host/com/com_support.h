// Small pieces every COM source of the automation bridge shares: an owning interface pointer, a
// VARIANT that clears itself, the per-engine COM session that releases what collected script
// objects held, and the texts of COM failures.
#pragma once

#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/script_engine.h"

namespace quill::com {

// Owns one reference to an interface.
template <typename T>
class ComRef {
  public:
    ComRef() = default;
    // Takes over a reference the caller owns.
    static ComRef adopt(T* p) {
        ComRef r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static ComRef share(T* p) {
        if (p) p->AddRef();
        return adopt(p);
    }
    ComRef(const ComRef& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComRef() {
        if (p_) p_->Release();
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held first.
    T** put() {
        *this = ComRef();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    // Gives up ownership without releasing.
    T* detach() { return std::exchange(p_, nullptr); }

  private:
    T* p_ = nullptr;
};

template <typename T, typename From>
ComRef<T> queryInterface(From* from, REFIID iid) {
    ComRef<T> out;
    if (from) from->QueryInterface(iid, out.putVoid());
    return out;
}

// A VARIANT that is cleared when it goes out of scope.
class VariantHolder {
  public:
    VariantHolder() { VariantInit(&v_); }
    ~VariantHolder() { VariantClear(&v_); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    // Hands the contents over to the caller, leaving this one empty.
    VARIANT release() {
        VARIANT out = v_;
        VariantInit(&v_);
        return out;
    }

  private:
    VARIANT v_;
};

// What one engine's COM work shares: COM initialised on the engine's thread for as long as any of
// its automation objects lives, and the references that collected script objects held.
// Collected objects do not release their interfaces while the collector sweeps: a release can run
// the object's code (a local server's proxy even pumps messages), which must not reach scripts in
// the middle of a sweep. The session releases them at the next COM operation instead, and
// everything when the engine goes.
class ComSession {
  public:
    ComSession();
    ~ComSession();
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;

    // Queues a reference (as a VARIANT: interfaces, arrays of them, strings) for release.
    void deferClear(VARIANT value);
    void deferRelease(IUnknown* object);
    // Queues a connection to be ended (and the point released).
    void deferUnadvise(IConnectionPoint* point, DWORD cookie);
    // Performs what was queued. Safe to call from anywhere outside a sweep, also re-entered.
    void drain();

    // Nested event deliveries: a handler that makes its object fire again nests on the native
    // stack, so the depth is bounded well before the stack is.
    uint32_t eventDepth = 0;

  private:
    struct Connection {
        IConnectionPoint* point;
        DWORD cookie;
    };
    bool initialized_ = false;
    std::vector<VARIANT> values_;
    std::vector<Connection> connections_;
};

// The session of an engine's automation classes (created with ActiveXObject's registration).
std::shared_ptr<ComSession> sessionOf(ScriptEngine* engine);

// The system's message text for an HRESULT (user default language), as ANSI text without the
// trailing line break; a text naming the code when the system has none.
std::string hresultText(HRESULT hr);
// Raises the script runtime error for a failed call: for DISP_E_EXCEPTION the text made from
// the exception's source, description and help file, else the system's message. Frees the
// exception's strings.
[[noreturn]] void raiseComFailure(ScriptEngine* engine, HRESULT hr, EXCEPINFO* exception);
// Frees the strings an EXCEPINFO holds.
void clearException(EXCEPINFO* exception);
// The text for a COM exception: "%s:%s. See also: %s." (absent parts empty). Runs the deferred
// fill-in first and frees the strings.
std::string exceptionText(EXCEPINFO* exception);

// UTF-16 text of a BSTR (empty for null).
inline std::u16string fromBstr(BSTR text) {
    if (!text) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}
// A new BSTR; raises "Out of memory" when the system cannot make it.
BSTR newBstr(ScriptEngine* engine, std::u16string_view text);
inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace quill::com
