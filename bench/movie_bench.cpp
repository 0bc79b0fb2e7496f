// Movie player benchmarks: one frame of the 640 x 480 stage movie (timelines, scripts and
// drawing, as the control does per timer tick, text aside) and loading a 10 MB compressed movie.
#include <benchmark/benchmark.h>

#include "bench/movie_bench_movie.h"
#include "control/player.h"
#include "control/renderer.h"
#include "control/stage_view.h"
#include "control/swf_reader.h"

using namespace quill::movie;

namespace {

void BM_MovieFrame640x480(benchmark::State& state) {
    Player player;
    player.load(bench::stageMovie());
    StageView view;
    view.setStage(player.movie()->frameSize);
    PixelBuffer pixels;
    pixels.resize(640, 480);
    Renderer renderer;
    RenderOptions options;
    options.background = player.background();
    Transform t = view.toClient(640, 480);
    for (auto _ : state) {
        player.tick();
        renderer.render(player, pixels.canvas, t, options, nullptr);
        benchmark::DoNotOptimize(pixels.canvas.pixels[0]);
    }
    state.counters["objects"] = static_cast<double>(player.objectCount());
}
BENCHMARK(BM_MovieFrame640x480)->Unit(benchmark::kMillisecond);

void BM_MovieLoad10MBCompressed(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = bench::largeMovieBytes(10u << 20);
    for (auto _ : state) {
        auto movie = std::make_shared<Movie>();
        ReadReport report;
        if (!readMovie(bytes.data(), bytes.size(), movie.get(), &report))
            state.SkipWithError("not read");
        Player player;
        player.load(movie);
        benchmark::DoNotOptimize(player.totalFrames());
    }
    state.counters["MB"] = bytes.size() / 1048576.0;
}
BENCHMARK(BM_MovieLoad10MBCompressed)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
