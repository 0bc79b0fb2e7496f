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

namespace quill {

using namespace streams;

namespace {

enum StringStreamMember : int {
    kGetPos = kCommonMemberCount,
    kPutPos,
    kEof,
    kLength,
    kCrc,
    kCompress,
    kUncompress,
    kSaveToFile,
    kReadFromFile,
};

const char* const kObjectText = "[object StringStream]";

ByteStream* openStream(void* data) {
    auto* cell = static_cast<StreamCell*>(data);
    return cell ? static_cast<ByteStream*>(cell->io) : nullptr;
}

ScriptValue wholeText(ScriptEngine* engine, const ByteStream& stream) {
    ScriptValue out;
    newStringFromAnsi(engine, &out, reinterpret_cast<const char*>(stream.data()), stream.length());
    return out;
}

// A missing file, one that cannot be read, or one too large for a stream gives nothing.
ScriptValue readFromFile(ScriptEngine* engine, const ScriptValue& pathValue) {
    std::string path;
    if (!pathArgument(pathValue, &path)) return makeUndefined();
    std::FILE* file = platform::openFile(path.c_str(), "rb");
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

void saveToFile(const ByteStream& stream, const ScriptValue& pathValue) {
    std::string path;
    if (!pathArgument(pathValue, &path)) return;
    std::FILE* file = platform::openFile(path.c_str(), "wb");
    if (!file) return;
    for (size_t done = 0; done < stream.length();) {
        size_t piece = std::min(kChunkSize, stream.length() - done);
        if (std::fwrite(stream.data() + done, 1, piece, file) != piece) break;
        done += piece;
    }
    std::fclose(file);
}

ScriptValue compressStream(ScriptEngine* engine, const ByteStream& stream, ScriptValue* argv) {
    int64_t level = 6;
    if (intArg(argv, 1, &level) && (level < -1 || level > 9)) return makeNull();
    auto out = std::make_unique<ByteStream>();
    if (!deflateInto(stream.data(), stream.length(), int(level), out.get())) return makeNull();
    return newStringStreamValue(engine, std::move(out));
}

ScriptValue uncompressStream(ScriptEngine* engine, const ByteStream& stream) {
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

int stringStreamMethod(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                       ScriptValue* result, ScriptValue* argv) {
    int member = memberIndex(cls, atom);
    if (member < 0) return 0;
    ByteStream* stream = openStream(data);
    if (!stream) {
        // The class value and closed instances answer only these two.
        if (member == kToString) {
            *result = asciiValue(engine, kObjectText);
            return 1;
        }
        if (member == kReadFromFile) {
            *result = readFromFile(engine, arg(argv, 1));
            return 1;
        }
        return 0;
    }
    auto* cell = static_cast<StreamCell*>(data);
    if (runCommonMember(engine, cell, member, result, argv, false)) return 1;
    uint8_t byte = 0;
    switch (member) {
        case kReadLine: {
            std::string line = stream->readLine();
            newStringFromAnsi(engine, result, line.data(), line.size());
            return 1;
        }
        case kPut:
            if (byteArgument(argv, &byte)) stream->writeBytes(&byte, 1);
            return 1;
        case kUnget:
            if (byteArgument(argv, &byte)) {
                stream->unget(byte);
            } else {
                stream->unget();
            }
            return 1;
        case kFlush:
            return 1;  // nothing is buffered
        case kClose:
            cell->io = nullptr;
            delete stream;
            return 1;
        case kToString:
            *result = wholeText(engine, *stream);
            return 1;
        case kCompress:
            *result = compressStream(engine, *stream, argv);
            return 1;
        case kUncompress:
            *result = uncompressStream(engine, *stream);
            return 1;
        case kSaveToFile:
            saveToFile(*stream, arg(argv, 1));
            return 1;
        case kReadFromFile:
            *result = readFromFile(engine, arg(argv, 1));
            return 1;
        default:
            return 0;  // the property names are not methods
    }
}

int stringStreamProperty(ScriptEngine*, ClassDescriptor* cls, void* data, uint32_t atom, int mode,
                         ScriptValue* value) {
    ByteStream* stream = openStream(data);
    if (!stream) return 0;
    bool reading = mode == 0;
    switch (memberIndex(cls, atom)) {
        case kGetPos:
        case kPutPos: {
            bool get = memberIndex(cls, atom) == kGetPos;
            if (reading) {
                *value = makeInteger(get ? stream->getPos() : stream->putPos());
            } else if (auto pos = positionArgument(*value, kMaxStreamLength)) {
                if (get) {
                    stream->setGetPos(*pos);
                } else {
                    stream->setPutPos(*pos);
                }
            }
            return 1;
        }
        // Read-only: assignments are ignored.
        case kEof:
            if (reading) *value = makeBoolean((stream->state() & kStateEof) != 0);
            return 1;
        case kLength:
            if (reading) *value = makeInteger(int64_t(stream->length()));
            return 1;
        case kCrc:
            if (reading) *value = makeInteger(crcOf(stream->data(), stream->length()));
            return 1;
        default:
            return 0;
    }
}

void constructStringStream(ScriptEngine* engine, ClassDescriptor*, ScriptValue* argv,
                           ScriptValue* result) {
    int64_t mode = kStreamBoth;
    if (!intArg(argv, 1, &mode) || mode < kStreamIn || mode > kStreamBoth) mode = kStreamBoth;
    *result = newStringStreamValue(engine, std::make_unique<ByteStream>(mode));
}

void callStringStream(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
                      ScriptValue* argv) {
    if (!data) constructStringStream(engine, cls, argv, result);
}

void finalizeStream(ScriptEngine*, ClassDescriptor*, void* data) {
    auto* cell = static_cast<StreamCell*>(data);
    delete cell->io;
    delete cell;
}

ClassDescriptor* stringStreamClass(ScriptEngine* engine) {
    for (const ScriptValue& v : engine->builtinRoots) {
        if (v.tag == kTagHost && v.host->cls->method == stringStreamMethod) return v.host->cls;
    }
    return nullptr;
}

}  // namespace

namespace streams {

ScriptValue newStringStreamValue(ScriptEngine* engine, std::unique_ptr<ByteStream> stream) {
    ClassDescriptor* cls = stringStreamClass(engine);
    if (!cls) return makeUndefined();
    stream->chargeTo(engine);
    auto cell = std::make_unique<StreamCell>();
    cell->io = stream.get();
    ScriptValue out;
    newHostValue(engine, &out, cls, cell.get());
    // The instance owns both from here; its finalizer frees them.
    stream.release();
    cell.release();
    return out;
}

}  // namespace streams

bool isStringStream(ScriptEngine*, const ScriptValue& value) {
    return value.tag == kTagHost && value.host->data &&
           value.host->cls->method == stringStreamMethod;
}

int64_t stringStreamLength(ScriptEngine* engine, const ScriptValue& value) {
    size_t length = 0;
    stringStreamBytes(engine, value, &length);
    return int64_t(length);
}

const uint8_t* stringStreamBytes(ScriptEngine* engine, const ScriptValue& value, size_t* length) {
    *length = 0;
    if (!isStringStream(engine, value)) return nullptr;
    ByteStream* stream = openStream(value.host->data);
    if (!stream) return nullptr;
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
    ClassDescriptor* cls =
        registerStreamClass(engine, "StringStream",
                            {"getPos", "putPos", "eof", "length", "crc", "compress", "uncompress",
                             "saveToFile", "readFromFile"});
    cls->call = callStringStream;
    cls->method = stringStreamMethod;
    cls->property = stringStreamProperty;
    cls->construct = constructStringStream;
    cls->finalizeInstance = finalizeStream;
    // Keeps the class alive, and findable, whatever scripts do with the global name.
    engine->builtinRoots.push_back(getGlobal(engine, "StringStream"));
}

}  // namespace quill
