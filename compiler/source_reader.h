// The compiler's character sources and sinks: one record type reads source text from memory or
// a file, and collects diagnostics and module bytes in a growable buffer or writes them to a file.
// Input ends at the end of the data or at the first NUL byte, and reads as 0 from then on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quill {
struct ScriptEngine;
}

namespace quill::compiler {

// One argument of SourceReader::write; which member is read depends on the code it matches.
class WriteItem {
  public:
    enum class Type : uint8_t { kText, kInteger, kBytes };

    WriteItem(const char* text) : type_(Type::kText), text_(text ? text : "") {}  // NOLINT
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    WriteItem(T value) : type_(Type::kInteger), integer_(static_cast<int64_t>(value)) {}  // NOLINT
    static WriteItem bytes(const void* data, size_t size) { return WriteItem(data, size); }

    Type type() const { return type_; }
    const char* text() const { return text_; }
    int64_t integer() const { return integer_; }
    const void* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    WriteItem(const void* data, size_t size) : type_(Type::kBytes), data_(data), size_(size) {}

    Type type_;
    const char* text_ = nullptr;
    int64_t integer_ = 0;
    const void* data_ = nullptr;
    size_t size_ = 0;
};

class SourceReader {
  public:
    // The numbering is the one the compile driver's "open source" request uses.
    enum class Kind : uint32_t { kString = 0, kBuffer = 1, kFileInput = 2, kFileOutput = 3 };

    static constexpr size_t kFileBufferSize = 4096;

    // Reads a copy of `text`; a NUL inside it ends the input there.
    static std::unique_ptr<SourceReader> fromString(std::string_view text);
    // A growable output buffer in memory.
    static std::unique_ptr<SourceReader> newBuffer();
    // Opens a file for reading ("rb"); null when it cannot be opened.
    static std::unique_ptr<SourceReader> openFile(const char* path);
    // Creates (truncates) a file for writing ("wb"); null when it cannot be created.
    static std::unique_ptr<SourceReader> createFile(const char* path);

    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    Kind kind() const { return kind_; }
    // The file name, or "string" for memory sources and buffers.
    const std::string& name() const { return name_; }

    // ---- input ----------------------------------------------------------------------------
    // The next byte: pushed-back bytes first (last pushed, first returned), then the data; 0 at
    // the end of input and for ever after it. Output kinds always read 0.
    int get() {
        if (pushedCount_ == 0 && cursor_ < end_) {
            unsigned char c = *cursor_++;
            if (c != 0) return c;
            markEnded();
            return 0;
        }
        return getSlow();
    }
    // Pushes a byte back; any number of bytes may be pushed back.
    void unget(int c);
    int peek() {
        int c = get();
        unget(c);
        return c;
    }
    // The line counter: starts at 0, the lexer advances it on every line feed it consumes.
    uint32_t line() const { return line_; }
    void nextLine() { ++line_; }

    // Back to the start: input is read again from its first byte with the line counter at 0;
    // a buffer is emptied; a file being written is flushed and rewritten from its start.
    void reset();

    // ---- output ---------------------------------------------------------------------------
    // Formatted write: one item per code. Codes: 's' a NUL-terminated text, 'a' an integer in
    // decimal, 'c' one byte (the integer's low 8 bits), 'b' raw bytes (WriteItem::bytes).
    // Items whose type does not fit their code, and unknown codes, write nothing. Returns false
    // when this is not an output or a file write failed.
    bool write(std::string_view codes, std::initializer_list<WriteItem> items);
    bool writeBytes(const void* data, size_t size);
    // Hands buffered file output to the C library; true when everything was written.
    bool flush();
    // Flushes and closes the file (a second close does nothing). Returns false when a write
    // failed at any time.
    bool close();

    // The bytes collected by a buffer.
    std::string_view text() const { return output_; }
    std::string takeText() { return std::move(output_); }

  private:
    SourceReader(Kind kind, std::string name);
    int getSlow();
    void markEnded() {
        cursor_ = end_;
        ended_ = true;
    }
    bool refill();

    Kind kind_;
    std::string name_;
    uint32_t line_ = 0;

    // Input: [cursor_, end_) is what is left of the string or of the current file block.
    const unsigned char* cursor_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool ended_ = false;
    bool shortRead_ = false;  // the last file read came back short: the file is done
    std::vector<unsigned char> pushed_;
    size_t pushedCount_ = 0;
    std::string source_;  // kind 0: our copy of the text

    // Files (kinds 2 and 3) and output.
    std::FILE* file_ = nullptr;
    std::unique_ptr<unsigned char[]> fileBuffer_;
    size_t fileBuffered_ = 0;  // kind 3: bytes waiting in fileBuffer_
    bool writeFailed_ = false;
    std::string output_;  // kind 1
};

// The compile driver's "open source": kind 0 reads `nameOrText` itself, kind 2 opens the file of
// that name, kind 3 creates it, kind 1 ignores it. A file that cannot be opened for reading
// leaves "can't open the script file: " and its name in the engine's message buffer. Returns
// null on failure.
std::unique_ptr<SourceReader> openSource(ScriptEngine* engine, const char* nameOrText,
                                         SourceReader::Kind kind);

}  // namespace quill::compiler
