#include "input/csv_table.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

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

// A mapped file that shrinks under the tool would stop it with SIGBUS at the
// first page past the new end; it is told as what it is instead.
void StopOnShrunkFile(int) {
  static const char kMessage[] = "xevhost: the data file shrank while it was being read\n";
  ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)ignored;
  _exit(1);
}

// How far the first pass reads before it lets the pages behind it go.
constexpr size_t kBytesKeptBehind = size_t{4} << 20;

// Below this size a second thread for the first pass costs more than it saves.
constexpr size_t kParallelBytes = size_t{1} << 20;

// The offset just after the first line break at or after middle that lies
// outside quotes (quoted: whether middle is inside quotes); npos when there
// is none.
size_t RecordSplit(std::string_view bytes, size_t middle, bool quoted) {
  for (size_t i = middle; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '"') quoted = !quoted;
    if (quoted || (c != '\n' && c != '\r')) continue;
    return c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? i + 2 : i + 1;
  }
  return std::string_view::npos;
}

// What lies in [from, to) for finding where a record may start: the line
// ends as the reader counts them (CR LF, LF and CR alone each end one line)
// and whether the quotes are odd in number. One pass, 16 bytes at a time:
// it runs over half the file before the two halves can start.
struct QuotesAndLines {
  int64_t lines = 0;
  bool oddQuotes = false;
};

QuotesAndLines CountQuotesAndLines(std::string_view bytes, size_t from, size_t to) {
  QuotesAndLines found;
  uint64_t quotes = 0;
  auto returns = [&](size_t at) {  // a CR at at ends a line unless an LF follows
    if (at + 1 >= bytes.size() || bytes[at + 1] != '\n') ++found.lines;
  };
  size_t at = from;
#if defined(__SSE2__)
  // Per-byte counters, added up before any of them can pass 255.
  const __m128i quote = _mm_set1_epi8('"'), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  const __m128i zero = _mm_setzero_si128();
  auto sum = [&](__m128i counts) {
    const __m128i halves = _mm_sad_epu8(counts, zero);
    return static_cast<uint64_t>(_mm_cvtsi128_si32(halves)) +
           static_cast<uint64_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(halves, halves)));
  };
  while (at + 16 <= to) {
    __m128i quoteCounts = zero, lineCounts = zero;
    for (int round = 0; round < 255 && at + 16 <= to; ++round, at += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
      quoteCounts = _mm_sub_epi8(quoteCounts, _mm_cmpeq_epi8(v, quote));
      lineCounts = _mm_sub_epi8(lineCounts, _mm_cmpeq_epi8(v, lf));
      for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))); mask != 0; mask &= mask - 1)
        returns(at + static_cast<size_t>(std::countr_zero(mask)));
    }
    quotes += sum(quoteCounts);
    found.lines += static_cast<int64_t>(sum(lineCounts));
  }
#endif
  for (; at < to; ++at) {
    const char c = bytes[at];
    quotes += c == '"' ? 1 : 0;
    found.lines += c == '\n' ? 1 : 0;
    if (c == '\r') returns(at);
  }
  found.oddQuotes = quotes % 2 != 0;
  return found;
}

}  // namespace

// What the first pass finds in a share of the rows.
struct CsvTable::Share {
  std::vector<ColumnTypeInference> inference;
  uint64_t rows = 0;
  std::vector<CsvReader::Mark> marks;  // of its rows, counted from its start
  std::string error;                   // the share's first error, whole
};

CsvTable::CsvTable(const CodePageConverter& converter, InputEncoding encoding)
    : converter_(converter), encoding_(encoding) {}

CsvTable::~CsvTable() {
  if (mapped_)
    munmap(data_, size_);
  else
    std::free(data_);
}

// A regular file is mapped: its pages stay the page cache's, so the process
// holds no copy and a file larger than memory is read as the passes walk it.
bool CsvTable::Map(int fd, size_t size) {
  void* bytes = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (bytes == MAP_FAILED) return false;
  madvise(bytes, size, MADV_SEQUENTIAL);
  struct sigaction stop{};
  stop.sa_handler = StopOnShrunkFile;
  sigaction(SIGBUS, &stop, nullptr);
  data_ = static_cast<char*>(bytes);
  size_ = size;
  mapped_ = true;
  return true;
}

