// The ANSI and UTF-8 codecs of the records, and file-system paths made from their text.
#include "projector/records/text_codec.h"

#include <cstdint>
#include <vector>

#include "platform/ansi_codepage.h"
#include "platform/utf8_text.h"

namespace quill::project {
namespace {

std::string ansiNarrow(std::u16string_view text) {
    std::string out(text.size() * 2, '\0');
    out.resize(platform::wideToAnsi(text.data(), text.size(), out.data(), out.size()));
    return out;
}

std::u16string ansiWiden(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    out.resize(platform::ansiToWide(text.data(), text.size(), out.data()));
    return out;
}

const TextCodec kAnsi{ansiNarrow, ansiWiden};
const TextCodec kUtf8{platform::utf16ToUtf8, platform::utf8ToUtf16};

}  // namespace

const TextCodec& ansiCodec() {
    return kAnsi;
}
const TextCodec& utf8Codec() {
    return kUtf8;
}

std::string fileNamePart(std::string_view path) {
#ifdef _WIN32
    size_t cut = path.find_last_of("\\/:");
#else
    size_t cut = path.find_last_of("\\/");
#endif
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::filesystem::path toFsPath(const TextCodec& codec, std::string_view path) {
    std::u16string wide = codec.widen(path);
#ifdef _WIN32
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    return std::filesystem::path(utf16ToUtf8(wide));
#endif
}

std::string fromFsPath(const TextCodec& codec, const std::filesystem::path& path) {
#ifdef _WIN32
    std::wstring wide = path.wstring();
    return codec.narrow(std::u16string(wide.begin(), wide.end()));
#else
    return codec.narrow(utf8ToUtf16(path.string()));
#endif
}

std::FILE* openFsPath(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace quill::project
