// The failures of the projector's resource and record code: a resource error that carries no
// text (a resource is missing), text errors (a bad container, a record that ends early, a file
// that cannot be written) and the callback through which text errors reach the user.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace quill::project {

// A resource the executable does not carry. Callers that read optional resources catch it
// silently; it has no text to show.
class ResourceError : public std::exception {
  public:
    const char* what() const noexcept override { return ""; }
};

// An error with a message for the user.
class TextError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An extracted file that cannot be created or written.
class FileError : public TextError {
  public:
    using TextError::TextError;
};

// Receives the text of each error a reader meets; the projector shows it in a message box,
// the tool prints it, tests collect it. An empty reporter drops the text.
using ErrorReporter = std::function<void(const std::string& text)>;

inline void reportError(const ErrorReporter& report, const std::string& text) {
    if (report) report(text);
}

// The message of a zlib result code (shared with the streams' compression calls).
const char* zlibErrorText(int code);

// The message of a record whose counts claim more data than it holds.
inline constexpr const char* kRecordEndsEarly = "The resource data ends before the record does";

}  // namespace quill::project
