// The test server object: a hand-written IDispatch (so each test sees exactly the VARIANT the
// script bridge passed), events and property notifications through connection points, class
// information for finding its events, and IPersistFile for creation through a file moniker.
#include <cmath>
#include <string>

#include "test_server_h.h"
#include "tests/com_server/server_parts.h"

namespace quilltest {

namespace {

constexpr DISPID kName = 100, kCounter = 101, kFileName = 102, kConnections = 103,
                 kLiveObjects = 104, kCount = 105;
constexpr DISPID kPing = 1, kAdjust = 2, kAsk = 3;

const std::wstring kItems[] = {L"alpha", L"beta", L"gamma"};

void setBstr(VARIANT* out, const std::wstring& text) {
    if (!out) return;
    VariantInit(out);
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = toBstr(text);
}

void setI4(VARIANT* out, long value) {
    if (!out) return;
    VariantInit(out);
    V_VT(out) = VT_I4;
    V_I4(out) = value;
}

HRESULT fillDeferred(EXCEPINFO* exception) {
    exception->bstrSource = SysAllocString(L"Deferred.Source");
    exception->bstrDescription = SysAllocString(L"filled in later");
    exception->bstrHelpFile = SysAllocString(L"later.hlp");
    return S_OK;
}

// A two-by-three matrix of integers 10 * row + column, rows counted from 1.
VARIANT makeMatrix() {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG row = 1; row <= 2; ++row) {
        for (LONG column = 0; column < 3; ++column) {
            LONG at[2] = {row, column};
            LONG value = 10 * row + column;
            SafeArrayPutElement(array, at, &value);
        }
    }
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ARRAY | VT_I4;
    V_ARRAY(&v) = array;
    return v;
}

VARIANT makeVector(VARTYPE element, LONG count, LONG lower = 0) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ARRAY | element;
    V_ARRAY(&v) = SafeArrayCreateVector(element, lower, ULONG(count));
    return v;
}

class TestServer final : public IDispatch,
                         public IConnectionPointContainer,
                         public IProvideClassInfo,
                         public IPersistFile {
  public:
    TestServer() {
        ++gLiveObjects;
        events_ = new ConnectionPoint(this, DIID_DTestEvents);
        notify_ = new ConnectionPoint(this, IID_IPropertyNotifySink);
    }
    ~TestServer() {
        events_->orphan();
        notify_->orphan();
        events_->Release();
        notify_->Release();
        --gLiveObjects;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID_DTestServer)) {
            *out = static_cast<IDispatch*>(this);
        } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
            *out = static_cast<IConnectionPointContainer*>(this);
        } else if (IsEqualIID(riid, IID_IProvideClassInfo)) {
            *out = static_cast<IProvideClassInfo*>(this);
        } else if (IsEqualIID(riid, IID_IPersistFile) || IsEqualIID(riid, IID_IPersist)) {
            *out = static_cast<IPersistFile*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return typeInfoOf(DIID_DTestServer, out);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        ITypeInfo* info = nullptr;
        HRESULT hr = typeInfoOf(DIID_DTestServer, &info);
        if (FAILED(hr)) return hr;
        hr = info->GetIDsOfNames(names, count, ids);
        info->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        ConnectionPoint* point = IsEqualIID(riid, DIID_DTestEvents)          ? events_
                                 : IsEqualIID(riid, IID_IPropertyNotifySink) ? notify_
                                                                             : nullptr;
        *out = point;
        if (!point) return CONNECT_E_NOCONNECTION;
        point->AddRef();
        return S_OK;
    }

    // IProvideClassInfo
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
        if (!out) return E_POINTER;
        return typeInfoOf(CLSID_TestServer, out);
    }

    // IPersistFile (only Load does something)
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_TestServer;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
        fileName_ = name ? name : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name) override {
        if (name) *name = nullptr;
        return E_NOTIMPL;
    }

  private:
    HRESULT fire(DISPID event, VARIANT* args, UINT count, VARIANT* answer) {
        DISPPARAMS params{args, nullptr, count, 0};
        for (IUnknown* sink : events_->sinks()) {
            IDispatch* dispatch = nullptr;
            if (SUCCEEDED(
                    sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
                if (answer) VariantClear(answer);
                dispatch->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &params, answer, nullptr,
                                 nullptr);
                dispatch->Release();
            }
            sink->Release();
        }
        return S_OK;
    }

    // Asks the property-notification sinks before a change (false: some refused) or tells
    // them after it.
    bool notify(DISPID property, bool before) {
        bool allowed = true;
        for (IUnknown* sink : notify_->sinks()) {
            IPropertyNotifySink* target = nullptr;
            if (SUCCEEDED(sink->QueryInterface(IID_IPropertyNotifySink,
                                               reinterpret_cast<void**>(&target)))) {
                HRESULT hr = before ? target->OnRequestEdit(property) : target->OnChanged(property);
                if (hr == S_FALSE) allowed = false;
                target->Release();
            }
            sink->Release();
        }
        return allowed;
    }

    HRESULT property(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
    HRESULT byReference(DISPID id, VARIANT& arg, VARIANT* result, UINT* argError);
    HRESULT make(const std::wstring& kind, long count, VARIANT* result);

    std::atomic<ULONG> refs_{1};
    ConnectionPoint* events_;
    ConnectionPoint* notify_;
    std::wstring name_ = L"server";
    long counter_ = 0;
    std::wstring fileName_;
};

