// `quill`: runs scripts, compiles source to modules, evaluates text and lists modules. Scripts
// get the tool's own functions (see tool_functions.h) besides the engine's classes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/embed.h"
#include "tools/quill/doc_command.h"
#include "tools/quill/mask_command.h"
#include "tools/quill/movie_command.h"
#include "tools/quill/pack_command.h"
#include "tools/quill/repl.h"
#include "tools/quill/tool_functions.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

using namespace quill;
using tool::reportFailure;

namespace {

constexpr const char* kUsage =
    "usage: quill [repl] [--options 0xNNNNN] [--max-heap BYTES]\n"
    "       quill run FILE [--warnings] [--options 0xNNNNN] [--max-heap BYTES]\n"
    "       quill compile FILE.qls [-o OUT.qsc] [-g] [--options 0xNNNNN]\n"
    "       quill eval TEXT [--warnings] [--options 0xNNNNN] [--max-heap BYTES]\n"
    "       quill dis FILE.qsc\n"
    "       quill movie build DESCRIPTION.toml [-o OUT.swf] [--compressed]\n"
    "       quill movie info FILE.swf [--actions]\n"
    "       quill pack PROJECT.toml [-o APP.exe] [--stub STUB.exe]\n"
    "       quill unpack APP.exe [-o FOLDER]\n"
    "       quill mask PICTURE.bmp -o NAME.msk [--background #RRGGBB]\n"
    "       quill doc [CLASS[.MEMBER] | --markdown FOLDER | --check]\n"
    "\n"
    "  repl     reads script lines at a prompt and runs them (also with no command)\n"
    "  run      runs a script (.qls source or .qsc compiled module)\n"
    "  compile  compiles a script to a module (-g adds debug information)\n"
    "  eval     compiles and runs TEXT and prints its completion value\n"
    "  dis      lists a compiled module\n"
    "  movie    builds a movie from a description, or lists a movie's tags\n"
    "  mask     makes a window mask from a picture (every pixel but the background's)\n"
    "  pack     builds a projector from a project file\n"
    "  unpack   lists and extracts what a projector carries, with a project file\n"
    "  doc      prints the reference of a class, a member or the global functions\n"
    "  --warnings     shows warnings and trace output on standard error\n"
    "  --options N    the compile settings word (default 0x58200)\n"
    "  --max-heap N   limits the script heap to N bytes (default: no limit)\n";

struct Arguments {
    std::string command;
    std::string target;
    std::string output;
    bool warnings = false;
    bool debug = false;
    uint32_t settings = kDefaultCompileSettings;
    uint64_t maxHeap = 0;  // 0: no limit
};

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "quill: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool parseArguments(int argc, char** argv, Arguments* args, const char** problem) {
    if (argc < 2) {
        *problem = nullptr;
        return false;
    }
    args->command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--warnings") {
            args->warnings = true;
        } else if (a == "-g") {
            args->debug = true;
        } else if (a == "-o" || a == "--options" || a == "--max-heap") {
            if (i + 1 >= argc) {
                *problem = "an option needs a value";
                return false;
            }
            std::string value = argv[++i];
            if (a == "-o") {
                args->output = value;
            } else if (a == "--max-heap") {
                char* end = nullptr;
                unsigned long long n = std::strtoull(value.c_str(), &end, 0);
                if (value.empty() || value[0] == '-' || *end != '\0') {
                    *problem = "--max-heap takes a number of bytes such as 16000000";
                    return false;
                }
                args->maxHeap = n;
            } else {
                char* end = nullptr;
                unsigned long long n = std::strtoull(value.c_str(), &end, 0);
                if (value.empty() || *end != '\0' || n > 0xFFFFFFFFull) {
                    *problem = "--options takes a number such as 0x58200";
                    return false;
                }
                args->settings = static_cast<uint32_t>(n);
            }
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            *problem = "unknown option";
            return false;
        } else if (args->target.empty()) {
            args->target = a;
        } else {
            *problem = "too many arguments";
            return false;
        }
    }
    if (args->command == "repl") {
        if (!args->target.empty()) *problem = "too many arguments";
        return args->target.empty();
    }
    if (args->target.empty()) {
        *problem = "missing argument";
        return false;
    }
    return true;
}

