#include "input/csv_reader.h"

#include <algorithm>
#include <array>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xevhost {

// A field being gathered: a view while its bytes are one run of the input,
// a copy once a quote taken out splits them.
struct FieldBytes {
  const char* start = nullptr;
  size_t length = 0;
  std::string* copy = nullptr;
  std::deque<std::string>* copies = nullptr;  // the reader's; the field's copy goes in at index
  size_t index = 0;

  bool empty() const { return copy != nullptr ? copy->empty() : length == 0; }
  void Append(const char* p, size_t n) {
    if (copy != nullptr) {
      copy->append(p, n);
    } else if (length == 0) {
      start = p;
      length = n;
    } else if (start + length == p) {
      length += n;
    } else {
      // Only a field split by a quote taken out needs storage of its own.
      while (copies->size() <= index) copies->emplace_back();
      copy = &(*copies)[index];
      copy->assign(start, length);
      copy->append(p, n);
    }
  }
  std::string_view view() const { return copy != nullptr ? std::string_view(*copy) : std::string_view(start, length); }
};

namespace {

constexpr int kEndOfInput = -1;

// Bytes that end a run of plain field bytes: [0] outside quotes, [1] inside.
constexpr std::array<std::array<bool, 256>, 2> kStops = [] {
  std::array<std::array<bool, 256>, 2> stops{};
  for (auto& s : stops) s['"'] = s['\n'] = s['\r'] = s['\0'] = true;
  stops[0][','] = true;
  return stops;
}();

// The first byte at or after from that ends a run of plain field bytes.
// Sixteen bytes are tested at once where the processor can: fields of a
// data file are short, but their bytes are most of the file.
size_t RunEnd(std::string_view bytes, size_t from, bool quoted) {
#if defined(__SSE2__)
  // Inside quotes a comma is data: the quote is tested in its place.
  const __m128i separator = _mm_set1_epi8(quoted ? '"' : ',');
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i nul = _mm_setzero_si128();
  for (; from + 16 <= bytes.size(); from += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + from));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, separator), _mm_cmpeq_epi8(v, quote)),
                               _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                            _mm_cmpeq_epi8(v, nul)));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return from + static_cast<size_t>(std::countr_zero(mask));
  }
#endif
  const auto& stops = kStops[quoted ? 1 : 0];
  while (from < bytes.size() && !stops[static_cast<unsigned char>(bytes[from])]) ++from;
  return from;
}

// One bit for each of the 64 bytes at p that may end a plain field: a
// separator, a quote, or a control byte up to CR (LF, CR and NUL among
// them; a tab is one too, and is passed over as data).
uint64_t Stops64(const char* p) {
#if defined(__SSE2__)
  const __m128i separator = _mm_set1_epi8(',');
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i lastControl = _mm_set1_epi8('\r');
  uint64_t stops = 0;
  for (int i = 0; i < 4; ++i) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, separator), _mm_cmpeq_epi8(v, quote)),
                               _mm_cmpeq_epi8(_mm_min_epu8(v, lastControl), v));
    stops |= uint64_t{static_cast<unsigned>(_mm_movemask_epi8(hit))} << (16 * i);
  }
  return stops;
#else
  uint64_t stops = 0;
  for (int i = 0; i < 64; ++i) {
    auto c = static_cast<unsigned char>(p[i]);
    if (c == ',' || c == '"' || c <= '\r') stops |= uint64_t{1} << i;
  }
  return stops;
#endif
}

// More room for the fields of a record wider than any before it.
// out is where the next field goes, at the vector's end: the same place
// after the move.
std::string_view* Widen(std::vector<std::string_view>& fields, std::string_view* out) {
  const size_t count = static_cast<size_t>(out - fields.data());
  fields.resize(2 * count + 8);
  return fields.data() + count;
}

}  // namespace

CsvReader::CsvReader(std::string_view bytes) : bytes_(bytes) {}

int CsvReader::Take() {
  if (pos_ == bytes_.size()) return kEndOfInput;
  char c = bytes_[pos_++];
  // CR LF, LF and CR alone each end one line; the LF of a pair counts it.
  if (c == '\n' || (c == '\r' && (pos_ == bytes_.size() || bytes_[pos_] != '\n'))) ++currentLine_;
  return static_cast<unsigned char>(c);
}

void CsvReader::TakeLineBreak() {
  if (Take() == '\r' && pos_ < bytes_.size() && bytes_[pos_] == '\n') Take();
}

