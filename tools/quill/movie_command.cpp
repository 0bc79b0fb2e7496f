// `quill movie build DESCRIPTION -o OUT.swf [--compressed]` and `quill movie info FILE.swf
// [--actions]`: the movie side of the tool, on top of the description compiler and the reader.
#include "tools/quill/movie_command.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "control/action_assembler.h"
#include "control/movie_description.h"
#include "control/swf_reader.h"
#include "control/swf_writer.h"

using namespace quill::movie;

namespace {

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "quill movie: %s\n", problem);
    std::fprintf(stderr,
                 "usage: quill movie build DESCRIPTION.toml [-o OUT.swf] [--compressed]\n"
                 "       quill movie info FILE.swf [--actions]\n"
                 "\n"
                 "  build  makes a movie file from a description (see docs/movie-file.md)\n"
                 "  info   prints a movie's header and its tags (--actions lists scripts)\n");
    return 2;
}

bool readFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = "cannot open it";
        return false;
    }
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes->insert(bytes->end(), buffer, buffer + n);
        if (bytes->size() > (512u << 20)) {
            std::fclose(f);
            *error = "it is larger than 512 MB";
            return false;
        }
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) *error = "cannot read it";
    return !failed;
}

int buildCommand(const std::string& input, std::string output, bool compressed) {
    std::vector<uint8_t> text;
    std::string error;
    if (!readFile(input, &text, &error)) {
        std::fprintf(stderr, "quill movie: %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    Movie movie;
    if (!compileDescription(std::string(text.begin(), text.end()), input, &movie, &error)) {
        std::fprintf(stderr, "quill movie: %s\n", error.c_str());
        return 1;
    }
    if (compressed) {
        if (movie.version < 6) {
            std::fprintf(stderr, "quill movie: %s: compressed movies need version 6 or later\n",
                         input.c_str());
            return 1;
        }
        movie.compressed = true;
    }
    if (output.empty()) {
        output = input;
        size_t dot = output.find_last_of('.');
        size_t slash = output.find_last_of("/\\");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            output.resize(dot);
        output += ".swf";
    }
    std::vector<uint8_t> bytes = writeMovie(movie);
    std::FILE* f = std::fopen(output.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "quill movie: %s: cannot create it\n", output.c_str());
        return 1;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "quill movie: %s: cannot write it\n", output.c_str());
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}

std::string hexColor(const Rgba& c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", c.r, c.g, c.b);
    return buffer;
}

std::string pixels(int32_t twips) {
    char buffer[32];
    if (twips % kTwipsPerPixel == 0) {
        std::snprintf(buffer, sizeof buffer, "%d", twips / kTwipsPerPixel);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.2f", twips / double(kTwipsPerPixel));
    }
    return buffer;
}

void listScripts(const Timeline& t, const std::string& owner) {
    for (size_t f = 0; f < t.frames.size(); ++f) {
        for (const ControlTag& tag : t.frames[f].tags) {
            if (tag.kind != ControlTag::kDoAction) continue;
            std::printf("%s, frame %zu:\n", owner.c_str(), f + 1);
            std::fputs(listActions(tag.actions.data(), tag.actions.size(), "  ").c_str(), stdout);
        }
    }
}

int infoCommand(const std::string& input, bool actions) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readFile(input, &bytes, &error)) {
        std::fprintf(stderr, "quill movie: %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    Movie movie;
    ReadReport report;
    if (!readMovie(bytes.data(), bytes.size(), &movie, &report)) {
        std::fprintf(stderr, "quill movie: %s: %s\n", input.c_str(), report.error.c_str());
        return 1;
    }
    std::printf("%s: %s version %d, %zu bytes", input.c_str(), movie.compressed ? "CWS" : "FWS",
                movie.version, bytes.size());
    if (movie.compressed) std::printf(" (%zu uncompressed)", report.dataLength);
    std::printf("\n");
    const Rect& r = movie.frameSize;
    std::printf("stage %s x %s pixels (twips %d, %d to %d, %d)\n", pixels(r.width()).c_str(),
                pixels(r.height()).c_str(), r.xMin, r.yMin, r.xMax, r.yMax);
    std::printf("rate %.2f frames per second, %zu frames (header says %u)\n",
                movie.framesPerSecond(), movie.root.frames.size(), movie.root.declaredFrames);
    if (movie.hasBackground) std::printf("background %s\n", hexColor(movie.background).c_str());
    std::printf("%zu tags:\n", report.tags.size());
    for (const TagInfo& t : report.tags) {
        std::printf("  %8zu  %s%s (%u), %u bytes", t.offset, t.depth ? "  " : "", tagName(t.code),
                    t.code, t.length);
        if (t.characterId) std::printf(", id %u", t.characterId);
        std::printf("\n");
    }
    for (const std::string& w : report.warnings) std::printf("warning: %s\n", w.c_str());
    if (actions) {
        listScripts(movie.root, "main timeline");
        for (const auto& [id, c] : movie.dictionary) {
            if (c.kind == Character::kSprite)
                listScripts(*c.sprite, "sprite " + std::to_string(id));
            if (c.kind != Character::kButton) continue;
            for (const ButtonAction& a : c.button->actions) {
                std::printf("button %u, conditions 0x%03x:\n", id, a.conditions);
                std::fputs(listActions(a.actions.data(), a.actions.size(), "  ").c_str(), stdout);
            }
        }
    }
    return 0;
}

}  // namespace

int movieCommand(int argc, char** argv) {
    if (argc < 1) return usage(nullptr);
    std::string command = argv[0];
    std::string target, output;
    bool compressed = false, actions = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" && command == "build") {
            if (i + 1 >= argc) return usage("-o needs a file name");
            output = argv[++i];
        } else if ((a == "--compressed" || a == "-c") && command == "build") {
            compressed = true;
        } else if (a == "--actions" && command == "info") {
            actions = true;
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            return usage(("unknown option " + a).c_str());
        } else if (target.empty()) {
            target = a;
        } else {
            return usage("too many arguments");
        }
    }
    if (command != "build" && command != "info") return usage("unknown movie command");
    if (target.empty()) return usage("missing file name");
    return command == "build" ? buildCommand(target, output, compressed)
                              : infoCommand(target, actions);
}
