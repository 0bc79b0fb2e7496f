// Pieces of the test automation server (see server_parts.h).
#include "tests/com_server/server_parts.h"

#include <cstdio>
#include <cstring>

namespace quilltest {

HMODULE gModule = nullptr;
std::atomic<long> gLiveObjects{0};
std::atomic<long> gLocks{0};

HRESULT typeInfoOf(REFGUID guid, ITypeInfo** out) {
    // Loaded once and kept for the life of the process.
    static ITypeLib* library = nullptr;
    if (!library) {
        wchar_t path[MAX_PATH];
        if (!GetModuleFileNameW(gModule, path, MAX_PATH)) return E_FAIL;
        HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
    }
    return library->GetTypeInfoOfGuid(guid, out);
}

BSTR toBstr(const std::wstring& text) {
    return SysAllocStringLen(text.data(), UINT(text.size()));
}

namespace {

std::wstring number(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return std::wstring(buffer, buffer + std::strlen(buffer));
}

std::wstring integer(long long value) {
    return std::to_wstring(value);
}

const wchar_t* typeName(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
            return L"EMPTY";
        case VT_NULL:
            return L"NULL";
        case VT_I1:
            return L"I1";
        case VT_UI1:
            return L"UI1";
        case VT_I2:
            return L"I2";
        case VT_UI2:
            return L"UI2";
        case VT_I4:
            return L"I4";
        case VT_UI4:
            return L"UI4";
        case VT_INT:
            return L"INT";
        case VT_UINT:
            return L"UINT";
        case VT_I8:
            return L"I8";
        case VT_UI8:
            return L"UI8";
        case VT_R4:
            return L"R4";
        case VT_R8:
            return L"R8";
        case VT_CY:
            return L"CY";
        case VT_DATE:
            return L"DATE";
        case VT_BSTR:
            return L"BSTR";
        case VT_DISPATCH:
            return L"DISPATCH";
        case VT_ERROR:
            return L"ERROR";
        case VT_BOOL:
            return L"BOOL";
        case VT_VARIANT:
            return L"VARIANT";
        case VT_UNKNOWN:
            return L"UNKNOWN";
        case VT_DECIMAL:
            return L"DECIMAL";
        default:
            return L"OTHER";
    }
}

std::wstring describeArray(SAFEARRAY* array, VARTYPE element) {
    std::wstring out = L"ARRAY(";
    out += typeName(element);
    out += L")";
    if (!array) return out + L"null";
    if (SafeArrayGetDim(array) != 1) return out + L"dims=" + integer(SafeArrayGetDim(array));
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    out += L"[";
    for (LONG i = low; i <= high; ++i) {
        if (i > low) out += L",";
        VARIANT item;
        VariantInit(&item);
        void* target = element == VT_VARIANT ? static_cast<void*>(&item) : &V_UI1(&item);
        if (element == VT_BSTR) target = &V_BSTR(&item);
        if (SUCCEEDED(SafeArrayGetElement(array, &i, target))) {
            if (element != VT_VARIANT) V_VT(&item) = element;
            std::wstring text = describe(item);
            // Bytes and numbers read better without their type in a typed array.
            if (element != VT_VARIANT) text = text.substr(text.find(L':') + 1);
            out += text;
        }
        VariantClear(&item);
    }
    return out + L"]";
}

}  // namespace

