// Character classes of the current ANSI code page, shared by the string
// operations and the platform's character functions. The classes live in one
// 256-entry table per code page so that the hot loops (character counting,
// stepping) cost one load per byte and no branch on the code page.
#pragma once

#include <cstdint>

namespace xev::host {

enum CharClass : uint8_t {
  kLead = 0x01,   // first byte of a double-byte character
  kAlpha = 0x02,  // a letter
  kUpper = 0x04,  // an upper-case letter with a lower-case partner
  kLower = 0x08,  // a lower-case letter with an upper-case partner
  kDigit = 0x10,
};

struct CodePage {
  uint32_t id;
  bool dbcs;
  uint8_t classes[256];
  uint8_t toUpper[256];  // single-byte case maps (identity where no partner)
  uint8_t toLower[256];
};

// The code page the host selected; never null.
const CodePage& CurrentCodePage();

inline bool IsLead(const CodePage& cp, unsigned char b) { return (cp.classes[b] & kLead) != 0; }

// Byte length of the character at p: 0 at the terminator, 2 for a lead byte
// with a trail byte after it, otherwise 1. A lead byte right before the
// terminator counts as a one-byte character so nothing reads past the end.
inline int CharLength(const CodePage& cp, const char* p) {
  auto b = static_cast<unsigned char>(*p);
  if (b == 0) return 0;
  if (IsLead(cp, b) && p[1] != 0) return 2;
  return 1;
}

// Whether the double-byte character lead/trail is a letter, and its case
// partners (returns the character unchanged when it has none).
bool IsDoubleByteAlpha(unsigned lead, unsigned trail);
unsigned DoubleByteToUpper(unsigned ch);
unsigned DoubleByteToLower(unsigned ch);

// Folds one character at p in place (one or two bytes) and returns its length.
int FoldCharUpper(const CodePage& cp, char* p);
int FoldCharLower(const CodePage& cp, char* p);

}  // namespace xev::host
