// The 8-bit text of the records in memory and the file names made from it: the projector keeps
// record strings in the ANSI code page as Win32's "A" functions want them; the packing tool
// keeps UTF-8 so that no character is lost between the project file and the executable.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/utf8_text.h"

namespace quill::project {

struct TextCodec {
    std::string (*narrow)(std::u16string_view text);
    std::u16string (*widen)(std::string_view text);
};

const TextCodec& ansiCodec();
const TextCodec& utf8Codec();

// Lossless conversions; ill-formed input becomes U+FFFD.
using platform::utf16ToUtf8;
using platform::utf8ToUtf16;

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The name after the last folder separator ("\", "/", and a drive's ":" on Windows).
std::string fileNamePart(std::string_view path);

// The file-system path of 8-bit text in the codec's encoding.
std::filesystem::path toFsPath(const TextCodec& codec, std::string_view path);
// The 8-bit text (codec encoding) of a file-system path.
std::string fromFsPath(const TextCodec& codec, const std::filesystem::path& path);

// fopen for a file-system path; `mode` is a plain C mode such as "rb" or "wb".
std::FILE* openFsPath(const std::filesystem::path& path, const char* mode);

}  // namespace quill::project
