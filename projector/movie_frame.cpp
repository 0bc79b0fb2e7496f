// Reading a movie file's frame size from its header.
#include "projector/movie_frame.h"

#include <fstream>
#include <vector>

#include "control/swf_reader.h"

namespace quill::projector {

namespace {
constexpr size_t kMovieHeaderBytes = 1024;
}

std::optional<layout::Size> movieFrameSize(const std::wstring& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> head(kMovieHeaderBytes);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    movie::MovieHeader header;
    if (!movie::readMovieHeader(head.data(), head.size(), &header)) return std::nullopt;
    layout::Size size{(header.frameSize.width() + 10) / 20, (header.frameSize.height() + 10) / 20};
    if (size.cx <= 0 || size.cy <= 0) return std::nullopt;
    return size;
}

}  // namespace quill::projector
