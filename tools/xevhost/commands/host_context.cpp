#include "commands/host_context.h"

#include <cstdio>
#include <ctime>

#include "aggregates/aggregates.h"
#include "commands/documents.h"
#include "input/column_types.h"

namespace xevhost {

HostContext::HostContext(uint16_t flags, bool inspectOnly) {
  ec_ = XEVCreateEC(0, inspectOnly ? ResolveAnyBinding : ResolveBinding, nullptr, flags);
  if (ec_ == nullptr) return;
  XEVSetUserLong(ec_, reinterpret_cast<intptr_t>(&state_));
  functionsDefined_ = FUNDefineFunctions(ec_) == 1 && DefineHostFunctions(ec_);
}

HostContext::~HostContext() {
  if (ec_ != nullptr) XEVDestroyEC(ec_);
}

// Ranges and sets are always read: a formulas file the editor saved one into
// must still load for a report, which leaves them out (NoteSkipped below).
uint16_t ContextFlags(const Options& options) { return options.contextFlags | ECF_RANGES_SETS; }

namespace {

// @NOW is fixed once for the whole run, so every row of a report sees the
// same moment.
bool SetNow(const Options& options, const CodePageConverter& converter, NumberValue& now) {
  if (options.now) {
    if (ParseDateTimeCell(converter.ToAnsi(*options.now), &now)) return true;
    std::fprintf(stderr, "xevhost: --now needs a date and time such as 2024-06-30 or '2024-06-30 14:00'; "
                 "see --help\n");
    return false;
  }
  std::time_t seconds = std::time(nullptr);
  std::tm local{};
  localtime_r(&seconds, &local);
  DateParts parts{local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, 0};
  now.bytes[0] = DatePartsToNumber(now.bytes + 1, &parts);
  return true;
}

// A report has a column for each formula; a range or a set gives no value
// per row, so it is left out, and the person is told why it is missing.
void NoteSkipped(ExprContext* ec, const std::vector<HEXP>& order, const CodePageConverter& converter) {
  for (HEXP exp : order) {
    const char* kind = XEVIsExpRange(ec, exp, XEV_EXP_SET) == 1     ? "set"
                       : XEVIsExpRange(ec, exp, XEV_EXP_RANGE) == 1 ? "range"
                                                                    : nullptr;
    if (kind == nullptr) continue;
    std::fprintf(stderr, "xevhost: note: %s is a %s, which has no column in a report; it is left out\n",
                 converter.ToUtf8(ExpressionName(ec, exp)).c_str(), kind);
  }
}

}  // namespace

bool Prepare(const Options& options, const CodePageConverter& converter, bool needRows,
             Prepared& prepared, int& exitStatus) {
  exitStatus = kExitBadInput;
  prepared.context = std::make_unique<HostContext>(ContextFlags(options));
  HostContext& context = *prepared.context;
  if (!context.ok()) {
    std::fprintf(stderr, "xevhost: cannot set up the formula engine (out of memory?)\n");
    return false;
  }
  if (!SetNow(options, converter, context.state().now)) {
    exitStatus = kExitUsage;
    return false;
  }
  if (!options.loadPath.empty() && !LoadDocument(context.ec(), options.loadPath, converter, stderr))
    return false;

  if (!options.dataPath.empty()) {
    prepared.table = std::make_unique<CsvTable>(converter, options.encoding);
    prepared.table->SetThreads(static_cast<int>(options.jobs));
    std::string error;
    if (!prepared.table->Open(options.dataPath, error)) {
      std::fprintf(stderr, "xevhost: %s\n", converter.ToUtf8(error).c_str());
      return false;
    }
    context.state().rows.SetColumns(prepared.table->columns());
    if (!AddColumnItems(context.ec(), prepared.table->columns())) {
      std::fprintf(stderr, "xevhost: cannot add the data items (out of memory?)\n");
      return false;
    }
  }
  std::vector<std::string> missing;
  BindItems(context.ec(), context.state(), missing);
  if (needRows && !missing.empty()) {
    for (const std::string& name : missing)
      std::fprintf(stderr, "xevhost: %s: data item %s has no column in %s\n", options.loadPath.c_str(),
                   converter.ToUtf8(name).c_str(), options.dataPath.c_str());
    return false;
  }

  std::vector<FormulaSource> sources;
  std::vector<DefinitionError> shapeErrors;
  if (!CollectFormulaSources(options, converter, sources, shapeErrors)) return false;
  for (const FormulaEntry& loaded : ListFormulas(context.ec())) prepared.order.push_back(loaded.exp);
  if (ParseFormulas(context.ec(), sources, shapeErrors, converter, stderr, prepared.order) > 0) {
    exitStatus = kExitFormula;
    return false;
  }
  if (needRows) NoteSkipped(context.ec(), prepared.order, converter);
  if (!options.savePath.empty() && !SaveDocument(context.ec(), options.savePath, ForceRules(options.force))) return false;
  exitStatus = kExitOk;
  return true;
}

}  // namespace xevhost
