// Writes the tag model as a movie file. Every definition is written once, after the characters
// it refers to, so a movie read from any file and written again stays playable.
#include "control/swf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>

#include "control/swf_stream.h"

namespace quill::movie {
namespace {

constexpr int32_t kMaxEdgeDelta = 65535;  // 17 signed bits, the widest edge field

unsigned styleBits(size_t count) {
    return unsignedBits(static_cast<uint32_t>(count));
}

void writeFill(SwfOutput& out, const FillStyle& f, int version) {
    out.u8(f.kind);
    switch (f.kind) {
        case kFillSolid:
            if (version >= 3)
                out.rgba(f.color);
            else
                out.rgb(f.color);
            break;
        case kFillLinearGradient:
        case kFillRadialGradient:
        case kFillFocalGradient:
            out.matrix(f.matrix);
            out.u8(static_cast<uint8_t>(std::min<size_t>(f.stops.size(), 15)));
            for (size_t i = 0; i < f.stops.size() && i < 15; ++i) {
                out.u8(f.stops[i].ratio);
                if (version >= 3)
                    out.rgba(f.stops[i].color);
                else
                    out.rgb(f.stops[i].color);
            }
            if (f.kind == kFillFocalGradient) out.u16(0);
            break;
        default:
            out.u16(f.bitmapId);
            out.matrix(f.matrix);
            break;
    }
}

void writeStyles(SwfOutput& out, const StyleSet& set, int version) {
    out.flush();
    auto count = [&](size_t n) {
        if (n >= 0xFF && version >= 2) {
            out.u8(0xFF);
            out.u16(static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF)));
        } else {
            out.u8(static_cast<uint8_t>(std::min<size_t>(n, 0xFE)));
        }
    };
    count(set.fills.size());
    size_t fills = version >= 2 ? std::min<size_t>(set.fills.size(), 0xFFFF)
                                : std::min<size_t>(set.fills.size(), 0xFE);
    for (size_t i = 0; i < fills; ++i) writeFill(out, set.fills[i], version);
    count(set.lines.size());
    size_t lines = version >= 2 ? std::min<size_t>(set.lines.size(), 0xFFFF)
                                : std::min<size_t>(set.lines.size(), 0xFE);
    for (size_t i = 0; i < lines; ++i) {
        out.u16(set.lines[i].width);
        if (version >= 3)
            out.rgba(set.lines[i].color);
        else
            out.rgb(set.lines[i].color);
    }
}

void writeStraight(SwfOutput& out, int32_t dx, int32_t dy) {
    if (std::abs(int64_t(dx)) > kMaxEdgeDelta || std::abs(int64_t(dy)) > kMaxEdgeDelta) {
        int32_t hx = dx / 2, hy = dy / 2;
        writeStraight(out, hx, hy);
        writeStraight(out, dx - hx, dy - hy);
        return;
    }
    out.ubits(1, 1);  // edge
    out.ubits(1, 1);  // straight
    unsigned n = std::max({signedBits(dx), signedBits(dy), 2u});
    out.ubits(n - 2, 4);
    if (dx != 0 && dy != 0) {
        out.ubits(1, 1);
        out.sbits(dx, n);
        out.sbits(dy, n);
    } else if (dx == 0) {
        out.ubits(0, 1);
        out.ubits(1, 1);
        out.sbits(dy, n);
    } else {
        out.ubits(0, 1);
        out.ubits(0, 1);
        out.sbits(dx, n);
    }
}

void writeCurve(SwfOutput& out, int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    int64_t widest = std::max({std::abs(int64_t(cx)), std::abs(int64_t(cy)), std::abs(int64_t(ax)),
                               std::abs(int64_t(ay))});
    if (widest > kMaxEdgeDelta) {
        // Split at the middle: control points of both halves from the midpoints.
        double p1x = cx, p1y = cy, p2x = cx + double(ax), p2y = cy + double(ay);
        double m0x = p1x / 2, m0y = p1y / 2;
        double m1x = (p1x + p2x) / 2, m1y = (p1y + p2y) / 2;
        double mx = (m0x + m1x) / 2, my = (m0y + m1y) / 2;
        auto r = [](double v) { return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5); };
        int32_t c1x = r(m0x), c1y = r(m0y), midX = r(mx), midY = r(my);
        writeCurve(out, c1x, c1y, midX - c1x, midY - c1y);
        int32_t c2x = r(m1x) - midX, c2y = r(m1y) - midY;
        writeCurve(out, c2x, c2y, cx + ax - midX - c2x, cy + ay - midY - c2y);
        return;
    }
    out.ubits(1, 1);
    out.ubits(0, 1);
    unsigned n = std::max({signedBits(cx), signedBits(cy), signedBits(ax), signedBits(ay), 2u});
    out.ubits(n - 2, 4);
    out.sbits(cx, n);
    out.sbits(cy, n);
    out.sbits(ax, n);
    out.sbits(ay, n);
}

}  // namespace

