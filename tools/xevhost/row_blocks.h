// The report's rows evaluated block by block through the engine's columnar
// core (xevtable.h): the CSV rows of a block are read, the columns the
// formulas use are converted once into columns of values, and every formula
// is evaluated over the block on the table's threads. The results come back
// in input order.
#pragma once

#include <string>
#include <vector>

#include "csv_table.h"
#include "data_items.h"
#include "xev/xevtable.h"

namespace xevhost {

class RowBlocks {
 public:
  // formulas: what the report writes, each in its natural form; where may be
  // nullptr. jobs: threads (0: one per processor).
  RowBlocks(ExprContext* ec, const HostState& state, const std::vector<HEXP>& formulas, HEXP where, int jobs);
  ~RowBlocks();
  RowBlocks(const RowBlocks&) = delete;
  RowBlocks& operator=(const RowBlocks&) = delete;

  // false when the engine could not make the table (short of memory).
  bool ok() const { return table_ != nullptr && bound_; }

  // Reads the next block of rows and evaluates it. rowsRead counts the CSV
  // rows taken; false at the end of the input or on an error (error set),
  // when the rows read before the error have been evaluated all the same.
  bool Next(CsvTable& csv, std::string& error);
  int64_t rowsRead() const { return rowsRead_; }

  // The rows of the block that the where formula kept, and their values.
  int64_t selected() const { return selected_; }
  const XevResult& result(size_t formula) const { return results_[formula]; }

 private:
  struct Input {
    int column;  // in the CSV row
    int type;    // the data item's type
    std::vector<NumberValue> numbers;
    std::string bytes;
    std::vector<int64_t> offsets;
  };
  void ReleaseResults();
  void AddRow(const std::vector<std::string>& cells);
  bool Evaluate(int64_t rows);

  XevTable* table_ = nullptr;
  bool bound_ = true;
  HEXP where_;
  std::vector<Input> inputs_;
  std::vector<XevColumn> columns_;
  std::vector<XevResult> results_;
  std::vector<std::string> cells_;
  int64_t rowsRead_ = 0;
  int64_t selected_ = 0;
  bool ended_ = false;
};

}  // namespace xevhost
