// A direct parser for the formula language: names, numbers (also negated),
// texts, dates, the binary operators with date units, parentheses, calls with
// quantifiers, ranges and sets. It makes the tree through the grammar's own
// actions, in the order the table parser calls them and with the scanner at
// the same token, so the nodes, their spans and the host blocks they take come
// out the same. Whatever it does not know (deep nesting) and every failure,
// syntax, type, name or memory, ends it: it releases what it made, and the
// table parser parses the text again from the start and has the last word on
// every error.
//
// When the table parser reads ahead: a leaf, a call and a closing parenthesis
// are reduced as soon as their last token is shifted, while an operator other
// than "||" waits for the token after its right operand, which decides
// whether it binds first. An operator node takes its span from the token
// scanned last, so it is made here at the same point.
//
// Ordinary formulas are first parsed from their bytes: a small reader here
// tells the tokens that the scanner's shortcut tells by their first bytes
// (names, calls, numbers of up to 18 digits, the operators, parentheses,
// commas and spaces), puts names and values into the node blocks as the
// scanner does, and keeps the scanner's token record, which the actions read
// their spans from. Anything else, and any doubt, ends that try; the parse
// starts again from scratch over the scanner's tokens.
#include <array>
#include <cstring>

#include "host/code_page.h"
#include "host/host.h"
#include "language/scanner_bytes.h"
#include "language/tree_build.h"

namespace xev::language {

namespace {

struct FastPathState {
  bool enabled = true;
  bool readsBytes = true;
  bool lastTaken = false;
  bool lastReadBytes = false;
};
thread_local FastPathState t_fastPath;

// How tightly each binary operator binds, in the order of the grammar's
// precedence declarations; all of them group to the left. 0 for any other token.
constexpr int kLevels = 4;
constexpr auto kBinding = [] {
  std::array<uint8_t, TK_AND + 1> binding{};
  binding['+'] = binding['-'] = 1;
  binding['*'] = binding['/'] = 2;
  binding['%'] = 3;
  binding[TK_CONCAT] = kLevels;
  return binding;
}();
int Precedence(int32_t token) {
  return static_cast<uint32_t>(token) < kBinding.size() ? kBinding[static_cast<uint32_t>(token)] : 0;
}

NodeKind OperatorKind(int32_t token) {
  switch (token) {
    case '+': return NK_ADD;
    case '-': return NK_SUB;
    case '*': return NK_MUL;
    case '/': return NK_DIV;
    case '%': return NK_MOD;
    default: return NK_CONCAT;
  }
}

// One level of nesting puts at most 12 states on the table parser's stack
// (an operand and an operator for each of the four precedence levels, then
// "(", or a function name, a quantifier, the argument list and a comma), and
// a range or set adds two at the top, so eleven levels stay well inside it
// and the refusal of deeper text is always the table parser's.
constexpr int kDeepestNesting = 10;
constexpr int kStatesPerNestingLevel = 12;
constexpr int kStatesOfRangeOrSet = 2;
static_assert((kDeepestNesting + 1) * kStatesPerNestingLevel + kStatesOfRangeOrSet <= kParserStackStates,
              "the direct parser must refuse before the table parser's stack would");

// The tokens of an ordinary formula read from its bytes, each exactly as the
// scanner's shortcut would tell it: the same code, span and value, taken
// from the node blocks at the same point. Whatever the shortcut would leave
// to the automaton (dots, quotes, tabs, high bytes other than the name
// characters of UTF-8, keywords, a name followed by a word, long numbers or
// runs) is TK_BADCHAR here, which no parse goes
// on from, so the try ends and the scanner takes over.
class ByteReader {
 public:
  ByteReader() : text_(ScannedText()), record_(TokenRecord()), utf8_(host::CurrentCodePage().utf8) {}

  int32_t Next(ParseValue& look) {
    look.value = nullptr;
    uint32_t at = at_;
    while (text_[at] == ' ') ++at;
    if (at - at_ > kLongestRun) return TK_BADCHAR;
    const char* bytes = text_ + at;
    switch (scan_bytes::KindOf(bytes[0])) {
      case scan_bytes::kLetter: return Word(bytes, at, look);
      case scan_bytes::kDigit: return Number(bytes, at, look);
      case scan_bytes::kStop:
        if (bytes[0] == '|') return bytes[1] == '|' ? Emit(TK_CONCAT, at, 2, look) : TK_BADCHAR;
        if (bytes[0] == '%' && (ScanContext() == nullptr || (ScanContext()->flags & ECF_MODULO) == 0)) {
          return TK_BADCHAR;
        }
        return Emit(static_cast<uint8_t>(bytes[0]), at, 1, look);
      default:
        if (bytes[0] == '(') return Emit('(', at, 1, look);
        if (utf8_ && static_cast<uint8_t>(bytes[0]) >= 0x80) return Word(bytes, at, look);
        if (bytes[0] != '\0') return TK_BADCHAR;
        end_ = at;
        record_.value = nullptr;  // the end keeps the last token's span
        return TK_END;
    }
  }

