// MD4 message digest (RFC 1320). Picture identifiers of the drawing group are MD4 digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace xls {

using TMD4Digest = std::array<uint8_t, 16>;

class TMD4Hash {
 public:
  // Starts a new digest; Update and Final raise "Hash not initialized" without it.
  void Init();
  void Update(const void* data, size_t size);
  // Pads, finishes and returns the digest; the hash must be initialised again before reuse.
  TMD4Digest Final();

  static TMD4Digest Digest(const void* data, size_t size);

 private:
  void CheckInitialized() const;

  bool initialized_ = false;
  uint64_t count_ = 0;  // bytes fed
  uint32_t state_[4] = {};
  uint8_t buffer_[64] = {};
};

}  // namespace xls
