#include "biff/xls_md4_hash.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/error.h"

namespace xls {

namespace {

inline uint32_t Rotl(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = GetU32(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  auto f = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); };
  auto g = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); };
  auto h = [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; };

  static constexpr int kS1[4] = {3, 7, 11, 19};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rotl(a + f(b, c, d) + x[i], kS1[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  static constexpr int kS2[4] = {3, 5, 9, 13};
  static constexpr int kOrder2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rotl(a + g(b, c, d) + x[kOrder2[i]] + 0x5A827999u, kS2[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  static constexpr int kS3[4] = {3, 9, 11, 15};
  static constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rotl(a + h(b, c, d) + x[kOrder3[i]] + 0x6ED9EBA1u, kS3[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void TMD4Hash::Init() {
  initialized_ = true;
  count_ = 0;
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  std::memset(buffer_, 0, sizeof buffer_);
}

void TMD4Hash::CheckInitialized() const {
  if (!initialized_) Raise("Hash not initialized");
}

void TMD4Hash::Update(const void* data, size_t size) {
  CheckInitialized();
  const auto* p = static_cast<const uint8_t*>(data);
  size_t have = static_cast<size_t>(count_ & 63);
  count_ += size;
  while (size > 0) {
    const size_t take = std::min(size, 64 - have);
    std::memcpy(buffer_ + have, p, take);
    have += take;
    p += take;
    size -= take;
    if (have == 64) {
      Transform(state_, buffer_);
      have = 0;
    }
  }
}

TMD4Digest TMD4Hash::Final() {
  CheckInitialized();
  const uint64_t bits = count_ << 3;
  uint8_t pad[72] = {0x80};
  const size_t have = static_cast<size_t>(count_ & 63);
  const size_t padLen = (have < 56) ? 56 - have : 120 - have;
  Update(pad, padLen);
  uint8_t len[8];
  PutU64(len, bits);
  Update(len, 8);
  TMD4Digest out;
  for (int i = 0; i < 4; ++i) PutU32(out.data() + 4 * i, state_[i]);
  initialized_ = false;
  return out;
}

TMD4Digest TMD4Hash::Digest(const void* data, size_t size) {
  TMD4Hash h;
  h.Init();
  h.Update(data, size);
  return h.Final();
}

}  // namespace xls