  // After the end was read: the scanner's state as it would be.
  void Finish() const { ScannerReachedEnd(end_); }

 private:
  // Runs of name bytes and spaces well inside the scanner's 2,048-byte match
  // buffer, which would refuse a longer one.
  static constexpr uint32_t kLongestRun = 1024;

  const char* text_;
  TokenValue& record_;
  bool utf8_;
  uint32_t at_ = 0;   // the first byte not yet taken
  uint32_t end_ = 0;  // where the text ends, once read

  int32_t Emit(int32_t code, uint32_t pos, uint32_t len, ParseValue& look) {
    at_ = pos + len;
    record_ = TokenValue{pos, len, nullptr};
    look = ParseValue{pos, len, nullptr};
    return code;
  }

  int32_t EmitValue(int32_t code, uint32_t pos, uint32_t len, uint32_t taken, void* value, ParseValue& look) {
    if (value == nullptr) return TK_BADCHAR;  // short of memory: the scanner's way reports it
    at_ = pos + taken;
    record_ = TokenValue{pos, len, value};
    look = ParseValue{pos, len, value};
    return code;
  }

  // Copies n bytes with two loads and stores that may overlap when n is
  // 4 to 16, the length of most names; never touching a byte past either run.
  static void CopyRun(char* to, const char* from, uint32_t n) {
    if (n >= 4 && n <= 8) {
      uint32_t head, tail;
      std::memcpy(&head, from, 4);
      std::memcpy(&tail, from + n - 4, 4);
      std::memcpy(to, &head, 4);
      std::memcpy(to + n - 4, &tail, 4);
    } else if (n > 8 && n <= 16) {
      uint64_t head, tail;
      std::memcpy(&head, from, 8);
      std::memcpy(&tail, from + n - 8, 8);
      std::memcpy(to, &head, 8);
      std::memcpy(to + n - 8, &tail, 8);
    } else {
      std::memcpy(to, from, n);
    }
  }

  static char* NameCopy(const char* from, uint32_t n) {
    auto* copy = static_cast<char*>(AllocateValue(n + 1));
    if (copy == nullptr) return nullptr;
    CopyRun(copy, from, n);
    copy[n] = 0;
    return copy;
  }

  // A name, a word or a call as the scanner's shortcut takes it
  // (scan_bytes::MatchWord), then "(" for a call, or a stop byte or the end.
  int32_t Word(const char* bytes, uint32_t pos, ParseValue& look) {
    const scan_bytes::WordMatch word = scan_bytes::MatchWord(bytes, utf8_);
    const uint32_t n = word.length;
    const bool letters = word.letters;
    const uint32_t end = word.end;
    if (n == 0 || end > kLongestRun) return TK_BADCHAR;
    if (bytes[end] == '(') return EmitValue(TK_FUNCTION, pos, end + 1, end + 1, NameCopy(bytes, n), look);
    if (!scan_bytes::EndsMatch(bytes[end])) return TK_BADCHAR;
    if (letters && scan_bytes::MayBeKeyword(bytes, n) && scan_bytes::KeywordOf(bytes, n) != nullptr) return TK_BADCHAR;
    return EmitValue(TK_NAME, pos, n, n, NameCopy(bytes, n), look);
  }

