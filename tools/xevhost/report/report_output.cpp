#include "report/report_output.h"

#include "options.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xevhost {
namespace {

// A table needs every width before its first line. Holding this many rows
// settles the widths for any short report; longer ones go on streaming with
// the widths the first rows set, and a wider cell just pushes its line out.
constexpr size_t kRowsToMeasure = 1000;
constexpr size_t kTextBufferSize = 128;
// Rows given one at a time are written this many bytes at once: a call to
// write each would cost as much as making its text.
constexpr size_t kPendingBytes = size_t{64} << 10;

bool IsNumeric(int type) { return type == XEV_TYPE_NUMBER; }

// Width of ".ddd" in a number's text, 0 without a point.
int FractionWidth(const std::string& text) {
  size_t point = text.find('.');
  return point == std::string::npos ? 0 : static_cast<int>(text.size() - point);
}

// Display columns of UTF-8 text: one per character, two for the wide
// characters of East Asian scripts.
int DisplayWidth(uint32_t codePoint) {
  bool wide = (codePoint >= 0x1100 && codePoint <= 0x115F) || (codePoint >= 0x2E80 && codePoint <= 0xA4CF) ||
              (codePoint >= 0xAC00 && codePoint <= 0xD7A3) || (codePoint >= 0xF900 && codePoint <= 0xFAFF) ||
              (codePoint >= 0xFF00 && codePoint <= 0xFF60) || (codePoint >= 0xFFE0 && codePoint <= 0xFFE6);
  return wide ? 2 : 1;
}

// The code point at text[i] and its length in bytes.
uint32_t NextCodePoint(std::string_view text, size_t i, size_t& length) {
  auto lead = static_cast<unsigned char>(text[i]);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  uint32_t codePoint = lead < 0x80 ? lead : lead < 0xE0 ? lead & 0x1F : lead < 0xF0 ? lead & 0x0F : lead & 0x07;
  for (size_t k = 1; k < length && i + k < text.size(); ++k)
    codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return codePoint;
}

}  // namespace

int Utf8Width(std::string_view text) {
  int width = 0;
  for (size_t i = 0, length = 0; i < text.size(); i += length) width += DisplayWidth(NextCodePoint(text, i, length));
  return width;
}

namespace {

// A row's text gathered in a buffer on the stack and appended to the output
// text in one piece: each append to a string is a call that checks its room,
// and a row is a dozen pieces.
class RowText {
 public:
  explicit RowText(std::string& out) : out_(out) {}
  RowText(const RowText&) = delete;
  RowText& operator=(const RowText&) = delete;
  // Room for n bytes (n at most kSize) at the end; Took says how many were used.
  char* Room(size_t n) {
    if (n > kSize - used_) Flush();
    return buffer_ + used_;
  }
  void Took(size_t n) { used_ += n; }
  void Put(char c) { *Room(1) = c, ++used_; }
  // Inlined always: a call for each piece is what this class is to save.
  [[gnu::always_inline]] void Put(std::string_view text) {
    if (text.size() > kSize - used_) {
      Flush();
      if (text.size() > kSize) {
        out_.append(text);
        return;
      }
    }
    if (!text.empty()) std::memcpy(buffer_ + used_, text.data(), text.size());  // an empty view may hold no pointer
    used_ += text.size();
  }
  void Flush() {
    out_.append(buffer_, used_);
    used_ = 0;
  }
  static constexpr size_t kSize = 1024;

 private:
  std::string& out_;
  char buffer_[kSize];
  size_t used_ = 0;
};

void PutCsvField(RowText& row, std::string_view text, const char* readable = nullptr);
void PutJsonString(RowText& row, std::string_view utf8);
void PutNumberText(RowText& row, const NumberValue& value);
void PutIsoDateTime(RowText& row, const NumberValue& value);

class TableWriter : public ReportWriter {
 public:
  TableWriter(std::FILE* out, int maxWidth) : out_(out), maxWidth_(maxWidth) {}

  void Begin(const std::vector<ReportColumn>& columns) override {
    columns_ = columns;
    widths_.clear();
    fractions_.assign(columns_.size(), 0);
    for (const ReportColumn& c : columns_) widths_.push_back(c.width);
  }

