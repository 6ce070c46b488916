#include "biff/xls_md5.h"

#include <algorithm>
#include <cstring>

namespace xls {

namespace {

constexpr uint32_t kInitState[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t Rotl(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = GetU32(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t t = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + kSine[i] + m[g], kShift[i]);
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void TMD5::Init(TMD5Context& ctx) {
  ctx.count = 0;
  std::memcpy(ctx.state, kInitState, sizeof ctx.state);
  std::memset(ctx.buffer, 0, sizeof ctx.buffer);
  std::memset(ctx.digest, 0, sizeof ctx.digest);
}

void TMD5::Update(TMD5Context& ctx, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t have = static_cast<size_t>((ctx.count >> 3) & 63);
  ctx.count += static_cast<uint64_t>(size) << 3;
  while (size > 0) {
    const size_t take = std::min(size, 64 - have);
    std::memcpy(ctx.buffer + have, p, take);
    have += take;
    p += take;
    size -= take;
    if (have == 64) {
      Transform(ctx.state, ctx.buffer);
      have = 0;
    }
  }
}

void TMD5::Final(TMD5Context& ctx) {
  for (int i = 0; i < 4; ++i) PutU32(ctx.digest + 4 * i, ctx.state[i]);
}

Bytes MD5Pad(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  Bytes out(p, p + size);
  out.push_back(0x80);
  while (out.size() % 64 != 56) out.push_back(0);
  const size_t at = out.size();
  out.resize(at + 8);
  PutU64(out.data() + at, static_cast<uint64_t>(size) << 3);
  return out;
}

TMD5Digest MD5Digest(const void* data, size_t size) {
  const Bytes padded = MD5Pad(data, size);
  TMD5Context ctx;
  TMD5::Init(ctx);
  TMD5::Update(ctx, padded.data(), padded.size());
  TMD5::Final(ctx);
  TMD5Digest d;
  std::memcpy(d.data(), ctx.digest, d.size());
  return d;
}

}  // namespace xls
