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
#include <array>

#include "language/tree_build.h"

namespace xev::language {

namespace {

struct FastPathState {
  bool enabled = true;
  bool lastTaken = false;
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

// The table parser's stack holds 150 states and refuses deeper nesting. One
// level of nesting puts at most 12 states on it (an operand and an operator
// for each of the four precedence levels, then "(", or a function name, a
// quantifier, the argument list and a comma), and a range or set adds two at
// the top, so eleven levels stay well inside it and the refusal is always the
// table parser's.
constexpr int kDeepestNesting = 10;

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
    if (code_ == TK_END) return FinishFormula(first);
    if (code_ == TK_AND) {
      Advance();
      ParseValue high{};
      if (Expression(0, high) && code_ == TK_END) return FinishRange(first, high);
      Release(first);
      Release(high);
    } else if (code_ == ',') {
      ParseValue list{};
      if (ListFrom(first, 0, TK_END, list)) return FinishSet(list);
    } else {
      Release(first);
    }
    DropLookAhead();
    return false;
  }

 private:
  int32_t code_ = TK_END;
  ParseValue look_{};  // owns its value until Take() hands it on

  void Advance() {
    code_ = NextToken();
    const TokenValue& token = CurrentToken();
    look_ = ParseValue{token.pos, token.len, token.value};
  }

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

}  // namespace

bool ParseCommonShapes() {
  t_fastPath.lastTaken = false;
  if (!t_fastPath.enabled) return false;
  FastParser parser;
  // An error the scanner recorded (a token too long) is left to the table
  // parser to report or pass over.
  if (parser.Run() && ParseError().code == 0) {
    t_fastPath.lastTaken = true;
    return true;
  }
  ReleaseTree(ScanContext(), PendingRoot());
  PendingRoot() = nullptr;
  // A fresh start: the parse's node blocks are all given back by now, so the
  // table parser's run takes the same blocks as if it had run alone.
  CloseNodeBlock();
  ScannerRestart();
  ParserBegin();
  return false;
}

void SetParserFastPath(bool enabled) { t_fastPath.enabled = enabled; }

bool LastParseTookFastPath() { return t_fastPath.lastTaken; }

}  // namespace xev::language
