#include "report_run.h"

#include <unistd.h>

#include <cstring>

#include "column_types.h"
#include "diagnostics.h"
#include "formulas.h"
#include "host_context.h"
#include "progress.h"
#include "report_output.h"

namespace xevhost {
namespace {

constexpr uint64_t kProgressRows = 100000;
constexpr int32_t kFirstStringBlock = 64;

// One evaluated column. A String result lands in a block kept for the whole
// run, which the engine grows when a value needs more room.
class FormulaColumn {
 public:
  FormulaColumn(ExprContext* ec, HEXP exp, int type) : ec_(ec), exp_(exp), type_(type) {}
  ~FormulaColumn() { HostFree(block_); }
  FormulaColumn(FormulaColumn&& other) noexcept
      : ec_(other.ec_), exp_(other.exp_), type_(other.type_), block_(other.block_) {
    other.block_ = nullptr;
  }
  FormulaColumn(const FormulaColumn&) = delete;
  FormulaColumn& operator=(const FormulaColumn&) = delete;
  FormulaColumn& operator=(FormulaColumn&&) = delete;

  int type() const { return type_; }

  // The value as text in the engine's code page; null when there is none.
  void Evaluate(std::string& text, bool& null) {
    text.clear();
    null = true;
    if (type_ == XEV_TYPE_STRING) {
      if (block_ == nullptr) block_ = HostAlloc(kFirstStringBlock);
      int32_t length = 0;
      if (block_ == nullptr || XEVEvaluateExpressionExt(ec_, exp_, &length, &block_) != 1) return;
      text.assign(static_cast<const char*>(block_));
      null = false;
      return;
    }
    NumberValue value{};
    if (XEVEvaluateExpression(ec_, exp_, sizeof value, &value) != 1 || NumberIsNull(&value)) return;
    text = type_ == XEV_TYPE_DATETIME ? DateTimeText(value) : NumberText(value);
    null = false;
  }

  // A Number that is present and not zero.
  bool IsTrue() {
    NumberValue value{};
    return XEVEvaluateExpression(ec_, exp_, sizeof value, &value) == 1 && !NumberIsNull(&value) &&
           NumberIsZero(&value) == 0;
  }

 private:
  ExprContext* ec_;
  HEXP exp_;
  int type_;
  void* block_ = nullptr;
};

// Parses the --where formula under a name of the engine's choosing.
bool AddWhere(ExprContext* ec, const std::string& textUtf8, const CodePageConverter& converter,
              HEXP& exp) {
  FormulaSource source;
  source.origin = "--where";
  source.line = 1;
  source.text = converter.ToAnsi(textUtf8);
  source.lineText = source.text;
  ExprError error{};
  uint16_t type = 0;
  exp = XEVParseFormula(ec, nullptr, source.text.c_str(), "", &error, &type);
  if (exp == nullptr) {
    PrintFormulaError(stderr, source, error, converter);
    return false;
  }
  if (type != XEV_TYPE_NUMBER || XEVIsExpRange(ec, exp, 1) == 1 || XEVIsExpRange(ec, exp, 2) == 1) {
    std::fprintf(stderr, "--where:1:1: error: the condition must be a Number formula; this one is %s\n",
                 TypeName(type));
    return false;
  }
  return true;
}

Cell MakeCell(const std::string& ansi, bool null, const CodePageConverter& converter) {
  Cell cell;
  cell.null = null;
  // In both code pages one byte is one column on a terminal: double-byte
  // characters are the wide ones.
  cell.width = static_cast<int>(ansi.size());
  converter.ToUtf8(ansi, cell.text);
  return cell;
}

}  // namespace

int RunReport(const Options& options, const CodePageConverter& converter) {
  Prepared prepared;
  int status = kExitOk;
  if (!Prepare(options, converter, /*needRows=*/true, prepared, status)) return status;
  ExprContext* ec = prepared.context->ec();
  HostState& state = prepared.context->state();
  CsvTable& table = *prepared.table;

  std::vector<FormulaColumn> columns;
  std::vector<ReportColumn> header;
  for (HEXP exp : prepared.order) {
    if (XEVIsExpRange(ec, exp, 1) == 1 || XEVIsExpRange(ec, exp, 2) == 1) continue;  // not evaluable
    int type = XEVGetExpressionDataType(ec, exp);
    columns.emplace_back(ec, exp, type);
    Cell name = MakeCell(ExpressionName(ec, exp), false, converter);
    header.push_back(ReportColumn{name.text, name.width, type});
  }
  HEXP whereExp = nullptr;
  if (options.where && !AddWhere(ec, *options.where, converter, whereExp)) return kExitFormula;
  FormulaColumn where(ec, whereExp, XEV_TYPE_NUMBER);

  OutputFormat format = options.format.value_or(isatty(STDOUT_FILENO) == 1 ? OutputFormat::kTable : OutputFormat::kCsv);
  std::unique_ptr<ReportWriter> writer = MakeReportWriter(format, stdout);
  writer->Begin(header);

  Progress progress("evaluating", table.rowCount(), kProgressRows);
  std::vector<std::string> cells;
  std::vector<Cell> out(columns.size());
  std::string text;
  std::string error;
  uint64_t rowsRead = 0;
  int64_t rowsWritten = 0;
  while (options.limit < 0 || rowsWritten < options.limit) {
    if (!table.NextRow(cells, error)) break;
    state.rows.SetRow(cells);
    ++rowsRead;
    progress.Update(rowsRead, rowsRead);
    if (whereExp != nullptr && !where.IsTrue()) continue;
    for (size_t i = 0; i < columns.size(); ++i) {
      bool null = true;
      columns[i].Evaluate(text, null);
      out[i] = MakeCell(text, null, converter);
    }
    writer->Row(out);
    ++rowsWritten;
  }
  progress.Finish();
  writer->End();
  std::fflush(stdout);
  if (!error.empty()) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    return kExitBadInput;
  }
  return kExitOk;
}

}  // namespace xevhost
