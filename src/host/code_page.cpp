// The code pages the runtime knows: Western (1252, single-byte, the default),
// Shift-JIS (932, double-byte) and UTF-8 (65001). Their byte tables are built
// at compile time, so switching code page is one pointer store and the tables
// are ready before any static initialiser can ask for them.
#include "host/code_page.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>

#include "host/unicode.h"
#include "xev/xevhost.h"

namespace xev::host {

namespace {

constexpr void MarkRange(CodePage& cp, unsigned from, unsigned to, uint8_t cls) {
  for (unsigned b = from; b <= to; ++b) cp.classes[b] |= cls;
}

// Pairs an upper-case byte with its lower-case partner in both maps.
constexpr void PairCase(CodePage& cp, unsigned upper, unsigned lower) {
  cp.classes[upper] |= kAlpha | kUpper;
  cp.classes[lower] |= kAlpha | kLower;
  cp.toLower[upper] = static_cast<uint8_t>(lower);
  cp.toUpper[lower] = static_cast<uint8_t>(upper);
}

constexpr CodePage MakeAsciiBase(uint32_t id, bool dbcs, bool utf8) {
  CodePage cp{};
  cp.id = id;
  cp.dbcs = dbcs;
  cp.utf8 = utf8;
  cp.maxCharBytes = utf8 ? 4 : (dbcs ? 2 : 1);
  for (unsigned b = 0; b < 256; ++b) {
    cp.classes[b] = 0;
    cp.toUpper[b] = static_cast<uint8_t>(b);
    cp.toLower[b] = static_cast<uint8_t>(b);
  }
  for (unsigned b = 'A'; b <= 'Z'; ++b) PairCase(cp, b, b + 32);
  MarkRange(cp, '0', '9', kDigit);
  return cp;
}

constexpr CodePage MakeWestern() {
  CodePage cp = MakeAsciiBase(XEV_CP_WESTERN, false, false);
  PairCase(cp, 0x8A, 0x9A);  // S caron
  PairCase(cp, 0x8C, 0x9C);  // OE ligature
  PairCase(cp, 0x8E, 0x9E);  // Z caron
  PairCase(cp, 0x9F, 0xFF);  // Y diaeresis
  for (unsigned b = 0xC0; b <= 0xDE; ++b) {
    if (b != 0xD7) PairCase(cp, b, b + 0x20);  // 0xD7 and 0xF7 are the multiply and divide signs
  }
  // Letters without a case partner: ordinal indicators, micro sign, sharp s.
  cp.classes[0xAA] |= kAlpha;
  cp.classes[0xB5] |= kAlpha;
  cp.classes[0xBA] |= kAlpha;
  cp.classes[0xDF] |= kAlpha;
  return cp;
}

constexpr CodePage MakeShiftJis() {
  CodePage cp = MakeAsciiBase(XEV_CP_SHIFTJIS, true, false);
  MarkRange(cp, 0x81, 0x9F, kLead);
  MarkRange(cp, 0xE0, 0xFC, kLead);
  MarkRange(cp, 0xA6, 0xDF, kAlpha);  // half-width katakana and sound marks
  return cp;
}

// Bytes above 0x7F are letters only as parts of a whole character, which the
// byte table cannot see; the table marks the bytes that may start one.
constexpr CodePage MakeUtf8() {
  CodePage cp = MakeAsciiBase(XEV_CP_UTF8, false, true);
  MarkRange(cp, 0xC2, 0xF4, kLead);
  return cp;
}

constexpr CodePage kWestern = MakeWestern();
constexpr CodePage kShiftJis = MakeShiftJis();
constexpr CodePage kUtf8 = MakeUtf8();

// The host's selection: the one piece of mutable state of the code page layer.
// Every thread reads it; relaxed order is enough for a pointer to constant tables.
std::atomic<const CodePage*> g_current{&kWestern};

constexpr bool IsTrailByte(unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

constexpr bool InRange(unsigned ch, unsigned from, unsigned to) { return ch >= from && ch <= to; }

// Double-byte letters that change case: full-width Latin, Greek, Cyrillic.
// Cyrillic lower case skips trail 0x7F, which is no trail byte.
struct CaseBlock {
  unsigned upperFirst, lowerFirst, count;
};
constexpr CaseBlock kCaseBlocks[] = {
    {0x8260, 0x8281, 26},  // full-width A-Z / a-z
    {0x839F, 0x83BF, 24},  // Greek
    {0x8440, 0x8470, 15},  // Cyrillic, first run of lower case
    {0x844F, 0x8480, 18},  // Cyrillic, second run
};

}  // namespace

const CodePage& CurrentCodePage() { return *g_current.load(std::memory_order_relaxed); }

bool IsDoubleByteAlpha(unsigned lead, unsigned trail) {
  if (!IsTrailByte(trail)) return false;
  unsigned ch = lead << 8 | trail;
  return InRange(ch, 0x8152, 0x8155)       // iteration marks
         || InRange(ch, 0x8157, 0x815B)    // repeat marks and the prolonged sound mark
         || InRange(ch, 0x8260, 0x8279)    // full-width A-Z
         || InRange(ch, 0x8281, 0x829A)    // full-width a-z
         || InRange(ch, 0x829F, 0x82F1)    // hiragana
         || InRange(ch, 0x8340, 0x8396)    // katakana
         || InRange(ch, 0x839F, 0x83B6)    // Greek upper case
         || InRange(ch, 0x83BF, 0x83D6)    // Greek lower case
         || InRange(ch, 0x8440, 0x8460)    // Cyrillic upper case
         || InRange(ch, 0x8470, 0x8491)    // Cyrillic lower case
         || InRange(ch, 0x889F, 0xEAA4)    // kanji, both levels
         || InRange(ch, 0xED40, 0xEEEC)    // extended kanji
         || InRange(ch, 0xFA5C, 0xFC4B);   // extended kanji
}

unsigned DoubleByteToUpper(unsigned ch) {
  for (const CaseBlock& block : kCaseBlocks) {
    if (InRange(ch, block.lowerFirst, block.lowerFirst + block.count - 1)) {
      return block.upperFirst + (ch - block.lowerFirst);
    }
  }
  return ch;
}

unsigned DoubleByteToLower(unsigned ch) {
  for (const CaseBlock& block : kCaseBlocks) {
    if (InRange(ch, block.upperFirst, block.upperFirst + block.count - 1)) {
      return block.lowerFirst + (ch - block.upperFirst);
    }
  }
  return ch;
}

namespace {

using CodePointMap = char32_t (*)(char32_t);

void FoldChar(const CodePage& cp, char* p, int length, const uint8_t* map, unsigned (*foldDouble)(unsigned),
              CodePointMap foldCodePoint) {
  if (length == 1) {
    *p = static_cast<char>(map[static_cast<unsigned char>(*p)]);
  } else if (length == 2 && cp.dbcs) {
    unsigned ch = static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1]);
    unsigned folded = foldDouble(ch);
    p[0] = static_cast<char>(folded >> 8);
    p[1] = static_cast<char>(folded & 0xFF);
  } else if (length > 1 && cp.utf8) {
    char32_t folded = foldCodePoint(Utf8Decode(p, length));
    if (Utf8Size(folded) == length) Utf8Encode(folded, p);
  }
}

}  // namespace

