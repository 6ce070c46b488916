// MD5 message digest with a caller-held context. Final does not pad: callers append the MD5
// padding themselves and feed whole 64-byte blocks (MD5Pad does that for a whole message).
// MD5Digest is the complete digest of a message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

namespace xls {

struct TMD5Context {
  uint64_t count = 0;  // bits fed so far
  uint32_t state[4] = {};
  uint8_t buffer[64] = {};
  uint8_t digest[16] = {};
};

using TMD5Digest = std::array<uint8_t, 16>;

class TMD5 {
 public:
  static void Init(TMD5Context& ctx);
  // Buffers bytes and runs the compression function on every full 64-byte block.
  static void Update(TMD5Context& ctx, const void* data, size_t size);
  // Copies the state words little-endian into ctx.digest. Adds no padding; bytes of an
  // incomplete last block still in the buffer are not hashed.
  static void Final(TMD5Context& ctx);
};

// The message followed by the MD5 padding (0x80, zeros, the bit length as u64): a whole number
// of 64-byte blocks.
Bytes MD5Pad(const void* data, size_t size);

// The MD5 digest of a message (RFC 1321).
TMD5Digest MD5Digest(const void* data, size_t size);

}  // namespace xls
