// Fuzz target: the resource container and the project records. The first byte picks the
// reader: 0 the container (whose output, when it unpacks, goes through every record reader), 1
// the settings record (which must then survive being written and read again unchanged), 2 the
// movie list, 3 the mask list, 4 a mask file as the window reads it, 5 a picture made into a
// mask by `quill mask` (whose output the window must accept). Extracted files go to a
// scratch folder below the current one; names that could leave it are refused by the readers.
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_engine.h"
#include "projector/layout/mask_image.h"
#include "projector/layout/window_layout.h"
#include "projector/records/movie_list.h"
#include "projector/records/packed_resource.h"
#include "projector/records/project_settings.h"

using namespace quill::project;

namespace {

ExtractTarget scratch() {
    static const std::string folder = [] {
        std::error_code ignored;
        std::filesystem::create_directories("records-work", ignored);
        return std::string("records-work/");
    }();
    ExtractTarget target;
    target.workFolder = folder;
    target.exeFolder = "app/";
    target.report = [](const std::string& text) {
        if (text.empty()) quill::fuzz::fail("an error report without text");
    };
    return target;
}

void settings(const uint8_t* data, size_t size) {
    ExtractTarget target = scratch();
    ProjectSettings first;
    MemoryStream in(data, size);
    ReadProjectSettings(&first, in, target);
    // The embedded files are carried by path; leave them out of the comparison.
    first.helpFile.clear();
    first.aboutPicture.clear();
    MemoryStream out;
    if (!WriteProjectSettings(first, out)) quill::fuzz::fail("writing settings to memory failed");
    ProjectSettings second;
    MemoryStream again(out.bytes());
    if (!ReadProjectSettings(&second, again, target))
        quill::fuzz::fail("a written record reads short");
    second.helpFile.clear();
    second.aboutPicture.clear();
    if (!(first == second)) quill::fuzz::fail("settings changed between writing and reading");
}

void movies(const uint8_t* data, size_t size) {
    MovieList list;
    MemoryStream stream(data, size);
    parseMovieList(stream, scratch(), &list);
    // Every file went straight into the work folder or its plug-in folder.
    const std::string work = scratch().workFolder;
    for (const MovieEntry& entry : list.entries) {
        std::string rest;
        if (entry.path.rfind(work, 0) == 0) {
            rest = entry.path.substr(work.size());
            if (rest.rfind("Plug_Ins/", 0) == 0) rest = rest.substr(9);
        } else if (entry.path.rfind("app/", 0) == 0) {
            rest = entry.path.substr(4);
        } else {
            quill::fuzz::fail("a movie path outside both folders", entry.path);
        }
        if (rest.find_first_of("/\\:") != std::string::npos || rest == ".." || rest.empty()) {
            quill::fuzz::fail("a movie path leaves its folder", entry.path);
        }
    }
}

void masks(const uint8_t* data, size_t size) {
    MaskList list;
    MemoryStream stream(data, size);
    parseMaskList(stream, scratch(), &list);
}

// The region data the window would hand to the system must lie inside the file and hold the
// rectangles its header counts.
void maskFile(const uint8_t* data, size_t size) {
    auto region = quill::projector::layout::maskRegionData({data, size});
    if (!region) return;
    if (region->data() < data || region->data() + region->size() > data + size)
        quill::fuzz::fail("mask data outside the file");
    const uint8_t* p = region->data();
    uint32_t rects =
        uint32_t(p[8]) | uint32_t(p[9]) << 8 | uint32_t(p[10]) << 16 | uint32_t(p[11]) << 24;
    if (32 + uint64_t(rects) * 16 > region->size()) quill::fuzz::fail("rectangles beyond the data");
}

void picture(const uint8_t* data, size_t size) {
    auto image = quill::projector::layout::readBmp({data, size}, nullptr);
    if (!image) return;
    if (image->pixels.size() != size_t(image->width) * size_t(image->height))
        quill::fuzz::fail("a picture with the wrong pixel count");
    auto mask = quill::projector::layout::maskFromPicture(*image, image->pixels[0]);
    if (!quill::projector::layout::maskRegionData(mask))
        quill::fuzz::fail("a made mask is refused");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 64 * 1024) return 0;
    uint8_t mode = data[0] % 6;
    ++data;
    --size;
    switch (mode) {
        case 0: {
            std::vector<uint8_t> out;
            if (UnpackContainer(data, size, &out, scratch().report)) {
                settings(out.data(), out.size());
                movies(out.data(), out.size());
                masks(out.data(), out.size());
            } else if (!out.empty()) {
                quill::fuzz::fail("a failed unpack left bytes");
            }
            break;
        }
        case 1:
            settings(data, size);
            break;
        case 2:
            movies(data, size);
            break;
        case 3:
            masks(data, size);
            break;
        case 4:
            maskFile(data, size);
            break;
        default:
            picture(data, size);
            break;
    }
    return 0;
}