  void Row(const std::vector<Cell>& cells) override {
    // Only text is cut: a shortened number or date would read as another value.
    std::vector<Cell> fitted = cells;
    for (size_t i = 0; i < fitted.size() && i < columns_.size(); ++i)
      if (columns_[i].type == XEV_TYPE_STRING) Cap(fitted[i]);
    if (started_) {
      PrintRow(fitted);
      return;
    }
    for (size_t i = 0; i < fitted.size() && i < widths_.size(); ++i) {
      widths_[i] = std::max(widths_[i], fitted[i].width);
      if (IsNumeric(columns_[i].type)) fractions_[i] = std::max(fractions_[i], FractionWidth(fitted[i].text));
    }
    held_.push_back(std::move(fitted));
    if (held_.size() >= kRowsToMeasure) Flush();
  }

  void End() override { Flush(); }

 private:
  // Cuts a cell wider than --max-width, marking the cut with an ellipsis.
  void Cap(Cell& cell) const {
    if (maxWidth_ <= 0 || cell.width <= maxWidth_) return;
    std::string cut;
    int width = 0;
    for (size_t i = 0; i < cell.text.size();) {
      size_t length = 0;
      int w = DisplayWidth(NextCodePoint(cell.text, i, length));
      if (width + w > maxWidth_ - 1) break;
      cut.append(cell.text, i, length);
      width += w;
      i += length;
    }
    cell.text = cut + "\u2026";
    cell.width = width + 1;
  }

  // Numbers line up on their decimal points: a shorter fraction is padded
  // on the right, and the column widened for it.
  void AlignFraction(size_t column, Cell& cell) const {
    if (!IsNumeric(columns_[column].type) || cell.null) return;
    int pad = fractions_[column] - FractionWidth(cell.text);
    if (pad <= 0) return;
    cell.text.append(static_cast<size_t>(pad), ' ');
    cell.width += pad;
  }

  void Flush() {
    if (started_) return;
    started_ = true;
    for (auto& row : held_)
      for (size_t i = 0; i < row.size() && i < widths_.size(); ++i) {
        AlignFraction(i, row[i]);
        widths_[i] = std::max(widths_[i], row[i].width);
      }
    std::vector<Cell> header;
    for (const ReportColumn& c : columns_) header.push_back(Cell{c.name, c.width, false});
    PrintLine(header);
    std::string rule;
    for (size_t i = 0; i < widths_.size(); ++i) {
      if (i > 0) rule += "  ";
      rule.append(static_cast<size_t>(widths_[i]), '-');
    }
    std::fprintf(out_, "%s\n", rule.c_str());
    for (const auto& row : held_) PrintLine(row);
    held_.clear();
  }

  void PrintRow(std::vector<Cell>& cells) {
    for (size_t i = 0; i < cells.size() && i < widths_.size(); ++i) AlignFraction(i, cells[i]);
    PrintLine(cells);
  }

  // A line break or tab inside a value would tear the table apart.
  static void AppendOnOneLine(std::string& line, const std::string& text) {
    for (char c : text) line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  }

  void PrintLine(const std::vector<Cell>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size() && i < widths_.size(); ++i) {
      if (i > 0) line += "  ";
      size_t pad = static_cast<size_t>(std::max(0, widths_[i] - cells[i].width));
      bool right = IsNumeric(columns_[i].type);
      if (right) line.append(pad, ' ');
      AppendOnOneLine(line, cells[i].text);
      if (!right && i + 1 < cells.size()) line.append(pad, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(out_, "%s\n", line.c_str());
  }

  std::FILE* out_;
  std::vector<ReportColumn> columns_;
  int maxWidth_;
  std::vector<int> widths_;
  std::vector<int> fractions_;  // widest ".ddd" of each Number column
  std::vector<std::vector<Cell>> held_;
  bool started_ = false;
};

class CsvWriter : public ReportWriter {
 public:
  explicit CsvWriter(std::FILE* out) : out_(out) {}
  void Begin(const std::vector<ReportColumn>& columns) override {
    types_.clear();
    for (const ReportColumn& c : columns) types_.push_back(c.type);
    std::string line;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) line += ',';
      line += CsvField(columns[i].name);
    }
    std::fprintf(out_, "%s\n", line.c_str());
  }
  void Row(const std::vector<Cell>& cells) override {
    WritePending();
    line_.clear();
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) line_ += ',';
      line_ += CsvField(cells[i].text);
    }
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), out_);
  }
  void End() override { WritePending(); }
  bool TakesValues() const override { return true; }
  void AppendValues(const std::vector<ValueCell>& cells, std::string& out) const override {
    RowText row(out);
    for (size_t i = 0; i < cells.size() && i < types_.size(); ++i) {
      if (i > 0) row.Put(',');
      const ValueCell& cell = cells[i];
      if (cell.null) continue;
      // Number and ISO date texts hold nothing a field must be quoted for.
      if (types_[i] == XEV_TYPE_NUMBER) PutNumberText(row, *cell.number);
      else if (types_[i] == XEV_TYPE_DATETIME) PutIsoDateTime(row, *cell.number);
      else PutCsvField(row, cell.text, cell.readable);
    }
    row.Put('\n');
    row.Flush();
  }
  void Formatted(std::string_view rows) override { std::fwrite(rows.data(), 1, rows.size(), out_); }
  void Values(const std::vector<ValueCell>& cells) override {
    AppendValues(cells, pending_);
    if (pending_.size() >= kPendingBytes) WritePending();
  }

 private:
  void WritePending() {
    Formatted(pending_);
    pending_.clear();
  }

  std::FILE* out_;
  std::vector<int> types_;
  std::string line_;
  std::string pending_;  // rows given one by one, written together
};

