#include "input/csv_reader.h"

namespace xevhost {
namespace {

constexpr size_t kBufferSize = 1 << 16;
constexpr int kEndOfInput = -1;

}  // namespace

CsvReader::CsvReader(std::FILE* file) : file_(file), buffer_(kBufferSize) {}

bool CsvReader::Refill() {
  if (eof_) return false;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  pos_ = 0;
  if (end_ == 0) eof_ = true;
  return end_ > 0;
}

int CsvReader::Peek() {
  if (pos_ == end_ && !Refill()) return kEndOfInput;
  return static_cast<unsigned char>(buffer_[pos_]);
}

int CsvReader::Get() {
  int c = Peek();
  if (c == kEndOfInput) return c;
  ++pos_;
  ++consumed_;
  // CR LF, LF and CR alone each end one line; the LF of a pair counts it.
  if (c == '\n' || (c == '\r' && Peek() != '\n')) ++currentLine_;
  return c;
}

void CsvReader::EndLine() {
  if (Get() == '\r' && Peek() == '\n') Get();
}

bool CsvReader::Rewind() {
  if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
  std::clearerr(file_);
  pos_ = end_ = 0;
  eof_ = false;
  atStart_ = true;
  currentLine_ = 1;
  recordLine_ = 0;
  consumed_ = 0;
  error_.clear();
  return true;
}

// Copies the bytes up to the next one that means something in the current
// state straight from the buffer: the byte-at-a-time path below is for the
// separators, quotes and line breaks only.
void CsvReader::TakePlainRun(std::string& field, bool quoted) {
  size_t run = pos_;
  if (quoted) {
    while (run < end_ && buffer_[run] != '"' && buffer_[run] != '\n' && buffer_[run] != '\r' &&
           buffer_[run] != '\0')
      ++run;
  } else {
    while (run < end_) {
      char c = buffer_[run];
      if (c == ',' || c == '\n' || c == '\r' || c == '"' || c == '\0') break;
      ++run;
    }
  }
  if (run == pos_) return;
  field.append(buffer_.data() + pos_, run - pos_);
  consumed_ += run - pos_;
  pos_ = run;
}

CsvReader::Status CsvReader::Fail(int64_t line, const std::string& message) {
  error_ = "line " + std::to_string(line) + ": " + message;
  return Status::kError;
}

CsvReader::Status CsvReader::Next(std::vector<std::string>& fields) {
  if (atStart_) {  // a byte-order mark says UTF-8 and is not data
    atStart_ = false;
    if (Peek() == 0xEF && end_ - pos_ >= 3 && static_cast<unsigned char>(buffer_[pos_ + 1]) == 0xBB &&
        static_cast<unsigned char>(buffer_[pos_ + 2]) == 0xBF) {
      Get(), Get(), Get();
    }
  }
  // Blank lines carry no record; skipping them keeps a trailing newline or a
  // spare empty line at the end of a file from becoming a short row.
  for (;;) {
    int c = Peek();
    if (c != '\n' && c != '\r') break;
    EndLine();
  }
  if (Peek() == kEndOfInput) {
    if (std::ferror(file_)) return Fail(currentLine_, "read error");
    return Status::kEnd;
  }

  recordLine_ = currentLine_;
  size_t count = 0;
  auto startField = [&]() -> std::string& {
    if (count == fields.size()) fields.emplace_back();
    std::string& f = fields[count++];
    f.clear();
    return f;
  };
  std::string* field = &startField();
  bool quoted = false;
  bool afterQuote = false;  // a quoted field has been closed
  uint64_t recordStart = consumed_;
  for (;;) {
    // After a closing quote only a separator may follow; the slow path says so.
    if (!afterQuote) TakePlainRun(*field, quoted);
    if (consumed_ - recordStart > kMaxRecordBytes) {
      return Fail(recordLine_, "record longer than " + std::to_string(kMaxRecordBytes) + " bytes");
    }
    int c = Get();
    if (c == kEndOfInput) {
      if (quoted) return Fail(recordLine_, "quoted field is not closed before the end of the file");
      break;
    }
    if (c == 0) return Fail(currentLine_, "NUL byte in the data");
    if (quoted) {
      if (c != '"') {
        field->push_back(static_cast<char>(c));
      } else if (Peek() == '"') {
        Get();
        field->push_back('"');
      } else {
        quoted = false;
        afterQuote = true;
      }
      continue;
    }
    if (c == ',') {
      field = &startField();
      afterQuote = false;
      continue;
    }
    if (c == '\n') break;
    if (c == '\r') {
      if (Peek() == '\n') Get();
      break;
    }
    if (afterQuote) return Fail(currentLine_, "unexpected character after a closing quote");
    if (c == '"') {
      if (!field->empty()) return Fail(currentLine_, "quote inside an unquoted field");
      quoted = true;
      continue;
    }
    field->push_back(static_cast<char>(c));
  }
  fields.resize(count);
  return Status::kRecord;
}

}  // namespace xevhost
