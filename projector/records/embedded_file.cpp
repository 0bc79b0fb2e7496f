// Embedded files of the settings record.
#include "projector/records/embedded_file.h"

#include "projector/records/safe_name.h"

namespace quill::project {

std::string refusedNameMessage(const TextCodec& codec, std::u16string_view name,
                               const std::string& reason) {
    return "Refused the file name \"" + codec.narrow(name) + "\": " + reason;
}

bool readEmbeddedFile(RecordReader& in, std::string* pathField, const ExtractTarget& target) {
    std::u16string name;
    uint32_t size = 0;
    if (!in.readWide(&name) || !in.readU32(&size)) return false;
    const TextCodec& codec = in.codec();
    // An empty name with no bytes is how a record says "no file".
    std::string reason = name.empty() && size == 0 ? std::string() : unsafeNameReason(codec, name);
    if (!reason.empty()) {
        reportError(target.report, refusedNameMessage(codec, name, reason));
        pathField->clear();
        return in.skip(size);
    }
    std::string narrow = codec.narrow(name);
    if (size == 0) {
        *pathField = narrow;
        return true;
    }
    std::string path = joinPath(target.workFolder, narrow);
    try {
        if (!in.copyToFile(size, path)) return false;
    } catch (const FileError& error) {
        reportError(target.report, error.what());
        pathField->clear();
        return true;
    }
    *pathField = path;
    return true;
}

}  // namespace quill::project