class JsonWriter : public ReportWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}
  void Begin(const std::vector<ReportColumn>& columns) override {
    columns_ = columns;
    keys_.clear();
    for (const ReportColumn& c : columns_) keys_.push_back(", " + JsonString(c.name) + ": ");
    std::fputs("[", out_);
  }
  void Row(const std::vector<Cell>& cells) override {
    WritePending();
    line_ = first_ ? "\n  {" : ",\n  {";
    first_ = false;
    for (size_t i = 0; i < cells.size() && i < columns_.size(); ++i) {
      line_.append(keys_[i], i == 0 ? 2 : 0);
      if (cells[i].null) {
        line_ += "null";
      } else if (IsNumeric(columns_[i].type)) {
        line_ += JsonNumber(cells[i].text);
      } else {
        line_ += JsonString(cells[i].text);
      }
    }
    line_ += '}';
    std::fwrite(line_.data(), 1, line_.size(), out_);
  }
  void End() override {
    WritePending();
    std::fputs(first_ ? "]\n" : "\n]\n", out_);
  }
  bool TakesValues() const override { return true; }
  // Every row starts ",\n  {"; the first loses its comma when written.
  void AppendValues(const std::vector<ValueCell>& cells, std::string& out) const override {
    RowText row(out);
    row.Put(",\n  {");
    for (size_t i = 0; i < cells.size() && i < columns_.size(); ++i) {
      row.Put(std::string_view(keys_[i]).substr(i == 0 ? 2 : 0));  // each key after ", "
      const ValueCell& cell = cells[i];
      int type = columns_[i].type;
      if (type == XEV_TYPE_STRING) {
        PutJsonString(row, cell.null ? std::string_view() : cell.text);
      } else if (cell.null) {
        row.Put("null");
      } else if (type == XEV_TYPE_NUMBER) {
        char* at = row.Room(kTextBufferSize);
        PutNumberText(row, *cell.number);
        if (row.Room(0) == at) row.Put("null");  // no text: as JsonNumber("")
      } else {
        row.Put('"');
        PutIsoDateTime(row, *cell.number);
        row.Put('"');
      }
    }
    row.Put('}');
    row.Flush();
  }
  void Formatted(std::string_view rows) override {
    if (rows.empty()) return;
    if (first_) rows.remove_prefix(1);
    first_ = false;
    std::fwrite(rows.data(), 1, rows.size(), out_);
  }
  void Values(const std::vector<ValueCell>& cells) override {
    AppendValues(cells, pending_);
    if (pending_.size() >= kPendingBytes) WritePending();
  }

 private:
  void WritePending() {
    Formatted(pending_);
    pending_.clear();
  }

  // Number texts may start with "." or "-."; JSON wants a digit there.
  static std::string JsonNumber(const std::string& text) {
    if (text.empty()) return "null";
    std::string n = text[0] == '+' ? text.substr(1) : text;
    size_t digitAt = (!n.empty() && n[0] == '-') ? 1 : 0;
    if (digitAt < n.size() && n[digitAt] == '.') n = n.substr(0, digitAt) + "0" + n.substr(digitAt);
    return n;
  }

  std::FILE* out_;
  std::vector<ReportColumn> columns_;
  std::vector<std::string> keys_;
  std::string line_;
  std::string pending_;  // rows given one by one, written together
  bool first_ = true;
};

}  // namespace

