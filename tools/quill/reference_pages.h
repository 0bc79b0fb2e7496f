// The reference model behind `quill doc` and `quill-projector-doc`: the classes and global
// functions an engine has registered, with their descriptions, rendered as terminal text, as the
// Markdown pages of docs/reference, or checked for anything left undescribed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/class_binding.h"

namespace quill::reference {

struct Entry {
    const ClassDescriptor* cls = nullptr;
    std::string name;
    std::vector<std::string> aliases;
    std::vector<const bind::Member*> members;
    std::vector<bind::GlobalConstant> globals;
};

struct Reference {
    std::vector<Entry> classes;
    std::vector<Entry> functions;
};

// Everything `engine` has registered, sorted by name. The entries point into the engine's class
// descriptors: keep the engine until the reference is rendered.
Reference collect(ScriptEngine* engine);
// The classes and functions of `ref` whose names `base` does not have: what a host adds.
Reference addedTo(Reference ref, const Reference& base);

// Which pages a reference makes: the engine's (index.md, functions.md and a page per class) or
// the projector's (projector.md, its functions and an index of its classes, and a page per
// class), which sit beside them in docs/reference.
enum class PageSet { kEngine, kProjector };

struct DocTool {
    const char* program;  // "quill doc", "quill-projector-doc": for messages and usage
    PageSet pages;
};

// The usage text of the doc command.
std::string docUsage(const DocTool& tool);
// Runs `[CLASS | CLASS.MEMBER | FUNCTION] | --markdown FOLDER | --check` on the reference that
// `build` gives (called once the arguments are known to be good, so a mistake costs no engine).
// 0 on success, 1 on failure (or undescribed members), 2 on bad arguments.
int runDoc(const DocTool& tool, int argc, char** argv,
           const std::function<int(const std::function<int(const Reference&)>&)>& withReference);

}  // namespace quill::reference
