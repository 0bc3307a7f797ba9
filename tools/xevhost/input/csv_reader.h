// A streaming reader of comma-separated records: header row first, fields
// quoted with '"' when they hold commas, quotes or line breaks, '""' for a
// quote inside a quoted field, CR LF, LF or CR alone between records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace xevhost {

// A record may take at most this many bytes: a file without line breaks
// where they belong is refused with its line instead of filling the memory.
inline constexpr uint64_t kMaxRecordBytes = 1 << 20;

class CsvReader {
 public:
  enum class Status { kRecord, kEnd, kError };

  // Reads from file, which stays the caller's; Rewind needs a seekable one.
  explicit CsvReader(std::FILE* file);

  // Fills fields with the next record (reusing their storage). Blank lines
  // are skipped. kError leaves a message naming the line in error().
  Status Next(std::vector<std::string>& fields);
  bool Rewind();

  // Line on which the last record began, counting from 1.
  int64_t line() const { return recordLine_; }
  uint64_t bytesConsumed() const { return consumed_; }
  const std::string& error() const { return error_; }

 private:
  int Peek();
  int Get();
  void EndLine();  // takes a line break of any of the three forms
  bool Refill();
  void TakePlainRun(std::string& field, bool quoted);
  Status Fail(int64_t line, const std::string& message);

  std::FILE* file_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool atStart_ = true;
  int64_t currentLine_ = 1;
  int64_t recordLine_ = 0;
  uint64_t consumed_ = 0;
  std::string error_;
};

}  // namespace xevhost
