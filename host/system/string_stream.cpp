// The StringStream host class: an in-memory byte stream with separate read and write positions,
// its whole-content members (text, crc, compress, uncompress, files), and the content access
// other host objects use to hand bytes to scripts.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "host/system/stream_members.h"
#include "host/system/string_stream_access.h"
#include "platform/file_io.h"
#include "runtime/class_binding.h"

namespace quill {

using namespace streams;

namespace {

const char* const kObjectText = "[object StringStream]";

ByteStream& bytesOf(StreamCell& cell) {
    return *static_cast<ByteStream*>(cell.io);
}

ScriptValue wholeText(ScriptEngine* engine, const ByteStream& stream) {
    ScriptValue out;
    newStringFromAnsi(engine, &out, reinterpret_cast<const char*>(stream.data()), stream.length());
    return out;
}

// A missing file, one that cannot be read, or one too large for a stream gives nothing.
ScriptValue readFromFile(ScriptEngine* engine, bind::Path path) {
    std::FILE* file = platform::openFile(path.ansi().c_str(), "rb");
    if (!file) return makeUndefined();
    auto stream = std::make_unique<ByteStream>();
    bool ok = platform::fileLength(file) <= kMaxStreamLength;
    uint8_t buffer[kChunkSize];
    while (ok) {
        size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got == 0) break;
        ok = stream->writeBytes(buffer, got);
    }
    std::fclose(file);
    if (!ok) return makeUndefined();
    return newStringStreamValue(engine, std::move(stream));
}

void saveToFile(StreamCell& cell, bind::Path path) {
    const ByteStream& stream = bytesOf(cell);
    std::FILE* file = platform::openFile(path.ansi().c_str(), "wb");
    if (!file) return;
    for (size_t done = 0; done < stream.length();) {
        size_t piece = std::min(kChunkSize, stream.length() - done);
        if (std::fwrite(stream.data() + done, 1, piece, file) != piece) break;
        done += piece;
    }
    std::fclose(file);
}

// The level is taken from an integer argument only; anything else leaves the default.
ScriptValue compress(ScriptEngine* engine, StreamCell& cell, bind::Args args) {
    const ByteStream& stream = bytesOf(cell);
    int64_t level = 6;
    if (intArg(args.raw(), 1, &level) && (level < -1 || level > 9)) return makeNull();
    auto out = std::make_unique<ByteStream>();
    if (!deflateInto(stream.data(), stream.length(), int(level), out.get())) return makeNull();
    return newStringStreamValue(engine, std::move(out));
}

ScriptValue uncompress(ScriptEngine* engine, StreamCell& cell) {
    const ByteStream& stream = bytesOf(cell);
    // Under a heap limit a small input must not inflate past what the limit still allows.
    size_t limit = kMaxInflatedBytes;
    if (engine->maxHeapBytes) {
        size_t used = engine->heap.bytesInChunks + engine->heap.externalBytes;
        limit = std::min(limit, used < engine->maxHeapBytes ? engine->maxHeapBytes - used : 0);
    }
    auto out = std::make_unique<ByteStream>();
    if (!inflateInto(stream.data(), stream.length(), out.get(), limit)) return makeNull();
    return newStringStreamValue(engine, std::move(out));
}

// The byte `put` and `unget` take: the low byte of an integer, or of a non-empty string's first
// UTF-16 unit.
bool byteArgument(ScriptValue* argv, uint8_t* byte) {
    if (!hasArg(argv, 1)) return false;
    const ScriptValue& v = argv[1];
    if (v.tag == kTagInteger) {
        *byte = static_cast<uint8_t>(v.i);
        return true;
    }
    if (v.tag == kTagString && v.str->length > 0) {
        *byte = static_cast<uint8_t>(v.str->chars[0]);
        return true;
    }
    return false;
}

std::string readLine(StreamCell& cell) {
    return bytesOf(cell).readLine();
}

void put(StreamCell& cell, bind::Args args) {
    uint8_t byte = 0;
    if (byteArgument(args.raw(), &byte)) bytesOf(cell).writeBytes(&byte, 1);
}

void unget(StreamCell& cell, bind::Args args) {
    uint8_t byte = 0;
    if (byteArgument(args.raw(), &byte)) {
        bytesOf(cell).unget(byte);
    } else {
        bytesOf(cell).unget();
    }
}

void flush(StreamCell&) {}  // nothing is buffered
void close(StreamCell& cell) {
    cell.close();
}

// The text of an open stream; the class value and closed streams give the class text.
ScriptValue toText(ScriptEngine* engine, StreamCell* cell) {
    if (!cell) return newStringFromAscii(engine, kObjectText);
    return wholeText(engine, bytesOf(*cell));
}

int64_t getPos(StreamCell& cell) {
    return bytesOf(cell).getPos();
}
int64_t putPos(StreamCell& cell) {
    return bytesOf(cell).putPos();
}
void setGetPos(StreamCell& cell, ScriptValue value) {
    if (auto pos = positionArgument(value, kMaxStreamLength)) bytesOf(cell).setGetPos(*pos);
}
void setPutPos(StreamCell& cell, ScriptValue value) {
    if (auto pos = positionArgument(value, kMaxStreamLength)) bytesOf(cell).setPutPos(*pos);
}
bool eof(StreamCell& cell) {
    return (bytesOf(cell).state() & kStateEof) != 0;
}
int64_t length(StreamCell& cell) {
    return int64_t(bytesOf(cell).length());
}
int64_t crc(StreamCell& cell) {
    return crcOf(bytesOf(cell).data(), bytesOf(cell).length());
}

constexpr bind::Member kStringStreamRows[] = {
    bind::method<readLine>("readLine")
        .doc("Reads the next line, ended by LF or CR LF (a lone CR is dropped); \"\" at the end."),
    bind::method<put>("put").doc(
        "byte", "Writes the low byte of an integer, or the first character of a string."),
    bind::method<write<false>>("write").doc(
        "value, ...",
        "Writes integers and booleans as 32-bit, numbers as doubles and strings as ANSI text; "
        "other values are skipped."),
    bind::method<writeLine<false>>("writeLine").doc("value, ...", "As write, then CR LF."),
    bind::method<unget>("unget").doc("[byte]",
                                     "Pushes byte back in front of the read position, or steps the "
                                     "read position back one byte."),
    bind::method<flush>("flush").doc("Does nothing (the content is in memory)."),
    bind::method<close>("close").doc("Frees the content; the object answers nothing more."),
    bind::method<toText>("toString").doc("The whole content decoded as ANSI text."),
    bind::method<compress>("compress")
        .doc("[level]",
             "A new StringStream with the content zlib-compressed (level 0-9, default 6); null on "
             "failure."),
    bind::method<uncompress>("uncompress")
        .doc("A new StringStream with the zlib stream inflated; null when the content is not one."),
    bind::method<saveToFile>("saveToFile")
        .doc("path",
             "Writes the whole content to the file (created or replaced); silently nothing when it "
             "cannot be opened."),
    bind::classMethod<readFromFile>("readFromFile")
        .doc("path",
             "A new StringStream with the file's bytes (also StringStream.readFromFile); undefined "
             "when it cannot be opened."),
    bind::property<getPos, setGetPos>("getPos").doc(
        "The read position; -1 after a failed read. Assigning clears the end and failure state."),
    bind::property<putPos, setPutPos>("putPos").doc(
        "The write position; -1 after a failed read. Assigning clears the end and failure state."),
    bind::getter<eof>("eof").doc("True once a read met the end of the content."),
    bind::getter<length>("length").doc("The content's length in bytes."),
    bind::getter<crc>("crc").doc("The CRC-32 of the whole content, 0 to 4294967295."),
};

// An integer mode of 1 to 3; anything else opens the stream both ways.
std::unique_ptr<StreamCell> makeStringStream(ScriptEngine* engine, bind::Args args) {
    int64_t mode = kStreamBoth;
    if (!intArg(args.raw(), 1, &mode) || mode < kStreamIn || mode > kStreamBoth) mode = kStreamBoth;
    auto stream = std::make_unique<ByteStream>(mode);
    stream->chargeTo(engine);
    return std::make_unique<StreamCell>(stream.release());
}

}  // namespace

