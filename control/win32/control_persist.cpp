// Persistence: the control's properties saved to and loaded from a stream (also inside a
// storage, which is what OleCreate asks for) and a property bag (the named parameters of an
// embedding page). What is read is checked: counts and lengths are bounded, unknown entries are
// skipped, and a damaged stream changes nothing.
#include <windows.h>

#include <cwctype>
#include <map>
#include <vector>

#include "movie_control.h"

namespace quill::movie {

namespace {

constexpr uint32_t kMagic = 0x31434D51;  // "QMC1"
constexpr uint32_t kMaxEntries = 64;
constexpr uint32_t kMaxText = 32768;

enum Kind : uint16_t { kBool = 1, kInt = 2, kText = 3 };
enum Id : uint16_t {
    kMovie = 1,
    kPlaying,
    kLoop,
    kQuality,
    kScaleMode,
    kAlignMode,
    kBackground,
    kBase,
    kFlashVars,
    kMenu,
    kWMode,
    kDeviceFont,
    kEmbedMovie,
    kSWRemote
};

struct Entry {
    Entry(Kind k = kInt, int32_t n = 0, std::wstring t = {})
        : kind(k), number(n), text(std::move(t)) {}
    Kind kind;
    int32_t number;
    std::wstring text;
};

bool readExact(IStream* s, void* p, ULONG n) {
    ULONG got = 0;
    return SUCCEEDED(s->Read(p, n, &got)) && got == n;
}

bool writeExact(IStream* s, const void* p, ULONG n) {
    ULONG put = 0;
    return SUCCEEDED(s->Write(p, n, &put)) && put == n;
}

BSTR bstrOf(const std::wstring& s) {
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

}  // namespace

STDMETHODIMP MovieControl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_QuillMovie;
    return S_OK;
}

STDMETHODIMP MovieControl::IsDirty() {
    return dirty_ ? S_OK : S_FALSE;
}

STDMETHODIMP MovieControl::InitNew() {
    dirty_ = false;
    return S_OK;
}

STDMETHODIMP MovieControl::Load(IStream* stream) {
    if (!stream) return E_POINTER;
    uint32_t magic = 0, count = 0;
    if (!readExact(stream, &magic, 4) || magic != kMagic || !readExact(stream, &count, 4) ||
        count > kMaxEntries) {
        return E_FAIL;
    }
    std::map<uint16_t, Entry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t head[2];
        if (!readExact(stream, head, 4)) return E_FAIL;
        Entry e(static_cast<Kind>(head[1]));
        if (e.kind == kBool) {
            uint8_t b;
            if (!readExact(stream, &b, 1)) return E_FAIL;
            e.number = b != 0;
        } else if (e.kind == kInt) {
            if (!readExact(stream, &e.number, 4)) return E_FAIL;
        } else if (e.kind == kText) {
            uint32_t n;
            if (!readExact(stream, &n, 4) || n > kMaxText) return E_FAIL;
            e.text.resize(n);
            if (n && !readExact(stream, e.text.data(), n * 2)) return E_FAIL;
        } else {
            return E_FAIL;
        }
        entries[head[0]] = e;
    }
    // Everything was read: only now are the properties changed.
    auto text = [&](uint16_t id) -> BSTR {
        auto it = entries.find(id);
        return it != entries.end() && it->second.kind == kText ? bstrOf(it->second.text) : nullptr;
    };
    auto number = [&](uint16_t id, int32_t* out) {
        auto it = entries.find(id);
        if (it == entries.end() || it->second.kind == kText) return false;
        *out = it->second.number;
        return true;
    };
    int32_t n;
    if (number(kPlaying, &n)) put_Playing(n ? VARIANT_TRUE : VARIANT_FALSE);
    if (number(kLoop, &n)) put_Loop(n ? VARIANT_TRUE : VARIANT_FALSE);
    if (number(kQuality, &n)) put_Quality(n);
    if (number(kScaleMode, &n)) put_ScaleMode(n);
    if (number(kAlignMode, &n)) put_AlignMode(n);
    if (number(kBackground, &n)) put_BackgroundColor(n);
    if (number(kMenu, &n)) put_Menu(n ? VARIANT_TRUE : VARIANT_FALSE);
    if (number(kDeviceFont, &n)) put_DeviceFont(n ? VARIANT_TRUE : VARIANT_FALSE);
    if (number(kEmbedMovie, &n)) put_EmbedMovie(n ? VARIANT_TRUE : VARIANT_FALSE);
    for (auto [id, put] : {std::make_pair(kBase, &MovieControl::put_Base),
                           std::make_pair(kFlashVars, &MovieControl::put_FlashVars),
                           std::make_pair(kWMode, &MovieControl::put_WMode),
                           std::make_pair(kSWRemote, &MovieControl::put_SWRemote),
                           std::make_pair(kMovie, &MovieControl::put_Movie)}) {
        if (BSTR b = text(id)) {
            (this->*put)(b);
            SysFreeString(b);
        }
    }
    dirty_ = false;
    return S_OK;
}

