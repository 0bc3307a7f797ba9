// The formula scanner: formula text in, tokens with byte positions out.
//
// How it matches. The rules are compiled into one DFA (scanner_rules.cpp).
// From the first byte not yet used by a match, the scanner walks the DFA over
// the bytes it already holds and reads another byte only while the state
// reached is extendable, that is while the text so far is still the beginning
// of some rule's longer match; so the byte that rules out every longer match
// (or the end of the text) is the last one read. Each length at which rules
// accept is noted together with the mask of those rules. Candidates are then
// tried longest first and, within one length, in rule order; an action may
// refuse, which passes the same text to the next rule accepting it and, when
// none is left, moves on to the next shorter length. Bytes the chosen match
// does not use are read again for the next token, and the current offset
// keeps counting them: the parser measures error spans from it, so the amount
// read ahead is visible to hosts and must not change.
//
// The text is read where it lies. Only the blank that follows every text
// exists nowhere: when the scanner reads it, the bytes of the current match
// are copied with the blank after them, and the rest of the text is scanned
// from that copy.
#include <array>
#include <bit>
#include <cstring>

#include "host/code_page.h"
#include "host/host.h"
#include "host/values.h"
#include "language/language.h"
#include "language/name_rule.h"
#include "language/scanner_bytes.h"
#include "language/scanner_rules.h"
#include "platform/platform.h"
#include "xev/xevhost.h"