namespace streams {

ScriptValue newStringStreamValue(ScriptEngine* engine, std::unique_ptr<ByteStream> stream) {
    if (!classById(engine, ClassId::kStringStream)) return makeUndefined();
    stream->chargeTo(engine);
    return bind::newInstance(engine, ClassId::kStringStream,
                             std::make_unique<StreamCell>(stream.release()));
}

}  // namespace streams

bool isStringStream(ScriptEngine*, const ScriptValue& value) {
    return isHostInstanceOf(value, ClassId::kStringStream) && value.host->data;
}

int64_t stringStreamLength(ScriptEngine* engine, const ScriptValue& value) {
    size_t length = 0;
    stringStreamBytes(engine, value, &length);
    return int64_t(length);
}

const uint8_t* stringStreamBytes(ScriptEngine* engine, const ScriptValue& value, size_t* length) {
    *length = 0;
    if (!isStringStream(engine, value)) return nullptr;
    auto* cell = static_cast<StreamCell*>(value.host->data);
    if (!cell->io) return nullptr;
    const ByteStream* stream = static_cast<ByteStream*>(cell->io);
    *length = stream->length();
    // An empty stream may have no buffer yet; callers still get a usable pointer.
    static const uint8_t kNothing = 0;
    return stream->data() ? stream->data() : &kNothing;
}

bool readStringStreamContent(ScriptEngine* engine, const ScriptValue& value,
                             std::vector<uint8_t>* out) {
    size_t length = 0;
    const uint8_t* bytes = stringStreamBytes(engine, value, &length);
    if (!bytes) return false;
    out->assign(bytes, bytes + length);
    return true;
}

ScriptValue newStringStreamFromBytes(ScriptEngine* engine, const void* bytes, size_t length) {
    auto stream = std::make_unique<ByteStream>();
    if (length && !stream->writeBytes(static_cast<const uint8_t*>(bytes), length)) {
        raiseError(engine, "Out of memory");
    }
    return newStringStreamValue(engine, std::move(stream));
}

void registerStringStream(ScriptEngine* engine) {
    bind::defineClass<StreamCell>(
        engine, {.name = "StringStream",
                 .id = ClassId::kStringStream,
                 .members = {kCommonStreamMembers, kStringStreamRows},
                 .call = bind::constructorCall<makeStringStream>,
                 .construct = bind::constructor<makeStringStream>,
                 .resolve = openCell,
                 .synopsis = "[mode]",
                 .summary = "A growable in-memory byte buffer with separate read and write "
                            "positions; mode $STREAM_IN, $STREAM_OUT or both (3, the default). "
                            "Host objects hand raw bytes to scripts in one."});
}

}  // namespace quill
