// Stream benchmarks over compiled scripts: byte and line writes into a StringStream, reading
// 1 MB back line by line, integers through a temporary FileStream, and the whole-content members
// (crc, compress and uncompress) on 1 MB of text.
#include "bench/script_bench.h"

using namespace quill;

namespace {

// `text` holds about 1 MB of CR LF lines.
constexpr const char* kSetup = R"(
var text = new StringStream();
for (var i = 0; text.length < 1048576; i++) text.writeLine("line number ", i, " of the text");
function putBytes(n) { var s = new StringStream(); for (var i = 0; i < n; i++) s.put(i); return s.length; }
function writeLines(n) {
    var s = new StringStream();
    for (var i = 0; i < n; i++) s.writeLine("line ", i);
    return s.length;
}
function readLines() {
    var count = 0;
    text.getPos = 0;
    while (!text.eof) { text.readLine(); count++; }
    return count;
}
function fileLongs(n) {
    var f = new FileStream();
    for (var i = 0; i < n; i++) f.write(i);
    f.pos = 0;
    var sum = 0;
    for (var i = 0; i < n; i++) sum += f.getLong();
    f.close();
    return sum;
}
function crc() { return text.crc; }
function compress() { return text.compress().length; }
var packed = text.compress();
function uncompress() { return packed.uncompress().length; }
)";

ScriptBench& bench() {
    static ScriptBench instance(kSetup);
    return instance;
}

void BM_StreamPutBytes(benchmark::State& state) {
    bench().run(state, "putBytes", 100000);
}
void BM_StreamWriteLines(benchmark::State& state) {
    bench().run(state, "writeLines", 100000);
}
void BM_StreamReadLines1MB(benchmark::State& state) {
    bench().run(state, "readLines");
}
void BM_FileStreamLongs(benchmark::State& state) {
    bench().run(state, "fileLongs", 100000);
}
void BM_StreamCrc1MB(benchmark::State& state) {
    bench().run(state, "crc");
}
void BM_StreamCompress1MB(benchmark::State& state) {
    bench().run(state, "compress");
}
void BM_StreamUncompress1MB(benchmark::State& state) {
    bench().run(state, "uncompress");
}

}  // namespace

BENCHMARK(BM_StreamPutBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamWriteLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamReadLines1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileStreamLongs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamCrc1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamCompress1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamUncompress1MB)->Unit(benchmark::kMillisecond);
