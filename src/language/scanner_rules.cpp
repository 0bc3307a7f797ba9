// The lexical rules written as patterns and compiled into the scanner's DFA.
//
// Patterns are assembled from Thompson fragments (one start and one end state
// each, epsilon edges in between), all rules hang off one start state, and the
// subset construction turns the result into a DFA whose transitions are
// indexed by byte class. Everything lives in fixed static storage: the tables
// are built once, never allocate, and never change afterwards.
#include "language/scanner_rules.h"

#include "language/scanner_bytes.h"

#include <bitset>
#include <cstdlib>
#include <cstring>

namespace xev::language::scan {
namespace {

using ByteSet = std::bitset<256>;

constexpr int kMaxNfaStates = 1024;
constexpr int kMaxByteSets = 48;
constexpr int kSetWords = kMaxNfaStates / 64;

[[noreturn]] void CapacityExceeded() {
  // The rules are fixed at compile time; only an edit of this file can get here.
  std::abort();
}

ByteSet Range(int from, int to) {
  ByteSet s;
  for (int b = from; b <= to; ++b) s.set(static_cast<size_t>(b));
  return s;
}

ByteSet Chars(const char* chars) {
  ByteSet s;
  for (const char* p = chars; *p != 0; ++p) s.set(static_cast<uint8_t>(*p));
  return s;
}

ByteSet AllBut(char c) {
  ByteSet s = Range(1, 255);
  s.reset(static_cast<uint8_t>(c));
  return s;
}

struct Fragment {
  int start;
  int end;
};

struct NfaState {
  int16_t byteSet;  // index into the byte sets, -1 for none
  uint16_t target;
  uint16_t epsilon[2];
  uint8_t epsilonCount;
  int8_t rule;  // the rule accepted here, -1 for none
};

// Builds fragments; every call creates fresh states, so a pattern used twice
// is simply built twice.
class NfaBuilder {
 public:
  NfaState states[kMaxNfaStates];
  int stateCount = 0;
  ByteSet sets[kMaxByteSets];
  int setCount = 0;

  int NewState() {
    if (stateCount == kMaxNfaStates) CapacityExceeded();
    NfaState& s = states[stateCount];
    s.byteSet = -1;
    s.target = 0;
    s.epsilonCount = 0;
    s.rule = -1;
    return stateCount++;
  }

  void Epsilon(int from, int to) {
    NfaState& s = states[from];
    if (s.epsilonCount == 2) CapacityExceeded();
    s.epsilon[s.epsilonCount++] = static_cast<uint16_t>(to);
  }

  int SetIndex(const ByteSet& set) {
    for (int i = 0; i < setCount; ++i) {
      if (sets[i] == set) return i;
    }
    if (setCount == kMaxByteSets) CapacityExceeded();
    sets[setCount] = set;
    return setCount++;
  }

  Fragment Bytes(const ByteSet& set) {
    int start = NewState();
    int end = NewState();
    states[start].byteSet = static_cast<int16_t>(SetIndex(set));
    states[start].target = static_cast<uint16_t>(end);
    return {start, end};
  }

  Fragment Byte(char c) {
    ByteSet one;
    one.set(static_cast<uint8_t>(c));
    return Bytes(one);
  }

  Fragment Cat(Fragment a, Fragment b) {
    Epsilon(a.end, b.start);
    return {a.start, b.end};
  }
  template <typename... Rest>
  Fragment Cat(Fragment a, Fragment b, Rest... rest) {
    return Cat(Cat(a, b), rest...);
  }

  Fragment Alt(Fragment a, Fragment b) {
    int start = NewState();
    int end = NewState();
    Epsilon(start, a.start);
    Epsilon(start, b.start);
    Epsilon(a.end, end);
    Epsilon(b.end, end);
    return {start, end};
  }
  template <typename... Rest>
  Fragment Alt(Fragment a, Fragment b, Rest... rest) {
    return Alt(Alt(a, b), rest...);
  }

