// Reading, extracting and writing the appended block of additional files.
#include "projector/records/additional_files.h"

#include <algorithm>
#include <system_error>

#include "platform/unicode_chars.h"
#include "projector/records/safe_name.h"
#include "projector/records/text_codec.h"

namespace quill::project {
namespace {

constexpr char16_t kApplication[] = u"Application";
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kTrailerMarker = 1;
constexpr uint32_t kLongestPath = 32767;
constexpr size_t kCopyChunk = 64 * 1024;

bool readU32At(const RandomAccessSource& source, uint64_t offset, uint32_t* value) {
    uint8_t b[4];
    if (!source.readAt(offset, b, 4)) return false;
    *value = loadU32(b);
    return true;
}

// A counted string at `*offset`; advances past it.
bool readStringAt(const RandomAccessSource& source, uint64_t* offset, uint64_t end,
                  std::u16string* text) {
    uint32_t count;
    if (*offset + 4 > end || !readU32At(source, *offset, &count)) return false;
    if (count > kLongestPath + 1 || *offset + 4 + uint64_t(count) * 2 > end) return false;
    std::vector<uint8_t> raw(count * 2u);
    if (!source.readAt(*offset + 4, raw.data(), raw.size())) return false;
    text->clear();
    for (uint32_t i = 0; i < count; ++i)
        text->push_back(static_cast<char16_t>(loadU16(&raw[2 * i])));
    size_t nul = text->find(u'\0');
    if (nul != std::u16string::npos) text->resize(nul);
    *offset += 4 + uint64_t(count) * 2;
    return true;
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'a' && a[i] <= u'z' ? char16_t(a[i] - 32) : a[i];
        char16_t y = b[i] >= u'a' && b[i] <= u'z' ? char16_t(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

std::vector<std::u16string_view> splitPath(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    while (true) {
        size_t cut = path.find(u'\\', start);
        parts.push_back(path.substr(start, cut == std::u16string_view::npos ? cut : cut - start));
        if (cut == std::u16string_view::npos) break;
        start = cut + 1;
    }
    return parts;
}

// Why a relative path of the block cannot be extracted safely, or empty.
std::string unsafePathReason(std::u16string_view path) {
    if (path.empty()) return "an empty path";
    if (path.size() > kLongestPath) return "a path longer than 32767 characters";
    for (std::u16string_view part : splitPath(path)) {
        std::string reason = unsafeNameReason(part);
        if (!reason.empty()) return reason;
    }
    return {};
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putString(std::vector<uint8_t>& out, std::u16string_view text) {
    putU32(out, static_cast<uint32_t>(text.size() + 1));
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

std::u16string nameOf(const std::filesystem::path& path) {
#ifdef _WIN32
    std::wstring wide = path.filename().wstring();
    return std::u16string(wide.begin(), wide.end());
#else
    return utf8ToUtf16(path.filename().string());
#endif
}

bool collectFolder(const std::filesystem::path& folder, const std::u16string& prefix,
                   std::vector<AdditionalSource>* sources, std::string* error) {
    std::error_code code;
    std::filesystem::directory_iterator it(folder, code), end;
    if (code) {
        *error = "cannot list the folder " + folder.string();
        return false;
    }
    for (; it != end; it.increment(code)) {
        if (code) break;
        const std::filesystem::path& path = it->path();
        std::u16string name = nameOf(path);
        std::u16string relative = prefix.empty() ? name : prefix + u"\\" + name;
#ifndef _WIN32
        if (utf16ToUtf8(name) != path.filename().string()) {
            *error = path.string() + ": the name is not valid UTF-8";
            return false;
        }
#endif
        std::string reason = unsafeNameReason(name);
        if (!reason.empty()) {
            *error = path.string() + ": " + reason;
            return false;
        }
        std::filesystem::file_status status = it->symlink_status(code);
        if (code) break;
        if (std::filesystem::is_symlink(status)) {
            *error = path.string() + ": links are not carried";
            return false;
        }
        if (std::filesystem::is_directory(status)) {
            sources->push_back({kAdditionalFolder, relative, path, 0});
            if (!collectFolder(path, relative, sources, error)) return false;
        } else if (std::filesystem::is_regular_file(status)) {
            uintmax_t size = std::filesystem::file_size(path, code);
            if (code) break;
            if (size > 0xFFFFFFFFu) {
                *error = path.string() + ": the file is larger than 4 GB";
                return false;
            }
            sources->push_back({kAdditionalFile, relative, path, size});
        } else {
            *error = path.string() + ": neither a file nor a folder";
            return false;
        }
    }
    if (code) {
        *error = "cannot list the folder " + folder.string() + ": " + code.message();
        return false;
    }
    return true;
}

}  // namespace

BlockState readAdditionalBlock(const RandomAccessSource& source, AdditionalBlock* block,
                               std::string* error) {
    *block = AdditionalBlock{};
    uint64_t size = source.size();
    uint32_t marker = 0, length = 0;
    if (size < 8 || !readU32At(source, size - 4, &marker) || marker == 0 ||
        !readU32At(source, size - 8, &length) || uint64_t(length) + 8 > size || length < 16) {
        return BlockState::kAbsent;
    }
    uint64_t start = size - 8 - length;
    uint64_t end = start + length;
    uint8_t magic[4];
    uint32_t version = 0;
    if (!source.readAt(start, magic, 4) || magic[0] != 'S' || magic[1] != 'A' || magic[2] != 'F' ||
        magic[3] != 0 || !readU32At(source, start + 4, &version) || version == 0) {
        return BlockState::kAbsent;
    }
    uint64_t offset = start + 8;
    std::u16string application;
    if (!readStringAt(source, &offset, end, &application) ||
        !equalsIgnoringAsciiCase(application, kApplication)) {
        return BlockState::kAbsent;
    }
    block->start = start;
    uint32_t count = 0;
    if (offset + 4 > end || !readU32At(source, offset, &count) || count > length / 16) {
        *error = "the additional files' list is damaged";
        return BlockState::kInvalid;
    }
    offset += 4;
    for (uint32_t i = 0; i < count; ++i) {
        AdditionalEntry entry;
        uint32_t dataOffset = 0;
        if (offset + 4 > end || !readU32At(source, offset, &entry.kind)) break;
        offset += 4;
        if (!readStringAt(source, &offset, end, &entry.path) || offset + 8 > end ||
            !readU32At(source, offset, &dataOffset) ||
            !readU32At(source, offset + 4, &entry.size)) {
            break;
        }
        offset += 8;
        std::string reason = unsafePathReason(entry.path);
        if (!reason.empty()) {
            *error =
                "the additional file \"" + utf16ToUtf8(entry.path) + "\" is refused: " + reason;
            return BlockState::kInvalid;
        }
        bool folder = entry.kind == kAdditionalFolder;
        if ((!folder && entry.kind != kAdditionalFile) || (folder && entry.size != 0) ||
            uint64_t(dataOffset) + entry.size > length) {
            *error = "the additional file \"" + utf16ToUtf8(entry.path) + "\" is damaged";
            return BlockState::kInvalid;
        }
        entry.fileOffset = start + dataOffset;
        block->entries.push_back(std::move(entry));
    }
    if (block->entries.size() != count) {
        *error = "the additional files' list is damaged";
        return BlockState::kInvalid;
    }
    return BlockState::kValid;
}

const AdditionalEntry* findAdditionalEntry(const AdditionalBlock& block, std::u16string_view path) {
    std::u16string wanted;
    for (char16_t c : path) wanted += c == u'/' ? u'\\' : platform::toUpperUnit(c);
    size_t start = wanted.find_first_not_of(u'\\');
    wanted.erase(0, start == std::u16string::npos ? wanted.size() : start);
    while (!wanted.empty() && wanted.back() == u'\\') wanted.pop_back();
    for (const AdditionalEntry& entry : block.entries) {
        if (entry.path.size() != wanted.size()) continue;
        bool same = true;
        for (size_t i = 0; same && i < wanted.size(); ++i) {
            same = platform::toUpperUnit(entry.path[i]) == wanted[i];
        }
        if (same) return &entry;
    }
    return nullptr;
}

std::filesystem::path additionalPath(const std::filesystem::path& root, std::u16string_view path) {
    std::filesystem::path out = root;
    for (std::u16string_view part : splitPath(path)) {
#ifdef _WIN32
        out /= std::wstring(part.begin(), part.end());
#else
        out /= utf16ToUtf8(part);
#endif
    }
    return out;
}

bool extractAdditionalEntry(const RandomAccessSource& source, const AdditionalEntry& entry,
                            const std::filesystem::path& root, std::string* error) {
    std::string reason = unsafePathReason(entry.path);
    if (!reason.empty()) {
        *error = "the additional file \"" + utf16ToUtf8(entry.path) + "\" is refused: " + reason;
        return false;
    }
    std::filesystem::path target = additionalPath(root, entry.path);
    std::error_code code;
    if (entry.kind == kAdditionalFolder) {
        std::filesystem::create_directories(target, code);
        if (code) *error = "cannot create the folder " + target.string();
        return !code;
    }
    std::filesystem::create_directories(target.parent_path(), code);
    std::FILE* file = openFsPath(target, "wb");
    if (!file) {
        *error = "cannot create the file " + target.string();
        return false;
    }
    std::vector<uint8_t> buffer(std::min<size_t>(entry.size, kCopyChunk));
    uint64_t done = 0;
    bool ok = true;
    while (ok && done < entry.size) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(entry.size - done, buffer.size()));
        ok = source.readAt(entry.fileOffset + done, buffer.data(), step) &&
             std::fwrite(buffer.data(), 1, step, file) == step;
        done += step;
    }
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        std::filesystem::remove(target, code);
        *error = "cannot write the file " + target.string();
    }
    return ok;
}

bool collectAdditionalFiles(const std::filesystem::path& root,
                            std::vector<AdditionalSource>* sources, std::string* error) {
    sources->clear();
    std::error_code code;
    if (!std::filesystem::is_directory(root, code)) {
        *error = root.string() + ": not a folder";
        return false;
    }
    if (!collectFolder(root, u"", sources, error)) return false;
    std::sort(sources->begin(), sources->end(),
              [](const AdditionalSource& a, const AdditionalSource& b) { return a.path < b.path; });
    for (const AdditionalSource& source : *sources) {
        if (source.path.size() > kLongestPath) {
            *error = source.file.string() + ": the path is longer than 32767 characters";
            return false;
        }
    }
    return true;
}

bool writeAdditionalBlock(const std::vector<AdditionalSource>& sources, OutputFile& out,
                          std::string* error) {
    if (sources.empty()) return true;
    std::vector<uint8_t> index = {'S', 'A', 'F', 0};
    putU32(index, kFormatVersion);
    putString(index, kApplication);
    putU32(index, static_cast<uint32_t>(sources.size()));
    uint64_t indexSize = index.size();
    for (const AdditionalSource& source : sources)
        indexSize += 4 + 4 + 2 * (source.path.size() + 1) + 8;
    uint64_t dataOffset = indexSize;
    for (const AdditionalSource& source : sources) {
        putU32(index, source.kind);
        putString(index, source.path);
        bool file = source.kind == kAdditionalFile;
        putU32(index, file ? static_cast<uint32_t>(dataOffset) : 0);
        putU32(index, file ? static_cast<uint32_t>(source.size) : 0);
        if (file) dataOffset += source.size;
        if (dataOffset > 0xFFFFFFF0u) {
            *error = "the additional files come to more than 4 GB";
            return false;
        }
    }
    if (!out.write(index.data(), index.size())) {
        *error = "cannot write the output file";
        return false;
    }
    std::vector<uint8_t> buffer(kCopyChunk);
    for (const AdditionalSource& source : sources) {
        if (source.kind != kAdditionalFile) continue;
        std::FILE* file = openFsPath(source.file, "rb");
        if (!file) {
            *error = "cannot read " + source.file.string();
            return false;
        }
        uint64_t left = source.size;
        bool ok = true;
        while (ok && left > 0) {
            size_t step = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
            ok = std::fread(buffer.data(), 1, step, file) == step && out.write(buffer.data(), step);
            left -= step;
        }
        // A file that grew since it was listed would not match its entry.
        if (ok && std::fgetc(file) != EOF) ok = false;
        std::fclose(file);
        if (!ok) {
            *error = "cannot read " + source.file.string() + " (did it change while packing?)";
            return false;
        }
    }
    std::vector<uint8_t> trailer;
    putU32(trailer, static_cast<uint32_t>(dataOffset));
    putU32(trailer, kTrailerMarker);
    if (!out.write(trailer.data(), trailer.size())) {
        *error = "cannot write the output file";
        return false;
    }
    return true;
}

}  // namespace quill::project
