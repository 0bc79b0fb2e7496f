// The members StringStream and FileStream share: fixed-size reads with their zero-filled short
// reads, `read`, the zero-terminated string reads, and the writes in the stream encodings.
#include "host/system/stream_members.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "builtins/builtin_support.h"
#include "host/system/string_stream_access.h"

namespace quill::streams {
namespace {

// A fixed-size little-endian read: what could be read lands in the low-order bytes, the rest
// stays zero.
uint64_t readFixed(StreamIo* io, int size) {
    uint8_t bytes[8] = {};
    io->readBytes(bytes, size_t(size));
    return readLe(bytes, size);
}

ScriptValue readCount(ScriptEngine* engine, StreamIo* io, int64_t count) {
    auto out = std::make_unique<ByteStream>();
    int64_t want = std::min(count, kMaxStreamLength);
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(want, 65536)));
    while (want > 0) {
        size_t piece = size_t(std::min<int64_t>(want, int64_t(buffer.size())));
        size_t got = io->readBytes(buffer.data(), piece);
        if (got && !out->writeBytes(buffer.data(), got)) break;
        want -= int64_t(got);
        if (got < piece) break;
    }
    return newStringStreamValue(engine, std::move(out));
}

// Bytes up to and including a zero byte, or to the end; the zero is not kept.
ScriptValue readZeroTerminated(ScriptEngine* engine, StreamIo* io) {
    std::string bytes;
    for (;;) {
        int c = io->takeByte();
        if (c <= 0) break;
        try {
            bytes.push_back(static_cast<char>(c));
        } catch (const std::bad_alloc&) {
            break;
        }
        if (bytes.size() >= size_t(kMaxStreamLength)) break;
    }
    ScriptValue out;
    newStringFromAnsi(engine, &out, bytes.data(), bytes.size());
    return out;
}

ScriptValue readUnicode(ScriptEngine* engine, StreamIo* io) {
    std::u16string units;
    uint8_t pair[2];
    while (io->readBytes(pair, 2) == 2) {
        auto unit = static_cast<char16_t>(pair[0] | (pair[1] << 8));
        if (unit == 0) break;
        try {
            units.push_back(unit);
        } catch (const std::bad_alloc&) {
            break;
        }
        if (units.size() >= size_t(kMaxStreamLength)) break;
    }
    return newString(engine, units);
}

// The encoding `write` gives its arguments. Nothing here runs scripts.
std::string encodeWriteArguments(ScriptEngine* engine, const ScriptValue* argv,
                                 bool streamArguments) {
    std::string out;
    for (uint32_t i = 1; i <= argCount(argv); ++i) {
        const ScriptValue& v = argv[i];
        switch (v.tag) {
            case kTagInteger:
            case kTagBoolean:
                appendLe(&out, uint64_t(v.i), 4);
                break;
            case kTagNumber:
                appendLe(&out, doubleBits(v.d), 8);
                break;
            case kTagNaN:
                appendLe(&out, doubleBits(std::nan("")), 8);
                break;
            case kTagString:
                out += toAnsiString(stringView(v));
                break;
            case kTagHost:
                if (streamArguments) {
                    size_t length = 0;
                    const uint8_t* bytes = stringStreamBytes(engine, v, &length);
                    if (bytes) out.append(reinterpret_cast<const char*>(bytes), length);
                }
                break;
            default:
                break;  // other values are skipped
        }
    }
    return out;
}

// Each argument as text (converting non-strings, which may run scripts), followed by its
// terminator: a zero byte, or a zero UTF-16 unit.
std::string encodeStrings(ScriptEngine* engine, const ScriptValue* argv, bool unicode) {
    std::string out;
    for (uint32_t i = 1; i <= argCount(argv); ++i) {
        ScriptValue text = argv[i].tag == kTagString ? argv[i] : toString(engine, argv[i]);
        if (text.tag != kTagString) continue;
        if (unicode) {
            for (char16_t unit : stringView(text)) appendLe(&out, unit, 2);
            appendLe(&out, 0, 2);
        } else {
            out += toAnsiString(stringView(text));
            out.push_back('\0');
        }
    }
    return out;
}