  Fragment Star(Fragment a) {
    int start = NewState();
    int end = NewState();
    Epsilon(start, a.start);
    Epsilon(start, end);
    Epsilon(a.end, a.start);
    Epsilon(a.end, end);
    return {start, end};
  }

  Fragment Plus(Fragment a) {
    int end = NewState();
    Epsilon(a.end, a.start);
    Epsilon(a.end, end);
    return {a.start, end};
  }

  Fragment Opt(Fragment a) {
    int start = NewState();
    int end = NewState();
    Epsilon(start, a.start);
    Epsilon(start, end);
    Epsilon(a.end, end);
    return {start, end};
  }
};

// ---- The rules ---------------------------------------------------------------

class RuleBuilder {
 public:
  RuleBuilder(NfaBuilder& nfa, bool utf8) : n_(nfa), utf8_(utf8) {}

  Fragment Rule(int rule) {
    switch (rule) {
      case kRuleWord: return Letters();
      case kRuleTwoWords: return n_.Cat(Letters(), n_.Byte(' '), Letters());
      case kRuleNiladic:
        return n_.Cat(n_.Byte('@'), n_.Alt(n_.Cat(Either('P'), Either('I')),
                                           n_.Cat(Either('N'), Either('O'), Either('W'))));
      case kRuleName: return Name();
      case kRuleNumber: return n_.Cat(Digits(), n_.Opt(n_.Cat(Point(), n_.Star(Digit()))));
      case kRuleExponentNumber:
        return n_.Cat(Digit(), Point(), Digits(), n_.Bytes(Chars("Ee")), n_.Bytes(Chars("+-")), Digits());
      case kRuleFraction: return n_.Cat(Point(), Digits());
      case kRuleDayMonthYear:
        return n_.Cat(Digits(), n_.Plus(W()), MonthName(), DateJoin(), Digits());
      case kRuleDate: return DateForms();
      case kRuleString: return String();
      case kRuleFunction:
        return n_.Cat(Identifier(), n_.Star(n_.Byte(' ')), n_.Byte('('));
      case kRuleConcat: return n_.Cat(n_.Byte('|'), n_.Byte('|'));
      case kRuleOperator: return n_.Bytes(Chars("%()*+,-/<=>{}"));
      case kRuleBlanks: return n_.Plus(W());
      default: return n_.Bytes(Range(1, 255));
    }
  }

 private:
  NfaBuilder& n_;
  bool utf8_;

  static ByteSet LetterSet() { return Range('A', 'Z') | Range('a', 'z'); }

  Fragment Letter() { return n_.Bytes(LetterSet()); }
  Fragment Letters() { return n_.Plus(Letter()); }
  // The digits and the point are the shortcut's (scan_bytes::MatchNumber),
  // which must read every number it takes as these rules do.
  static ByteSet DigitSet() {
    ByteSet s;
    for (int b = 0; b < 256; ++b) s.set(static_cast<size_t>(b), scan_bytes::IsDigitByte(static_cast<char>(b)));
    return s;
  }
  Fragment Digit() { return n_.Bytes(DigitSet()); }
  Fragment Point() { return n_.Byte(scan_bytes::kDecimalPoint); }
  Fragment Digits() { return n_.Plus(Digit()); }
  Fragment W() { return n_.Bytes(Chars(" \t\n")); }
  Fragment Either(char upper) {
    ByteSet both;
    both.set(static_cast<uint8_t>(upper));
    both.set(static_cast<uint8_t>(upper + 32));
    return n_.Bytes(both);
  }

