// UTF-8 sequences: which bytes form one well-formed character, what code
// point it holds, and how a code point is written back. The rules are the
// strict ones: no overlong forms, no surrogates, nothing above U+10FFFF, so
// every text has exactly one reading and a bad byte is never part of a
// character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xev::host {

// The sequence at p, of which at most available bytes may be read: its length
// (1 to 4) when it is a well-formed character, otherwise minus the length of
// the longest start of a well-formed sequence found there (at least 1). A
// zero-terminated text may pass any available of 4 or more: the terminator is
// no continuation byte, so the walk stops on it.
inline int Utf8Sequence(const char* p, size_t available) {
  auto b = static_cast<unsigned char>(p[0]);
  if (b < 0x80) return 1;
  int need = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 3;
    if (b == 0xE0) low = 0xA0;   // shorter forms are overlong
    if (b == 0xED) high = 0x9F;  // above are the surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;  // above is beyond U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < need; ++i) {
    if (static_cast<size_t>(i) >= available) return -i;
    auto c = static_cast<unsigned char>(p[i]);
    if (c < low || c > high) return -i;
    low = 0x80;
    high = 0xBF;
  }
  return need;
}

// The code point of the well-formed sequence of length bytes at p.
inline char32_t Utf8Decode(const char* p, int length) {
  auto byte = [p](int i) { return static_cast<char32_t>(static_cast<unsigned char>(p[i])); };
  switch (length) {
    case 2: return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3: return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    case 4: return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
    default: return byte(0);
  }
}

// Whether s (zero-terminated) is all ASCII: such a text is read the same in
// every code page and takes the single-byte paths.
inline bool IsAscii(const char* s) {
  for (; *s != 0; ++s) {
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  }
  return true;
}

// Bytes that code point ch takes in UTF-8.
inline int Utf8Size(char32_t ch) { return ch < 0x80 ? 1 : ch < 0x800 ? 2 : ch < 0x10000 ? 3 : 4; }

// Writes ch at out (room for Utf8Size(ch) bytes) and returns its size.
int Utf8Encode(char32_t ch, char* out);

}  // namespace xev::host
