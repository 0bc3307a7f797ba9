// The lexical rules of the formula language, compiled once into a
// deterministic automaton over byte classes. The scanner walks it to learn,
// for every length of text read so far, which rules accept that text and
// whether some rule could still accept a longer text.
#pragma once

#include <cstdint>

namespace xev::language::scan {

// Rule numbers double as priorities: among rules accepting the same text the
// lowest number wins.
enum Rule : uint8_t {
  kRuleWord = 0,
  kRuleTwoWords = 1,
  kRuleNiladic = 2,
  kRuleName = 3,
  kRuleNumber = 4,
  kRuleExponentNumber = 5,
  kRuleFraction = 6,
  kRuleDayMonthYear = 7,
  kRuleDate = 8,
  kRuleString = 9,
  kRuleFunction = 10,
  kRuleConcat = 11,
  kRuleOperator = 12,
  kRuleBlanks = 13,
  kRuleAnyByte = 14,
  kRuleCount = 15,
};

using AcceptMask = uint16_t;  // bit r set: rule r accepts the text read so far
using DfaState = uint16_t;

constexpr DfaState kDeadState = 0;   // no rule can accept any extension
constexpr DfaState kStartState = 1;

constexpr int kMaxDfaStates = 512;
constexpr int kMaxByteClasses = 48;

struct RuleTables {
  uint8_t classOf[256];
  uint16_t classCount;
  uint16_t stateCount;
  DfaState next[kMaxDfaStates][kMaxByteClasses];
  AcceptMask accepts[kMaxDfaStates];
  // True when some byte leads on to a live state, so reading more may yet
  // lengthen a match; the scanner stops reading ahead once this is false.
  bool extendable[kMaxDfaStates];
};

// Built on first use, immutable afterwards. Under UTF-8 the byte rules of
// names differ: every byte above 0x7F is a name byte and none pairs with the
// next, so a character of any length stays inside the name, and the name check
// decides which characters a name may hold.
const RuleTables& Tables(bool utf8);

// Bytes that may follow an AM/PM marker of a date constant. The follower is
// read as part of the date rule's match but is not part of the token, and no
// date form ends in one of these bytes otherwise, so a date match ending in a
// follower is exactly the case of the trailing context.
inline bool IsMeridiemFollower(uint8_t b) {
  switch (b) {
    case '\n': case ' ': case '(': case ')': case '*': case '+': case ',': case '-': case '/':
    case '|':
      return true;
    default:
      return false;
  }
}

}  // namespace xev::language::scan
