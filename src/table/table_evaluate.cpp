// Evaluating a table: the rows are cut into one contiguous share per thread;
// each share is evaluated row by row on its own copy of the context into
// buffers of its own, and the shares are then joined in row order into the
// result columns. A share's rows come out the same whichever thread runs it,
// so the results do not depend on the thread count.
#include <atomic>
#include <cstring>
#include <thread>

#include "eval/evaluator.h"
#include "eval/formula_values.h"
#include "eval/plan_blocks.h"
#include "table/result_values.h"
#include "table/table.h"

namespace xev::table {
namespace {

// Fewer rows than this per thread are not worth starting a thread for.
constexpr int64_t kMinRowsPerShare = 512;

std::atomic<int32_t> g_blockRows{eval::kBlockRows};

struct Share {
  int32_t copy;
  int64_t begin;
  int64_t end;
  int64_t count;       // rows selected
  int64_t* selected;   // their numbers
  ShareColumn* columns;
  bool failed;
  bool onThread;  // run by a thread of its own
};

struct Job {
  XevTable* table;
  const XevColumn* columns;
  const ResultShape* shapes;
  int32_t resultCount;
  HEXP* formulas;  // per copy: resultCount formulas, then the where formula (or nullptr)
  Share* shares;
  int32_t shareCount;
};

HEXP FormulaOf(const Job& job, int32_t copy, int32_t result) {
  return job.formulas[static_cast<size_t>(copy) * static_cast<size_t>(job.resultCount + 1) + static_cast<size_t>(result)];
}

// Evaluates exp for the cursor's row; false for no value, or a value whose
// shape is not the formula's type.
bool EvaluateRow(ExprContext* ec, HEXP exp, bool number, eval::Value& value) {
  if (!eval::EvaluateFormula(ec, exp, value)) return false;
  if ((value.kind == eval::Value::kNumber) == number) return true;
  eval::ReleaseValue(value);
  return false;
}

bool Selected(ExprContext* ec, HEXP where) {
  eval::Value value;
  if (!EvaluateRow(ec, where, true, value)) return false;
  return NumberIsNull(&value.number) == 0 && NumberIsZero(&value.number) == 0;
}

bool AllocateShare(const Job& job, Share& share) {
  int64_t rows = share.end - share.begin;
  share.selected = static_cast<int64_t*>(HostAlloc(sizeof(int64_t) * static_cast<size_t>(rows + 1)));
  share.columns = static_cast<ShareColumn*>(HostAlloc(sizeof(ShareColumn) * static_cast<size_t>(job.resultCount + 1)));
  if (share.selected == nullptr || share.columns == nullptr) return false;
  for (int32_t r = 0; r < job.resultCount; ++r) {
    if (!AllocateShareColumn(job.shapes[r], rows, share.columns[r])) return false;
  }
  return true;
}

void ReleaseShare(const Job& job, Share& share) {
  if (share.columns != nullptr) {
    for (int32_t r = 0; r < job.resultCount; ++r) ReleaseShareColumn(share.columns[r]);
  }
  HostFree(share.columns);
  HostFree(share.selected);
  share.columns = nullptr;
  share.selected = nullptr;
}

// Evaluates the share's rows one formula after another, each reference
// evaluating its formula again: for formulas that reach themselves.
bool RunRowsByFormula(const Job& job, Share& share, RowCursor& cursor, uint32_t memoryShort) {
  ExprContext* ec = job.table->copies[share.copy];
  HEXP where = FormulaOf(job, share.copy, job.resultCount);
  bool ok = true;
  for (int64_t row = share.begin; row < share.end && ok; ++row) {
    cursor.row = row;
    if (where != nullptr && !Selected(ec, where)) {
      ok = eval::MemoryShortCount() == memoryShort;
      continue;
    }
    for (int32_t r = 0; r < job.resultCount && ok; ++r) {
      const ResultShape& shape = job.shapes[r];
      eval::Value value;
      bool answered = EvaluateRow(ec, FormulaOf(job, share.copy, r), shape.type != XEV_TYPE_STRING, value);
      ok = WriteRow(shape, share.columns[r], share.count, answered ? &value : nullptr) &&
           (answered || eval::MemoryShortCount() == memoryShort);
      eval::ReleaseValue(value);
    }
    share.selected[share.count++] = row;
  }
  return ok;
}

// The formulas of a share in the order values arranged them: each is
// evaluated once a row and kept, so every reference reads its value.
struct Arranged {
  eval::FormulaValues& values;
  int32_t whereEnd;        // the where formula and what it uses come first
  const int32_t* results;  // each result's formula among the values
};

// The block columns of a share's formulas, where the blocks hold them.
struct Blocks {
  eval::BlockColumn* columns = nullptr;  // per arranged formula
  host::decimal::Decimal* scratch = nullptr;
  int32_t count = 0;  // formulas
  int32_t rows = 0;   // per block
  int32_t held = 0;
  int32_t* selected = nullptr;  // the rows of a block the where formula selects
  uint32_t generation = 0;  // the context's when the plans were found held
  eval::BlockArena arena;   // the texts of the block being run
  eval::BlockDates dates;   // and the dates' parts
  eval::BlockReads reads;   // and the bound columns' values
};

// Row at of a held column as a value: a text is lent from the block's arena,
// good while the block's rows run.
void TakeHeld(const eval::BlockColumn& column, int32_t at, eval::Value& value) {
  if (column.texts != nullptr) {
    value.text = const_cast<char*>(column.texts[at]);
    value.kind = eval::Value::kText;
    return;
  }
  value.number = column.numbers[at];
  value.kind = eval::Value::kNumber;
}

// A held formula's value for row at of the block, while the block's values
// still stand: no callback has changed the context or bound an operator.
bool HeldValue(const ExprContext* ec, const Blocks* blocks, int32_t index, int32_t at, eval::Value& value) {
  if (blocks == nullptr) return false;
  const eval::BlockColumn& column = blocks->columns[index];
  if (column.numbers == nullptr || column.byRow[at] != 0 || ec->generation != blocks->generation ||
      !eval::OperatorsPlain(ec)) {
    return false;
  }
  TakeHeld(column, at, value);
  return true;
}

// Evaluates the arranged formulas from begin to end for the cursor's row,
// taking a held formula's value from its block (row at of it).
void EvaluateArranged(ExprContext* ec, eval::FormulaValues& values, int32_t begin, int32_t end,
                      const Blocks* blocks = nullptr, int32_t at = 0) {
  for (int32_t i = begin; i < end; ++i) {
    eval::Value value;
    if (!HeldValue(ec, blocks, i, at, value) && !eval::EvaluateFormula(ec, values.At(i), value, nullptr, &values)) {
      eval::ReleaseValue(value);
    }
    values.Keep(i, value);
  }
}

bool WriteArranged(const Job& job, Share& share, const Arranged& arranged) {
  for (int32_t r = 0; r < job.resultCount; ++r) {
    const ResultShape& shape = job.shapes[r];
    const eval::Value& value = arranged.values.ValueAt(arranged.results[r]);
    // A value whose shape is not the formula's type counts as none.
    bool answered = value.kind != eval::Value::kNone && (value.kind == eval::Value::kNumber) == (shape.type != XEV_TYPE_STRING);
    if (!WriteRow(shape, share.columns[r], share.count, answered ? &value : nullptr)) return false;
  }
  return true;
}

bool SelectedArranged(const Arranged& arranged) {
  if (arranged.whereEnd == 0) return true;
  const eval::Value& value = arranged.values.ValueAt(arranged.whereEnd - 1);
  return value.kind == eval::Value::kNumber && NumberIsNull(&value.number) == 0 && NumberIsZero(&value.number) == 0;
}

// Whether row at of the block has every formula's value in the blocks: then
// its results are written from there with nothing evaluated.
bool AllHeld(const ExprContext* ec, const Blocks* blocks, int32_t at) {
  if (blocks == nullptr || blocks->held != blocks->count) return false;
  for (int32_t i = 0; i < blocks->count; ++i) {
    if (blocks->columns[i].byRow[at] != 0) return false;
  }
  return ec->generation == blocks->generation && eval::OperatorsPlain(ec);
}

// The where formula's held value selects row at of the block.
bool SelectedHeld(const Arranged& arranged, const Blocks& blocks, int32_t at) {
  if (arranged.whereEnd == 0) return true;
  const NumberValue& value = blocks.columns[arranged.whereEnd - 1].numbers[at];
  return NumberIsNull(&value) == 0 && NumberIsZero(&value) == 0;
}

bool WriteHeld(const Job& job, Share& share, const Arranged& arranged, const Blocks& blocks, int32_t at) {
  for (int32_t r = 0; r < job.resultCount; ++r) {
    eval::Value value;
    TakeHeld(blocks.columns[arranged.results[r]], at, value);
    const bool answered = (value.kind == eval::Value::kNumber) == (job.shapes[r].type != XEV_TYPE_STRING);
    if (!WriteRow(job.shapes[r], share.columns[r], share.count, answered ? &value : nullptr)) return false;
  }
  return true;
}

// Whether every row of the block has every formula's value in the blocks,
// so that its results are written column by column with nothing evaluated
// and no callback made, as AllHeld lets each row be written.
bool BlockAllHeld(const ExprContext* ec, const Blocks& blocks, int32_t count) {
  if (blocks.held != blocks.count || ec->generation != blocks.generation || !eval::OperatorsPlain(ec)) return false;
  for (int32_t i = 0; i < blocks.count; ++i) {
    uint8_t byRow = 0;
    for (int32_t at = 0; at < count; ++at) byRow |= blocks.columns[i].byRow[at];
    if (byRow != 0) return false;
  }
  return true;
}

// The block's selected rows written a result column at a time.
bool WriteBlockHeld(const Job& job, Share& share, const Arranged& arranged, const Blocks& blocks, int64_t first,
                    int32_t count) {
  int32_t selected = 0;
  for (int32_t at = 0; at < count; ++at) {
    if (SelectedHeld(arranged, blocks, at)) blocks.selected[selected++] = at;
  }
  for (int32_t r = 0; r < job.resultCount; ++r) {
    if (!WriteHeldRows(job.shapes[r], share.columns[r], share.count, blocks.columns[arranged.results[r]],
                       blocks.selected, selected)) {
      return false;
    }
  }
  for (int32_t k = 0; k < selected; ++k) share.selected[share.count + k] = first + blocks.selected[k];
  share.count += selected;
  return true;
}

// Rows first to end - 1 of the share, on the block's values where blocks is
// given (row at of the block being first).
bool RunRowsArranged(const Job& job, Share& share, RowCursor& cursor, uint32_t memoryShort, const Arranged& arranged,
                     int64_t first, int64_t end, const Blocks* blocks = nullptr) {
  ExprContext* ec = job.table->copies[share.copy];
  eval::FormulaValues& values = arranged.values;
  bool ok = true;
  for (int64_t row = first; row < end && ok; ++row) {
    cursor.row = row;
    const int32_t at = static_cast<int32_t>(row - first);
    if (AllHeld(ec, blocks, at)) {
      if (!SelectedHeld(arranged, *blocks, at)) continue;
      ok = WriteHeld(job, share, arranged, *blocks, at);
      share.selected[share.count++] = row;
      continue;
    }
    values.StartRow(ec);
    EvaluateArranged(ec, values, 0, arranged.whereEnd, blocks, at);
    if (!SelectedArranged(arranged)) {
      ok = eval::MemoryShortCount() == memoryShort;
      continue;
    }
    EvaluateArranged(ec, values, arranged.whereEnd, values.count(), blocks, at);
    ok = eval::MemoryShortCount() == memoryShort && WriteArranged(job, share, arranged);
    share.selected[share.count++] = row;
  }
  return ok;
}

void ReleaseBlocks(Blocks& blocks) {
  for (int32_t i = 0; blocks.columns != nullptr && i < blocks.count; ++i) {
    HostFree(blocks.columns[i].numbers);
    HostFree(blocks.columns[i].byRow);
    HostFree(blocks.columns[i].texts);
    HostFree(blocks.columns[i].lengths);
  }
  eval::ArenaRelease(blocks.arena);
  eval::ReleaseBlockDates(blocks.dates);
  eval::ReleaseBlockReads(blocks.reads);
  HostFree(blocks.columns);
  HostFree(blocks.scratch);
  HostFree(blocks.selected);
  blocks = Blocks{};
}

// Finds the formulas the blocks hold and makes their columns; false when
// memory is short. None held leaves blocks.held 0.
bool MakeBlocks(ExprContext* ec, const eval::FormulaValues& values, int64_t rows, Blocks& blocks) {
  const int32_t blockRows = g_blockRows.load(std::memory_order_relaxed);
  if (blockRows <= 0 || rows <= 0 || !eval::OperatorsPlain(ec)) return true;
  blocks.count = values.count();
  blocks.rows = rows < blockRows ? static_cast<int32_t>(rows) : blockRows;
  blocks.generation = ec->generation;
  blocks.columns = static_cast<eval::BlockColumn*>(HostAlloc(sizeof(eval::BlockColumn) * static_cast<size_t>(blocks.count + 1)));
  if (blocks.columns == nullptr) return false;
  std::memset(blocks.columns, 0, sizeof(eval::BlockColumn) * static_cast<size_t>(blocks.count));
  const eval::BlockFormulas formulas{&values, blocks.columns};
  const size_t rowsWide = static_cast<size_t>(blocks.rows);
  int32_t mostRoom = 0;
  for (int32_t i = 0; i < blocks.count; ++i) {
    int32_t room = 0;
    if (!eval::HeldByBlocks(ec, formulas, i, &room)) continue;
    eval::BlockColumn& column = blocks.columns[i];
    column.numbers = static_cast<NumberValue*>(HostAlloc(sizeof(NumberValue) * rowsWide));
    column.byRow = static_cast<uint8_t*>(HostAlloc(rowsWide));
    if (column.numbers == nullptr || column.byRow == nullptr) return false;
    if (eval::HeldAsText(values.At(i))) {
      column.texts = static_cast<const char**>(HostAlloc(sizeof(const char*) * rowsWide));
      column.lengths = static_cast<size_t*>(HostAlloc(sizeof(size_t) * rowsWide));
      if (column.texts == nullptr || column.lengths == nullptr) return false;
    }
    ++blocks.held;
    if (room > mostRoom) mostRoom = room;
  }
  if (blocks.held == 0) return true;
  blocks.scratch = static_cast<host::decimal::Decimal*>(
      HostAlloc(sizeof(host::decimal::Decimal) * static_cast<size_t>(mostRoom) * rowsWide));
  blocks.selected = static_cast<int32_t*>(HostAlloc(sizeof(int32_t) * rowsWide));
  return blocks.scratch != nullptr && blocks.selected != nullptr;
}

// The share a block at a time: the held formulas run over the block first,
// then its rows run the others as before, taking the held values. A callback
// that changes the context or binds an operator leaves the rest of the share
// to the rows alone (HeldValue stops taking the block's values at once).
bool RunBlocksArranged(const Job& job, Share& share, RowCursor& cursor, uint32_t memoryShort,
                       const Arranged& arranged, Blocks& blocks) {
  ExprContext* ec = job.table->copies[share.copy];
  const eval::BlockFormulas formulas{&arranged.values, blocks.columns, &blocks.dates, &blocks.reads};
  for (int64_t first = share.begin; first < share.end; first += blocks.rows) {
    if (ec->generation != blocks.generation || !eval::OperatorsPlain(ec)) {
      return RunRowsArranged(job, share, cursor, memoryShort, arranged, first, share.end);
    }
    const int64_t left = share.end - first;
    const int32_t count = left < blocks.rows ? static_cast<int32_t>(left) : blocks.rows;
    eval::ArenaReset(blocks.arena);
    for (int32_t i = 0; i < blocks.count; ++i) {
      if (blocks.columns[i].numbers != nullptr) eval::RunBlock(ec, formulas, i, first, count, blocks.scratch, blocks.arena);
    }
    const bool ok = BlockAllHeld(ec, blocks, count)
                        ? WriteBlockHeld(job, share, arranged, blocks, first, count)
                        : RunRowsArranged(job, share, cursor, memoryShort, arranged, first, first + count, &blocks);
    if (!ok) return false;
  }
  return true;
}

// The share's rows in blocks when the blocks hold some formula, else row by row.
bool RunArranged(const Job& job, Share& share, RowCursor& cursor, uint32_t memoryShort, const Arranged& arranged) {
  ExprContext* ec = job.table->copies[share.copy];
  Blocks blocks;
  bool ok = MakeBlocks(ec, arranged.values, share.end - share.begin, blocks);
  if (ok) {
    ok = blocks.held > 0 ? RunBlocksArranged(job, share, cursor, memoryShort, arranged, blocks)
                         : RunRowsArranged(job, share, cursor, memoryShort, arranged, share.begin, share.end);
  }
  ReleaseBlocks(blocks);
  return ok;
}

// Arranges the share's formulas, the where formula first, and runs the
// rows on them; false when memory is short. Formulas that reach
// themselves are run one by one instead.
bool RunRows(const Job& job, Share& share, RowCursor& cursor, uint32_t memoryShort) {
  HEXP* wanted = static_cast<HEXP*>(HostAlloc(sizeof(HEXP) * static_cast<size_t>(job.resultCount + 1)));
  int32_t* results = static_cast<int32_t*>(HostAlloc(sizeof(int32_t) * static_cast<size_t>(job.resultCount + 1)));
  eval::FormulaValues values;
  bool ok = wanted != nullptr && results != nullptr;
  if (ok) {
    HEXP where = FormulaOf(job, share.copy, job.resultCount);
    wanted[0] = where;
    for (int32_t r = 0; r < job.resultCount; ++r) wanted[r + 1] = FormulaOf(job, share.copy, r);
    switch (values.Arrange(job.table->copies[share.copy], wanted, job.resultCount + 1)) {
      case eval::FormulaValues::Arranged::kDone: {
        for (int32_t r = 0; r < job.resultCount; ++r) results[r] = values.IndexOf(wanted[r + 1]);
        Arranged arranged{values, where != nullptr ? values.IndexOf(where) + 1 : 0, results};
        ok = RunArranged(job, share, cursor, memoryShort, arranged);
        break;
      }
      case eval::FormulaValues::Arranged::kCycle: ok = RunRowsByFormula(job, share, cursor, memoryShort); break;
      case eval::FormulaValues::Arranged::kNoMemory: ok = false; break;
    }
  }
  HostFree(results);
  HostFree(wanted);
  return ok;
}

void RunShare(const Job& job, Share& share) {
  share.failed = true;
  const XevTable& table = *job.table;
  auto* cache = static_cast<CachedValue*>(HostAlloc(sizeof(CachedValue) * static_cast<size_t>(table.bindingCount + 1)));
  if (cache == nullptr || !AllocateShare(job, share)) {
    HostFree(cache);
    return;
  }
  for (int32_t i = 0; i < table.bindingCount; ++i) cache[i].row = -1;
  RowCursor cursor{job.columns, table.bindings, table.byName, table.bindingCount, 0, cache};
  ExprContext* ec = table.copies[share.copy];
  ec->tableRows = &cursor;
  // Memory that ran short inside a formula fails the whole evaluation: an
  // empty cell would look like the formula's own "no value".
  const uint32_t memoryShort = eval::MemoryShortCount();
  bool ok = RunRows(job, share, cursor, memoryShort);
  ec->tableRows = nullptr;
  HostFree(cache);
  share.failed = !ok || eval::MemoryShortCount() != memoryShort;
}

// The shares run on threads of their own; the first on the calling thread.
// A thread that cannot be started leaves its share to the calling thread.
void RunShares(const Job& job) {
  std::thread threads[kMaxThreads];
  int32_t started = 0;
  for (int32_t s = 1; s < job.shareCount; ++s) {
    try {
      threads[started] = std::thread(RunShare, std::cref(job), std::ref(job.shares[s]));
      job.shares[s].onThread = true;
      ++started;
    } catch (...) {
      break;
    }
  }
  RunShare(job, job.shares[0]);
  for (int32_t t = 0; t < started; ++t) threads[t].join();
  for (int32_t s = 1; s < job.shareCount; ++s) {
    if (!job.shares[s].onThread) RunShare(job, job.shares[s]);
  }
}

// Joins the shares into the results and the row index; false, with nothing
// kept, when memory is short.
bool JoinShares(const Job& job, XevResult* results, int64_t** rowIndex) {
  int64_t total = 0;
  for (int32_t s = 0; s < job.shareCount; ++s) total += job.shares[s].count;
  int64_t* index = nullptr;
  if (rowIndex != nullptr) {
    index = static_cast<int64_t*>(HostAlloc(sizeof(int64_t) * static_cast<size_t>(total + 1)));
    if (index == nullptr) return false;
  }
  XevResult* joined = static_cast<XevResult*>(HostAlloc(sizeof(XevResult) * static_cast<size_t>(job.resultCount + 1)));
  bool ok = joined != nullptr;
  for (int32_t r = 0; r < job.resultCount && ok; ++r) {
    joined[r] = results[r];
    joined[r].values = nullptr;
    joined[r].offsets = nullptr;
    joined[r].status = nullptr;
  }
  for (int32_t r = 0; r < job.resultCount && ok; ++r) {
    ShareColumn* parts[kMaxThreads];
    int64_t counts[kMaxThreads];
    for (int32_t s = 0; s < job.shareCount; ++s) {
      parts[s] = &job.shares[s].columns[r];
      counts[s] = job.shares[s].count;
    }
    ok = JoinColumn(job.shapes[r], parts, counts, job.shareCount, total, joined[r]);
  }
  if (!ok) {
    if (joined != nullptr) XEVTableFreeResults(joined, job.resultCount);
    HostFree(joined);
    HostFree(index);
    return false;
  }
  // No results at all (only a where formula) leaves results as it came, possibly NULL.
  if (job.resultCount > 0) std::memcpy(results, joined, sizeof(XevResult) * static_cast<size_t>(job.resultCount));
  HostFree(joined);
  if (rowIndex != nullptr) {
    int64_t at = 0;
    for (int32_t s = 0; s < job.shareCount; ++s) {
      const Share& share = job.shares[s];
      if (share.count > 0) std::memcpy(index + at, share.selected, sizeof(int64_t) * static_cast<size_t>(share.count));
      at += share.count;
    }
    index[total] = -1;
    *rowIndex = index;
  }
  return true;
}

// The copy's formula of the same name as the source's formula exp; nullptr
// for a formula of another context.
HEXP CopyFormula(const XevTable& table, ExprContext* copy, HEXP exp) {
  if (exp == nullptr || exp->ec != table.source || exp->name == nullptr) return nullptr;
  return XEVHEXPFromName(copy, exp->name);
}

bool MapFormulas(const Job& job, const XevResult* results, HEXP where) {
  for (int32_t c = 0; c < job.table->threadCount; ++c) {
    ExprContext* copy = job.table->copies[c];
    HEXP* row = job.formulas + static_cast<size_t>(c) * static_cast<size_t>(job.resultCount + 1);
    for (int32_t r = 0; r < job.resultCount; ++r) {
      row[r] = CopyFormula(*job.table, copy, results[r].formula);
      if (row[r] == nullptr) return false;
    }
    if (where != nullptr) {
      row[job.resultCount] = CopyFormula(*job.table, copy, where);
      if (row[job.resultCount] == nullptr) return false;
    }
  }
  return true;
}

bool Evaluable(ExprContext* ec, HEXP exp) {
  return XEVIsExpRange(ec, exp, XEV_EXP_SET) == 0 && XEVIsExpRange(ec, exp, XEV_EXP_RANGE) == 0;
}

bool CheckArguments(const XevTable& table, int64_t rowCount, const XevColumn* columns, const XevResult* results,
                    int32_t resultCount, HEXP where, ResultShape* shapes) {
  if (rowCount < 0 || resultCount < 0 || (resultCount > 0 && results == nullptr)) return false;
  const XevColumn* given = columns;
  for (int32_t b = 0; b < table.bindingCount; ++b) {
    const XevColumn& column = given != nullptr ? given[b] : table.bindings[b].column;
    if (!KindFeedsType(column.kind, table.bindings[b].itemType) || !ColumnUsable(column, rowCount)) return false;
  }
  ExprContext* copy = table.copies[0];
  for (int32_t r = 0; r < resultCount; ++r) {
    HEXP exp = CopyFormula(table, copy, results[r].formula);
    if (exp == nullptr || !Evaluable(copy, exp) || !ShapeResult(results[r], XEVGetExpressionDataType(copy, exp), shapes[r]))
      return false;
  }
  if (where == nullptr) return true;
  HEXP exp = CopyFormula(table, copy, where);
  return exp != nullptr && Evaluable(copy, exp) && XEVGetExpressionDataType(copy, exp) == XEV_TYPE_NUMBER;
}

void CutShares(Job& job, int64_t rowCount) {
  int64_t shares = rowCount / kMinRowsPerShare;
  if (shares > job.table->threadCount) shares = job.table->threadCount;
  if (shares < 1) shares = 1;
  job.shareCount = static_cast<int32_t>(shares);
  for (int32_t s = 0; s < job.shareCount; ++s) {
    Share& share = job.shares[s];
    share = Share{};
    share.copy = s;
    share.begin = rowCount * s / shares;
    share.end = rowCount * (s + 1) / shares;
  }
}

}  // namespace

void SetBlockRows(int32_t rows) { g_blockRows.store(rows, std::memory_order_relaxed); }

}  // namespace xev::table

