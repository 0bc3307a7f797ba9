// Hashing and comparing the short names of items and formulas a word at a
// time. Parsing looks up every name it meets, so these sit on its hot path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/wide_int.h"

namespace xev::core {

inline uint64_t LoadWord64(const char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

inline uint64_t LoadWord32(const char* bytes) {
  uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// One step folds a word in and spreads every bit of it over the low bits a
// table uses: the high half of the full product depends on all input bits.
inline uint64_t MixNameWord(uint64_t hash, uint64_t word) {
  const host::uint128 product = host::uint128(hash ^ word) * 0x9E3779B97F4A7C15u;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

// Every byte counts, so that numbered names (Col1 ... Col30000) spread, but a
// name is read a word at a time: the words may overlap at the end, and a name
// of up to eight bytes takes one step. Reads only name[0, length).
inline uint32_t HashNameBytes(const char* name, size_t length) {
  uint64_t hash = length;
  if (length >= 8) {
    size_t at = 0;
    for (; at + 8 <= length; at += 8) hash = MixNameWord(hash, LoadWord64(name + at));
    if (at != length) hash = MixNameWord(hash, LoadWord64(name + length - 8));
  } else if (length >= 4) {
    hash = MixNameWord(hash, LoadWord32(name) << 32 | LoadWord32(name + length - 4));
  } else if (length > 0) {
    const auto byte = [name](size_t at) { return static_cast<uint64_t>(static_cast<unsigned char>(name[at])); };
    hash = MixNameWord(hash, byte(0) << 16 | byte(length / 2) << 8 | byte(length - 1));
  }
  return static_cast<uint32_t>(hash);
}

// Whether two runs of count bytes are equal, without a call for short runs.
inline bool SameNameBytes(const char* a, const char* b, size_t count) {
  if (count >= 8) {
    size_t at = 0;
    for (; at + 8 <= count; at += 8) {
      if (LoadWord64(a + at) != LoadWord64(b + at)) return false;
    }
    return at == count || LoadWord64(a + count - 8) == LoadWord64(b + count - 8);
  }
  if (count >= 4) return LoadWord32(a) == LoadWord32(b) && LoadWord32(a + count - 4) == LoadWord32(b + count - 4);
  for (size_t at = 0; at < count; ++at) {
    if (a[at] != b[at]) return false;
  }
  return true;
}

}  // namespace xev::core
