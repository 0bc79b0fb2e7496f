// The script members StringStream and FileStream share: one member table of fixed-size gets,
// `read`, the zero-terminated string reads and the writes in the stream encodings, plus the
// pieces each class uses for its own members (writes with or without stream arguments, position
// and path arguments).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/system/stream_core.h"
#include "runtime/class_binding.h"

namespace quill::streams {

// The rows both classes share. Each class lists its own table after this one.
extern const bind::MemberTable kCommonStreamMembers;

// The class's `resolve`: an open stream's cell, or nothing once it is closed, so that a closed
// stream keeps only the members that take the cell by pointer.
void* openCell(void* data);

// `write` and `writeLine`: integers and booleans as 32-bit values, numbers as doubles, strings as
// ANSI text, other values skipped; with `streamArguments` a StringStream argument contributes its
// content (FileStream) instead of being skipped (StringStream).
void writeValues(ScriptEngine* engine, StreamCell& cell, bind::Args args, bool streamArguments,
                 bool newline);
template <bool StreamArguments>
void write(ScriptEngine* engine, StreamCell& cell, bind::Args args) {
    writeValues(engine, cell, args, StreamArguments, false);
}
template <bool StreamArguments>
void writeLine(ScriptEngine* engine, StreamCell& cell, bind::Args args) {
    writeValues(engine, cell, args, StreamArguments, true);
}

// A position assigned to a position property: nothing for a negative value or one past `max`
// (the assignment is ignored), the truncated value for integers and numbers, 0 for anything
// else.
std::optional<int64_t> positionArgument(const ScriptValue& value, int64_t max);

// Wraps a native byte stream as a new StringStream value (implemented with the StringStream
// class). Undefined if the class is not registered in this engine.
ScriptValue newStringStreamValue(ScriptEngine* engine, std::unique_ptr<ByteStream> stream);

}  // namespace quill::streams
