// Script values to VARIANTs and back (see com_variant.h): the declared-type conversions, the
// value's own conversion where nothing is declared, SAFEARRAYs, dates and byte arrays.
#include "host/com/com_variant.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "builtins/date.h"
#include "host/com/activex_object.h"
#include "host/com/ole_date.h"
#include "host/system/string_stream_access.h"
#include "runtime/array.h"

namespace quill::com {

namespace {

// Arrays handed to an object are built in memory outside the script heap: without a heap limit
// they are still kept to this size.
constexpr size_t kMaxArrayBytes = size_t(1) << 30;

[[noreturn]] void raiseHresult(ScriptEngine* engine, HRESULT hr) {
    raiseComFailure(engine, hr, nullptr);
}

bool isSafeArrayElement(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_ERROR:
        case VT_BOOL:
        case VT_VARIANT:
        case VT_DECIMAL:
            return true;
        default:
            return false;
    }
}

// Bytes of a value held directly in a VARIANT's payload (0 for pointers and other types).
size_t scalarSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
        case VT_R4:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Script to VARIANT.

// An integer from any value: integers as they are, numbers truncated toward zero, other values
// through toNumber first. Values beyond 64 bits raise an overflow.
int64_t integerOf(ScriptEngine* engine, const ScriptValue& value) {
    ScriptValue n = value.isNumeric() ? value : toNumber(engine, value);
    if (n.tag == kTagInteger) return n.i;
    if (n.tag != kTagNumber || !std::isfinite(n.d)) return 0;
    double t = std::trunc(n.d);
    if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) {
        raiseHresult(engine, DISP_E_OVERFLOW);
    }
    return static_cast<int64_t>(t);
}

double numberOf(ScriptEngine* engine, const ScriptValue& value) {
    ScriptValue n = value.isNumeric() ? value : toNumber(engine, value);
    if (n.tag == kTagInteger) return double(n.i);
    if (n.tag == kTagNumber) return n.d;
    return std::nan("");
}

// Small integer types take their signed and their unsigned range (so 0xFFFF fits a short as -1,
// the way hexadecimal constants are written); anything beyond is an overflow, never wrapped.
void checkRange(ScriptEngine* engine, int64_t n, int bits) {
    int64_t low = -(int64_t(1) << (bits - 1));
    int64_t high = (int64_t(1) << bits) - 1;
    if (n < low || n > high) raiseHresult(engine, DISP_E_OVERFLOW);
}

void integerVariant(ScriptEngine* engine, const ScriptValue& value, VARTYPE vt, VARIANT* out) {
    int64_t n = integerOf(engine, value);
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            checkRange(engine, n, 8);
            V_UI1(out) = static_cast<BYTE>(n);
            break;
        case VT_I2:
        case VT_UI2:
            checkRange(engine, n, 16);
            V_UI2(out) = static_cast<USHORT>(n);
            break;
        case VT_I8:
        case VT_UI8:
            V_I8(out) = n;
            break;
        default:  // VT_I4, VT_UI4, VT_INT, VT_UINT, VT_ERROR
            checkRange(engine, n, 32);
            V_UI4(out) = static_cast<ULONG>(n);
            break;
    }
    V_VT(out) = vt;
}

void dateVariant(ScriptEngine* engine, const ScriptValue& value, VARIANT* out) {
    double t;
    if (!dateTimeValue(value, &t)) t = numberOf(engine, value);
    V_DATE(out) = timeValueToOleDate(t, oleEpoch(engine));
    V_VT(out) = VT_DATE;
}

void stringVariant(ScriptEngine* engine, const ScriptValue& value, VARIANT* out) {
    ScriptValue text = value.tag == kTagString ? value : toString(engine, value);
    std::u16string_view chars = text.tag == kTagString ? stringView(text) : std::u16string_view();
    V_BSTR(out) = newBstr(engine, chars);
    V_VT(out) = VT_BSTR;
}

void interfaceVariant(const ScriptValue& value, VARTYPE vt, VARIANT* out) {
    IDispatch* dispatch = activeXDispatch(value);
    if (dispatch) dispatch->AddRef();
    if (vt == VT_UNKNOWN) {
        V_UNKNOWN(out) = dispatch;
    } else {
        V_DISPATCH(out) = dispatch;
    }
    V_VT(out) = vt;
}

