#include "report/report_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "aggregates/aggregate_passes.h"
#include "aggregates/aggregate_plan.h"
#include "commands/host_context.h"
#include "formulas/diagnostics.h"
#include "formulas/formulas.h"
#include "formulas/hints.h"
#include "input/column_types.h"
#include "report/progress.h"
#include "report/report_output.h"
#include "report/row_blocks.h"
#include "report/value_reader.h"

namespace xevhost {
namespace {

constexpr uint64_t kProgressRows = 100000;
constexpr const char* kTotalLabel = "Total";

struct OutputColumn {
  ValueReader reader;
  bool readsRow;  // false: the same value on every row of a group
};

// Parses a formula of the command line (the --where condition, a --group-by
// name) under a name of the engine's choosing.
bool ParseHelperFormula(ExprContext* ec, const char* origin, const std::string& textUtf8,
                        const CodePageConverter& converter, HEXP& exp, uint16_t& type) {
  FormulaSource source;
  source.origin = origin;
  source.line = 1;
  converter.FromInput(textUtf8, true, source.text, InputPlace{origin, 1});
  source.lineText = source.text;
  ExprError error{};
  exp = XEVParseFormula(ec, nullptr, source.text.c_str(), "", &error, &type);
  if (exp == nullptr) PrintFormulaError(stderr, source, error, converter, FormulaHint(ec, source.name, source.text, error));
  return exp != nullptr;
}

bool IsRangeOrSet(ExprContext* ec, HEXP exp) {
  return XEVIsExpRange(ec, exp, XEV_EXP_SET) == 1 || XEVIsExpRange(ec, exp, XEV_EXP_RANGE) == 1;
}

bool AddWhere(ExprContext* ec, const std::string& textUtf8, const CodePageConverter& converter, HEXP& exp) {
  uint16_t type = 0;
  if (!ParseHelperFormula(ec, "--where", textUtf8, converter, exp, type)) return false;
  if (type != XEV_TYPE_NUMBER || IsRangeOrSet(ec, exp)) {
    std::fprintf(stderr, "--where:1:1: error: the condition must be a Number formula; this one is %s\n",
                 TypeName(type));
    return false;
  }
  if (XEVIsAggregateUsed(ec, exp) == 1) {
    std::fprintf(stderr, "--where:1:1: error: the condition chooses the rows aggregates run over, so it "
                 "cannot use one; put the aggregate in a formula of the report instead\n");
    return false;
  }
  return true;
}

// A group-by name is a data item, or a formula written without its ().
bool AddGroupKeys(ExprContext* ec, const Options& options, const CodePageConverter& converter,
                  std::vector<ValueReader>& keys, std::vector<ReportColumn>& header) {
  for (const std::string& name : options.groupBy) {
    std::string ansi = converter.ToAnsi(name);
    std::string text = XEVHEXPFromName(ec, ansi.c_str()) != nullptr ? name + "()" : name;
    HEXP exp = nullptr;
    uint16_t type = 0;
    if (!ParseHelperFormula(ec, "--group-by", text, converter, exp, type)) return false;
    if (IsRangeOrSet(ec, exp) || XEVIsAggregateUsed(ec, exp) == 1) {
      std::fprintf(stderr, "--group-by: error: %s must give one value per row, without aggregates\n", name.c_str());
      return false;
    }
    keys.emplace_back(ec, exp, type);
    header.insert(header.begin() + static_cast<std::ptrdiff_t>(keys.size() - 1),
                  ReportColumn{name, converter.utf8() ? Utf8Width(name) : static_cast<int>(ansi.size()), type});
  }
  return true;
}

Cell MakeCell(const std::string& ansi, bool null, const CodePageConverter& converter) {
  Cell cell;
  cell.null = null;
  converter.ToUtf8(ansi, cell.text);
  // In 1252 and 932 one byte is one column on a terminal: double-byte
  // characters are the wide ones. UTF-8 is measured by its characters.
  cell.width = converter.utf8() ? Utf8Width(cell.text) : static_cast<int>(ansi.size());
  return cell;
}

class ReportRows {
 public:
  ReportRows(const CodePageConverter& converter, std::vector<ValueReader>& keys,
             std::vector<OutputColumn>& columns, ReportWriter& writer, DateStyle dates,
             const std::string& datePicture)
      : converter_(converter), dates_(dates), datePicture_(datePicture), keys_(keys), columns_(columns),
        writer_(writer) {
    // Code-page texts and date pictures need the cells' texts made first.
    direct_ = writer.TakesValues() && converter.utf8() && datePicture.empty() && keys.empty();
    sums_.assign(columns.size(), NumberValue{});
    for (NumberValue& sum : sums_) NumberSetZero(&sum);
    for (const OutputColumn& column : columns) strings_.push_back(column.reader.type() == XEV_TYPE_STRING);
  }

