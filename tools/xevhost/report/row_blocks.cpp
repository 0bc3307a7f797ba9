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
// The longest text the table reads as a decimal number.
constexpr size_t kLongestDecimalText = 127;

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
    input.name = name;
    input.column = binding.column;
    input.type = binding.type;
    input.asText = binding.type == XEV_TYPE_NUMBER && state.rows.columns()[binding.column].type == XEV_TYPE_NUMBER;
    XevColumn column{};
    column.kind = input.asText ? XEV_COLUMN_DECIMAL_TEXT
                  : binding.type == XEV_TYPE_NUMBER || binding.type == XEV_TYPE_DATETIME ? XEV_COLUMN_NUMBER
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
void RowBlocks::AddRow(const std::vector<std::string_view>& cells) {
  for (Input& input : inputs_) {
    std::string_view cell = static_cast<size_t>(input.column) < cells.size() ? cells[input.column] : std::string_view();
    if (input.asText) {
      cell = TrimmedCell(cell);
      input.tooLong = input.tooLong || cell.size() > kLongestDecimalText;
      input.bytes += cell;
      input.offsets.push_back(static_cast<int64_t>(input.bytes.size()));
    } else if (input.type == XEV_TYPE_NUMBER || input.type == XEV_TYPE_DATETIME) {
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

// Gives the engine the block's column of an input. Numbers go as text but
// for a block that holds one too long for it: that block's are read here.
bool RowBlocks::SetColumn(size_t i) {
  Input& input = inputs_[i];
  XevColumn& column = columns_[i];
  int32_t kind = column.kind;
  if (input.asText) {
    kind = input.tooLong ? XEV_COLUMN_NUMBER : XEV_COLUMN_DECIMAL_TEXT;
    for (size_t row = 0; input.tooLong && row + 1 < input.offsets.size(); ++row) {
      std::string_view text(input.bytes.data() + input.offsets[row],
                            static_cast<size_t>(input.offsets[row + 1] - input.offsets[row]));
      NumberValue value{};
      if (!ParseNumberCell(text, &value)) NumberSetNull(&value);
      input.numbers.push_back(value);
    }
  }
  if (kind != column.kind) {
    column.kind = kind;
    if (XEVTableBind(table_, input.name.c_str(), &column) != static_cast<int32_t>(i)) return false;
  }
  bool text = kind == XEV_COLUMN_STRING || kind == XEV_COLUMN_DECIMAL_TEXT;
  column.values = text ? static_cast<const void*>(input.bytes.data()) : static_cast<const void*>(input.numbers.data());
  column.offsets = input.offsets.data();
  return true;
}

std::unique_ptr<EvaluatedBlock> RowBlocks::ReadAndEvaluate(CsvTable& csv, std::string& error) {
  if (ended_) return nullptr;
  for (Input& input : inputs_) {
    input.numbers.clear();
    input.bytes.clear();
    input.offsets.assign(1, 0);
    input.tooLong = false;
  }
  int64_t rows = 0;
  while (rows < kBlockRows) {
    if (!csv.NextFields(cells_, error)) {
      ended_ = true;
      break;
    }
    AddRow(cells_);
    ++rows;
  }
  rowsRead_ += rows;
  if (rows == 0) return nullptr;
  // Binding again fails only when memory is short.
  for (size_t i = 0; i < inputs_.size(); ++i)
    if (!SetColumn(i)) OutOfMemory();
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
