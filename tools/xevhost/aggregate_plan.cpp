#include "aggregate_plan.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "aggregate_calls.h"
#include "diagnostics.h"
#include "formulas.h"

namespace xevhost {
namespace {

// Deeper nesting than this is a formula that refers to itself through an
// aggregate, which no number of passes settles.
constexpr int kMaxLevel = 16;

void PrintCallError(std::FILE* out, const FormulaEntry& formula, const std::string& text,
                    const AggregateCall& call, const std::string& message, const CodePageConverter& converter) {
  DefinitionError error;
  error.origin = "formula " + converter.ToUtf8(formula.name);
  error.line = 1;
  error.lineText = formula.name + " = " + text;
  error.column = formula.name.size() + 3 + call.pos;
  error.message = message;
  std::fputs(FormatDefinitionError(error, converter).c_str(), out);
}

class LevelFinder {
 public:
  LevelFinder(ExprContext* ec, AggregateTable& table, const std::vector<FormulaEntry>& formulas,
              const std::map<HEXP, std::vector<int>>& direct)
      : ec_(ec), table_(table), formulas_(formulas), direct_(direct) {}

  // The passes a formula's value needs: the highest level among the
  // aggregates it calls, itself or through the formulas it uses.
  int Depth(HEXP exp, int guard) {
    if (guard > kMaxLevel) return kMaxLevel + 1;
    int depth = DirectDepth(exp, guard);
    for (const FormulaEntry& f : formulas_)
      if (f.exp != exp && XEVIsItemUsed(ec_, exp, XEV_ITEM_FORMULA, f.name.c_str()) == 1)
        depth = std::max(depth, DirectDepth(f.exp, guard));
    return depth;
  }

 private:
  int DirectDepth(HEXP exp, int guard) {
    auto found = direct_.find(exp);
    if (found == direct_.end()) return 0;
    int depth = 0;
    for (int index : found->second) depth = std::max(depth, Level(index, guard));
    return depth;
  }

  int Level(int index, int guard) {
    AggregateRequest& request = table_.requests()[static_cast<size_t>(index)];
    if (!request.formula) return request.level = 1;
    HEXP argument = XEVHEXPFromName(ec_, request.argument.c_str());
    request.level = 1 + (argument == nullptr ? 0 : Depth(argument, guard + 1));
    return request.level;
  }

  ExprContext* ec_;
  AggregateTable& table_;
  const std::vector<FormulaEntry>& formulas_;
  const std::map<HEXP, std::vector<int>>& direct_;
};

}  // namespace

bool PlanAggregates(ExprContext* ec, const CodePageConverter& converter, AggregateTable& table,
                    std::FILE* diagnostics) {
  std::vector<FormulaEntry> formulas = ListFormulas(ec);
  std::map<HEXP, std::vector<int>> direct;
  bool ok = true;
  for (const FormulaEntry& formula : formulas) {
    if (XEVIsAggregateUsed(ec, formula.exp) != 1) continue;
    std::string text = ExpressionText(ec, formula.exp);
    std::vector<AggregateCall> calls = FindAggregateCalls(text, AggregateNames());
    for (const AggregateCall& call : calls) {
      if (!call.simple) {
        PrintCallError(diagnostics, formula, text, call,
                       call.function + " takes a data item or a formula: define the expression as a formula "
                       "of its own (Amount = Qty * Price) and write " + call.function + "(Amount())",
                       converter);
        ok = false;
        continue;
      }
      auto twin = std::find_if(calls.begin(), calls.end(), [&call](const AggregateCall& other) {
        return other.simple && other.function == call.function && other.argument == call.argument &&
               other.star == call.star && other.distinct != call.distinct;
      });
      if (twin != calls.end() && call.distinct) {
        PrintCallError(diagnostics, formula, text, call,
                       "a formula may hold " + call.function + " of one argument with or without DISTINCT, "
                       "not both: move one into a formula of its own",
                       converter);
        ok = false;
        continue;
      }
      AggregateRequest request;
      AggregateKindOf(call.function, request.kind);
      request.function = call.function;
      request.argument = call.argument;
      request.star = call.star;
      request.distinct = call.distinct;
      request.formula = call.formula;
      direct[formula.exp].push_back(table.AddCall(formula.exp, request));
    }
  }
  if (!ok) return false;

  LevelFinder levels(ec, table, formulas, direct);
  for (const FormulaEntry& formula : formulas) {
    if (levels.Depth(formula.exp, 0) <= kMaxLevel) continue;
    std::fprintf(diagnostics, "xevhost: formula %s: its aggregates depend on each other without end\n",
                 converter.ToUtf8(formula.name).c_str());
    return false;
  }
  // The readers are parsed last, under names of the engine's choosing, so
  // they never count among the formulas above.
  for (AggregateRequest& request : table.requests()) {
    if (request.star) continue;
    std::string text = request.formula ? request.argument + "()" : request.argument;
    ExprError error{};
    uint16_t type = 0;
    request.argumentExp = XEVParseFormula(ec, nullptr, text.c_str(), "", &error, &type);
    if (request.argumentExp == nullptr) {
      std::fprintf(diagnostics, "xevhost: cannot read the argument of %s(%s): error %u\n",
                   request.function.c_str(), converter.ToUtf8(request.argument).c_str(), error.code);
      return false;
    }
    request.type = type;
  }
  return true;
}

}  // namespace xevhost

namespace xevhost {
namespace {

bool IsDataItem(ExprContext* ec, const std::string& name) {
  ExpItem item;
  std::memset(&item, 0, sizeof item);
  return XEVGetExpressionVariable(ec, &item, name.c_str()) == 1;
}

bool ReadsRowValuesAt(ExprContext* ec, HEXP exp, int depth) {
  if (depth > kMaxLevel) return true;
  std::string text = ExpressionText(ec, exp);
  std::vector<AggregateCall> calls = FindAggregateCalls(text, AggregateNames());
  std::vector<FormulaToken> tokens = TokenizeFormula(text);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const FormulaToken& t = tokens[i];
    bool insideCall = std::any_of(calls.begin(), calls.end(), [&t](const AggregateCall& c) {
      return t.pos >= c.pos && t.pos < c.pos + c.len;
    });
    if (insideCall || (t.kind != FormulaToken::kName && t.kind != FormulaToken::kQuotedName)) continue;
    bool called = i + 1 < tokens.size() && tokens[i + 1].kind == FormulaToken::kPunct && tokens[i + 1].text == "(";
    if (!called) {
      if (IsDataItem(ec, t.text)) return true;
      continue;
    }
    HEXP used = XEVHEXPFromName(ec, t.text.c_str());
    if (used != nullptr && used != exp && ReadsRowValuesAt(ec, used, depth + 1)) return true;
  }
  return false;
}

}  // namespace

bool ReadsRowValues(ExprContext* ec, HEXP exp) { return ReadsRowValuesAt(ec, exp, 0); }

}  // namespace xevhost
