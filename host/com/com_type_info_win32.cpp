// Reading automation type information: declared parameter types and invocation flags per
// member, and the default event interface of an object's class.
#include "host/com/com_type_info.h"

namespace quill::com {

namespace {

// Aliases may refer to aliases; a type library that loops gets no declared type.
constexpr int kMaxTypeDepth = 16;

class TypeAttr {
  public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) {
        if (info_ && FAILED(info_->GetTypeAttr(&attr_))) attr_ = nullptr;
    }
    ~TypeAttr() {
        if (attr_) info_->ReleaseTypeAttr(attr_);
    }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    const TYPEATTR* operator->() const { return attr_; }
    explicit operator bool() const { return attr_ != nullptr; }

  private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
  public:
    FuncDesc(ITypeInfo* info, UINT index) : info_(info) {
        if (FAILED(info_->GetFuncDesc(index, &desc_))) desc_ = nullptr;
    }
    ~FuncDesc() {
        if (desc_) info_->ReleaseFuncDesc(desc_);
    }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    const FUNCDESC* operator->() const { return desc_; }
    explicit operator bool() const { return desc_ != nullptr; }

  private:
    ITypeInfo* info_;
    FUNCDESC* desc_ = nullptr;
};

class VarDesc {
  public:
    VarDesc(ITypeInfo* info, UINT index) : info_(info) {
        if (FAILED(info_->GetVarDesc(index, &desc_))) desc_ = nullptr;
    }
    ~VarDesc() {
        if (desc_) info_->ReleaseVarDesc(desc_);
    }
    VarDesc(const VarDesc&) = delete;
    VarDesc& operator=(const VarDesc&) = delete;
    const VARDESC* operator->() const { return desc_; }
    explicit operator bool() const { return desc_ != nullptr; }

