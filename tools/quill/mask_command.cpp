// `quill mask PICTURE.bmp -o NAME.msk [--background #RRGGBB]`: every pixel that is not the
// background colour (by default the colour of the top-left pixel) belongs to the window.
#include "tools/quill/mask_command.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "projector/layout/mask_image.h"

namespace quill::tool {

namespace {

constexpr const char* kMaskUsage =
    "usage: quill mask PICTURE.bmp -o NAME.msk [--background #RRGGBB]\n"
    "  Writes a window mask holding every pixel of the picture that is not the background\n"
    "  colour (by default the colour of its top-left pixel).\n";

int maskUsage(const char* problem) {
    if (problem) std::fprintf(stderr, "quill mask: %s\n", problem);
    std::fputs(kMaskUsage, stderr);
    return 2;
}

bool parseColour(const char* text, uint32_t* rgb) {
    if (text[0] == '#') text++;
    if (std::strlen(text) != 6) return false;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 16);
    if (*end) return false;
    *rgb = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

int maskMain(int argc, char** argv) {
    const char* input = nullptr;
    const char* output = nullptr;
    bool haveBackground = false;
    uint32_t background = 0;
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (std::strcmp(argv[i], "--background") == 0 && i + 1 < argc) {
            if (!parseColour(argv[++i], &background))
                return maskUsage("the background is not #RRGGBB");
            haveBackground = true;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return maskUsage((std::string("unknown option ") + argv[i]).c_str());
        } else if (!input) {
            input = argv[i];
        } else {
            return maskUsage("one picture at a time");
        }
    }
    if (!input || !output) return maskUsage(!input ? "no picture given" : "no output file (-o)");

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "quill mask: cannot read %s\n", input);
        return 1;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::string error;
    auto picture = projector::layout::readBmp(bytes, &error);
    if (!picture) {
        std::fprintf(stderr, "quill mask: %s: %s\n", input, error.c_str());
        return 1;
    }
    if (!haveBackground) background = picture->pixels[0] & 0xFFFFFF;
    std::vector<uint8_t> mask = projector::layout::maskFromPicture(*picture, background);
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(mask.data()),
              static_cast<std::streamsize>(mask.size()));
    out.close();
    if (!out) {
        std::remove(output);
        std::fprintf(stderr, "quill mask: cannot write %s\n", output);
        return 1;
    }
    uint32_t rects = (static_cast<uint32_t>(mask.size()) - 36) / 16;
    std::printf("%s: %d x %d pixels, %u rectangles\n", output, picture->width, picture->height,
                rects);
    return 0;
}

}  // namespace quill::tool
