// The movies the movie benchmarks play and load: a 640 x 480 stage at 30 frames per second with
// 500 shapes and 50 moving sprites, and a compressed movie of about 10 MB. Generated, not read
// from files, so that every run measures the same movie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "control/movie_model.h"

namespace quill::movie::bench {

std::shared_ptr<Movie> stageMovie();
// Compressed movie bytes of at least `bytes` (each shape is random outlines, which deflate
// cannot shrink much).
std::vector<uint8_t> largeMovieBytes(size_t bytes);

}  // namespace quill::movie::bench