HRESULT TestServer::property(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT value;
        VariantInit(&value);
        HRESULT hr =
            VariantChangeType(&value, &params->rgvarg[0], 0, id == kName ? VT_BSTR : VT_I4);
        if (FAILED(hr)) return hr;
        if (id == kName) {
            if (notify(kName, true)) {
                name_ = V_BSTR(&value);
                notify(kName, false);
            }
        } else if (id == kCounter) {
            counter_ = V_I4(&value);
        } else {
            VariantClear(&value);
            return DISP_E_MEMBERNOTFOUND;
        }
        VariantClear(&value);
        return S_OK;
    }
    switch (id) {
        case kName:
            setBstr(result, name_);
            return S_OK;
        case kCounter:
            setI4(result, counter_);
            return S_OK;
        case kFileName:
            setBstr(result, fileName_);
            return S_OK;
        case kConnections:
            setI4(result, events_->count() + notify_->count());
            return S_OK;
        case kLiveObjects:
            setI4(result, gLiveObjects);
            return S_OK;
        case kCount:
            setI4(result, 3);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// The Ref members describe what they got, then change it: numbers grow by one, text gets "!",
// booleans flip, dates move a day on, an object becomes this server, a VARIANT becomes the text
// "changed", an array gets one more element.
HRESULT TestServer::byReference(DISPID id, VARIANT& arg, VARIANT* result, UINT* argError) {
    static const VARTYPE kTypes[] = {VT_UI1,
                                     VT_I2,
                                     VT_I4,
                                     VT_R4,
                                     VT_R8,
                                     VT_CY,
                                     VT_DATE,
                                     VT_BSTR,
                                     VT_DISPATCH,
                                     VT_ERROR,
                                     VT_BOOL,
                                     VT_VARIANT,
                                     VT_ARRAY | VT_VARIANT};
    VARTYPE expected = kTypes[id - 21];
    if (V_VT(&arg) != (VT_BYREF | expected) || !V_BYREF(&arg)) {
        if (argError) *argError = 0;
        return DISP_E_TYPEMISMATCH;
    }
    setBstr(result, describe(arg));
    switch (expected) {
        case VT_UI1:
            *V_UI1REF(&arg) += 1;
            break;
        case VT_I2:
            *V_I2REF(&arg) += 1;
            break;
        case VT_I4:
            *V_I4REF(&arg) += 1;
            break;
        case VT_R4:
            *V_R4REF(&arg) += 1;
            break;
        case VT_R8:
            *V_R8REF(&arg) += 1;
            break;
        case VT_CY:
            V_CYREF(&arg)->int64 += 10000;
            break;
        case VT_DATE:
            *V_DATEREF(&arg) += 1;
            break;
        case VT_ERROR:
            *V_ERRORREF(&arg) += 1;
            break;
        case VT_BOOL:
            *V_BOOLREF(&arg) = *V_BOOLREF(&arg) ? VARIANT_FALSE : VARIANT_TRUE;
            break;
        case VT_BSTR: {
            std::wstring text = *V_BSTRREF(&arg) ? *V_BSTRREF(&arg) : L"";
            SysFreeString(*V_BSTRREF(&arg));
            *V_BSTRREF(&arg) = toBstr(text + L"!");
            break;
        }
        case VT_DISPATCH:
            if (*V_DISPATCHREF(&arg)) (*V_DISPATCHREF(&arg))->Release();
            AddRef();
            *V_DISPATCHREF(&arg) = this;
            break;
        case VT_VARIANT:
            VariantClear(V_VARIANTREF(&arg));
            setBstr(V_VARIANTREF(&arg), L"changed");
            break;
        default: {
            SAFEARRAY*& array = *V_ARRAYREF(&arg);
            LONG high = -1;
            if (array) SafeArrayGetUBound(array, 1, &high);
            SAFEARRAY* grown = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(high + 2));
            for (LONG i = 0; i <= high; ++i) {
                VARIANT item;
                VariantInit(&item);
                SafeArrayGetElement(array, &i, &item);
                SafeArrayPutElement(grown, &i, &item);
                VariantClear(&item);
            }
            VARIANT last;
            setI4(&last, 99);
            LONG end = high + 1;
            SafeArrayPutElement(grown, &end, &last);
            if (array) SafeArrayDestroy(array);
            array = grown;
            break;
        }
    }
    return S_OK;
}

