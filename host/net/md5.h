// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104): a content hash for the projector's settings stamp and
// the keyed digest of SMTP's CRAM-MD5 authentication. Neither use needs collision resistance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quill::net {

using Md5Digest = std::array<uint8_t, 16>;

Md5Digest md5Digest(const uint8_t* data, size_t size);
inline Md5Digest md5Digest(std::string_view bytes) {
    return md5Digest(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// HMAC-MD5 of `message` under `key`; a key longer than the 64-byte block is first replaced by
// its digest.
Md5Digest hmacMd5(std::string_view key, std::string_view message);

}  // namespace quill::net
