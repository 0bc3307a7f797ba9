#include "host_context.h"

#include <ctime>

#include "aggregates.h"
#include "column_types.h"
#include "documents.h"

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

uint16_t ContextFlags(const Options& options) { return options.contextFlags; }

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
  if (!options.savePath.empty() && !SaveDocument(context.ec(), options.savePath, ForceRules(options.force))) return false;
  exitStatus = kExitOk;
  return true;
}

}  // namespace xevhost
