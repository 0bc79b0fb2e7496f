// The embedded files of the records (a name, a byte count, the bytes): where they are written
// and how a refused name or a failed write is reported.
#pragma once

#include <string>

#include "projector/records/record_io.h"

namespace quill::project {

// The message for a file name taken from a record and refused.
std::string refusedNameMessage(const TextCodec& codec, std::u16string_view name,
                               const std::string& reason);

// Reads an embedded file of the settings record and writes it into the work folder. The path
// field receives the full path of the written file, or the bare name when the byte count is 0,
// or nothing when the name is refused. Returns false when the stream ends first (the path
// field then keeps its value); refusals and write failures are reported and the reading goes on.
bool readEmbeddedFile(RecordReader& in, std::string* pathField, const ExtractTarget& target);

}  // namespace quill::project