void FoldCharUpper(const CodePage& cp, char* p, int length) {
  FoldChar(cp, p, length, cp.toUpper, DoubleByteToUpper, unicode::ToUpper);
}

void FoldCharLower(const CodePage& cp, char* p, int length) {
  FoldChar(cp, p, length, cp.toLower, DoubleByteToLower, unicode::ToLower);
}

int FoldCharUpper(const CodePage& cp, char* p) {
  int length = CharLength(cp, p);
  FoldCharUpper(cp, p, length);
  return length;
}

int FoldCharLower(const CodePage& cp, char* p) {
  int length = CharLength(cp, p);
  FoldCharLower(cp, p, length);
  return length;
}

uint32_t FoldCodePointLower(uint32_t ch) { return static_cast<uint32_t>(unicode::ToLower(static_cast<char32_t>(ch))); }

}  // namespace xev::host

using xev::host::CurrentCodePage;

extern "C" {

XEV_API int32_t XEV_CALL HostSetCodePage(uint32_t codePage) {
  using namespace xev::host;
  for (const CodePage* cp : {&kWestern, &kShiftJis, &kUtf8}) {
    if (cp->id == codePage) {
      g_current.store(cp, std::memory_order_relaxed);
      return 1;
    }
  }
  return 0;
}

XEV_API uint32_t XEV_CALL HostGetCodePage(void) { return CurrentCodePage().id; }

XEV_API int32_t XEV_CALL HostIsDbcs(void) { return CurrentCodePage().dbcs ? 1 : 0; }

// Only a double-byte code page has lead bytes in this sense: callers that take
// a lead byte and the next one together would split a longer UTF-8 sequence.
XEV_API int32_t XEV_CALL HostIsLeadByte(int32_t byte) {
  const xev::host::CodePage& cp = CurrentCodePage();
  return cp.dbcs && xev::host::IsLead(cp, static_cast<unsigned char>(byte)) ? 1 : 0;
}

XEV_API int32_t XEV_CALL HostCharLength(const char* p, int32_t available) {
  if (p == nullptr) return 0;
  size_t limit = available < 0 ? SIZE_MAX : static_cast<size_t>(available);
  return xev::host::CharLength(CurrentCodePage(), p, limit);
}

XEV_API int32_t XEV_CALL HostIsLeadBytePtr(const char* p) {
  if (p == nullptr) return 0;
  return HostIsLeadByte(static_cast<unsigned char>(*p));
}

XEV_API int32_t XEV_CALL HostIsAlpha(int32_t ch) {
  const xev::host::CodePage& cp = CurrentCodePage();
  // Under UTF-8 ch is a code point, and a byte above 0x7F passed as a plain
  // (signed) char is half a character, no letter.
  if (cp.utf8) return ch > 0 && ch <= 0x10FFFF && xev::host::unicode::IsLetter(static_cast<char32_t>(ch)) ? 1 : 0;
  // Callers may pass a plain char, which is signed here: read it as its byte.
  if (ch < 0 && ch >= -128) ch &= 0xFF;
  if (ch < 0) return 0;
  if (ch <= 0xFF) return (cp.classes[ch] & xev::host::kAlpha) != 0 ? 1 : 0;
  if (ch > 0xFFFF) return 0;
  unsigned lead = static_cast<unsigned>(ch) >> 8;
  if (!xev::host::IsLead(cp, static_cast<unsigned char>(lead))) return 0;
  return xev::host::IsDoubleByteAlpha(lead, static_cast<unsigned>(ch) & 0xFF) ? 1 : 0;
}

}  // extern "C"
