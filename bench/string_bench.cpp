// String and regular-expression benchmarks over compiled scripts: building a long string by
// concatenation and by join, indexOf in a large text, a global replace over 1 MB of text, split
// by a string and by a pattern, and how quickly a hopeless pattern is given up.
#include <string>

#include "bench/script_bench.h"

using namespace quill;

namespace {

// The functions every case calls; `text` is a 1 MB global of words and `needle` sits near its end.
constexpr const char* kSetup = R"(
var words = ["lorem", "ipsum", "dolor", "sit", "amet", "consectetur", "adipiscing", "elit"];
var parts = [];
var size = 0;
for (var i = 0; size < 1048576; i++) {
    var w = words[i % 8];
    parts.push(w);
    size += w.length + 1;
}
var text = parts.join(" ");
var needle = "needle in the haystack";
var late = text.substring(0, text.length - 100) + needle + text.substring(text.length - 100);
var run = "";
for (var i = 0; i < 100000; i++) run += "a";
function concatenate(n) { var s = ""; for (var i = 0; i < n; i++) s += "abcdefgh"; return s.length; }
function joinPieces(n) { var a = []; for (var i = 0; i < n; i++) a.push("abcdefgh"); return a.join("").length; }
function findLate(n) { var at = 0; for (var i = 0; i < n; i++) at = late.indexOf(needle); return at; }
function replaceAll() { return text.replace(/o/g, "0").length; }
function replaceWords() { return text.replace(/[a-z]+/g, "[$&]").length; }
function splitString() { return text.split(" ").length; }
function splitPattern() { return text.split(/ +/).length; }
function matchAll() { return text.match(/ip/g).length; }
function upper() { return text.toUpperCase().length; }
function hopeless() { try { run.match(/(a*)*b/); } catch (e) { return 1; } return 0; }
)";

ScriptBench& bench() {
    static ScriptBench instance(kSetup, [] {
        EngineConfig config;
        config.stackSlots = 100000;
        return config;
    }());
    return instance;
}

void BM_ConcatenateStrings(benchmark::State& state) {
    bench().run(state, "concatenate", state.range(0));
}
void BM_JoinPieces(benchmark::State& state) {
    bench().run(state, "joinPieces", state.range(0));
}
void BM_IndexOfInLargeText(benchmark::State& state) {
    bench().run(state, "findLate", 10);
}
void BM_GlobalReplaceChar1MB(benchmark::State& state) {
    bench().run(state, "replaceAll");
}
void BM_GlobalReplaceWords1MB(benchmark::State& state) {
    bench().run(state, "replaceWords");
}
void BM_SplitByString1MB(benchmark::State& state) {
    bench().run(state, "splitString");
}
void BM_SplitByPattern1MB(benchmark::State& state) {
    bench().run(state, "splitPattern");
}
void BM_GlobalMatch1MB(benchmark::State& state) {
    bench().run(state, "matchAll");
}
void BM_UpperCase1MB(benchmark::State& state) {
    bench().run(state, "upper");
}
void BM_HopelessPattern100K(benchmark::State& state) {
    bench().run(state, "hopeless");
}

}  // namespace

BENCHMARK(BM_ConcatenateStrings)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinPieces)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexOfInLargeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlobalReplaceChar1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlobalReplaceWords1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitByString1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitByPattern1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlobalMatch1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpperCase1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HopelessPattern100K)->Unit(benchmark::kMillisecond);
