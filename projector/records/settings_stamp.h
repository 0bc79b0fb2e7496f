// The settings stamp (resource CS): 16 bytes that identify the settings an executable carries,
// so that a projector knows whether the per-user copy of its settings belongs to it. It is the
// MD5 digest of the unpacked settings record: the same settings give the same stamp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/net/md5.h"

namespace quill::project {

using SettingsStamp = std::array<uint8_t, 16>;

using net::md5Digest;

inline SettingsStamp settingsStamp(const uint8_t* record, size_t size) {
    return md5Digest(record, size);
}

}  // namespace quill::project