void CsvReader::SkipBlankLines() {
  while (pos_ < bytes_.size() && (bytes_[pos_] == '\n' || bytes_[pos_] == '\r')) TakeLineBreak();
}

void CsvReader::Seek(const Mark& mark) {
  pos_ = mark.offset;
  currentLine_ = mark.line;
  stopsBase_ = kNoStops;
  recordLine_ = 0;
  error_.clear();
}

// Takes the bytes up to the next one that means something in the current
// state in one step: the byte-at-a-time path is for separators, quotes and
// line breaks only.
void CsvReader::TakeRun(FieldBytes& field, bool quoted) {
  size_t run = RunEnd(bytes_, pos_, quoted);
  if (run == pos_) return;
  field.Append(bytes_.data() + pos_, run - pos_);
  pos_ = run;
}

CsvReader::Status CsvReader::Fail(int64_t line, const std::string& message) {
  error_ = "line " + std::to_string(line) + ": " + message;
  return Status::kError;
}

CsvReader::Status CsvReader::Next(std::vector<std::string_view>& fields) {
  // A byte-order mark says UTF-8 and is not data.
  if (pos_ == 0 && bytes_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  // Blank lines carry no record; skipping them keeps a trailing newline or a
  // spare empty line at the end of a file from becoming a short row.
  SkipBlankLines();
  if (pos_ == bytes_.size()) {
    fields.clear();
    return Status::kEnd;
  }

  recordLine_ = currentLine_;
  const size_t recordStart = pos_;
  // Room for as many fields as the widest record so far: the quick path
  // stores them by index instead of growing the vector field by field.
  if (fields.size() < width_) fields.resize(width_);
  Status status = ReadPlainRecord(fields, recordStart) ? Status::kRecord : ReadRecord(fields, recordStart);
  width_ = std::max(width_, fields.size());
  return status;
}

// The quick path of a record: fields ended by a separator, the record by an
// LF, quoted fields that hold no line break. Anything else (a CR alone, a
// NUL, a quote out of place, the last bytes of the input) is left to the
// byte by byte path: false, with the fields found so far in fields and pos_
// at the start of the next. Every exit leaves the loop by break: the state
// stays in locals the whole time (in registers, where nothing but the loop
// may touch it), and is stored back once.
bool CsvReader::ReadPlainRecord(std::vector<std::string_view>& fields, size_t recordStart) {
  const char* const data = bytes_.data();
  const size_t size = bytes_.size();
  std::string_view* out = fields.data();
  std::string_view* outEnd = out + fields.size();
  size_t base = stopsBase_;
  uint64_t stops = stops_;
  bool whole = false;
  const char* field = data + pos_;  // where the current field starts
  if (pos_ - base >= 64) {  // a new window
    base = pos_;
    stops = pos_ + 64 <= size ? Stops64(data + base) : 0;
  }
  // No window may reach past this: the last bytes of the input, or of the
  // longest record, go byte by byte.
  const char* const windowsEnd = data + std::min(size, recordStart + kMaxRecordBytes);
  const char* window = data + base;
  if (size - base >= 64) {
    stops &= ~uint64_t{0} << (field - window);
    for (;;) {
      if (stops == 0) {
        if (windowsEnd - window < 128) break;
        window += 64;
        stops = Stops64(window);
        continue;
      }
      const char* at = window + std::countr_zero(stops);
      stops &= stops - 1;
      const char c = *at;
      if (c == ',') {  // the common stop first, in the fewest steps
        if (out == outEnd) {
          out = Widen(fields, out);
          outEnd = fields.data() + fields.size();
        }
        *out++ = std::string_view(field, static_cast<size_t>(at - field));
        field = at + 1;
        continue;
      }
      if (c != '\n' && c != '"' && c != '\r' && c != '\0') continue;  // a tab or such: data
      std::string_view view(field, static_cast<size_t>(at - field));
      size_t end = static_cast<size_t>(at - data);  // the byte that ends the field
      const bool quoted = c == '"';
      if (quoted && (at != field || !TakeQuoted(end, view, static_cast<size_t>(out - fields.data())))) break;
      // CR LF ends a record as LF does; a CR alone, or a NUL, takes the slow path.
      if (data[end] == '\r' && end + 1 < size && data[end + 1] == '\n') ++end;
      if (data[end] != ',' && data[end] != '\n') break;
      if (out == outEnd) {
        out = Widen(fields, out);
        outEnd = fields.data() + fields.size();
      }
      *out++ = view;
      field = data + end + 1;
      if (data[end] == '\n') {
        ++currentLine_;
        whole = true;
        break;
      }
      if (!quoted) continue;
      // Past a quoted field: the stops from field on, in this window or a new one.
      if (field - window >= 64) {
        if (data + size - field < 64) break;
        window = field;
        stops = Stops64(window);
      }
      stops &= ~uint64_t{0} << (field - window);
    }
  }
  fields.resize(static_cast<size_t>(out - fields.data()));
  pos_ = static_cast<size_t>(field - data);
  stopsBase_ = whole ? static_cast<size_t>(window - data) : kNoStops;
  stops_ = stops;
  return whole;
}

// A quoted field starting at at, without line breaks: its text (a copy of
// the reader's where a doubled quote is taken out) in field and at moved to
// the byte after the closing quote. false for anything else. Kept out of
// line: quoted fields are few, and with this inside it the quick path's
// loop no longer keeps its state in registers.
[[gnu::noinline]] bool CsvReader::TakeQuoted(size_t& at, std::string_view& field, size_t index) {
  const char* data = bytes_.data();
  std::string* copy = nullptr;
  for (size_t from = at + 1;;) {
    const size_t quote = RunEnd(bytes_, from, true);
    if (quote + 1 >= bytes_.size() || data[quote] != '"') return false;
    if (data[quote + 1] != '"') {
      field = std::string_view(data + from, quote - from);
      if (copy != nullptr) field = std::string_view(copy->append(field));
      at = quote + 1;
      return true;
    }
    if (copy == nullptr) {
      while (copies_.size() <= index) copies_.emplace_back();
      copy = &copies_[index];
      copy->clear();
    }
    copy->append(data + from, quote + 1 - from);  // the text and one of the two quotes
    from = quote + 2;
  }
}

// The byte by byte path, from pos_ at the start of a field.
CsvReader::Status CsvReader::ReadRecord(std::vector<std::string_view>& fields, size_t recordStart) {
  auto startField = [&] { return FieldBytes{nullptr, 0, nullptr, &copies_, fields.size()}; };
  FieldBytes field = startField();
  bool quoted = false;
  bool afterQuote = false;  // a quoted field has been closed
  for (;;) {
    // After a closing quote only a separator may follow; the slow path says so.
    if (!afterQuote) TakeRun(field, quoted);
    if (pos_ - recordStart > kMaxRecordBytes) {
      return Fail(recordLine_, "record longer than " + std::to_string(kMaxRecordBytes) + " bytes");
    }
    // The common ends of a field, a separator or an LF outside quotes, in
    // one step; everything else byte by byte below.
    if (!quoted && pos_ < bytes_.size() && bytes_[pos_] == ',') {
      ++pos_;
      fields.push_back(field.view());
      field = startField();
      afterQuote = false;
      continue;
    }
    if (!quoted && pos_ < bytes_.size() && bytes_[pos_] == '\n') {
      ++pos_;
      ++currentLine_;
      break;
    }
    const char* at = bytes_.data() + pos_;
    int c = Take();
    if (c == kEndOfInput) {
      if (quoted) return Fail(recordLine_, "quoted field is not closed before the end of the file");
      break;
    }
    if (c == 0) return Fail(currentLine_, "NUL byte in the data");
    if (quoted) {
      if (c != '"') {
        field.Append(at, 1);
      } else if (pos_ < bytes_.size() && bytes_[pos_] == '"') {
        field.Append(bytes_.data() + pos_, 1);
        Take();
      } else {
        quoted = false;
        afterQuote = true;
      }
      continue;
    }
    if (c == ',') {
      fields.push_back(field.view());
      field = startField();
      afterQuote = false;
      continue;
    }
    if (c == '\n') break;
    if (c == '\r') {
      if (pos_ < bytes_.size() && bytes_[pos_] == '\n') Take();
      break;
    }
    if (afterQuote) return Fail(currentLine_, "unexpected character after a closing quote");
    if (c == '"') {
      if (!field.empty()) return Fail(currentLine_, "quote inside an unquoted field");
      quoted = true;
      continue;
    }
    field.Append(at, 1);
  }
  fields.push_back(field.view());
  return Status::kRecord;
}

}  // namespace xevhost
