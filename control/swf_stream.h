// Bounded byte and bit access to movie data, and the matching writer. Every read checks its
// bounds and throws `SwfError` instead of running past the end, so a reader built on it cannot
// overrun a truncated or lying tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "control/swf_records.h"

namespace quill::movie {

struct SwfError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class SwfInput {
  public:
    SwfInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t position() const { return pos_; }
    size_t size() const { return size_; }
    size_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }
    const uint8_t* data() const { return data_; }

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int16_t s16() { return static_cast<int16_t>(u16()); }
    double f64Push();  // the action stream's double: two 32-bit halves, high half first
    float f32();
    // A NUL-terminated string; throws when no NUL comes before the end.
    std::string string();
    void skip(size_t n);
    const uint8_t* bytes(size_t n);  // n bytes in place

    // Bit fields: most significant bit first; `align` drops the rest of the current byte.
    void align() { bitCount_ = 0; }
    uint32_t ubits(unsigned n);
    int32_t sbits(unsigned n);
    bool flag() { return ubits(1) != 0; }

    Rgba rgb();
    Rgba rgba();
    Rect rect();
    Matrix matrix();
    ColorTransform colorTransform(bool withAlpha);

  private:
    void need(size_t n) const;

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint8_t bitBuffer_ = 0;
    unsigned bitCount_ = 0;
};

class SwfOutput {
  public:
    std::vector<uint8_t>& bytes() { return out_; }
    size_t size() const { return out_.size(); }

    void u8(uint8_t v);
    void u16(uint16_t v);
    void u32(uint32_t v);
    void f64Push(double v);
    void string(const std::string& s);  // with its NUL; a NUL inside is cut there
    void raw(const uint8_t* p, size_t n);
    void raw(const std::vector<uint8_t>& v) { raw(v.data(), v.size()); }
    void patchU16(size_t at, uint16_t v);

    void ubits(uint32_t v, unsigned n);
    void sbits(int32_t v, unsigned n);
    void flush();  // pads the current byte with zero bits

    void rgb(const Rgba& c);
    void rgba(const Rgba& c);
    void rect(const Rect& r);
    void matrix(const Matrix& m);
    void colorTransform(const ColorTransform& c, bool withAlpha);

    // A tag header and body: short form up to 62 bytes, long form otherwise (and always for the
    // tags whose readers expect the long form).
    void tag(uint16_t code, const std::vector<uint8_t>& body, bool forceLong = false);

  private:
    std::vector<uint8_t> out_;
    uint32_t bitBuffer_ = 0;
    unsigned bitCount_ = 0;
};

// The bits a signed or unsigned value needs in a bit field.
unsigned signedBits(int32_t v);
unsigned unsignedBits(uint32_t v);

}  // namespace quill::movie
