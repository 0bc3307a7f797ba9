// Full case mapping of UTF-8 text, from the simple one to one partners plus
// the special cases that map one character to several. Greek capital sigma
// lowers to the final form at the end of a word, as the language requires.
#include "host/case_mapping.h"

#include <cstdint>
#include <cstring>

#include "host/code_page.h"
#include "host/special_casing.h"
#include "host/unicode.h"
#include "host/utf8.h"

namespace xev::host {

namespace {

constexpr char32_t kCapitalSigma = 0x3A3;
constexpr char32_t kFinalSigma = 0x3C2;
constexpr char32_t kCapitalIDot = 0x130;

// Up to three code points a character maps to.
struct Mapped {
  char32_t chars[3];
  int count;
};

bool IsLetterCode(char32_t ch) {
  if (ch < 0x80) return (ch | 0x20) >= 'a' && (ch | 0x20) <= 'z';
  return unicode::IsLetter(ch);
}

// Digits and the numbers of other scripts: a word goes on after them.
bool IsNumberCode(char32_t ch) {
  if (ch < 0x80) return ch >= '0' && ch <= '9';
  return unicode::IsWordChar(ch) && !unicode::IsLetter(ch) && !unicode::IsMark(ch);
}

bool IsMarkCode(char32_t ch) { return ch >= 0x80 && unicode::IsMark(ch); }

// The character at p (of length bytes) and whether it is one: broken bytes
// are not, and stay as they are.
bool CodeAt(const char* p, int length, char32_t* ch) {
  if (length == 1 && static_cast<unsigned char>(*p) >= 0x80) return false;
  *ch = Utf8Decode(p, length);
  return true;
}

// Whether a letter follows at p, past any marks: the end of a word decides
// the form of sigma.
bool LetterFollows(const CodePage& cp, const char* p) {
  for (int length = CharLength(cp, p); length > 0; p += length, length = CharLength(cp, p)) {
    char32_t ch = 0;
    if (!CodeAt(p, length, &ch)) return false;
    if (!IsMarkCode(ch)) return IsLetterCode(ch);
  }
  return false;
}

Mapped Upper(char32_t ch, bool title) {
  if (const char32_t* special = SpecialUpper(ch, title)) {
    Mapped out{{special[0], special[1], special[2]}, 1};
    while (out.count < 3 && out.chars[out.count] != 0) ++out.count;
    return out;
  }
  return {{title ? unicode::ToTitle(ch) : unicode::ToUpper(ch)}, 1};
}

// Sigma ends a word in its final form: after a letter, with none following.
Mapped Lower(char32_t ch, bool afterLetter, const CodePage& cp, const char* next) {
  if (ch == kCapitalIDot) return {{'i', 0x307}, 2};
  if (ch == kCapitalSigma && afterLetter && !LetterFollows(cp, next)) return {{kFinalSigma}, 1};
  return {{unicode::ToLower(ch)}, 1};
}

// Where a text stands in its words, for proper case and for sigma: a letter
// after a letter or a number goes on with a word, any other letter starts
// one; marks belong to the character before them; an apostrophe after two
// letters or more stays inside the word.
class Words {
 public:
  // Whether ch starts a word; then moves past it.
  bool Step(char32_t ch) {
    if (IsMarkCode(ch)) return false;
    afterLetter_ = IsLetterCode(ch);
    if (afterLetter_) {
      bool starts = !inWord_;
      inWord_ = true;
      ++letters_;
      return starts;
    }
    if (ch == '\'' && inWord_ && letters_ > 1) return false;
    inWord_ = IsNumberCode(ch);
    if (!inWord_) letters_ = 0;
    return false;
  }

  bool AfterLetter() const { return afterLetter_; }

 private:
  bool inWord_ = false;
  bool afterLetter_ = false;
  int letters_ = 0;
};

Mapped MapOne(CaseMap map, char32_t ch, Words& words, const CodePage& cp, const char* next) {
  const bool afterLetter = words.AfterLetter();
  const bool starts = words.Step(ch);
  if (ch < 0x80) {
    // ASCII maps by the code page's byte tables, as under the other code pages.
    const bool raise = map == CaseMap::kUpper || (map == CaseMap::kProper && starts);
    return {{(raise ? cp.toUpper : cp.toLower)[ch]}, 1};
  }
  if (map == CaseMap::kUpper) return Upper(ch, false);
  if (map == CaseMap::kProper && !IsLetterCode(ch)) return {{ch}, 1};
  if (map == CaseMap::kProper && starts) return Upper(ch, true);
  return Lower(ch, afterLetter, cp, next);
}

}  // namespace

size_t MapCase(CaseMap map, const char* src, char* dst, bool noGrowth) {
  const CodePage& cp = CurrentCodePage();
  size_t out = 0;
  Words words;
  const uint8_t* asciiMap = map == CaseMap::kUpper ? cp.toUpper : cp.toLower;
  for (const char* p = src; *p != 0;) {
    const auto first = static_cast<unsigned char>(*p);
    if (first < 0x80) {
      // ASCII maps by the code page's byte tables, as under the other code
      // pages; a letter is all that sigma asks of what came before.
      const bool starts = words.Step(first);
      if (dst != nullptr) dst[out] = static_cast<char>((map == CaseMap::kProper && starts ? cp.toUpper : asciiMap)[first]);
      ++out;
      ++p;
      continue;
    }
    const int length = CharLength(cp, p);
    char encoded[12];
    int size = 0;
    char32_t ch = 0;
    if (CodeAt(p, length, &ch)) {
      const Mapped mapped = MapOne(map, ch, words, cp, p + length);
      for (int i = 0; i < mapped.count; ++i) size += Utf8Encode(mapped.chars[i], encoded + size);
    }
    if (size == 0 || (noGrowth && size > length)) {
      std::memcpy(encoded, p, static_cast<size_t>(length));
      size = length;
    }
    // In place the result never overtakes the text: what is written ends
    // where the character just read ends, or before.
    if (dst != nullptr) std::memmove(dst + out, encoded, static_cast<size_t>(size));
    out += static_cast<size_t>(size);
    p += length;
  }
  if (dst != nullptr) dst[out] = '\0';
  return out + 1;
}

}  // namespace xev::host
