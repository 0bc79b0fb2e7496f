// Reads movie files into the tag model. The whole file is decompressed into memory (bounded by
// the limits), then tags are read one by one; each tag body is parsed inside its own bounds, so a
// body that lies about its contents costs that tag only.
#include "control/swf_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "control/swf_stream.h"

namespace quill::movie {
namespace {

// Inflates the part after the 8-byte header into `out`, stopping at `limit` bytes.
bool inflateBody(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out,
                 std::string* error) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        *error = "cannot start decompression";
        return false;
    }
    out->clear();
    size_t chunk = std::min<size_t>(limit, 1 << 20);
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(std::min<size_t>(size, 0x7FFFFFFF));
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (out->size() >= limit) break;
        size_t old = out->size();
        size_t grow = std::min(chunk, limit - old);
        out->resize(old + grow);
        zs.next_out = out->data() + old;
        zs.avail_out = static_cast<uInt>(grow);
        rc = inflate(&zs, Z_NO_FLUSH);
        out->resize(old + (grow - zs.avail_out));
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // input ends early: keep what we have
        if (rc == Z_BUF_ERROR) rc = Z_OK;
        chunk = std::min<size_t>(chunk * 2, 16 << 20);
    }
    inflateEnd(&zs);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        if (out->empty()) {
            *error = "compressed data is damaged";
            return false;
        }
    }
    return true;
}

class Reader {
  public:
    Reader(Movie* movie, ReadReport* report, const ReadLimits& limits)
        : movie_(movie), report_(report), limits_(limits) {}

    void readTags(SwfInput& in, Timeline* timeline, int depth, size_t baseOffset);

  private:
    void warn(const std::string& text) {
        if (report_->warnings.size() < 100) report_->warnings.push_back(text);
    }
    bool define(uint16_t id, Character c);
    void defineShape(SwfInput& in, int version);
    void defineSprite(SwfInput& in, size_t baseOffset);
    void defineButton(SwfInput& in, int version);
    void defineEditText(SwfInput& in);
    void defineFont(SwfInput& in, uint16_t code);
    void fontInfo(SwfInput& in);
    PlaceObject placeObject(SwfInput& in, int version);
    StyleSet styles(SwfInput& in, int version, bool charge);
    size_t shapeRecords(SwfInput& in, int version, ShapeDefinition* shape);
    FillStyle fillStyle(SwfInput& in, int version);
    std::vector<uint8_t> actionsFrom(SwfInput& in) {
        size_t n = in.remaining();
        const uint8_t* p = in.bytes(n);
        return {p, p + n};
    }

    Movie* movie_;
    ReadReport* report_;
    const ReadLimits& limits_;
    size_t shapeRecords_ = 0;
    size_t styles_ = 0;
    std::shared_ptr<RecordArena> arena_ = std::make_shared<RecordArena>();
    size_t buttonRecords_ = 0;
};

bool Reader::define(uint16_t id, Character c) {
    c.id = id;
    if (movie_->dictionary.count(id)) {
        warn("character " + std::to_string(id) + " is defined twice; the first one is kept");
        return false;
    }
    movie_->dictionary.emplace(id, std::move(c));
    return true;
}

FillStyle Reader::fillStyle(SwfInput& in, int version) {
    FillStyle f;
    f.kind = in.u8();
    switch (f.kind) {
        case kFillSolid:
            f.color = version >= 3 ? in.rgba() : in.rgb();
            break;
        case kFillLinearGradient:
        case kFillRadialGradient:
        case kFillFocalGradient: {
            f.matrix = in.matrix();
            unsigned count = in.u8() & 0x0F;  // the high bits are spread and interpolation modes
            for (unsigned i = 0; i < count; ++i) {
                GradientStop s;
                s.ratio = in.u8();
                s.color = version >= 3 ? in.rgba() : in.rgb();
                f.stops.push_back(s);
            }
            if (f.kind == kFillFocalGradient) in.u16();
            break;
        }
        case kFillRepeatingBitmap:
        case kFillClippedBitmap:
        case kFillRepeatingBitmapHard:
        case kFillClippedBitmapHard:
            f.bitmapId = in.u16();
            f.matrix = in.matrix();
            break;
        default:
            throw SwfError("unknown fill style type " + std::to_string(f.kind));
    }
    return f;
}