  // ---- names
  Fragment IdentifierUnit() {
    if (utf8_) return n_.Bytes(LetterSet() | Chars("@#$_") | Range(0x80, 0xFF));
    ByteSet plain = LetterSet() | Chars("@#$_") | Range(0x81, 0xFF);
    ByteSet lead = Range(0x81, 0x9F) | Range(0xE0, 0xFC);
    ByteSet trail = Range(0x40, 0x7E) | Range(0x80, 0xFF);
    // A lead byte takes the next byte with it when that byte may be a trail
    // byte, whatever it is; otherwise the lead byte stands alone.
    return n_.Alt(n_.Bytes(plain), n_.Cat(n_.Bytes(lead), n_.Bytes(trail)));
  }
  Fragment Identifier() {
    return n_.Cat(IdentifierUnit(), n_.Star(n_.Alt(IdentifierUnit(), Digit())));
  }
  Fragment QuotedPart(char quote) {
    return n_.Cat(n_.Byte(quote), n_.Plus(n_.Bytes(AllBut(quote))), n_.Byte(quote));
  }
  Fragment Part() { return n_.Alt(Identifier(), QuotedPart('"'), QuotedPart('`')); }
  Fragment Name() {
    return n_.Cat(Part(), n_.Opt(n_.Cat(n_.Byte('.'), Part(), n_.Opt(n_.Cat(n_.Byte('.'), Part())))));
  }

  // ---- strings
  Fragment String() {
    Fragment body = n_.Alt(n_.Cat(n_.Byte('\\'), n_.Byte('\'')), n_.Cat(n_.Byte('\''), n_.Byte('\'')),
                           n_.Bytes(AllBut('\'')));
    return n_.Cat(n_.Byte('\''), n_.Star(body), n_.Byte('\''));
  }

  // ---- dates and times
  Fragment Sep() { return n_.Bytes(Chars("-/\\")); }
  Fragment DateSep() { return n_.Bytes(Chars("-./:\\")); }
  Fragment TimeSep() { return n_.Bytes(Chars(".:")); }
  Fragment MonthName() { return n_.Cat(Letter(), Letter(), Letters()); }
  Fragment DateJoin() {
    return n_.Alt(n_.Cat(n_.Byte(','), n_.Star(n_.Byte(' '))), n_.Plus(n_.Byte(' ')));
  }
  // The marker's follower is matched here and cut off the token afterwards.
  Fragment Meridiem() {
    ByteSet followers;
    for (int b = 1; b < 256; ++b) {
      if (IsMeridiemFollower(static_cast<uint8_t>(b))) followers.set(static_cast<size_t>(b));
    }
    return n_.Cat(Letter(), Letter(), n_.Bytes(followers));
  }
  Fragment SpacedMeridiem() { return n_.Cat(n_.Star(W()), Meridiem()); }
  Fragment MoreTimeFields() { return n_.Cat(TimeSep(), Digits()); }
  Fragment Time() {
    return n_.Cat(Digits(), n_.Opt(MoreTimeFields()), n_.Opt(MoreTimeFields()),
                  n_.Opt(MoreTimeFields()), n_.Opt(SpacedMeridiem()));
  }
  Fragment TailRequired() { return n_.Cat(n_.Alt(n_.Plus(W()), DateSep()), Time()); }
  Fragment Tail() { return n_.Opt(TailRequired()); }
  Fragment ClockStart() { return n_.Cat(Digits(), TimeSep(), Digits()); }

