// The script members StringStream and FileStream share: one name table (common names first, in
// the order of CommonMember), the shared reads and writes in the stream encodings, and the
// position arguments of the two classes' position properties.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "host/system/stream_core.h"
#include "runtime/script_engine.h"

namespace quill::streams {

enum CommonMember : int {
    kGet,
    kGetShort,
    kGetLong,
    kGetFloat,
    kGetDouble,
    kRead,
    kReadLine,
    kReadString,
    kReadUnicodeString,
    kPut,
    kPutShort,
    kPutFloat,
    kWrite,
    kWriteLine,
    kWriteString,
    kWriteUnicodeString,
    kUnget,
    kFlush,
    kClose,
    kToString,
    kCommonMemberCount
};

// Registers a stream class under `name` with the common member names followed by `own`
// (the class's own members get indices from kCommonMemberCount on).
ClassDescriptor* registerStreamClass(ScriptEngine* engine, const char* name,
                                     std::initializer_list<const char*> own);

// Runs a shared member on the open stream in `cell`. Returns false for the members each class
// answers itself (readLine, put, unget, flush, close, toString). `streamArguments` makes
// `write` and `writeLine` write the content of StringStream arguments instead of skipping them.
// Members that convert arguments may run scripts; the cell is read again afterwards, since a
// script may have closed the stream meanwhile.
bool runCommonMember(ScriptEngine* engine, StreamCell* cell, int member, ScriptValue* result,
                     ScriptValue* argv, bool streamArguments);

// A position assigned to a position property: nothing for a negative value or one past `max`
// (the assignment is ignored), the truncated value for integers and numbers, 0 for anything
// else.
std::optional<int64_t> positionArgument(const ScriptValue& value, int64_t max);

// A path argument as ANSI text: false for a non-string, an empty string, or one holding a NUL
// (which would silently name a different file once it reaches the C library).
bool pathArgument(const ScriptValue& value, std::string* out);

// Text the classes give as a string value.
ScriptValue asciiValue(ScriptEngine* engine, const char* text);

// Wraps a native byte stream as a new StringStream value (implemented with the StringStream
// class). Undefined if the class is not registered in this engine.
ScriptValue newStringStreamValue(ScriptEngine* engine, std::unique_ptr<ByteStream> stream);

}  // namespace quill::streams