STDMETHODIMP MovieControl::Save(IStream* stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    std::vector<std::pair<uint16_t, Entry>> entries = {
        {kMovie, {kText, 0, movieUrl_}},
        {kPlaying, {kBool, playing_}},
        {kLoop, {kBool, player_.loop}},
        {kQuality, {kInt, quality_}},
        {kScaleMode, {kInt, view_.scaleMode()}},
        {kAlignMode, {kInt, view_.align()}},
        {kBackground, {kInt, backgroundColor_}},
        {kBase, {kText, 0, base_}},
        {kFlashVars, {kText, 0, flashVars_}},
        {kMenu, {kBool, menu_}},
        {kWMode, {kText, 0, wmode_}},
        {kDeviceFont, {kBool, deviceFont_}},
        {kEmbedMovie, {kBool, embedMovie_}},
        {kSWRemote, {kText, 0, swRemote_}},
    };
    uint32_t count = static_cast<uint32_t>(entries.size());
    if (!writeExact(stream, &kMagic, 4) || !writeExact(stream, &count, 4)) return STG_E_CANTSAVE;
    for (auto& [id, e] : entries) {
        uint16_t head[2] = {id, static_cast<uint16_t>(e.kind)};
        if (!writeExact(stream, head, 4)) return STG_E_CANTSAVE;
        bool ok = true;
        if (e.kind == kBool) {
            uint8_t b = e.number != 0;
            ok = writeExact(stream, &b, 1);
        } else if (e.kind == kInt) {
            ok = writeExact(stream, &e.number, 4);
        } else {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(e.text.size(), kMaxText));
            ok = writeExact(stream, &n, 4) && (n == 0 || writeExact(stream, e.text.data(), n * 2));
        }
        if (!ok) return STG_E_CANTSAVE;
    }
    if (clearDirty) dirty_ = false;
    return S_OK;
}

STDMETHODIMP MovieControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 8 + 14 * 8 + 5 * 2 * kMaxText;
    return S_OK;
}

// Property bags: the parameter names of an embedding page.

