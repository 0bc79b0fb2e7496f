// VARIANT conversions of the automation bridge, without an object: declared types and their
// ranges, the conversion where nothing is declared, SAFEARRAY shapes, by-reference stores, and
// data from an object that is too deep, too large or random.
#include <cmath>
#include <functional>
#include <random>

#include "engine_fixture.h"
#include "host/com/activex_object.h"
#include "host/com/com_variant.h"
#include "host/system/string_stream_access.h"

namespace quill::test {
namespace {

using com::Conversion;
using com::fromVariant;
using com::toVariant;
using com::VariantHolder;

class ComVariantTest : public EngineTest {
  protected:
    // Runs conversion work under a host trap; the error text, or "" when it completed.
    std::string failure(const std::function<void()>& work) {
        return guardHostCall(engine, work) ? "" : errorText();
    }
    // The VARIANT made for a value declared as `vt` (its type and payload checked by the caller).
    void convert(const ScriptValue& value, VARTYPE vt, VARIANT* out) {
        std::string error = failure([&] {
            Conversion conversion(engine);
            toVariant(conversion, value, vt, out);
        });
        EXPECT_EQ(error, "");
    }
    std::string convertError(const ScriptValue& value, VARTYPE vt) {
        VariantHolder out;
        return failure([&] {
            Conversion conversion(engine);
            toVariant(conversion, value, vt, out.get());
        });
    }
    std::string text(const ScriptValue& v) { return str(toString(engine, v)); }
    ScriptValue back(const VARIANT& v) {
        ScriptValue out = makeUndefined();
        std::string error = failure([&] { out = fromVariant(engine, v); });
        EXPECT_EQ(error, "");
        return out;
    }
    ScriptValue script(const char* text) {
        EXPECT_EQ(runScriptText(engine, text), 1) << errorText();
        return engine->returnSlot;
    }
};

TEST_F(ComVariantTest, DeclaredIntegersTruncateAndTakeSignedOrUnsignedRanges) {
    VariantHolder v;
    convert(makeNumber(-1.9), VT_I2, v.get());
    EXPECT_EQ(V_VT(v.get()), VT_I2);
    EXPECT_EQ(V_I2(v.get()), -1);
    VariantHolder hex;
    convert(makeInteger(0xFFFF), VT_I2, hex.get());  // a short written in hexadecimal
    EXPECT_EQ(V_I2(hex.get()), -1);
    VariantHolder word;
    convert(newStringFromAscii(engine, "0xFFFFFFFF"), VT_I4, word.get());
    EXPECT_EQ(V_I4(word.get()), -1);
    VariantHolder scode;
    convert(makeInteger(0x80020009), VT_ERROR, scode.get());
    EXPECT_EQ(V_ERROR(scode.get()), DISP_E_EXCEPTION);
    VariantHolder nan;
    convert(makeNaN(), VT_UI1, nan.get());
    EXPECT_EQ(V_UI1(nan.get()), 0);
    // Beyond both ranges is an overflow, never a wrapped value.
    EXPECT_EQ(convertError(makeInteger(65536), VT_I2), "Runtime error: Out of present range.");
    EXPECT_EQ(convertError(makeInteger(-129), VT_UI1), "Runtime error: Out of present range.");
    EXPECT_EQ(convertError(makeInteger(int64_t(1) << 32), VT_I4),
              "Runtime error: Out of present range.");
    EXPECT_EQ(convertError(makeNumber(1e30), VT_I8), "Runtime error: Out of present range.");
}

TEST_F(ComVariantTest, OtherDeclaredTypesFollowTheirConversions) {
    VariantHolder cy, date, words, flag, real;
    convert(makeNumber(1.25), VT_CY, cy.get());
    EXPECT_EQ(V_CY(cy.get()).int64, 12500);
    convert(script("new Date(0)"), VT_DATE, date.get());
    EXPECT_EQ(V_DATE(date.get()), 25569);  // 1970-01-01 (the tests run in UTC)
    convert(makeNull(), VT_BSTR, words.get());
    EXPECT_STREQ(V_BSTR(words.get()), L"undefined");  // the dialect's text of null
    convert(newStringFromAscii(engine, ""), VT_BOOL, flag.get());
    EXPECT_EQ(V_BOOL(flag.get()), VARIANT_FALSE);
    convert(newStringFromAscii(engine, "2.5"), VT_R4, real.get());
    EXPECT_EQ(V_R4(real.get()), 2.5f);
    // Only an ActiveXObject gives an interface; anything else passes a null one.
    VariantHolder none;
    convert(script("({})"), VT_DISPATCH, none.get());
    EXPECT_EQ(V_VT(none.get()), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(none.get()), nullptr);
}

TEST_F(ComVariantTest, UndeclaredValuesTakeTheirOwnAutomationType) {
    struct Case {
        const char* source;
        VARTYPE vt;
    };
    for (Case c : {Case{"undefined", VT_EMPTY}, Case{"null", VT_NULL}, Case{"true", VT_BOOL},
                   Case{"-5", VT_I4}, Case{"4294967296", VT_I8}, Case{"1.5", VT_R8},
                   Case{"0/0", VT_R8}, Case{"'x'", VT_BSTR}, Case{"new Date(5)", VT_DATE},
                   Case{"new StringStream('ab')", VT_ARRAY | VT_UI1},
                   Case{"var h = [1]; h[2] = 'x'; h", VT_ARRAY | VT_VARIANT}}) {
        VariantHolder v;
        convert(script(c.source), VT_VARIANT, v.get());
        EXPECT_EQ(V_VT(v.get()), c.vt) << c.source;
    }
    // Plain objects and functions have no automation form.
    EXPECT_EQ(convertError(script("({a: 1})"), VT_VARIANT), "Runtime error: Type mismatch.");
    EXPECT_EQ(convertError(script("function f() {} f"), VT_VARIANT),
              "Runtime error: Type mismatch.");
}

TEST_F(ComVariantTest, ScriptArraysBecomeVectorsOfTheDeclaredElementType) {
    VariantHolder v;
    convert(script("var a = [1, 'two', [3]]; a[5] = true; a"), VT_ARRAY | VT_VARIANT, v.get());
    SAFEARRAY* array = V_ARRAY(v.get());
    LONG high = 0;
    SafeArrayGetUBound(array, 1, &high);
    EXPECT_EQ(high, 5);
    EXPECT_EQ(text(back(*v)), "1,two,3,undefined,undefined,true");  // holes went as VT_EMPTY
    VariantHolder doubles;
    convert(script("[1, '2.5']"), VT_ARRAY | VT_R8, doubles.get());
    EXPECT_EQ(V_VT(doubles.get()), VT_ARRAY | VT_R8);
    EXPECT_EQ(text(back(*doubles)), "1,2.5");
    // A value that is no array gives an empty one of the declared type.
    VariantHolder empty;
    convert(makeInteger(3), VT_ARRAY | VT_BSTR, empty.get());
    EXPECT_EQ(SafeArrayGetUBound(V_ARRAY(empty.get()), 1, &high), S_OK);
    EXPECT_EQ(high, -1);
    // An array that contains itself ends in an error, not on the native stack.
    EXPECT_EQ(convertError(script("var c = [1]; c[1] = c; c"), VT_VARIANT),
              "Runtime error: stack overflow");
}

TEST_F(ComVariantTest, SafeArraysOfEveryShapeBecomeNestedArrays) {
    // Two by three, rows counted from 1: the first dimension is the outer array.
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};
    VariantHolder matrix;
    V_VT(matrix.get()) = VT_ARRAY | VT_I4;
    V_ARRAY(matrix.get()) = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG row = 1; row <= 2; ++row) {
        for (LONG column = -1; column <= 1; ++column) {
            LONG at[2] = {row, column};
            LONG value = 10 * row + column;
            SafeArrayPutElement(V_ARRAY(matrix.get()), at, &value);
        }
    }
    ScriptValue rows = back(*matrix);
    EXPECT_EQ(text(rows), "9,10,11,19,20,21");
    EXPECT_EQ(rows.arr->length, 2u);
    // A byte vector is a StringStream; bytes in two dimensions stay numbers.
    VariantHolder bytes;
    V_VT(bytes.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(bytes.get()) = SafeArrayCreateVector(VT_UI1, 3, 2);
    ScriptValue stream = back(*bytes);
    EXPECT_TRUE(isStringStream(engine, stream));
    EXPECT_EQ(stringStreamLength(engine, stream), 2);
    VariantHolder nothing;
    V_VT(nothing.get()) = VT_ARRAY | VT_VARIANT;
    EXPECT_EQ(back(*nothing).tag, kTagNull);  // no array at all
}

TEST_F(ComVariantTest, ReferencesAreReadThroughAndStoredThrough) {
    LONG number = 7;
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_I4;
    V_I4REF(&ref) = &number;
    EXPECT_EQ(back(ref).i, 7);
    std::string error = failure([&] {
        Conversion conversion(engine);
        com::storeByRef(conversion, makeNumber(41.9), ref);
    });
    EXPECT_EQ(error, "");
    EXPECT_EQ(number, 41);
    BSTR words = SysAllocString(L"old");
    V_VT(&ref) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&ref) = &words;
    failure([&] {
        Conversion conversion(engine);
        com::storeByRef(conversion, newStringFromAscii(engine, "new"), ref);
    });
    EXPECT_STREQ(words, L"new");
    SysFreeString(words);
    // A chain of references to references ends in an error.
    std::vector<VARIANT> chain(400);
    VariantInit(&chain[0]);
    for (size_t i = 1; i < chain.size(); ++i) {
        V_VT(&chain[i]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&chain[i]) = &chain[i - 1];
    }
    EXPECT_EQ(failure([&] { fromVariant(engine, chain.back()); }), "Runtime error: stack overflow");
}

