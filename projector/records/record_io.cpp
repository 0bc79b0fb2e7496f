// Reading and writing the fields of the records, and the files they carry.
#include "projector/records/record_io.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quill::project {
namespace {

// Strings are read in pieces so that a count that claims more than the stream holds costs no
// more memory than the data that is really there.
constexpr size_t kStringChunkUnits = 4096;

struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

}  // namespace

bool RecordReader::readBytes(void* out, size_t n) {
    return stream_.read(out, n) == n;
}

bool RecordReader::readU8(uint8_t* value) {
    return readBytes(value, 1);
}

bool RecordReader::readU16(uint16_t* value) {
    uint8_t b[2];
    if (!readBytes(b, 2)) return false;
    *value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool RecordReader::readU32(uint32_t* value) {
    uint8_t b[4];
    if (!readBytes(b, 4)) return false;
    *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool RecordReader::readI32(int32_t* value) {
    uint32_t raw;
    if (!readU32(&raw)) return false;
    *value = static_cast<int32_t>(raw);
    return true;
}

bool RecordReader::skip(uint64_t n) {
    uint8_t buffer[4096];
    while (n > 0) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(n, sizeof buffer));
        if (stream_.read(buffer, step) != step) return false;
        n -= step;
    }
    return true;
}

bool RecordReader::readWide(std::u16string* text, bool* absent) {
    uint32_t count;
    if (!readU32(&count)) return false;
    std::u16string units;
    uint8_t buffer[kStringChunkUnits * 2];
    uint32_t left = count;
    while (left > 0) {
        size_t step = std::min<size_t>(left, kStringChunkUnits);
        if (stream_.read(buffer, step * 2) != step * 2) return false;
        for (size_t i = 0; i < step; ++i) {
            units += static_cast<char16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
        }
        left -= static_cast<uint32_t>(step);
    }
    size_t nul = units.find(u'\0');
    if (nul != std::u16string::npos) units.resize(nul);
    *text = std::move(units);
    if (absent) *absent = count == 0;
    return true;
}

bool RecordReader::readHeapString(HeapString* value) {
    std::u16string text;
    bool absent = false;
    if (!readWide(&text, &absent)) return false;
    if (absent) {
        value->reset();
    } else {
        *value = codec_.narrow(text);
    }
    return true;
}

bool RecordReader::readBufferString(std::string* value, size_t capacity) {
    std::u16string text;
    if (!readWide(&text)) return false;
    if (text.size() > capacity) text.resize(capacity);
    *value = codec_.narrow(text);
    return true;
}

bool RecordReader::readBlock(std::vector<uint8_t>* value) {
    uint32_t count;
    if (!readU32(&count)) return false;
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    uint32_t left = count;
    while (left > 0) {
        size_t step = std::min<size_t>(left, sizeof buffer);
        if (stream_.read(buffer, step) != step) return false;
        bytes.insert(bytes.end(), buffer, buffer + step);
        left -= static_cast<uint32_t>(step);
    }
    *value = std::move(bytes);
    return true;
}

bool RecordReader::copyToFile(uint32_t size, const std::string& path) {
    std::filesystem::path target = toFsPath(codec_, path);
    std::FILE* file = openFsPath(target, "wb");
    // A file that cannot be created or written still has its bytes stepped over, so that a
    // reader that goes on finds the next field.
    bool failed = file == nullptr;
    bool ended = false;
    uint8_t buffer[1024];
    uint32_t left = size;
    while (left > 0) {
        size_t step = std::min<size_t>(left, sizeof buffer);
        size_t got = stream_.read(buffer, step);
        if (!failed && got > 0 && std::fwrite(buffer, 1, got, file) != got) failed = true;
        if (got != step) {
            ended = true;
            break;
        }
        left -= static_cast<uint32_t>(step);
    }
    bool created = file != nullptr;
    if (file && std::fclose(file) != 0) failed = true;
    if (failed || ended) {
        std::error_code ignored;
        if (created) std::filesystem::remove(target, ignored);
        if (failed) {
            throw FileError((created ? "Cannot write the file " : "Cannot create the file ") +
                            path);
        }
        return false;
    }
    return true;
}

void RecordWriter::writeBytes(const void* data, size_t n) {
    if (n > 0 && !stream_.write(data, n)) ok_ = false;
}

void RecordWriter::writeU16(uint16_t value) {
    uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    writeBytes(b, 2);
}

void RecordWriter::writeU32(uint32_t value) {
    uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                    static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    writeBytes(b, 4);
}

void RecordWriter::writeWide(std::u16string_view text) {
    writeU32(static_cast<uint32_t>(text.size() + 1));
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    writeBytes(bytes.data(), bytes.size());
}

void RecordWriter::writeHeapString(const HeapString& value) {
    if (value) {
        writeWide(codec_.widen(*value));
    } else {
        writeU32(0);
    }
}

void RecordWriter::writeBlock(const std::vector<uint8_t>& value) {
    writeU32(static_cast<uint32_t>(value.size()));
    writeBytes(value.data(), value.size());
}

void RecordWriter::writeEmbeddedFile(const std::string& path) {
    if (path.empty() || !isRegularFile(codec_, path)) {
        writeWide(u"");
        writeU32(0);
        return;
    }
    writeWide(codec_.widen(fileNamePart(path)));
    writeFileBytes(path);
}

void RecordWriter::writeFileBytes(const std::string& path) {
    std::FILE* file = openFsPath(toFsPath(codec_, path), "rb");
    if (!file) throw TextError("Cannot read the file " + path);
    FileCloser closer{file};
    std::error_code error;
    uintmax_t size = std::filesystem::file_size(toFsPath(codec_, path), error);
    if (error) throw TextError("Cannot read the file " + path);
    if (size > 0xFFFFFFFFu) throw TextError("The file " + path + " is larger than 4 GB");
    writeU32(static_cast<uint32_t>(size));
    uint8_t buffer[4096];
    uintmax_t left = size;
    while (left > 0) {
        size_t step = static_cast<size_t>(std::min<uintmax_t>(left, sizeof buffer));
        if (std::fread(buffer, 1, step, file) != step) {
            throw TextError("Cannot read the file " + path);
        }
        writeBytes(buffer, step);
        left -= step;
    }
}

bool isRegularFile(const TextCodec& codec, const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(toFsPath(codec, path), error);
}

}  // namespace quill::project
