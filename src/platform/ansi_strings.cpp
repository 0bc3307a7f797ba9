// ANSI byte-string and character functions over the host's current code page.
// Null pointers are tolerated the way callers of these functions expect: a
// null string reads as empty and a null destination leaves nothing written.
#include <cstring>

#include "host/code_page.h"
#include "platform/platform.h"

namespace xev::platform {

namespace {

using host::CodePage;

int32_t Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// The character at p folded to lower case, as a code that orders like the
// bytes themselves: lead << 8 | trail for a double-byte character, byte << 8
// for a single one; under UTF-8 the code point, as code point order is byte
// order there. Also gives the character's length in bytes.
unsigned LowerCharAt(const CodePage& cp, const char* p, int* length) {
  *length = host::CharLength(cp, p);
  auto first = static_cast<unsigned char>(p[0]);
  if (cp.utf8) {
    if (*length > 1) return host::FoldCodePointLower(host::CharCode(cp, p, *length));
    // A byte of a broken sequence is no code point: it sorts after them all.
    return first < 0x80 ? cp.toLower[first] : 0x110000u | first;
  }
  if (*length == 2) {
    return host::DoubleByteToLower(first << 8 | static_cast<unsigned char>(p[1]));
  }
  return static_cast<unsigned>(cp.toLower[first]) << 8;
}

}  // namespace

int32_t lstrlenA(const char* s) { return s == nullptr ? 0 : static_cast<int32_t>(std::strlen(s)); }

char* lstrcpyA(char* dst, const char* src) {
  if (dst == nullptr) return nullptr;
  if (src == nullptr) src = "";
  std::memmove(dst, src, std::strlen(src) + 1);
  return dst;
}

char* lstrcatA(char* dst, const char* src) {
  if (dst == nullptr) return nullptr;
  if (src == nullptr) return dst;
  std::memmove(dst + std::strlen(dst), src, std::strlen(src) + 1);
  return dst;
}

int32_t lstrcmpA(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return Sign((a != nullptr) - (b != nullptr));
  return Sign(std::strcmp(a, b));  // strcmp compares as unsigned bytes
}

int32_t lstrcmpiA(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return Sign((a != nullptr) - (b != nullptr));
  const CodePage& cp = host::CurrentCodePage();
  for (;;) {
    int lengthA = 0;
    int lengthB = 0;
    unsigned ca = LowerCharAt(cp, a, &lengthA);
    unsigned cb = LowerCharAt(cp, b, &lengthB);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
    a += lengthA;
    b += lengthB;
  }
}

char* CharNextA(const char* p) {
  if (p == nullptr) return nullptr;
  return const_cast<char*>(p + host::CharLength(host::CurrentCodePage(), p));
}

uint32_t CharUpperBuffA(char* s, uint32_t length) {
  if (s == nullptr) return 0;
  const CodePage& cp = host::CurrentCodePage();
  for (uint32_t i = 0; i < length;) {
    // A character cut off by length is only its first byte, which no case
    // map changes. A zero byte inside the range is stepped over like any other.
    int size = host::CharLength(cp, s + i, length - i);
    if (size == 0) size = 1;
    host::FoldCharUpper(cp, s + i, size);
    i += static_cast<uint32_t>(size);
  }
  return length;
}

int32_t IsCharAlphaA(char ch) {
  return (host::CurrentCodePage().classes[static_cast<unsigned char>(ch)] & host::kAlpha) != 0 ? 1 : 0;
}

}  // namespace xev::platform
