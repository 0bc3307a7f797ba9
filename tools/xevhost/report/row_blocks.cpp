#include "report/row_blocks.h"

#include <system_error>

#include "commands/out_of_memory.h"
#include "input/column_types.h"

namespace xevhost {
namespace {

// Rows per block: enough that starting the threads costs nothing beside the
// evaluation, few enough that a block's columns stay small.
constexpr int64_t kBlockRows = 16384;
// Blocks read ahead of the writer; more would only hold memory.
constexpr size_t kBlocksAhead = 2;

}  // namespace

EvaluatedBlock::~EvaluatedBlock() {
  if (!results.empty()) XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
}

RowBlocks::RowBlocks(ExprContext* ec, const HostState& state, const std::vector<HEXP>& formulas, HEXP where,
                     const std::unordered_set<std::string>& itemsRead, int jobs)
    : ahead_(jobs != 1), where_(where), formulas_(formulas) {
  table_ = XEVTableCreate(ec, jobs);
  if (table_ == nullptr) return;
  for (const auto& [name, binding] : state.bindings) {
    if (binding.column < 0 || itemsRead.count(name) == 0) continue;
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
}

RowBlocks::~RowBlocks() {
  if (reader_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
  }
  ready_.clear();
  XEVTableDestroy(table_);
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

std::unique_ptr<EvaluatedBlock> RowBlocks::ReadAndEvaluate(CsvTable& csv, std::string& error) {
  if (ended_) return nullptr;
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
  if (rows == 0) return nullptr;
  for (size_t i = 0; i < inputs_.size(); ++i) {
    const Input& input = inputs_[i];
    columns_[i].values = columns_[i].kind == XEV_COLUMN_STRING ? static_cast<const void*>(input.bytes.data())
                                                               : static_cast<const void*>(input.numbers.data());
    columns_[i].offsets = input.offsets.data();
  }
  auto block = std::make_unique<EvaluatedBlock>();
  block->rowsRead = rowsRead_;
  block->results.resize(formulas_.size());
  for (size_t i = 0; i < formulas_.size(); ++i) block->results[i].formula = formulas_[i];
  int64_t* index = nullptr;
  // The table is made and bound and its arguments are ours, so a failure is
  // memory that ran short, here or inside a formula of some row.
  if (XEVTableEvaluate(table_, rows, columns_.data(), block->results.data(),
                       static_cast<int32_t>(block->results.size()), where_, &index) != 1)
    OutOfMemory();
  while (index[block->selected] >= 0) ++block->selected;
  HostFree(index);
  return block;
}

void RowBlocks::ReadAhead(CsvTable& csv) {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || ready_.size() < kBlocksAhead; });
      if (stopping_) break;
    }
    // The caller reads the error only once the reader is done.
    std::unique_ptr<EvaluatedBlock> block = ReadAndEvaluate(csv, readerError_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (block == nullptr) break;
    ready_.push_back(std::move(block));
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  readerDone_ = true;
  changed_.notify_all();
}

std::unique_ptr<EvaluatedBlock> RowBlocks::Next(CsvTable& csv, std::string& error) {
  if (!ahead_) return ReadAndEvaluate(csv, error);
  if (!reader_.joinable()) {
    // Without a thread to read ahead on, the blocks are read in turn.
    try {
      reader_ = std::thread(&RowBlocks::ReadAhead, this, std::ref(csv));
    } catch (const std::system_error&) {
      ahead_ = false;
      return ReadAndEvaluate(csv, error);
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !ready_.empty() || readerDone_; });
  if (ready_.empty()) {
    error = readerError_;
    return nullptr;
  }
  std::unique_ptr<EvaluatedBlock> block = std::move(ready_.front());
  ready_.pop_front();
  changed_.notify_all();
  return block;
}

}  // namespace xevhost
