// Turns the tag model into movie file bytes, uncompressed or zlib-compressed as the movie says.
#pragma once

#include <cstdint>
#include <vector>

#include "control/movie_model.h"

namespace quill::movie {

// Definitions are written before their first use, whatever their ids; edges longer than the
// format allows are split.
std::vector<uint8_t> writeMovie(const Movie& movie);

// The body of a DefineShape tag (id, bounds, styles and records), shared with the tests.
std::vector<uint8_t> shapeTagBody(uint16_t id, const ShapeDefinition& shape);

}  // namespace quill::movie