namespace xev::language {

constinit thread_local ScanShared t_scanShared{};

namespace {

using namespace scan_bytes;
using scan::AcceptMask;
using scan::DfaState;
using scan::RuleTables;

// The longest match, counting the bytes read past it.
constexpr uint32_t kMatchBufferSize = 2048;
constexpr int32_t kRefused = -1;
constexpr int32_t kSkipped = -2;  // blanks: matched, but no token

// Everything the scanner keeps between tokens of one parse. ScannerReset
// starts it afresh. Each thread has its own, so parses on different threads
// never meet; one parse runs at a time per thread.
struct ScannerState {
  const char* text;
  uint32_t matchStart;  // offset of the current match
  uint32_t readEnd;     // bytes read: of the text, and the blank after it
  bool pastText;        // the blank was read; the window is the tail copy
  bool stopped;         // a token outgrew the match buffer; only the end remains
  const char* window;   // where the byte at offset windowOrigin lies
  uint32_t windowOrigin;
  const RuleTables* tables;
  uint16_t pendingQuantifier;
  bool haveRejectedDate;
  uint32_t rejectedDatePos;
  uint32_t rejectedDateLen;
  ExprError error;
  uint32_t previousMatchLength;  // the last match, token or blanks
  char tail[kMatchBufferSize];   // the last match's bytes and the blank
  bool shortcuts;                // tokens told by their first bytes (kept across resets)
  bool utf8;                     // the code page is UTF-8 (read at each reset)
  bool valuesInNodeBlocks;       // token values from the parse's node blocks
};

thread_local ScannerState t_scanner = {"", 0, 0, false, false, "", 0, nullptr, 0, false, 0, 0, {}, 0, {}, true, false, false};

uint32_t Offset() { return t_scanner.readEnd; }

uint16_t ContextFlags() { return t_scanShared.ec != nullptr ? t_scanShared.ec->flags : uint16_t{0}; }

// The current match and what was read past it.
const char* Held() { return t_scanner.window + (t_scanner.matchStart - t_scanner.windowOrigin); }
uint32_t HeldLength() { return t_scanner.readEnd - t_scanner.matchStart; }

bool IsAsciiLetter(uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsNameSymbol(uint8_t b) { return b == '@' || b == '#' || b == '$' || b == '_' || b == '.'; }
bool IsTrailByte(uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// A zero-terminated copy of the first n held bytes, for the host routines.
struct MatchText {
  char bytes[kMatchBufferSize + 1];
  MatchText(const char* from, uint32_t n) {
    std::memcpy(bytes, from, n);
    bytes[n] = 0;
  }
};

// Room for a token's value: in the node blocks while a parse runs, where the
// node that takes the value over will be, else a host block of its own.
void* ValueBlock(uint32_t bytes) {
  return t_scanner.valuesInNodeBlocks ? AllocateValue(bytes) : HostAlloc(bytes);
}

char* ValueCopy(const char* from, uint32_t n) {
  auto* copy = static_cast<char*>(ValueBlock(n + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, from, n);
  copy[n] = 0;
  return copy;
}

int32_t Emit(int32_t code, uint32_t pos, uint32_t len, void* value) {
  t_scanShared.token = {pos, len, value};
  return code;
}

// A token that carries a value; TK_NOMEM when the value could not be made.
int32_t EmitValue(int32_t code, uint32_t pos, uint32_t len, void* value) {
  if (value == nullptr) return Emit(TK_NOMEM, pos, len, nullptr);
  return Emit(code, pos, len, value);
}

int32_t EmitCopy(int32_t code, uint32_t pos, const char* from, uint32_t n, uint32_t len) {
  return EmitValue(code, pos, len, ValueCopy(from, n));
}

// ---- Words ------------------------------------------------------------------------

int32_t WordAction(uint32_t pos, uint32_t len) {
  ScannerState& s = t_scanner;
  const Keyword* keyword = MayBeKeyword(Held(), len) ? KeywordOf(Held(), len) : nullptr;
  if (keyword == nullptr) return EmitCopy(TK_NAME, pos, Held(), len, len);
  const uint16_t flags = ContextFlags();
  switch (keyword->kind) {
    case KeywordKind::kAnd: return Emit(TK_AND, pos, len, nullptr);
    case KeywordKind::kDateUnit:
      if ((flags & ECF_NO_DATE_ARITH) != 0) break;
      t_scanShared.pendingDateUnit = keyword->meaning;
      return Emit(TK_DATEUNIT, pos, len, nullptr);
    case KeywordKind::kQuantifier:
      if ((flags & ECF_SET_QUANTIFIERS) == 0) break;
      s.pendingQuantifier = keyword->meaning;
      return Emit(TK_SETQUANT, pos, len, nullptr);
  }
  return EmitCopy(TK_NAME, pos, Held(), len, len);
}

int32_t TwoWordsAction(uint32_t pos, uint32_t len) {
  if (t_scanShared.nameCheckMode || t_scanShared.ec == nullptr) return kRefused;
  MatchText text(Held(), len);
  if (core::KeywordItemType(t_scanShared.ec, text.bytes) == -1) return kRefused;
  return EmitCopy(TK_NAME, pos, Held(), len, len);
}

// ---- Names ------------------------------------------------------------------------

struct NameVerdict {
  enum Kind { kGood, kRefuse, kBadByte } kind;
  uint32_t badOffset;
  uint32_t badLength = 1;
};

// Under UTF-8 a byte above 0x7F begins a character that must be well formed,
// and outside quotes a letter, mark or number. Its length, or minus the
// length of the bytes that are refused: a broken sequence, or the whole
// character that has no place in a name.
int WideCharInName(const char* p, uint32_t available, bool quoted) {
  const int length = host::Utf8Sequence(p, available);
  if (length < 0 || quoted || WideNameCharLength(p) == length) return length;
  return -length;
}

bool GoodNameByte(uint8_t b, bool dbcs) {
  if (IsAsciiLetter(b) || IsDigit(b) || IsNameSymbol(b)) return true;
  return dbcs ? HostIsAlpha(b) != 0 : platform::IsCharAlphaA(static_cast<char>(b)) != 0;
}

}  // namespace

int NamePartCharLength(const char* p, uint32_t available) {
  const auto b = static_cast<uint8_t>(p[0]);
  if (host::CurrentCodePage().utf8 && b >= 0x80) return WideCharInName(p, available, false);
  const bool dbcs = HostIsDbcs() != 0;
  if (dbcs && HostIsLeadByte(b)) return available >= 2 && IsTrailByte(static_cast<uint8_t>(p[1])) ? 2 : -1;
  return b != '.' && GoodNameByte(b, dbcs) ? 1 : -1;
}

namespace {

// Checks a name, or in function mode a function name with its blanks and "(".
NameVerdict CheckName(const char* text, uint32_t n, bool functionMode) {
  const bool dbcs = HostIsDbcs() != 0;
  const bool utf8 = t_scanner.utf8;
  bool quoted = false;
  uint32_t i = 0;
  while (i < n) {
    auto b = static_cast<uint8_t>(text[i]);
    if (functionMode && (b == ' ' || b == '(')) {
      uint32_t j = i;
      while (j < n && text[j] == ' ') ++j;
      if (j == n - 1 && text[j] == '(') return {NameVerdict::kGood, 0};
      return {NameVerdict::kBadByte, i};
    }
    if (utf8 && b >= 0x80) {
      const int length = WideCharInName(text + i, n - i, quoted);
      if (length < 0) return {NameVerdict::kBadByte, i, static_cast<uint32_t>(-length)};
      i += static_cast<uint32_t>(length);
      continue;
    }
    if (dbcs && HostIsLeadByte(b)) {
      if (i + 1 >= n) return {NameVerdict::kBadByte, n - 1};
      if (!IsTrailByte(static_cast<uint8_t>(text[i + 1]))) return {NameVerdict::kBadByte, i + 1};
      i += 2;
      continue;
    }
    if (b == '"' || b == '`') {
      quoted = !quoted;
      ++i;
      continue;
    }
    if (!quoted && !GoodNameByte(b, dbcs)) {
      // In a single-byte code page the name pattern may have swallowed the
      // first "|" of "||" as if it were a trail byte; give it back.
      if (!dbcs && b == '|' && i == n - 1) return {NameVerdict::kRefuse, 0};
      return {NameVerdict::kBadByte, i};
    }
    ++i;
  }
  return {NameVerdict::kGood, 0};
}

int32_t NameAction(uint32_t pos, uint32_t len, bool functionMode) {
  const char* held = Held();
  NameVerdict verdict = CheckName(held, len, functionMode);
  if (verdict.kind == NameVerdict::kRefuse) return kRefused;
  if (verdict.kind == NameVerdict::kBadByte) {
    return Emit(TK_BADCHAR, pos + verdict.badOffset, verdict.badLength, nullptr);
  }
  if (!functionMode) return EmitCopy(TK_NAME, pos, held, len, len);
  uint32_t nameLen = len - 1;  // without the "("
  while (nameLen > 0 && held[nameLen - 1] == ' ') --nameLen;
  return EmitCopy(TK_FUNCTION, pos, held, nameLen, len);
}

// ---- Numbers, dates, strings --------------------------------------------------------

int32_t NumberAction(uint32_t pos, uint32_t len) {
  auto* number = static_cast<NumberValue*>(ValueBlock(XEV_NUMBER_SIZE));
  if (number == nullptr) return Emit(TK_NOMEM, pos, len, nullptr);
  MatchText text(Held(), len);
  HostStrToNumber(number, text.bytes);
  return Emit(TK_NUMBER, pos, len, number);
}

// A number the shortcut matched. Up to 18 digits make the coefficient
// exactly, and the value is the one the host's text conversion gives (all
// digits, scaled by those after the point), without its copy of the text and
// its general parse; longer runs go that way.
int32_t ShortNumberAction(uint32_t pos, const NumberMatch& match) {
  if (match.digits > kShortCoefficientDigits) return NumberAction(pos, match.length);
  auto* number = static_cast<NumberValue*>(ValueBlock(XEV_NUMBER_SIZE));
  if (number == nullptr) return Emit(TK_NOMEM, pos, match.length, nullptr);
  host::NumberFromParts(number, match.coefficient, match.exponent);
  return Emit(TK_NUMBER, pos, match.length, number);
}

int32_t DateAction(uint32_t pos, uint32_t len) {
  ScannerState& s = t_scanner;
  if ((ContextFlags() & ECF_RANGES_SETS) != 0) {
    MatchText text(Held(), len);
    NumberValue date{};
    if (host::DateFromText(&date, text.bytes) == 0) {
      if (!s.haveRejectedDate) {
        s.haveRejectedDate = true;
        s.rejectedDatePos = pos;
        s.rejectedDateLen = len;
      }
      return kRefused;
    }
  }
  return EmitCopy(TK_DATE, pos, Held(), len, len);
}

// In a double-byte code page a trail byte may look like a quote or a
// backslash, so the pattern's idea of where a string ends can be wrong. The
// walk below finds the real closing quote: a string candidate ending at byte
// e is right when the walk, pairing lead and trail bytes and the escapes '' and
// \', arrives at e without having met a lone quote before it. One walk over the
// held bytes serves every candidate of the token.
class StringWalk {
 public:
  bool Accepts(uint32_t end) {
    if (!walked_) Walk();
    return (marks_[end / 64] >> (end % 64)) & 1;
  }

 private:
  bool walked_ = false;
  uint64_t marks_[kMatchBufferSize / 64];  // cleared only when a walk is needed

  void Walk() {
    walked_ = true;
    std::memset(marks_, 0, sizeof marks_);
    const char* held = Held();
    const uint32_t count = HeldLength();
    uint32_t i = 1;
    while (i < count) {
      marks_[i / 64] |= uint64_t{1} << (i % 64);
      auto b = static_cast<uint8_t>(held[i]);
      bool nextIsQuote = i + 1 < count && held[i + 1] == '\'';
      if (HostIsLeadByte(b)) {
        i += 2;
      } else if ((b == '\'' || b == '\\') && nextIsQuote) {
        i += 2;
      } else if (b == '\'') {
        return;  // the real closing quote: no candidate ends later
      } else {
        ++i;
      }
    }
  }
};

int32_t StringAction(uint32_t pos, uint32_t len, StringWalk& walk) {
  if (HostIsDbcs() != 0 && !walk.Accepts(len - 1)) return kRefused;
  if (t_scanner.utf8) {
    // A text that is no UTF-8 is refused where it breaks, as a name would be.
    int32_t badOffset = 0;
    int32_t badLength = 0;
    if (HostCheckText(Held() + 1, static_cast<int32_t>(len - 2), &badOffset, &badLength) == 0) {
      return Emit(TK_BADCHAR, pos + 1 + static_cast<uint32_t>(badOffset), static_cast<uint32_t>(badLength), nullptr);
    }
  }
  return EmitCopy(TK_STRING, pos, Held() + 1, len - 2, len);
}

// ---- Choosing the match ----------------------------------------------------------------

int32_t RunAction(int rule, uint32_t pos, uint32_t len, StringWalk& walk) {
  auto first = static_cast<uint8_t>(Held()[0]);
  switch (rule) {
    case scan::kRuleWord: return WordAction(pos, len);
    case scan::kRuleTwoWords: return TwoWordsAction(pos, len);
    case scan::kRuleNiladic: return EmitCopy(TK_NILADIC, pos, Held(), len, len);
    case scan::kRuleName: return NameAction(pos, len, false);
    case scan::kRuleNumber:
    case scan::kRuleExponentNumber:
    case scan::kRuleFraction: return NumberAction(pos, len);
    case scan::kRuleDayMonthYear:
    case scan::kRuleDate: return DateAction(pos, len);
    case scan::kRuleString: return StringAction(pos, len, walk);
    case scan::kRuleFunction: return NameAction(pos, len, true);
    case scan::kRuleConcat: return Emit(TK_CONCAT, pos, len, nullptr);
    case scan::kRuleOperator:
      if (first == '%' && (ContextFlags() & ECF_MODULO) == 0) return Emit(TK_BADCHAR, pos, len, nullptr);
      return Emit(first, pos, len, nullptr);
    case scan::kRuleBlanks: return kSkipped;
    default: return Emit(TK_BADCHAR, pos, len, nullptr);
  }
}

// The text a rule's match stands for: a date ending in the follower of its
// AM/PM marker keeps that follower for the next token.
uint32_t TokenLength(int rule, uint32_t matchLength) {
  if (rule == scan::kRuleDate &&
      scan::IsMeridiemFollower(static_cast<uint8_t>(Held()[matchLength - 1]))) {
    return matchLength - 1;
  }
  return matchLength;
}

void Consume(uint32_t len) {
  ScannerState& s = t_scanner;
  s.matchStart += len;
  s.previousMatchLength = len;
}

int32_t EndToken() {
  // The record keeps the last real token's span: the parser builds its last
  // operator node from it after the end has been seen.
  t_scanShared.token.value = nullptr;
  return TK_END;
}

int32_t StopTooLong() {
  ScannerState& s = t_scanner;
  s.stopped = true;
  s.error.code = XEV_ERR_MAXTOKEN;
  s.error.pos = Offset() + 1 - s.previousMatchLength;
  s.error.len = s.previousMatchLength + 1;
  // Right at the end of a text the rule's span reaches past the virtual
  // blank; hosts mark spans in their own copy of the text, so it is kept
  // within the text and that blank.
  uint32_t limit = static_cast<uint32_t>(std::strlen(s.text)) + 1;
  if (s.error.pos > limit) s.error.pos = limit;
  if (s.error.pos + s.error.len > limit) s.error.len = limit - s.error.pos;
  return EndToken();
}

struct Candidate {
  uint16_t length;
  AcceptMask rules;
};

constexpr int32_t kTooLong = -1;

// The text has ended after the n bytes of the current match read so far: the
// blank that follows it is read from a copy of those bytes, which serves as
// the window from now on. Returns the copy.
const char* ReadBlankAfterText(uint32_t n) {
  ScannerState& s = t_scanner;
  std::memcpy(s.tail, Held(), n);
  s.tail[n] = ' ';
  s.window = s.tail;
  s.windowOrigin = s.matchStart;
  s.pastText = true;
  return s.tail;
}

// Walks the DFA from the start of the current match, reading the next byte of
// the text (then one blank, then nothing) only while the state reached is
// extendable, and notes every length at which rules accept. Returns how many
// lengths were noted, or kTooLong when the match outgrew the match buffer.
//
// Inside the text the walk looks at bytes without asking first whether it may
// read them: from a state that is not extendable every byte leads to the dead
// state, and so does the text's terminating 0, so the walk stops exactly where
// reading would have stopped, and what was read follows from the state it
// stopped in.
int32_t WalkMatch(Candidate* candidates) {
  ScannerState& s = t_scanner;
  if (s.tables == nullptr) s.tables = &scan::Tables(s.utf8);  // asked before any text was given
  const RuleTables& tables = *s.tables;
  const char* bytes = Held();
  uint32_t read = HeldLength();
  uint32_t limit = s.pastText ? read : kMatchBufferSize;  // bytes that may be looked at
  int32_t count = 0;
  DfaState state = scan::kStartState;
  uint32_t i = 0;
  for (;;) {
    for (; i < limit; ++i) {
      DfaState next = tables.next[state][tables.classOf[static_cast<uint8_t>(bytes[i])]];
      if (next == scan::kDeadState) break;
      state = next;
      if (AcceptMask rules = tables.accepts[state]; rules != 0) {
        candidates[count] = {static_cast<uint16_t>(i + 1), rules};
        ++count;
      }
    }
    // Byte i stopped the walk, or there is none. Reading stops before it
    // unless the state reached still wants more.
    if (!tables.extendable[state]) break;
    if (i == kMatchBufferSize) {
      count = kTooLong;
      break;
    }
    if (i == limit) break;  // past the blank after the text: nothing left to read
    if (bytes[i] == '\0') {
      bytes = ReadBlankAfterText(i);
      limit = i + 1;
      continue;
    }
    ++i;  // byte i was read and ended every match
    break;
  }
  if (i > read) read = i;
  s.readEnd = s.matchStart + read;
  return count;
}

bool IsBlank(char b) { return b == ' ' || b == '\t' || b == '\n'; }

// A run of blanks inside the text, skipped without the automaton. Only the
// blanks rule matches text that starts with a blank, and it takes the whole
// run, having read the byte after it; that is what this does. A run that
// reaches the end of the text (and so the blank after it) or outgrows the
// match buffer is left to the automaton.
bool SkipBlanksInText() {
  ScannerState& s = t_scanner;
  if (s.pastText) return false;
  const char* bytes = Held();
  if (!IsBlank(bytes[0])) return false;
  uint32_t run = 1;
  while (IsBlank(bytes[run])) ++run;
  if (bytes[run] == '\0' || run >= kMatchBufferSize) return false;
  const uint32_t read = run + 1;
  if (read > HeldLength()) s.readEnd = s.matchStart + read;
  Consume(run);
  return true;
}

// ---- Tokens told by their first bytes -------------------------------------------
//
// Names, numbers and operators make up most of a formula, and for the common
// shapes of them the automaton's verdict, and how far it reads, follow from a
// handful of bytes. The automaton stays the authority: anything not listed
// here goes to it. What each shape relies on:
//
// - An operator byte other than "|" begins no rule but the operator and
//   any-byte rules, which end with it, so it is read alone.
// - "||" ends the concatenation rule and nothing extends it.
// - A run of ASCII letters, digits and @#$_ that begins with a letter (under
//   UTF-8 also letters, marks and numbers of any script, which may begin it;
//   scan_bytes::MatchWord says which) can go on as a longer name, a dotted
//   name, a second word, a call (blanks, then "("), or a month name (blanks
//   or letters; a run with a character beyond ASCII is no month name). A
//   byte of kStopAfterRun rules out every one of them; "(" ends a call, which
//   nothing extends. Blanks that are spaces keep only the call and the month
//   name alive, and a stop byte after them ends both. No such run refuses:
//   the word rule takes letters (keywords included) and the name rule takes
//   the rest, with every byte (every character, under UTF-8) a good one.
// - Digits, maybe with a fraction, can go on as a longer number, a date or
//   a time (separators, letters, blanks); scan_bytes::MatchNumber says which
//   bytes rule all of that out.
// The bytes read are the token, the blanks, and the stop byte that ended
// every match, exactly as the walk would; a call reads up to its "(". When
// the text ends instead, the blank after it is read, as the walk does, and
// every rule still alive after a name, spaces or a number takes a blank, so
// the walk would stop just after it too; the blank and the end of the scan
// that follow are told without the automaton as well.

// The match and the byte that ends it fit the match buffer; at the end of
// the text that byte is the blank, which must leave room to read on.
bool FitsMatchBuffer(const char* bytes, uint32_t end) {
  return end + (bytes[end] == '\0' ? 1 : 0) < kMatchBufferSize;
}

// Takes the first len bytes as the token, having read through byte read - 1.
int32_t TakeFast(uint32_t read, uint32_t len, int32_t code) {
  ScannerState& s = t_scanner;
  if (s.matchStart + read > s.readEnd) s.readEnd = s.matchStart + read;
  Consume(len);
  return code;
}

// A name, a word or a call, or kRefused when the automaton must decide.
int32_t FastWord(const char* bytes, uint32_t pos) {
  const WordMatch word = MatchWord(bytes, t_scanner.utf8);
  if (word.length == 0) return kRefused;
  const uint32_t n = word.length;
  const bool letters = word.letters;
  const uint32_t end = word.end;  // the byte that ends the match: a stop byte, "(" or the end of the text
  const bool call = bytes[end] == '(';
  if ((!call && !EndsMatch(bytes[end])) || !FitsMatchBuffer(bytes, end)) return kRefused;
  if (call) return TakeFast(end + 1, end + 1, EmitCopy(TK_FUNCTION, pos, bytes, n, end + 1));
  if (bytes[end] == '\0') ReadBlankAfterText(end);
  const int32_t code = letters ? WordAction(pos, n) : EmitCopy(TK_NAME, pos, bytes, n, n);
  return TakeFast(end + 1, n, code);
}

int32_t FastNumber(const char* bytes, uint32_t pos) {
  const NumberMatch number = MatchNumber(bytes);
  const uint32_t end = number.end;
  if (number.length == 0 || !FitsMatchBuffer(bytes, end)) return kRefused;
  if (bytes[end] == '\0') ReadBlankAfterText(end);
  return TakeFast(end + 1, number.length, ShortNumberAction(pos, number));
}

// Past the text only the blank after it can be left: the blanks rule takes
// it, and then nothing is left to read.
int32_t FastTokenPastText() {
  const uint32_t held = HeldLength();
  if (held == 0) return EndToken();
  if (held != 1 || Held()[0] != ' ') return kRefused;
  Consume(1);
  return kSkipped;
}

// The token when the first bytes decide it, kSkipped for the blank after the
// text, else kRefused.
int32_t FastToken() {
  ScannerState& s = t_scanner;
  if (!s.shortcuts) return kRefused;
  if (s.pastText) return FastTokenPastText();
  const char* bytes = Held();
  const uint32_t pos = s.matchStart;
  const char first = bytes[0];
  switch (KindOf(first)) {
    case kLetter: return FastWord(bytes, pos);
    case kDigit: return FastNumber(bytes, pos);
    case kStop:
      if (first == '|') {
        if (bytes[1] != '|') return kRefused;
        return TakeFast(2, 2, Emit(TK_CONCAT, pos, 2, nullptr));
      }
      if (first == '%' && (ContextFlags() & ECF_MODULO) == 0) return TakeFast(1, 1, Emit(TK_BADCHAR, pos, 1, nullptr));
      return TakeFast(1, 1, Emit(first, pos, 1, nullptr));
    default:
      if (first == '(') return TakeFast(1, 1, Emit(first, pos, 1, nullptr));
      if (s.utf8 && static_cast<uint8_t>(first) >= 0x80) return FastWord(bytes, pos);
      return kRefused;
  }
}

// One match by the automaton: a token, kSkipped for blanks, or the end.
[[gnu::noinline]] int32_t AutomatonToken() {
  Candidate candidates[kMatchBufferSize];
  const int32_t candidateCount = WalkMatch(candidates);
  if (candidateCount == kTooLong) return StopTooLong();
  if (candidateCount == 0) return EndToken();

  const uint32_t pos = Offset() - HeldLength();
  StringWalk walk;
  int32_t code = kRefused;
  uint32_t used = 0;
  for (int32_t k = candidateCount; k-- > 0 && code == kRefused;) {
    // Lowest rule number first: the mask's bits from the bottom.
    for (uint32_t rules = candidates[k].rules; rules != 0 && code == kRefused; rules &= rules - 1) {
      const int rule = std::countr_zero(rules);
      used = TokenLength(rule, candidates[k].length);
      code = RunAction(rule, pos, used, walk);
    }
  }
  // A single byte is always accepted by the last rule, which never refuses.
  Consume(used);
  return code;
}

}  // namespace

int32_t NextToken() {
  for (;;) {
    if (t_scanner.stopped) return EndToken();
    if (SkipBlanksInText()) continue;
    int32_t code = FastToken();
    if (code == kRefused) code = AutomatonToken();
    if (code != kSkipped) return code;
  }
}

void ScannerReset(const char* text, ExprContext* ec, bool nameCheckMode) {
  ScannerState& s = t_scanner;
  s.text = text != nullptr ? text : "";
  s.matchStart = 0;
  s.readEnd = 0;
  s.pastText = false;
  s.stopped = false;
  s.window = s.text;
  s.windowOrigin = 0;
  t_scanShared.ec = ec;
  s.utf8 = host::CurrentCodePage().utf8;
  s.tables = &scan::Tables(s.utf8);
  t_scanShared.nameCheckMode = nameCheckMode;
  t_scanShared.pendingDateUnit = 0;
  s.pendingQuantifier = QU_NONE;
  s.haveRejectedDate = false;
  s.rejectedDatePos = 0;
  s.rejectedDateLen = 0;
  s.error = {};
  t_scanShared.token = {};
  s.previousMatchLength = 0;
}

void ScannerRestart() {
  const ScannerState& s = t_scanner;
  ScannerReset(s.text, t_scanShared.ec, t_scanShared.nameCheckMode);
}

const char* ScannedText() { return t_scanner.text; }

void ScannerReachedEnd(uint32_t textLength) {
  // As after the blank that follows the text was read and skipped: the
  // record keeps the last token's span, and only the end is left.
  ScannerState& s = t_scanner;
  s.matchStart = textLength + 1;
  s.readEnd = textLength + 1;
  s.pastText = true;
  s.window = s.tail;
  s.windowOrigin = s.matchStart;
  s.previousMatchLength = 1;
  t_scanShared.token.value = nullptr;
}
uint32_t CurrentOffset() { return Offset(); }

uint32_t ScannedTextLength() {
  return t_scanner.text != nullptr ? static_cast<uint32_t>(std::strlen(t_scanner.text)) : 0;
}

uint16_t TakePendingQuantifier() {
  uint16_t quantifier = t_scanner.pendingQuantifier;
  t_scanner.pendingQuantifier = QU_NONE;
  return quantifier;
}

bool RejectedDate(uint32_t* pos, uint32_t* len) {
  const ScannerState& s = t_scanner;
  if (!s.haveRejectedDate) return false;
  if (pos != nullptr) *pos = s.rejectedDatePos;
  if (len != nullptr) *len = s.rejectedDateLen;
  return true;
}

ExprError& ParseError() { return t_scanner.error; }

void SetScannerShortcuts(bool enabled) { t_scanner.shortcuts = enabled; }

void ScanValuesIntoNodeBlocks(bool enabled) { t_scanner.valuesInNodeBlocks = enabled; }

void ReleaseTokenValue(void* value) {
  if (value == nullptr) return;
  if (t_scanner.valuesInNodeBlocks) {
    ReleaseBlockValue(value);
  } else {
    HostFree(value);
  }
}

bool IsDateUnitWord(const char* word, size_t len) {
  if (len > kMaxKeywordLength) return false;
  const Keyword* keyword = KeywordOf(word, static_cast<uint32_t>(len));
  return keyword != nullptr && keyword->kind == KeywordKind::kDateUnit;
}

}  // namespace xev::language
