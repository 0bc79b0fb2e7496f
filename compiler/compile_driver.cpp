// The compile driver: one compilation from a source to module bytes under the compile guard,
// with the diagnostics collected for the engine's message buffer; and the entry points that
// compile and run script text and files.
#include "compiler/compile_driver.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "compiler/codegen.h"
#include "compiler/diagnostics.h"
#include "compiler/messages.h"
#include "compiler/parser.h"
#include "compiler/peephole.h"
#include "compiler/source_reader.h"
#include "runtime/module.h"

namespace quill {

using compiler::CompileContext;
using compiler::SourceReader;

uint32_t compileOptionsFromSettings(uint32_t settings, bool configFlag) {
    static constexpr struct {
        uint32_t setting;
        uint32_t option;
    } kMap[] = {
        {0x10, 1u << 1},    {0x20, 1u << 2},    {0x40, 1u << 3},   {0x80, 1u << 16},
        {0x100, 1u << 17},  {0x400, 1u << 18},  {0x800, 1u << 19}, {0x1000, 1u << 20},
        {0x2000, 1u << 21}, {0x4000, 1u << 22}, {0x8000, 32},      {0x10000, 64},
        {0x20000, 128},     {0x40000, 256},
    };
    uint32_t options = configFlag ? 1u : 0u;
    for (const auto& m : kMap) {
        if (settings & m.setting) options |= m.option;
    }
    return options;
}

uint32_t engineCompileOptions(const ScriptEngine* engine) {
    return compileOptionsFromSettings(engine->compileSettings,
                                      (engine->flags & kEngineFlagConfig) != 0);
}

namespace {

bool peepholeDisabled() {
    // A switch for tests that compare output with and without the passes.
    const char* off = std::getenv("QUILL_NO_PEEPHOLE");
    return off && std::strcmp(off, "1") == 0;
}

bool writeFile(const char* path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool compile(ScriptEngine* engine, SourceReader& input, uint32_t options,
             std::vector<uint8_t>* module, const char* listingPath, const char* outputPath) {
    CompileContext ctx(engine, &input, options);
    engine->messageBuffer.clear();
    std::vector<uint8_t> bytes;
    bool ok = false;
    try {
        ok = compiler::guardCompile([&] {
            compiler::parseProgram(ctx);
            compiler::InstructionList list;
            compiler::generateProgram(ctx, list);
            if (!peepholeDisabled()) compiler::optimize(list);
            if (listingPath) {
                if (auto listing = SourceReader::createFile(listingPath)) {
                    if (options & kCompileRewindForListing) input.reset();
                    listing->write("ss", {compiler::kTextListingHeader, compiler::kMsgLineEnd});
                    listing->close();
                }
            }
            WriteOptions write;
            write.debug = (options & kCompileDebugInfo) != 0;
            write.sourceName = input.name();
            try {
                bytes = writeModule(list, write);
            } catch (const std::invalid_argument& failure) {
                compiler::compileError(ctx, ctx.lastLine, "%s", failure.what());
            }
        });
    } catch (const std::bad_alloc&) {
        // The diagnostics so far are kept; the compilation ends like any other error.
        ok = false;
        ctx.diagnostics->write(
            "sasss", {compiler::kMsgErrorPrefix, ctx.lastLine, compiler::kMsgLineSeparator,
                      "Out of memory", compiler::kMsgLineEnd});
    }
    engine->messageBuffer.assign(ctx.diagnostics->text());
    if (!ok) return false;
    if (outputPath && !writeFile(outputPath, bytes)) {
        engine->messageBuffer += "can't write the module file: ";
        engine->messageBuffer += outputPath;
        engine->messageBuffer += "\n";
        return false;
    }
    if (module) *module = std::move(bytes);
    return true;
}

}  // namespace

bool compileText(ScriptEngine* engine, std::string_view text, uint32_t options,
                 std::vector<uint8_t>* module, const char* listingPath, const char* outputPath) {
    auto input = SourceReader::fromString(text);
    return compile(engine, *input, options, module, listingPath, outputPath);
}

bool compileFile(ScriptEngine* engine, const char* path, uint32_t options,
                 std::vector<uint8_t>* module, const char* listingPath, const char* outputPath) {
    auto input = compiler::openSource(engine, path, SourceReader::Kind::kFileInput);
    if (!input) return false;
    return compile(engine, *input, options, module, listingPath, outputPath);
}

namespace {

bool endsWithIgnoringCase(const std::string& name, const char* suffix) {
    size_t n = std::strlen(suffix);
    if (name.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != suffix[i]) {
            return false;
        }
    }
    return true;
}

// The extension is the text from the last '.', when that dot belongs to the file name.
std::string extensionOf(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

// A file without a telling extension is compiled when, after an optional "#" line, it starts
// with the module magic.
bool looksCompiled(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (!f) return false;
    int c = std::fgetc(f);
    if (c == '#') {
        while (c != EOF && c != '\n') c = std::fgetc(f);
        if (c == EOF) {
            std::fclose(f);
            return false;
        }
    } else if (c != EOF) {
        std::ungetc(c, f);
    }
    char magic[4] = {};
    size_t n = std::fread(magic, 1, 4, f);
    std::fclose(f);
    return n == 4 && std::memcmp(magic, "QS1b", 4) == 0;
}

int runModuleBytes(ScriptEngine* engine, const std::vector<uint8_t>& bytes) {
    return runModule(engine, bytes.data(), bytes.size());
}

}  // namespace

int runScriptFile(ScriptEngine* engine, const char* path) {
    std::string name = path;
    std::string extension = extensionOf(name);
    bool compiled;
    if (endsWithIgnoringCase(extension, ".qsc") && extension.size() == 4) {
        compiled = true;
    } else if (endsWithIgnoringCase(extension, ".qls") && extension.size() == 4) {
        compiled = false;
    } else {
        compiled = looksCompiled(path);
    }
    if (compiled) {
        std::FILE* f = std::fopen(path, "rb");
        if (!f) {
            engine->messageBuffer = std::string(compiler::kMsgCantOpenScriptFile) + name + "\n";
            setErrorText(engine, engine->messageBuffer);
            engine->errorKind = ErrorKind::kFile;
            return 0;
        }
        engine->errorKind = ErrorKind::kNone;
        ModuleRecord* module = readModuleFile(f);
        std::fclose(f);
        if (!module) {
            setErrorText(engine, "Runtime error: Unimplemented Quill Script bytecode");
            return finishEntry(engine, 0);
        }
        int ok = loadModule(engine, module);
        freeModule(module);
        return finishEntry(engine, ok);
    }
    std::vector<uint8_t> bytes;
    if (!compileFile(engine, path, engineCompileOptions(engine), &bytes)) {
        setErrorText(engine, engine->messageBuffer);
        engine->errorKind = engine->messageBuffer.rfind(compiler::kMsgCantOpenScriptFile, 0) == 0
                                ? ErrorKind::kFile
                                : ErrorKind::kCompile;
        return 0;
    }
    return runModuleBytes(engine, bytes);
}

int runScriptText(ScriptEngine* engine, std::string_view text) {
    std::vector<uint8_t> bytes;
    if (!compileText(engine, text, engineCompileOptions(engine), &bytes)) {
        setErrorText(engine, engine->messageBuffer);
        engine->errorKind = ErrorKind::kCompile;
        return 0;
    }
    return runModuleBytes(engine, bytes);
}

}  // namespace quill
