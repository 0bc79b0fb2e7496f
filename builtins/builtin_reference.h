// Reference rows for the classes whose hooks are written by hand (the ECMAScript classes and
// ActiveXObject): each keeps a table of its members beside its hooks, rows that describe and are
// never called, so the hooks stay as fast as they are. A unit test holds every table to the names
// its class's hooks really answer.
#pragma once

#include "runtime/class_binding.h"

namespace quill {

namespace bind {

// Stands for the setter of a described property that scripts can assign; never called.
inline void describedAssignment(const detail::Call&, ScriptValue*) {}

// A method of instances (arguments as an author writes them, and one line).
constexpr Member describedMethod(const char* name, const char* arguments, const char* line) {
    return {.name = name, .kind = MemberKind::kMethod, .synopsis = arguments, .summary = line};
}
// A method of the class itself, such as Date.parse.
constexpr Member describedClassMethod(const char* name, const char* arguments, const char* line) {
    return {.name = name,
            .kind = MemberKind::kMethod,
            .classLevel = true,
            .synopsis = arguments,
            .summary = line};
}
enum class Access : uint8_t { kReadOnly, kWritable };
constexpr Member describedProperty(const char* name, const char* line,
                                   Access access = Access::kReadOnly) {
    return {.name = name,
            .kind = MemberKind::kProperty,
            .set = access == Access::kWritable ? describedAssignment : nullptr,
            .summary = line};
}
constexpr Member describedClassProperty(const char* name, const char* line,
                                        Access access = Access::kReadOnly) {
    Member row = describedProperty(name, line, access);
    row.classLevel = true;
    return row;
}
// An event property: a script function assigned to it handles the event.
constexpr Member describedHandler(const char* name, const char* line) {
    return {
        .name = name, .kind = MemberKind::kHandler, .set = describedAssignment, .summary = line};
}

}  // namespace bind

// The described rows of a class with hand-written hooks; empty for any other class.
bind::MemberTable builtinReference(ClassId id);

// Each class's table, beside its hooks.
bind::MemberTable arrayReference();
bind::MemberTable booleanReference();
bind::MemberTable dateReference();
bind::MemberTable functionReference();
bind::MemberTable mathReference();
bind::MemberTable numberReference();
bind::MemberTable objectReference();
bind::MemberTable regexpReference();
bind::MemberTable stringReference();
#ifdef _WIN32
bind::MemberTable activeXObjectReference();  // host/com/activex_object_win32.cpp
#endif

}  // namespace quill
