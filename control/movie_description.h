// Movie descriptions: a readable TOML file (stage, shapes, text fields, buttons, sprites,
// placements and frame scripts) compiled into the tag model that `writeMovie` saves. The format
// is documented in docs/movie-file.md.
#pragma once

#include <string>

#include "control/movie_model.h"

namespace quill::movie {

// Compiles description text; `sourceName` names it in messages ("menu.toml:12: ...").
// On failure `error` says where and what is wrong, and `movie` is left unspecified.
bool compileDescription(const std::string& text, const std::string& sourceName, Movie* movie,
                        std::string* error);

}  // namespace quill::movie
