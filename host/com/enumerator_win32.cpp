// The Enumerator class: walks a collection through the IEnumVARIANT its "_NewEnum" member
// gives, one item at a time.
#include <memory>

#include "host/com/activex_object.h"
#include "host/com/com_variant.h"
#include "runtime/class_binding.h"

namespace quill {

using namespace com;

namespace {

struct EnumeratorState {
    EnumeratorState(std::shared_ptr<ComSession> session, ComRef<IEnumVARIANT> items)
        : session(std::move(session)), items(std::move(items)) {
        VariantInit(&current);
    }
    // Released through the session: this runs while the collector sweeps.
    ~EnumeratorState() {
        session->deferClear(current);
        session->deferRelease(items.detach());
    }
    EnumeratorState(const EnumeratorState&) = delete;
    EnumeratorState& operator=(const EnumeratorState&) = delete;

    void fetch() {
        VariantClear(&current);
        VARIANT next;
        VariantInit(&next);
        ULONG fetched = 0;
        if (items->Next(1, &next, &fetched) == S_OK) {
            current = next;
            atEnd = false;
        } else {
            VariantClear(&next);
            atEnd = true;
        }
    }

    std::shared_ptr<ComSession> session;
    ComRef<IEnumVARIANT> items;
    VARIANT current;
    bool atEnd = true;
};

bool atEnd(EnumeratorState& state) {
    return state.atEnd;
}

ScriptValue item(ScriptEngine* engine, EnumeratorState& state) {
    if (state.atEnd) return makeUndefined();
    return fromVariant(engine, state.current);
}

void moveFirst(EnumeratorState& state) {
    state.items->Reset();
    state.fetch();
}

void moveNext(EnumeratorState& state) {
    if (!state.atEnd) state.fetch();
}

// The collection's enumerator: DISPID_NEWENUM, else the member named "_NewEnum".
ComRef<IEnumVARIANT> newEnum(IDispatch* collection) {
    DISPPARAMS none{};
    for (int attempt = 0; attempt < 2; ++attempt) {
        DISPID id = DISPID_NEWENUM;
        if (attempt == 1) {
            wchar_t name[] = L"_NewEnum";
            LPOLESTR names[1] = {name};
            if (FAILED(collection->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) ||
                id == DISPID_NEWENUM) {
                break;
            }
        }
        VariantHolder result;
        EXCEPINFO exception{};
        HRESULT hr = collection->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                        &none, result.get(), &exception, nullptr);
        clearException(&exception);
        if (FAILED(hr)) continue;
        VARTYPE vt = V_VT(result.get());
        if (vt != VT_UNKNOWN && vt != VT_DISPATCH) continue;
        auto items = queryInterface<IEnumVARIANT>(V_UNKNOWN(result.get()), IID_IEnumVARIANT);
        if (items) return items;
    }
    return {};
}

// Null unless the argument is an ActiveXObject that gives an enumerator.
ScriptValue makeEnumerator(ScriptEngine* engine, ScriptValue collection) {
    IDispatch* dispatch = activeXDispatch(collection);
    std::shared_ptr<ComSession> session = sessionOf(engine);
    if (!dispatch || !session) return makeNull();
    session->drain();
    ComRef<IEnumVARIANT> items = newEnum(dispatch);
    if (!items) return makeNull();
    auto state = std::make_unique<EnumeratorState>(session, std::move(items));
    state->fetch();
    return bind::newInstance(engine, ClassId::kEnumerator, std::move(state));
}

constexpr bind::Member kEnumeratorMembers[] = {
    bind::method<atEnd>("atEnd").doc("True after the last item of the collection."),
    bind::method<item>("item").doc(
        "The current item, converted to a script value; undefined after the last."),
    bind::method<moveFirst>("moveFirst").doc("Goes back to the first item."),
    bind::method<moveNext>("moveNext").doc("Goes on to the next item."),
    bind::objectText("[object Enumerator]"),
};

}  // namespace

void registerEnumerator(ScriptEngine* engine) {
    bind::defineClass<EnumeratorState>(
        engine, {.name = "Enumerator",
                 .id = ClassId::kEnumerator,
                 .members = {kEnumeratorMembers},
                 .call = bind::constructorCall<makeEnumerator>,
                 .construct = bind::constructor<makeEnumerator>,
                 .synopsis = "collection",
                 .summary = "Walks a COM collection (an ActiveXObject with _NewEnum) item by item; "
                            "null for anything else."});
}

}  // namespace quill
