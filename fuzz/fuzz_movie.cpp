// Fuzz target: movie files, movie descriptions and the action interpreter. An input starting
// with "FWS" or "CWS" is a movie: it is read, written again and read back, then played for a few
// frames with pointer input, variable access and drawing. One starting with "[" or "#" is a
// description, compiled and played the same way. Any other input is a block of action byte code,
// run as the first frame of a small movie with a clip, a button and a bound text field.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "control/movie_description.h"
#include "control/player.h"
#include "control/renderer.h"
#include "control/stage_view.h"
#include "control/swf_reader.h"
#include "control/swf_writer.h"

using namespace quill::movie;

namespace {

struct QuietHost : PlayerHost {
    int commands = 0;
    void fsCommand(const std::string& command, const std::string& args) override {
        commands += static_cast<int>(command.size() + args.size() > 0);
    }
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

PlayerLimits fuzzLimits() {
    PlayerLimits l;
    l.stepsPerBlock = 20000;
    l.stepsPerDrain = 100000;
    l.stringBytes = 64 << 10;
    l.blockStringBytes = 1 << 20;
    l.variableBytes = 4 << 20;
    l.variables = 4096;
    l.objects = 3000;
    l.nesting = 16;
    return l;
}

ReadLimits readLimits() {
    ReadLimits l;
    l.maxBytes = 8u << 20;
    l.maxShapeRecords = 200000;
    l.maxStyles = 50000;
    l.maxTags = 200000;
    l.maxButtonRecords = 10000;
    return l;
}

void play(std::shared_ptr<const Movie> movie, const uint8_t* data, size_t size) {
    QuietHost host;
    Player player(&host, fuzzLimits());
    player.load(movie);
    StageView view;
    view.setStage(movie->frameSize);
    PixelBuffer pixels;
    pixels.resize(48, 36);
    Renderer renderer;
    // A few input bytes steer the session so that the fuzzer can reach buttons and gotos.
    uint8_t steer = size > 8 ? data[size - 1] : 0;
    for (int frame = 0; frame < 4; ++frame) {
        double x = (steer * 37 + frame * 911) % 11000, y = (steer * 53 + frame * 577) % 8000;
        player.mouseMove(x, y);
        player.mouseDown(x, y);
        player.mouseUp(x, y);
        player.tick();
        view.setScaleMode((steer + frame) & 3);
        RenderOptions options;
        options.background = player.background();
        renderer.render(player, pixels.canvas, view.toClient(48, 36), options, nullptr);
    }
    player.gotoFrame(steer % 7);
    player.gotoFrame(0);
    std::string value;
    player.setVariable("_root.fuzz", "1");
    player.getVariable("fuzz", &value);
    player.callFrame("/", steer % 3);
    player.unload();
    if (player.objectCount() != 0) fail("objects left after unload");
}

std::shared_ptr<const Movie> scriptHost() {
    static std::shared_ptr<const Movie> movie = [] {
        auto m = std::make_shared<Movie>();
        std::string error;
        const char* description = R"(
[movie]
width = 100
height = 100
[[shape]]
name = "s"
rect = [0, 0, 50, 50]
fill = "#ff0000"
[[text]]
name = "t"
rect = [0, 60, 100, 20]
variable = "msg"
[[button]]
name = "b"
up = "s"
on_release = ["play"]
[[sprite]]
name = "c"
frames = 3
[[sprite.place]]
name = "s"
[[sprite.frame]]
frame = 2
label = "two"
actions = ["stop"]
[[place]]
name = "c"
instance = "clip"
[[place]]
name = "b"
[[place]]
name = "t"
[[frame]]
frame = 1
actions = ["play"]
[[frame]]
frame = 2
label = "second"
actions = ["play"]
)";
        if (!compileDescription(description, "fuzz", m.get(), &error))
            fail("the host movie does not compile");
        return m;
    }();
    return movie;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 3 && (data[0] == 'F' || data[0] == 'C') && data[1] == 'W' && data[2] == 'S') {
        auto movie = std::make_shared<Movie>();
        if (!readMovie(data, size, movie.get(), nullptr, readLimits())) return 0;
        // What was read can be written and read again.
        try {
            std::vector<uint8_t> again = writeMovie(*movie);
            Movie second;
            if (!readMovie(again.data(), again.size(), &second, nullptr, readLimits())) {
                fail("a movie written from a read movie does not read");
            }
        } catch (const std::length_error&) {
            // Button records too large for their 16-bit offsets: refused, not written wrong.
        }
        play(movie, data, size);
        return 0;
    }
    if (size > 0 && (data[0] == '[' || data[0] == '#')) {
        // A movie description: compiled, written, read back and played like a file.
        auto movie = std::make_shared<Movie>();
        std::string error;
        if (!compileDescription(std::string(reinterpret_cast<const char*>(data), size), "fuzz",
                                movie.get(), &error)) {
            if (error.empty()) fail("a description failed without a message");
            return 0;
        }
        // Long timelines are correct but slow to play under the sanitizers: they are written
        // and read back, and played only when small.
        size_t tags = 0;
        for (const Frame& f : movie->root.frames) tags += f.tags.size();
        for (const auto& [id, c] : movie->dictionary) {
            if (c.kind == Character::kSprite) {
                for (const Frame& f : c.sprite->frames) tags += f.tags.size();
            }
        }
        std::vector<uint8_t> bytes = writeMovie(*movie);
        auto read = std::make_shared<Movie>();
        if (!readMovie(bytes.data(), bytes.size(), read.get(), nullptr, readLimits())) {
            fail("a compiled description does not read back");
        }
        if (tags <= 2000) play(read, data, size);
        return 0;
    }
    auto movie = std::make_shared<Movie>(*scriptHost());
    for (ControlTag& t : movie->root.frames[0].tags) {
        if (t.kind == ControlTag::kDoAction) t.actions.assign(data, data + size);
    }
    movie->version = size > 0 ? static_cast<uint8_t>(4 + data[0] % 7) : 6;
    play(movie, data, size);
    return 0;
}
