// File services that differ between the targets: opening by an ANSI path, temporary files,
// 64-bit positions, length and truncation of an open C stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quill::platform {

// Paths arrive as ANSI text (scripts' paths cross to the platform through the code page). On
// Windows they go to the file system as they are; elsewhere the ANSI text is re-encoded as
// UTF-8, the file-name encoding of those systems. `mode` is a C mode string the caller has
// already checked.
std::FILE* openFile(const char* ansiPath, const char* mode);

// True when the file's attributes can be read (it exists; folders count too).
bool fileExists(const char* ansiPath);

// Creates a new empty file with a unique name in the user's temporary directory and opens it
// for reading and writing in binary mode. `nativePath` receives the name in the form
// removeNativeFile takes. Null on failure.
std::FILE* createTempFile(std::string* nativePath);
bool removeNativeFile(const std::string& nativePath);

// 64-bit positioning: the C library's long is 32 bits on Windows.
bool seekFile(std::FILE* file, int64_t offset, int whence);
int64_t tellFile(std::FILE* file);  // -1 on failure

// The size of the file on disk (a caller that has written flushes first); -1 on failure.
int64_t fileLength(std::FILE* file);
// Cuts the open file to `length` bytes (flushes first).
bool truncateFile(std::FILE* file, int64_t length);

}  // namespace quill::platform
