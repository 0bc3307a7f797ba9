// A CSV file as the tool uses it: its bytes mapped (a regular file) or read
// once into memory (a pipe), a first pass over them that checks every row and
// settles the column types and the encoding, then row-by-row reading of the
// values in the engine's code page. Memory: a file's pages are the page
// cache's, which the system reclaims as the passes move on; a pipe's bytes
// are held whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/csv_reader.h"
#include "input/data_items.h"
#include "input/text_encoding.h"

namespace xevhost {

class CsvTable {
 public:
  CsvTable(const CodePageConverter& converter, InputEncoding encoding);
  ~CsvTable();
  CsvTable(const CsvTable&) = delete;
  CsvTable& operator=(const CsvTable&) = delete;

  // Threads the first pass may use (0: one per processor); one by default.
  void SetThreads(int threads) { threads_ = threads; }

  // Reads the file (or stream) whole and goes through it once. false with a
  // message naming the file (and the line, for a malformed row) when it
  // cannot be used.
  bool Open(const std::string& path, std::string& error);

  const std::vector<Column>& columns() const { return columns_; }
  uint64_t rowCount() const { return rows_; }
  uint64_t fileSize() const { return size_; }
  uint64_t bytesConsumed() const { return reader_.bytesConsumed(); }

  // Where every kRowsPerMark-th data row starts, the first row's included:
  // several readers may each take rows from one of these at once, as long as
  // rowsAsIs() says the bytes need no conversion.
  static constexpr uint64_t kRowsPerMark = 4096;
  const std::vector<CsvReader::Mark>& rowMarks() const { return marks_; }
  bool rowsAsIs() const { return asIs_; }
  std::string_view bytes() const { return std::string_view(data_, size_); }
  // Lets the memory of the whole pages within [from, to) of a mapped file go
  // once they are read; the bytes stay readable (the system reads them again).
  void ReleaseBytes(size_t from, size_t to) const;

  // Back to the first data row.
  bool Restart(std::string& error);
  // The next row's cells in the engine's code page; false at the end.
  bool NextRow(std::vector<std::string>& cells, std::string& error);
  // The same as views, valid until the next call: into the file's bytes
  // where they need no conversion, which is the usual case.
  bool NextFields(std::vector<std::string_view>& cells, std::string& error);

 private:
  struct Share;
  struct Utf8Survey {
    size_t firstBad = 0;
    size_t badCount = 0;
  };
  Utf8Survey SurveyUtf8(bool counting) const;
  Utf8Survey SurveyUtf8Range(size_t from, size_t to, bool counting) const;
  bool Load(const std::string& path, std::string& error);
  bool Map(int fd, size_t size);
  bool Scan(std::string& error);
  void ScanRows(CsvReader& reader, size_t stop, Share& share, bool showProgress) const;
  bool ScanInParallel(CsvReader& reader, Share& share) const;
  std::string NotUtf8Message() const;

  const CodePageConverter& converter_;
  InputEncoding encoding_;
  bool utf8_ = true;
  bool asIs_ = true;  // the bytes are already what the engine takes
  std::string path_;
  char* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;
  CsvReader reader_{std::string_view()};
  CsvReader::Mark firstRow_;
  std::vector<Column> columns_;
  std::vector<CsvReader::Mark> marks_;
  std::vector<std::string_view> raw_;
  std::vector<std::string_view> views_;
  std::vector<std::string> converted_;
  uint64_t rows_ = 0;
  int threads_ = 1;
  size_t columnCount_ = 0;
  size_t firstBad_ = 0;  // offset of the first bad UTF-8 sequence that matters
};

}  // namespace xevhost