StyleSet Reader::styles(SwfInput& in, int version, bool charge) {
    StyleSet set;
    in.align();
    uint32_t fills = in.u8();
    if (fills == 0xFF && version >= 2) fills = in.u16();
    if (styles_ + fills > limits_.maxStyles) throw SwfError("too many fill styles");
    if (charge) styles_ += fills;
    for (uint32_t i = 0; i < fills; ++i) set.fills.push_back(fillStyle(in, version));
    uint32_t lines = in.u8();
    if (lines == 0xFF && version >= 2) lines = in.u16();
    if (styles_ + lines > limits_.maxStyles) throw SwfError("too many line styles");
    if (charge) styles_ += lines;
    for (uint32_t i = 0; i < lines; ++i) {
        LineStyle l;
        l.width = in.u16();
        l.color = version >= 3 ? in.rgba() : in.rgb();
        set.lines.push_back(l);
    }
    return set;
}

// Reads the records after the initial styles. With `shape` null it only counts them, so that the
// real pass allocates the record array once: hosts whose heap is slow with many medium-sized
// blocks (Wine's) load large movies several times faster that way.
size_t Reader::shapeRecords(SwfInput& in, int version, ShapeDefinition* shape) {
    unsigned fillBits = in.ubits(4);
    unsigned lineBits = in.ubits(4);
    size_t count = 0;
    for (;;) {
        if (shapeRecords_ + ++count > limits_.maxShapeRecords)
            throw SwfError("too many shape records");
        ShapeRecord r;
        if (!in.flag()) {
            unsigned flags = in.ubits(5);
            if (flags == 0) break;
            r.kind = ShapeRecord::kStyleChange;
            r.hasNewStyles = flags & 16;
            r.hasLine = flags & 8;
            r.hasFill1 = flags & 4;
            r.hasFill0 = flags & 2;
            r.hasMove = flags & 1;
            if (r.hasMove) {
                unsigned n = in.ubits(5);
                r.moveX = in.sbits(n);
                r.moveY = in.sbits(n);
            }
            if (r.hasFill0) r.fill0 = in.ubits(fillBits);
            if (r.hasFill1) r.fill1 = in.ubits(fillBits);
            if (r.hasLine) r.line = in.ubits(lineBits);
            if (r.hasNewStyles) {
                StyleSet set = styles(in, version, shape != nullptr);
                if (shape) {
                    r.newStylesIndex = static_cast<uint32_t>(shape->styleSets.size());
                    shape->styleSets.push_back(std::move(set));
                }
                fillBits = in.ubits(4);
                lineBits = in.ubits(4);
            }
        } else if (in.flag()) {
            r.kind = ShapeRecord::kStraight;
            unsigned n = in.ubits(4) + 2;
            if (in.flag()) {
                r.dx = in.sbits(n);
                r.dy = in.sbits(n);
            } else if (in.flag()) {
                r.dy = in.sbits(n);
            } else {
                r.dx = in.sbits(n);
            }
        } else {
            r.kind = ShapeRecord::kCurved;
            unsigned n = in.ubits(4) + 2;
            r.dx = in.sbits(n);
            r.dy = in.sbits(n);
            r.ax = in.sbits(n);
            r.ay = in.sbits(n);
        }
        if (shape) shape->records.push_back(r);
    }
    return count;
}