namespace {

std::unique_ptr<ReportWriter> MakeFormatWriter(OutputFormat format, std::FILE* out, int maxWidth) {
  switch (format) {
    case OutputFormat::kCsv: return std::make_unique<CsvWriter>(out);
    case OutputFormat::kJson: return std::make_unique<JsonWriter>(out);
    case OutputFormat::kTable: break;
  }
  return std::make_unique<TableWriter>(out, maxWidth);
}

// Stops the run at the first row that cannot be written, instead of
// evaluating the rest of the input for nothing.
class CheckedWriter : public ReportWriter {
 public:
  CheckedWriter(std::unique_ptr<ReportWriter> inner, std::FILE* out) : inner_(std::move(inner)), out_(out) {}
  void Begin(const std::vector<ReportColumn>& columns) override {
    inner_->Begin(columns);
    StopIfOutputFailed(out_);
  }
  void Row(const std::vector<Cell>& cells) override {
    inner_->Row(cells);
    StopIfOutputFailed(out_);
  }
  bool TakesValues() const override { return inner_->TakesValues(); }
  void Values(const std::vector<ValueCell>& cells) override {
    inner_->Values(cells);
    StopIfOutputFailed(out_);
  }
  void AppendValues(const std::vector<ValueCell>& cells, std::string& out) const override {
    inner_->AppendValues(cells, out);
  }
  void Formatted(std::string_view rows) override {
    inner_->Formatted(rows);
    StopIfOutputFailed(out_);
  }
  void End() override {
    inner_->End();
    // Flushed here, so that a failure is seen while its cause is known.
    std::fflush(out_);
    StopIfOutputFailed(out_);
  }

 private:
  std::unique_ptr<ReportWriter> inner_;
  std::FILE* out_;
};

}  // namespace

std::unique_ptr<ReportWriter> MakeReportWriter(OutputFormat format, std::FILE* out, int maxWidth) {
  return std::make_unique<CheckedWriter>(MakeFormatWriter(format, out, maxWidth), out);
}

bool OutputWritten(std::FILE* out) {
  errno = 0;
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return true;
  int error = errno;
  // A reader that went away (| head -1) wanted no more: not an error, when
  // SIGPIPE did not already end the process.
  if (error == EPIPE) return true;
  std::fprintf(stderr, "xevhost: cannot write the output: %s\n", error != 0 ? std::strerror(error) : "write error");
  return false;
}

void StopIfOutputFailed(std::FILE* out) {
  if (std::ferror(out) == 0) return;
  int error = errno;
  bool quiet = error == EPIPE;
  if (!quiet) {
    std::fprintf(stderr, "xevhost: cannot write the output: %s\n",
                 error != 0 ? std::strerror(error) : "write error");
  }
  std::_Exit(quiet ? kExitOk : kExitOutput);
}

std::string NumberText(const NumberValue& value) {
  char buffer[kTextBufferSize];
  if (NumberIsNull(&value)) return "";
  int32_t n = HostNumberToStr(&value, buffer, sizeof buffer);
  return n < 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

std::string DateTimeText(const NumberValue& value, DateStyle style, const char* picture) {
  if (NumberIsNull(&value)) return "";
  FormatDesc desc;
  FormatInit(&desc);
  if (NumberToDateParts(value.bytes + 1, value.bytes[0], &desc.date) != 1) return "";
  if (picture != nullptr && *picture != '\0') {
    // Literal text in a picture has no bound, so the buffer is measured.
    desc.picture = picture;
    std::string text(static_cast<size_t>(FormatMeasure(&desc, 0)) + 1, '\0');
    desc.output = text.data();
    desc.outputSize = static_cast<int32_t>(text.size());
    if (FormatOutput(&desc) != 1) return "";
    text.resize(std::strlen(text.c_str()));
    return text;
  }
  const DateParts& d = desc.date;
  bool midnight = d.hour == 0 && d.minute == 0 && d.second == 0 && d.fraction == 0;
  char buffer[kTextBufferSize];
  if (style == DateStyle::kIso) {
    int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    if (!midnight) n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), "T%02d:%02d:%02d", d.hour, d.minute, d.second);
    if (d.fraction != 0) std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), ".%06d", d.fraction);
    return buffer;
  }
  desc.kind = midnight ? XEV_FORMAT_DATE : XEV_FORMAT_DATETIME;
  desc.output = buffer;
  desc.outputSize = sizeof buffer;
  if (FormatOutput(&desc) != 1) return "";
  return buffer;
}

DateStyle DateStyleOf(OutputFormat format) {
  return format == OutputFormat::kTable ? DateStyle::kLocal : DateStyle::kIso;
}

