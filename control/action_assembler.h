// Action text to byte code and back: the frame and button scripts of a movie description are
// short lists of actions ("push \"score\", 1", "setVariable", "if done", "done:"), and
// `quill movie info --actions` lists byte code in the same spelling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quill::movie {

// One action per line; blank lines and lines starting with "#" are skipped; "name:" defines a
// jump label. Frame numbers are written from 1. On failure `error` names the line and the fault.
bool assembleActions(const std::vector<std::string>& lines, int version, std::vector<uint8_t>* out,
                     std::string* error);

// One line per action: offset, name and arguments. Stops at the end action or the end of data;
// damaged records are listed as such.
std::string listActions(const uint8_t* data, size_t size, const std::string& indent);

}  // namespace quill::movie
