// Little-endian byte access. Every read from untrusted bytes goes through ByteReader, which knows
// how many bytes remain and raises EXLSError on a short read instead of reading past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace xls {

using Bytes = std::vector<uint8_t>;

inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetU64(const uint8_t* p) {
  return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}
inline double GetF64(const uint8_t* p) {
  const uint64_t bits = GetU64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutF64(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  PutU64(p, bits);
}

// A bounds-checked cursor over bytes it does not own. Cheap to copy.
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const uint8_t* data, size_t size, std::string what = "data")
      : data_(data), size_(size), what_(std::move(what)) {}
  explicit ByteReader(std::span<const uint8_t> s, std::string what = "data")
      : ByteReader(s.data(), s.size(), std::move(what)) {}

  size_t Size() const { return size_; }
  size_t Pos() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  const uint8_t* Data() const { return data_; }
  const uint8_t* Current() const { return data_ + pos_; }

  // Raises unless n more bytes are available.
  void Need(size_t n) const {
    if (n > size_ - pos_)
      Raise(Format("%s is too short: %zu bytes needed at offset %zu, %zu available", what_.c_str(),
                   n, pos_, size_ - pos_));
  }
  void Seek(size_t pos) {
    if (pos > size_)
      Raise(Format("%s: offset %zu is outside %zu bytes", what_.c_str(), pos, size_));
    pos_ = pos;
  }
  void Skip(size_t n) {
    Need(n);
    pos_ += n;
  }
  uint8_t U8() {
    Need(1);
    return data_[pos_++];
  }
  uint16_t U16() {
    Need(2);
    const uint16_t v = GetU16(data_ + pos_);
    pos_ += 2;
    return v;
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    Need(4);
    const uint32_t v = GetU32(data_ + pos_);
    pos_ += 4;
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  uint64_t U64() {
    Need(8);
    const uint64_t v = GetU64(data_ + pos_);
    pos_ += 8;
    return v;
  }
  double F64() {
    Need(8);
    const double v = GetF64(data_ + pos_);
    pos_ += 8;
    return v;
  }
  void Read(void* dst, size_t n) {
    Need(n);
    if (n) std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
  }
  Bytes ReadBytes(size_t n) {
    Need(n);
    Bytes out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
  }
  // n elements of elemSize bytes each: the product is checked for overflow before use.
  void NeedArray(size_t n, size_t elemSize) const {
    if (elemSize != 0 && n > (SIZE_MAX / elemSize)) Raise(what_ + ": element count overflows");
    Need(n * elemSize);
  }
  // A sub-reader over the next n bytes; the cursor moves past them.
  ByteReader Sub(size_t n, std::string what = {}) {
    Need(n);
    ByteReader r(data_ + pos_, n, what.empty() ? what_ : std::move(what));
    pos_ += n;
    return r;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  std::string what_ = "data";
};

// Appends little-endian values to a growing buffer.
class ByteWriter {
 public:
  Bytes& Buffer() { return buf_; }
  const Bytes& Buffer() const { return buf_; }
  size_t Size() const { return buf_.size(); }
  void U8(uint8_t v) { buf_.push_back(v); }
  void U16(uint16_t v) {
    buf_.push_back(static_cast<uint8_t>(v));
    buf_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) buf_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void F64(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    U64(bits);
  }
  void Append(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    buf_.insert(buf_.end(), b, b + n);
  }
  void Append(std::span<const uint8_t> s) { buf_.insert(buf_.end(), s.begin(), s.end()); }
  void Zeros(size_t n) { buf_.insert(buf_.end(), n, 0); }
  // Overwrites bytes already written (back-patching a length or position).
  void PatchU16(size_t at, uint16_t v) {
    if (at + 2 > buf_.size()) Raise("ByteWriter: patch outside the buffer");
    PutU16(buf_.data() + at, v);
  }
  void PatchU32(size_t at, uint32_t v) {
    if (at + 4 > buf_.size()) Raise("ByteWriter: patch outside the buffer");
    PutU32(buf_.data() + at, v);
  }

 private:
  Bytes buf_;
};

}  // namespace xls
