// The expression context the tool works in, with the built-in functions, the
// CSV columns as data items and the formulas of the command line: the steps
// every command shares.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formulas/formulas.h"
#include "input/csv_table.h"
#include "input/data_items.h"
#include "input/text_encoding.h"
#include "options.h"
#include "xev/xev.h"

namespace xevhost {

class HostContext {
 public:
  // inspectOnly resolves every binding name, for contexts never evaluated.
  explicit HostContext(uint16_t flags, bool inspectOnly = false);
  ~HostContext();
  HostContext(const HostContext&) = delete;
  HostContext& operator=(const HostContext&) = delete;

  bool ok() const { return ec_ != nullptr && functionsDefined_; }
  ExprContext* ec() const { return ec_; }
  HostState& state() { return state_; }

 private:
  ExprContext* ec_ = nullptr;
  bool functionsDefined_ = false;
  HostState state_;
};

uint16_t ContextFlags(const Options& options);

// Builds the context the options describe: the loaded document, the data
// file's columns, the formulas. needRows asks for every data item to have a
// column. On failure prints why and returns false with exitStatus set.
struct Prepared {
  std::unique_ptr<HostContext> context;
  std::unique_ptr<CsvTable> table;  // null without a data file
  std::vector<HEXP> order;          // the document's formulas, then the new ones as written
};
bool Prepare(const Options& options, const CodePageConverter& converter, bool needRows,
             Prepared& prepared, int& exitStatus);

}  // namespace xevhost
