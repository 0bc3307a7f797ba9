// The report's rows evaluated block by block through the engine's columnar
// core (xevtable.h): the CSV rows of a block are read, the columns the
// formulas use are converted once into columns of values, and every formula
// is evaluated over the block. The results come back in input order.
#pragma once

#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "input/column_types.h"
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
  // The selected rows as output text, when a formatter was set: row i ends
  // at rowEnds[i].
  std::string text;
  std::vector<size_t> rowEnds;
  EvaluatedBlock() = default;
  ~EvaluatedBlock();
  EvaluatedBlock(const EvaluatedBlock&) = delete;
  EvaluatedBlock& operator=(const EvaluatedBlock&) = delete;
};

// The bytes of a block's text cells end to end: grown by doubling, kept
// from block to block, appended to without a call per cell.
class CellBytes {
 public:
  void clear() { size_ = 0; }
  size_t size() const { return size_; }
  const char* data() const { return data_.get(); }
  void Put(std::string_view cell) {
    if (cell.size() > capacity_ - size_) Grow(cell.size());
    if (!cell.empty()) std::memcpy(data_.get() + size_, cell.data(), cell.size());
    size_ += cell.size();
  }

 private:
  void Grow(size_t more);
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

class RowBlocks {
 public:
  // formulas: what the report writes, each in its natural form; where may be
  // nullptr. itemsRead: the data items they read, the only columns bound.
  // jobs: threads (0: one per processor). With more than one, blocks are
  // read, converted and evaluated on that many threads at once, each block
  // whole on one of them, while the caller writes the blocks before; input
  // that must be converted to the code page is read on one thread, which
  // hands each block to the table's threads.
  RowBlocks(ExprContext* ec, const HostState& state, const CsvTable& csv, const std::vector<HEXP>& formulas,
            HEXP where, const std::unordered_set<std::string>& itemsRead, int jobs);
  ~RowBlocks();
  RowBlocks(const RowBlocks&) = delete;
  RowBlocks& operator=(const RowBlocks&) = delete;

  // false when the engine could not make the tables (short of memory).
  bool ok() const { return ok_; }

  // Turns each block's results into output text on the thread that
  // evaluated it, so that the caller only writes bytes in order. Set before
  // the first Next; format may run on several threads at once.
  void SetFormatter(std::function<void(EvaluatedBlock&)> format) { format_ = std::move(format); }
  // Takes a written block back: its text buffers serve a block to come,
  // which new ones would fill with pages the system zeroes first.
  void Recycle(std::unique_ptr<EvaluatedBlock> block);

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
    // A Number item over a column of whole numbers: int64_t values, a blank
    // cell NULL.
    bool whole = false;
    std::vector<NumberValue> numbers;
    std::vector<int64_t> integers;
    std::vector<uint8_t> nulls;
    CellBytes bytes;
    std::vector<int64_t> offsets;
    // The last cell read as a value, and that value.
    RecentCell lastCell;
    NumberValue lastValue{};
  };
  // A table and the columns it reads: one per thread that evaluates blocks.
  struct Lane {
    XevTable* table = nullptr;
    std::vector<Input> inputs;
    std::vector<XevColumn> columns;
    std::vector<std::string_view> cells;
  };
  static bool MakeLane(Lane& lane, ExprContext* ec, const HostState& state,
                       const std::unordered_set<std::string>& itemsRead, int threads);
  static void StartBlock(Lane& lane);
  static void AddRow(Lane& lane, const std::vector<std::string_view>& cells);
  static bool SetColumn(Lane& lane, size_t input);
  std::unique_ptr<EvaluatedBlock> Evaluate(Lane& lane, int64_t rows);
  std::unique_ptr<EvaluatedBlock> NewBlock();
  std::unique_ptr<EvaluatedBlock> ReadAndEvaluate(CsvTable& csv, std::string& error);
  std::unique_ptr<EvaluatedBlock> ReadMarkedBlock(Lane& lane, const CsvTable& csv, size_t block);
  void ReadAhead(CsvTable& csv);
  void Work(Lane& lane, const CsvTable& csv);
  bool StartThreads(CsvTable& csv);

  bool ok_ = true;
  bool ahead_;
  bool marked_ = false;  // blocks are read from the table's row marks, on lanes_.size() threads
  HEXP where_;
  std::vector<HEXP> formulas_;
  std::function<void(EvaluatedBlock&)> format_;
  std::vector<Lane> lanes_;
  int64_t rowsRead_ = 0;
  bool ended_ = false;

  // Blocks made ahead of the caller, by number, and those the caller has not
  // taken; a failed block is a missing entry with readerError_ set.
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<size_t, std::unique_ptr<EvaluatedBlock>> ready_;
  size_t nextToClaim_ = 0;
  size_t nextToTake_ = 0;
  size_t blockCount_ = 0;
  size_t running_ = 0;  // threads not yet done
  std::string readerError_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<EvaluatedBlock>> spare_;  // written blocks, their results freed
};

}  // namespace xevhost