void Reader::defineShape(SwfInput& in, int version) {
    uint16_t id = in.u16();
    auto shape = std::make_shared<ShapeDefinition>();
    shape->version = version;
    shape->bounds = in.rect();
    shape->styleSets.push_back(styles(in, version, true));
    SwfInput counting = in;
    size_t count = shapeRecords(counting, version, nullptr);
    shape->records = ShapeRecords(ArenaAllocator<ShapeRecord>(arena_));
    shape->records.reserve(count);
    shapeRecords_ += shapeRecords(in, version, shape.get());
    Character c;
    c.kind = Character::kShape;
    c.shape = std::move(shape);
    define(id, std::move(c));
}

PlaceObject Reader::placeObject(SwfInput& in, int version) {
    PlaceObject p;
    p.version = version;
    if (version == 1) {
        p.hasCharacter = true;
        p.characterId = in.u16();
        p.depth = in.u16();
        p.hasMatrix = true;
        p.matrix = in.matrix();
        if (!in.atEnd()) {
            p.hasColorTransform = true;
            p.colorTransform = in.colorTransform(false);
        }
        return p;
    }
    uint8_t flags = in.u8();
    p.depth = in.u16();
    p.move = flags & 0x01;
    p.hasCharacter = flags & 0x02;
    p.hasMatrix = flags & 0x04;
    p.hasColorTransform = flags & 0x08;
    p.hasRatio = flags & 0x10;
    p.hasName = flags & 0x20;
    p.hasClipDepth = flags & 0x40;
    if (p.hasCharacter) p.characterId = in.u16();
    if (p.hasMatrix) p.matrix = in.matrix();
    if (p.hasColorTransform) p.colorTransform = in.colorTransform(true);
    if (p.hasRatio) p.ratio = in.u16();
    if (p.hasName) p.name = in.string();
    if (p.hasClipDepth) p.clipDepth = in.u16();
    // Clip event handlers (flag 0x80) follow; they are not run, so they are not read.
    return p;
}

void Reader::defineSprite(SwfInput& in, size_t baseOffset) {
    uint16_t id = in.u16();
    auto sprite = std::make_shared<Timeline>();
    sprite->declaredFrames = in.u16();
    size_t start = in.position();
    SwfInput body(in.data() + start, in.remaining());
    readTags(body, sprite.get(), 1, baseOffset + start);
    in.skip(in.remaining());
    Character c;
    c.kind = Character::kSprite;
    c.sprite = std::move(sprite);
    define(id, std::move(c));
}

void Reader::defineButton(SwfInput& in, int version) {
    uint16_t id = in.u16();
    auto button = std::make_shared<ButtonDefinition>();
    button->version = version;
    size_t actionStart = 0;
    if (version == 2) {
        button->trackAsMenu = in.u8() & 1;
        size_t at = in.position();
        uint16_t offset = in.u16();
        actionStart = offset ? at + offset : 0;
    }
    for (;;) {
        uint8_t flags = in.u8();
        if (flags == 0) break;
        if (++buttonRecords_ > limits_.maxButtonRecords) throw SwfError("too many button records");
        ButtonRecord r;
        r.hitTest = flags & 8;
        r.down = flags & 4;
        r.over = flags & 2;
        r.up = flags & 1;
        r.characterId = in.u16();
        r.depth = in.u16();
        r.matrix = in.matrix();
        if (version == 2) r.colorTransform = in.colorTransform(true);
        button->records.push_back(r);
        if (version == 2 && (flags & 0x30)) {
            // Filters and blend modes are not drawn; their layouts vary, so the remaining
            // records are given up and the actions are found through the action offset.
            warn("button " + std::to_string(id) +
                 " uses filters or blend modes; later states skipped");
            break;
        }
    }
    if (version == 1) {
        ButtonAction a;
        a.conditions = kCondOverDownToOverUp;
        a.actions = actionsFrom(in);
        button->actions.push_back(std::move(a));
    } else if (actionStart) {
        if (actionStart > in.size()) throw SwfError("button actions lie outside the tag");
        size_t at = actionStart;
        for (;;) {
            SwfInput head(in.data() + at, in.size() - at);
            uint16_t size = head.u16();
            uint8_t c0 = head.u8();
            uint8_t c1 = head.u8();
            ButtonAction a;
            a.conditions = static_cast<uint16_t>(c0 | ((c1 & 1) << 8));
            a.keyCode = c1 >> 1;
            size_t bodyStart = at + 4;
            size_t bodyEnd = size ? at + size : in.size();
            if (size && (size < 4 || bodyEnd > in.size()))
                throw SwfError("a button action has a bad size");
            a.actions.assign(in.data() + bodyStart, in.data() + bodyEnd);
            button->actions.push_back(std::move(a));
            if (!size) break;
            at = bodyEnd;
            if (button->actions.size() > limits_.maxButtonRecords)
                throw SwfError("too many button actions");
        }
    }
    Character c;
    c.kind = Character::kButton;
    c.button = std::move(button);
    define(id, std::move(c));
}

