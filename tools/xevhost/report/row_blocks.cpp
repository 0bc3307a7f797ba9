#include "report/row_blocks.h"

#include <algorithm>
#include <system_error>

#include "commands/out_of_memory.h"
#include "input/column_types.h"

namespace xevhost {
namespace {

// Rows per block read in turn: enough that starting the table's threads
// costs nothing beside the evaluation, few enough that a block's columns
// stay small. Blocks read from row marks are the marks' rows.
constexpr int64_t kBlockRows = 16384;
// Blocks made ahead of the writer, per thread making them; more would only
// hold memory.
constexpr size_t kBlocksAhead = 2;
// Threads reading blocks at once, as many as a table may have.
constexpr int kMostLanes = 64;
// The longest text the table reads as a decimal number.
constexpr size_t kLongestDecimalText = 127;

}  // namespace

void CellBytes::Grow(size_t more) {
  const size_t capacity = std::max(capacity_ * 2, std::max(size_ + more, size_t{1} << 16));
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
  data_ = std::move(grown);
  capacity_ = capacity;
}

EvaluatedBlock::~EvaluatedBlock() {
  if (!results.empty()) XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
}

RowBlocks::RowBlocks(ExprContext* ec, const HostState& state, const CsvTable& csv, const std::vector<HEXP>& formulas,
                     HEXP where, const std::unordered_set<std::string>& itemsRead, int jobs)
    : ahead_(jobs != 1), where_(where), formulas_(formulas), blockCount_(csv.rowMarks().size()) {
  int lanes = 1;
  if (ahead_ && csv.rowsAsIs() && blockCount_ > 1)
    lanes = std::min(kMostLanes, jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  marked_ = lanes > 1;
  lanes_.resize(static_cast<size_t>(lanes));
  for (size_t i = 0; i < lanes_.size() && ok_; ++i) ok_ = MakeLane(lanes_[i], ec, state, itemsRead, marked_ ? 1 : jobs);
}

RowBlocks::~RowBlocks() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  ready_.clear();
  for (Lane& lane : lanes_) XEVTableDestroy(lane.table);
}

// Binds every data item the formulas read to a column of its own; each
// block gives the columns' arrays anew.
bool RowBlocks::MakeLane(Lane& lane, ExprContext* ec, const HostState& state,
                         const std::unordered_set<std::string>& itemsRead, int threads) {
  lane.table = XEVTableCreate(ec, threads);
  if (lane.table == nullptr) return false;
  for (const auto& [name, binding] : state.bindings) {
    if (binding.column < 0 || itemsRead.count(name) == 0) continue;
    Input input;
    input.name = name;
    input.column = binding.column;
    input.type = binding.type;
    const Column& read = state.rows.columns()[binding.column];
    input.asText = binding.type == XEV_TYPE_NUMBER && read.type == XEV_TYPE_NUMBER;
    input.whole = input.asText && read.wholeNumbers;
    input.asText = input.asText && !input.whole;
    XevColumn column{};
    column.kind = input.whole    ? XEV_COLUMN_INT64
                  : input.asText ? XEV_COLUMN_DECIMAL_TEXT
                  : binding.type == XEV_TYPE_NUMBER || binding.type == XEV_TYPE_DATETIME ? XEV_COLUMN_NUMBER
                                                                                         : XEV_COLUMN_STRING;
    if (XEVTableBind(lane.table, name.c_str(), &column) != static_cast<int32_t>(lane.inputs.size())) return false;
    lane.inputs.push_back(std::move(input));
    lane.columns.push_back(column);
  }
  return true;
}

void RowBlocks::StartBlock(Lane& lane) {
  for (Input& input : lane.inputs) {
    input.numbers.clear();
    input.integers.clear();
    input.nulls.clear();
    input.bytes.clear();
    input.offsets.assign(1, 0);
    input.tooLong = false;
  }
}

// A cell that does not read as the item's type is NULL, as an empty one is.
void RowBlocks::AddRow(Lane& lane, const std::vector<std::string_view>& cells) {
  for (Input& input : lane.inputs) {
    std::string_view cell = static_cast<size_t>(input.column) < cells.size() ? cells[input.column] : std::string_view();
    if (input.whole) {
      int64_t value = 0;
      const bool read = ParseWholeCell(cell, &value);
      input.integers.push_back(value);
      input.nulls.push_back(read ? 0 : 1);
    } else if (input.asText) {
      cell = TrimmedCell(cell);
      input.tooLong = input.tooLong || cell.size() > kLongestDecimalText;
      input.bytes.Put(cell);
      input.offsets.push_back(static_cast<int64_t>(input.bytes.size()));
    } else if (input.type == XEV_TYPE_NUMBER || input.type == XEV_TYPE_DATETIME) {
      if (!input.lastCell.Is(cell)) {
        NumberValue& value = input.lastValue;
        value = NumberValue{};
        bool read = input.type == XEV_TYPE_NUMBER ? ParseNumberCell(cell, &value) : ParseDateTimeCell(cell, &value);
        if (!read) NumberSetNull(&value);
        input.lastCell.Keep(cell);
      }
      input.numbers.push_back(input.lastValue);
    } else {
      input.bytes.Put(cell);
      input.offsets.push_back(static_cast<int64_t>(input.bytes.size()));
    }
  }
}

// Gives the engine the block's column of an input. Numbers go as text but
// for a block that holds one too long for it: that block's are read here.
bool RowBlocks::SetColumn(Lane& lane, size_t i) {
  Input& input = lane.inputs[i];
  XevColumn& column = lane.columns[i];
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
    if (XEVTableBind(lane.table, input.name.c_str(), &column) != static_cast<int32_t>(i)) return false;
  }
  bool text = kind == XEV_COLUMN_STRING || kind == XEV_COLUMN_DECIMAL_TEXT;
  column.values = text          ? static_cast<const void*>(input.bytes.data())
                  : input.whole ? static_cast<const void*>(input.integers.data())
                                : static_cast<const void*>(input.numbers.data());
  column.offsets = input.offsets.data();
  column.nulls = input.whole ? input.nulls.data() : nullptr;
  return true;
}