STDMETHODIMP MovieControl::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    auto read = [&](const wchar_t* name, std::wstring* out) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        if (FAILED(bag->Read(name, &v, log))) return false;
        bool ok = SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BSTR));
        if (ok)
            *out = v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
        VariantClear(&v);
        return ok;
    };
    auto flag = [](const std::wstring& s) {
        std::wstring l;
        for (wchar_t c : s) l += static_cast<wchar_t>(std::towlower(c));
        return l == L"true" || l == L"1" || l == L"-1" || l == L"yes";
    };
    std::wstring s;
    auto withBstr = [&](HRESULT (MovieControl::*put)(BSTR)) {
        BSTR b = bstrOf(s);
        (this->*put)(b);
        SysFreeString(b);
    };
    if (read(L"Play", &s)) put_Playing(flag(s) ? VARIANT_TRUE : VARIANT_FALSE);
    if (read(L"Loop", &s)) put_Loop(flag(s) ? VARIANT_TRUE : VARIANT_FALSE);
    if (read(L"Menu", &s)) put_Menu(flag(s) ? VARIANT_TRUE : VARIANT_FALSE);
    if (read(L"DeviceFont", &s)) put_DeviceFont(flag(s) ? VARIANT_TRUE : VARIANT_FALSE);
    if (read(L"EmbedMovie", &s)) put_EmbedMovie(flag(s) ? VARIANT_TRUE : VARIANT_FALSE);
    if (read(L"Quality", &s)) withBstr(&MovieControl::put_Quality2);
    if (read(L"Scale", &s)) withBstr(&MovieControl::put_Scale);
    if (read(L"SAlign", &s)) withBstr(&MovieControl::put_SAlign);
    if (read(L"BGColor", &s)) withBstr(&MovieControl::put_BGColor);
    if (read(L"WMode", &s)) withBstr(&MovieControl::put_WMode);
    if (read(L"Base", &s)) withBstr(&MovieControl::put_Base);
    if (read(L"FlashVars", &s)) withBstr(&MovieControl::put_FlashVars);
    if (read(L"SWRemote", &s)) withBstr(&MovieControl::put_SWRemote);
    if (read(L"Movie", &s) || read(L"Src", &s)) withBstr(&MovieControl::put_Movie);
    dirty_ = false;
    return S_OK;
}

STDMETHODIMP MovieControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
    if (!bag) return E_POINTER;
    auto write = [&](const wchar_t* name, BSTR value) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = value;
        HRESULT hr = bag->Write(name, &v);
        VariantClear(&v);
        return SUCCEEDED(hr);
    };
    BSTR quality = nullptr, scale = nullptr, align = nullptr, color = nullptr;
    get_Quality2(&quality);
    get_Scale(&scale);
    get_SAlign(&align);
    get_BGColor(&color);
    bool ok = write(L"Movie", bstrOf(movieUrl_)) &&
              write(L"Play", SysAllocString(playing_ ? L"true" : L"false")) &&
              write(L"Loop", SysAllocString(player_.loop ? L"true" : L"false")) &&
              write(L"Quality", quality) && write(L"Scale", scale) && write(L"SAlign", align) &&
              write(L"BGColor", color) && write(L"WMode", bstrOf(wmode_)) &&
              write(L"Menu", SysAllocString(menu_ ? L"true" : L"false")) &&
              write(L"Base", bstrOf(base_)) && write(L"FlashVars", bstrOf(flashVars_)) &&
              write(L"DeviceFont", SysAllocString(deviceFont_ ? L"true" : L"false")) &&
              write(L"EmbedMovie", SysAllocString(embedMovie_ ? L"true" : L"false")) &&
              write(L"SWRemote", bstrOf(swRemote_));
    if (!ok) return E_FAIL;
    if (clearDirty) dirty_ = false;
    return S_OK;
}

// Storages: the properties in a stream named "Contents".

STDMETHODIMP MovieControl::InitNew(IStorage*) {
    return InitNew();
}

STDMETHODIMP MovieControl::Load(IStorage* storage) {
    if (!storage) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr =
        storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
    if (FAILED(hr)) return hr;
    hr = Load(stream);
    stream->Release();
    return hr;
}

STDMETHODIMP MovieControl::Save(IStorage* storage, BOOL) {
    if (!storage) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr = storage->CreateStream(L"Contents", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                       0, 0, &stream);
    if (FAILED(hr)) return hr;
    hr = Save(stream, TRUE);
    stream->Release();
    return hr;
}

STDMETHODIMP MovieControl::SaveCompleted(IStorage*) {
    return S_OK;
}
STDMETHODIMP MovieControl::HandsOffStorage() {
    return S_OK;
}

}  // namespace quill::movie