  // One output row from the current row's values.
  void Write(bool sumUp) {
    cells_.clear();
    for (ValueReader& key : keys_) AddCell(key);
    for (size_t i = 0; i < columns_.size(); ++i) {
      AddCell(columns_[i].reader);
      AddToSum(i, sumUp);
    }
    writer_.Row(cells_);
  }

  // One output row from row of a block's results.
  void Write(const EvaluatedBlock& block, int64_t row, bool sumUp) {
    if (direct_) {
      FillValues(block, row, values_);
      for (size_t i = 0; sumUp && i < columns_.size(); ++i)
        if (!values_[i].null && columns_[i].reader.type() == XEV_TYPE_NUMBER) AddToSum(i, sumUp, *values_[i].number);
      writer_.Values(values_);
      return;
    }
    cells_.clear();
    for (size_t i = 0; i < columns_.size(); ++i) {
      const XevResult& result = block.results[i];
      int type = columns_[i].reader.type();
      value_.null = result.status[row] != XEV_ROW_VALUE;
      value_.text.clear();
      if (value_.null) {
        NumberSetNull(&value_.number);
      } else if (type == XEV_TYPE_STRING) {
        const char* bytes = static_cast<const char*>(result.values);
        value_.text.assign(bytes + result.offsets[row], bytes + result.offsets[row + 1]);
      } else {
        std::memcpy(&value_.number, static_cast<const unsigned char*>(result.values) + row * XEV_NUMBER_SIZE,
                    XEV_NUMBER_SIZE);
      }
      AddValueCell(type);
      AddToSum(i, sumUp);
    }
    writer_.Row(cells_);
  }

  // Whether blocks go out as the text their own threads format.
  bool direct() const { return direct_; }

  // The block's rows as the writer's text, on the thread that evaluated it.
  void Format(EvaluatedBlock& block) const {
    std::vector<ValueCell> cells;
    block.rowEnds.reserve(static_cast<size_t>(block.selected));
    for (int64_t row = 0; row < block.selected; ++row) {
      FillValues(block, row, cells);
      writer_.AppendValues(cells, block.text);
      block.rowEnds.push_back(block.text.size());
    }
  }

  // The first count rows of a formatted block.
  void WriteFormatted(const EvaluatedBlock& block, int64_t count, bool sumUp) {
    if (count <= 0) return;
    writer_.Formatted(std::string_view(block.text.data(), block.rowEnds[static_cast<size_t>(count - 1)]));
    for (size_t i = 0; sumUp && i < columns_.size(); ++i) {
      const XevResult& result = block.results[i];
      for (int64_t row = 0; row < count && columns_[i].reader.type() == XEV_TYPE_NUMBER; ++row)
        if (result.status[row] == XEV_ROW_VALUE) AddToSum(i, true, *NumberAt(result, row));
    }
  }

  // The totals line: what does not read rows is evaluated over all rows
  // (group 0 is current), plain Number columns show their sums.
  void WriteTotals(bool summed) {
    cells_.assign(keys_.size(), Cell{"", 0, true});
    for (size_t i = 0; i < columns_.size(); ++i) {
      OutputColumn& column = columns_[i];
      if (!column.readsRow) {
        AddCell(column.reader);
      } else if (summed && column.reader.type() == XEV_TYPE_NUMBER) {
        cells_.push_back(MakeCell(NumberText(sums_[i]), false, converter_));
      } else {
        cells_.push_back(Cell{"", 0, true});
      }
    }
    Label();
    writer_.Row(cells_);
  }

 private:
  void AddCell(ValueReader& reader) {
    reader.Read(value_);
    AddValueCell(reader.type());
  }

  void AddValueCell(int type) {
    cells_.push_back(MakeCell(ValueText(value_, type, dates_, datePicture_.c_str()), value_.null && type != XEV_TYPE_STRING,
                              converter_));
  }

  void AddToSum(size_t column, bool sumUp) {
    if (!value_.null) AddToSum(column, sumUp, value_.number);
  }
  void AddToSum(size_t column, bool sumUp, const NumberValue& value) {
    if (!sumUp || columns_[column].reader.type() != XEV_TYPE_NUMBER) return;
    NumberValue total;
    if (NumberAdd(&total, &sums_[column], &value) == 1) sums_[column] = total;
  }

