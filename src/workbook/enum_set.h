// A small set of enumeration values held in the bits of one integer (bit n = value n), the way
// font styles, format options and protection flags are stored in the file.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace xls {

template <class E, class Bits = uint8_t>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static constexpr TEnumSet FromBits(Bits bits) {
    TEnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr Bits ToBits() const { return bits_; }
  constexpr bool Contains(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(E v) {
    bits_ = static_cast<Bits>(bits_ | (Bits{1} << static_cast<unsigned>(v)));
  }
  constexpr void Exclude(E v) {
    bits_ = static_cast<Bits>(bits_ & ~(Bits{1} << static_cast<unsigned>(v)));
  }
  friend constexpr bool operator==(TEnumSet a, TEnumSet b) { return a.bits_ == b.bits_; }

 private:
  Bits bits_ = 0;
};

}  // namespace xls
