// `print(a, b, ...)`: the text of each argument, space-joined, then a newline, as UTF-8 on
// standard output.
#include "tools/quill/tool_functions.h"

#include <cstdio>
#include <string>

#include "runtime/class_binding.h"

namespace quill {

namespace {

void print(ScriptEngine* engine, bind::Args args) {
    std::string line;
    for (uint32_t i = 1; i <= args.size(); ++i) {
        if (i > 1) line += ' ';
        line += toUtf8String(stringView(toString(engine, args[i])));
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void registerPrint(ScriptEngine* engine) {
    bind::defineFunction<print>(engine, "print");
}

constexpr HostRegistration kToolFunctions[] = {
    {ClassId::kHostFunctions, registerPrint},
};

}  // namespace

std::span<const HostRegistration> toolFunctions() {
    return kToolFunctions;
}

}  // namespace quill
