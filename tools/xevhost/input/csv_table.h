// A CSV file as the tool uses it: a first pass that checks every row and
// settles the column types and the encoding, then row-by-row reading of the
// values in the engine's code page.
#pragma once

#include <cstdio>
#include <string>
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

  // Opens the file and reads it through once. false with a message naming
  // the file (and the line, for a malformed row) when it cannot be used.
  bool Open(const std::string& path, std::string& error);

  const std::vector<Column>& columns() const { return columns_; }
  uint64_t rowCount() const { return rows_; }
  uint64_t fileSize() const { return fileSize_; }
  uint64_t bytesConsumed() const { return reader_ ? reader_->bytesConsumed() : 0; }

  // Back to the first data row.
  bool Restart(std::string& error);
  // The next row's cells in the engine's code page; false at the end.
  bool NextRow(std::vector<std::string>& cells, std::string& error);

 private:
  const CodePageConverter& converter_;
  InputEncoding encoding_;
  bool utf8_ = true;
  std::string path_;
  std::FILE* file_ = nullptr;
  CsvReader* reader_ = nullptr;
  std::vector<Column> columns_;
  std::vector<std::string> raw_;
  std::string converted_;
  uint64_t rows_ = 0;
  uint64_t fileSize_ = 0;
};

}  // namespace xevhost