void traceToStderr(void*, std::string_view text) {
    std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
}

ScriptEngine* startEngine(const Arguments& args) {
    EngineConfig config;
    config.stackSlots = 1 << 18;
    config.maxHeapBytes = static_cast<size_t>(args.maxHeap);
    config.compileSettings = args.settings;
    config.hostClasses = toolFunctions();
    ScriptEngine* engine = createEngine(config);
    if (!engine) {
        std::fputs("quill: cannot create the script engine\n", stderr);
        return nullptr;
    }
    if (args.warnings) setTraceText(engine, traceToStderr, nullptr);
    return engine;
}

int runCommand(const Arguments& args) {
    ScriptEngine* engine = startEngine(args);
    if (!engine) return 1;
    int ok = runScriptFile(engine, args.target.c_str());
    if (!ok) reportFailure(engine);
    std::fflush(stdout);
    destroyEngine(engine);
    return ok ? 0 : 1;
}

int compileCommand(const Arguments& args) {
    ScriptEngine* engine = startEngine(args);
    if (!engine) return 1;
    std::string output = args.output;
    if (output.empty()) {
        output = args.target;
        size_t dot = output.find_last_of('.');
        size_t slash = output.find_last_of("/\\");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
            output.resize(dot);
        }
        output += ".qsc";
    }
    uint32_t options = engineCompileOptions(engine);
    if (args.debug) options |= kCompileDebugInfo;
    std::vector<uint8_t> module;
    bool ok = compileFile(engine, args.target.c_str(), options, &module, nullptr, output.c_str());
    // Warnings are written even when the compilation succeeds.
    std::fputs(diagnostics(engine).c_str(), stderr);
    destroyEngine(engine);
    return ok ? 0 : 1;
}

int evalCommand(const Arguments& args) {
    ScriptEngine* engine = startEngine(args);
    if (!engine) return 1;
    int ok = runScriptText(engine, args.target);
    if (ok) {
        std::printf("%s\n", completionText(engine).c_str());
    } else {
        reportFailure(engine);
    }
    std::fflush(stdout);
    destroyEngine(engine);
    return ok ? 0 : 1;
}

int disCommand(const Arguments& args) {
    std::FILE* f = std::fopen(args.target.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "quill: cannot open %s\n", args.target.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    std::string listing = listModule(bytes.data(), bytes.size());
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    return isWellFormedModule(bytes.data(), bytes.size()) ? 0 : 1;
}

}  // namespace

// What went wrong: a compiler's or file's diagnostics as the engine wrote them, or the engine's
// message and where the script stopped when that is known.
void tool::reportFailure(ScriptEngine* engine) {
    std::fflush(stdout);
    ErrorKind kind = errorKind(engine);
    if (kind == ErrorKind::kCompile || kind == ErrorKind::kFile) {
        std::fputs(diagnostics(engine).c_str(), stderr);
        return;
    }
    std::fprintf(stderr, "%s\n", errorText(engine).c_str());
    ErrorPlace place = errorPlace(engine);
    if (!place.known) return;
    if (!place.source.empty()) {
        std::fprintf(stderr, "    at %s (%s:%u)\n", place.function.c_str(), place.source.c_str(),
                     place.line);
    } else {
        std::fprintf(stderr, "    at %s\n", place.function.c_str());
    }
}

int main(int argc, char** argv) {
#ifdef _WIN32
    // Script output is bytes: no newline translation on Windows either.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (argc >= 2 && std::strcmp(argv[1], "movie") == 0) return movieCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "pack") == 0) return tool::packMain(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "unpack") == 0) return tool::unpackMain(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "doc") == 0) return tool::docMain(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "mask") == 0) return tool::maskMain(argc - 2, argv + 2);
    Arguments args;
    const char* problem = nullptr;
    if (argc == 1) return tool::replMain({});
    if (!parseArguments(argc, argv, &args, &problem)) return usage(problem);
    if (args.command == "repl") return tool::replMain({args.settings, size_t(args.maxHeap)});
    if (args.command == "run") return runCommand(args);
    if (args.command == "compile") return compileCommand(args);
    if (args.command == "eval") return evalCommand(args);
    if (args.command == "dis") return disCommand(args);
    return usage("unknown command");
}