std::vector<uint8_t> shapeTagBody(uint16_t id, const ShapeDefinition& shape) {
    SwfOutput out;
    int version = shape.version;
    out.u16(id);
    out.rect(shape.bounds);
    static const StyleSet kEmpty;
    const StyleSet& first = shape.styleSets.empty() ? kEmpty : shape.styleSets[0];
    writeStyles(out, first, version);
    unsigned fillBits = styleBits(first.fills.size());
    unsigned lineBits = styleBits(first.lines.size());
    out.ubits(fillBits, 4);
    out.ubits(lineBits, 4);
    for (const ShapeRecord& r : shape.records) {
        switch (r.kind) {
            case ShapeRecord::kStyleChange: {
                bool newStyles =
                    r.hasNewStyles && version >= 2 && r.newStylesIndex < shape.styleSets.size();
                unsigned flags = (newStyles ? 16 : 0) | (r.hasLine ? 8 : 0) | (r.hasFill1 ? 4 : 0) |
                                 (r.hasFill0 ? 2 : 0) | (r.hasMove ? 1 : 0);
                if (flags == 0) break;  // would read as the end of the shape
                out.ubits(0, 1);
                out.ubits(flags, 5);
                if (r.hasMove) {
                    unsigned n = std::max(signedBits(r.moveX), signedBits(r.moveY));
                    out.ubits(n, 5);
                    out.sbits(r.moveX, n);
                    out.sbits(r.moveY, n);
                }
                // An index beyond what the field can hold is written as "no style".
                auto index = [](uint32_t v, unsigned bits) {
                    return bits < 32 && v >= (1u << bits) ? 0u : v;
                };
                if (r.hasFill0) out.ubits(index(r.fill0, fillBits), fillBits);
                if (r.hasFill1) out.ubits(index(r.fill1, fillBits), fillBits);
                if (r.hasLine) out.ubits(index(r.line, lineBits), lineBits);
                if (newStyles) {
                    const StyleSet& set = shape.styleSets[r.newStylesIndex];
                    writeStyles(out, set, version);
                    fillBits = styleBits(set.fills.size());
                    lineBits = styleBits(set.lines.size());
                    out.ubits(fillBits, 4);
                    out.ubits(lineBits, 4);
                }
                break;
            }
            case ShapeRecord::kStraight:
                writeStraight(out, r.dx, r.dy);
                break;
            case ShapeRecord::kCurved:
                writeCurve(out, r.dx, r.dy, r.ax, r.ay);
                break;
        }
    }
    out.ubits(0, 6);  // end of shape
    out.flush();
    return std::move(out.bytes());
}

