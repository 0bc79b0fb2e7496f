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
#include "runtime/class_binding.h"

namespace quill {

using namespace streams;

namespace {

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

FileNative& fileOf(StreamCell& cell) {
    return *static_cast<FileNative*>(cell.io);
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

std::FILE* openByArguments(bind::Args args, std::string* tempPath) {
    if (args.size() == 0) return platform::createTempFile(tempPath);
    const ScriptValue path = args[1];
    if (path.tag != kTagString || path.str->length == 0 ||
        stringView(path).find(u'\0') != std::u16string_view::npos) {
        return nullptr;
    }
    std::string name = toAnsiString(stringView(path));
    if (args.size() >= 2 && args[2].tag == kTagString) {
        std::string mode;
        if (stringView(args[2]).find(u'\0') != std::u16string_view::npos ||
            !binaryMode(toAnsiString(stringView(args[2])), &mode)) {
            return nullptr;
        }
        return platform::openFile(name.c_str(), mode.c_str());
    }
    if (!platform::fileExists(name.c_str())) return nullptr;
    return platform::openFile(name.c_str(), "r+b");
}

// A failed open gives null.
std::unique_ptr<StreamCell> openFileStream(bind::Args args) {
    std::string tempPath;
    std::FILE* file = openByArguments(args, &tempPath);
    if (!file) return nullptr;
    // From here the native object closes the file (and deletes a temporary one) on any failure.
    auto native = std::make_unique<FileNative>(file, std::move(tempPath));
    return std::make_unique<StreamCell>(native.release());
}

std::string readLine(StreamCell& cell) {
    FileNative& file = fileOf(cell);
    std::string line;
    for (int c; (c = file.takeByte()) >= 0;) {
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
    return line;
}

bool put(StreamCell& cell, int64_t value) {
    auto byte = static_cast<uint8_t>(value);
    return fileOf(cell).writeBytes(&byte, 1);
}

// The low byte of an integer, or of a non-empty string's first unit.
bool unget(StreamCell& cell, ScriptValue value) {
    if (value.tag == kTagInteger) return fileOf(cell).unget(static_cast<uint8_t>(value.i));
    if (value.tag == kTagString && value.str->length > 0) {
        return fileOf(cell).unget(static_cast<uint8_t>(value.str->chars[0]));
    }
    return false;
}

bool flush(StreamCell& cell) {
    return fileOf(cell).flush();
}
void close(StreamCell& cell) {
    cell.close();
}

int64_t pos(StreamCell& cell) {
    return fileOf(cell).position();
}
void setPos(StreamCell& cell, ScriptValue value) {
    if (auto target = positionArgument(value, kMaxFilePosition)) fileOf(cell).seek(*target);
}
bool eof(StreamCell& cell) {
    return fileOf(cell).atEnd();
}
int64_t length(StreamCell& cell) {
    return fileOf(cell).length();
}
// Only shrinking: growing, negative and non-numeric values are ignored.
void setLength(StreamCell& cell, ScriptValue value) {
    int64_t length = fileOf(cell).length();
    if (value.tag != kTagInteger && value.tag != kTagNumber) return;
    auto target = positionArgument(value, kMaxFilePosition);
    if (target && *target < length) fileOf(cell).truncate(*target);
}

constexpr bind::Member kFileStreamRows[] = {
    bind::method<readLine>("readLine")
        .doc("Reads the next line without its CR LF or LF (a lone CR stays); \"\" at the end of "
             "the file."),
    bind::method<put>("put", bind::Empty::kFalse)
        .doc("byte",
             "Writes the low byte of integer byte; false when it is not an integer or the write "
             "failed."),
    bind::method<write<true>>("write").doc(
        "value, ...",
        "Writes integers and booleans as 32-bit, numbers as doubles, strings as ANSI text, "
        "StringStreams as their bytes."),
    bind::method<writeLine<true>>("writeLine").doc("value, ...", "As write, then CR LF."),
    bind::method<unget>("unget").doc(
        "byte",
        "Pushes byte (an integer, or a string's first character) back; true when it could."),
    bind::method<flush>("flush").doc("Flushes the file's buffer; true unless that failed."),
    bind::method<close>("close").doc(
        "Closes the file; the object answers nothing more (a temporary file is deleted)."),
    bind::objectText("[object FileStream]"),
    bind::property<pos, setPos>("pos").doc("The file position in bytes; assigning seeks from the "
                                           "start (negative values are ignored)."),
    bind::getter<eof>("eof").doc("True once a read met the end of the file."),
    bind::property<length, setLength>("length").doc(
        "The file's length in bytes; assigning a smaller value truncates the file (growing is "
        "ignored)."),
};

}  // namespace

void registerFileStream(ScriptEngine* engine) {
    bind::defineClass<StreamCell>(
        engine,
        {.name = "FileStream",
         .id = ClassId::kFileStream,
         .members = {kCommonStreamMembers, kFileStreamRows},
         .call = bind::constructorCall<openFileStream>,
         .construct = bind::constructor<openFileStream>,
         .resolve = openCell,
         .alias = "Stream",
         .globals = {{"$STREAM_IN", kStreamIn, "StringStream mode: reading only."},
                     {"$STREAM_OUT", kStreamOut, "StringStream mode: writing only."},
                     {"$STREAM_EOF", kStreamEof, "What get answers at the end of a stream."}},
         .synopsis = "[path [, mode]]",
         .summary =
             "A binary file opened for reading and writing; with no path, a temporary file deleted "
             "at close. The mode is a C fopen mode such as \"r\", \"w\" or \"a+\" (always binary); "
             "null when the file cannot be opened (with a path alone, when it does not exist)."});
}

}  // namespace quill