void writeTo(StreamCell* cell, const std::string& bytes) {
    if (cell->io && !bytes.empty()) {
        cell->io->writeBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}

int64_t get(StreamCell& cell) {
    uint8_t byte = 0;
    return cell.io->readBytes(&byte, 1) == 1 ? byte : kStreamEof;
}
int64_t getShort(StreamCell& cell) {
    return static_cast<int16_t>(readFixed(cell.io, 2));
}
int64_t getLong(StreamCell& cell) {
    return static_cast<int32_t>(readFixed(cell.io, 4));
}
double getFloat(StreamCell& cell) {
    return floatFromBits(static_cast<uint32_t>(readFixed(cell.io, 4)));
}
double getDouble(StreamCell& cell) {
    return doubleFromBits(readFixed(cell.io, 8));
}

ScriptValue read(ScriptEngine* engine, StreamCell& cell, int64_t count) {
    return count > 0 ? readCount(engine, cell.io, count) : makeUndefined();
}
ScriptValue readString(ScriptEngine* engine, StreamCell& cell) {
    return readZeroTerminated(engine, cell.io);
}
ScriptValue readUnicodeString(ScriptEngine* engine, StreamCell& cell) {
    return readUnicode(engine, cell.io);
}

void putShort(StreamCell& cell, int64_t value) {
    std::string bytes;
    appendLe(&bytes, uint64_t(value), 2);
    writeTo(&cell, bytes);
}

// A missing argument writes nothing; any other value is converted (undefined to NaN).
void putFloat(ScriptEngine* engine, StreamCell& cell, bind::Args args) {
    if (!args.has(1)) return;
    ScriptValue number = toNumber(engine, args[1]);
    double d = number.tag == kTagInteger  ? double(number.i)
               : number.tag == kTagNumber ? number.d
                                          : std::nan("");
    std::string bytes;
    appendLe(&bytes, floatBits(d), 4);
    writeTo(&cell, bytes);
}

// Converting the arguments may run scripts; writeTo looks at the cell again afterwards, since a
// script may have closed the stream meanwhile.
void writeString(ScriptEngine* engine, StreamCell& cell, bind::Args args) {
    writeTo(&cell, encodeStrings(engine, args.raw(), false));
}
void writeUnicodeString(ScriptEngine* engine, StreamCell& cell, bind::Args args) {
    writeTo(&cell, encodeStrings(engine, args.raw(), true));
}

constexpr bind::Member kCommonRows[] = {
    bind::method<get>("get").doc("Reads one byte: 0 to 255, or -1 ($STREAM_EOF) at the end."),
    bind::method<getShort>("getShort").doc("Reads a signed 16-bit little-endian integer."),
    bind::method<getLong>("getLong").doc("Reads a signed 32-bit little-endian integer."),
    bind::method<getFloat>("getFloat").doc("Reads a 4-byte IEEE float as a number."),
    bind::method<getDouble>("getDouble").doc("Reads an 8-byte IEEE double as a number."),
    bind::method<read>("read").doc("count",
                                   "Reads up to count bytes into a new StringStream; undefined "
                                   "when count is not a positive integer."),
    bind::method<readString>("readString")
        .doc("Reads ANSI text up to a zero byte or the end (the zero is dropped); \"\" when "
             "nothing is left."),
    bind::method<readUnicodeString>("readUnicodeString")
        .doc("Reads UTF-16LE text up to a zero unit or the end; \"\" when nothing is left."),
    bind::method<putShort>("putShort")
        .doc("n", "Writes the low 16 bits of integer n, little-endian."),
    bind::method<putFloat>("putFloat").doc("x", "Writes x as a 4-byte IEEE float."),
    bind::method<writeString>("writeString")
        .doc("text, ...", "Writes each argument as ANSI text followed by a zero byte."),
    bind::method<writeUnicodeString>("writeUnicodeString")
        .doc("text, ...", "Writes each argument as UTF-16LE text followed by a zero unit."),
};

}  // namespace

const bind::MemberTable kCommonStreamMembers = kCommonRows;

void* openCell(void* data) {
    auto* cell = static_cast<StreamCell*>(data);
    return cell && cell->io ? cell : nullptr;
}

void writeValues(ScriptEngine* engine, StreamCell& cell, bind::Args args, bool streamArguments,
                 bool newline) {
    std::string bytes = encodeWriteArguments(engine, args.raw(), streamArguments);
    if (newline) bytes += "\r\n";
    writeTo(&cell, bytes);
}

std::optional<int64_t> positionArgument(const ScriptValue& value, int64_t max) {
    if (value.tag == kTagInteger) {
        if (value.i < 0 || value.i > max) return std::nullopt;
        return value.i;
    }
    if (value.tag == kTagNumber) {
        double d = std::trunc(value.d);
        // Also refuses infinities, and keeps the conversion below inside the 64-bit range.
        if (d < 0 || !(d < 9223372036854775808.0) || int64_t(d) > max) return std::nullopt;
        return int64_t(d);
    }
    return 0;
}

}  // namespace quill::streams
