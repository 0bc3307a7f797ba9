#include "aggregate_calls.h"

#include <algorithm>
#include <cstring>

#include "xev/xev.h"

namespace xevhost {
namespace {

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80 ||
         std::strchr("@#$_.", c) != nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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
  std::vector<FormulaToken> tokens;
  size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    char c = text[i];
    if (c == '\'' || c == '"') {
      // Both quote forms double the quote to hold one.
      std::string content;
      ++i;
      while (i < text.size()) {
        if (text[i] == c && i + 1 < text.size() && text[i + 1] == c) {
          content += c;
          i += 2;
          continue;
        }
        if (text[i] == c) break;
        content += text[i++];
      }
      if (i < text.size()) ++i;
      auto kind = c == '\'' ? FormulaToken::kString : FormulaToken::kQuotedName;
      tokens.push_back(FormulaToken{kind, content, start, i - start});
      continue;
    }
    if (IsNameByte(static_cast<unsigned char>(c))) {
      while (i < text.size() && IsNameByte(static_cast<unsigned char>(text[i]))) {
        // A double-byte character's second byte may be any byte.
        i += (HostIsLeadByte(static_cast<unsigned char>(text[i])) != 0 && i + 1 < text.size()) ? 2 : 1;
      }
      tokens.push_back(FormulaToken{FormulaToken::kName, text.substr(start, i - start), start, i - start});
      continue;
    }
    size_t len = (c == '|' && i + 1 < text.size() && text[i + 1] == '|') ? 2 : 1;
    tokens.push_back(FormulaToken{FormulaToken::kPunct, text.substr(i, len), start, len});
    i += len;
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
