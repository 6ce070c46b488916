// Helpers shared by the compound-file tests.
#pragma once

#include <cstdint>
#include <string>

#include "cfb/compound_file.h"
#include "platform/bytes.h"

namespace xls::cfb::testing {

// Deterministic pseudo-random bytes, different for each seed.
inline Bytes PatternBytes(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = static_cast<uint8_t>(x);
  }
  return b;
}

inline void PutStream(Storage& s, std::u16string_view name, const Bytes& data) {
  Stream& st = s.CreateStream(name);
  if (!data.empty()) st.Write(data.data(), data.size());
}

inline Bytes StreamBytes(Storage& s, std::u16string_view name) {
  return s.OpenStream(name).Data();
}

// A unique path under the system's temporary folder.
std::string TempPath(const std::string& stem);

}  // namespace xls::cfb::testing
