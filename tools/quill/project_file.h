// The project file of `quill pack` (TOML): every field of the projector's settings under a
// readable name, the movie, mask and script lists, the files the executable carries, and the
// text of such a file written back by `quill unpack`.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "projector/records/movie_list.h"
#include "projector/records/project_settings.h"

namespace quill::tool {

struct ScriptSource {
    std::string name;  // as the project gives it; the resource name is its capitals
    std::filesystem::path file;
};

// A project as the packer uses it. Text is UTF-8; file fields (settings.helpFile,
// settings.aboutPicture, movie entries, masks) hold UTF-8 paths of the files to carry.
struct Project {
    std::filesystem::path folder;  // relative paths in the file start here
    std::u16string id;
    std::array<uint8_t, 32> idTail{};
    project::ProjectSettings settings;
    project::MovieList movies;
    std::vector<project::MaskSource> masks;
    std::vector<ScriptSource> scripts;
    std::filesystem::path control;          // FP; empty for none
    std::filesystem::path aboutBitmap;      // BK; empty for none
    std::filesystem::path additionalFiles;  // a folder; empty for none
    uint32_t compileSettings = 0x58200;
    bool debugInfo = false;
};

// Reads and checks a project file: unknown fields, wrong types, values out of range, missing
// files and duplicate names are errors. On failure `error` reads "NAME: where: what", NAME
// being `shownName` (the path as the user gave it).
bool loadProject(const std::filesystem::path& file, const std::string& shownName, Project* project,
                 std::string* error);

// The text of a project file that describes `project`; file paths are written relative to
// project.folder when they lie below it.
std::string projectText(const Project& project);

// The default identity of a project file named `stem`.
std::u16string defaultProjectId(const std::string& stem);

}  // namespace quill::tool
