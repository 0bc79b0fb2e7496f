// `FlashPlayer`, the movie as scripts see it: class-level methods that call the main window's
// control by name. Text goes to the control as UTF-16; results come back as script values.
#include <optional>
#include <string>

#include "projector/script_objects.h"
#include "projector/shockwave_flash.h"
#include "runtime/class_binding.h"

namespace quill::projector {

namespace {

CShockwaveFlash* scriptControl = nullptr;

struct FlashPlayerObject {};

VARIANT textVariant(const std::u16string& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                                  static_cast<UINT>(text.size()));
    return v;
}

VARIANT longVariant(int64_t n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = static_cast<LONG>(n);
    return v;
}

bool callControl(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr) {
    if (!scriptControl || !scriptControl->created()) {
        for (VARIANT& a : args) VariantClear(&a);
        return false;
    }
    return SUCCEEDED(scriptControl->call(name, std::move(args), result));
}

std::optional<std::u16string> textResult(const wchar_t* name, std::vector<VARIANT> args) {
    VARIANT result;
    VariantInit(&result);
    if (!callControl(name, std::move(args), &result)) return std::nullopt;
    std::optional<std::u16string> out;
    VARIANT text;
    VariantInit(&text);
    if (SUCCEEDED(VariantChangeType(&text, &result, 0, VT_BSTR))) {
        out = std::u16string(reinterpret_cast<const char16_t*>(text.bstrVal),
                             SysStringLen(text.bstrVal));
    }
    VariantClear(&text);
    VariantClear(&result);
    return out;
}

std::optional<int64_t> numberResult(const wchar_t* name, std::vector<VARIANT> args) {
    VARIANT result;
    VariantInit(&result);
    if (!callControl(name, std::move(args), &result)) return std::nullopt;
    std::optional<int64_t> out;
    VARIANT n;
    VariantInit(&n);
    if (SUCCEEDED(VariantChangeType(&n, &result, 0, VT_I4))) out = n.lVal;
    VariantClear(&result);
    return out;
}

void setVariable(std::u16string path, bind::AsString value) {
    callControl(L"SetVariable", {textVariant(path), textVariant(value.text)});
}

std::optional<std::u16string> getVariable(std::u16string path) {
    return textResult(L"GetVariable", {textVariant(path)});
}

void play() {
    callControl(L"Play", {});
}
void stop() {
    callControl(L"Stop", {});
}
void gotoFrame(int64_t frame) {
    callControl(L"GotoFrame", {longVariant(frame)});
}
std::optional<int64_t> currentFrame() {
    return numberResult(L"CurrentFrame", {});
}
void targetCallFrame(std::u16string target, int64_t frame) {
    callControl(L"TCallFrame", {textVariant(target), longVariant(frame)});
}
void targetCallLabel(std::u16string target, std::u16string label) {
    callControl(L"TCallLabel", {textVariant(target), textVariant(label)});
}

constexpr bind::Member kFlashPlayerMembers[] = {
    bind::classMethod<setVariable>("setVariable"),
    bind::classMethod<getVariable>("getVariable"),
    bind::classMethod<play>("play"),
    bind::classMethod<stop>("stop"),
    bind::classMethod<gotoFrame>("gotoFrame"),
    bind::classMethod<currentFrame>("currentFrame", bind::Empty::kMinusOne),
    bind::classMethod<targetCallFrame>("targetCallFrame"),
    bind::classMethod<targetCallLabel>("targetCallLabel"),
    bind::objectText("[object FlashPlayer]"),
};

void registerFlashPlayer(ScriptEngine* engine) {
    bind::defineClass<FlashPlayerObject>(
        engine,
        {.name = "FlashPlayer", .id = ClassId::kFlashPlayer, .members = {kFlashPlayerMembers}});
}

constexpr HostRegistration kProjectorClasses[] = {
    {ClassId::kFlashPlayer, registerFlashPlayer},
};

}  // namespace

std::span<const HostRegistration> projectorClasses() {
    return kProjectorClasses;
}

void setScriptControl(CShockwaveFlash* control) {
    scriptControl = control;
}

}  // namespace quill::projector
