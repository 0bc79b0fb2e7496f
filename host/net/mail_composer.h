// Writing a message: the header block and the MIME body built from a part index, into a file or
// into a counter (the size of a message that is not written yet). Parts are copied from the
// current message file by their ranges or encoded from their new content, and the index of the
// written body comes back with every range rebased.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "host/net/mail_index.h"

namespace quill::mail {

class Sink {
  public:
    virtual ~Sink() = default;
    virtual void write(std::string_view bytes) = 0;
    // Copies [start, end) of `source`.
    virtual void copy(std::FILE* source, int64_t start, int64_t end) = 0;
    virtual bool ok() const = 0;
    int64_t position() const { return position_; }

  protected:
    int64_t position_ = 0;
};

// Writes through a buffer to a C stream, and to a second one when given (a message saved while
// it is regenerated is written once, not written and then copied); any short read or write on
// the first makes ok() false, on the second teeOk().
class FileSink final : public Sink {
  public:
    explicit FileSink(std::FILE* out, std::FILE* tee = nullptr) : out_(out), tee_(tee) {}
    ~FileSink() override { flush(); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void write(std::string_view bytes) override;
    void copy(std::FILE* source, int64_t start, int64_t end) override;
    bool flush();
    bool ok() const override { return ok_; }
    bool teeOk() const { return teeOk_; }

  private:
    void put(const char* data, size_t size);
    std::FILE* out_;
    std::FILE* tee_;
    std::string buffer_;
    bool ok_ = true;
    bool teeOk_ = true;
};

class CountingSink final : public Sink {
  public:
    void write(std::string_view bytes) override { position_ += int64_t(bytes.size()); }
    void copy(std::FILE*, int64_t start, int64_t end) override {
        if (end > start) position_ += end - start;
    }
    bool ok() const override { return true; }
};

// The header block for the values, every line ending CR LF and no empty line: the body's own
// Content-Type lines follow it.
std::string headerBlock(const HeaderValues& values);

// A fresh boundary: process id, millisecond tick and a number that differs for every boundary
// the process makes, each as eight hexadecimal digits so that every boundary has the same
// length and the size of a message can be known before it is written.
std::string newBoundary();

// Writes the body described by `index` (parts with new content are encoded from it, the others
// copied from `source`) and stores in `written` the index of what was written, with offsets
// counted from `base`, the sink position where the body's first byte lands. False when a read
// or a write failed.
bool composeBody(Sink& sink, const PartIndex& index, std::FILE* source, PartIndex* written);

}  // namespace quill::mail
