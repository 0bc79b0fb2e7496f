// Sources and sinks of the compiler: memory strings, growable buffers and files, with any-depth
// push-back for the lexer and the formatted write the driver uses for diagnostics and modules.
#include "compiler/source_reader.h"

#include <cstring>
#include <utility>

#include "compiler/messages.h"
#include "runtime/script_engine.h"

namespace quill::compiler {

namespace {

const char kMemoryName[] = "string";

}  // namespace

SourceReader::SourceReader(Kind kind, std::string name) : kind_(kind), name_(std::move(name)) {}

SourceReader::~SourceReader() {
    close();
}

std::unique_ptr<SourceReader> SourceReader::fromString(std::string_view text) {
    std::unique_ptr<SourceReader> reader(new SourceReader(Kind::kString, kMemoryName));
    reader->source_.assign(text.data(), text.size());
    reader->reset();
    return reader;
}

std::unique_ptr<SourceReader> SourceReader::newBuffer() {
    return std::unique_ptr<SourceReader>(new SourceReader(Kind::kBuffer, kMemoryName));
}

std::unique_ptr<SourceReader> SourceReader::openFile(const char* path) {
    if (!path) return nullptr;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    std::unique_ptr<SourceReader> reader(new SourceReader(Kind::kFileInput, path));
    reader->file_ = file;
    reader->fileBuffer_ = std::make_unique<unsigned char[]>(kFileBufferSize);
    return reader;
}

std::unique_ptr<SourceReader> SourceReader::createFile(const char* path) {
    if (!path) return nullptr;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return nullptr;
    std::unique_ptr<SourceReader> reader(new SourceReader(Kind::kFileOutput, path));
    reader->file_ = file;
    reader->fileBuffer_ = std::make_unique<unsigned char[]>(kFileBufferSize);
    return reader;
}

// ---------------------------------------------------------------------------------------------
// Input.

int SourceReader::getSlow() {
    if (pushedCount_ != 0) return pushed_[--pushedCount_];
    if (ended_ || kind_ == Kind::kBuffer || kind_ == Kind::kFileOutput) return 0;
    if (kind_ == Kind::kFileInput && refill()) return get();
    ended_ = true;
    return 0;
}

bool SourceReader::refill() {
    if (!file_ || shortRead_) return false;
    size_t got = std::fread(fileBuffer_.get(), 1, kFileBufferSize, file_);
    // A short read means end of file (or a read error, which ends the input the same way).
    if (got < kFileBufferSize) shortRead_ = true;
    if (got == 0) return false;
    cursor_ = fileBuffer_.get();
    end_ = cursor_ + got;
    return true;
}

void SourceReader::unget(int c) {
    if (pushedCount_ == pushed_.size()) pushed_.resize(pushed_.empty() ? 32 : pushed_.size() * 2);
    pushed_[pushedCount_++] = static_cast<unsigned char>(c);
}

void SourceReader::reset() {
    pushedCount_ = 0;
    ended_ = false;
    line_ = 0;
    switch (kind_) {
        case Kind::kString: {
            auto* begin = reinterpret_cast<const unsigned char*>(source_.data());
            cursor_ = begin;
            end_ = begin + source_.size();
            break;
        }
        case Kind::kFileInput:
            cursor_ = end_ = nullptr;
            shortRead_ = false;
            if (file_) std::fseek(file_, 0, SEEK_SET);
            break;
        case Kind::kBuffer:
            output_.clear();
            break;
        case Kind::kFileOutput:
            flush();
            if (file_) std::fseek(file_, 0, SEEK_SET);
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Output.

bool SourceReader::writeBytes(const void* data, size_t size) {
    if (size == 0) return kind_ == Kind::kBuffer || kind_ == Kind::kFileOutput;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (kind_ == Kind::kBuffer) {
        output_.append(reinterpret_cast<const char*>(bytes), size);
        return true;
    }
    if (kind_ != Kind::kFileOutput || !file_) return false;
    while (size > 0) {
        if (fileBuffered_ == kFileBufferSize && !flush()) return false;
        size_t room = kFileBufferSize - fileBuffered_;
        size_t take = size < room ? size : room;
        std::memcpy(fileBuffer_.get() + fileBuffered_, bytes, take);
        fileBuffered_ += take;
        bytes += take;
        size -= take;
    }
    return true;
}

bool SourceReader::write(std::string_view codes, std::initializer_list<WriteItem> items) {
    if (kind_ != Kind::kBuffer && kind_ != Kind::kFileOutput) return false;
    bool ok = true;
    const WriteItem* item = items.begin();
    for (char code : codes) {
        if (item == items.end()) break;
        const WriteItem& it = *item++;
        switch (code) {
            case 's':
                if (it.type() == WriteItem::Type::kText) {
                    ok &= writeBytes(it.text(), std::strlen(it.text()));
                }
                break;
            case 'a':
                if (it.type() == WriteItem::Type::kInteger) {
                    // Written by hand: the digits must not depend on the C library's printf.
                    char digits[24];
                    size_t n = 0;
                    int64_t value = it.integer();
                    uint64_t magnitude =
                        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
                    do {
                        digits[n++] = static_cast<char>('0' + magnitude % 10);
                        magnitude /= 10;
                    } while (magnitude != 0);
                    if (value < 0) digits[n++] = '-';
                    char text[24];
                    for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
                    ok &= writeBytes(text, n);
                }
                break;
            case 'c':
                if (it.type() == WriteItem::Type::kInteger) {
                    unsigned char byte = static_cast<unsigned char>(it.integer());
                    ok &= writeBytes(&byte, 1);
                }
                break;
            case 'b':
                if (it.type() == WriteItem::Type::kBytes) ok &= writeBytes(it.data(), it.size());
                break;
            default:
                break;
        }
    }
    return ok;
}

bool SourceReader::flush() {
    if (kind_ != Kind::kFileOutput || !file_) return kind_ == Kind::kBuffer;
    if (fileBuffered_ != 0) {
        size_t written = std::fwrite(fileBuffer_.get(), 1, fileBuffered_, file_);
        if (written != fileBuffered_) writeFailed_ = true;
        fileBuffered_ = 0;
    }
    if (std::fflush(file_) != 0) writeFailed_ = true;
    return !writeFailed_;
}

bool SourceReader::close() {
    if (!file_) return !writeFailed_;
    if (kind_ == Kind::kFileOutput) flush();
    if (std::fclose(file_) != 0 && kind_ == Kind::kFileOutput) writeFailed_ = true;
    file_ = nullptr;
    cursor_ = end_ = nullptr;
    return !writeFailed_;
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<SourceReader> openSource(ScriptEngine* engine, const char* nameOrText,
                                         SourceReader::Kind kind) {
    switch (kind) {
        case SourceReader::Kind::kString:
            return nameOrText ? SourceReader::fromString(nameOrText) : nullptr;
        case SourceReader::Kind::kBuffer:
            return SourceReader::newBuffer();
        case SourceReader::Kind::kFileInput: {
            auto reader = SourceReader::openFile(nameOrText);
            if (!reader && engine) {
                engine->messageBuffer = kMsgCantOpenScriptFile;
                engine->messageBuffer += nameOrText ? nameOrText : "";
                engine->messageBuffer += '\n';
            }
            return reader;
        }
        case SourceReader::Kind::kFileOutput:
            return SourceReader::createFile(nameOrText);
    }
    return nullptr;
}

}  // namespace quill::compiler
