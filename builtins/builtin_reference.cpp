// Finds the reference rows of a class with hand-written hooks by its id (the tables themselves
// live beside each class's hooks).
#include "builtins/builtin_reference.h"

namespace quill {

bind::MemberTable builtinReference(ClassId id) {
    switch (id) {
        case ClassId::kArray:
            return arrayReference();
        case ClassId::kBoolean:
            return booleanReference();
        case ClassId::kDate:
            return dateReference();
        case ClassId::kFunction:
            return functionReference();
        case ClassId::kMath:
            return mathReference();
        case ClassId::kNumber:
            return numberReference();
        case ClassId::kObject:
            return objectReference();
        case ClassId::kRegExp:
            return regexpReference();
        case ClassId::kString:
            return stringReference();
#ifdef _WIN32
        case ClassId::kActiveXObject:
            return activeXObjectReference();
#endif
        default:
            return {};
    }
}

}  // namespace quill