  private:
    ITypeInfo* info_;
    VARDESC* desc_ = nullptr;
};

enum Access { kCall, kGet, kPut };

VARTYPE builtinStructure(ITypeInfo* info) {
    BSTR name = nullptr;
    if (FAILED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) return 0;
    std::u16string text = fromBstr(name);
    SysFreeString(name);
    if (text == u"CY" || text == u"tagCY" || text == u"CURRENCY") return VT_CY;
    if (text == u"DECIMAL" || text == u"tagDEC") return VT_DECIMAL;
    return 0;
}

VARTYPE resolve(ITypeInfo* owner, const TYPEDESC& type, int depth) {
    if (depth > kMaxTypeDepth) return VT_VARIANT;
    switch (type.vt) {
        case VT_PTR: {
            if (!type.lptdesc) return VT_VARIANT;
            const TYPEDESC& inner = *type.lptdesc;
            VARTYPE target = resolve(owner, inner, depth + 1);
            // A pointer to an interface is the interface itself.
            if (inner.vt == VT_USERDEFINED && (target == VT_DISPATCH || target == VT_UNKNOWN)) {
                return target;
            }
            if ((target & VT_BYREF) || target == VT_EMPTY) return VT_VARIANT;
            return VARTYPE(target | VT_BYREF);
        }
        case VT_SAFEARRAY: {
            if (!type.lptdesc) return VT_ARRAY | VT_VARIANT;
            VARTYPE element = resolve(owner, *type.lptdesc, depth + 1);
            if (element & (VT_BYREF | VT_ARRAY) || element == VT_EMPTY)
                return VT_ARRAY | VT_VARIANT;
            return VARTYPE(VT_ARRAY | element);
        }
        case VT_USERDEFINED: {
            ComRef<ITypeInfo> ref;
            if (!owner || FAILED(owner->GetRefTypeInfo(type.hreftype, ref.put()))) {
                return VT_VARIANT;
            }
            TypeAttr attr(ref.get());
            if (!attr) return VT_VARIANT;
            // Some IDL compilers describe currency and decimal as the structures behind them.
            if (VARTYPE named = builtinStructure(ref.get())) return named;
            switch (attr->typekind) {
                case TKIND_ENUM:
                    return VT_I4;
                case TKIND_ALIAS:
                    return resolve(ref.get(), attr->tdescAlias, depth + 1);
                case TKIND_DISPATCH:
                case TKIND_COCLASS:
                    return VT_DISPATCH;
                case TKIND_INTERFACE:
                    return (attr->wTypeFlags & TYPEFLAG_FDISPATCHABLE) ? VT_DISPATCH : VT_UNKNOWN;
                default:
                    return VT_VARIANT;
            }
        }
        case VT_HRESULT:
            return VT_ERROR;
        case VT_VOID:
            return VT_EMPTY;
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
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
            return type.vt;
        default:
            return VT_VARIANT;
    }
}

// Parameters a caller supplies: return-value and locale parameters of a vtable description are
// filled by the dispatch layer.
std::vector<ParamType> parameters(ITypeInfo* info, const FUNCDESC* desc) {
    std::vector<ParamType> out;
    for (SHORT i = 0; i < desc->cParams; ++i) {
        const ELEMDESC& element = desc->lprgelemdescParam[i];
        USHORT flags = element.paramdesc.wParamFlags;
        if (flags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) continue;
        ParamType p;
        p.vt = declaredType(info, element.tdesc);
        if (p.vt == VT_EMPTY) p.vt = VT_VARIANT;
        p.optional = (flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0;
        out.push_back(p);
    }
    return out;
}

}  // namespace

VARTYPE declaredType(ITypeInfo* owner, const TYPEDESC& type) {
    return resolve(owner, type, 0);
}

TypeDescription::TypeDescription(IDispatch* dispatch) {
    UINT count = 0;
    if (!dispatch || FAILED(dispatch->GetTypeInfoCount(&count)) || count == 0) return;
    ComRef<ITypeInfo> info;
    if (FAILED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info) return;
    // A dual interface describes its vtable form; its dispatch form lists what Invoke takes.
    {
        TypeAttr attr(info.get());
        if (attr && attr->typekind == TKIND_INTERFACE && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
            HREFTYPE ref = 0;
            ComRef<ITypeInfo> dispatchForm;
            if (SUCCEEDED(info->GetRefTypeOfImplType(UINT(-1), &ref)) &&
                SUCCEEDED(info->GetRefTypeInfo(ref, dispatchForm.put())) && dispatchForm) {
                info = dispatchForm;
            }
        }
    }
    info_ = info;
}

const MemberInfo& TypeDescription::forCall(DISPID id) {
    auto key = std::make_pair(id, int(kCall));
    auto it = cache_.find(key);
    if (it == cache_.end()) it = cache_.emplace(key, describe(id, kCall, false)).first;
    return it->second;
}

const MemberInfo& TypeDescription::forGet(DISPID id) {
    auto key = std::make_pair(id, int(kGet));
    auto it = cache_.find(key);
    if (it == cache_.end()) it = cache_.emplace(key, describe(id, kGet, false)).first;
    return it->second;
}

const MemberInfo& TypeDescription::forPut(DISPID id, bool objectValue) {
    auto key = std::make_pair(id, int(kPut) + (objectValue ? 1 : 0));
    auto it = cache_.find(key);
    if (it == cache_.end()) it = cache_.emplace(key, describe(id, kPut, objectValue)).first;
    return it->second;
}

MemberInfo TypeDescription::describe(DISPID id, int access, bool objectValue) {
    MemberInfo out;
    switch (access) {
        case kCall:
            out.flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
            break;
        case kGet:
            out.flags = DISPATCH_PROPERTYGET;
            break;
        default:
            out.flags = DISPATCH_PROPERTYPUT;
            out.params.push_back({});
            break;
    }
    if (!info_) return out;
    TypeAttr attr(info_.get());
    if (!attr) return out;
    // The first description of the member for each kind of invocation.
    int method = -1, getter = -1, putter = -1, putRef = -1;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FuncDesc desc(info_.get(), i);
        if (!desc || desc->memid != id) continue;
        int* slot = desc->invkind == INVOKE_FUNC             ? &method
                    : desc->invkind == INVOKE_PROPERTYGET    ? &getter
                    : desc->invkind == INVOKE_PROPERTYPUT    ? &putter
                    : desc->invkind == INVOKE_PROPERTYPUTREF ? &putRef
                                                             : nullptr;
        if (slot && *slot < 0) *slot = int(i);
    }
    int chosen = -1;
    if (access == kCall) {
        if (method >= 0) {
            chosen = method;
            out.flags = DISPATCH_METHOD;
        } else if (getter >= 0) {
            chosen = getter;
            out.flags = DISPATCH_PROPERTYGET;
        }
    } else if (access == kGet) {
        chosen = getter;
    } else if (putRef >= 0 && (putter < 0 || objectValue)) {
        chosen = putRef;
        out.flags = DISPATCH_PROPERTYPUTREF;
    } else {
        chosen = putter;
    }
    if (chosen >= 0) {
        FuncDesc desc(info_.get(), UINT(chosen));
        if (desc) {
            out.described = true;
            out.params = parameters(info_.get(), desc.operator->());
            // An assignment passes only the value: the last parameter.
            if (access == kPut) {
                ParamType value = out.params.empty() ? ParamType{} : out.params.back();
                value.optional = false;
                out.params.assign(1, value);
            }
        }
        return out;
    }
    // Properties of a dispatch interface are variables.
    for (UINT i = 0; i < attr->cVars; ++i) {
        VarDesc desc(info_.get(), i);
        if (!desc || desc->memid != id) continue;
        out.described = true;
        ParamType type{declaredType(info_.get(), desc->elemdescVar.tdesc), false};
        if (type.vt == VT_EMPTY) type.vt = VT_VARIANT;
        if (access == kPut) {
            out.params.assign(1, type);
        } else {
            out.flags = DISPATCH_PROPERTYGET;
            out.params.clear();
        }
        break;
    }
    return out;
}