void Reader::defineEditText(SwfInput& in) {
    uint16_t id = in.u16();
    auto t = std::make_shared<EditTextDefinition>();
    t->bounds = in.rect();
    uint8_t f1 = in.u8();
    uint8_t f2 = in.u8();
    t->hasText = f1 & 0x80;
    t->wordWrap = f1 & 0x40;
    t->multiline = f1 & 0x20;
    t->password = f1 & 0x10;
    t->readOnly = f1 & 0x08;
    t->hasColor = f1 & 0x04;
    t->hasMaxLength = f1 & 0x02;
    t->hasFont = f1 & 0x01;
    bool hasFontClass = f2 & 0x80;
    t->autoSize = f2 & 0x40;
    t->hasLayout = f2 & 0x20;
    t->noSelect = f2 & 0x10;
    t->border = f2 & 0x08;
    t->html = f2 & 0x02;
    t->useOutlines = f2 & 0x01;
    if (t->hasFont) t->fontId = in.u16();
    if (hasFontClass) in.string();
    if (t->hasFont || hasFontClass) t->fontHeight = in.u16();
    if (t->hasColor) t->color = in.rgba();
    if (t->hasMaxLength) t->maxLength = in.u16();
    if (t->hasLayout) {
        t->align = in.u8();
        t->leftMargin = in.u16();
        t->rightMargin = in.u16();
        t->indent = in.u16();
        t->leading = in.s16();
    }
    t->variableName = in.string();
    if (t->hasText) t->initialText = in.string();
    Character c;
    c.kind = Character::kEditText;
    c.editText = std::move(t);
    define(id, std::move(c));
}

void Reader::defineFont(SwfInput& in, uint16_t code) {
    uint16_t id = in.u16();
    auto font = std::make_shared<FontDefinition>();
    if (code == kTagDefineFont2) {
        font->version = 2;
        uint8_t flags = in.u8();
        font->italic = flags & 0x02;
        font->bold = flags & 0x01;
        in.u8();  // language
        uint8_t n = in.u8();
        const uint8_t* name = in.bytes(n);
        font->name.assign(reinterpret_cast<const char*>(name), n);
    } else {
        font->version = 1;  // the name comes with a later font information tag
    }
    // Glyph outlines are not used: text is drawn with the system's fonts.
    in.skip(in.remaining());
    Character c;
    c.kind = Character::kFont;
    c.font = std::move(font);
    define(id, std::move(c));
}

void Reader::fontInfo(SwfInput& in) {
    uint16_t id = in.u16();
    uint8_t n = in.u8();
    const uint8_t* name = in.bytes(n);
    uint8_t flags = in.u8();
    auto it = movie_->dictionary.find(id);
    if (it == movie_->dictionary.end() || it->second.kind != Character::kFont) {
        warn("font information for an unknown font " + std::to_string(id));
        return;
    }
    it->second.font->name.assign(reinterpret_cast<const char*>(name), n);
    it->second.font->italic = flags & 0x04;
    it->second.font->bold = flags & 0x02;
}

