// Reading the compiled-module container: the optional "#" first line, the magic, the section
// table, and a private copy of every section. Anything malformed gives null.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "runtime/module.h"

namespace quill {

namespace {

uint32_t readLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

void freeModule(ModuleRecord* module) {
    if (!module) return;
    for (ModuleSection& s : module->sections) std::free(s.bytes);
    delete module;
}

ModuleRecord* readModule(const uint8_t* bytes, size_t length) {
    if (!bytes) return nullptr;
    size_t start = 0;
    if (length > 0 && bytes[0] == '#') {
        const void* lf = std::memchr(bytes, '\n', length);
        if (!lf) return nullptr;
        start = static_cast<size_t>(static_cast<const uint8_t*>(lf) - bytes) + 1;
    }
    const uint8_t* data = bytes + start;
    size_t size = length - start;
    if (size < 8 || std::memcmp(data, "QS1b", 4) != 0) return nullptr;

    auto* module = new (std::nothrow) ModuleRecord();
    if (!module) return nullptr;
    size_t pos = 4;
    for (;;) {
        if (pos + 4 > size) break;
        uint32_t id = readLe32(data + pos);
        if (id == 0xFFFFFFFFu) {
            return module;
        }
        if (pos + 12 > size) break;
        uint32_t offset = readLe32(data + pos + 4);
        uint32_t sectionSize = readLe32(data + pos + 8);
        pos += 12;
        if (uint64_t(offset) + sectionSize > size) break;
        auto* copy = static_cast<uint8_t*>(std::malloc(size_t(sectionSize) + 1));
        if (!copy) break;
        if (sectionSize) std::memcpy(copy, data + offset, sectionSize);
        copy[sectionSize] = 0;
        try {
            module->sections.push_back({id & 0xFF, sectionSize, copy});
        } catch (...) {
            std::free(copy);
            break;
        }
    }
    freeModule(module);
    return nullptr;
}

ModuleRecord* readModuleFile(std::FILE* file) {
    if (!file) return nullptr;
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    for (;;) {
        size_t n = std::fread(buffer, 1, sizeof buffer, file);
        if (n == 0) break;
        if (data.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
        try {
            data.insert(data.end(), buffer, buffer + n);
        } catch (...) {
            return nullptr;
        }
    }
    if (std::ferror(file)) return nullptr;
    return readModule(data.data(), data.size());
}

}  // namespace quill
