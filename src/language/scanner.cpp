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
// does not use stay in the match buffer for the next token, and the current
// offset keeps counting them: the parser measures error spans from it, so the
// amount read ahead is visible to hosts and must not change.
#include <cstring>

#include "eval/eval.h"
#include "language/language.h"
#include "language/scanner_rules.h"
#include "platform/platform.h"
#include "xev/xevhost.h"

namespace xev::language {
namespace {

using scan::AcceptMask;
using scan::DfaState;
using scan::RuleTables;

constexpr uint32_t kMatchBufferSize = 2048;
constexpr int32_t kRefused = -1;
constexpr int32_t kSkipped = -2;  // blanks: matched, but no token

// Everything the scanner keeps between tokens of one parse. ScannerReset
// starts it afresh. Each thread has its own, so parses on different threads
// never meet; one parse runs at a time per thread.
struct ScannerState {
  const char* text;
  uint32_t readIndex;  // bytes of text read so far
  bool virtualBlankDelivered;
  bool stopped;  // a token outgrew the match buffer; only the end remains
  ExprContext* ec;
  bool nameCheckMode;
  uint16_t pendingDateUnit;
  uint16_t pendingQuantifier;
  bool haveRejectedDate;
  uint32_t rejectedDatePos;
  uint32_t rejectedDateLen;
  ExprError error;
  TokenValue token;
  uint32_t previousMatchLength;  // the last match, token or blanks
  uint32_t heldCount;            // bytes in the match buffer
  char held[kMatchBufferSize];   // the current match and what was read past it
};

thread_local ScannerState t_scanner = {"", 0, false, false, nullptr, false, 0, 0, false, 0, 0, {}, {}, 0, 0, {}};

uint32_t Offset() { return t_scanner.readIndex + (t_scanner.virtualBlankDelivered ? 1u : 0u); }

uint16_t ContextFlags() { return t_scanner.ec != nullptr ? t_scanner.ec->flags : uint16_t{0}; }

// The next input byte: the text, then one blank, then 0 for ever.
uint8_t ReadByte() {
  ScannerState& s = t_scanner;
  auto b = static_cast<uint8_t>(s.text[s.readIndex]);
  if (b != 0) {
    ++s.readIndex;
    return b;
  }
  if (!s.virtualBlankDelivered) {
    s.virtualBlankDelivered = true;
    return ' ';
  }
  return 0;
}

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

char* HeapCopy(const char* from, uint32_t n) {
  auto* copy = static_cast<char*>(HostAlloc(n + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, from, n);
  copy[n] = 0;
  return copy;
}

int32_t Emit(int32_t code, uint32_t pos, uint32_t len, void* value) {
  t_scanner.token = {pos, len, value};
  return code;
}

// A token that carries a value; TK_NOMEM when the value could not be made.
int32_t EmitValue(int32_t code, uint32_t pos, uint32_t len, void* value) {
  if (value == nullptr) return Emit(TK_NOMEM, pos, len, nullptr);
  return Emit(code, pos, len, value);
}

int32_t EmitCopy(int32_t code, uint32_t pos, const char* from, uint32_t n, uint32_t len) {
  return EmitValue(code, pos, len, HeapCopy(from, n));
}

// ---- Words ------------------------------------------------------------------------

// Upper-cases a word of at most size - 1 ASCII letters; false when longer.
bool UpperWord(const char* word, uint32_t len, char* out, uint32_t size) {
  if (len >= size) return false;
  for (uint32_t i = 0; i < len; ++i) {
    char c = word[i];
    out[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  out[len] = 0;
  return true;
}

struct Keyword {
  const char* text;
  uint16_t code;
};
constexpr Keyword kDateUnits[] = {{"DAY", DU_DAY},   {"MONTH", DU_MONTH},   {"YEAR", DU_YEAR},
                                  {"HOUR", DU_HOUR}, {"MINUTE", DU_MINUTE}, {"SECOND", DU_SECOND}};

uint16_t DateUnitOf(const char* word, uint32_t len) {
  char upper[8];
  if (!UpperWord(word, len, upper, sizeof upper)) return 0;
  // One plural "S" is allowed, no more: "DAYSS" stays a name.
  if (len > 0 && upper[len - 1] == 'S') upper[len - 1] = 0;
  for (const Keyword& k : kDateUnits) {
    if (std::strcmp(upper, k.text) == 0) return k.code;
  }
  return 0;
}

uint16_t QuantifierOf(const char* word, uint32_t len) {
  char upper[9];
  if (!UpperWord(word, len, upper, sizeof upper)) return QU_NONE;
  if (std::strcmp(upper, "DISTINCT") == 0) return QU_DISTINCT;
  if (std::strcmp(upper, "ALL") == 0) return QU_ALL;
  return QU_NONE;
}

int32_t WordAction(uint32_t pos, uint32_t len) {
  ScannerState& s = t_scanner;
  char upper[4];
  if (UpperWord(s.held, len, upper, sizeof upper) && std::strcmp(upper, "AND") == 0) {
    return Emit(TK_AND, pos, len, nullptr);
  }
  uint16_t flags = ContextFlags();
  if ((flags & ECF_NO_DATE_ARITH) == 0) {
    uint16_t unit = DateUnitOf(s.held, len);
    if (unit != 0) {
      s.pendingDateUnit = unit;
      return Emit(TK_DATEUNIT, pos, len, nullptr);
    }
  }
  if ((flags & ECF_SET_QUANTIFIERS) != 0) {
    uint16_t quantifier = QuantifierOf(s.held, len);
    if (quantifier != QU_NONE) {
      s.pendingQuantifier = quantifier;
      return Emit(TK_SETQUANT, pos, len, nullptr);
    }
  }
  return EmitCopy(TK_NAME, pos, s.held, len, len);
}

int32_t TwoWordsAction(uint32_t pos, uint32_t len) {
  ScannerState& s = t_scanner;
  if (s.nameCheckMode || s.ec == nullptr) return kRefused;
  MatchText text(s.held, len);
  if (core::KeywordItemType(s.ec, text.bytes) == -1) return kRefused;
  return EmitCopy(TK_NAME, pos, s.held, len, len);
}

// ---- Names ------------------------------------------------------------------------

struct NameVerdict {
  enum Kind { kGood, kRefuse, kBadByte } kind;
  uint32_t badOffset;
};

bool GoodNameByte(uint8_t b, bool dbcs) {
  if (IsAsciiLetter(b) || IsDigit(b) || IsNameSymbol(b)) return true;
  return dbcs ? HostIsAlpha(b) != 0 : platform::IsCharAlphaA(static_cast<char>(b)) != 0;
}

// Checks a name, or in function mode a function name with its blanks and "(".
NameVerdict CheckName(const char* text, uint32_t n, bool functionMode) {
  const bool dbcs = HostIsDbcs() != 0;
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
  ScannerState& s = t_scanner;
  NameVerdict verdict = CheckName(s.held, len, functionMode);
  if (verdict.kind == NameVerdict::kRefuse) return kRefused;
  if (verdict.kind == NameVerdict::kBadByte) {
    return Emit(TK_BADCHAR, pos + verdict.badOffset, 1, nullptr);
  }
  if (!functionMode) return EmitCopy(TK_NAME, pos, s.held, len, len);
  uint32_t nameLen = len - 1;  // without the "("
  while (nameLen > 0 && s.held[nameLen - 1] == ' ') --nameLen;
  return EmitCopy(TK_FUNCTION, pos, s.held, nameLen, len);
}

// ---- Numbers, dates, strings --------------------------------------------------------

int32_t NumberAction(uint32_t pos, uint32_t len) {
  auto* number = static_cast<NumberValue*>(HostAlloc(XEV_NUMBER_SIZE));
  if (number == nullptr) return Emit(TK_NOMEM, pos, len, nullptr);
  MatchText text(t_scanner.held, len);
  HostStrToNumber(number, text.bytes);
  return Emit(TK_NUMBER, pos, len, number);
}

int32_t DateAction(uint32_t pos, uint32_t len) {
  ScannerState& s = t_scanner;
  if ((ContextFlags() & ECF_RANGES_SETS) != 0) {
    MatchText text(s.held, len);
    NumberValue date{};
    if (eval::DateFromText(&date, text.bytes) == 0) {
      if (!s.haveRejectedDate) {
        s.haveRejectedDate = true;
        s.rejectedDatePos = pos;
        s.rejectedDateLen = len;
      }
      return kRefused;
    }
  }
  return EmitCopy(TK_DATE, pos, s.held, len, len);
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
    const ScannerState& s = t_scanner;
    uint32_t i = 1;
    while (i < s.heldCount) {
      marks_[i / 64] |= uint64_t{1} << (i % 64);
      auto b = static_cast<uint8_t>(s.held[i]);
      bool nextIsQuote = i + 1 < s.heldCount && s.held[i + 1] == '\'';
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
  ScannerState& s = t_scanner;
  if (HostIsDbcs() != 0 && !walk.Accepts(len - 1)) return kRefused;
  return EmitCopy(TK_STRING, pos, s.held + 1, len - 2, len);
}

// ---- Choosing the match ----------------------------------------------------------------

int32_t RunAction(int rule, uint32_t pos, uint32_t len, StringWalk& walk) {
  auto first = static_cast<uint8_t>(t_scanner.held[0]);
  switch (rule) {
    case scan::kRuleWord: return WordAction(pos, len);
    case scan::kRuleTwoWords: return TwoWordsAction(pos, len);
    case scan::kRuleNiladic: return EmitCopy(TK_NILADIC, pos, t_scanner.held, len, len);
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
      scan::IsMeridiemFollower(static_cast<uint8_t>(t_scanner.held[matchLength - 1]))) {
    return matchLength - 1;
  }
  return matchLength;
}

void Consume(uint32_t len) {
  ScannerState& s = t_scanner;
  s.heldCount -= len;
  std::memmove(s.held, s.held + len, s.heldCount);
  s.previousMatchLength = len;
}

int32_t EndToken() {
  // The record keeps the last real token's span: the parser builds its last
  // operator node from it after the end has been seen.
  t_scanner.token.value = nullptr;
  return TK_END;
}

int32_t StopTooLong() {
  ScannerState& s = t_scanner;
  s.stopped = true;
  s.error.code = 112;
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

}  // namespace

int32_t NextToken() {
  ScannerState& s = t_scanner;
  const RuleTables& tables = scan::Tables();
  for (;;) {
    if (s.stopped) return EndToken();

    Candidate candidates[kMatchBufferSize];
    uint32_t candidateCount = 0;
    DfaState state = scan::kStartState;
    for (uint32_t i = 0;;) {
      if (i == s.heldCount) {
        if (!tables.extendable[state]) break;
        if (s.heldCount == kMatchBufferSize) return StopTooLong();
        uint8_t b = ReadByte();
        if (b == 0) break;
        s.held[s.heldCount++] = static_cast<char>(b);
      }
      state = tables.next[state][tables.classOf[static_cast<uint8_t>(s.held[i])]];
      ++i;
      if (state == scan::kDeadState) break;
      if (tables.accepts[state] != 0) {
        candidates[candidateCount++] = {static_cast<uint16_t>(i), tables.accepts[state]};
      }
    }
    if (candidateCount == 0) return EndToken();

    const uint32_t pos = Offset() - s.heldCount;
    StringWalk walk;
    int32_t code = kRefused;
    uint32_t used = 0;
    for (uint32_t k = candidateCount; k-- > 0 && code == kRefused;) {
      for (int rule = 0; rule < scan::kRuleCount && code == kRefused; ++rule) {
        if ((candidates[k].rules & (1u << rule)) == 0) continue;
        used = TokenLength(rule, candidates[k].length);
        code = RunAction(rule, pos, used, walk);
      }
    }
    // A single byte is always accepted by the last rule, which never refuses.
    Consume(used);
    if (code != kSkipped) return code;
  }
}

void ScannerReset(const char* text, ExprContext* ec, bool nameCheckMode) {
  ScannerState& s = t_scanner;
  s.text = text != nullptr ? text : "";
  s.readIndex = 0;
  s.virtualBlankDelivered = false;
  s.stopped = false;
  s.ec = ec;
  s.nameCheckMode = nameCheckMode;
  s.pendingDateUnit = 0;
  s.pendingQuantifier = QU_NONE;
  s.haveRejectedDate = false;
  s.rejectedDatePos = 0;
  s.rejectedDateLen = 0;
  s.error = {};
  s.token = {};
  s.previousMatchLength = 0;
  s.heldCount = 0;
}

const TokenValue& CurrentToken() { return t_scanner.token; }
uint32_t CurrentOffset() { return Offset(); }

uint32_t ScannedTextLength() {
  return t_scanner.text != nullptr ? static_cast<uint32_t>(std::strlen(t_scanner.text)) : 0;
}
ExprContext* ScanContext() { return t_scanner.ec; }
bool NameCheckMode() { return t_scanner.nameCheckMode; }
uint16_t PendingDateUnit() { return t_scanner.pendingDateUnit; }
void ClearPendingDateUnit() { t_scanner.pendingDateUnit = 0; }

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

}  // namespace xev::language