void Reader::readTags(SwfInput& in, Timeline* timeline, int depth, size_t baseOffset) {
    Frame current;
    bool ended = false;
    while (!in.atEnd()) {
        if (report_->tags.size() >= limits_.maxTags) {
            warn("too many tags; the rest is ignored");
            break;
        }
        size_t at = in.position();
        uint16_t head;
        uint32_t length;
        try {
            head = in.u16();
            length = head & 0x3F;
            if (length == 0x3F) length = in.u32();
        } catch (const SwfError&) {
            warn("data ends inside a tag header");
            break;
        }
        uint16_t code = head >> 6;
        if (length > in.remaining()) {
            warn(std::string(tagName(code)) + " tag at offset " + std::to_string(baseOffset + at) +
                 " runs past the end of the data; the rest is ignored");
            break;
        }
        SwfInput body(in.data() + in.position(), length);
        size_t bodyOffset = baseOffset + in.position();
        in.skip(length);
        TagInfo info;
        info.code = code;
        info.length = length;
        info.offset = baseOffset + at;
        info.depth = depth;
        if (length >= 2)
            info.characterId = static_cast<uint16_t>(body.data()[0] | (body.data()[1] << 8));
        size_t listed = report_->tags.size();
        report_->tags.push_back(info);
        bool isDefinition = false;
        try {
            switch (code) {
                case kTagEnd:
                    ended = true;
                    break;
                case kTagShowFrame:
                    if (timeline->frames.size() >= 65536) throw SwfError("too many frames");
                    timeline->frames.push_back(std::move(current));
                    current = Frame{};
                    break;
                case kTagPlaceObject:
                case kTagPlaceObject2: {
                    ControlTag t;
                    t.kind = ControlTag::kPlace;
                    t.place = placeObject(body, code == kTagPlaceObject ? 1 : 2);
                    current.tags.push_back(std::move(t));
                    break;
                }
                case kTagRemoveObject:
                case kTagRemoveObject2: {
                    ControlTag t;
                    t.kind = ControlTag::kRemove;
                    t.removeVersion = code == kTagRemoveObject ? 1 : 2;
                    if (code == kTagRemoveObject) t.characterId = body.u16();
                    t.depth = body.u16();
                    current.tags.push_back(std::move(t));
                    break;
                }
                case kTagDoAction: {
                    ControlTag t;
                    t.kind = ControlTag::kDoAction;
                    t.actions = actionsFrom(body);
                    current.tags.push_back(std::move(t));
                    break;
                }
                case kTagFrameLabel:
                    current.labels.push_back(body.string());
                    break;
                case kTagSetBackgroundColor: {
                    ControlTag t;
                    t.kind = ControlTag::kBackground;
                    t.background = body.rgb();
                    if (!movie_->hasBackground) {
                        movie_->background = t.background;
                        movie_->hasBackground = true;
                    }
                    current.tags.push_back(std::move(t));
                    break;
                }
                default:
                    if (depth > 0) break;  // a sprite holds control tags only
                    isDefinition = true;
                    switch (code) {
                        case kTagDefineShape:
                            defineShape(body, 1);
                            break;
                        case kTagDefineShape2:
                            defineShape(body, 2);
                            break;
                        case kTagDefineShape3:
                            defineShape(body, 3);
                            break;
                        case kTagDefineSprite:
                            defineSprite(body, bodyOffset);
                            break;
                        case kTagDefineButton:
                            defineButton(body, 1);
                            break;
                        case kTagDefineButton2:
                            defineButton(body, 2);
                            break;
                        case kTagDefineEditText:
                            defineEditText(body);
                            break;
                        case kTagDefineFont:
                        case kTagDefineFont2:
                            defineFont(body, code);
                            break;
                        case kTagDefineFontInfo:
                            fontInfo(body);
                            isDefinition = false;
                            break;
                        default:
                            isDefinition = false;
                            break;
                    }
            }
        } catch (const SwfError& e) {
            warn(std::string(tagName(code)) + " tag at offset " + std::to_string(info.offset) +
                 " skipped: " + e.what());
        }
        if (!isDefinition) report_->tags[listed].characterId = 0;
        if (ended) break;
    }
    if (!current.tags.empty() || !current.labels.empty() || timeline->frames.empty()) {
        timeline->frames.push_back(std::move(current));
    }
}