void CsvTable::ReleaseBytes(size_t from, size_t to) const {
  if (!mapped_) return;
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t first = (from + page - 1) / page * page;
  const size_t last = to / page * page;
  // The mapping is private and never written, so the pages come back from
  // the file, unchanged, should a view into them still be read.
  if (first < last) madvise(data_ + first, last - first, MADV_DONTNEED);
}

// The whole file in one block: a regular file mapped, a stream read into a
// block grown as it comes. Failing to get the memory ends the run with a
// message, as any other unusable input does.
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
  if (S_ISREG(info.st_mode) && info.st_size > 0 && Map(fd, static_cast<size_t>(info.st_size))) {
    close(fd);
    return true;
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
  bool maybeUtf8 = encoding_ != InputEncoding::kAnsi;
  firstBad_ = bytes.size() + 1;  // none
  size_t replaced = 0;
  if (maybeUtf8) {
    const Utf8Survey survey = SurveyUtf8(replacing);
    if (survey.badCount != 0 && replacing) replaced = survey.badCount;
    if (survey.badCount != 0 && !replacing) firstBad_ = survey.firstBad;
  }
  if (encoding_ == InputEncoding::kUtf8 && reader_.bytesConsumed() > firstBad_) {
    error = NotUtf8Message();
    return false;
  }
  firstRow_ = reader_.mark();

  columnCount_ = headers.size();
  Share share;
  share.inference.resize(columnCount_);
  bool parallel = threads_ != 1 && size_ >= kParallelBytes && ScanInParallel(reader_, share);
  if (!parallel) ScanRows(reader_, SIZE_MAX, share, true);
  if (!share.error.empty()) {
    error = share.error;
    return false;
  }
  rows_ = share.rows;
  marks_ = std::move(share.marks);
  std::vector<ColumnTypeInference>& inference = share.inference;
  ReportReplaced(path, replaced);
  maybeUtf8 = maybeUtf8 && firstBad_ > bytes.size();
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
    columns_.push_back(Column{ansiHeaders[i], names[i], inference[i].Type(), inference[i].WholeNumbers()});
  return Restart(error);
}

namespace {

// The start of the stretch that ends at or before end and after from: a
// lead or ASCII byte, so that no sequence is cut in two (from when none).
size_t StretchEnd(std::string_view bytes, size_t from, size_t end) {
  size_t lead = end;
  while (lead > from && lead < bytes.size() && (static_cast<unsigned char>(bytes[lead]) & 0xC0) == 0x80) --lead;
  return lead > from ? lead : end;
}

}  // namespace

// Where the first bad UTF-8 sequence is, and (counting) how many there are.
// The check is the first touch of every page of the file: with more than
// one thread the second half is checked on a thread of its own.
CsvTable::Utf8Survey CsvTable::SurveyUtf8(bool counting) const {
  if (threads_ == 1 || size_ < kParallelBytes) return SurveyUtf8Range(0, size_, counting);
  const size_t split = StretchEnd(std::string_view(data_, size_), 0, size_ / 2);
  Utf8Survey second;
  std::thread helper;
  try {
    helper = std::thread([&] { second = SurveyUtf8Range(split, size_, counting); });
  } catch (const std::system_error&) {
    return SurveyUtf8Range(0, size_, counting);
  }
  Utf8Survey survey = SurveyUtf8Range(0, split, counting);
  helper.join();
  if (survey.badCount == 0) survey.firstBad = second.firstBad;
  survey.badCount += second.badCount;
  return survey;
}

// The survey of bytes [from, to), a stretch at a time so that a mapped
// file's pages go behind the check.
CsvTable::Utf8Survey CsvTable::SurveyUtf8Range(size_t from, size_t to, bool counting) const {
  const std::string_view bytes(data_, size_);
  Utf8Survey survey;
  for (size_t at = from; at < to;) {
    const size_t end = StretchEnd(bytes, at, std::min(to, at + kBytesKeptBehind));
    const std::string_view stretch = bytes.substr(at, end - at);
    if (!IsAscii(stretch)) {
      const BadSequence bad = FindBadUtf8(stretch);
      if (bad.length != 0 && survey.badCount == 0) survey.firstBad = at + bad.offset;
      if (bad.length != 0) survey.badCount += counting ? CountBadUtf8(stretch) : 1;
      if (bad.length != 0 && !counting) return survey;
    }
    ReleaseBytes(at, end);
    at = end;
  }
  return survey;
}

