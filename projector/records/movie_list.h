// The movie list (resource ML) and the mask list (resource RG): the movies and plug-in files a
// projector plays and uses, and the window masks, with the files themselves when embedded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "projector/records/byte_stream.h"
#include "projector/records/record_io.h"

namespace quill::project {

inline constexpr uint32_t kMovieKind = 1;
inline constexpr uint32_t kPluginKind = 2;
inline constexpr uint32_t kListRandomStart = 1u << 0;
inline constexpr uint32_t kListEmbedded = 1u << 1;
inline constexpr const char* kPluginFolder = "Plug_Ins";

struct MovieEntry {
    uint32_t kind = kMovieKind;
    std::string path;  // full path once extracted

    bool operator==(const MovieEntry&) const = default;
};

struct MovieList {
    uint32_t listFlags = 0;
    std::vector<MovieEntry> entries;  // the first movie plays first
};

struct MaskList {
    std::vector<std::string> names;
};

// A mask to be written: its name and the file whose bytes it carries (an empty path carries
// no bytes).
struct MaskSource {
    std::string name;
    std::string path;
};

// Parses a movie list, writing embedded movies into the work folder and plug-ins into its
// "Plug_Ins" folder. Errors (a record that ends early, a file that cannot be written) are
// reported and end the parse, keeping the entries read so far; a refused name is reported and
// its entry skipped.
void parseMovieList(ByteStream& stream, const ExtractTarget& target, MovieList* list);

// Parses a mask list, writing each mask with bytes as NAME.msk into the work folder; errors as
// for the movie list.
void parseMaskList(ByteStream& stream, const ExtractTarget& target, MaskList* list);

// Writes a movie list; each entry's path names the file whose name (and, with kListEmbedded,
// bytes) it carries. Throws TextError when a file cannot be read; false when the stream failed.
bool writeMovieList(const MovieList& list, ByteStream& stream, const TextCodec& codec);

// Writes a mask list; throws and fails as writeMovieList.
bool writeMaskList(const std::vector<MaskSource>& masks, ByteStream& stream,
                   const TextCodec& codec);

}  // namespace quill::project
