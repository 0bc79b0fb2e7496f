// The in-memory byte stream behind StringStream, the stream encodings, and the zlib frames of
// compress, uncompress and crc.
#include "host/system/stream_core.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "runtime/script_engine.h"

namespace quill::streams {

ByteStream::~ByteStream() {
    std::free(data_);
    if (engine_) releaseExternalMemory(engine_, capacity_);
}

void ByteStream::chargeTo(ScriptEngine* engine) {
    if (engine_) return;
    engine_ = engine;
    // Already allocated: counted even when it is more than the limit allows.
    engine->heap.externalBytes += capacity_;
}

bool ByteStream::reserve(size_t needed) {
    if (needed <= capacity_) return true;
    if (needed > size_t(kMaxStreamLength)) return false;
    size_t grown = std::max<size_t>(capacity_ < 64 ? 64 : capacity_ * 2, needed);
    grown = std::min<size_t>(grown, size_t(kMaxStreamLength));
    // A doubling may be more than memory (or the engine's limit) allows where the exact size is
    // not.
    auto tryGrow = [&](size_t size) {
        if (engine_ && !chargeExternalMemory(engine_, size - capacity_)) return false;
        auto* block = static_cast<uint8_t*>(std::realloc(data_, size));
        if (!block) {
            if (engine_) releaseExternalMemory(engine_, size - capacity_);
            return false;
        }
        data_ = block;
        capacity_ = size;
        return true;
    };
    return tryGrow(grown) || (grown != needed && tryGrow(needed));
}

size_t ByteStream::readBytes(uint8_t* out, size_t n) {
    if (!readable() || n == 0) return 0;
    size_t available = getPos_ < length_ ? length_ - getPos_ : 0;
    size_t k = std::min(n, available);
    if (k) std::memcpy(out, data_ + getPos_, k);
    getPos_ += k;
    if (k < n) state_ |= kStateEof | kStateFail;
    return k;
}

int ByteStream::peekByte() {
    if (!readable()) return -1;
    if (getPos_ >= length_) {
        state_ |= kStateEof;
        return -1;
    }
    return data_[getPos_];
}

int ByteStream::takeByte() {
    int c = peekByte();
    if (c >= 0) ++getPos_;
    return c;
}

bool ByteStream::writeBytes(const uint8_t* bytes, size_t n) {
    if (state_ != 0 || (mode_ & kStreamOut) == 0) return false;
    if (n == 0) return true;
    if (n > size_t(kMaxStreamLength) - putPos_ || !reserve(putPos_ + n)) {
        state_ |= kStateBad;
        return false;
    }
    if (putPos_ > length_) std::memset(data_ + length_, 0, putPos_ - length_);
    std::memcpy(data_ + putPos_, bytes, n);
    putPos_ += n;
    length_ = std::max(length_, putPos_);
    return true;
}

std::string ByteStream::readLine() {
    std::string line;
    for (;;) {
        int c = peekByte();
        if (c < 0) break;
        ++getPos_;
        if (c == '\n') break;
        if (c == '\r') {
            int next = peekByte();
            if (next == '\n') {
                ++getPos_;
                break;
            }
            if (next < 0) break;
            continue;  // a lone CR is dropped and the line goes on
        }
        try {
            line.push_back(static_cast<char>(c));
        } catch (const std::bad_alloc&) {
            break;  // what was gathered so far is the line
        }
    }
    return line;
}

bool ByteStream::unget() {
    if (!readable() || getPos_ == 0) return false;
    --getPos_;
    return true;
}

bool ByteStream::unget(uint8_t byte) {
    // Past the content there is no byte to replace; storing one would write outside the data.
    if (!readable() || getPos_ == 0 || getPos_ > length_) return false;
    data_[--getPos_] = byte;
    return true;
}

int64_t ByteStream::getPos() const {
    return (state_ & (kStateFail | kStateBad)) ? -1 : int64_t(getPos_);
}

int64_t ByteStream::putPos() const {
    return (state_ & (kStateFail | kStateBad)) ? -1 : int64_t(putPos_);
}

void ByteStream::setGetPos(int64_t pos) {
    state_ = 0;
    getPos_ = size_t(std::clamp<int64_t>(pos, 0, kMaxStreamLength));
}

void ByteStream::setPutPos(int64_t pos) {
    state_ = 0;
    putPos_ = size_t(std::clamp<int64_t>(pos, 0, kMaxStreamLength));
}

void appendLe(std::string* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t readLe(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

uint32_t floatBits(double value) {
    if (value != value) return 0x7FC00000u;
    auto f = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

uint64_t doubleBits(double value) {
    if (value != value) return 0x7FF8000000000000ull;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double doubleFromBits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool deflateInto(const uint8_t* data, size_t size, int level, ByteStream* out) {
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) return false;
    uint8_t buffer[kChunkSize];
    size_t done = 0;
    bool ok = true;
    int flush;
    do {
        size_t piece = std::min(kChunkSize, size - done);
        z.next_in = const_cast<Bytef*>(data + done);
        z.avail_in = static_cast<uInt>(piece);
        done += piece;
        flush = done == size ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            if (deflate(&z, flush) == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            size_t have = sizeof buffer - z.avail_out;
            if (have && !out->writeBytes(buffer, have)) {
                ok = false;
                break;
            }
        } while (z.avail_out == 0);
    } while (ok && flush != Z_FINISH);
    deflateEnd(&z);
    return ok;
}

bool inflateInto(const uint8_t* data, size_t size, ByteStream* out, size_t limit) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    uint8_t buffer[kChunkSize];
    bool ended = false;
    bool ok = true;
    for (size_t done = 0; ok && !ended && done < size;) {
        size_t piece = std::min(kChunkSize, size - done);
        z.next_in = const_cast<Bytef*>(data + done);
        z.avail_in = static_cast<uInt>(piece);
        done += piece;
        // Each pass either fills the buffer or uses up the piece, so a stream that inflates to
        // far more than it holds meets the limit instead of looping.
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            int rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                ok = false;
                break;
            }
            size_t have = sizeof buffer - z.avail_out;
            if (have > limit - std::min(limit, out->length()) ||
                (have && !out->writeBytes(buffer, have))) {
                ok = false;
                break;
            }
            if (rc == Z_STREAM_END) {
                ended = true;  // anything after the stream's end is not part of it
                break;
            }
        } while (z.avail_out == 0);
    }
    inflateEnd(&z);
    return ok && ended;
}

uint32_t crcOf(const uint8_t* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t done = 0; done < size;) {
        size_t piece = std::min(kChunkSize, size - done);
        crc = crc32(crc, data + done, static_cast<uInt>(piece));
        done += piece;
    }
    return static_cast<uint32_t>(crc);
}

}  // namespace quill::streams
