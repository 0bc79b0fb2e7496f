// Resources of the running executable through FindResourceA, SizeofResource, LoadResource and
// LockResource.
#include <windows.h>

#include "projector/records/packed_resource.h"
#include "projector/records/resource_access.h"

namespace quill::project {
namespace {

// The bytes of a resource of this executable; they stay mapped for the life of the process.
std::pair<const uint8_t*, size_t> findOwnResource(const char* name, const char* type) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name, type);
    if (!found) throw ResourceError();
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = size ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) throw ResourceError();
    return {static_cast<const uint8_t*>(bytes), size};
}

}  // namespace

bool LoadPackedResource(const char* name, const char* type, std::vector<uint8_t>* out,
                        const ErrorReporter& report) {
    auto [bytes, size] = findOwnResource(name, type);
    return UnpackContainer(bytes, size, out, report);
}

std::vector<uint8_t> LoadRawResource(const char* name, const char* type) {
    auto [bytes, size] = findOwnResource(name, type);
    return std::vector<uint8_t>(bytes, bytes + size);
}

void ReadMovieList(MovieList* list, const ExtractTarget& target) {
    std::vector<uint8_t> data;
    try {
        if (!LoadPackedResource("ML", kProjectType, &data, target.report)) return;
    } catch (const ResourceError&) {
        return;
    }
    MemoryStream stream(data);
    parseMovieList(stream, target, list);
}

void ReadMaskList(MaskList* list, const ExtractTarget& target) {
    std::vector<uint8_t> data;
    if (!LoadPackedResource("RG", kProjectType, &data, target.report)) return;
    MemoryStream stream(data);
    parseMaskList(stream, target, list);
}

}  // namespace quill::project
