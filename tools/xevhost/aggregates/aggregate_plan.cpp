#include "aggregates/aggregate_plan.h"

#include <algorithm>
#include <cstring>

#include "aggregates/aggregate_calls.h"
#include "formulas/diagnostics.h"
#include "formulas/formulas.h"

namespace xevhost {
namespace {

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

// Reads one formula's aggregate calls into table; false, with the reason
// printed, when one cannot be evaluated by the tool.
bool AddCalls(const FormulaEntry& formula, const std::string& text, const CodePageConverter& converter,
              AggregateTable& table, std::vector<int>& requests, std::FILE* diagnostics) {
  std::vector<AggregateCall> calls = FindAggregateCalls(text, AggregateNames());
  bool ok = true;
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
    requests.push_back(table.AddCall(formula.exp, request));
  }
  return ok;
}

// The passes each aggregate needs: one more than the deepest aggregate its
// argument formula reaches. Formulas are settled after everything they use
// (and the formulas their aggregates read), so each is looked at once. A
// formula never settled is on a cycle, or uses one; with aggregates on it no
// number of passes settles them.
bool SetLevels(const FormulaGraph& graph, const std::vector<std::vector<int>>& requestsOf, AggregateTable& table,
               const CodePageConverter& converter, std::FILE* diagnostics) {
  size_t count = graph.formulas().size();
  std::vector<AggregateRequest>& requests = table.requests();
  auto argumentOf = [&](int request) {
    const AggregateRequest& r = requests[static_cast<size_t>(request)];
    return r.formula ? graph.IndexOfName(r.argument) : -1;
  };
  std::vector<std::vector<int>> users(count);
  std::vector<size_t> waiting(count, 0);
  for (size_t f = 0; f < count; ++f) {
    std::vector<int> needs = graph.Uses(f);
    for (int request : requestsOf[f])
      if (int argument = argumentOf(request); argument >= 0) needs.push_back(argument);
    waiting[f] = needs.size();
    for (int used : needs) users[static_cast<size_t>(used)].push_back(static_cast<int>(f));
  }
  std::vector<int> depth(count, 0);
  std::vector<size_t> ready;
  for (size_t f = 0; f < count; ++f)
    if (waiting[f] == 0) ready.push_back(f);
  for (size_t next = 0; next < ready.size(); ++next) {
    size_t f = ready[next];
    for (int used : graph.Uses(f)) depth[f] = std::max(depth[f], depth[static_cast<size_t>(used)]);
    for (int request : requestsOf[f]) {
      int argument = argumentOf(request);
      int level = 1 + (argument >= 0 ? depth[static_cast<size_t>(argument)] : 0);
      requests[static_cast<size_t>(request)].level = level;
      depth[f] = std::max(depth[f], level);
    }
    for (int user : users[f])
      if (--waiting[static_cast<size_t>(user)] == 0) ready.push_back(static_cast<size_t>(user));
  }
  for (size_t f = 0; f < count; ++f) {
    if (waiting[f] == 0 || requestsOf[f].empty()) continue;
    std::fprintf(diagnostics, "xevhost: formula %s: its aggregates depend on each other without end\n",
                 converter.ToUtf8(graph.formulas()[f].name).c_str());
    return false;
  }
  return true;
}

bool IsDataItem(ExprContext* ec, const std::string& name) {
  ExpItem item;
  std::memset(&item, 0, sizeof item);
  return XEVGetExpressionVariable(ec, &item, name.c_str()) == 1;
}

// What a formula's own text reads outside its aggregate calls: whether it
// names a data item there, and which formulas it calls there.
bool ReadsRowDirectly(ExprContext* ec, const FormulaGraph& graph, const FormulaEntry& formula,
                      std::vector<int>& formulasOutside) {
  std::string text = ExpressionText(ec, formula.exp);
  std::vector<AggregateCall> calls = FindAggregateCalls(text, AggregateNames());
  std::vector<FormulaToken> tokens = TokenizeFormula(text);
  bool reads = false;
  size_t call = 0;  // calls and tokens are both in text order
  for (size_t i = 0; i < tokens.size(); ++i) {
    const FormulaToken& t = tokens[i];
    while (call < calls.size() && calls[call].pos + calls[call].len <= t.pos) ++call;
    bool insideCall = call < calls.size() && t.pos >= calls[call].pos;
    if (insideCall || (t.kind != FormulaToken::kName && t.kind != FormulaToken::kQuotedName)) continue;
    bool called = i + 1 < tokens.size() && tokens[i + 1].kind == FormulaToken::kPunct && tokens[i + 1].text == "(";
    if (!called) {
      reads = reads || IsDataItem(ec, t.text);
      continue;
    }
    int used = graph.IndexOfName(t.text);
    if (used >= 0 && graph.formulas()[static_cast<size_t>(used)].exp != formula.exp) formulasOutside.push_back(used);
  }
  return reads;
}

}  // namespace

bool PlanAggregates(ExprContext* ec, const FormulaGraph& graph, const CodePageConverter& converter,
                    AggregateTable& table, std::FILE* diagnostics) {
  const std::vector<FormulaEntry>& formulas = graph.formulas();
  std::vector<std::vector<int>> requestsOf(formulas.size());
  bool ok = true;
  for (size_t f = 0; f < formulas.size(); ++f) {
    if (!graph.CallsAggregate(f)) continue;
    std::string text = ExpressionText(ec, formulas[f].exp);
    ok = AddCalls(formulas[f], text, converter, table, requestsOf[f], diagnostics) && ok;
  }
  if (!ok || !SetLevels(graph, requestsOf, table, converter, diagnostics)) return false;
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

std::vector<bool> ReadsRowValues(ExprContext* ec, const FormulaGraph& graph) {
  const std::vector<FormulaEntry>& formulas = graph.formulas();
  std::vector<std::vector<int>> outside(formulas.size());
  std::vector<bool> direct(formulas.size());
  for (size_t f = 0; f < formulas.size(); ++f) direct[f] = ReadsRowDirectly(ec, graph, formulas[f], outside[f]);
  return MarkedOrReaching(outside, std::move(direct));
}

}  // namespace xevhost
