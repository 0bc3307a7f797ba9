// What the scanner's shortcut and the direct parser's byte reader both go
// by: the kinds of the bytes that begin and end the common tokens, and the
// keywords with their lookup. One table of each, so that the two readers
// cannot disagree about a keyword or about where a token ends.
#pragma once

#include <array>
#include <cstdint>

#include "host/unicode.h"
#include "host/utf8.h"
#include "language/language.h"

namespace xev::language::scan_bytes {

// Every keyword is a word of at most eight letters. Such a word, folded to
// upper case, packs into one integer (first letter in the lowest byte), so
// telling keywords apart costs one comparison each. A word matched by the
// word rule holds only ASCII letters, which clearing bit 5 upper-cases.
constexpr uint32_t kMaxKeywordLength = 8;

inline uint64_t WordKey(const char* word, uint32_t len) {
  if (len > kMaxKeywordLength) return 0;  // no keyword packs to 0
  uint64_t key = 0;
  for (uint32_t i = len; i-- > 0;) key = key << 8 | (static_cast<uint8_t>(word[i]) & 0xDFu);
  return key;
}

constexpr uint32_t Length(const char* text) {
  uint32_t len = 0;
  while (text[len] != 0) ++len;
  return len;
}

constexpr uint64_t Key(const char* upper) {
  uint64_t key = 0;
  for (uint32_t i = Length(upper); i-- > 0;) key = key << 8 | static_cast<uint8_t>(upper[i]);
  return key;
}

// The keywords, the one place that lists them: the token a keyword makes
// and the unit or quantifier it stands for. A date unit may take one plural
// "S", no more: "DAYSS" stays a name.
enum class KeywordKind : uint8_t { kAnd, kDateUnit, kQuantifier };
struct Keyword {
  const char* spelling;
  KeywordKind kind;
  uint16_t meaning;
};
constexpr Keyword kKeywords[] = {
    {"AND", KeywordKind::kAnd, 0},
    {"DAY", KeywordKind::kDateUnit, DU_DAY},          {"DAYS", KeywordKind::kDateUnit, DU_DAY},
    {"MONTH", KeywordKind::kDateUnit, DU_MONTH},      {"MONTHS", KeywordKind::kDateUnit, DU_MONTH},
    {"YEAR", KeywordKind::kDateUnit, DU_YEAR},        {"YEARS", KeywordKind::kDateUnit, DU_YEAR},
    {"HOUR", KeywordKind::kDateUnit, DU_HOUR},        {"HOURS", KeywordKind::kDateUnit, DU_HOUR},
    {"MINUTE", KeywordKind::kDateUnit, DU_MINUTE},    {"MINUTES", KeywordKind::kDateUnit, DU_MINUTE},
    {"SECOND", KeywordKind::kDateUnit, DU_SECOND},    {"SECONDS", KeywordKind::kDateUnit, DU_SECOND},
    {"DISTINCT", KeywordKind::kQuantifier, QU_DISTINCT}, {"ALL", KeywordKind::kQuantifier, QU_ALL},
};

// Drawn from the table: the letters keywords begin with and their lengths,
// which let most words pass without a lookup.
struct KeywordBounds {
  uint32_t initials = 0;  // bit n: a keyword begins with 'A' + n
  uint32_t shortest = kMaxKeywordLength;
  uint32_t longest = 0;
};
constexpr KeywordBounds kKeywordBounds = [] {
  KeywordBounds bounds;
  for (const Keyword& keyword : kKeywords) {
    const uint32_t len = Length(keyword.spelling);
    bounds.initials |= 1u << (keyword.spelling[0] - 'A');
    bounds.shortest = len < bounds.shortest ? len : bounds.shortest;
    bounds.longest = len > bounds.longest ? len : bounds.longest;
  }
  return bounds;
}();
static_assert(kKeywordBounds.longest <= kMaxKeywordLength, "a keyword must pack into one key");

// A perfect hash of the keys: the top bits of the key times a multiplier
// found while compiling, so that no two keywords share a slot.
constexpr uint32_t kKeywordSlotBits = 6;
constexpr uint32_t SlotOf(uint64_t key, uint64_t multiplier) {
  return static_cast<uint32_t>((key * multiplier) >> (64 - kKeywordSlotBits));
}
constexpr uint64_t kKeywordMultiplier = [] {
  for (uint64_t multiplier = 0x9E3779B97F4A7C15u;; multiplier += 2) {
    uint64_t taken = 0;
    bool clash = false;
    for (const Keyword& keyword : kKeywords) {
      const uint64_t bit = uint64_t{1} << SlotOf(Key(keyword.spelling), multiplier);
      clash = clash || (taken & bit) != 0;
      taken |= bit;
    }
    if (!clash) return multiplier;
  }
}();
struct KeywordSlot {
  uint64_t key = 0;
  int8_t keyword = -1;  // index into kKeywords; -1 for an empty slot
};
constexpr auto kKeywordSlots = [] {
  std::array<KeywordSlot, 1u << kKeywordSlotBits> slots{};
  for (size_t i = 0; i < std::size(kKeywords); ++i) {
    const uint64_t key = Key(kKeywords[i].spelling);
    slots[SlotOf(key, kKeywordMultiplier)] = KeywordSlot{key, static_cast<int8_t>(i)};
  }
  return slots;
}();

inline bool MayBeKeyword(const char* word, uint32_t len) {
  if (len < kKeywordBounds.shortest || len > kKeywordBounds.longest) return false;
  const uint32_t letter = static_cast<uint32_t>((word[0] & 0xDF) - 'A');
  return letter < 26 && ((kKeywordBounds.initials >> letter) & 1) != 0;
}

// The keyword a word of letters is, or nullptr.
inline const Keyword* KeywordOf(const char* word, uint32_t len) {
  const uint64_t key = WordKey(word, len);
  const KeywordSlot& slot = kKeywordSlots[SlotOf(key, kKeywordMultiplier)];
  if (slot.keyword < 0 || slot.key != key) return nullptr;
  return &kKeywords[slot.keyword];
}

// ---- Bytes ------------------------------------------------------------------------

// The kinds of run bytes are kLetter to kSymbol, one range.
enum ByteKind : uint8_t { kOther, kLetter, kDigit, kSymbol, kStop };

constexpr auto kByteKinds = [] {
  std::array<uint8_t, 256> kinds{};
  for (int b = 'A'; b <= 'Z'; ++b) kinds[b] = kLetter;
  for (int b = 'a'; b <= 'z'; ++b) kinds[b] = kLetter;
  for (int b = '0'; b <= '9'; ++b) kinds[b] = kDigit;
  for (char b : {'@', '#', '$', '_'}) kinds[static_cast<uint8_t>(b)] = kSymbol;
  for (char b : {')', '*', '+', ',', '-', '/', '%', '|'}) kinds[static_cast<uint8_t>(b)] = kStop;
  return kinds;
}();

constexpr uint8_t KindOf(char b) { return kByteKinds[static_cast<uint8_t>(b)]; }
inline bool IsRunByte(char b) { return KindOf(b) != kOther && KindOf(b) != kStop; }
constexpr bool IsDigitByte(char b) { return KindOf(b) == kDigit; }
// A stop byte straight after digits: "-" and "/" would separate a date there.
inline bool StopsNumber(char b) { return KindOf(b) == kStop && b != '-' && b != '/'; }

// A stop byte, or the end of the text: then the blank after it is read,
// which every rule still alive after a name, spaces or a number takes.
inline bool EndsMatch(char b) { return KindOf(b) == kStop || b == '\0'; }

// ---- Words ------------------------------------------------------------------------

// A character beyond ASCII that a name may hold under UTF-8, a letter, mark
// or number of any script: its length in bytes, or 0. The one place that
// says which such characters make names; the name check goes by it too.
inline int WideNameCharLength(const char* p) {
  const int length = host::Utf8Sequence(p, 4);
  if (length < 2) return 0;
  return host::unicode::IsWordChar(host::Utf8Decode(p, length)) ? length : 0;
}

struct WordMatch {
  uint32_t length;  // bytes of the name; 0 when the text begins no word
  uint32_t end;     // the byte after the name and the spaces after it
  bool letters;     // ASCII letters alone, so maybe a keyword
};

// The word rule of both readers: a run of ASCII letters, digits and @#$_ that
// begins with a letter (under UTF-8 also name characters beyond ASCII, which
// may begin it too), then any spaces. A call follows when bytes[end] is "(",
// and the match ends there when EndsMatch(bytes[end]); anything else is for
// the automaton to read. An all-ASCII run never leaves the first loop.
inline WordMatch MatchWord(const char* bytes, bool utf8) {
  // The kinds of a run's bytes, or'ed: letters alone leave kLetter.
  static_assert((kLetter | kDigit) != kLetter && (kLetter | kSymbol) != kLetter);
  uint32_t kinds = kLetter;
  bool wide = false;
  uint32_t n = 0;
  if (KindOf(bytes[0]) != kLetter) {
    n = utf8 && static_cast<uint8_t>(bytes[0]) >= 0x80 ? static_cast<uint32_t>(WideNameCharLength(bytes)) : 0;
    if (n == 0) return {0, 0, false};
    wide = true;
  }
  for (;;) {
    for (;; ++n) {
      const uint32_t kind = KindOf(bytes[n]);
      if (kind - kLetter > kSymbol - kLetter) break;  // not a run byte
      kinds |= kind;
    }
    if (!utf8 || static_cast<uint8_t>(bytes[n]) < 0x80) break;
    const int length = WideNameCharLength(bytes + n);
    if (length == 0) break;
    n += static_cast<uint32_t>(length);
    wide = true;
  }
  uint32_t end = n;
  while (bytes[end] == ' ') ++end;
  return {n, end, kinds == kLetter && !wide};
}

// ---- Numbers ----------------------------------------------------------------------

// The byte that parts a number's whole digits from its fraction. The
// automaton's number rules take their digits and this byte from here too.
constexpr char kDecimalPoint = '.';

// Runs of digits up to this long make a number's coefficient exactly in 64
// bits, so both readers convert them themselves; longer runs take the host's
// general conversion.
constexpr uint32_t kShortCoefficientDigits = 18;

struct NumberMatch {
  uint32_t length;       // bytes of the number; 0 when the automaton must read it
  uint32_t end;          // the byte that ends the match: a stop byte or the end of the text
  uint32_t digits;       // digits of the coefficient, whole and fraction
  uint64_t coefficient;  // all digits as one integer; exact when digits <= kShortCoefficientDigits
  int32_t exponent;      // minus the digits after the point
};

// The number rule of both readers, for text that begins with a digit: digits
// with at most one point and digits after it, then any spaces, then a byte
// that no longer rule could take. After digits a stop byte ends the number
// unless it is "-" or "/", which would make a date of it; after spaces only
// a month name or an AM/PM marker could follow, both letters, so any stop
// byte ends it there, and so does the end of the text after a fraction or
// whole digits. "12." before a blank or the end is left to the automaton,
// where the blank itself is what stops it.
inline NumberMatch MatchNumber(const char* bytes) {
  NumberMatch match{0, 0, 0, 0, 0};
  if (!IsDigitByte(bytes[0])) return match;
  uint64_t coefficient = 0;
  uint32_t n = 0;
  for (; IsDigitByte(bytes[n]); ++n) coefficient = coefficient * 10 + static_cast<uint8_t>(bytes[n] - '0');
  uint32_t digits = n;
  bool bareDot = false;
  if (bytes[n] == kDecimalPoint) {
    uint32_t after = n + 1;
    for (; IsDigitByte(bytes[after]); ++after) {
      coefficient = coefficient * 10 + static_cast<uint8_t>(bytes[after] - '0');
    }
    match.exponent = -static_cast<int32_t>(after - n - 1);
    digits += after - n - 1;
    bareDot = after == n + 1;
    n = after;
  }
  uint32_t end = n;
  if (bytes[end] == ' ' && !bareDot) {
    while (bytes[end] == ' ') ++end;
    if (!EndsMatch(bytes[end])) return match;
  } else if (!StopsNumber(bytes[end]) && (bareDot || bytes[end] != '\0')) {
    return match;
  }
  match.length = n;
  match.end = end;
  match.digits = digits;
  match.coefficient = coefficient;
  return match;
}

}  // namespace xev::language::scan_bytes
