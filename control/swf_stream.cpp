// Bounded byte and bit access to movie data, and the writer that produces the same layouts.
#include "control/swf_stream.h"

#include <algorithm>
#include <cstring>

namespace quill::movie {

void SwfInput::need(size_t n) const {
    if (n > size_ - pos_) throw SwfError("data ends inside a record");
}

uint8_t SwfInput::u8() {
    bitCount_ = 0;
    need(1);
    return data_[pos_++];
}

uint16_t SwfInput::u16() {
    bitCount_ = 0;
    need(2);
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t SwfInput::u32() {
    bitCount_ = 0;
    need(4);
    uint32_t v = uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8) |
                 (uint32_t(data_[pos_ + 2]) << 16) | (uint32_t(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
}

double SwfInput::f64Push() {
    uint64_t high = u32();
    uint64_t low = u32();
    uint64_t bits = (high << 32) | low;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

float SwfInput::f32() {
    uint32_t bits = u32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string SwfInput::string() {
    bitCount_ = 0;
    const void* end = std::memchr(data_ + pos_, 0, size_ - pos_);
    if (!end) throw SwfError("a string has no end");
    size_t n = static_cast<const uint8_t*>(end) - (data_ + pos_);
    std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n + 1;
    return s;
}

void SwfInput::skip(size_t n) {
    bitCount_ = 0;
    need(n);
    pos_ += n;
}

const uint8_t* SwfInput::bytes(size_t n) {
    bitCount_ = 0;
    need(n);
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
}

uint32_t SwfInput::ubits(unsigned n) {
    if (n > 32) throw SwfError("a bit field is wider than 32 bits");
    uint32_t v = 0;
    while (n > 0) {
        if (bitCount_ == 0) {
            need(1);
            bitBuffer_ = data_[pos_++];
            bitCount_ = 8;
        }
        unsigned take = n < bitCount_ ? n : bitCount_;
        uint32_t part = (bitBuffer_ >> (bitCount_ - take)) & ((1u << take) - 1);
        v = take == 32 ? part : (v << take) | part;
        bitCount_ -= take;
        n -= take;
    }
    return v;
}

int32_t SwfInput::sbits(unsigned n) {
    if (n == 0) return 0;
    uint32_t v = ubits(n);
    if (n < 32 && (v & (1u << (n - 1)))) v |= ~0u << n;
    return static_cast<int32_t>(v);
}

Rgba SwfInput::rgb() {
    Rgba c;
    c.r = u8();
    c.g = u8();
    c.b = u8();
    return c;
}

Rgba SwfInput::rgba() {
    Rgba c = rgb();
    c.a = u8();
    return c;
}

Rect SwfInput::rect() {
    align();
    unsigned n = ubits(5);
    Rect r;
    r.xMin = sbits(n);
    r.xMax = sbits(n);
    r.yMin = sbits(n);
    r.yMax = sbits(n);
    align();
    return r;
}

Matrix SwfInput::matrix() {
    align();
    Matrix m;
    if (flag()) {
        unsigned n = ubits(5);
        m.scaleX = sbits(n);
        m.scaleY = sbits(n);
    }
    if (flag()) {
        unsigned n = ubits(5);
        m.skew0 = sbits(n);
        m.skew1 = sbits(n);
    }
    unsigned n = ubits(5);
    m.translateX = sbits(n);
    m.translateY = sbits(n);
    align();
    return m;
}

ColorTransform SwfInput::colorTransform(bool withAlpha) {
    align();
    ColorTransform c;
    bool hasAdd = flag();
    bool hasMult = flag();
    unsigned n = ubits(4);
    auto field = [&](int16_t* p) { *p = static_cast<int16_t>(sbits(n)); };
    if (hasMult) {
        field(&c.multR);
        field(&c.multG);
        field(&c.multB);
        if (withAlpha) field(&c.multA);
    }
    if (hasAdd) {
        field(&c.addR);
        field(&c.addG);
        field(&c.addB);
        if (withAlpha) field(&c.addA);
    }
    align();
    return c;
}

unsigned signedBits(int32_t v) {
    uint32_t m = v < 0 ? ~static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    return unsignedBits(m) + 1;
}

unsigned unsignedBits(uint32_t v) {
    unsigned n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

void SwfOutput::u8(uint8_t v) {
    flush();
    out_.push_back(v);
}

void SwfOutput::u16(uint16_t v) {
    flush();
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
}

void SwfOutput::u32(uint32_t v) {
    flush();
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void SwfOutput::f64Push(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(static_cast<uint32_t>(bits >> 32));
    u32(static_cast<uint32_t>(bits));
}

void SwfOutput::string(const std::string& s) {
    flush();
    size_t n = s.find('\0');
    if (n == std::string::npos) n = s.size();
    out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    out_.push_back(0);
}

void SwfOutput::raw(const uint8_t* p, size_t n) {
    flush();
    out_.insert(out_.end(), p, p + n);
}

void SwfOutput::patchU16(size_t at, uint16_t v) {
    out_[at] = static_cast<uint8_t>(v);
    out_[at + 1] = static_cast<uint8_t>(v >> 8);
}

void SwfOutput::ubits(uint32_t v, unsigned n) {
    for (unsigned i = n; i > 0; --i) {
        bitBuffer_ = (bitBuffer_ << 1) | ((v >> (i - 1)) & 1);
        if (++bitCount_ == 8) {
            out_.push_back(static_cast<uint8_t>(bitBuffer_));
            bitBuffer_ = 0;
            bitCount_ = 0;
        }
    }
}

void SwfOutput::sbits(int32_t v, unsigned n) {
    ubits(static_cast<uint32_t>(v), n);
}

void SwfOutput::flush() {
    if (bitCount_ == 0) return;
    out_.push_back(static_cast<uint8_t>(bitBuffer_ << (8 - bitCount_)));
    bitBuffer_ = 0;
    bitCount_ = 0;
}

void SwfOutput::rgb(const Rgba& c) {
    u8(c.r);
    u8(c.g);
    u8(c.b);
}

void SwfOutput::rgba(const Rgba& c) {
    rgb(c);
    u8(c.a);
}

void SwfOutput::rect(const Rect& r) {
    flush();
    unsigned n = 1;
    for (int32_t v : {r.xMin, r.xMax, r.yMin, r.yMax}) n = std::max(n, signedBits(v));
    ubits(n, 5);
    sbits(r.xMin, n);
    sbits(r.xMax, n);
    sbits(r.yMin, n);
    sbits(r.yMax, n);
    flush();
}

void SwfOutput::matrix(const Matrix& m) {
    flush();
    bool hasScale = m.scaleX != 65536 || m.scaleY != 65536;
    ubits(hasScale, 1);
    if (hasScale) {
        unsigned n = std::max(signedBits(m.scaleX), signedBits(m.scaleY));
        ubits(n, 5);
        sbits(m.scaleX, n);
        sbits(m.scaleY, n);
    }
    bool hasRotate = m.skew0 != 0 || m.skew1 != 0;
    ubits(hasRotate, 1);
    if (hasRotate) {
        unsigned n = std::max(signedBits(m.skew0), signedBits(m.skew1));
        ubits(n, 5);
        sbits(m.skew0, n);
        sbits(m.skew1, n);
    }
    unsigned n = 0;
    if (m.translateX != 0 || m.translateY != 0) {
        n = std::max(signedBits(m.translateX), signedBits(m.translateY));
    }
    ubits(n, 5);
    sbits(m.translateX, n);
    sbits(m.translateY, n);
    flush();
}

void SwfOutput::colorTransform(const ColorTransform& c, bool withAlpha) {
    flush();
    bool hasMult =
        c.multR != 256 || c.multG != 256 || c.multB != 256 || (withAlpha && c.multA != 256);
    bool hasAdd = c.addR != 0 || c.addG != 0 || c.addB != 0 || (withAlpha && c.addA != 0);
    // The width field has four bits: terms beyond 15 signed bits are clamped.
    auto fit = [](int v) { return std::clamp(v, -16384, 16383); };
    unsigned n = 1;
    if (hasMult) {
        for (int v : {c.multR, c.multG, c.multB, c.multA}) n = std::max(n, signedBits(fit(v)));
    }
    if (hasAdd) {
        for (int v : {c.addR, c.addG, c.addB, c.addA}) n = std::max(n, signedBits(fit(v)));
    }
    ubits(hasAdd, 1);
    ubits(hasMult, 1);
    ubits(n, 4);
    if (hasMult) {
        sbits(fit(c.multR), n);
        sbits(fit(c.multG), n);
        sbits(fit(c.multB), n);
        if (withAlpha) sbits(fit(c.multA), n);
    }
    if (hasAdd) {
        sbits(fit(c.addR), n);
        sbits(fit(c.addG), n);
        sbits(fit(c.addB), n);
        if (withAlpha) sbits(fit(c.addA), n);
    }
    flush();
}

void SwfOutput::tag(uint16_t code, const std::vector<uint8_t>& body, bool forceLong) {
    flush();
    if (body.size() < 63 && !forceLong) {
        u16(static_cast<uint16_t>((code << 6) | body.size()));
    } else {
        u16(static_cast<uint16_t>((code << 6) | 0x3F));
        u32(static_cast<uint32_t>(body.size()));
    }
    raw(body);
}

}  // namespace quill::movie
