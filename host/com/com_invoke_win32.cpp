// Invoking automation members with converted script arguments (see com_invoke.h).
#include "host/com/com_invoke.h"

#include <vector>

#include "host/com/com_variant.h"

namespace quill::com {

namespace {

// The argument VARIANTs of one call and the temporaries that by-reference arguments point to;
// both are cleared when the call is over, whatever happened.
class CallArguments {
  public:
    explicit CallArguments(size_t count) : slots_(count), storage_(count) {
        for (size_t i = 0; i < count; ++i) {
            VariantInit(&slots_[i]);
            VariantInit(&storage_[i]);
        }
    }
    ~CallArguments() {
        for (VARIANT& v : slots_) {
            if (!(V_VT(&v) & VT_BYREF)) VariantClear(&v);
        }
        for (VARIANT& v : storage_) VariantClear(&v);
    }
    CallArguments(const CallArguments&) = delete;
    CallArguments& operator=(const CallArguments&) = delete;

    // DISPPARAMS take the arguments last first.
    VARIANT& slot(size_t argument) { return slots_[slots_.size() - 1 - argument]; }
    VARIANT& storage(size_t argument) { return storage_[argument]; }
    VARIANT* data() { return slots_.data(); }

  private:
    std::vector<VARIANT> slots_;
    std::vector<VARIANT> storage_;
};

// Points the argument at its temporary, which holds the converted value.
void passByReference(VARIANT& slot, VARIANT& storage, VARTYPE base) {
    V_VT(&slot) = VT_BYREF | base;
    if (base == VT_VARIANT) {
        V_VARIANTREF(&slot) = &storage;
    } else if (base == VT_DECIMAL) {
        V_DECIMALREF(&slot) = &V_DECIMAL(&storage);
    } else {
        V_BYREF(&slot) = &V_UI1(&storage);  // the payload, whatever its type
    }
}

}  // namespace

HRESULT invokeWith(ScriptEngine* engine, IDispatch* dispatch, DISPID id, const MemberInfo& member,
                   const ScriptValue* args, uint32_t count, VARIANT* result, EXCEPINFO* exception) {
    Conversion conversion(engine);
    CallArguments arguments(count);
    std::vector<uint32_t> boxed;  // arguments whose box gets the member's value back
    std::vector<VARTYPE> boxedTypes;
    for (uint32_t i = 0; i < count; ++i) {
        ParamType param = i < member.params.size() ? member.params[i] : ParamType{};
        ScriptValue value = args[i];
        ScriptValue inner;
        bool box = isBox(engine, value, &inner);
        if (box) value = inner;
        // Without type information a box is the script's way to ask for a reference.
        bool byReference = (param.vt & VT_BYREF) || (box && !member.described);
        VARIANT& slot = arguments.slot(i);
        if (byReference) {
            VARTYPE base = param.vt & ~VT_BYREF;
            toVariant(conversion, value, base, &arguments.storage(i));
            passByReference(slot, arguments.storage(i), base);
            if (box) {
                boxed.push_back(i);
                boxedTypes.push_back(base);
            }
        } else if (param.optional && value.tag == kTagUndefined) {
            V_VT(&slot) = VT_ERROR;
            V_ERROR(&slot) = DISP_E_PARAMNOTFOUND;
        } else {
            toVariant(conversion, value, param.vt, &slot);
        }
    }

    DISPPARAMS params{};
    params.cArgs = count;
    params.rgvarg = count ? arguments.data() : nullptr;
    DISPID named = DISPID_PROPERTYPUT;
    bool put = member.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    if (put) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &named;
    }
    UINT argumentError = 0;
    HRESULT hr = dispatch->Invoke(id, IID_NULL, 0, member.flags, &params, put ? nullptr : result,
                                  exception, &argumentError);
    if (SUCCEEDED(hr)) {
        for (size_t k = 0; k < boxed.size(); ++k) {
            VARIANT& storage = arguments.storage(boxed[k]);
            // A decimal written through the reference covers the type field.
            if (boxedTypes[k] == VT_DECIMAL) V_VT(&storage) = VT_DECIMAL;
            setBoxValue(engine, args[boxed[k]], fromVariant(engine, storage));
        }
    }
    return hr;
}

ScriptValue invokeMember(ScriptEngine* engine, IDispatch* dispatch, DISPID id,
                         const MemberInfo& member, const ScriptValue* args, uint32_t count) {
    VariantHolder result;
    EXCEPINFO exception{};
    HRESULT hr = invokeWith(engine, dispatch, id, member, args, count, result.get(), &exception);
    if (FAILED(hr)) raiseComFailure(engine, hr, &exception);
    return fromVariant(engine, *result);
}

}  // namespace quill::com
