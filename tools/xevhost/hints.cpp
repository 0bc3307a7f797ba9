#include "hints.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "aggregate_calls.h"
#include "formulas.h"

namespace xevhost {
namespace {

constexpr uint32_t kUnknownItem = 102;
constexpr uint32_t kUnknownFunction = 103;
constexpr uint32_t kSyntax = 109;
constexpr uint32_t kTypeErrors[] = {100, 111, 113, 115};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool IsDateUnit(const std::string& word) {
  std::string upper = Upper(word);
  if (upper.size() > 1 && upper.back() == 'S') upper.pop_back();
  for (const char* unit : {"DAY", "MONTH", "YEAR", "HOUR", "MINUTE", "SECOND"})
    if (upper == unit) return true;
  return false;
}

bool IsPunct(const FormulaToken* t, const char* text) {
  return t != nullptr && t->kind == FormulaToken::kPunct && t->text == text;
}

std::vector<std::string> ItemNames(ExprContext* ec, int16_t kind) {
  std::vector<std::string> names;
  XEVEnumExpItems(
      ec, kind,
      [](ExprContext*, const char* name, intptr_t user) -> int32_t {
        reinterpret_cast<std::vector<std::string>*>(user)->emplace_back(name);
        return 1;
      },
      reinterpret_cast<intptr_t>(&names));
  return names;
}

bool IsDataItem(ExprContext* ec, const std::string& name) {
  ExpItem item;
  std::memset(&item, 0, sizeof item);
  return XEVGetExpressionVariable(ec, &item, name.c_str()) == 1;
}

// The closest name within a few edits, shorter names allowing fewer.
std::string Closest(const std::string& word, const std::vector<std::string>& names) {
  size_t allowed = word.size() <= 4 ? 1 : word.size() <= 8 ? 2 : 3;
  std::string best;
  size_t bestDistance = allowed + 1;
  for (const std::string& name : names) {
    size_t d = EditDistance(word, name);
    if (d < bestDistance) best = name, bestDistance = d;
  }
  return best;
}

class HintFinder {
 public:
  HintFinder(ExprContext* ec, const std::string& name, const std::string& text, const ExprError& error)
      : ec_(ec), name_(name), error_(error), tokens_(TokenizeFormula(text)) {
    // The token the error is at: the one holding its first byte, else the
    // one that begins after it.
    for (size_t i = 0; i < tokens_.size() && at_ < 0; ++i)
      if (tokens_[i].pos + tokens_[i].len > error.pos) at_ = static_cast<int>(i);
  }

  std::string Find() {
    if (at_ < 0) return "";
    const FormulaToken& t = tokens_[static_cast<size_t>(at_)];
    if (error_.code == kUnknownItem && t.kind == FormulaToken::kQuotedName && !IsDataItem(ec_, t.text))
      return "strings are written in single quotes ('" + t.text + "'); double quotes enclose names";
    if (std::string hint = WordHint(t); !hint.empty()) return hint;
    // A formula's own name is not known while it is being read, so using it
    // reads as an unknown function; the cause is the recursion.
    if (error_.code == kUnknownFunction && t.kind == FormulaToken::kName && t.text == name_)
      return "a formula cannot use itself: " + name_ + "() names this formula";
    if (error_.code == kUnknownItem && XEVHEXPFromName(ec_, t.text.c_str()) != nullptr)
      return "write " + t.text + "() to use the formula " + t.text;
    if (error_.code == kUnknownItem || error_.code == kUnknownFunction) return DidYouMean(t);
    if (error_.code == kSyntax) return SyntaxHint(t);
    if (std::find(std::begin(kTypeErrors), std::end(kTypeErrors), error_.code) != std::end(kTypeErrors))
      return MixedJoinHint();
    return "";
  }

 private:
  const FormulaToken* Token(int i) const {
    return i >= 0 && static_cast<size_t>(i) < tokens_.size() ? &tokens_[static_cast<size_t>(i)] : nullptr;
  }

  // Words the scanner reads as something other than a name.
  std::string WordHint(const FormulaToken& t) {
    if (t.kind != FormulaToken::kName) return "";
    std::string upper = Upper(t.text);
    if (IsDateUnit(t.text)) {
      std::string column = "_" + t.text;
      if (IsDataItem(ec_, column)) return t.text + " is a date unit; the column is the data item " + column;
      return t.text + " is a date unit (as in Placed + 1 " + upper + "), not a name";
    }
    if ((upper == "DISTINCT" || upper == "ALL") && error_.code == kUnknownItem)
      return t.text + " inside an aggregate needs the option --set-quantifiers";
    return "";
  }

  std::string DidYouMean(const FormulaToken& t) {
    if (t.kind != FormulaToken::kName) return "";
    std::vector<std::string> formulas;
    for (const FormulaEntry& f : ListFormulas(ec_)) formulas.push_back(f.name);
    std::vector<std::string> names = ItemNames(ec_, error_.code == kUnknownItem ? XEV_ITEM_DATA : XEV_ITEM_FUNCTION);
    std::string item = Closest(t.text, names);
    std::string formula = Closest(t.text, formulas);
    bool preferFormula = !formula.empty() && (item.empty() || EditDistance(t.text, formula) < EditDistance(t.text, item));
    if (preferFormula) return "did you mean " + formula + "()?";
    return item.empty() ? "" : "did you mean " + item + "?";
  }

  std::string SyntaxHint(const FormulaToken& t) {
    if (IsPunct(&t, "<") || IsPunct(&t, ">") || IsPunct(&t, "="))
      return "the language has no comparison operators; NumberIFF(x - 100, ...) chooses by sign";
    // A minus where an operand must begin: there is no unary minus.
    const FormulaToken* minus = Token(at_ - 1);
    const FormulaToken* before = Token(at_ - 2);
    bool operandStart = before == nullptr || (before->kind == FormulaToken::kPunct && before->text != ")");
    if (IsPunct(minus, "-") && operandStart)
      return "there is no unary minus: write 0 - " + t.text + " or " + t.text +
             " * -1";
    return "";
  }

  std::string MixedJoinHint() {
    bool join = false, arithmetic = false;
    for (const FormulaToken& t : tokens_) {
      join = join || IsPunct(&t, "||");
      arithmetic = arithmetic || IsPunct(&t, "*") || IsPunct(&t, "/") || IsPunct(&t, "+") || IsPunct(&t, "-");
    }
    if (!join || !arithmetic) return "";
    return "|| binds tighter than * and +; use parentheses, and NumberToStr to join a Number";
  }

  ExprContext* ec_;
  std::string name_;
  ExprError error_;
  std::vector<FormulaToken> tokens_;
  int at_ = -1;
};

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
  std::string x = Upper(a), y = Upper(b);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

std::string FormulaHint(ExprContext* ec, const std::string& name, const std::string& text, const ExprError& error) {
  if (ec == nullptr) return "";
  return HintFinder(ec, name, text, error).Find();
}

}  // namespace xevhost