// The lane's table and its arguments are ours, so a failure is memory that
// ran short, here or inside a formula of some row.
std::unique_ptr<EvaluatedBlock> RowBlocks::Evaluate(Lane& lane, int64_t rows) {
  for (size_t i = 0; i < lane.inputs.size(); ++i)
    if (!SetColumn(lane, i)) OutOfMemory();
  std::unique_ptr<EvaluatedBlock> block = NewBlock();
  block->rowsRead = rows;
  block->results.resize(formulas_.size());
  for (size_t i = 0; i < formulas_.size(); ++i) block->results[i].formula = formulas_[i];
  int64_t* index = nullptr;
  if (XEVTableEvaluate(lane.table, rows, lane.columns.data(), block->results.data(),
                       static_cast<int32_t>(block->results.size()), where_, &index) != 1)
    OutOfMemory();
  while (index[block->selected] >= 0) ++block->selected;
  HostFree(index);
  if (format_) format_(*block);
  return block;
}

std::unique_ptr<EvaluatedBlock> RowBlocks::NewBlock() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (spare_.empty()) return std::make_unique<EvaluatedBlock>();
  std::unique_ptr<EvaluatedBlock> block = std::move(spare_.back());
  spare_.pop_back();
  return block;
}

void RowBlocks::Recycle(std::unique_ptr<EvaluatedBlock> block) {
  if (!block->results.empty()) XEVTableFreeResults(block->results.data(), static_cast<int32_t>(block->results.size()));
  block->results.clear();
  block->selected = 0;
  block->text.clear();
  block->rowEnds.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  spare_.push_back(std::move(block));
}

std::unique_ptr<EvaluatedBlock> RowBlocks::ReadAndEvaluate(CsvTable& csv, std::string& error) {
  if (ended_) return nullptr;
  Lane& lane = lanes_[0];
  StartBlock(lane);
  int64_t rows = 0;
  const size_t from = csv.bytesConsumed();
  while (rows < kBlockRows) {
    if (!csv.NextFields(lane.cells, error)) {
      ended_ = true;
      break;
    }
    AddRow(lane, lane.cells);
    ++rows;
  }
  std::unique_ptr<EvaluatedBlock> evaluated = rows == 0 ? nullptr : Evaluate(lane, rows);
  csv.ReleaseBytes(from, csv.bytesConsumed());
  return evaluated;
}

