// Character classes of the current ANSI code page, shared by the string
// operations and the platform's character functions. The classes live in one
// 256-entry table per code page so that the hot loops (character counting,
// stepping) cost one load per byte and no branch on the code page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/utf8.h"

namespace xev::host {

enum CharClass : uint8_t {
  kLead = 0x01,   // may start a character of more than one byte
  kAlpha = 0x02,  // a letter
  kUpper = 0x04,  // an upper-case letter with a lower-case partner
  kLower = 0x08,  // a lower-case letter with an upper-case partner
  kDigit = 0x10,
};

struct CodePage {
  uint32_t id;
  bool dbcs;           // characters of one or two bytes (lead and trail)
  bool utf8;           // characters of one to four bytes, code points of Unicode
  uint8_t maxCharBytes;  // the most bytes one character takes
  uint8_t classes[256];
  uint8_t toUpper[256];  // single-byte case maps (identity where no partner)
  uint8_t toLower[256];
};

// The code page the host selected; never null.
const CodePage& CurrentCodePage();

inline bool IsLead(const CodePage& cp, unsigned char b) { return (cp.classes[b] & kLead) != 0; }

// Byte length of the character at p, of which at most available bytes may be
// read: 0 at the terminator (or when nothing is available), 2 for a lead byte
// with a trail byte after it, 1 to 4 for a well-formed UTF-8 sequence,
// otherwise 1. A lead byte without its trail, or a byte of a broken UTF-8
// sequence, is a character of its own, so nothing reads past the end and a
// position never falls inside a character. This is the one rule every walk
// over characters follows.
inline int CharLength(const CodePage& cp, const char* p, size_t available) {
  if (available == 0) return 0;
  auto b = static_cast<unsigned char>(*p);
  if (b == 0) return 0;
  if (!IsLead(cp, b)) return 1;
  if (cp.utf8) {
    int length = Utf8Sequence(p, available);
    return length > 0 ? length : 1;
  }
  return available >= 2 && p[1] != 0 ? 2 : 1;
}

// The same over a zero-terminated text.
inline int CharLength(const CodePage& cp, const char* p) { return CharLength(cp, p, SIZE_MAX); }

// The code point (UTF-8), lead << 8 | trail (double-byte) or byte of the
// character of length bytes at p.
inline uint32_t CharCode(const CodePage& cp, const char* p, int length) {
  if (cp.utf8) return length > 1 ? static_cast<uint32_t>(Utf8Decode(p, length)) : static_cast<unsigned char>(*p);
  uint32_t code = static_cast<unsigned char>(p[0]);
  return length == 2 ? code << 8 | static_cast<unsigned char>(p[1]) : code;
}

// Whether the double-byte character lead/trail is a letter, and its case
// partners (returns the character unchanged when it has none).
bool IsDoubleByteAlpha(unsigned lead, unsigned trail);
unsigned DoubleByteToUpper(unsigned ch);
unsigned DoubleByteToLower(unsigned ch);

// Folds the character of length bytes at p in place to its simple case
// partner. Under UTF-8 a partner that takes another number of bytes cannot
// stand in place, and the character is left as it is (the string functions
// that may change a text's length map it into a new buffer instead).
void FoldCharUpper(const CodePage& cp, char* p, int length);
void FoldCharLower(const CodePage& cp, char* p, int length);

// The same for the character at p of a zero-terminated text; returns its length.
int FoldCharUpper(const CodePage& cp, char* p);
int FoldCharLower(const CodePage& cp, char* p);

// The simple lower-case partner of a code point (itself when it has none).
uint32_t FoldCodePointLower(uint32_t ch);

}  // namespace xev::host
