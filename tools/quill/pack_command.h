// `quill pack` and `quill unpack`: a projector executable from a project file and a stub, and a
// project folder back from a projector.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quill::tool {

inline constexpr const char* kStubName = "quill-projector.exe";

struct PackRequest {
    std::filesystem::path project;
    std::string projectShown;      // the project file as the user named it, for messages
    std::filesystem::path output;  // empty: the project's name with ".exe", beside it
    std::filesystem::path stub;    // empty: found beside the tool or in the build tree
};

struct PackSummary {
    std::filesystem::path output;
    size_t movies = 0;
    size_t masks = 0;
    size_t scripts = 0;
    size_t additionalFiles = 0;
    uint64_t bytes = 0;
};

// Builds the executable; nothing is left at the output path on failure (it is written under a
// temporary name and renamed at the end). False with `error` naming the file and what is wrong.
bool packProject(const PackRequest& request, PackSummary* summary, std::string* error);

// The stub beside the running tool or in its build tree; empty with `error` when there is none.
std::filesystem::path findStub(std::string* error);

struct UnpackRequest {
    std::filesystem::path executable;
    std::string executableShown;
    std::filesystem::path folder;  // must not exist or be empty
};

// Extracts what a projector carries into the folder and writes a project file there (named
// after the executable) that packs the same resources again. `listing` receives one line per
// resource; `problems` the errors met on the way (reading goes on after them). False with
// `error` when nothing useful could be done.
bool unpackProjector(const UnpackRequest& request, std::string* listing,
                     std::vector<std::string>* problems, std::string* error);

// The command lines (argv[1] is "pack" or "unpack"); exit status 0, 1 (failure) or 2 (usage).
int packMain(int argc, char** argv);
int unpackMain(int argc, char** argv);

}  // namespace quill::tool
