// The FileStream host class (also registered as Stream): a buffered binary C stream on a disk
// file, or on a temporary file that is deleted when the stream is closed or collected, with the
// stream constants $STREAM_IN, $STREAM_OUT and $STREAM_EOF.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "host/system/stream_members.h"
#include "platform/file_io.h"

namespace quill {

using namespace streams;

namespace {

enum FileStreamMember : int {
    kPos = kCommonMemberCount,
    kEof,
    kLength,
};

// Positions of files are 64-bit: files larger than 2 GiB are ordinary.
constexpr int64_t kMaxFilePosition = INT64_MAX;

class FileNative final : public StreamIo {
  public:
    FileNative(std::FILE* file, std::string tempPath)
        : file_(file), tempPath_(std::move(tempPath)) {}
    ~FileNative() override {
        std::fclose(file_);
        if (!tempPath_.empty()) platform::removeNativeFile(tempPath_);
    }
    FileNative(const FileNative&) = delete;
    FileNative& operator=(const FileNative&) = delete;

    size_t readBytes(uint8_t* out, size_t n) override {
        turn(kReading);
        return std::fread(out, 1, n, file_);
    }
    int takeByte() override {
        turn(kReading);
        int c = std::fgetc(file_);
        return c == EOF ? -1 : c;
    }
    bool writeBytes(const uint8_t* data, size_t n) override {
        turn(kWriting);
        return std::fwrite(data, 1, n, file_) == n;
    }
    bool unget(uint8_t byte) {
        turn(kReading);
        return std::ungetc(byte, file_) != EOF;
    }
    bool flush() { return std::fflush(file_) == 0; }
    bool atEnd() const { return std::feof(file_) != 0; }

    int64_t position() const { return platform::tellFile(file_); }
    void seek(int64_t pos) {
        platform::seekFile(file_, pos, SEEK_SET);
        last_ = kNone;
    }
    int64_t length() {
        if (last_ == kWriting) std::fflush(file_);
        return platform::fileLength(file_);
    }
    void truncate(int64_t length) {
        seek(0);
        platform::truncateFile(file_, length);
    }

  private:
    enum Direction { kNone, kReading, kWriting };

    // The C library needs a positioning call between writing and reading on one stream, and
    // the two targets' libraries disagree on what happens without one. Asking for it here gives
    // scripts the same bytes on both.
    void turn(Direction next) {
        if (last_ != kNone && last_ != next) platform::seekFile(file_, 0, SEEK_CUR);
        last_ = next;
    }

