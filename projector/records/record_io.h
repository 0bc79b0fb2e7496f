// Field-by-field transfer of the records: little-endian integers, counted UTF-16 strings (the
// count includes the terminating NUL; 0 means absent), embedded files, and where extracted
// files go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "projector/records/byte_stream.h"
#include "projector/records/record_errors.h"
#include "projector/records/text_codec.h"

namespace quill::project {

// A heap string of a record: absent (count 0) is not the same as empty (count 1).
using HeapString = std::optional<std::string>;

// Fixed text buffers of the records hold at most this many characters before their NUL.
inline constexpr size_t kBufferChars = 259;

// Where a reader writes the files a record carries, and how it reports trouble.
struct ExtractTarget {
    // The work folder, in the codec's text, ending in a separator; empty means the current folder.
    std::string workFolder;
    // The executable's folder, ending in a separator: movies of a list without embedded files
    // are found there.
    std::string exeFolder;
    const TextCodec* codec = &ansiCodec();
    ErrorReporter report;
    // The unpacking tool lists the plug-ins of a movie list without embedded files too (the
    // projector skips them).
    bool listEveryKind = false;
};

class RecordReader {
  public:
    RecordReader(ByteStream& stream, const TextCodec& codec) : stream_(stream), codec_(codec) {}

    // Each returns false, leaving the target as it was, when the stream ends before the field.
    bool readU8(uint8_t* value);
    bool readU16(uint16_t* value);
    bool readU32(uint32_t* value);
    bool readI32(int32_t* value);
    bool readBytes(void* out, size_t n);
    bool skip(uint64_t n);
    // The code units up to the first NUL; *absent is set for a count of 0.
    bool readWide(std::u16string* text, bool* absent = nullptr);
    bool readHeapString(HeapString* value);
    // Into a fixed buffer of `capacity` characters (longer text is cut); absent reads as empty.
    bool readBufferString(std::string* value, size_t capacity = kBufferChars);
    // A u32 byte count and that many bytes.
    bool readBlock(std::vector<uint8_t>* value);
    // Copies `size` bytes of the stream into a new file at `path` in chunks of at most 1024
    // bytes. Returns false (and removes the partial file) when the stream ends first. Throws
    // FileError when the file cannot be created or written, after stepping over the bytes.
    bool copyToFile(uint32_t size, const std::string& path);

    const TextCodec& codec() const { return codec_; }

  private:
    ByteStream& stream_;
    const TextCodec& codec_;
};

class RecordWriter {
  public:
    RecordWriter(ByteStream& stream, const TextCodec& codec) : stream_(stream), codec_(codec) {}

    void writeU8(uint8_t value) { writeBytes(&value, 1); }
    void writeU16(uint16_t value);
    void writeU32(uint32_t value);
    void writeI32(int32_t value) { writeU32(static_cast<uint32_t>(value)); }
    void writeBytes(const void* data, size_t n);
    // Text with its NUL.
    void writeWide(std::u16string_view text);
    void writeHeapString(const HeapString& value);
    void writeBufferString(const std::string& value) { writeWide(codec_.widen(value)); }
    void writeBlock(const std::vector<uint8_t>& value);
    // The file's name part, its length and its bytes (read in chunks of 4096); a path that does
    // not name an existing file gives an empty name and a length of 0. Throws TextError when
    // the file is too large or cannot be read to its end.
    void writeEmbeddedFile(const std::string& path);
    // Writes a u32 length and `size` bytes of the file at `path`; throws TextError as above.
    void writeFileBytes(const std::string& path);

    // False once any write failed.
    bool ok() const { return ok_; }
    const TextCodec& codec() const { return codec_; }

  private:
    ByteStream& stream_;
    const TextCodec& codec_;
    bool ok_ = true;
};

// The path of `name` inside `folder` (which ends in a separator or is empty).
inline std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + name;
}

// True when `path` names an existing regular file (codec text).
bool isRegularFile(const TextCodec& codec, const std::string& path);

}  // namespace quill::project
