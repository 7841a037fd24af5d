// Sets of enumeration members, held as bits: member n at bit n. Storage is the smallest unsigned
// type with room for Bits members, so a set has the width its record layout promises (a set of
// up to 8 members is one byte, up to 16 two bytes, up to 32 four bytes).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace fw {

template <class E, int Bits>
class TSet {
 public:
  using Storage = std::conditional_t<
      (Bits <= 8), std::uint8_t,
      std::conditional_t<(Bits <= 16), std::uint16_t,
                         std::conditional_t<(Bits <= 32), std::uint32_t, std::uint64_t>>>;

  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  static constexpr TSet FromBits(Storage bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }

  constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
  constexpr void Include(E member) { bits_ = static_cast<Storage>(bits_ | Bit(member)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Storage ToBits() const { return bits_; }

  constexpr TSet operator+(TSet other) const { return FromBits(bits_ | other.bits_); }
  constexpr TSet operator-(TSet other) const {
    return FromBits(static_cast<Storage>(bits_ & ~other.bits_));
  }
  constexpr TSet operator*(TSet other) const { return FromBits(bits_ & other.bits_); }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr Storage Bit(E member) {
    return static_cast<Storage>(Storage{1} << static_cast<int>(member));
  }
  Storage bits_ = 0;
};

}  // namespace fw
