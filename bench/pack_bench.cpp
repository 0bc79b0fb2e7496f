// `quill pack` and `quill unpack` on a project carrying 100 MB of movies (ten of 10 MB): MB/s
// and the peak resident memory of each run beyond what the process held before it. Movies are
// usually compressed already, so the incompressible case is the one that matters; the
// compressible one shows the other end. Linux only (the peak is read from /proc). MB/s is taken
// over the process's CPU time, which a machine shared with builds does not distort as much.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/unit/pe_test_image.h"
#include "tools/quill/pack_command.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t kMovieBytes = 10 << 20;
constexpr int kMovies = 10;

// Resets the peak (Linux 4.0 and later) and gives the current resident size in KB.
long residentKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    }
    return 0;
}
long resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
    return residentKb("VmRSS:");
}

// The project folder for one kind of content, made once.
fs::path project(bool compressible) {
    fs::path dir =
        fs::temp_directory_path() / (compressible ? "quill-bench-text" : "quill-bench-noise");
    if (fs::exists(dir / "project.toml")) return dir;
    fs::create_directories(dir);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::string toml = "movies = [";
    std::string movie(kMovieBytes, '\0');
    for (int m = 0; m < kMovies; ++m) {
        for (size_t i = 0; i < movie.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            for (int k = 0; k < 8; ++k) {
                movie[i + k] = compressible ? static_cast<char>('a' + (state >> (8 * k)) % 4)
                                            : static_cast<char>(state >> (8 * k));
            }
        }
        std::string name = "movie" + std::to_string(m) + ".swf";
        std::ofstream(dir / name, std::ios::binary).write(movie.data(), movie.size());
        toml += "\"" + name + "\", ";
    }
    toml += "]\n";
    std::ofstream(dir / "project.toml") << toml;
    quill::test::TestImageLayout stub;
    stub.sections.push_back({".text", std::vector<uint8_t>(0x1000, 0xC3), 0, 0x60000020});
    std::vector<uint8_t> image = quill::test::buildTestImage(stub);
    std::ofstream(dir / "stub.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), image.size());
    return dir;
}

void BM_Pack(benchmark::State& state) {
    fs::path dir = project(state.range(0) != 0);
    quill::tool::PackRequest request;
    request.project = dir / "project.toml";
    request.projectShown = "project.toml";
    request.output = dir / "app.exe";
    request.stub = dir / "stub.exe";
    long peak = 0;
    for (auto _ : state) {
        long base = resetPeak();
        quill::tool::PackSummary summary;
        std::string error;
        if (!quill::tool::packProject(request, &summary, &error))
            state.SkipWithError(error.c_str());
        peak = std::max(peak, residentKb("VmHWM:") - base);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kMovies * kMovieBytes);
    state.counters["peak_MB"] = double(peak) / 1024;
    state.counters["exe_MB"] = double(fs::file_size(dir / "app.exe")) / (1 << 20);
}

void BM_Unpack(benchmark::State& state) {
    fs::path dir = project(state.range(0) != 0);
    if (!fs::exists(dir / "app.exe")) {
        state.SkipWithError("run BM_Pack first");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        fs::remove_all(dir / "unpacked");
        quill::tool::UnpackRequest request;
        request.executable = dir / "app.exe";
        request.executableShown = "app.exe";
        request.folder = dir / "unpacked";
        std::string listing, error;
        std::vector<std::string> problems;
        long base = resetPeak();
        if (!quill::tool::unpackProjector(request, &listing, &problems, &error)) {
            state.SkipWithError(error.c_str());
        }
        peak = std::max(peak, residentKb("VmHWM:") - base);
    }
    fs::remove_all(dir / "unpacked");
    state.SetBytesProcessed(int64_t(state.iterations()) * kMovies * kMovieBytes);
    state.counters["peak_MB"] = double(peak) / 1024;
}

BENCHMARK(BM_Pack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Unpack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