  // A row's values as the writer takes them, pointing into the block.
  void FillValues(const EvaluatedBlock& block, int64_t row, std::vector<ValueCell>& cells) const {
    cells.resize(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      const XevResult& result = block.results[i];
      ValueCell& cell = cells[i];
      cell.null = result.status[row] != XEV_ROW_VALUE;
      if (cell.null) continue;
      if (strings_[i]) {
        const char* bytes = static_cast<const char*>(result.values);
        cell.text = std::string_view(bytes + result.offsets[row],
                                     static_cast<size_t>(result.offsets[row + 1] - result.offsets[row]));
        cell.readable = bytes + result.offsets[result.rowCount];
      } else {
        cell.number = NumberAt(result, row);
      }
    }
  }

  static const NumberValue* NumberAt(const XevResult& result, int64_t row) {
    return reinterpret_cast<const NumberValue*>(static_cast<const unsigned char*>(result.values) +
                                                row * XEV_NUMBER_SIZE);
  }

  // "Total" goes into the first String column the line leaves empty.
  void Label() {
    size_t k = keys_.size();
    for (size_t i = 0; i < cells_.size(); ++i) {
      int type = i < k ? keys_[i].type() : columns_[i - k].reader.type();
      if (type != XEV_TYPE_STRING || !cells_[i].null) continue;
      cells_[i] = MakeCell(kTotalLabel, false, converter_);
      return;
    }
  }