using namespace xev::table;

extern "C" {

XEV_API int32_t XEV_CALL XEVTableEvaluate(XevTable* table, int64_t rowCount, const XevColumn* columns,
                                          XevResult* results, int32_t resultCount, HEXP where,
                                          int64_t** rowIndex) {
  if (table == nullptr) return 0;
  size_t resultSlots = static_cast<size_t>(resultCount < 0 ? 0 : resultCount) + 1;
  auto* shapes = static_cast<ResultShape*>(HostAlloc(sizeof(ResultShape) * resultSlots));
  auto* formulas = static_cast<HEXP*>(HostAlloc(sizeof(HEXP) * resultSlots * static_cast<size_t>(table->threadCount)));
  auto* shares = static_cast<Share*>(HostAlloc(sizeof(Share) * static_cast<size_t>(table->threadCount)));
  Job job{table, columns != nullptr ? columns : nullptr, shapes, resultCount, formulas, shares, 0};
  XevColumn* bound = nullptr;
  bool ok = shapes != nullptr && formulas != nullptr && shares != nullptr &&
            CheckArguments(*table, rowCount, columns, results, resultCount, where, shapes) &&
            MapFormulas(job, results, where);
  if (ok && columns == nullptr && table->bindingCount > 0) {
    // The columns given to XEVTableBind, gathered in binding order.
    bound = static_cast<XevColumn*>(HostAlloc(sizeof(XevColumn) * static_cast<size_t>(table->bindingCount)));
    ok = bound != nullptr;
    for (int32_t b = 0; ok && b < table->bindingCount; ++b) bound[b] = table->bindings[b].column;
    job.columns = bound;
  }
  if (ok) {
    CutShares(job, rowCount);
    RunShares(job);
    for (int32_t s = 0; s < job.shareCount; ++s) ok = ok && !shares[s].failed;
    ok = ok && JoinShares(job, results, rowIndex);
    for (int32_t s = 0; s < job.shareCount; ++s) ReleaseShare(job, shares[s]);
  }
  HostFree(bound);
  HostFree(shares);
  HostFree(formulas);
  HostFree(shapes);
  return ok ? 1 : 0;
}

XEV_API void XEV_CALL XEVTableFreeResults(XevResult* results, int32_t resultCount) {
  if (results == nullptr) return;
  for (int32_t r = 0; r < resultCount; ++r) {
    XevResult& result = results[r];
    HostFree(result.values);
    HostFree(result.offsets);
    HostFree(result.status);
    result.type = 0;
    result.rowCount = 0;
    result.values = nullptr;
    result.offsets = nullptr;
    result.status = nullptr;
  }
}

}  // extern "C"