std::wstring describe(const VARIANT& value) {
    VARTYPE vt = V_VT(&value);
    if (vt & VT_BYREF) {
        VARTYPE base = vt & ~VT_BYREF;
        if (!V_BYREF(&value)) return L"BYREF null";
        if (base == VT_VARIANT) return L"BYREF VARIANT(" + describe(*V_VARIANTREF(&value)) + L")";
        VARIANT view;
        VariantInit(&view);
        if (base & VT_ARRAY) {
            V_ARRAY(&view) = *V_ARRAYREF(&value);
        } else if (base == VT_BSTR) {
            V_BSTR(&view) = *V_BSTRREF(&value);
        } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
            V_UNKNOWN(&view) = *V_UNKNOWNREF(&value);
        } else {
            V_R8(&view) = 0;
            size_t size = base == VT_UI1 || base == VT_I1                      ? 1
                          : base == VT_I2 || base == VT_UI2 || base == VT_BOOL ? 2
                          : base == VT_R8 || base == VT_CY || base == VT_DATE || base == VT_I8 ||
                                  base == VT_UI8
                              ? 8
                              : 4;
            std::memcpy(&V_UI1(&view), V_BYREF(&value), size);
        }
        V_VT(&view) = base;
        return L"BYREF " + describe(view);
    }
    if (vt & VT_ARRAY) return describeArray(V_ARRAY(&value), vt & VT_TYPEMASK);
    std::wstring out = typeName(vt);
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return out;
        case VT_I1:
            return out + L":" + integer(V_I1(&value));
        case VT_UI1:
            return out + L":" + integer(V_UI1(&value));
        case VT_I2:
            return out + L":" + integer(V_I2(&value));
        case VT_UI2:
            return out + L":" + integer(V_UI2(&value));
        case VT_I4:
            return out + L":" + integer(V_I4(&value));
        case VT_INT:
            return out + L":" + integer(V_INT(&value));
        case VT_UI4:
            return out + L":" + integer(V_UI4(&value));
        case VT_UINT:
            return out + L":" + integer(V_UINT(&value));
        case VT_I8:
            return out + L":" + integer(V_I8(&value));
        case VT_UI8:
            return out + L":" + std::to_wstring(V_UI8(&value));
        case VT_ERROR:
            return out + L":" + integer(V_ERROR(&value));
        case VT_BOOL:
            return out + L":" + integer(V_BOOL(&value));
        case VT_R4:
            return out + L":" + number("%.9g", V_R4(&value));
        case VT_R8:
            return out + L":" + number("%.17g", V_R8(&value));
        case VT_DATE:
            return out + L":" + number("%.10g", V_DATE(&value));
        case VT_CY: {
            long long units = V_CY(&value).int64;
            return out + L":" + integer(units / 10000) + L"." +
                   number("%04.0f", double(units < 0 ? -(units % 10000) : units % 10000));
        }
        case VT_BSTR:
            return out + L":" + std::wstring(V_BSTR(&value) ? V_BSTR(&value) : L"");
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return out + (V_UNKNOWN(&value) ? L":object" : L":null");
        default:
            return out;
    }
}

// ---------------------------------------------------------------------------------------------

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        for (Sink& s : sinks_) s.sink->Release();
        delete this;
    }
    return left;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    *out = container_;
    if (!container_) return E_UNEXPECTED;
    container_->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    IUnknown* typed = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&typed)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = nextCookie_++;
    sinks_.push_back({*cookie, typed});
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    for (size_t i = 0; i < sinks_.size(); ++i) {
        if (sinks_[i].cookie == cookie) {
            IUnknown* sink = sinks_[i].sink;
            sinks_.erase(sinks_.begin() + long(i));
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

std::vector<IUnknown*> ConnectionPoint::sinks() {
    std::vector<IUnknown*> out;
    for (Sink& s : sinks_) {
        s.sink->AddRef();
        out.push_back(s.sink);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

namespace {

class ItemEnum final : public IEnumVARIANT {
  public:
    explicit ItemEnum(std::vector<std::wstring> items) : items_(std::move(items)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumVARIANT)) {
            *out = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ULONG got = 0;
        while (got < count && position_ < items_.size()) {
            VariantInit(&out[got]);
            V_VT(&out[got]) = VT_BSTR;
            V_BSTR(&out[got]) = toBstr(items_[position_++]);
            ++got;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        position_ += count;
        if (position_ > items_.size()) position_ = items_.size();
        return position_ < items_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        if (!out) return E_POINTER;
        auto* copy = new ItemEnum(items_);
        copy->position_ = position_;
        *out = copy;
        return S_OK;
    }

  private:
    std::atomic<ULONG> refs_{1};
    std::vector<std::wstring> items_;
    size_t position_ = 0;
};

class UntypedObject final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count != 1 || !names || !ids) return E_INVALIDARG;
        if (_wcsicmp(names[0], L"Describe") == 0) {
            ids[0] = 1;
        } else if (_wcsicmp(names[0], L"Value") == 0) {
            ids[0] = 2;
        } else {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    // Describe: every argument in the caller's order and the invocation flags; a by-reference
    // VARIANT argument is replaced by the text "set by server".
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id == 2 && (flags & DISPATCH_PROPERTYGET)) {
            if (result) {
                VariantInit(result);
                V_VT(result) = VT_I4;
                V_I4(result) = 42;
            }
            return S_OK;
        }
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        std::wstring text = L"flags=" + std::to_wstring(flags);
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANT& arg = params->rgvarg[i];
            text += L" | " + describe(arg);
            if (V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg)) {
                VariantClear(V_VARIANTREF(&arg));
                V_VT(V_VARIANTREF(&arg)) = VT_BSTR;
                V_BSTR(V_VARIANTREF(&arg)) = SysAllocString(L"set by server");
            }
        }
        if (result) {
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = toBstr(text);
        }
        return S_OK;
    }

  private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace

IEnumVARIANT* newItemEnum(std::vector<std::wstring> items) {
    return new ItemEnum(std::move(items));
}

IDispatch* newUntypedObject() {
    return new UntypedObject();
}

}  // namespace quilltest