namespace {

std::vector<uint8_t> placeBody(const PlaceObject& p) {
    SwfOutput out;
    if (p.version == 1) {
        out.u16(p.characterId);
        out.u16(p.depth);
        out.matrix(p.matrix);
        if (p.hasColorTransform) out.colorTransform(p.colorTransform, false);
        return std::move(out.bytes());
    }
    uint8_t flags = (p.move ? 0x01 : 0) | (p.hasCharacter ? 0x02 : 0) | (p.hasMatrix ? 0x04 : 0) |
                    (p.hasColorTransform ? 0x08 : 0) | (p.hasRatio ? 0x10 : 0) |
                    (p.hasName ? 0x20 : 0) | (p.hasClipDepth ? 0x40 : 0);
    out.u8(flags);
    out.u16(p.depth);
    if (p.hasCharacter) out.u16(p.characterId);
    if (p.hasMatrix) out.matrix(p.matrix);
    if (p.hasColorTransform) out.colorTransform(p.colorTransform, true);
    if (p.hasRatio) out.u16(p.ratio);
    if (p.hasName) out.string(p.name);
    if (p.hasClipDepth) out.u16(p.clipDepth);
    return std::move(out.bytes());
}

std::vector<uint8_t> withEnd(const std::vector<uint8_t>& actions) {
    std::vector<uint8_t> v = actions;
    if (v.empty() || v.back() != 0) v.push_back(0);
    return v;
}

void writeTimeline(SwfOutput& out, const Timeline& t) {
    size_t frames = std::min<size_t>(t.frames.size(), 0xFFFF);
    for (size_t i = 0; i < frames; ++i) {
        const Frame& f = t.frames[i];
        for (const ControlTag& c : f.tags) {
            switch (c.kind) {
                case ControlTag::kPlace:
                    out.tag(c.place.version == 1 ? kTagPlaceObject : kTagPlaceObject2,
                            placeBody(c.place));
                    break;
                case ControlTag::kRemove: {
                    SwfOutput body;
                    if (c.removeVersion == 1) body.u16(c.characterId);
                    body.u16(c.depth);
                    out.tag(c.removeVersion == 1 ? kTagRemoveObject : kTagRemoveObject2,
                            body.bytes());
                    break;
                }
                case ControlTag::kDoAction:
                    out.tag(kTagDoAction, withEnd(c.actions));
                    break;
                case ControlTag::kBackground: {
                    SwfOutput body;
                    body.rgb(c.background);
                    out.tag(kTagSetBackgroundColor, body.bytes());
                    break;
                }
            }
        }
        for (const std::string& label : f.labels) {
            SwfOutput body;
            body.string(label);
            out.tag(kTagFrameLabel, body.bytes());
        }
        out.tag(kTagShowFrame, {});
    }
    out.tag(kTagEnd, {});
}

std::vector<uint8_t> buttonBody(uint16_t id, const ButtonDefinition& b) {
    SwfOutput out;
    out.u16(id);
    size_t offsetAt = 0;
    if (b.version == 2) {
        out.u8(b.trackAsMenu ? 1 : 0);
        offsetAt = out.size();
        out.u16(0);
    }
    for (const ButtonRecord& r : b.records) {
        uint8_t flags = (r.hitTest ? 8 : 0) | (r.down ? 4 : 0) | (r.over ? 2 : 0) | (r.up ? 1 : 0);
        if (flags == 0) continue;  // would read as the end of the records
        out.u8(flags);
        out.u16(r.characterId);
        out.u16(r.depth);
        out.matrix(r.matrix);
        if (b.version == 2) out.colorTransform(r.colorTransform, true);
    }
    out.u8(0);
    if (b.version == 1) {
        for (const ButtonAction& a : b.actions) {
            if (a.conditions & kCondOverDownToOverUp) {
                out.raw(withEnd(a.actions));
                return std::move(out.bytes());
            }
        }
        out.u8(0);
        return std::move(out.bytes());
    }
    if (!b.actions.empty()) {
        size_t first = out.size();
        if (first - offsetAt > 0xFFFF) throw std::length_error("button records too large");
        out.patchU16(offsetAt, static_cast<uint16_t>(first - offsetAt));
        for (size_t i = 0; i < b.actions.size(); ++i) {
            const ButtonAction& a = b.actions[i];
            std::vector<uint8_t> body = withEnd(a.actions);
            bool last = i + 1 == b.actions.size();
            if (!last && body.size() + 4 > 0xFFFF)
                throw std::length_error("button actions too large");
            out.u16(last ? 0 : static_cast<uint16_t>(body.size() + 4));
            out.u8(static_cast<uint8_t>(a.conditions));
            out.u8(static_cast<uint8_t>((a.keyCode << 1) | ((a.conditions >> 8) & 1)));
            out.raw(body);
        }
    }
    return std::move(out.bytes());
}

std::vector<uint8_t> editTextBody(uint16_t id, const EditTextDefinition& t) {
    SwfOutput out;
    out.u16(id);
    out.rect(t.bounds);
    uint8_t f1 = (t.hasText ? 0x80 : 0) | (t.wordWrap ? 0x40 : 0) | (t.multiline ? 0x20 : 0) |
                 (t.password ? 0x10 : 0) | (t.readOnly ? 0x08 : 0) | (t.hasColor ? 0x04 : 0) |
                 (t.hasMaxLength ? 0x02 : 0) | (t.hasFont ? 0x01 : 0);
    uint8_t f2 = (t.autoSize ? 0x40 : 0) | (t.hasLayout ? 0x20 : 0) | (t.noSelect ? 0x10 : 0) |
                 (t.border ? 0x08 : 0) | (t.html ? 0x02 : 0) | (t.useOutlines ? 0x01 : 0);
    out.u8(f1);
    out.u8(f2);
    if (t.hasFont) {
        out.u16(t.fontId);
        out.u16(t.fontHeight);
    }
    if (t.hasColor) out.rgba(t.color);
    if (t.hasMaxLength) out.u16(t.maxLength);
    if (t.hasLayout) {
        out.u8(t.align);
        out.u16(t.leftMargin);
        out.u16(t.rightMargin);
        out.u16(t.indent);
        out.u16(static_cast<uint16_t>(t.leading));
    }
    out.string(t.variableName);
    if (t.hasText) out.string(t.initialText);
    return std::move(out.bytes());
}

std::vector<uint8_t> fontBody(uint16_t id, const FontDefinition& f) {
    SwfOutput out;
    out.u16(id);
    out.u8((f.italic ? 0x02 : 0) | (f.bold ? 0x01 : 0));
    out.u8(0);  // language
    size_t n = std::min<size_t>(f.name.size(), 255);
    out.u8(static_cast<uint8_t>(n));
    out.raw(reinterpret_cast<const uint8_t*>(f.name.data()), n);
    out.u16(0);  // no glyphs
    out.u16(2);  // the code table starts right after this offset
    return std::move(out.bytes());
}

void dependencies(const Character& c, std::vector<uint16_t>* ids) {
    switch (c.kind) {
        case Character::kSprite:
            for (const Frame& f : c.sprite->frames) {
                for (const ControlTag& t : f.tags) {
                    if (t.kind == ControlTag::kPlace && t.place.hasCharacter)
                        ids->push_back(t.place.characterId);
                }
            }
            break;
        case Character::kButton:
            for (const ButtonRecord& r : c.button->records) ids->push_back(r.characterId);
            break;
        case Character::kEditText:
            if (c.editText->hasFont) ids->push_back(c.editText->fontId);
            break;
        default:
            break;
    }
}

}  // namespace