// The rows from one mark to the next, read by a reader of the lane's own.
std::unique_ptr<EvaluatedBlock> RowBlocks::ReadMarkedBlock(Lane& lane, const CsvTable& csv, size_t block) {
  const std::vector<CsvReader::Mark>& marks = csv.rowMarks();
  const size_t end = block + 1 < marks.size() ? marks[block + 1].offset : csv.bytes().size();
  CsvReader reader(csv.bytes());
  reader.Seek(marks[block]);
  StartBlock(lane);
  int64_t rows = 0;
  // The rows were checked whole when the table was opened.
  while (reader.bytesConsumed() < end && reader.Next(lane.cells) == CsvReader::Status::kRecord) {
    AddRow(lane, lane.cells);
    ++rows;
  }
  std::unique_ptr<EvaluatedBlock> evaluated = rows == 0 ? std::make_unique<EvaluatedBlock>() : Evaluate(lane, rows);
  csv.ReleaseBytes(marks[block].offset, end);
  return evaluated;
}

// One thread reading the blocks in turn, for input that is converted as it
// is read; the table's threads share each block's evaluation.
void RowBlocks::ReadAhead(CsvTable& csv) {
  for (size_t number = 0;; ++number) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || number < nextToTake_ + kBlocksAhead; });
      if (stopping_) break;
    }
    std::string error;
    std::unique_ptr<EvaluatedBlock> block = ReadAndEvaluate(csv, error);
    std::lock_guard<std::mutex> lock(mutex_);
    if (block == nullptr) {
      readerError_ = error;
      break;
    }
    ready_[number] = std::move(block);
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  --running_;
  changed_.notify_all();
}

// One of several threads taking the next block not yet taken, each whole.
void RowBlocks::Work(Lane& lane, const CsvTable& csv) {
  const size_t window = kBlocksAhead * lanes_.size();
  for (;;) {
    size_t number = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || nextToClaim_ < nextToTake_ + window; });
      if (stopping_ || nextToClaim_ >= blockCount_) break;
      number = nextToClaim_++;
    }
    std::unique_ptr<EvaluatedBlock> block = ReadMarkedBlock(lane, csv, number);
    std::lock_guard<std::mutex> lock(mutex_);
    ready_[number] = std::move(block);
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  --running_;
  changed_.notify_all();
}

// false when not even one thread could be started: the blocks are then read
// in turn on the caller's.
bool RowBlocks::StartThreads(CsvTable& csv) {
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    for (size_t i = 0; i < (marked_ ? lanes_.size() : 1); ++i) {
      if (marked_) threads_.emplace_back(&RowBlocks::Work, this, std::ref(lanes_[i]), std::cref(csv));
      else threads_.emplace_back(&RowBlocks::ReadAhead, this, std::ref(csv));
      ++running_;
    }
  } catch (const std::system_error&) {
  }
  return !threads_.empty();
}

std::unique_ptr<EvaluatedBlock> RowBlocks::Next(CsvTable& csv, std::string& error) {
  std::unique_ptr<EvaluatedBlock> block;
  if (ahead_ && threads_.empty() && !StartThreads(csv)) ahead_ = false;
  if (!ahead_) {
    block = ReadAndEvaluate(csv, error);
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return ready_.count(nextToTake_) != 0 || running_ == 0; });
    auto found = ready_.find(nextToTake_);
    if (found == ready_.end()) {
      error = readerError_;
      return nullptr;
    }
    block = std::move(found->second);
    ready_.erase(found);
    ++nextToTake_;
    changed_.notify_all();
  }
  if (block == nullptr) return nullptr;
  rowsRead_ += block->rowsRead;
  block->rowsRead = rowsRead_;
  return block;
}

}  // namespace xevhost
