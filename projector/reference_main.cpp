// quill-projector-doc: the reference of what the projector adds to the engine (FlashPlayer,
// MovieClip and the application functions), from the same registration the projector runs, so
// that its pages in docs/reference and the check of its descriptions cannot drift from the code.
// Used by tools/update_reference.sh and the tests; never packed into a projector.
#include <windows.h>

#include <cstdio>

#include "projector/script_objects.h"
#include "runtime/embed.h"
#include "tools/quill/reference_pages.h"

namespace {

LONG WINAPI endOnCrash(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 85);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quill;
    SetUnhandledExceptionFilter(endOnCrash);
    const reference::DocTool tool{"quill-projector-doc", reference::PageSet::kProjector};
    return reference::runDoc(tool, argc - 1, argv + 1, [](const auto& render) {
        // The engine's own classes, to leave out: their pages come from quill.exe.
        ScriptEngine* base = createEngine(EngineConfig{});
        EngineConfig config;
        config.hostClasses = projector::projectorClasses();
        ScriptEngine* engine = base ? createEngine(config) : nullptr;
        int status = 1;
        if (engine) {
            status =
                render(reference::addedTo(reference::collect(engine), reference::collect(base)));
        } else {
            std::fputs("quill-projector-doc: cannot create the engine\n", stderr);
        }
        if (engine) destroyEngine(engine);
        if (base) destroyEngine(base);
        return status;
    });
}
