#include "formulas/explain.h"

#include <string>

#include "commands/host_context.h"
#include "formulas/formula_uses.h"
#include "formulas/formulas.h"
#include "input/column_types.h"

namespace xevhost {
namespace {

// The formula with the formulas it refers to written out in place, which is
// what a host passes on to a language that has no named formulas.
std::string ExtendedText(ExprContext* ec, HEXP exp) {
  int32_t length = XEVGetExtendedTextLength(ec, exp, 1);
  if (length <= 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int32_t n = XEVGetExtendedText(ec, exp, length + 1, text.data(), 1);
  if (n < 0) return "";
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

const char* KindOf(ExprContext* ec, HEXP exp) {
  if (XEVIsExpRange(ec, exp, 1) == 1) return "set";
  if (XEVIsExpRange(ec, exp, 2) == 1) return "range";
  if (XEVIsExpressionSimple(ec, exp) == 1) return "formula (a constant)";
  if (XEVIsExpressionSimpleInput(ec, exp) == 1) return "formula (a single data item)";
  return "formula";
}

}  // namespace

void ExplainFormula(ExprContext* ec, HEXP exp, const CodePageConverter& converter, std::FILE* out) {
  auto utf8 = [&](const std::string& s) { return converter.ToUtf8(s); };
  FormulaUses uses = UsesOf(ec, exp);
  std::fprintf(out, "%s\n", utf8(ExpressionName(ec, exp)).c_str());
  std::fprintf(out, "  kind:          %s\n", KindOf(ec, exp));
  std::fprintf(out, "  type:          %s\n", TypeName(XEVGetExpressionDataType(ec, exp)));
  std::fprintf(out, "  text:          %s\n", utf8(ExpressionText(ec, exp)).c_str());
  std::fprintf(out, "  data items:    %s\n", utf8(JoinNames(uses.items)).c_str());
  std::fprintf(out, "  functions:     %s\n", JoinNames(uses.functions).c_str());
  std::fprintf(out, "  formulas:      %s\n", utf8(JoinNames(uses.formulas)).c_str());
  std::fprintf(out, "  aggregates:    %s\n", uses.aggregate ? "yes" : "none");
  std::fprintf(out, "  extended text: %s\n", utf8(ExtendedText(ec, exp)).c_str());
}

int RunExplain(const Options& options, const CodePageConverter& converter) {
  Prepared prepared;
  int status = kExitOk;
  if (!Prepare(options, converter, /*needRows=*/false, prepared, status)) return status;
  ExprContext* ec = prepared.context->ec();
  std::string name = converter.ToAnsi(options.explainName);
  HEXP exp = XEVHEXPFromName(ec, name.c_str());
  if (exp == nullptr) {
    std::fprintf(stderr, "xevhost: no formula named %s\n", options.explainName.c_str());
    return kExitBadInput;
  }
  ExplainFormula(ec, exp, converter, stdout);
  return kExitOk;
}

}  // namespace xevhost
