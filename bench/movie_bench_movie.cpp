// Generated benchmark movies: fixed seeds, so every run draws and loads the same content.
#include "bench/movie_bench_movie.h"

#include <cmath>
#include <random>

#include "control/shape_builder.h"
#include "control/swf_writer.h"

namespace quill::movie::bench {
namespace {

Rgba colour(std::mt19937& r, uint8_t alpha = 255) {
    return {static_cast<uint8_t>(r()), static_cast<uint8_t>(r()), static_cast<uint8_t>(r()), alpha};
}

ControlTag place(uint16_t depth, uint16_t id, double x, double y, double rotation = 0) {
    ControlTag t;
    t.kind = ControlTag::kPlace;
    t.place.depth = depth;
    t.place.hasCharacter = id != 0;
    t.place.characterId = id;
    t.place.move = id == 0;
    t.place.hasMatrix = true;
    t.place.matrix.scaleX = t.place.matrix.scaleY =
        static_cast<int32_t>(std::lround(std::cos(rotation) * 65536));
    t.place.matrix.skew0 = static_cast<int32_t>(std::lround(std::sin(rotation) * 65536));
    t.place.matrix.skew1 = -t.place.matrix.skew0;
    t.place.matrix.translateX = toTwips(x);
    t.place.matrix.translateY = toTwips(y);
    return t;
}

void define(Movie& m, uint16_t id, ShapeDefinition shape) {
    Character c;
    c.kind = Character::kShape;
    c.id = id;
    c.shape = std::make_shared<ShapeDefinition>(std::move(shape));
    m.dictionary[id] = c;
}

}  // namespace

std::shared_ptr<Movie> stageMovie() {
    std::mt19937 r(20240611);
    auto m = std::make_shared<Movie>();
    m->version = 8;
    m->frameSize = {0, 640 * 20, 0, 480 * 20};
    m->frameRate = 30 << 8;
    m->hasBackground = true;
    m->background = {250, 250, 245, 255};
    const int kFrames = 60;
    m->root.frames.resize(kFrames);
    uint16_t id = 1;
    // 500 shapes on the stage: rectangles, ellipses and polygons of 10 to 60 pixels, outlined.
    for (int i = 0; i < 500; ++i) {
        ShapeBuilder b;
        double size = 10 + r() % 50;
        switch (i % 3) {
            case 0:
                b.rect(0, 0, size, size * 0.7, i % 2 ? 4 : 0);
                break;
            case 1:
                b.ellipse(0, 0, size / 2, size / 3);
                break;
            default: {
                std::vector<std::pair<double, double>> points;
                for (int k = 0; k < 6; ++k) {
                    double a = k * 3.14159265 / 3;
                    double radius = size / 2 * (0.6 + (r() % 40) / 100.0);
                    points.emplace_back(radius * std::cos(a), radius * std::sin(a));
                }
                b.polygon(points);
            }
        }
        define(*m, id, b.build(colour(r, i % 5 ? 255 : 160), Rgba{40, 40, 40, 255}, 1, 3));
        m->root.frames[0].tags.push_back(
            place(static_cast<uint16_t>(i + 1), id, r() % 640, r() % 480));
        ++id;
    }
    // A sprite whose inner shape turns, placed 50 times and moved across the stage.
    ShapeBuilder arm;
    arm.rect(-15, -4, 30, 8, 3);
    uint16_t armId = id++;
    define(*m, armId, arm.build(Rgba{30, 90, 200, 255}, std::nullopt, 0, 3));
    ShapeBuilder hub;
    hub.ellipse(0, 0, 9, 9);
    uint16_t hubId = id++;
    define(*m, hubId, hub.build(Rgba{230, 120, 20, 255}, Rgba{0, 0, 0, 255}, 1.5, 3));
    auto sprite = std::make_shared<Timeline>();
    sprite->frames.resize(30);
    sprite->frames[0].tags.push_back(place(1, armId, 0, 0));
    sprite->frames[0].tags.push_back(place(2, hubId, 0, 0));
    for (int f = 1; f < 30; ++f)
        sprite->frames[f].tags.push_back(place(1, 0, 0, 0, f * 3.14159265 / 15));
    uint16_t spriteId = id++;
    Character c;
    c.kind = Character::kSprite;
    c.id = spriteId;
    c.sprite = sprite;
    m->dictionary[spriteId] = c;
    for (int i = 0; i < 50; ++i) {
        double x0 = r() % 640, y0 = r() % 480, x1 = r() % 640, y1 = r() % 480;
        uint16_t depth = static_cast<uint16_t>(1000 + i);
        m->root.frames[0].tags.push_back(place(depth, spriteId, x0, y0));
        for (int f = 1; f < kFrames; ++f) {
            double k = f < kFrames / 2 ? f / (kFrames / 2.0) : (kFrames - f) / (kFrames / 2.0);
            m->root.frames[f].tags.push_back(
                place(depth, 0, x0 + (x1 - x0) * k, y0 + (y1 - y0) * k));
        }
    }
    return m;
}

std::vector<uint8_t> largeMovieBytes(size_t bytes) {
    std::mt19937 r(77);
    Movie m;
    m.version = 8;
    m.compressed = true;
    m.frameSize = {0, 640 * 20, 0, 480 * 20};
    m.root.frames.resize(1);
    // Shapes of 200 random points until their tags add up to the size (random coordinates do
    // not deflate much), then once more if compression still took it below.
    size_t total = 0;
    uint16_t id = 1;
    for (;;) {
        while (total < bytes + bytes / 50 && id < 65000) {
            std::vector<std::pair<double, double>> points;
            for (int k = 0; k < 200; ++k)
                points.emplace_back((r() % 64000) / 100.0, (r() % 48000) / 100.0);
            ShapeBuilder b;
            b.polygon(points);
            define(m, id, b.build(colour(r), std::nullopt, 0, 3));
            total += shapeTagBody(id, *m.dictionary[id].shape).size() + 6;
            if (id <= 100) m.root.frames[0].tags.push_back(place(id, id, 0, 0));
            ++id;
        }
        std::vector<uint8_t> out = writeMovie(m);
        if (out.size() >= bytes || id >= 65000) return out;
        total += bytes - out.size();
    }
}

}  // namespace quill::movie::bench
