// Reads a movie file (uncompressed "FWS" or zlib-compressed "CWS") into the tag model. Damaged
// definitions are skipped with a warning; only an unreadable header or oversized data fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/movie_model.h"

namespace quill::movie {

struct ReadLimits {
    size_t maxBytes = 256u << 20;       // uncompressed movie data
    size_t maxShapeRecords = 4u << 20;  // over every shape of the movie
    size_t maxStyles = 1u << 20;        // fill and line styles over every shape
    size_t maxTags = 4u << 20;          // tags, nested ones included
    size_t maxButtonRecords = 1u << 18;
};

struct ReadReport {
    std::string error;                  // set when the movie cannot be read at all
    std::vector<std::string> warnings;  // tags skipped or data cut short
    std::vector<TagInfo> tags;          // every tag in file order
    uint32_t declaredLength = 0;        // the header's uncompressed length
    size_t dataLength = 0;              // what was actually there after decompression
};

// The frame rectangle and rate from the first bytes of a file, without reading the tags.
struct MovieHeader {
    uint8_t version = 0;
    bool compressed = false;
    uint32_t declaredLength = 0;
    Rect frameSize;
    uint16_t frameRate = 0;
    uint16_t frameCount = 0;
};

// True when the data is a movie; fills `movie` (and `report`, which may be null).
bool readMovie(const uint8_t* data, size_t size, Movie* movie, ReadReport* report,
               const ReadLimits& limits = {});

// Decompresses as far as needed for the header only.
bool readMovieHeader(const uint8_t* data, size_t size, MovieHeader* header);

}  // namespace quill::movie