void bytesVariant(Conversion& conversion, const ScriptValue& stream, VARIANT* out) {
    size_t length = 0;
    const uint8_t* bytes = stringStreamBytes(conversion.engine(), stream, &length);
    if (length > 0xFFFFFFFFu) raiseError(conversion.engine(), "Out of memory");
    conversion.charge(length);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(length));
    if (!array) raiseError(conversion.engine(), "Out of memory");
    V_ARRAY(out) = array;
    V_VT(out) = VT_ARRAY | VT_UI1;
    if (length == 0) return;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) raiseError(conversion.engine(), "Out of memory");
    std::memcpy(data, bytes, length);
    SafeArrayUnaccessData(array);
}

void arrayVariant(Conversion& conversion, const ScriptValue& value, VARTYPE element, VARIANT* out);

bool isOpenStream(ScriptEngine* engine, const ScriptValue& value) {
    size_t length = 0;
    return isStringStream(engine, value) && stringStreamBytes(engine, value, &length) != nullptr;
}

// The conversion of a value when nothing is declared.
void ownVariant(Conversion& conversion, const ScriptValue& value, VARIANT* out) {
    ScriptEngine* engine = conversion.engine();
    switch (value.tag) {
        case kTagUndefined:
            V_VT(out) = VT_EMPTY;
            return;
        case kTagNull:
            V_VT(out) = VT_NULL;
            return;
        case kTagBoolean:
            V_BOOL(out) = value.i ? VARIANT_TRUE : VARIANT_FALSE;
            V_VT(out) = VT_BOOL;
            return;
        case kTagInteger:
            // A 32-bit integer where it fits (what most objects expect), else the exact 64 bits.
            if (value.i >= INT32_MIN && value.i <= INT32_MAX) {
                V_I4(out) = static_cast<LONG>(value.i);
                V_VT(out) = VT_I4;
            } else {
                V_I8(out) = value.i;
                V_VT(out) = VT_I8;
            }
            return;
        case kTagNumber:
            V_R8(out) = value.d;
            V_VT(out) = VT_R8;
            return;
        case kTagNaN:
            V_R8(out) = std::nan("");
            V_VT(out) = VT_R8;
            return;
        case kTagString:
            stringVariant(engine, value, out);
            return;
        case kTagArray:
            arrayVariant(conversion, value, VT_VARIANT, out);
            return;
        case kTagHost: {
            double t;
            if (activeXDispatch(value)) {
                interfaceVariant(value, VT_DISPATCH, out);
                return;
            }
            if (dateTimeValue(value, &t)) {
                dateVariant(engine, value, out);
                return;
            }
            if (isOpenStream(engine, value)) {
                bytesVariant(conversion, value, out);
                return;
            }
            break;
        }
        default:
            break;
    }
    // Objects, functions and other host objects have no automation form.
    raiseHresult(engine, DISP_E_TYPEMISMATCH);
}

