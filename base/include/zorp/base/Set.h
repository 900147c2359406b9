#pragma once
// A small set of enumeration values held as a bit set (the library's TTiffDataTypes,
// TExifSectionLoadErrors and TJPEGMarkerSet are such sets).

#include <bitset>
#include <cstddef>
#include <initializer_list>

namespace Zorp::Base {

template <typename T, std::size_t Bits>
class TSet {
 public:
  constexpr TSet() = default;
  TSet(std::initializer_list<T> items) {
    for (T item : items) Include(item);
  }

  bool Contains(T item) const { return Index(item) < Bits && FBits.test(Index(item)); }
  TSet& Include(T item) {
    if (Index(item) < Bits) FBits.set(Index(item));
    return *this;
  }
  TSet& Exclude(T item) {
    if (Index(item) < Bits) FBits.reset(Index(item));
    return *this;
  }
  bool Empty() const { return FBits.none(); }
  std::size_t Count() const { return FBits.count(); }
  void Clear() { FBits.reset(); }
  // The raw bits (bit n = ordinal n), for storage and tests.
  unsigned long long ToBits() const { return FBits.to_ullong(); }

  TSet operator+(const TSet& other) const { TSet r(*this); r.FBits |= other.FBits; return r; }
  TSet operator-(const TSet& other) const { TSet r(*this); r.FBits &= ~other.FBits; return r; }
  TSet operator*(const TSet& other) const { TSet r(*this); r.FBits &= other.FBits; return r; }
  TSet& operator+=(const TSet& other) { FBits |= other.FBits; return *this; }
  TSet& operator-=(const TSet& other) { FBits &= ~other.FBits; return *this; }
  bool operator==(const TSet& other) const { return FBits == other.FBits; }

 private:
  static constexpr std::size_t Index(T item) { return static_cast<std::size_t>(item); }
  std::bitset<Bits> FBits;
};

}  // namespace Zorp::Base
