// The report's rows evaluated block by block through the engine's columnar
// core (xevtable.h): the CSV rows of a block are read, the columns the
// formulas use are converted once into columns of values, and every formula
// is evaluated over the block on the table's threads. The results come back
// in input order.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "input/csv_table.h"
#include "input/data_items.h"
#include "xev/xevtable.h"

namespace xevhost {

// One block's results: per formula a result column over the rows the where
// formula kept.
struct EvaluatedBlock {
  std::vector<XevResult> results;
  int64_t selected = 0;
  int64_t rowsRead = 0;  // CSV rows read so far, this block's included
  EvaluatedBlock() = default;
  ~EvaluatedBlock();
  EvaluatedBlock(const EvaluatedBlock&) = delete;
  EvaluatedBlock& operator=(const EvaluatedBlock&) = delete;
};

class RowBlocks {
 public:
  // formulas: what the report writes, each in its natural form; where may be
  // nullptr. itemsRead: the data items they read, the only columns bound.
  // jobs: threads (0: one per processor). With more than one, the next block
  // is read and evaluated on a thread of its own while the caller writes the
  // one before.
  RowBlocks(ExprContext* ec, const HostState& state, const std::vector<HEXP>& formulas, HEXP where,
            const std::unordered_set<std::string>& itemsRead, int jobs);
  ~RowBlocks();
  RowBlocks(const RowBlocks&) = delete;
  RowBlocks& operator=(const RowBlocks&) = delete;

  // false when the engine could not make the table (short of memory).
  bool ok() const { return table_ != nullptr && bound_; }

  // The next block, or nullptr at the end of the input or after an error
  // (error then says which; the rows read before it come first).
  std::unique_ptr<EvaluatedBlock> Next(CsvTable& csv, std::string& error);

 private:
  struct Input {
    std::string name;
    int column;  // in the CSV row
    int type;    // the data item's type
    // A Number item over a column of numbers: its cells go to the engine as
    // text, read on the table's threads, unless one is too long for that.
    bool asText = false;
    bool tooLong = false;
    std::vector<NumberValue> numbers;
    std::string bytes;
    std::vector<int64_t> offsets;
  };
  void AddRow(const std::vector<std::string_view>& cells);
  bool SetColumn(size_t input);
  std::unique_ptr<EvaluatedBlock> ReadAndEvaluate(CsvTable& csv, std::string& error);
  void ReadAhead(CsvTable& csv);

  XevTable* table_ = nullptr;
  bool bound_ = true;
  bool ahead_;
  HEXP where_;
  std::vector<HEXP> formulas_;
  std::vector<Input> inputs_;
  std::vector<XevColumn> columns_;
  std::vector<std::string_view> cells_;
  int64_t rowsRead_ = 0;
  bool ended_ = false;

  // Reading ahead: the blocks the reader made and the caller has not taken.
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<EvaluatedBlock>> ready_;
  std::string readerError_;
  bool readerDone_ = false;
  bool stopping_ = false;
};

}  // namespace xevhost