  Fragment DateForms() {
    Fragment numeric = n_.Cat(Digits(), Sep(), Digits(), DateSep(), Digits(), Tail());
    Fragment monthInMiddle =
        n_.Cat(Digits(), DateSep(), Letters(), DateSep(), Digits(), Tail());
    Fragment dayMonthYearTime =
        n_.Cat(Digits(), n_.Plus(W()), MonthName(), DateJoin(), Digits(), TailRequired());
    Fragment monthDayYear =
        n_.Cat(MonthName(), n_.Plus(W()), Digits(), DateJoin(), Digits(), Tail());
    Fragment clock = n_.Cat(Digits(), n_.Byte(':'), Digits(), n_.Opt(SpacedMeridiem()));
    Fragment dottedClock = n_.Cat(Digits(), n_.Byte('.'), Digits(), SpacedMeridiem());
    Fragment clockThenDate = n_.Cat(ClockStart(), Sep(), Digits(), Tail());
    Fragment threeFields =
        n_.Cat(ClockStart(), TimeSep(), Digits(),
               n_.Opt(n_.Alt(n_.Cat(n_.Alt(n_.Plus(W()), Sep()), Time()), SpacedMeridiem())));
    Fragment manyFields =
        n_.Cat(ClockStart(), TimeSep(), Digits(), TimeSep(), Digits(), n_.Opt(MoreTimeFields()),
               n_.Opt(MoreTimeFields()), n_.Opt(MoreTimeFields()), n_.Opt(SpacedMeridiem()));
    Fragment hourOnly = n_.Cat(Digits(), SpacedMeridiem());
    return n_.Alt(numeric, monthInMiddle, dayMonthYearTime, monthDayYear, clock, dottedClock,
                  clockThenDate, threeFields, manyFields, hourOnly);
  }
};

// ---- Subset construction --------------------------------------------------------

struct StateSet {
  uint64_t words[kSetWords];
  bool operator==(const StateSet& other) const {
    return std::memcmp(words, other.words, sizeof words) == 0;
  }
  bool Empty() const {
    for (uint64_t w : words) {
      if (w != 0) return false;
    }
    return true;
  }
  void Add(int s) { words[s / 64] |= uint64_t{1} << (s % 64); }
  bool Has(int s) const { return (words[s / 64] >> (s % 64)) & 1; }
  uint64_t Hash() const {
    uint64_t h = 1469598103934665603ull;
    for (uint64_t w : words) h = (h ^ w) * 1099511628211ull;
    return h;
  }
};

constexpr int kHashSlots = kMaxDfaStates * 2;

struct Scratch {
  NfaBuilder nfa;
  StateSet dfaSets[kMaxDfaStates];
  int16_t hashSlots[kHashSlots];  // DFA state + 1, 0 for empty
  uint16_t stack[kMaxNfaStates];
  uint16_t members[kMaxNfaStates];
};

// Adds to set everything reachable by epsilon edges from the count states
// listed in stack, which are already in set. The stack is used up.
void Close(const NfaBuilder& nfa, StateSet& set, uint16_t* stack, int count) {
  int top = count;
  while (top > 0) {
    const NfaState& s = nfa.states[stack[--top]];
    for (int e = 0; e < s.epsilonCount; ++e) {
      if (!set.Has(s.epsilon[e])) {
        set.Add(s.epsilon[e]);
        stack[top++] = s.epsilon[e];
      }
    }
  }
}

int FindOrAdd(Scratch& scratch, RuleTables& tables, const StateSet& set) {
  uint64_t h = set.Hash();
  for (int probe = 0; probe < kHashSlots; ++probe) {
    int slot = static_cast<int>((h + static_cast<uint64_t>(probe)) % kHashSlots);
    int16_t entry = scratch.hashSlots[slot];
    if (entry == 0) {
      if (tables.stateCount == kMaxDfaStates) CapacityExceeded();
      int state = tables.stateCount++;
      scratch.dfaSets[state] = set;
      scratch.hashSlots[slot] = static_cast<int16_t>(state + 1);
      return state;
    }
    if (scratch.dfaSets[entry - 1] == set) return entry - 1;
  }
  CapacityExceeded();
}

// Gives classes dense numbers in order of their first byte.
uint16_t Renumber(uint16_t* classOf) {
  uint16_t dense[512];  // numbers before renumbering stay below twice the class count
  for (uint16_t& d : dense) d = 0xFFFF;
  uint16_t used = 0;
  for (int b = 0; b < 256; ++b) {
    uint16_t c = classOf[b];
    if (dense[c] == 0xFFFF) dense[c] = used++;
    classOf[b] = dense[c];
  }
  return used;
}

void ComputeByteClasses(const NfaBuilder& nfa, RuleTables& tables) {
  // Two bytes share a class when every byte set of the rules treats them
  // alike: each set splits every class it cuts.
  uint16_t classOf[256] = {};
  uint16_t count = 1;
  for (int i = 0; i < nfa.setCount; ++i) {
    uint16_t split[256];
    for (uint16_t& s : split) s = 0xFFFF;
    for (int b = 0; b < 256; ++b) {
      if (!nfa.sets[i].test(static_cast<size_t>(b))) continue;
      uint16_t old = classOf[b];
      if (split[old] == 0xFFFF) split[old] = count++;
      classOf[b] = split[old];
    }
    count = Renumber(classOf);
  }
  if (count > kMaxByteClasses) CapacityExceeded();
  for (int b = 0; b < 256; ++b) tables.classOf[b] = static_cast<uint8_t>(classOf[b]);
  tables.classCount = count;
}

// Each set of tables has its scratch space, so two threads that build the two
// sets at once never share it.
template <bool kUtf8>
bool Build(RuleTables& tables) {
  static Scratch scratch;
  NfaBuilder& nfa = scratch.nfa;
  RuleBuilder rules(nfa, kUtf8);

  int start = nfa.NewState();
  int chain = start;
  for (int r = 0; r < kRuleCount; ++r) {
    Fragment f = rules.Rule(r);
    nfa.states[f.end].rule = static_cast<int8_t>(r);
    int next = r + 1 < kRuleCount ? nfa.NewState() : -1;
    nfa.Epsilon(chain, f.start);
    if (next >= 0) nfa.Epsilon(chain, next);
    chain = next;
  }

  ComputeByteClasses(nfa, tables);
  int representative[kMaxByteClasses];
  for (int b = 255; b >= 0; --b) representative[tables.classOf[b]] = b;

  StateSet empty{};
  FindOrAdd(scratch, tables, empty);  // kDeadState
  StateSet initial{};
  initial.Add(start);
  scratch.stack[0] = static_cast<uint16_t>(start);
  Close(nfa, initial, scratch.stack, 1);
  FindOrAdd(scratch, tables, initial);  // kStartState

  for (int d = 0; d < tables.stateCount; ++d) {
    AcceptMask accepts = 0;
    int memberCount = 0;  // the NFA states of d that have a byte edge
    for (int s = 0; s < nfa.stateCount; ++s) {
      if (!scratch.dfaSets[d].Has(s)) continue;
      if (nfa.states[s].rule >= 0) accepts = static_cast<AcceptMask>(accepts | (1u << nfa.states[s].rule));
      if (nfa.states[s].byteSet >= 0) scratch.members[memberCount++] = static_cast<uint16_t>(s);
    }
    tables.accepts[d] = accepts;
    bool extendable = false;
    for (int c = 0; c < tables.classCount; ++c) {
      StateSet moved{};
      int seeds = 0;
      for (int m = 0; m < memberCount; ++m) {
        const NfaState& ns = nfa.states[scratch.members[m]];
        if (!nfa.sets[ns.byteSet].test(static_cast<size_t>(representative[c]))) continue;
        if (moved.Has(ns.target)) continue;
        moved.Add(ns.target);
        scratch.stack[seeds++] = ns.target;
      }
      Close(nfa, moved, scratch.stack, seeds);
      int target = moved.Empty() ? kDeadState : FindOrAdd(scratch, tables, moved);
      tables.next[d][c] = static_cast<DfaState>(target);
      if (target != kDeadState) extendable = true;
    }
    tables.extendable[d] = extendable;
  }
  return true;
}

template <bool kUtf8>
const RuleTables& TablesFor() {
  static RuleTables tables;
  static const bool built = Build<kUtf8>(tables);
  (void)built;
  return tables;
}

}  // namespace

const RuleTables& Tables(bool utf8) { return utf8 ? TablesFor<true>() : TablesFor<false>(); }

}  // namespace xev::language::scan
