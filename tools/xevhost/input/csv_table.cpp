#include "input/csv_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "input/column_types.h"
#include "report/progress.h"

namespace xevhost {
namespace {

constexpr uint64_t kProgressRows = 100000;

std::string FieldCountMessage(size_t expected, size_t found) {
  return "expected " + std::to_string(expected) + " field" + (expected == 1 ? "" : "s") + ", found " +
         std::to_string(found);
}

}  // namespace

CsvTable::CsvTable(const CodePageConverter& converter, InputEncoding encoding)
    : converter_(converter), encoding_(encoding) {}

CsvTable::~CsvTable() {
  delete reader_;
  if (file_ != nullptr) std::fclose(file_);
}

bool CsvTable::Open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    error = path + ": cannot open data file: " + std::strerror(errno);
    return false;
  }
  struct stat info{};
  if (fstat(fileno(file_), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      error = path + ": is a directory, not a data file";
      return false;
    }
    fileSize_ = static_cast<uint64_t>(info.st_size);
  }
  // Types are settled in a first pass and the rows read in another, so a
  // stream would be read whole and only then found unusable.
  if (lseek(fileno(file_), 0, SEEK_CUR) < 0) {
    error = path + ": is a pipe or another stream, which cannot be read twice; save it to a file first";
    return false;
  }
  reader_ = new CsvReader(file_);

  std::vector<std::string> headers;
  CsvReader::Status status = reader_->Next(headers);
  if (status == CsvReader::Status::kError) {
    error = path + ": " + reader_->error();
    return false;
  }
  if (status == CsvReader::Status::kEnd) {
    error = path + ": no header row";
    return false;
  }
  // Blank lines are skipped between rows, but the header must be the first
  // line: taking the next line instead would turn a row of data into names.
  if (reader_->line() != 1) {
    error = path + ": line 1 is empty; the first line must be the header row that names the columns";
    return false;
  }

  // The encoding is decided by the whole file: one byte that is not UTF-8
  // anywhere means the file is in the code page already. Under code page
  // 65001 such a byte is an error (or is replaced), found before anything is
  // evaluated or written.
  bool maybeUtf8 = encoding_ != InputEncoding::kAnsi;
  bool mustBeUtf8 = encoding_ == InputEncoding::kUtf8;
  size_t replaced = 0;
  auto observeText = [&](const std::string& text) {
    if (!maybeUtf8 || IsAscii(text)) return;
    if (converter_.utf8() && converter_.replaceInvalid()) {
      std::string scratch;
      replaced += ReplaceBadUtf8(text, scratch);
      return;
    }
    maybeUtf8 = IsValidUtf8(text);
  };
  auto notUtf8 = [&]() {
    BadPlace place = LocateBadUtf8(path);
    error = place.line == 0 ? path + ": not valid UTF-8" : BadUtf8Message(path, place);
    error += converter_.utf8() ? "; --replace-invalid puts U+FFFD in place of each bad sequence, "
                                 "--code-page 1252 reads a Windows-1252 file"
                               : " (--encoding utf-8 was given)";
    return false;
  };
  int64_t headerLine = reader_->line();
  for (const std::string& h : headers) observeText(h);
  if (mustBeUtf8 && !maybeUtf8) return notUtf8();
  std::vector<ColumnTypeInference> inference(headers.size());
  Progress progress("reading", fileSize_, kProgressRows);
  std::vector<std::string> fields;
  rows_ = 0;
  while ((status = reader_->Next(fields)) == CsvReader::Status::kRecord) {
    if (fields.size() != headers.size()) {
      error = path + ": line " + std::to_string(reader_->line()) + ": malformed row: " +
              FieldCountMessage(headers.size(), fields.size());
      return false;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      inference[i].Observe(fields[i]);
      observeText(fields[i]);
    }
    if (mustBeUtf8 && !maybeUtf8) return notUtf8();
    ++rows_;
    progress.Update(rows_, reader_->bytesConsumed());
  }
  progress.Finish();
  if (status == CsvReader::Status::kError) {
    error = path + ": " + reader_->error();
    return false;
  }
  ReportReplaced(path, replaced);
  utf8_ = encoding_ == InputEncoding::kUtf8 || (encoding_ == InputEncoding::kAuto && maybeUtf8);

  std::vector<std::string> ansiHeaders;
  for (const std::string& h : headers) {
    converter_.FromInput(h, utf8_, converted_, InputPlace{path_, headerLine});
    ansiHeaders.push_back(converted_);
  }
  std::vector<std::string> names = DataItemNames(ansiHeaders);
  columns_.clear();
  for (size_t i = 0; i < headers.size(); ++i)
    columns_.push_back(Column{ansiHeaders[i], names[i], inference[i].Type()});
  return Restart(error);
}

bool CsvTable::Restart(std::string& error) {
  if (!reader_->Rewind()) {
    error = path_ + ": cannot read the data file again (is it a pipe?)";
    return false;
  }
  std::vector<std::string> headers;
  if (reader_->Next(headers) != CsvReader::Status::kRecord) {
    error = path_ + ": the data file changed while it was read";
    return false;
  }
  return true;
}

bool CsvTable::NextRow(std::vector<std::string>& cells, std::string& error) {
  CsvReader::Status status = reader_->Next(raw_);
  if (status == CsvReader::Status::kEnd) return false;
  if (status == CsvReader::Status::kError || raw_.size() != columns_.size()) {
    error = path_ + ": the data file changed while it was read";
    return false;
  }
  cells.resize(raw_.size());
  InputPlace place{path_, reader_->line()};
  for (size_t i = 0; i < raw_.size(); ++i) converter_.FromInput(raw_[i], utf8_, cells[i], place);
  return true;
}

}  // namespace xevhost
