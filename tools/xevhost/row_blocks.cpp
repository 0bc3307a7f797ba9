#include "row_blocks.h"

#include "column_types.h"

namespace xevhost {
namespace {

// Rows per block: enough that starting the threads costs nothing beside the
// evaluation, few enough that a block's columns stay small.
constexpr int64_t kBlockRows = 16384;

bool UsedByAny(ExprContext* ec, const std::vector<HEXP>& formulas, HEXP where, const std::string& item) {
  for (HEXP exp : formulas) {
    if (XEVIsItemUsed(ec, exp, XEV_ITEM_DATA, item.c_str()) == 1) return true;
  }
  return where != nullptr && XEVIsItemUsed(ec, where, XEV_ITEM_DATA, item.c_str()) == 1;
}

}  // namespace

RowBlocks::RowBlocks(ExprContext* ec, const HostState& state, const std::vector<HEXP>& formulas, HEXP where,
                     int jobs)
    : where_(where) {
  table_ = XEVTableCreate(ec, jobs);
  if (table_ == nullptr) return;
  for (const auto& [name, binding] : state.bindings) {
    if (binding.column < 0 || !UsedByAny(ec, formulas, where, name)) continue;
    Input input;
    input.column = binding.column;
    input.type = binding.type;
    XevColumn column{};
    column.kind = binding.type == XEV_TYPE_NUMBER || binding.type == XEV_TYPE_DATETIME ? XEV_COLUMN_NUMBER
                                                                                     : XEV_COLUMN_STRING;
    // Bound with no rows yet; each block gives its own arrays.
    if (XEVTableBind(table_, name.c_str(), &column) != static_cast<int32_t>(inputs_.size())) {
      bound_ = false;
      return;
    }
    inputs_.push_back(std::move(input));
    columns_.push_back(column);
  }
  results_.resize(formulas.size());
  for (size_t i = 0; i < formulas.size(); ++i) results_[i].formula = formulas[i];
}

RowBlocks::~RowBlocks() {
  ReleaseResults();
  XEVTableDestroy(table_);
}

void RowBlocks::ReleaseResults() {
  if (!results_.empty()) XEVTableFreeResults(results_.data(), static_cast<int32_t>(results_.size()));
  selected_ = 0;
}

// A cell that does not read as the item's type is NULL, as an empty one is.
void RowBlocks::AddRow(const std::vector<std::string>& cells) {
  static const std::string kEmpty;
  for (Input& input : inputs_) {
    const std::string& cell = static_cast<size_t>(input.column) < cells.size() ? cells[input.column] : kEmpty;
    if (input.type == XEV_TYPE_NUMBER || input.type == XEV_TYPE_DATETIME) {
      NumberValue value{};
      bool read = input.type == XEV_TYPE_NUMBER ? ParseNumberCell(cell, &value) : ParseDateTimeCell(cell, &value);
      if (!read) NumberSetNull(&value);
      input.numbers.push_back(value);
    } else {
      input.bytes += cell;
      input.offsets.push_back(static_cast<int64_t>(input.bytes.size()));
    }
  }
}

bool RowBlocks::Evaluate(int64_t rows) {
  for (size_t i = 0; i < inputs_.size(); ++i) {
    Input& input = inputs_[i];
    columns_[i].values = input.type == XEV_TYPE_STRING || input.type >= XEV_TYPE_KEYWORD
                             ? static_cast<const void*>(input.bytes.data())
                             : static_cast<const void*>(input.numbers.data());
    columns_[i].offsets = input.offsets.data();
  }
  int64_t* index = nullptr;
  int32_t ok = XEVTableEvaluate(table_, rows, columns_.data(), results_.data(), static_cast<int32_t>(results_.size()),
                                where_, &index);
  if (ok != 1) return false;
  selected_ = 0;
  while (index[selected_] >= 0) ++selected_;
  HostFree(index);
  return true;
}

bool RowBlocks::Next(CsvTable& csv, std::string& error) {
  ReleaseResults();
  if (ended_) return false;
  for (Input& input : inputs_) {
    input.numbers.clear();
    input.bytes.clear();
    input.offsets.assign(1, 0);
  }
  int64_t rows = 0;
  while (rows < kBlockRows) {
    if (!csv.NextRow(cells_, error)) {
      ended_ = true;
      break;
    }
    AddRow(cells_);
    ++rows;
  }
  rowsRead_ += rows;
  if (rows == 0) return false;
  if (!Evaluate(rows)) {
    error = "out of memory while evaluating rows";
    ended_ = true;
    return false;
  }
  return true;
}

}  // namespace xevhost