HRESULT TestServer::make(const std::wstring& kind, long count, VARIANT* result) {
    if (!result) return S_OK;
    VariantInit(result);
    VARIANT& v = *result;
    if (kind == L"empty") {
    } else if (kind == L"null") {
        V_VT(&v) = VT_NULL;
    } else if (kind == L"i1") {
        V_VT(&v) = VT_I1, V_I1(&v) = -7;
    } else if (kind == L"ui2") {
        V_VT(&v) = VT_UI2, V_UI2(&v) = 65535;
    } else if (kind == L"ui4") {
        V_VT(&v) = VT_UI4, V_UI4(&v) = 4000000000u;
    } else if (kind == L"i8") {
        V_VT(&v) = VT_I8, V_I8(&v) = -9000000000000000000LL;
    } else if (kind == L"ui8") {
        V_VT(&v) = VT_UI8, V_UI8(&v) = 18000000000000000000ull;
    } else if (kind == L"r4") {
        V_VT(&v) = VT_R4, V_R4(&v) = 0.5f;
    } else if (kind == L"cy") {
        V_VT(&v) = VT_CY, V_CY(&v).int64 = 123456;  // 12.3456
    } else if (kind == L"decimal") {
        VarDecFromR8(2.25, &V_DECIMAL(&v));
        V_VT(&v) = VT_DECIMAL;
    } else if (kind == L"date") {
        V_VT(&v) = VT_DATE, V_DATE(&v) = 36526.75;  // 2000-01-01 18:00
    } else if (kind == L"olddate") {
        V_VT(&v) = VT_DATE, V_DATE(&v) = -1.25;  // 1899-12-29 06:00
    } else if (kind == L"error") {
        V_VT(&v) = VT_ERROR, V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    } else if (kind == L"bool") {
        V_VT(&v) = VT_BOOL, V_BOOL(&v) = VARIANT_TRUE;
    } else if (kind == L"nulldispatch") {
        V_VT(&v) = VT_DISPATCH, V_DISPATCH(&v) = nullptr;
    } else if (kind == L"unknown") {
        AddRef();
        V_VT(&v) = VT_UNKNOWN, V_UNKNOWN(&v) = static_cast<IDispatch*>(this);
    } else if (kind == L"enum") {
        V_VT(&v) = VT_UNKNOWN, V_UNKNOWN(&v) = newItemEnum({L"x"});
    } else if (kind == L"matrix") {
        v = makeMatrix();
    } else if (kind == L"bytes") {
        v = makeVector(VT_UI1, 4);
        for (LONG i = 0; i < 4; ++i) {
            BYTE b = BYTE(250 + i);
            SafeArrayPutElement(V_ARRAY(&v), &i, &b);
        }
    } else if (kind == L"nested") {
        // [1, ["two", true]] with the inner array inside a VARIANT, counted from 5.
        v = makeVector(VT_VARIANT, 2, 5);
        VARIANT inner = makeVector(VT_VARIANT, 2);
        VARIANT item;
        setBstr(&item, L"two");
        LONG at = 0;
        SafeArrayPutElement(V_ARRAY(&inner), &at, &item);
        VariantClear(&item);
        V_VT(&item) = VT_BOOL, V_BOOL(&item) = VARIANT_TRUE;
        at = 1;
        SafeArrayPutElement(V_ARRAY(&inner), &at, &item);
        setI4(&item, 1);
        at = 5;
        SafeArrayPutElement(V_ARRAY(&v), &at, &item);
        at = 6;
        SafeArrayPutElement(V_ARRAY(&v), &at, &inner);
        VariantClear(&inner);
    } else if (kind == L"deep") {
        // An array holding an array holding ... count levels.
        VARIANT current;
        setI4(&current, 0);
        for (long i = 0; i < count; ++i) {
            VARIANT outer = makeVector(VT_VARIANT, 1);
            LONG at = 0;
            SafeArrayPutElement(V_ARRAY(&outer), &at, &current);
            VariantClear(&current);
            current = outer;
        }
        v = current;
    } else if (kind == L"string") {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocStringLen(nullptr, UINT(count));
        if (!V_BSTR(&v)) return E_OUTOFMEMORY;
        for (long i = 0; i < count; ++i) V_BSTR(&v)[i] = L'a' + i % 26;
    } else if (kind == L"array") {
        v = makeVector(VT_I4, count);
        if (!V_ARRAY(&v)) return E_OUTOFMEMORY;
    } else if (kind == L"bigbytes") {
        v = makeVector(VT_UI1, count);
        if (!V_ARRAY(&v)) return E_OUTOFMEMORY;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT TestServer::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argError) {
    if (!params) return E_INVALIDARG;
    if (result) VariantInit(result);
    if (id >= kName && id <= kCount) return property(id, flags, params, result);
    // Everything else is a method, which a property read does not reach.
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    UINT count = params->cArgs;
    // Arguments in the caller's order.
    auto arg = [&](UINT i) -> VARIANT& { return params->rgvarg[count - 1 - i]; };
    auto text = [&](UINT i) {
        VARIANT v;
        VariantInit(&v);
        std::wstring out;
        if (SUCCEEDED(VariantChangeType(&v, &arg(i), 0, VT_BSTR))) out = V_BSTR(&v);
        VariantClear(&v);
        return out;
    };
    auto number = [&](UINT i) {
        VARIANT v;
        VariantInit(&v);
        long out = 0;
        if (SUCCEEDED(VariantChangeType(&v, &arg(i), 0, VT_I4))) out = V_I4(&v);
        return out;
    };
    if (id >= 1 && id <= 16) {
        if (count != (id == 15 ? 2u : 1u) && !(id == 15 && count == 1)) return DISP_E_BADPARAMCOUNT;
        std::wstring out = describe(arg(0));
        if (id == 15) out += L" " + (count > 1 ? describe(arg(1)) : std::wstring(L"missing"));
        setBstr(result, out);
        return S_OK;
    }
    if (id >= 21 && id <= 33) {
        if (count != 1) return DISP_E_BADPARAMCOUNT;
        return byReference(id, arg(0), result, argError);
    }
    switch (id) {
        case 40:
            exception->bstrSource = SysAllocString(L"Quill.TestServer");
            exception->bstrDescription = SysAllocString(L"Something failed");
            exception->bstrHelpFile = SysAllocString(L"C:\\help\\server.chm");
            exception->scode = E_FAIL;
            return DISP_E_EXCEPTION;
        case 41:
            exception->bstrDescription = SysAllocString(L"Only a description");
            exception->scode = E_FAIL;
            return DISP_E_EXCEPTION;
        case 42:
            return E_ACCESSDENIED;
        case 43:
            exception->pfnDeferredFillIn = fillDeferred;
            exception->scode = E_FAIL;
            return DISP_E_EXCEPTION;
        case 50: {
            if (count != 2) return DISP_E_BADPARAMCOUNT;
            VARIANT args[2];
            setI4(&args[0], number(1));
            setBstr(&args[1], text(0));
            fire(kPing, args, 2, nullptr);
            VariantClear(&args[0]);
            VariantClear(&args[1]);
            return S_OK;
        }
        case 51: {
            if (count != 2) return DISP_E_BADPARAMCOUNT;
            LONG value = number(0);
            BSTR words = toBstr(text(1));
            VARIANT args[2];
            VariantInit(&args[0]);
            VariantInit(&args[1]);
            V_VT(&args[0]) = VT_BYREF | VT_BSTR, V_BSTRREF(&args[0]) = &words;
            V_VT(&args[1]) = VT_BYREF | VT_I4, V_I4REF(&args[1]) = &value;
            fire(kAdjust, args, 2, nullptr);
            setBstr(result, std::to_wstring(value) + L"|" + (words ? words : L""));
            SysFreeString(words);
            return S_OK;
        }
        case 52: {
            if (count != 1) return DISP_E_BADPARAMCOUNT;
            VARIANT question;
            setBstr(&question, text(0));
            VARIANT answer;
            VariantInit(&answer);
            fire(kAsk, &question, 1, &answer);
            VariantClear(&question);
            if (result) {
                *result = answer;
            } else {
                VariantClear(&answer);
            }
            return S_OK;
        }
        case 60:
        case 61:
            if (count != (id == 60 ? 1u : 2u)) return DISP_E_BADPARAMCOUNT;
            return make(text(0), id == 61 ? number(1) : 0, result);
        case 62:
            if (result) {
                V_VT(result) = VT_DISPATCH;
                V_DISPATCH(result) = newUntypedObject();
            }
            return S_OK;
        case DISPID_NEWENUM:
            if (result) {
                V_VT(result) = VT_UNKNOWN;
                V_UNKNOWN(result) = newItemEnum({std::begin(kItems), std::end(kItems)});
            }
            return S_OK;
        case DISPID_VALUE: {
            if (count != 1) return DISP_E_BADPARAMCOUNT;
            if (V_VT(&arg(0)) == VT_BSTR) {
                setBstr(result, L"item " + text(0));
                return S_OK;
            }
            long index = number(0);
            if (index < 0 || index > 2) return DISP_E_BADINDEX;
            setBstr(result, kItems[index]);
            return S_OK;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace

IDispatch* newTestServer() {
    return new TestServer();
}

}  // namespace quilltest
