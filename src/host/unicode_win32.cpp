// The Unicode character data from the system (the Windows build, which has no
// utf8proc). Case partners come from the invariant locale's mapping, classes
// from the character type tables. The difference from the other builds: the
// type tables know letters, digits and combining marks but not every other
// number (such as Roman numerals), which names therefore cannot use here.
#ifdef _WIN32
#include "host/unicode.h"

#include <windows.h>

#include <initializer_list>

namespace xev::host::unicode {

namespace {

int ToUtf16(char32_t ch, wchar_t* units) {
  if (ch < 0x10000) {
    units[0] = static_cast<wchar_t>(ch);
    return 1;
  }
  ch -= 0x10000;
  units[0] = static_cast<wchar_t>(0xD800 + (ch >> 10));
  units[1] = static_cast<wchar_t>(0xDC00 + (ch & 0x3FF));
  return 2;
}

char32_t Map(char32_t ch, DWORD flags) {
  if (ch >= 0xD800 && ch <= 0xDFFF) return ch;
  wchar_t in[2];
  wchar_t out[4];
  int count = ToUtf16(ch, in);
  int written = LCMapStringW(LOCALE_INVARIANT, flags, in, count, out, 4);
  // Only one to one answers are simple case partners.
  if (written == 1) return out[0];
  if (written == 2 && count == 2 && out[0] >= 0xD800 && out[0] <= 0xDBFF) {
    return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) + (out[1] - 0xDC00);
  }
  return ch;
}

bool Types(char32_t ch, DWORD table, WORD* types) {
  wchar_t in[2];
  int count = ToUtf16(ch, in);
  WORD each[2] = {0, 0};
  if (!GetStringTypeW(table, in, count, each)) return false;
  *types = each[0];
  return true;
}

}  // namespace

char32_t ToUpper(char32_t ch) { return Map(ch, LCMAP_UPPERCASE); }
char32_t ToLower(char32_t ch) { return Map(ch, LCMAP_LOWERCASE); }
// Title case differs from upper case, one character to one, only for the
// four Latin digraphs, each a run of three: upper, title, lower.
char32_t ToTitle(char32_t ch) {
  for (char32_t first : {0x1C4, 0x1C7, 0x1CA, 0x1F1}) {
    if (ch >= first && ch < first + 3) return first + 1;
  }
  return Map(ch, LCMAP_UPPERCASE);
}

bool IsLetter(char32_t ch) {
  WORD types = 0;
  return Types(ch, CT_CTYPE1, &types) && (types & C1_ALPHA) != 0 && (types & C1_DIGIT) == 0;
}

bool IsMark(char32_t ch) {
  WORD types = 0;
  if (Types(ch, CT_CTYPE1, &types) && (types & (C1_ALPHA | C1_DIGIT)) != 0) return false;
  return Types(ch, CT_CTYPE3, &types) && (types & (C3_NONSPACING | C3_DIACRITIC | C3_VOWELMARK)) != 0;
}

bool IsWordChar(char32_t ch) {
  WORD types = 0;
  if (Types(ch, CT_CTYPE1, &types) && (types & (C1_ALPHA | C1_DIGIT)) != 0) return true;
  return Types(ch, CT_CTYPE3, &types) && (types & (C3_NONSPACING | C3_DIACRITIC | C3_VOWELMARK)) != 0;
}

}  // namespace xev::host::unicode
#endif