std::string CsvTable::NotUtf8Message() const {
  const auto behind = [this](size_t from, size_t to) { ReleaseBytes(from, to); };
  return BadUtf8Message(path_, LocateBadUtf8At(std::string_view(data_, size_), firstBad_, behind)) +
         (converter_.utf8() ? "; --replace-invalid puts U+FFFD in place of each bad sequence, "
                              "--code-page 1252 reads a Windows-1252 file"
                            : " (--encoding utf-8 was given)");
}

// Reads records up to offset stop (or to the end, or the first error): each
// row is checked and its cells watched for the column types.
void CsvTable::ScanRows(CsvReader& reader, size_t stop, Share& share, bool showProgress) const {
  const bool mustBeUtf8 = encoding_ == InputEncoding::kUtf8;
  Progress progress("reading", size_, showProgress ? kProgressRows : UINT64_MAX);
  std::vector<std::string_view> fields;
  // The columns whose type a cell may still change; a String one is done.
  std::vector<size_t> watched;
  for (size_t i = 0; i < columnCount_; ++i)
    if (!share.inference[i].Settled()) watched.push_back(i);
  CsvReader::Status status = CsvReader::Status::kRecord;
  size_t kept = reader.bytesConsumed();
  while (reader.bytesConsumed() < stop) {
    if (reader.bytesConsumed() - kept >= kBytesKeptBehind) {
      ReleaseBytes(kept, reader.bytesConsumed());
      kept = reader.bytesConsumed();
    }
    if (share.rows % kRowsPerMark == 0) share.marks.push_back(reader.mark());
    if ((status = reader.Next(fields)) != CsvReader::Status::kRecord) break;
    if (fields.size() != columnCount_) {
      share.error = path_ + ": line " + std::to_string(reader.line()) + ": malformed row: " +
                    FieldCountMessage(columnCount_, fields.size());
      return;
    }
    for (size_t i = 0; i < watched.size(); ++i) {
      ColumnTypeInference& inference = share.inference[watched[i]];
      inference.Observe(fields[watched[i]]);
      if (inference.Settled()) watched.erase(watched.begin() + static_cast<std::ptrdiff_t>(i--));
    }
    if (mustBeUtf8 && reader.bytesConsumed() > firstBad_) {
      share.error = NotUtf8Message();
      return;
    }
    ++share.rows;
    progress.Update(share.rows, reader.bytesConsumed());
  }
  if (status == CsvReader::Status::kError) share.error = path_ + ": " + reader.error();
}

// The second half of the rows is read on a thread of its own, from the first
// line break after the middle that lies outside quotes. Whether that is
// where a record ends is known once the first half is read up to it; when it
// is not (quotes out of balance), the first half's reader goes on to the end
// and the other thread's findings are dropped. false: no second thread.
bool CsvTable::ScanInParallel(CsvReader& reader, Share& share) const {
  const std::string_view bytes(data_, size_);
  const size_t from = reader.bytesConsumed();
  // Quotes and lines before the middle, a stretch at a time, the pages let go
  // behind: the first half's reader comes back to them.
  const size_t half = from + (bytes.size() - from) / 2;
  bool quoted = false;
  int64_t lines = 1;
  for (size_t at = 0; at < half; at += kBytesKeptBehind) {
    const size_t end = std::min(half, at + kBytesKeptBehind);
    const QuotesAndLines found = CountQuotesAndLines(bytes, at, end);
    quoted = quoted != found.oddQuotes;
    lines += found.lines;
    ReleaseBytes(at, end);
  }
  const size_t split = RecordSplit(bytes, half, quoted);
  if (split == std::string_view::npos) return false;
  const CsvReader::Mark middle{split, lines + CountQuotesAndLines(bytes, half, split).lines};
  CsvReader second(bytes);
  second.Seek(middle);
  Share other;
  other.inference.resize(columnCount_);
  std::thread helper;
  try {
    helper = std::thread([&] { ScanRows(second, SIZE_MAX, other, false); });
  } catch (const std::system_error&) {
    return false;
  }
  ScanRows(reader, split, share, true);
  helper.join();
  if (!share.error.empty()) return true;
  if (reader.bytesConsumed() != split || reader.mark().line != middle.line) {
    ScanRows(reader, SIZE_MAX, share, true);
    return true;
  }
  share.error = other.error;
  share.rows += other.rows;
  share.marks.insert(share.marks.end(), other.marks.begin(), other.marks.end());
  for (size_t i = 0; i < columnCount_; ++i) share.inference[i].Merge(other.inference[i]);
  return true;
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
