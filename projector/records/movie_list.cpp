// Reading and writing the movie list and the mask list.
#include "projector/records/movie_list.h"

#include <filesystem>
#include <system_error>

#include "projector/records/embedded_file.h"
#include "projector/records/safe_name.h"

namespace quill::project {
namespace {

// Creates the plug-in folder when it does not exist yet; throws FileError when it cannot.
void ensureFolder(const TextCodec& codec, const std::string& folder) {
    std::filesystem::path path = toFsPath(codec, folder);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return;
    if (!std::filesystem::create_directory(path, error) || error) {
        throw FileError("Cannot create the folder " + folder);
    }
}

// Reads a name; refuses it (reporting) when it is unsafe. Returns the checked narrow name or
// nothing when refused.
bool checkedName(const ExtractTarget& target, const std::u16string& name, std::string* narrow) {
    std::string reason = unsafeNameReason(*target.codec, name);
    if (!reason.empty()) {
        reportError(target.report, refusedNameMessage(*target.codec, name, reason));
        return false;
    }
    *narrow = target.codec->narrow(name);
    return true;
}

}  // namespace

void parseMovieList(ByteStream& stream, const ExtractTarget& target, MovieList* list) {
    const TextCodec& codec = *target.codec;
    RecordReader in(stream, codec);
    try {
        uint32_t flags = 0;
        uint32_t count = 0;
        if (!in.readU32(&flags) || !in.readU32(&count)) throw TextError(kRecordEndsEarly);
        list->listFlags = flags;
        bool embedded = (flags & kListEmbedded) != 0;
        bool pluginFolderMade = false;
        std::string pluginFolder = joinPath(target.workFolder, kPluginFolder) + kPathSeparator;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t kind = 0;
            std::u16string name;
            if (!in.readU32(&kind) || !in.readWide(&name)) throw TextError(kRecordEndsEarly);
            uint32_t size = 0;
            if (embedded && !in.readU32(&size)) throw TextError(kRecordEndsEarly);
            // Without embedded files only movies are listed; plug-ins are left where they are.
            if (!embedded && kind != kMovieKind && !target.listEveryKind) continue;
            std::string narrow;
            if (!checkedName(target, name, &narrow)) {
                if (embedded && !in.skip(size)) throw TextError(kRecordEndsEarly);
                continue;
            }
            if (!embedded) {
                list->entries.push_back({kind, joinPath(target.exeFolder, narrow)});
                continue;
            }
            std::string folder = target.workFolder;
            if (kind == kPluginKind) {
                if (!pluginFolderMade) {
                    ensureFolder(codec, pluginFolder);
                    pluginFolderMade = true;
                }
                folder = pluginFolder;
            }
            std::string path = joinPath(folder, narrow);
            if (!in.copyToFile(size, path)) throw TextError(kRecordEndsEarly);
            list->entries.push_back({kind, path});
        }
    } catch (const TextError& error) {
        reportError(target.report, error.what());
    }
}

void parseMaskList(ByteStream& stream, const ExtractTarget& target, MaskList* list) {
    const TextCodec& codec = *target.codec;
    RecordReader in(stream, codec);
    try {
        uint32_t count = 0;
        if (!in.readU32(&count)) throw TextError(kRecordEndsEarly);
        for (uint32_t i = 0; i < count; ++i) {
            std::u16string name;
            uint32_t size = 0;
            if (!in.readWide(&name) || !in.readU32(&size)) throw TextError(kRecordEndsEarly);
            std::string narrow;
            // The file is NAME.msk: the name is checked with its extension.
            std::u16string fileName = name + u".msk";
            if (!checkedName(target, fileName, &narrow)) {
                if (!in.skip(size)) throw TextError(kRecordEndsEarly);
                continue;
            }
            if (size > 0 && !in.copyToFile(size, joinPath(target.workFolder, narrow))) {
                throw TextError(kRecordEndsEarly);
            }
            list->names.push_back(codec.narrow(name));
        }
    } catch (const TextError& error) {
        reportError(target.report, error.what());
    }
}

bool writeMovieList(const MovieList& list, ByteStream& stream, const TextCodec& codec) {
    RecordWriter out(stream, codec);
    out.writeU32(list.listFlags);
    out.writeU32(static_cast<uint32_t>(list.entries.size()));
    for (const MovieEntry& entry : list.entries) {
        out.writeU32(entry.kind);
        out.writeWide(codec.widen(fileNamePart(entry.path)));
        if (list.listFlags & kListEmbedded) out.writeFileBytes(entry.path);
        if (!out.ok()) return false;
    }
    return out.ok();
}

bool writeMaskList(const std::vector<MaskSource>& masks, ByteStream& stream,
                   const TextCodec& codec) {
    RecordWriter out(stream, codec);
    out.writeU32(static_cast<uint32_t>(masks.size()));
    for (const MaskSource& mask : masks) {
        out.writeWide(codec.widen(mask.name));
        if (mask.path.empty()) {
            out.writeU32(0);
        } else {
            out.writeFileBytes(mask.path);
        }
        if (!out.ok()) return false;
    }
    return out.ok();
}

}  // namespace quill::project
