#include "input/csv_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "input/column_types.h"
#include "report/progress.h"

namespace xevhost {
namespace {

constexpr uint64_t kProgressRows = 100000;
constexpr size_t kFirstStreamRead = size_t{1} << 20;

std::string FieldCountMessage(size_t expected, size_t found) {
  return "expected " + std::to_string(expected) + " field" + (expected == 1 ? "" : "s") + ", found " +
         std::to_string(found);
}

// How many bad sequences bytes hold, each one replaced on the way in.
size_t CountBadUtf8(std::string_view bytes) {
  size_t count = 0;
  for (BadSequence bad = FindBadUtf8(bytes); bad.length != 0; bad = FindBadUtf8(bytes)) {
    ++count;
    bytes.remove_prefix(bad.offset + bad.length);
  }
  return count;
}

}  // namespace

CsvTable::CsvTable(const CodePageConverter& converter, InputEncoding encoding)
    : converter_(converter), encoding_(encoding) {}

CsvTable::~CsvTable() { std::free(data_); }

// The whole file in one block: a regular file at its size, a stream grown as
// it comes. Failing to get the memory ends the run with a message, as any
// other unusable input does.
bool CsvTable::Load(const std::string& path, std::string& error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": cannot open data file: " + std::strerror(errno);
    return false;
  }
  struct stat info{};
  size_t capacity = kFirstStreamRead;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(fd);
    error = path + ": is a directory, not a data file";
    return false;
  }
  // One byte more than the size: the end is seen without growing.
  if (S_ISREG(info.st_mode)) capacity = static_cast<size_t>(info.st_size) + 1;
  for (;;) {
    if (data_ == nullptr || size_ == capacity) {
      if (data_ != nullptr) capacity *= 2;
      char* grown = static_cast<char*>(std::realloc(data_, capacity));
      if (grown == nullptr) {
        close(fd);
        error = path + ": the data file does not fit in memory";
        return false;
      }
      data_ = grown;
    }
    ssize_t got = read(fd, data_ + size_, capacity - size_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = path + ": cannot read the data file: " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (got == 0) break;
    size_ += static_cast<size_t>(got);
  }
  close(fd);
  return true;
}

bool CsvTable::Open(const std::string& path, std::string& error) {
  path_ = path;
  if (!Load(path, error)) return false;
  error.clear();
  return Scan(error);
}

bool CsvTable::Scan(std::string& error) {
  const std::string_view bytes(data_, size_);
  const std::string& path = path_;
  reader_ = CsvReader(bytes);
  std::vector<std::string_view> fields;
  CsvReader::Status status = reader_.Next(fields);
  if (status == CsvReader::Status::kError) {
    error = path + ": " + reader_.error();
    return false;
  }
  if (status == CsvReader::Status::kEnd) {
    error = path + ": no header row";
    return false;
  }
  // Blank lines are skipped between rows, but the header must be the first
  // line: taking the next line instead would turn a row of data into names.
  if (reader_.line() != 1) {
    error = path + ": line 1 is empty; the first line must be the header row that names the columns";
    return false;
  }
  const std::vector<std::string> headers(fields.begin(), fields.end());
  const int64_t headerLine = reader_.line();

  // The encoding is decided by the whole file: one byte that is not UTF-8
  // anywhere means the file is in the code page already. Under code page
  // 65001 such a byte is an error (or is replaced), found before anything is
  // evaluated or written, at the row that holds it: rows before it that are
  // malformed are told first.
  const bool replacing = converter_.utf8() && converter_.replaceInvalid();
  const bool mustBeUtf8 = encoding_ == InputEncoding::kUtf8;
  bool maybeUtf8 = encoding_ != InputEncoding::kAnsi;
  size_t firstBad = bytes.size() + 1;  // none
  size_t replaced = 0;
  if (maybeUtf8 && !IsAscii(bytes)) {
    BadSequence bad = FindBadUtf8(bytes);
    if (bad.length != 0 && replacing) replaced = CountBadUtf8(bytes);
    if (bad.length != 0 && !replacing) firstBad = bad.offset;
  }
  auto badBefore = [&] { return reader_.bytesConsumed() > firstBad; };
  auto notUtf8 = [&] {
    error = BadUtf8Message(path, LocateBadUtf8(bytes));
    error += converter_.utf8() ? "; --replace-invalid puts U+FFFD in place of each bad sequence, "
                                 "--code-page 1252 reads a Windows-1252 file"
                               : " (--encoding utf-8 was given)";
    return false;
  };
  if (mustBeUtf8 && badBefore()) return notUtf8();
  firstRow_ = reader_.mark();

  std::vector<ColumnTypeInference> inference(headers.size());
  Progress progress("reading", size_, kProgressRows);
  rows_ = 0;
  while ((status = reader_.Next(fields)) == CsvReader::Status::kRecord) {
    if (fields.size() != headers.size()) {
      error = path + ": line " + std::to_string(reader_.line()) + ": malformed row: " +
              FieldCountMessage(headers.size(), fields.size());
      return false;
    }
    for (size_t i = 0; i < fields.size(); ++i) inference[i].Observe(fields[i]);
    if (mustBeUtf8 && badBefore()) return notUtf8();
    ++rows_;
    progress.Update(rows_, reader_.bytesConsumed());
  }
  progress.Finish();
  if (status == CsvReader::Status::kError) {
    error = path + ": " + reader_.error();
    return false;
  }
  ReportReplaced(path, replaced);
  maybeUtf8 = maybeUtf8 && firstBad > bytes.size();
  utf8_ = encoding_ == InputEncoding::kUtf8 || (encoding_ == InputEncoding::kAuto && maybeUtf8);
  // What FromInput would copy unchanged: good UTF-8 under 65001, and a file
  // taken as the code page's own bytes.
  asIs_ = converter_.utf8() ? replaced == 0 : !utf8_;

  std::vector<std::string> ansiHeaders(headers.size());
  for (size_t i = 0; i < headers.size(); ++i)
    converter_.FromInput(headers[i], utf8_, ansiHeaders[i], InputPlace{path_, headerLine});
  std::vector<std::string> names = DataItemNames(ansiHeaders);
  columns_.clear();
  for (size_t i = 0; i < headers.size(); ++i)
    columns_.push_back(Column{ansiHeaders[i], names[i], inference[i].Type()});
  return Restart(error);
}

bool CsvTable::Restart(std::string& /*error*/) {
  reader_.Seek(firstRow_);
  return true;
}

bool CsvTable::NextFields(std::vector<std::string_view>& cells, std::string& error) {
  CsvReader::Status status = reader_.Next(raw_);
  if (status == CsvReader::Status::kEnd) return false;
  // The bytes were checked whole when the table was opened.
  if (status == CsvReader::Status::kError || raw_.size() != columns_.size()) {
    error = path_ + ": " + (status == CsvReader::Status::kError ? reader_.error() : "malformed row");
    return false;
  }
  if (asIs_) {
    cells.assign(raw_.begin(), raw_.end());
    return true;
  }
  converted_.resize(raw_.size());
  cells.resize(raw_.size());
  InputPlace place{path_, reader_.line()};
  for (size_t i = 0; i < raw_.size(); ++i) {
    converter_.FromInput(raw_[i], utf8_, converted_[i], place);
    cells[i] = converted_[i];
  }
  return true;
}

bool CsvTable::NextRow(std::vector<std::string>& cells, std::string& error) {
  if (!NextFields(views_, error)) return false;
  cells.assign(views_.begin(), views_.end());
  return true;
}

}  // namespace xevhost
