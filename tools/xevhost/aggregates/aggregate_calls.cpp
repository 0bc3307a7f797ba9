#include "aggregates/aggregate_calls.h"

#include <algorithm>
#include <cstring>

#include "xev/xev.h"

namespace xevhost {
namespace {

// A quoted piece's content: without its quotes, a doubled quote standing for one.
std::string Unquoted(const std::string& piece) {
  const char quote = piece[0];
  std::string content;
  for (size_t i = 1; i < piece.size(); ++i) {
    if (piece[i] == quote && (i + 1 == piece.size() || piece[i + 1] != quote)) break;
    content += piece[i];
    if (piece[i] == quote) ++i;
  }
  return content;
}

bool EqualsUpper(const std::string& word, const char* upper) {
  if (word.size() != std::strlen(upper)) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if ((word[i] & ~0x20) != upper[i]) return false;
  return true;
}

bool IsPunct(const FormulaToken& t, char c) { return t.kind == FormulaToken::kPunct && t.text[0] == c; }
bool IsName(const FormulaToken& t) { return t.kind == FormulaToken::kName || t.kind == FormulaToken::kQuotedName; }

}  // namespace

std::vector<FormulaToken> TokenizeFormula(const std::string& text) {
  int32_t count = XEVSplitFormulaText(text.c_str(), nullptr, 0);
  std::vector<XEVTextPiece> pieces(static_cast<size_t>(std::max(count, 0)));
  XEVSplitFormulaText(text.c_str(), pieces.data(), count);
  std::vector<FormulaToken> tokens;
  for (const XEVTextPiece& piece : pieces) {
    std::string raw = text.substr(piece.pos, piece.len);
    switch (piece.kind) {
      case XEV_PIECE_NAME: tokens.push_back({FormulaToken::kName, raw, piece.pos, piece.len}); break;
      case XEV_PIECE_QUOTED_NAME: tokens.push_back({FormulaToken::kQuotedName, Unquoted(raw), piece.pos, piece.len}); break;
      case XEV_PIECE_STRING: tokens.push_back({FormulaToken::kString, Unquoted(raw), piece.pos, piece.len}); break;
      default: tokens.push_back({FormulaToken::kPunct, raw, piece.pos, piece.len}); break;
    }
  }
  return tokens;
}

std::vector<AggregateCall> FindAggregateCalls(const std::string& text,
                                              const std::vector<std::string>& aggregateNames) {
  std::vector<FormulaToken> t = TokenizeFormula(text);
  std::vector<AggregateCall> calls;
  auto at = [&t](size_t k) -> const FormulaToken* { return k < t.size() ? &t[k] : nullptr; };
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i].kind != FormulaToken::kName || !IsPunct(t[i + 1], '(')) continue;
    if (std::find(aggregateNames.begin(), aggregateNames.end(), t[i].text) == aggregateNames.end()) continue;
    AggregateCall call;
    call.function = t[i].text;
    call.pos = t[i].pos;
    size_t k = i + 2;
    // A quantifier is a word followed by the argument; alone it is a name.
    const FormulaToken* next = at(k + 1);
    if (at(k) && t[k].kind == FormulaToken::kName && next && (IsName(*next) || IsPunct(*next, '*')) &&
        (EqualsUpper(t[k].text, "DISTINCT") || EqualsUpper(t[k].text, "ALL"))) {
      call.distinct = EqualsUpper(t[k].text, "DISTINCT");
      ++k;
    }
    const FormulaToken* arg = at(k);
    const FormulaToken* close = nullptr;
    if (arg && IsPunct(*arg, '*') && at(k + 1) && IsPunct(t[k + 1], ')')) {
      call.star = true;
      close = &t[k + 1];
    } else if (arg && IsName(*arg) && at(k + 1) && IsPunct(t[k + 1], ')')) {
      call.argument = arg->text;
      close = &t[k + 1];
    } else if (arg && IsName(*arg) && at(k + 3) && IsPunct(t[k + 1], '(') && IsPunct(t[k + 2], ')') &&
               IsPunct(t[k + 3], ')')) {
      call.argument = arg->text;
      call.formula = true;
      close = &t[k + 3];
    } else {
      call.simple = false;
    }
    call.len = close ? close->pos + 1 - call.pos : t[i].len;
    calls.push_back(call);
  }
  return calls;
}

}  // namespace xevhost
