// How other host objects (sockets, registry values, COM byte arrays, FileStream) hand raw bytes
// to scripts and take them back: a StringStream value recognised, measured, read whole and made
// from bytes. None of these move the stream's positions or change its state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/script_engine.h"

namespace quill {

// True for an instance of the StringStream class (also after `close`). The class is recognised
// by its descriptor, so a script that assigns another value to the global name changes nothing.
bool isStringStream(ScriptEngine* engine, const ScriptValue& value);

// The content length in bytes; 0 for a closed stream or a value that is not a StringStream.
int64_t stringStreamLength(ScriptEngine* engine, const ScriptValue& value);

// The whole content as a view that stays valid until the stream is next changed, closed or
// collected; null (with *length 0) for a value that is not an open StringStream.
const uint8_t* stringStreamBytes(ScriptEngine* engine, const ScriptValue& value, size_t* length);

// A copy of the whole content; false for a value that is not an open StringStream.
bool readStringStreamContent(ScriptEngine* engine, const ScriptValue& value,
                             std::vector<uint8_t>* out);

// A new read/write StringStream holding the bytes, read position 0 and write position at the
// end. Raises "Out of memory" when the bytes do not fit in a stream.
ScriptValue newStringStreamFromBytes(ScriptEngine* engine, const void* bytes, size_t length);

}  // namespace quill
