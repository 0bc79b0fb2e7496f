// The COM session of an engine (initialisation and deferred releases) and the texts of COM
// failures that scripts see.
#include <cstdio>

#include "host/com/com_support.h"

namespace quill::com {

ComSession::ComSession() {
    // Apartment threaded: every call happens on the engine's thread.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    initialized_ = SUCCEEDED(hr);
}

ComSession::~ComSession() {
    drain();
    if (initialized_) CoUninitialize();
}

void ComSession::deferClear(VARIANT value) {
    if (V_VT(&value) == VT_EMPTY) return;
    values_.push_back(value);
}

void ComSession::deferRelease(IUnknown* object) {
    if (!object) return;
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_UNKNOWN;
    V_UNKNOWN(&v) = object;
    values_.push_back(v);
}

void ComSession::deferUnadvise(IConnectionPoint* point, DWORD cookie) {
    if (point) connections_.push_back({point, cookie});
}

void ComSession::drain() {
    // A release may run code that queues more (or drains again): take the lists first.
    while (!connections_.empty() || !values_.empty()) {
        std::vector<Connection> connections;
        std::vector<VARIANT> values;
        connections.swap(connections_);
        values.swap(values_);
        for (Connection& c : connections) {
            c.point->Unadvise(c.cookie);
            c.point->Release();
        }
        for (VARIANT& v : values) VariantClear(&v);
    }
}

namespace {

// The automation and object-creation errors in the words Windows uses for them, for systems whose
// message table lacks them (Wine's does).
std::string dispatchErrorText(HRESULT hr) {
    switch (hr) {
        case DISP_E_UNKNOWNINTERFACE:
            return "Unknown interface.";
        case DISP_E_MEMBERNOTFOUND:
            return "Member not found.";
        case DISP_E_PARAMNOTFOUND:
            return "Parameter not found.";
        case DISP_E_TYPEMISMATCH:
            return "Type mismatch.";
        case DISP_E_UNKNOWNNAME:
            return "Unknown name.";
        case DISP_E_NONAMEDARGS:
            return "No named arguments.";
        case DISP_E_BADVARTYPE:
            return "Bad variable type.";
        case DISP_E_OVERFLOW:
            return "Out of present range.";
        case DISP_E_BADINDEX:
            return "Invalid index.";
        case DISP_E_ARRAYISLOCKED:
            return "Memory is locked.";
        case DISP_E_BADPARAMCOUNT:
            return "Invalid number of parameters.";
        case DISP_E_PARAMNOTOPTIONAL:
            return "Parameter not optional.";
        case CO_E_CLASSSTRING:
            return "Invalid class string";
        case REGDB_E_CLASSNOTREG:
            return "Class not registered";
        case MK_E_SYNTAX:
            return "Invalid syntax";
        case MK_E_NOOBJECT:
            return "No object for moniker";
        case MK_E_CANTOPENFILE:
            return "Moniker cannot open file";
        case E_NOINTERFACE:
            return "No such interface supported";
        default:
            return {};
    }
}

}  // namespace

std::string hresultText(HRESULT hr) {
    wchar_t* buffer = nullptr;
    auto format = [&](DWORD language) {
        return FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                  FORMAT_MESSAGE_IGNORE_INSERTS,
                              nullptr, DWORD(hr), language, reinterpret_cast<wchar_t*>(&buffer), 0,
                              nullptr);
    };
    DWORD length = format(LANG_USER_DEFAULT);
    if (length == 0) length = format(0);
    std::string text;
    if (length != 0 && buffer) {
        text = toAnsiString(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length));
    }
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) text = dispatchErrorText(hr);
    if (text.empty()) {
        char code[48];
        std::snprintf(code, sizeof code, "Unknown error 0x%08lX", static_cast<unsigned long>(hr));
        text = code;
    }
    return text;
}

std::string exceptionText(EXCEPINFO* exception) {
    if (exception->pfnDeferredFillIn) {
        exception->pfnDeferredFillIn(exception);
        exception->pfnDeferredFillIn = nullptr;
    }
    auto take = [](BSTR& text) {
        std::string out = toAnsiString(fromBstr(text));
        SysFreeString(text);
        text = nullptr;
        return out;
    };
    std::string source = take(exception->bstrSource);
    std::string description = take(exception->bstrDescription);
    std::string helpFile = take(exception->bstrHelpFile);
    return source + ":" + description + ". See also: " + helpFile + ".";
}

void clearException(EXCEPINFO* exception) {
    if (!exception) return;
    SysFreeString(exception->bstrSource);
    SysFreeString(exception->bstrDescription);
    SysFreeString(exception->bstrHelpFile);
    *exception = EXCEPINFO{};
}

void raiseComFailure(ScriptEngine* engine, HRESULT hr, EXCEPINFO* exception) {
    std::string text =
        hr == DISP_E_EXCEPTION && exception ? exceptionText(exception) : hresultText(hr);
    clearException(exception);
    raiseError(engine, "%s", text.c_str());
}

BSTR newBstr(ScriptEngine* engine, std::u16string_view text) {
    if (text.size() > 0x7FFFFFFFu) raiseError(engine, "Out of memory");
    BSTR out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), UINT(text.size()));
    if (!out) raiseError(engine, "Out of memory");
    return out;
}

}  // namespace quill::com
