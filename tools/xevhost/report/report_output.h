// Writing evaluated rows: an aligned table for people, CSV or JSON for
// programs. Cells arrive as UTF-8 text with their display width.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xev/xev.h"

namespace xevhost {

enum class OutputFormat { kTable, kCsv, kJson };

struct ReportColumn {
  std::string name;  // UTF-8
  int width = 0;     // display width of the name
  int type = XEV_TYPE_STRING;
};

struct Cell {
  std::string text;  // UTF-8; empty for NULL
  int width = 0;     // display width
  bool null = false;
};

// A value as evaluation gives it: the writers for programs format these
// straight into their line, with no text made per cell on the way.
struct ValueCell {
  bool null = false;                   // NULL, or no value
  const NumberValue* number = nullptr;  // Number and DateTime values
  std::string_view text = {};           // String values, UTF-8
  // String values: where the bytes that may be read after text end (text
  // lies in a larger block); a writer tests several bytes at once up to it.
  const char* readable = nullptr;
};

class ReportWriter {
 public:
  virtual ~ReportWriter() = default;
  virtual void Begin(const std::vector<ReportColumn>& columns) = 0;
  virtual void Row(const std::vector<Cell>& cells) = 0;
  virtual void End() = 0;
  // Whether Values may be called: CSV and JSON, DateTimes in ISO 8601.
  virtual bool TakesValues() const { return false; }
  // One row of values, written as Row writes their texts.
  virtual void Values(const std::vector<ValueCell>& cells) {
    std::string line;
    AppendValues(cells, line);
    Formatted(line);
  }
  // The text Values writes for a row, appended to out; it changes nothing of
  // the writer's, so threads may format rows at once. Each row's text starts
  // with what separates it from the row before.
  virtual void AppendValues(const std::vector<ValueCell>& /*cells*/, std::string& /*out*/) const {}
  // Rows that AppendValues formatted, written in order as they are.
  virtual void Formatted(std::string_view /*rows*/) {}
};

// Display columns of UTF-8 text: one per character, two for the wide ones of
// East Asian scripts.
int Utf8Width(std::string_view text);

// maxWidth (0: none) caps the width of table cells. The writer checks the
// stream after every row and ends the process at the first failed write
// (StopIfOutputFailed).
std::unique_ptr<ReportWriter> MakeReportWriter(OutputFormat format, std::FILE* out, int maxWidth = 0);

// Exit status when the output cannot be written (a full disk, /dev/full).
inline constexpr int kExitOutput = 74;

// Flushes out; false, with one line on stderr, when some write to it failed.
// A closed pipe counts as written: its reader wanted no more.
bool OutputWritten(std::FILE* out);
// When a write to out has failed: says so in one line (nothing for a closed
// pipe) and ends the process with kExitOutput (0 for a closed pipe).
void StopIfOutputFailed(std::FILE* out);

// Text of a Number value, "" for NULL.
std::string NumberText(const NumberValue& value);
// How DateTimes are written: in the runtime's default form for people, in
// ISO 8601 for programs. Both leave out a time of midnight.
enum class DateStyle { kLocal, kIso };
// Text of a DateTime value, "" for NULL. A date picture (code-page bytes, one
// FormatCheckPicture accepts) overrides the style: the user asked for exactly
// that text, midnight or not.
std::string DateTimeText(const NumberValue& value, DateStyle style = DateStyle::kLocal,
                         const char* picture = nullptr);
DateStyle DateStyleOf(OutputFormat format);

// Field quoting for CSV output: quoted only when it has to be.
std::string CsvField(const std::string& text);
std::string JsonString(const std::string& utf8);
// readable: as ValueCell's, or nullptr.
void AppendCsvField(std::string& out, std::string_view text, const char* readable = nullptr);
void AppendJsonString(std::string& out, std::string_view utf8);

}  // namespace xevhost
