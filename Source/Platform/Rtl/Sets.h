// Sets over enumerations, as the class library stores options (AddOptions, ExtrOptions, ...).
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kv::platform {

// A set of members of the enumeration E (members numbered from 0), held in the unsigned
// integer Word: up to 64 members by default; a set that is part of a published record takes
// the width its record gives (one byte for up to 8 members, two for up to 16).
template <class E, class Word = uint64_t> class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members)
      bits_ |= bit(m);
  }
  // Every member from `first` to `last`, both included.
  static constexpr TSet Range(E first, E last) {
    TSet s;
    for (int i = static_cast<int>(first); i <= static_cast<int>(last); ++i)
      s.bits_ |= static_cast<Word>(uint64_t{1} << i);
    return s;
  }
  static constexpr TSet FromBits(uint64_t bits) {
    TSet s;
    s.bits_ = static_cast<Word>(bits);
    return s;
  }

  constexpr bool Contains(E m) const { return (bits_ & bit(m)) != 0; }
  constexpr TSet& Include(E m) {
    bits_ |= bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    bits_ &= static_cast<Word>(~bit(m));
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint64_t Bits() const { return bits_; }

  constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
  constexpr TSet operator-(TSet o) const { return FromBits(bits_ & static_cast<Word>(~o.bits_)); }
  constexpr TSet operator*(TSet o) const { return FromBits(bits_ & o.bits_); }
  constexpr bool operator==(const TSet&) const = default;

private:
  static constexpr Word bit(E m) { return static_cast<Word>(uint64_t{1} << static_cast<int>(m)); }
  Word bits_ = 0;
};

} // namespace kv::platform