void arrayVariant(Conversion& conversion, const ScriptValue& value, VARTYPE element, VARIANT* out) {
    ScriptEngine* engine = conversion.engine();
    NativeDepthGuard depth(engine);  // arrays that contain themselves end here
    if (!isSafeArrayElement(element)) element = VT_VARIANT;
    if (element == VT_UI1 && isOpenStream(engine, value)) {
        bytesVariant(conversion, value, out);
        return;
    }
    uint64_t length = value.tag == kTagArray ? value.arr->length : 0;
    size_t elementSize = element == VT_VARIANT   ? sizeof(VARIANT)
                         : element == VT_DECIMAL ? sizeof(DECIMAL)
                         : scalarSize(element)   ? scalarSize(element)
                                                 : sizeof(void*);
    if (length > 0xFFFFFFFFu || length > kMaxArrayBytes / elementSize) {
        raiseError(engine, "Out of memory");
    }
    conversion.charge(size_t(length) * elementSize);
    SAFEARRAY* array = SafeArrayCreateVector(element, 0, ULONG(length));
    if (!array) raiseError(engine, "Out of memory");
    V_ARRAY(out) = array;
    V_VT(out) = VT_ARRAY | element;
    if (value.tag != kTagArray) return;

    // Converting may run scripts that change the array: take its elements first.
    std::vector<uint64_t> indices;
    std::vector<ScriptValue> items;
    forEachElement(engine, value.arr, [&](uint64_t index, const ScriptValue& item) {
        indices.push_back(index);
        items.push_back(item);
    });
    RootedValues rooted(engine, items.data(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (indices[i] >= length) break;
        LONG at = static_cast<LONG>(indices[i]);
        VariantHolder converted;
        toVariant(conversion, items[i], element, converted.get());
        VARIANT* v = converted.get();
        void* data;
        switch (element) {
            case VT_VARIANT:
                data = v;
                break;
            case VT_BSTR:
                data = V_BSTR(v);
                break;
            case VT_DISPATCH:
            case VT_UNKNOWN:
                data = V_UNKNOWN(v);
                break;
            case VT_DECIMAL:
                data = &V_DECIMAL(v);
                break;
            default:
                data = &V_UI1(v);
                break;
        }
        HRESULT hr = SafeArrayPutElement(array, &at, data);
        if (FAILED(hr)) raiseHresult(engine, hr);
    }
}

// ---------------------------------------------------------------------------------------------
// VARIANT to script.

ScriptValue fromByRef(ScriptEngine* engine, const VARIANT& value);
ScriptValue fromSafeArray(ScriptEngine* engine, SAFEARRAY* array, VARTYPE declared);

ScriptValue fromDispatch(ScriptEngine* engine, IDispatch* dispatch) {
    if (!dispatch) return makeNull();
    return newActiveXObject(engine, dispatch);
}

// Refuses what would not fit under the heap limit before building it (a StringStream made from
// bytes counts them even beyond the limit, and a large array would be refused only part way).
void requireRoom(ScriptEngine* engine, size_t bytes) {
    if (!engine->maxHeapBytes) return;
    if (!chargeExternalMemory(engine, bytes)) raiseError(engine, "Out of memory");
    releaseExternalMemory(engine, bytes);
}

class ArrayLock {
  public:
    explicit ArrayLock(SAFEARRAY* array) : array_(array) {
        locked_ = SUCCEEDED(SafeArrayLock(array));
    }
    ~ArrayLock() {
        if (locked_) SafeArrayUnlock(array_);
    }
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;
    bool locked() const { return locked_; }

  private:
    SAFEARRAY* array_;
    bool locked_ = false;
};

struct ArrayShape {
    SAFEARRAY* array;
    VARTYPE element;
    std::vector<LONG> lower;
    std::vector<uint64_t> counts;
};

ScriptValue buildDimension(ScriptEngine* engine, const ArrayShape& shape, std::vector<LONG>& at,
                           size_t dimension) {
    ScriptValue out;
    uint64_t count = shape.counts[dimension];
    newArray(engine, &out, count);
    for (uint64_t i = 0; i < count; ++i) {
        at[dimension] = static_cast<LONG>(shape.lower[dimension] + int64_t(i));
        ScriptValue item;
        if (dimension + 1 < shape.counts.size()) {
            item = buildDimension(engine, shape, at, dimension + 1);
        } else {
            void* cell = nullptr;
            if (FAILED(SafeArrayPtrOfIndex(shape.array, at.data(), &cell)) || !cell) continue;
            VARIANT view;
            VariantInit(&view);
            V_VT(&view) = VT_BYREF | shape.element;
            V_BYREF(&view) = cell;
            item = fromVariant(engine, view);
        }
        setElement(engine, out, item, i);
    }
    return out;
}

ScriptValue fromSafeArray(ScriptEngine* engine, SAFEARRAY* array, VARTYPE declared) {
    NativeDepthGuard depth(engine);
    if (!array) return makeNull();
    VARTYPE element = declared;
    VARTYPE stored;
    if (SUCCEEDED(SafeArrayGetVartype(array, &stored))) element = stored;
    UINT dimensions = SafeArrayGetDim(array);
    if (!isSafeArrayElement(element) || dimensions == 0 || dimensions > 64) return makeUndefined();

    ArrayShape shape{array, element, {}, {}};
    uint64_t total = 1;
    for (UINT d = 1; d <= dimensions; ++d) {
        LONG low = 0, high = -1;
        if (FAILED(SafeArrayGetLBound(array, d, &low)) ||
            FAILED(SafeArrayGetUBound(array, d, &high))) {
            return makeUndefined();
        }
        uint64_t count = high >= low ? uint64_t(int64_t(high) - int64_t(low) + 1) : 0;
        shape.lower.push_back(low);
        shape.counts.push_back(count);
        total = count == 0 ? 0 : total;
        if (total && count > 0xFFFFFFFFu / total) raiseError(engine, "Out of memory");
        total *= count;
    }
    // A byte vector is the bytes of a StringStream; other arrays take a script value a cell.
    bool bytes = element == VT_UI1 && dimensions == 1;
    requireRoom(engine, bytes ? size_t(total) : size_t(total) * sizeof(ScriptValue));
    if (bytes) {
        ArrayLock lock(array);
        if (!lock.locked() || (total && !array->pvData)) return makeUndefined();
        return newStringStreamFromBytes(engine, array->pvData, size_t(total));
    }
    ArrayLock lock(array);
    if (!lock.locked()) return makeUndefined();
    std::vector<LONG> at(dimensions, 0);
    return buildDimension(engine, shape, at, 0);
}

ScriptValue fromByRef(ScriptEngine* engine, const VARIANT& value) {
    VARTYPE base = V_VT(&value) & ~VT_BYREF;
    if (!V_BYREF(&value)) return makeUndefined();
    if (base == VT_VARIANT) {
        NativeDepthGuard depth(engine);  // references to references
        return fromVariant(engine, *V_VARIANTREF(&value));
    }
    VARIANT view;
    VariantInit(&view);
    if (base & VT_ARRAY) {
        V_ARRAY(&view) = *V_ARRAYREF(&value);
    } else if (base == VT_BSTR) {
        V_BSTR(&view) = *V_BSTRREF(&value);
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
        V_UNKNOWN(&view) = *V_UNKNOWNREF(&value);
    } else if (base == VT_DECIMAL) {
        V_DECIMAL(&view) = *V_DECIMALREF(&value);
    } else if (size_t size = scalarSize(base)) {
        std::memcpy(&V_UI1(&view), V_BYREF(&value), size);
    } else {
        return makeUndefined();
    }
    V_VT(&view) = base;
    // A view: nothing in it is owned, so it is not cleared.
    return fromVariant(engine, view);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

Conversion::~Conversion() {
    if (charged_) releaseExternalMemory(engine_, charged_);
}

void Conversion::charge(size_t bytes) {
    if (bytes == 0) return;
    if (!engine_->maxHeapBytes) {
        if (bytes > kMaxArrayBytes || charged_ > kMaxArrayBytes - bytes) {
            raiseError(engine_, "Out of memory");
        }
        charged_ += bytes;
        return;
    }
    if (!chargeExternalMemory(engine_, bytes)) raiseError(engine_, "Out of memory");
    charged_ += bytes;
}

double oleEpoch(ScriptEngine* engine) {
    return localTimeValue(engine, 1899, 11, 30);
}

void toVariant(Conversion& conversion, const ScriptValue& value, VARTYPE declared, VARIANT* out) {
    ScriptEngine* engine = conversion.engine();
    declared &= ~VT_BYREF;
    if (declared & VT_ARRAY) {
        arrayVariant(conversion, value, declared & VT_TYPEMASK, out);
        return;
    }
    switch (declared) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_ERROR:
            integerVariant(engine, value, declared, out);
            return;
        case VT_R4:
            V_R4(out) = static_cast<float>(numberOf(engine, value));
            V_VT(out) = VT_R4;
            return;
        case VT_R8:
            V_R8(out) = numberOf(engine, value);
            V_VT(out) = VT_R8;
            return;
        case VT_CY: {
            ScriptValue n = value.isNumeric() ? value : toNumber(engine, value);
            HRESULT hr = n.tag == kTagInteger ? VarCyFromI8(n.i, &V_CY(out))
                                              : VarCyFromR8(numberOf(engine, n), &V_CY(out));
            if (FAILED(hr)) raiseHresult(engine, hr);
            V_VT(out) = VT_CY;
            return;
        }
        case VT_DECIMAL: {
            ScriptValue n = value.isNumeric() ? value : toNumber(engine, value);
            DECIMAL d;
            HRESULT hr = n.tag == kTagInteger ? VarDecFromI8(n.i, &d)
                                              : VarDecFromR8(numberOf(engine, n), &d);
            if (FAILED(hr)) raiseHresult(engine, hr);
            V_DECIMAL(out) = d;
            V_VT(out) = VT_DECIMAL;
            return;
        }
        case VT_DATE:
            dateVariant(engine, value, out);
            return;
        case VT_BSTR:
            stringVariant(engine, value, out);
            return;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            interfaceVariant(value, declared, out);
            return;
        case VT_BOOL:
            V_BOOL(out) = toBoolean(engine, value) ? VARIANT_TRUE : VARIANT_FALSE;
            V_VT(out) = VT_BOOL;
            return;
        default:
            ownVariant(conversion, value, out);
            return;
    }
}

ScriptValue fromVariant(ScriptEngine* engine, const VARIANT& value) {
    VARTYPE vt = V_VT(&value);
    if (vt & VT_BYREF) return fromByRef(engine, value);
    if (vt & VT_ARRAY) return fromSafeArray(engine, V_ARRAY(&value), vt & VT_TYPEMASK);
    switch (vt) {
        case VT_EMPTY:
            return makeUndefined();
        case VT_NULL:
            return makeNull();
        case VT_I1:
            return makeInteger(V_I1(&value));
        case VT_UI1:
            return makeInteger(V_UI1(&value));
        case VT_I2:
            return makeInteger(V_I2(&value));
        case VT_UI2:
            return makeInteger(V_UI2(&value));
        case VT_I4:
        case VT_INT:
            return makeInteger(V_I4(&value));
        case VT_UI4:
        case VT_UINT:
            return makeInteger(V_UI4(&value));
        case VT_ERROR:
            return makeInteger(V_ERROR(&value));
        case VT_I8:
            return makeInteger(V_I8(&value));
        case VT_UI8:
            if (V_UI8(&value) > uint64_t(INT64_MAX)) return makeNumber(double(V_UI8(&value)));
            return makeInteger(int64_t(V_UI8(&value)));
        case VT_R4:
            return makeNumber(V_R4(&value));
        case VT_R8:
            return makeNumber(V_R8(&value));
        case VT_CY: {
            double d = 0;
            VarR8FromCy(V_CY(&value), &d);
            return makeNumber(d);
        }
        case VT_DECIMAL: {
            double d = 0;
            DECIMAL copy = V_DECIMAL(&value);
            VarR8FromDec(&copy, &d);
            return makeNumber(d);
        }
        case VT_DATE: {
            // Whole milliseconds after the conversion's rounding: an integer where it fits.
            double t = oleDateToTimeValue(V_DATE(&value), oleEpoch(engine));
            if (std::fabs(t) < 9.0e15) return makeInteger(static_cast<int64_t>(t));
            return makeNumber(t);
        }
        case VT_BSTR: {
            BSTR text = V_BSTR(&value);
            ScriptValue out;
            newStringFromWide(engine, &out, reinterpret_cast<const char16_t*>(text),
                              text ? SysStringLen(text) : 0);
            return out;
        }
        case VT_BOOL:
            return makeBoolean(V_BOOL(&value) != VARIANT_FALSE);
        case VT_DISPATCH:
            return fromDispatch(engine, V_DISPATCH(&value));
        case VT_UNKNOWN: {
            auto dispatch = queryInterface<IDispatch>(V_UNKNOWN(&value), IID_IDispatch);
            return fromDispatch(engine, dispatch.get());
        }
        default:
            return makeUndefined();
    }
}

void storeByRef(Conversion& conversion, const ScriptValue& value, const VARIANT& reference) {
    VARTYPE base = V_VT(&reference) & ~VT_BYREF;
    void* target = V_BYREF(&reference);
    if (!(V_VT(&reference) & VT_BYREF) || !target) return;
    VariantHolder converted;
    toVariant(conversion, value, base, converted.get());
    if (base == VT_VARIANT) {
        VARIANT* slot = V_VARIANTREF(&reference);
        VariantClear(slot);
        *slot = converted.release();
        return;
    }
    if (V_VT(converted.get()) != base) return;  // nothing of that type could be made
    VARIANT v = converted.release();
    if (base & VT_ARRAY) {
        SAFEARRAY** slot = V_ARRAYREF(&reference);
        if (*slot) SafeArrayDestroy(*slot);
        *slot = V_ARRAY(&v);
    } else if (base == VT_BSTR) {
        BSTR* slot = V_BSTRREF(&reference);
        SysFreeString(*slot);
        *slot = V_BSTR(&v);
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
        IUnknown** slot = V_UNKNOWNREF(&reference);
        if (*slot) (*slot)->Release();
        *slot = V_UNKNOWN(&v);
    } else if (base == VT_DECIMAL) {
        *V_DECIMALREF(&reference) = V_DECIMAL(&v);
    } else if (size_t size = scalarSize(base)) {
        std::memcpy(target, &V_UI1(&v), size);
    } else {
        VariantClear(&v);
    }
}

bool isBox(ScriptEngine* engine, const ScriptValue& value, ScriptValue* inner) {
    if (value.tag != kTagObject) return false;
    int64_t atom = findAtom(engine, "value", 5);
    if (atom < 0) return false;
    return lookup(engine, value.obj, uint32_t(atom), inner) == 1;
}

void setBoxValue(ScriptEngine* engine, const ScriptValue& box, const ScriptValue& value) {
    if (box.tag != kTagObject) return;
    setByAtom(engine, box.obj, intern(engine, "value"), value);
}

ScriptValue newBox(ScriptEngine* engine, const ScriptValue& value) {
    // Allocation never collects, so `value` needs no rooting here.
    ScriptValue box = makeObject(newObject(engine));
    setByAtom(engine, box.obj, intern(engine, "value"), value);
    return box;
}

}  // namespace quill::com