  // A number as the shortcut takes it (scan_bytes::MatchNumber), its value
  // made from the digits as its short conversion makes it.
  int32_t Number(const char* bytes, uint32_t pos, ParseValue& look) {
    const scan_bytes::NumberMatch match = scan_bytes::MatchNumber(bytes);
    if (match.length == 0 || match.digits > scan_bytes::kShortCoefficientDigits || match.end > kLongestRun) {
      return TK_BADCHAR;
    }
    auto* number = static_cast<NumberValue*>(AllocateValue(XEV_NUMBER_SIZE));
    if (number != nullptr) host::NumberFromParts(number, match.coefficient, match.exponent);
    return EmitValue(TK_NUMBER, pos, match.length, match.length, number, look);
  }
};

struct ScannerTokens {
  int32_t Next(ParseValue& look) {
    const int32_t code = NextToken();
    const TokenValue& token = CurrentToken();
    look = ParseValue{token.pos, token.len, token.value};
    return code;
  }
  void Finish() const {}
};

template <class Tokens>
class FastParser {
 public:
  // A formula, a range ("low AND high") or a set ("a, b, c"). True with the
  // root stored; false with everything released.
  bool Run() {
    Advance();
    ParseValue first{};
    if (!Expression(0, first)) {
      DropLookAhead();
      return false;
    }
    if (code_ == TK_END) {
      tokens_.Finish();
      return FinishFormula(first);
    }
    if (code_ == TK_AND) {
      Advance();
      ParseValue high{};
      if (Expression(0, high) && code_ == TK_END) {
        tokens_.Finish();
        return FinishRange(first, high);
      }
      Release(first);
      Release(high);
    } else if (code_ == ',') {
      ParseValue list{};
      if (ListFrom(first, 0, TK_END, list)) {
        tokens_.Finish();
        return FinishSet(list);
      }
    } else {
      Release(first);
    }
    DropLookAhead();
    return false;
  }

 private:
  Tokens tokens_;
  int32_t code_ = TK_END;
  ParseValue look_{};  // owns its value until Take() hands it on

  void Advance() { code_ = tokens_.Next(look_); }

  ParseValue Take() {
    ParseValue token = look_;
    look_.value = nullptr;
    return token;
  }

  void DropLookAhead() {
    ReleaseTokenValue(look_.value);
    look_.value = nullptr;
  }

  static void Release(const ParseValue& node) { ReleaseTree(ScanContext(), static_cast<ExprNode*>(node.value)); }

  // Operands wait with their operators, binding strength rising towards the
  // top, until a token that binds no tighter than the top operator arrives.
  // Nothing binds tighter than "||", so the table parser makes its node as
  // soon as the right operand is complete, before reading on; so does this.
  bool Expression(int depth, ParseValue& out) {
    ParseValue operands[kLevels + 1];
    ParseValue operators[kLevels];
    int32_t codes[kLevels];
    int waiting = 0;
    const auto reduce = [&](bool withDateUnit) {
      --waiting;
      const NodeKind kind = OperatorKind(codes[waiting]);
      if (!withDateUnit && (kind == NK_ADD || kind == NK_SUB)) ClearPendingDateUnit();
      ParseValue made = operands[waiting];
      if (!MakeOperator(made, operands[waiting], operators[waiting], operands[waiting + 1], kind, withDateUnit)) {
        for (int i = 0; i < waiting; ++i) Release(operands[i]);
        return false;
      }
      operands[waiting] = made;
      return true;
    };
    if (!Operand(depth, operands[0])) return false;
    for (;;) {
      if (waiting > 0 && codes[waiting - 1] == TK_CONCAT && !reduce(false)) return false;
      Advance();
      if (code_ == TK_DATEUNIT) {
        // A date unit belongs to the "+" or "-" whose right operand it ends;
        // after any other operand it is a syntax error.
        if (waiting == 0 || Precedence(codes[waiting - 1]) != Precedence('+')) {
          for (int i = 0; i <= waiting; ++i) Release(operands[i]);
          return false;
        }
        if (!reduce(true)) return false;
        Advance();
      }
      const int binding = Precedence(code_);
      while (waiting > 0 && Precedence(codes[waiting - 1]) >= binding) {
        if (!reduce(false)) return false;
      }
      if (binding == 0) break;
      operators[waiting] = look_;
      codes[waiting] = code_;
      ++waiting;
      Advance();
      if (!Operand(depth, operands[waiting])) {
        for (int i = 0; i < waiting; ++i) Release(operands[i]);
        return false;
      }
    }
    out = operands[0];
    return true;
  }

  // An operand ends with its last token; the token after it is not read yet.
  bool Leaf(ParseValue& out, NodeKind kind) {
    const ParseValue token = Take();
    out = token;
    return MakeLeaf(out, token, kind);
  }