std::vector<uint8_t> writeMovie(const Movie& movie) {
    SwfOutput out;
    out.rect(movie.frameSize);
    out.u16(movie.frameRate);
    out.u16(static_cast<uint16_t>(
        std::min<size_t>(std::max<size_t>(movie.root.frames.size(), 1), 0xFFFF)));
    if (movie.version >= 8) {
        SwfOutput attributes;
        attributes.u32(0);
        out.tag(kTagFileAttributes, attributes.bytes());
    }
    std::set<uint16_t> written, visiting;
    std::function<void(uint16_t)> emit = [&](uint16_t id) {
        if (written.count(id) || visiting.count(id)) return;
        const Character* c = movie.find(id);
        if (!c) return;
        visiting.insert(id);
        std::vector<uint16_t> deps;
        dependencies(*c, &deps);
        for (uint16_t d : deps) emit(d);
        visiting.erase(id);
        written.insert(id);
        switch (c->kind) {
            case Character::kShape: {
                static const uint16_t codes[] = {kTagDefineShape, kTagDefineShape, kTagDefineShape2,
                                                 kTagDefineShape3};
                int v = std::clamp(c->shape->version, 1, 3);
                out.tag(codes[v], shapeTagBody(id, *c->shape), true);
                break;
            }
            case Character::kSprite: {
                SwfOutput body;
                body.u16(id);
                size_t frames = std::max<size_t>(c->sprite->frames.size(), 1);
                body.u16(static_cast<uint16_t>(std::min<size_t>(frames, 0xFFFF)));
                writeTimeline(body, *c->sprite);
                out.tag(kTagDefineSprite, body.bytes(), true);
                break;
            }
            case Character::kButton:
                out.tag(c->button->version == 1 ? kTagDefineButton : kTagDefineButton2,
                        buttonBody(id, *c->button));
                break;
            case Character::kEditText:
                out.tag(kTagDefineEditText, editTextBody(id, *c->editText));
                break;
            case Character::kFont:
                out.tag(kTagDefineFont2, fontBody(id, *c->font));
                break;
        }
    };
    for (const auto& entry : movie.dictionary) emit(entry.first);
    writeTimeline(out, movie.root);

    std::vector<uint8_t> body = std::move(out.bytes());
    std::vector<uint8_t> file = {uint8_t(movie.compressed ? 'C' : 'F'), 'W', 'S', movie.version};
    uint32_t length = static_cast<uint32_t>(body.size() + 8);
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(length >> (8 * i)));
    if (movie.compressed) {
        uLongf size = compressBound(static_cast<uLong>(body.size()));
        std::vector<uint8_t> packed(size);
        if (compress2(packed.data(), &size, body.data(), static_cast<uLong>(body.size()), 9) !=
            Z_OK) {
            throw std::runtime_error("compression failed");
        }
        file.insert(file.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
    } else {
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

}  // namespace quill::movie