    std::FILE* file_;
    std::string tempPath_;
    Direction last_ = kNone;
};

FileNative* openFile(void* data) {
    auto* cell = static_cast<StreamCell*>(data);
    return cell ? static_cast<FileNative*>(cell->io) : nullptr;
}

// A C mode string made binary: every t or b becomes b, and b is added when there is neither.
// The mode is checked first (r, w or a, then only +, t and b) so that both targets' libraries
// see a mode they accept in the same way; anything else fails the open.
bool binaryMode(const std::string& mode, std::string* out) {
    if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return false;
    bool plus = false;
    for (size_t i = 1; i < mode.size(); ++i) {
        if (mode[i] == '+') {
            plus = true;
        } else if (mode[i] != 't' && mode[i] != 'b') {
            return false;
        }
    }
    *out = std::string(1, mode[0]) + (plus ? "+b" : "b");
    return true;
}

std::FILE* openByArguments(ScriptValue* argv, std::string* tempPath) {
    if (argCount(argv) == 0) return platform::createTempFile(tempPath);
    std::string path;
    if (!pathArgument(argv[1], &path)) return nullptr;
    if (argCount(argv) >= 2 && argv[2].tag == kTagString) {
        std::string mode;
        if (stringView(argv[2]).find(u'\0') != std::u16string_view::npos ||
            !binaryMode(toAnsiString(stringView(argv[2])), &mode)) {
            return nullptr;
        }
        return platform::openFile(path.c_str(), mode.c_str());
    }
    if (!platform::fileExists(path.c_str())) return nullptr;
    return platform::openFile(path.c_str(), "r+b");
}

void constructFileStream(ScriptEngine*, ClassDescriptor*, ScriptValue*, ScriptValue*);

void callFileStream(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
                    ScriptValue* argv) {
    if (!data) constructFileStream(engine, cls, argv, result);
}

void constructFileStream(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv,
                         ScriptValue* result) {
    *result = makeNull();
    std::string tempPath;
    std::FILE* file = openByArguments(argv, &tempPath);
    if (!file) return;
    // From here the native object closes the file (and deletes a temporary one) on any failure.
    auto native = std::make_unique<FileNative>(file, std::move(tempPath));
    auto cell = std::make_unique<StreamCell>();
    cell->io = native.get();
    newHostValue(engine, result, cls, cell.get());
    native.release();
    cell.release();
}

int fileStreamMethod(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                     ScriptValue* result, ScriptValue* argv) {
    int member = memberIndex(cls, atom);
    if (member < 0) return 0;
    if (member == kToString) {
        *result = asciiValue(engine, "[object FileStream]");
        return 1;
    }
    FileNative* file = openFile(data);
    if (!file) return 0;  // the class value and closed instances know no other member
    auto* cell = static_cast<StreamCell*>(data);
    if (runCommonMember(engine, cell, member, result, argv, true)) return 1;
    int64_t n = 0;
    switch (member) {
        case kReadLine: {
            std::string line;
            for (int c; (c = file->takeByte()) >= 0;) {
                try {
                    line.push_back(static_cast<char>(c));
                } catch (const std::bad_alloc&) {
                    break;
                }
                if (c == '\n' || line.size() >= size_t(kMaxStreamLength)) break;
            }
            if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
                line.resize(line.size() - 2);
            } else if (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            newStringFromAnsi(engine, result, line.data(), line.size());
            return 1;
        }
        case kPut:
            if (intArg(argv, 1, &n)) {
                auto byte = static_cast<uint8_t>(n);
                *result = makeBoolean(file->writeBytes(&byte, 1));
            } else {
                *result = makeBoolean(false);
            }
            return 1;
        case kUnget: {
            const ScriptValue v = arg(argv, 1);
            bool done = false;
            if (v.tag == kTagInteger) {
                done = file->unget(static_cast<uint8_t>(v.i));
            } else if (v.tag == kTagString && v.str->length > 0) {
                done = file->unget(static_cast<uint8_t>(v.str->chars[0]));
            }
            *result = makeBoolean(done);
            return 1;
        }
        case kFlush:
            *result = makeBoolean(file->flush());
            return 1;
        case kClose:
            cell->io = nullptr;
            delete file;
            return 1;
        default:
            return 0;  // the property names are not methods
    }
}

int fileStreamProperty(ScriptEngine*, ClassDescriptor* cls, void* data, uint32_t atom, int mode,
                       ScriptValue* value) {
    FileNative* file = openFile(data);
    if (!file) return 0;
    bool reading = mode == 0;
    switch (memberIndex(cls, atom)) {
        case kPos:
            if (reading) {
                *value = makeInteger(file->position());
            } else if (auto pos = positionArgument(*value, kMaxFilePosition)) {
                file->seek(*pos);
            }
            return 1;
        case kEof:
            if (reading) *value = makeBoolean(file->atEnd());
            return 1;  // assignments are ignored
        case kLength: {
            int64_t length = file->length();
            if (reading) {
                *value = makeInteger(length);
            } else if (value->tag == kTagInteger || value->tag == kTagNumber) {
                // Only shrinking: growing, negative and other values are ignored.
                auto target = positionArgument(*value, kMaxFilePosition);
                if (target && *target < length) file->truncate(*target);
            }
            return 1;
        }
        default:
            return 0;
    }
}

void finalizeFileStream(ScriptEngine*, ClassDescriptor*, void* data) {
    auto* cell = static_cast<StreamCell*>(data);
    delete cell->io;
    delete cell;
}

}  // namespace

void registerFileStream(ScriptEngine* engine) {
    ClassDescriptor* cls = registerStreamClass(engine, "FileStream", {"pos", "eof", "length"});
    cls->call = callFileStream;
    cls->method = fileStreamMethod;
    cls->property = fileStreamProperty;
    cls->construct = constructFileStream;
    cls->finalizeInstance = finalizeFileStream;
    ScriptValue classValue = getGlobal(engine, "FileStream");
    setGlobal(engine, "Stream", classValue);
    engine->builtinRoots.push_back(classValue);
    setGlobal(engine, "$STREAM_IN", makeInteger(kStreamIn));
    setGlobal(engine, "$STREAM_OUT", makeInteger(kStreamOut));
    setGlobal(engine, "$STREAM_EOF", makeInteger(kStreamEof));
}

}  // namespace quill