  // Inlined where an expression needs an operand: the call per operand cost
  // more than the switch it makes.
  [[gnu::always_inline]] bool Operand(int depth, ParseValue& out) {
    switch (code_) {
      case TK_NAME: return Leaf(out, NK_ITEM);
      case TK_NUMBER: return Leaf(out, NK_NUMBER);
      case TK_STRING: return Leaf(out, NK_STRING);
      case TK_DATE: return Leaf(out, NK_DATE);
      case '-': {
        out = look_;
        Advance();
        return code_ == TK_NUMBER && MakeNegativeNumber(out, Take());
      }
      case '(': {
        if (depth == kDeepestNesting) return false;
        out = look_;
        Advance();
        ParseValue inner{};
        if (!Expression(depth + 1, inner)) return false;
        if (code_ != ')') {
          Release(inner);
          return false;
        }
        out.value = inner.value;
        return true;
      }
      case TK_NILADIC: {
        const ParseValue name = Take();
        out = name;
        return MakeCall(out, name, nullptr, nullptr, CallForm::kNiladic);
      }
      case TK_FUNCTION: return depth < kDeepestNesting && Call(depth, out);
      default: return false;
    }
  }

  // A call from its name on: "()", "(*)", "(DISTINCT)", or arguments with
  // or without a quantifier.
  bool Call(int depth, ParseValue& out) {
    const ParseValue name = Take();
    out = name;
    Advance();
    ParseValue marker{};
    bool marked = false;
    ParseValue list{};
    bool listed = false;
    CallForm form = CallForm::kStar;
    if (code_ == '*') {
      marker = look_;
      marked = true;
      Advance();
    } else {
      if (code_ == TK_SETQUANT) {
        marker = look_;
        marked = true;
        Advance();
      }
      if (code_ != ')') {
        listed = Arguments(depth, list);
        if (!listed) {
          ReleaseTokenValue(name.value);
          return false;
        }
      }
      form = marked ? (listed ? CallForm::kQuantifierArgs : CallForm::kQuantifierEmpty)
                    : (listed ? CallForm::kArgs : CallForm::kEmpty);
    }
    if (code_ != ')') {
      ReleaseTokenValue(name.value);
      ReleaseNodeList(list.value);
      return false;
    }
    return MakeCall(out, name, marked ? &marker : nullptr, listed ? &list : nullptr, form);
  }

  bool Arguments(int depth, ParseValue& list) {
    ParseValue first{};
    return Expression(depth + 1, first) && ListFrom(first, depth + 1, ')', list);
  }

  // A list from its first element on, its elements separated by "," and
  // ending at closer. As in the table parser, the list is started, and grown
  // by each further element, once the token after that element is known to
  // be "," or the closer.
  bool ListFrom(const ParseValue& first, int depth, int32_t closer, ParseValue& list) {
    if (code_ != ',' && code_ != closer) {
      Release(first);
      return false;
    }
    list = first;
    if (!StartList(list, first)) return false;
    while (code_ == ',') {
      Advance();
      ParseValue element{};
      if (!Expression(depth, element)) {
        ReleaseNodeList(list.value);
        return false;
      }
      if (code_ != ',' && code_ != closer) {
        Release(element);
        ReleaseNodeList(list.value);
        return false;
      }
      ParseValue grown = list;
      if (!AppendToList(grown, list, element)) return false;
      list = grown;
    }
    return true;
  }
};

// A fresh start: the parse's node blocks are all given back by now, so the
// next try takes the same blocks as if it had run alone.
void StartOver() {
  ReleaseTree(ScanContext(), PendingRoot());
  PendingRoot() = nullptr;
  CloseNodeBlock();
  ScannerRestart();
  ParserBegin();
}

}  // namespace

bool ParseCommonShapes() {
  t_fastPath.lastTaken = false;
  t_fastPath.lastReadBytes = false;
  if (!t_fastPath.enabled) return false;
  if (t_fastPath.readsBytes) {
    if (FastParser<ByteReader>().Run()) {
      t_fastPath.lastTaken = true;
      t_fastPath.lastReadBytes = true;
      return true;
    }
    StartOver();
  }
  // An error the scanner recorded (a token too long) is left to the table
  // parser to report or pass over.
  if (FastParser<ScannerTokens>().Run() && ParseError().code == 0) {
    t_fastPath.lastTaken = true;
    return true;
  }
  StartOver();
  return false;
}

void SetParserFastPath(bool enabled) { t_fastPath.enabled = enabled; }
void SetParserReadsBytes(bool enabled) { t_fastPath.readsBytes = enabled; }

bool LastParseTookFastPath() { return t_fastPath.lastTaken; }
bool LastParseReadBytes() { return t_fastPath.lastReadBytes; }

}  // namespace xev::language
