// Finding the aggregate calls a formula's text makes. The engine hands an
// aggregate only the name written as its argument, not whether DISTINCT came
// with it, so the tool reads that from the text itself.
#pragma once

#include <string>
#include <vector>

namespace xevhost {

struct AggregateCall {
  std::string function;  // as written, code-page bytes
  std::string argument;  // the data item or formula name; empty for (*)
  bool star = false;
  bool distinct = false;
  bool formula = false;  // the argument is written Name()
  bool simple = true;    // false: an expression the tool cannot pass by name
  size_t pos = 0;        // byte offset of the function name in the text
  size_t len = 0;        // up to and including the closing parenthesis, when simple
};

// Calls of the functions named in aggregateNames, in text order. Strings
// and quoted names are skipped whole, so text inside them never counts.
std::vector<AggregateCall> FindAggregateCalls(const std::string& text,
                                              const std::vector<std::string>& aggregateNames);

// The tokens of formula text as the tool needs them for its own reading:
// names (quoted ones without their quotes), strings, numbers and single
// punctuation characters.
struct FormulaToken {
  enum Kind { kName, kQuotedName, kString, kPunct } kind;
  std::string text;
  size_t pos;
  size_t len;
};
std::vector<FormulaToken> TokenizeFormula(const std::string& text);

}  // namespace xevhost
