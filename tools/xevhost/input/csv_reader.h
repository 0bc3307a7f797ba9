// A reader of comma-separated records held in memory: header row first,
// fields quoted with '"' when they hold commas, quotes or line breaks, '""'
// for a quote inside a quoted field, CR LF, LF or CR alone between records.
// Fields come back as views: into the bytes themselves where a field is one
// run of them, into storage of the reader's where quotes had to be taken out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <deque>
#include <vector>

namespace xevhost {

// A record may take at most this many bytes: a file without line breaks
// where they belong is refused with its line instead of filling the memory.
inline constexpr uint64_t kMaxRecordBytes = 1 << 20;

struct FieldBytes;

class CsvReader {
 public:
  enum class Status { kRecord, kEnd, kError };

  // Where reading stands: what Seek takes back to.
  struct Mark {
    size_t offset = 0;
    int64_t line = 1;
  };

  // bytes stay the caller's and must outlive the reader.
  explicit CsvReader(std::string_view bytes);

  // Fills fields with the next record; the views hold until the next call.
  // Blank lines are skipped. kError leaves a message naming the line in error().
  Status Next(std::vector<std::string_view>& fields);
  // Back to a place an earlier mark() gave (the start: Mark{}).
  void Seek(const Mark& mark);
  Mark mark() const { return Mark{pos_, currentLine_}; }

  // Line on which the last record began, counting from 1.
  int64_t line() const { return recordLine_; }
  uint64_t bytesConsumed() const { return pos_; }
  const std::string& error() const { return error_; }

 private:
  Status Fail(int64_t line, const std::string& message);
  void SkipBlankLines();
  void TakeLineBreak();
  bool ReadPlainRecord(std::vector<std::string_view>& fields, size_t recordStart);
  bool TakeQuoted(size_t& at, std::string_view& field, size_t index);
  Status ReadRecord(std::vector<std::string_view>& fields, size_t recordStart);

  std::string_view bytes_;
  size_t pos_ = 0;
  int64_t currentLine_ = 1;
  int64_t recordLine_ = 0;
  int Take();  // the next byte (-1 at the end), counting the lines it ends
  void TakeRun(FieldBytes& field, bool quoted);

  std::deque<std::string> copies_;  // fields with quotes taken out, by field index
  // The stops (separators, quotes, control bytes) of the 64 bytes from
  // stopsBase_ not yet passed, one bit each: a record's fields are found
  // from these without looking at each byte.
  static constexpr size_t kNoStops = SIZE_MAX / 2;
  size_t stopsBase_ = kNoStops;
  uint64_t stops_ = 0;
  std::string error_;
  size_t width_ = 0;  // fields of the widest record so far
};

}  // namespace xevhost
