// The projector's access to the resources of its own executable (Windows only): packed and raw
// resources by name and type, and the movie and mask lists read straight from them.
#pragma once

#include <cstdint>
#include <vector>

#include "projector/records/movie_list.h"
#include "projector/records/record_errors.h"

namespace quill::project {

inline constexpr const char* kProjectType = "PLEXOR";
inline constexpr const char* kScriptType = "QUILL";
inline constexpr const char* kSupportType = "SUPPORT";

// Finds the resource (FindResourceA: names and types in any case) and unpacks its container.
// Throws ResourceError when the resource is missing or cannot be loaded; a bad container is
// reported through `report` and gives false with `out` empty.
bool LoadPackedResource(const char* name, const char* type, std::vector<uint8_t>* out,
                        const ErrorReporter& report);

// The resource's bytes as they are; throws ResourceError when it is missing.
std::vector<uint8_t> LoadRawResource(const char* name, const char* type);

// Reads ML into `list`, extracting its files into target.workFolder. A missing ML resource
// leaves the list empty without a report; other errors are reported, keeping what was read.
void ReadMovieList(MovieList* list, const ExtractTarget& target);

// Reads RG into `list`, extracting the masks. Throws ResourceError when RG is missing.
void ReadMaskList(MaskList* list, const ExtractTarget& target);

}  // namespace quill::project