bool parseHeader(const uint8_t* data, size_t size, MovieHeader* h, std::string* error) {
    if (size < 8) {
        *error = "too short to be a movie";
        return false;
    }
    if ((data[0] != 'F' && data[0] != 'C') || data[1] != 'W' || data[2] != 'S') {
        *error = "not a movie (no FWS or CWS signature)";
        return false;
    }
    h->compressed = data[0] == 'C';
    h->version = data[3];
    h->declaredLength = uint32_t(data[4]) | (uint32_t(data[5]) << 8) | (uint32_t(data[6]) << 16) |
                        (uint32_t(data[7]) << 24);
    return true;
}

}  // namespace

bool readMovie(const uint8_t* data, size_t size, Movie* movie, ReadReport* report,
               const ReadLimits& limits) {
    ReadReport scratch;
    if (!report) report = &scratch;
    *report = ReadReport{};
    *movie = Movie{};
    MovieHeader h;
    if (!parseHeader(data, size, &h, &report->error)) return false;
    report->declaredLength = h.declaredLength;
    std::vector<uint8_t> inflated;
    const uint8_t* body = data + 8;
    size_t bodySize = size - 8;
    if (h.compressed) {
        size_t want = h.declaredLength > 8 ? h.declaredLength - 8 : 0;
        if (want > limits.maxBytes) {
            report->error =
                "the movie is too large (" + std::to_string(h.declaredLength) + " bytes)";
            return false;
        }
        if (!inflateBody(body, bodySize, want, &inflated, &report->error)) return false;
        body = inflated.data();
        bodySize = inflated.size();
    } else if (bodySize > limits.maxBytes) {
        report->error = "the movie is too large (" + std::to_string(size) + " bytes)";
        return false;
    }
    report->dataLength = bodySize + 8;
    if (bodySize + 8 < h.declaredLength) {
        report->warnings.push_back("the data is shorter than its header says (" +
                                   std::to_string(bodySize + 8) + " of " +
                                   std::to_string(h.declaredLength) + " bytes)");
    }
    movie->version = h.version;
    movie->compressed = h.compressed;
    SwfInput in(body, bodySize);
    try {
        movie->frameSize = in.rect();
        movie->frameRate = in.u16();
        movie->root.declaredFrames = in.u16();
    } catch (const SwfError&) {
        report->error = "the header is cut short";
        return false;
    }
    Reader reader(movie, report, limits);
    SwfInput tags(body + in.position(), bodySize - in.position());
    reader.readTags(tags, &movie->root, 0, 8 + in.position());
    return true;
}

bool readMovieHeader(const uint8_t* data, size_t size, MovieHeader* header) {
    std::string error;
    if (!parseHeader(data, size, header, &error)) return false;
    std::vector<uint8_t> inflated;
    const uint8_t* body = data + 8;
    size_t bodySize = size - 8;
    if (header->compressed) {
        if (!inflateBody(body, bodySize, 64, &inflated, &error)) return false;
        body = inflated.data();
        bodySize = inflated.size();
    }
    try {
        SwfInput in(body, bodySize);
        header->frameSize = in.rect();
        header->frameRate = in.u16();
        header->frameCount = in.u16();
    } catch (const SwfError&) {
        return false;
    }
    return true;
}

}  // namespace quill::movie