TEST_F(ComVariantTest, DataBeyondTheHeapLimitIsRefusedBeforeItIsBuilt) {
    EngineConfig config;
    config.maxHeapBytes = 4 << 20;
    restart(config);
    VariantHolder longText;
    V_VT(longText.get()) = VT_BSTR;
    V_BSTR(longText.get()) = SysAllocStringLen(nullptr, 8 << 20);
    EXPECT_EQ(failure([&] { fromVariant(engine, *longText); }), "Runtime error: Out of memory");
    VariantHolder numbers;
    V_VT(numbers.get()) = VT_ARRAY | VT_I4;
    V_ARRAY(numbers.get()) = SafeArrayCreateVector(VT_I4, 0, 1 << 20);
    EXPECT_EQ(failure([&] { fromVariant(engine, *numbers); }), "Runtime error: Out of memory");
    VariantHolder bytes;
    V_VT(bytes.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(bytes.get()) = SafeArrayCreateVector(VT_UI1, 0, 16 << 20);
    EXPECT_EQ(failure([&] { fromVariant(engine, *bytes); }), "Runtime error: Out of memory");
    // A sparse script array's length counts, not its few elements.
    EXPECT_EQ(convertError(script("var s = []; s[100000000] = 1; s"), VT_VARIANT),
              "Runtime error: Out of memory");
    // After the refusals the engine goes on, and what was charged for a call is given back.
    EXPECT_EQ(text(script("var ok = []; ok[1000] = 1; ok.length")), "1001");
    EXPECT_EQ(engine->heap.externalBytes, 0u);
}

TEST_F(ComVariantTest, RandomDataFromAnObjectConvertsOrFailsCleanly) {
    EngineConfig config;
    config.maxHeapBytes = 8 << 20;
    restart(config);
    std::mt19937 random(20240229);
    std::function<void(VARIANT*, int)> make = [&](VARIANT* v, int depth) {
        VariantInit(v);
        switch (random() % 9) {
            case 0:
                V_VT(v) = VT_I4, V_I4(v) = LONG(random());
                break;
            case 1:
                V_VT(v) = VT_R8, V_R8(v) = double(int(random())) / 7;
                break;
            case 2:
                V_VT(v) = VT_DATE, V_DATE(v) = double(int(random() % 200000) - 100000) / 3;
                break;
            case 3: {
                std::wstring s(random() % 40, L'\0');
                for (wchar_t& c : s) c = wchar_t(random() % 0x10000);
                V_VT(v) = VT_BSTR, V_BSTR(v) = SysAllocStringLen(s.data(), UINT(s.size()));
                break;
            }
            case 4:
                V_VT(v) = VT_CY, V_CY(v).int64 = int64_t(random()) << 20;
                break;
            case 5:
                V_VT(v) = VT_BOOL, V_BOOL(v) = VARIANT_BOOL(random());
                break;
            case 6: {
                if (depth > 3) break;
                ULONG count = random() % 5;
                SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, LONG(random() % 7) - 3, count);
                VARIANT* items = nullptr;
                SafeArrayAccessData(array, reinterpret_cast<void**>(&items));
                for (ULONG i = 0; i < count; ++i) make(&items[i], depth + 1);
                SafeArrayUnaccessData(array);
                V_VT(v) = VT_ARRAY | VT_VARIANT, V_ARRAY(v) = array;
                break;
            }
            case 7: {
                SAFEARRAYBOUND bounds[3];
                UINT dims = 1 + random() % 3;
                for (UINT d = 0; d < dims; ++d)
                    bounds[d] = {ULONG(random() % 4), LONG(random() % 5)};
                V_VT(v) = VT_ARRAY | VT_R8, V_ARRAY(v) = SafeArrayCreate(VT_R8, dims, bounds);
                break;
            }
            default:
                V_VT(v) = VT_ARRAY | VT_UI1;
                V_ARRAY(v) = SafeArrayCreateVector(VT_UI1, 0, random() % 64);
                break;
        }
    };
    for (int round = 0; round < 300; ++round) {
        VariantHolder v;
        make(v.get(), 0);
        ScriptValue out = makeUndefined();
        std::string error = failure([&] { out = fromVariant(engine, *v); });
        ASSERT_EQ(error, "") << "round " << round;
        // What came back goes out again and returns the same text.
        VariantHolder again;
        ScriptValue back = makeUndefined();
        error = failure([&] {
            Conversion conversion(engine);
            toVariant(conversion, out, VT_VARIANT, again.get());
            back = fromVariant(engine, *again);
        });
        ASSERT_EQ(error, "") << "round " << round;
        EXPECT_EQ(text(back), text(out)) << "round " << round;
    }
}

}  // namespace
}  // namespace quill::test
