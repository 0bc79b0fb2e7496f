// `quill doc`: the reference read from the engine this build creates (see reference_pages.h),
// with the tool's own functions (print, and processMsg on Windows).
#include "tools/quill/doc_command.h"

#include <cstdio>

#include "runtime/embed.h"
#include "tools/quill/reference_pages.h"
#include "tools/quill/tool_functions.h"

namespace quill::tool {

int docMain(int argc, char** argv) {
    const reference::DocTool tool{"quill doc", reference::PageSet::kEngine};
    return reference::runDoc(tool, argc, argv, [](const auto& render) {
        EngineConfig config;
        config.hostClasses = toolFunctions();
        ScriptEngine* engine = createEngine(config);
        if (!engine) {
            std::fputs("quill: cannot create the engine\n", stderr);
            return 1;
        }
        int status = render(reference::collect(engine));
        destroyEngine(engine);
        return status;
    });
}

}  // namespace quill::tool