std::u16string TypeDescription::nameOf(DISPID id) {
    if (!info_) return {};
    BSTR name = nullptr;
    UINT got = 0;
    if (FAILED(info_->GetNames(id, &name, 1, &got)) || got == 0) return {};
    std::u16string out = fromBstr(name);
    SysFreeString(name);
    return out;
}

namespace {

bool sameGuid(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b) != 0;
}

// The coclass whose default (non-source) interface is `iid`.
ComRef<ITypeInfo> coclassImplementing(ITypeLib* library, const IID& iid) {
    UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
        ComRef<ITypeInfo> coclass;
        if (FAILED(library->GetTypeInfo(i, coclass.put()))) continue;
        TypeAttr attr(coclass.get());
        if (!attr) continue;
        for (UINT j = 0; j < attr->cImplTypes; ++j) {
            INT flags = 0;
            HREFTYPE ref = 0;
            ComRef<ITypeInfo> implemented;
            if (FAILED(coclass->GetImplTypeFlags(j, &flags)) || (flags & IMPLTYPEFLAG_FSOURCE) ||
                FAILED(coclass->GetRefTypeOfImplType(j, &ref)) ||
                FAILED(coclass->GetRefTypeInfo(ref, implemented.put()))) {
                continue;
            }
            TypeAttr implAttr(implemented.get());
            if (implAttr && sameGuid(implAttr->guid, iid)) return coclass;
        }
    }
    return {};
}

ComRef<ITypeInfo> coclassOf(IDispatch* dispatch, const CLSID* clsid) {
    ComRef<ITypeInfo> coclass;
    if (auto provider = queryInterface<IProvideClassInfo>(dispatch, IID_IProvideClassInfo)) {
        if (SUCCEEDED(provider->GetClassInfo(coclass.put())) && coclass) return coclass;
    }
    UINT count = 0;
    ComRef<ITypeInfo> info;
    if (FAILED(dispatch->GetTypeInfoCount(&count)) || count == 0 ||
        FAILED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info) {
        return {};
    }
    ComRef<ITypeLib> library;
    UINT index = 0;
    if (FAILED(info->GetContainingTypeLib(library.put(), &index)) || !library) return {};
    if (clsid && SUCCEEDED(library->GetTypeInfoOfGuid(*clsid, coclass.put())) && coclass) {
        TypeAttr attr(coclass.get());
        if (attr && attr->typekind == TKIND_COCLASS) return coclass;
    }
    TypeAttr attr(info.get());
    if (!attr) return {};
    return coclassImplementing(library.get(), attr->guid);
}

}  // namespace

bool findDefaultSource(IDispatch* dispatch, const CLSID* clsid, EventInterface* out) {
    if (!dispatch) return false;
    ComRef<ITypeInfo> coclass = coclassOf(dispatch, clsid);
    if (!coclass) return false;
    TypeAttr attr(coclass.get());
    if (!attr) return false;
    for (UINT j = 0; j < attr->cImplTypes; ++j) {
        INT flags = 0;
        HREFTYPE ref = 0;
        ComRef<ITypeInfo> source;
        if (FAILED(coclass->GetImplTypeFlags(j, &flags))) continue;
        if (!(flags & IMPLTYPEFLAG_FSOURCE) || !(flags & IMPLTYPEFLAG_FDEFAULT)) continue;
        if (FAILED(coclass->GetRefTypeOfImplType(j, &ref)) ||
            FAILED(coclass->GetRefTypeInfo(ref, source.put())) || !source) {
            return false;
        }
        TypeAttr sourceAttr(source.get());
        if (!sourceAttr) return false;
        out->iid = sourceAttr->guid;
        out->info = source;
        return true;
    }
    return false;
}

bool findEvent(ITypeInfo* source, const std::u16string& name, MEMBERID* out) {
    if (!source || name.empty()) return false;
    std::u16string copy = name;
    LPOLESTR names[1] = {reinterpret_cast<LPOLESTR>(copy.data())};
    return SUCCEEDED(source->GetIDsOfNames(names, 1, out));
}

}  // namespace quill::com
