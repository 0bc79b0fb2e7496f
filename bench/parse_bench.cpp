// Front-end throughput: lexing alone, and lexing with parsing, over a few megabytes of generated
// script text in the shapes real scripts have (functions, loops, calls, literals, comments), plus
// one very long string literal and one very long statement list.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "compiler/compile_context.h"
#include "compiler/compile_driver.h"
#include "compiler/diagnostics.h"
#include "compiler/lexer.h"
#include "compiler/parser.h"
#include "runtime/script_engine.h"

using namespace quill;
using namespace quill::compiler;

namespace {

ScriptEngine* engine() {
    static std::unique_ptr<ScriptEngine, void (*)(ScriptEngine*)> shared(createEngine(),
                                                                         destroyEngine);
    return shared.get();
}

// One function of typical script code; `i` makes the names differ.
std::string sampleFunction(int i) {
    std::string n = std::to_string(i);
    return "// helper " + n +
           ": walks the table and sums what it finds\n"
           "function scan" +
           n +
           "(table, limit) {\n"
           "    var total = 0, count = 0, name = \"entry\" + " +
           n +
           ";\n"
           "    for (var k = 0; k < limit && k < table.length; k++) {\n"
           "        var item = table[k];\n"
           "        if (item == null || typeof item != 'object') continue;\n"
           "        switch (item.kind) {\n"
           "        case #'a': total += item.value * 2; break;\n"
           "        case 0x10: total -= item.value >> 1; break;\n"
           "        default: total = total + (item.value || 0.5e1);\n"
           "        }\n"
           "        /* keep the largest */\n"
           "        if (item.value > table.best) table.best = item.value;\n"
           "        count++;\n"
           "    }\n"
           "    try {\n"
           "        trace(\"scanned \\\"\" + name + \"\\\": \" + count + \"\\n\");\n"
           "    } catch (e if e.code == 5) {\n"
           "        total = -1;\n"
           "    } catch (e) {\n"
           "        throw new Error('scan failed: ' + e);\n"
           "    }\n"
           "    var result = {total: total, count: count, \"name\": name, list: [1, 2, 3,]};\n"
           "    result.ratio = count ? total / count : 0;\n"
           "    return result;\n"
           "}\n"
           "x" +
           n + " = scan" + n + "([{kind: 97, value: " + n +
           "}, {kind: 16, value: 4}], 10);\n"
           "if (/^entry\\d+$/i.test(x" +
           n + ".name)) counter = counter + 1; else counter--;\n\n";
}

// Generated script text of about `kilobytes` KB (built once per size).
const std::string& typicalSource(int64_t kilobytes) {
    static std::map<int64_t, std::string> texts;
    std::string& s = texts[kilobytes];
    for (int i = 0; s.size() < static_cast<size_t>(kilobytes) * 1024; ++i) s += sampleFunction(i);
    return s;
}

const std::string& longLiteralSource() {
    static const std::string text = "x = '" + std::string(4u << 20, 'q') + "';\n";
    return text;
}

const std::string& longListSource() {
    static const std::string text = [] {
        std::string s;
        for (int i = 0; s.size() < (4u << 20); ++i) s += "v" + std::to_string(i % 1000) + " = 1;\n";
        return s;
    }();
    return text;
}

void lexAll(benchmark::State& state, const std::string& source) {
    for (auto _ : state) {
        auto input = SourceReader::fromString(source);
        CompileContext ctx(engine(), input.get(), 0);
        Lexer lexer(ctx);
        uint64_t tokens = 0;
        bool ok = guardCompile([&] {
            while (lexer.next().kind != kTokEnd) ++tokens;
        });
        if (!ok) state.SkipWithError("lexical error");
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

void parseAll(benchmark::State& state, const std::string& source) {
    for (auto _ : state) {
        auto input = SourceReader::fromString(source);
        CompileContext ctx(engine(), input.get(), 0);
        bool ok = guardCompile([&] { parseProgram(ctx); });
        if (!ok) state.SkipWithError("syntax error");
        benchmark::DoNotOptimize(ctx.statements.first);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

// The whole compilation: parse, code generation, the peephole passes and the module writer.
// Many small functions exercise the per-function passes.
void compileAll(benchmark::State& state, const std::string& source) {
    std::vector<uint8_t> module;
    for (auto _ : state) {
        module.clear();
        if (!compileText(engine(), source, engineCompileOptions(engine()), &module)) {
            state.SkipWithError("compile error");
        }
        benchmark::DoNotOptimize(module.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

void BM_LexTypicalScript(benchmark::State& state) {
    lexAll(state, typicalSource(state.range(0)));
}
// The small size shows repeated compilations whose arena memory the allocator keeps; the large
// one is dominated by first-touch page faults on a tree about 20 times the size of its source.
void BM_ParseTypicalScript(benchmark::State& state) {
    parseAll(state, typicalSource(state.range(0)));
}
void BM_ParseLongStringLiteral(benchmark::State& state) {
    parseAll(state, longLiteralSource());
}
void BM_ParseLongStatementList(benchmark::State& state) {
    parseAll(state, longListSource());
}
void BM_CompileTypicalScript(benchmark::State& state) {
    compileAll(state, typicalSource(state.range(0)));
}

}  // namespace

BENCHMARK(BM_LexTypicalScript)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseTypicalScript)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseLongStringLiteral)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseLongStatementList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileTypicalScript)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