namespace {

// Bytes that make a CSV field need quotes, looked up in one step each: every
// String cell of the output passes here.
constexpr std::array<bool, 256> kQuoted = [] {
  std::array<bool, 256> quoted{};
  quoted[','] = quoted['"'] = quoted['\r'] = quoted['\n'] = true;
  return quoted;
}();

// Whether a byte of text asks for quotes, sixteen at a time where the
// processor can: every String cell of the output passes here.
bool NeedsQuotes(std::string_view text, const char* readable = nullptr) {
  size_t i = 0;
#if defined(__SSE2__)
  // A short text inside a larger block: one load, the bytes past it masked.
  if (text.size() < 16 && readable != nullptr && readable - text.data() >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data()));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(',')), _mm_cmpeq_epi8(v, _mm_set1_epi8('"'))),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    return (static_cast<unsigned>(_mm_movemask_epi8(hit)) & ((1u << text.size()) - 1)) != 0;
  }
  if (text.size() >= 16) {
    const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    auto any = [&](size_t at) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
      __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                                 _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
      return _mm_movemask_epi8(hit) != 0;
    };
    for (; i + 16 <= text.size(); i += 16)
      if (any(i)) return true;
    return i < text.size() && any(text.size() - 16);  // the last bytes, overlapping
  }
#endif
  for (; i < text.size(); ++i)
    if (kQuoted[static_cast<unsigned char>(text[i])]) return true;
  return false;
}

// Two digits, or four, of a value known to fit them.
char* PutDigits(char* at, int value, int count) {
  for (int i = count - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
  return at + count;
}

void PutCsvField(RowText& row, std::string_view text, const char* readable) {
  if (!NeedsQuotes(text, readable)) {
    row.Put(text);
    return;
  }
  // Runs up to each quote go in whole; the quote is written twice.
  row.Put('"');
  for (size_t quote = text.find('"'); quote != std::string_view::npos; quote = text.find('"')) {
    row.Put(text.substr(0, quote + 1));
    row.Put('"');
    text.remove_prefix(quote + 1);
  }
  row.Put(text);
  row.Put('"');
}

void PutJsonString(RowText& row, std::string_view utf8) {
  row.Put('"');
  size_t plain = 0;  // start of the run of bytes taken as they are
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    row.Put(utf8.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"': row.Put("\\\""); break;
      case '\\': row.Put("\\\\"); break;
      case '\n': row.Put("\\n"); break;
      case '\r': row.Put("\\r"); break;
      case '\t': row.Put("\\t"); break;
      default: {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        row.Put(escape);
      }
    }
  }
  row.Put(utf8.substr(plain));
  row.Put('"');
}

void PutNumberText(RowText& row, const NumberValue& value) {
  if (NumberIsNull(&value)) return;
  int32_t n = HostNumberToStr(&value, row.Room(kTextBufferSize), static_cast<int32_t>(kTextBufferSize));
  if (n > 0) row.Took(static_cast<size_t>(n));
}

void PutIsoDateTime(RowText& row, const NumberValue& value) {
  DateParts d{};
  if (NumberIsNull(&value) || NumberToDateParts(value.bytes + 1, value.bytes[0], &d) != 1) return;
  if (d.year < 0 || d.year > 9999) {
    row.Put(DateTimeText(value, DateStyle::kIso));
    return;
  }
  constexpr size_t kLongest = 26;  // yyyy-MM-ddTHH:mm:ss.ffffff
  char* const start = row.Room(kLongest);
  char* at = PutDigits(start, d.year, 4);
  *at++ = '-';
  at = PutDigits(at, d.month, 2);
  *at++ = '-';
  at = PutDigits(at, d.day, 2);
  if (d.hour != 0 || d.minute != 0 || d.second != 0 || d.fraction != 0) {
    *at++ = 'T';
    at = PutDigits(at, d.hour, 2);
    *at++ = ':';
    at = PutDigits(at, d.minute, 2);
    *at++ = ':';
    at = PutDigits(at, d.second, 2);
  }
  if (d.fraction != 0) {
    *at++ = '.';
    at = PutDigits(at, d.fraction, 6);
  }
  row.Took(static_cast<size_t>(at - start));
}

}  // namespace

void AppendCsvField(std::string& out, std::string_view text, const char* readable) {
  RowText row(out);
  PutCsvField(row, text, readable);
  row.Flush();
}

std::string CsvField(const std::string& text) {
  std::string field;
  AppendCsvField(field, text);
  return field;
}

void AppendJsonString(std::string& out, std::string_view utf8) {
  RowText row(out);
  PutJsonString(row, utf8);
  row.Flush();
}

std::string JsonString(const std::string& utf8) {
  std::string out;
  AppendJsonString(out, utf8);
  return out;
}

}  // namespace xevhost
