// The native side shared by StringStream and FileStream: the byte source/sink interface behind
// both classes' members, the in-memory byte stream with its positions and state word, the
// little-endian encodings, and the zlib helpers for compress, uncompress and crc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quill {
struct ScriptEngine;
}

namespace quill::streams {

constexpr int64_t kStreamIn = 1;
constexpr int64_t kStreamOut = 2;
constexpr int64_t kStreamBoth = 3;
constexpr int64_t kStreamEof = -1;

// Positions, lengths and counts of in-memory streams are 32-bit signed byte counts.
constexpr int64_t kMaxStreamLength = 0x7FFFFFFF;
// Whole-content operations move data in pieces of this size.
constexpr size_t kChunkSize = 4096;
// `uncompress` gives null rather than inflate beyond this (256 MiB), so a small hostile input
// cannot make the engine take all the memory there is.
constexpr size_t kMaxInflatedBytes = size_t(256) << 20;

// Flags of a StringStream's state word, shared by reading and writing.
enum StreamState : uint8_t {
    kStateEof = 1,   // a read met the end
    kStateFail = 2,  // a read got fewer bytes than it asked for
    kStateBad = 4,   // a write could not be done (no memory, or past the largest length)
};

// The byte source and sink behind the members both classes share.
class StreamIo {
  public:
    virtual ~StreamIo() = default;
    // Reads up to n bytes. A short read marks the end (and, in memory, a failure).
    virtual size_t readBytes(uint8_t* out, size_t n) = 0;
    // Takes one byte, or gives -1 at the end. In memory this is a look-ahead read: meeting the
    // end sets only the end-of-stream flag.
    virtual int takeByte() = 0;
    // Writes n bytes; false when they were not all written.
    virtual bool writeBytes(const uint8_t* data, size_t n) = 0;
};

// The host instance data of both classes: a one-pointer cell. `close` destroys the native
// object and empties the cell; the instance finalizer deletes the cell and what it still holds.
struct StreamCell {
    explicit StreamCell(StreamIo* stream = nullptr) : io(stream) {}
    ~StreamCell() { delete io; }
    StreamCell(const StreamCell&) = delete;
    StreamCell& operator=(const StreamCell&) = delete;
    void close() {
        delete io;
        io = nullptr;
    }

    StreamIo* io;
};

// The native object of a StringStream: a growable buffer, independent read and write
// positions, a mode and one state word. The content length is the highest write position ever
// reached; the write position may be moved past it, and a write there fills the gap with zeros.
class ByteStream final : public StreamIo {
  public:
    explicit ByteStream(int64_t mode = kStreamBoth) : mode_(mode) {}
    ~ByteStream() override;
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    size_t readBytes(uint8_t* out, size_t n) override;
    int takeByte() override;
    bool writeBytes(const uint8_t* data, size_t n) override;

    // The next byte without taking it, or -1 at the end (sets the end-of-stream flag).
    int peekByte();
    // One line by the StringStream rules (LF, CR LF, or the end ends it; a lone CR is dropped).
    std::string readLine();
    // Steps the read position back one byte, storing `byte` there when given. Nothing happens
    // at position 0, past the content, or while a flag is set.
    bool unget();
    bool unget(uint8_t byte);

    // From now on the buffer counts toward the engine's heap limit: growth past it fails like
    // growth the system refuses. Charges what is already held (the stream exists by then).
    void chargeTo(ScriptEngine* engine);

    // Whole content, independent of positions, state and mode.
    const uint8_t* data() const { return data_; }
    size_t length() const { return length_; }

    uint8_t state() const { return state_; }
    int64_t mode() const { return mode_; }
    // -1 while the failure or bad flag is set.
    int64_t getPos() const;
    int64_t putPos() const;
    // Positions from 0 to kMaxStreamLength; assigning one clears every flag.
    void setGetPos(int64_t pos);
    void setPutPos(int64_t pos);

  private:
    bool readable() const { return state_ == 0 && (mode_ & kStreamIn) != 0; }
    bool reserve(size_t needed);

    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
    size_t length_ = 0;
    size_t getPos_ = 0;
    size_t putPos_ = 0;
    int64_t mode_;
    uint8_t state_ = 0;
    ScriptEngine* engine_ = nullptr;  // charged for the capacity, once owned by a script value
};

// Little-endian encodings of the stream formats.
void appendLe(std::string* out, uint64_t value, int bytes);
uint64_t readLe(const uint8_t* bytes, int count);
// A number as IEEE single / double bits. Not-a-number is written as the quiet NaN with a clear
// sign bit, so that both builds write the same bytes.
uint32_t floatBits(double value);
uint64_t doubleBits(double value);
double floatFromBits(uint32_t bits);
double doubleFromBits(uint64_t bits);

// zlib stream (RFC 1950) of `size` bytes at `level` (0..9, or -1 for the default) into `out`.
// False for an invalid level or when `out` cannot take the result.
bool deflateInto(const uint8_t* data, size_t size, int level, ByteStream* out);
// Inflates one complete zlib stream into `out`; bytes after its end are ignored. False for data
// that is not a zlib stream, one that stops before its end, or output beyond `limit` bytes.
bool inflateInto(const uint8_t* data, size_t size, ByteStream* out,
                 size_t limit = kMaxInflatedBytes);
// The CRC-32 zlib computes (ISO 3309 polynomial, inverted at both ends).
uint32_t crcOf(const uint8_t* data, size_t size);

}  // namespace quill::streams