  const CodePageConverter& converter_;
  DateStyle dates_;
  std::string datePicture_;  // code-page bytes; empty: by dates_
  std::vector<ValueReader>& keys_;
  std::vector<OutputColumn>& columns_;
  ReportWriter& writer_;
  std::vector<NumberValue> sums_;
  std::vector<Cell> cells_;
  TypedValue value_;
  bool direct_ = false;
  std::vector<ValueCell> values_;
  std::vector<uint8_t> strings_;  // per column: a String, whose rows are texts
};

}  // namespace

int RunReport(const Options& options, const CodePageConverter& converter) {
  Prepared prepared;
  int status = kExitOk;
  if (!Prepare(options, converter, /*needRows=*/true, prepared, status)) return status;
  ExprContext* ec = prepared.context->ec();
  HostState& state = prepared.context->state();
  CsvTable& table = *prepared.table;

  FormulaGraph graph(ec);
  AggregateTable aggregates;
  if (!PlanAggregates(ec, graph, converter, aggregates, stderr)) return kExitFormula;
  std::vector<bool> rowReaders = ReadsRowValues(ec, graph);
  std::vector<OutputColumn> columns;
  std::vector<ReportColumn> header;
  bool anyAggregate = false;
  bool allRowFree = true;
  for (HEXP exp : prepared.order) {
    if (IsRangeOrSet(ec, exp)) continue;  // not evaluable
    int type = XEVGetExpressionDataType(ec, exp);
    auto index = static_cast<size_t>(graph.IndexOf(exp));  // every formula of the order is in the graph
    bool readsRow = rowReaders[index];
    anyAggregate = anyAggregate || graph.UsesAggregate(index);
    allRowFree = allRowFree && !readsRow;
    columns.push_back(OutputColumn{ValueReader(ec, exp, type), readsRow});
    Cell name = MakeCell(ExpressionName(ec, exp), false, converter);
    header.push_back(ReportColumn{name.text, name.width, type});
  }
  HEXP whereExp = nullptr;
  if (options.where && !AddWhere(ec, *options.where, converter, whereExp)) return kExitFormula;
  ValueReader where(ec, whereExp, XEV_TYPE_NUMBER);
  std::vector<ValueReader> keys;
  if (!AddGroupKeys(ec, options, converter, keys, header)) return kExitFormula;
  Grouping grouping(std::move(keys));
  // A report of aggregates alone is one line, over all rows.
  bool oneLinePerGroup = grouping.grouped() || (anyAggregate && allRowFree && !columns.empty());

  std::string error;
  if (anyAggregate || grouping.grouped()) {
    state.aggregates = &aggregates;
    bool totalsToo = options.totals && grouping.grouped();
    if (!RunAggregatePasses(ec, table, state, whereExp ? &where : nullptr, grouping, aggregates, totalsToo, error) ||
        !table.Restart(error)) {
      std::fprintf(stderr, "xevhost: %s\n", error.c_str());
      return kExitBadInput;
    }
  }

  // Saving with --limit 0 is storing a document, not reporting.
  if (!options.savePath.empty() && options.limit == 0) return kExitOk;
  OutputFormat format = options.format.value_or(isatty(STDOUT_FILENO) == 1 ? OutputFormat::kTable : OutputFormat::kCsv);
  std::unique_ptr<ReportWriter> writer = MakeReportWriter(format, stdout, static_cast<int>(options.maxWidth));
  writer->Begin(header);
  ReportRows rows(converter, grouping.keys(), columns, *writer, DateStyleOf(format),
                  converter.ToAnsi(options.dateFormat));
  int64_t rowsWritten = 0;
  auto more = [&] { return options.limit < 0 || rowsWritten < options.limit; };

  if (oneLinePerGroup) {
    std::vector<size_t> order = grouping.grouped() ? grouping.Order(options.sortGroups) : std::vector<size_t>{0};
    for (size_t g : order) {
      if (!more()) break;
      if (g != 0) {
        std::vector<std::string> cells = grouping.group(g).firstRow;
        state.rows.SetRow(cells);
      }
      aggregates.SetCurrentGroup(g);
      rows.Write(false);
      ++rowsWritten;
    }
    if (options.totals && grouping.grouped()) {
      aggregates.SetCurrentGroup(0);
      rows.WriteTotals(false);
    }
  } else if (!anyAggregate) {
    // Plain rows: block by block through the columnar core, on options.jobs
    // threads; with more than one, the next block is read while this one is written.
    std::vector<HEXP> formulas;
    for (const OutputColumn& column : columns) formulas.push_back(column.reader.exp());
    std::vector<HEXP> readers = formulas;
    readers.push_back(whereExp);
    RowBlocks blocks(ec, state, table, formulas, whereExp, graph.ItemsReadBy(readers), static_cast<int>(options.jobs));
    if (!blocks.ok()) {
      std::fprintf(stderr, "xevhost: cannot set up the formula engine (out of memory?)\n");
      return kExitBadInput;
    }
    // On one thread a block's text would only be held before it is written.
    const bool formatted = rows.direct() && options.jobs != 1;
    if (formatted) blocks.SetFormatter([&rows](EvaluatedBlock& block) { rows.Format(block); });
    Progress progress("evaluating", table.rowCount(), kProgressRows);
    while (more()) {
      std::unique_ptr<EvaluatedBlock> block = blocks.Next(table, error);
      if (block == nullptr) break;
      if (formatted) {
        int64_t count = options.limit < 0 ? block->selected : std::min(block->selected, options.limit - rowsWritten);
        rows.WriteFormatted(*block, count, options.totals);
        rowsWritten += count;
      }
      for (int64_t row = 0; !formatted && row < block->selected && more(); ++row) {
        rows.Write(*block, row, options.totals);
        ++rowsWritten;
      }
      uint64_t read = static_cast<uint64_t>(block->rowsRead);
      progress.Update(read, read);
      blocks.Recycle(std::move(block));
    }
    progress.Finish();
    if (options.totals && error.empty()) rows.WriteTotals(true);
  } else {
    // Rows of formulas that mix row values with aggregates, which read the
    // aggregate passes' tables on the calling thread.
    Progress progress("evaluating", table.rowCount(), kProgressRows);
    std::vector<std::string> cells;
    uint64_t rowsRead = 0;
    while (more()) {
      if (!table.NextRow(cells, error)) break;
      state.rows.SetRow(cells);
      ++rowsRead;
      progress.Update(rowsRead, rowsRead);
      if (whereExp != nullptr && !where.IsTrue()) continue;
      rows.Write(options.totals);
      ++rowsWritten;
    }
    progress.Finish();
    if (options.totals && error.empty()) rows.WriteTotals(true);
  }
  writer->End();
  std::fflush(stdout);
  if (!error.empty()) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    return kExitBadInput;
  }
  return kExitOk;
}

int RunColumns(const Options& options, const CodePageConverter& converter) {
  CsvTable table(converter, options.encoding);
  table.SetThreads(static_cast<int>(options.jobs));
  std::string error;
  if (!table.Open(options.dataPath, error)) {
    std::fprintf(stderr, "xevhost: %s\n", converter.ToUtf8(error).c_str());
    return kExitBadInput;
  }
  OutputFormat format = options.format.value_or(isatty(STDOUT_FILENO) == 1 ? OutputFormat::kTable : OutputFormat::kCsv);
  std::unique_ptr<ReportWriter> writer = MakeReportWriter(format, stdout);
  writer->Begin({ReportColumn{"column", 6, XEV_TYPE_STRING}, ReportColumn{"data item", 9, XEV_TYPE_STRING},
                 ReportColumn{"type", 4, XEV_TYPE_STRING}});
  for (const Column& column : table.columns()) {
    writer->Row({MakeCell(column.header, false, converter), MakeCell(column.itemName, false, converter),
                 MakeCell(TypeName(column.type), false, converter)});
  }
  writer->End();
  return kExitOk;
}

}  // namespace xevhost
