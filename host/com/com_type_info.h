// What an automation object's type information says about its members: the declared parameter
// types that drive the argument conversions, the invocation flags for a call, a read or an
// assignment, and the object's default event interface with its event names.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/com/com_support.h"

namespace quill::com {

// A declared parameter type: a VARTYPE that may carry VT_BYREF and VT_ARRAY. VT_VARIANT stands
// for "nothing declared" (the value's own conversion applies).
struct ParamType {
    VARTYPE vt = VT_VARIANT;
    bool optional = false;
};

struct MemberInfo {
    bool described = false;  // the type information knows the member for this access
    WORD flags = 0;          // the DISPATCH_ flags to invoke with
    std::vector<ParamType> params;
};

// The type information of one object, read as members are used and kept per member.
class TypeDescription {
  public:
    explicit TypeDescription(IDispatch* dispatch);

    // A call `obj.name(args)`: a method, or a property read with arguments.
    const MemberInfo& forCall(DISPID id);
    // A read `obj.name`.
    const MemberInfo& forGet(DISPID id);
    // An assignment `obj.name = value`; `objectValue` prefers a by-reference put when both exist.
    const MemberInfo& forPut(DISPID id, bool objectValue);
    // The member's name, or empty when the type information does not know it.
    std::u16string nameOf(DISPID id);
    // The dispatch interface's own type information, or null.
    ITypeInfo* info() { return info_.get(); }

  private:
    MemberInfo describe(DISPID id, int access, bool objectValue);

    ComRef<ITypeInfo> info_;
    std::map<std::pair<DISPID, int>, MemberInfo> cache_;
};

// The declared type of a TYPEDESC, resolved through aliases, enumerations and interfaces.
VARTYPE declaredType(ITypeInfo* owner, const TYPEDESC& type);

// An object's default event interface.
struct EventInterface {
    ComRef<ITypeInfo> info;
    IID iid{};
};
// Finds it through IProvideClassInfo, else the coclass of `clsid` (when the object was made from
// a class identifier), else a coclass of the object's type library whose default interface is
// the object's. False when the object declares no events.
bool findDefaultSource(IDispatch* dispatch, const CLSID* clsid, EventInterface* out);
// The member id of an event by name (letter case ignored).
bool findEvent(ITypeInfo* source, const std::u16string& name, MEMBERID* out);

}  // namespace quill::com
