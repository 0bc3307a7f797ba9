// Byte strings of the current ANSI code page. Everything that counts or cuts
// walks whole characters, so a double-byte character is never split and a
// trail byte that happens to look like a blank, a delimiter or a letter is
// never taken for one. Positions count characters from 0, counts below zero
// act as 0, and a null string reads as empty. Destination and source may be
// the same buffer: copies are memmoves.
#include <cstring>

#include "host/case_mapping.h"
#include "host/code_page.h"
#include "xev/xevhost.h"

namespace {

using xev::host::CharLength;
using xev::host::CodePage;
using xev::host::CurrentCodePage;

const char* OrEmpty(const char* s) { return s == nullptr ? "" : s; }

// Blanks are what trimming removes and what separates words.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// How many of the first length bytes of s are ASCII, in words of eight
// bytes while they are: a text's ASCII is its characters of one byte under
// every code page.
size_t AsciiPrefix(const char* s, size_t length) {
  size_t i = 0;
  for (uint64_t word; i + 8 <= length; i += 8) {
    std::memcpy(&word, s + i, sizeof word);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  while (i < length && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

// The address n characters into s, or its terminator when s is shorter.
const char* SkipChars(const CodePage& cp, const char* s, int32_t n) {
  if (n <= 0) return s;
  const size_t length = std::strlen(s);
  const size_t wanted = static_cast<size_t>(n) < length ? static_cast<size_t>(n) : length;
  if (cp.maxCharBytes == 1) return s + wanted;
  const size_t ascii = AsciiPrefix(s, wanted);
  s += ascii;
  for (n -= static_cast<int32_t>(ascii); n > 0 && *s != 0; --n) s += CharLength(cp, s);
  return s;
}

// UTF-8 has a walk of its own, out of line, so that the two older code
// pages' walks stay small enough to be inlined where they are called.
[[gnu::noinline]] int32_t CountUtf8Chars(const CodePage& cp, const char* s) {
  const size_t length = std::strlen(s);
  const size_t ascii = AsciiPrefix(s, length);
  auto count = static_cast<int32_t>(ascii);
  for (s += ascii; *s != 0; ++count) s += CharLength(cp, s);
  return count;
}

int32_t CountChars(const CodePage& cp, const char* s) {
  if (cp.maxCharBytes == 1) return static_cast<int32_t>(std::strlen(s));
  if (cp.utf8) return CountUtf8Chars(cp, s);
  int32_t count = 0;
  for (;;) {
    auto b = static_cast<unsigned char>(*s);
    if (b == 0) return count;
    // A lead byte steps over its trail unless the trail is the terminator.
    s += ((cp.classes[b] & xev::host::kLead) != 0 && s[1] != 0) ? 2 : 1;
    ++count;
  }
}

// Copies the bytes [from, to) to dst and terminates it.
char* CopySpan(char* dst, const char* from, const char* to) {
  size_t length = static_cast<size_t>(to - from);
  std::memmove(dst, from, length);
  dst[length] = '\0';
  return dst;
}

// The end of s without its trailing blanks. Walks forward so that the blank
// test only ever sees the first byte of a character.
const char* EndWithoutTrailingBlanks(const CodePage& cp, const char* s) {
  const char* end = s;
  for (const char* p = s; *p != 0;) {
    int length = CharLength(cp, p);
    if (length != 1 || !IsBlank(*p)) end = p + length;
    p += length;
  }
  return end;
}

// Case in place under UTF-8: an ASCII text folds by the byte table in one
// pass; at the first byte beyond ASCII the whole text is mapped in full,
// which leaves the ASCII already folded as it is.
char* FoldUtf8(char* s, xev::host::CaseMap map, const uint8_t* table) {
  for (char* p = s; *p != 0; ++p) {
    auto b = static_cast<unsigned char>(*p);
    if (b >= 0x80) {
      xev::host::MapCase(map, s, s, true);
      return s;
    }
    *p = static_cast<char>(table[b]);
  }
  return s;
}

bool IsLetterAt(const CodePage& cp, const char* p, int length) {
  if (length == 2 && cp.dbcs) return xev::host::IsDoubleByteAlpha(static_cast<unsigned char>(p[0]), static_cast<unsigned char>(p[1]));
  return (cp.classes[static_cast<unsigned char>(*p)] & xev::host::kAlpha) != 0;
}

bool IsDigitAt(const CodePage& cp, const char* p, int length) {
  return length == 1 && (cp.classes[static_cast<unsigned char>(*p)] & xev::host::kDigit) != 0;
}

// Proper case raises a letter that starts a word and lowers the others. A
// letter that follows a letter or a digit continues a word; an apostrophe
// inside a word continues it ("o'brien's" is "O'Brien's"), except after a
// lone first letter, where names start again: "o'neil 3rd" becomes
// "O'Neil 3rd".
class ProperWords {
 public:
  // Whether the letter continues a word; then moves past it.
  bool Letter() {
    const bool inWord = inWord_;
    inWord_ = true;
    ++letters_;
    return inWord;
  }
  void Other(bool apostrophe, bool digit) {
    if (apostrophe && inWord_ && letters_ > 1) return;
    inWord_ = digit;
    if (!inWord_) letters_ = 0;
  }

 private:
  bool inWord_ = false;
  int32_t letters_ = 0;  // letters of the current word so far
};

// Proper case in place where every character is one byte: a single-byte code
// page, or ASCII under UTF-8. Under UTF-8 it stops at the first byte beyond
// ASCII and returns it; otherwise it returns null.
char* ProperBytes(const CodePage& cp, char* s) {
  ProperWords words;
  for (char* p = s; *p != 0; ++p) {
    const auto b = static_cast<unsigned char>(*p);
    if (cp.utf8 && b >= 0x80) return p;
    const uint8_t classes = cp.classes[b];
    if ((classes & xev::host::kAlpha) != 0) {
      *p = static_cast<char>((words.Letter() ? cp.toLower : cp.toUpper)[b]);
    } else {
      words.Other(b == '\'', (classes & xev::host::kDigit) != 0);
    }
  }
  return nullptr;
}

char* ProperDoubleByte(const CodePage& cp, char* s) {
  ProperWords words;
  for (char* p = s; *p != 0;) {
    int length = CharLength(cp, p);
    if (IsLetterAt(cp, p, length)) {
      if (words.Letter()) {
        xev::host::FoldCharLower(cp, p);
      } else {
        xev::host::FoldCharUpper(cp, p);
      }
    } else {
      words.Other(*p == '\'', IsDigitAt(cp, p, length));
    }
    p += length;
  }
  return s;
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL HostStrLen(const char* s) {
  return s == nullptr ? 0 : static_cast<int32_t>(std::strlen(s));
}

XEV_API int32_t XEV_CALL HostStrCharCount(const char* s) {
  return s == nullptr ? 0 : CountChars(CurrentCodePage(), s);
}

XEV_API char* XEV_CALL HostStrCopyChars(char* dst, const char* src, int32_t n) {
  if (dst == nullptr) return nullptr;
  src = OrEmpty(src);
  return CopySpan(dst, src, SkipChars(CurrentCodePage(), src, n));
}

XEV_API char* XEV_CALL HostStrLeft(char* dst, const char* src, int32_t n) {
  return HostStrCopyChars(dst, src, n);
}

XEV_API char* XEV_CALL HostStrRight(char* dst, const char* src, int32_t n) {
  if (dst == nullptr) return nullptr;
  src = OrEmpty(src);
  const CodePage& cp = CurrentCodePage();
  int32_t count = CountChars(cp, src);
  int32_t keep = n <= 0 ? 0 : (n < count ? n : count);
  const char* from = SkipChars(cp, src, count - keep);
  return CopySpan(dst, from, from + std::strlen(from));
}

XEV_API char* XEV_CALL HostStrMid(char* dst, const char* src, int32_t pos, int32_t n) {
  if (dst == nullptr) return nullptr;
  src = OrEmpty(src);
  const CodePage& cp = CurrentCodePage();
  const char* from = SkipChars(cp, src, pos);
  return CopySpan(dst, from, SkipChars(cp, from, n));
}

XEV_API char* XEV_CALL HostStrTrim(char* dst, const char* src) {
  if (dst == nullptr) return nullptr;
  const char* from = HostStrSkipBlanks(OrEmpty(src));
  return CopySpan(dst, from, EndWithoutTrailingBlanks(CurrentCodePage(), from));
}

XEV_API char* XEV_CALL HostStrRTrim(char* dst, const char* src) {
  if (dst == nullptr) return nullptr;
  src = OrEmpty(src);
  return CopySpan(dst, src, EndWithoutTrailingBlanks(CurrentCodePage(), src));
}

XEV_API char* XEV_CALL HostStrSkipBlanks(const char* s) {
  if (s == nullptr) return nullptr;
  while (IsBlank(*s)) ++s;  // a blank is never a trail byte, so bytes will do
  return const_cast<char*>(s);
}

XEV_API char* XEV_CALL HostStrUpper(char* s) {
  if (s == nullptr) return nullptr;
  const CodePage& cp = CurrentCodePage();
  if (cp.utf8) return FoldUtf8(s, xev::host::CaseMap::kUpper, cp.toUpper);
  for (char* p = s; *p != 0;) p += xev::host::FoldCharUpper(cp, p);
  return s;
}

XEV_API char* XEV_CALL HostStrLower(char* s) {
  if (s == nullptr) return nullptr;
  const CodePage& cp = CurrentCodePage();
  if (cp.utf8) return FoldUtf8(s, xev::host::CaseMap::kLower, cp.toLower);
  for (char* p = s; *p != 0;) p += xev::host::FoldCharLower(cp, p);
  return s;
}

XEV_API char* XEV_CALL HostStrProper(char* dst, const char* src) {
  if (dst == nullptr) return nullptr;
  src = OrEmpty(src);
  CopySpan(dst, src, src + std::strlen(src));
  const CodePage& cp = CurrentCodePage();
  if (cp.dbcs) return ProperDoubleByte(cp, dst);
  // Under UTF-8 a text beyond ASCII is mapped in full, from its start: the
  // ASCII before it is already in the case the full mapping gives it.
  if (ProperBytes(cp, dst) != nullptr) xev::host::MapCase(xev::host::CaseMap::kProper, dst, dst, true);
  return dst;
}

XEV_API char* XEV_CALL HostStrReplace(char* dst, const char* src, const char* repl, int32_t pos,
                                      int32_t n) {
  if (dst == nullptr) return nullptr;
  src = OrEmpty(src);
  repl = OrEmpty(repl);
  const CodePage& cp = CurrentCodePage();
  const char* cutFrom = SkipChars(cp, src, pos);
  const char* cutTo = SkipChars(cp, cutFrom, n);
  size_t prefixLength = static_cast<size_t>(cutFrom - src);
  size_t replLength = std::strlen(repl);
  // The tail moves first: when dst is src it may sit where repl will go.
  std::memmove(dst + prefixLength + replLength, cutTo, std::strlen(cutTo) + 1);
  std::memmove(dst, src, prefixLength);
  std::memmove(dst + prefixLength, repl, replLength);
  return dst;
}

XEV_API int32_t XEV_CALL HostStrScan(const char* s, const char* pattern) {
  s = OrEmpty(s);
  pattern = OrEmpty(pattern);
  size_t patternLength = std::strlen(pattern);
  const CodePage& cp = CurrentCodePage();
  int32_t position = 0;
  // Candidates are character starts only, so a match never begins on a trail byte.
  for (const char* p = s;; ++position) {
    if (std::strncmp(p, pattern, patternLength) == 0) return position;
    if (*p == 0) return -1;
    p += CharLength(cp, p);
  }
}

XEV_API char* XEV_CALL HostStrChr(const char* s, int32_t ch) {
  if (s == nullptr) return nullptr;
  if (ch < 0 && ch >= -128) ch &= 0xFF;  // a plain char passed through a signed int
  const CodePage& cp = CurrentCodePage();
  if (ch < 0 || ch > (cp.utf8 ? 0x10FFFF : 0xFFFF)) return nullptr;
  auto wanted = static_cast<unsigned>(ch);
  for (const char* p = s;;) {
    int length = CharLength(cp, p);
    if (length == 0) return wanted == 0 ? const_cast<char*>(p) : nullptr;
    if (xev::host::CharCode(cp, p, length) == wanted) return const_cast<char*>(p);
    p += length;
  }
}

XEV_API int32_t XEV_CALL HostStrEqual(const char* a, const char* b) {
  return std::strcmp(OrEmpty(a), OrEmpty(b)) == 0 ? 1 : 0;
}

XEV_API char* XEV_CALL HostStrNormalize(char* s) {
  if (s == nullptr) return nullptr;
  const CodePage& cp = CurrentCodePage();
  char* out = s;
  for (const char* p = s; *p != 0;) {
    int length = CharLength(cp, p);
    auto first = static_cast<unsigned char>(*p);
    bool control = length == 1 && (first < 0x20 || first == 0x7F);
    if (!control) {
      std::memmove(out, p, static_cast<size_t>(length));
      out += length;
    }
    p += length;
  }
  *out = '\0';
  *const_cast<char*>(EndWithoutTrailingBlanks(cp, s)) = '\0';
  return s;
}

XEV_API int32_t XEV_CALL HostStrPrefix(const char* s, const char* prefix, int32_t n) {
  s = OrEmpty(s);
  prefix = OrEmpty(prefix);
  const CodePage& cp = CurrentCodePage();
  for (; n > 0; --n) {
    int length = CharLength(cp, s);
    if (CharLength(cp, prefix) != length || std::memcmp(s, prefix, static_cast<size_t>(length)) != 0) {
      return 0;
    }
    if (length == 0) return 1;  // both ended together
    s += length;
    prefix += length;
  }
  return 1;
}

XEV_API char* XEV_CALL HostStrAdvance(const char* s, int32_t n) {
  if (s == nullptr) return nullptr;
  return const_cast<char*>(SkipChars(CurrentCodePage(), s, n));
}

}  // extern "C"
