// Reading date and time texts: every form a formula's date constant can take.
//
// Dates: numeric dates with "/", "-" or "\" read month, day, year; dotted dates
// read day, month, year; a first field of three or more digits is a year and
// the order is then year, month, day. Month names are English, in full or cut
// to three letters, in any case: "12-Jan-2001", "15 January, 2001",
// "Jan 15, 2001". A year of one or two digits lies in 1950..2049 (00-49 give
// 20xx, 50-99 give 19xx); three or four digits are taken as written (1..9999).
//
// Times: hour, then up to three more fields separated by ":" or "." (minute,
// second, fraction of a second), then optionally "AM" or "PM" in any case, with
// or without blanks before it: "10:30", "10:30:45.25", "10.30 PM", "10PM".
// A date may be followed by a time after blanks or after one separator.
//
// Every field is checked: month 1-12, a day that exists in that month and year,
// hour 0-23 (1-12 with AM/PM), minute and second 0-59. Nothing else may follow.
#include <cstdint>

#include "host/calendar.h"
#include "host/format_internal.h"

namespace xev::host {

const char* DefaultDatePicture(int32_t kind) {
  // Four-digit years, 24-hour times and the optional fraction make the
  // date-and-time form read back to exactly the value it was written from.
  switch (kind) {
    case XEV_FORMAT_DATE: return "MM/dd/yyyy";
    case XEV_FORMAT_TIME: return "HH:mm:ssFFFFFF";
    default: return "MM/dd/yyyy HH:mm:ssFFFFFF";
  }
}

namespace {

enum class TokenType { kNumber, kWord, kSeparator, kComma, kBlank };

struct Token {
  TokenType type;
  const char* start;
  int32_t length;
  int64_t value;  // numbers only
  char separator; // separators only
};

constexpr int32_t kMaxTokens = 32;
constexpr int32_t kMaxDigits = 9;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSeparator(char c) { return c == '/' || c == '-' || c == '\\' || c == '.' || c == ':'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Splits the text into numbers, words, separators, commas and runs of blanks.
// Fails on any other byte, on over-long numbers and on too many tokens.
bool Tokenize(const char* text, Token* tokens, int32_t* count) {
  int32_t n = 0;
  const char* p = text;
  while (*p != '\0') {
    if (n == kMaxTokens) return false;
    Token& t = tokens[n++];
    t = Token{TokenType::kBlank, p, 0, 0, 0};
    if (IsBlank(*p)) {
      while (IsBlank(*p)) ++p;
    } else if (IsDigit(*p)) {
      t.type = TokenType::kNumber;
      while (IsDigit(*p)) {
        if (p - t.start == kMaxDigits) return false;
        t.value = t.value * 10 + (*p - '0');
        ++p;
      }
    } else if (IsLetter(*p)) {
      t.type = TokenType::kWord;
      while (IsLetter(*p)) ++p;
    } else if (IsSeparator(*p)) {
      t.type = TokenType::kSeparator;
      t.separator = *p++;
    } else if (*p == ',') {
      t.type = TokenType::kComma;
      ++p;
    } else {
      return false;
    }
    t.length = static_cast<int32_t>(p - t.start);
  }
  *count = n;
  return true;
}

class Reader {
 public:
  Reader(const Token* tokens, int32_t count) : tokens_(tokens), count_(count) {}

  const Token* Peek(int32_t ahead = 0) const {
    return pos_ + ahead < count_ ? &tokens_[pos_ + ahead] : nullptr;
  }
  bool Is(TokenType type, int32_t ahead = 0) const {
    const Token* t = Peek(ahead);
    return t != nullptr && t->type == type;
  }
  const Token* Take() { return pos_ < count_ ? &tokens_[pos_++] : nullptr; }
  bool TakeIf(TokenType type) {
    if (!Is(type)) return false;
    ++pos_;
    return true;
  }
  bool AtEnd() const { return pos_ == count_; }
  int32_t position() const { return pos_; }
  void Rewind(int32_t pos) { pos_ = pos; }

 private:
  const Token* tokens_;
  int32_t count_;
  int32_t pos_ = 0;
};

bool WordEquals(const Token& t, const char* word, int32_t length) {
  if (t.length != length) return false;
  for (int32_t i = 0; i < length; ++i) {
    if (Lower(t.start[i]) != Lower(word[i])) return false;
  }
  return true;
}

int32_t MonthFromWord(const Token& t) {
  for (int32_t m = 0; m < 12; ++m) {
    const char* name = kMonthNames[m];
    int32_t full = 0;
    while (name[full] != '\0') ++full;
    if (WordEquals(t, name, full) || WordEquals(t, name, 3)) return m + 1;
  }
  return 0;
}

// Applies the two-digit window; a year written with three or four digits is
// taken as it stands and must lie in 1..9999.
bool ResolveYear(const Token& t, int32_t* year) {
  if (t.length > 4) return false;
  if (t.length <= 2) {
    *year = static_cast<int32_t>(t.value < 50 ? 2000 + t.value : 1900 + t.value);
    return true;
  }
  if (t.value < 1) return false;
  *year = static_cast<int32_t>(t.value);
  return true;
}

bool SetDate(int64_t month, int64_t day, const Token& yearToken, DateParts* parts) {
  int32_t year = 0;
  if (!ResolveYear(yearToken, &year)) return false;
  if (month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, static_cast<int32_t>(month))) return false;
  parts->year = year;
  parts->month = static_cast<int32_t>(month);
  parts->day = static_cast<int32_t>(day);
  return true;
}

// 12/25/2001, 1-2-3, 2001-12-25, 25.12.2001
bool ReadNumericDate(Reader& r, DateParts* parts) {
  if (!(r.Is(TokenType::kNumber) && r.Is(TokenType::kSeparator, 1) &&
        r.Is(TokenType::kNumber, 2) && r.Is(TokenType::kSeparator, 3) &&
        r.Is(TokenType::kNumber, 4))) {
    return false;
  }
  const Token& a = *r.Peek(0);
  const char s1 = r.Peek(1)->separator;
  const Token& b = *r.Peek(2);
  const char s2 = r.Peek(3)->separator;
  const Token& c = *r.Peek(4);
  if (s1 == ':') return false;
  if (s1 == '.' && s2 == ':') return false;
  bool ok = false;
  if (a.length >= 3) {
    ok = SetDate(b.value, c.value, a, parts);
  } else if (s1 == '.') {
    ok = SetDate(b.value, a.value, c, parts);
  } else {
    ok = SetDate(a.value, b.value, c, parts);
  }
  if (ok) r.Rewind(r.position() + 5);
  return ok;
}

// 12-Jan-2001
bool ReadNamedMonthDate(Reader& r, DateParts* parts) {
  if (!(r.Is(TokenType::kNumber) && r.Is(TokenType::kSeparator, 1) && r.Is(TokenType::kWord, 2) &&
        r.Is(TokenType::kSeparator, 3) && r.Is(TokenType::kNumber, 4))) {
    return false;
  }
  const int32_t month = MonthFromWord(*r.Peek(2));
  if (month == 0 || !SetDate(month, r.Peek(0)->value, *r.Peek(4), parts)) return false;
  r.Rewind(r.position() + 5);
  return true;
}

// The "," or blanks between a day and a year written after a month name.
bool TakeYearSeparator(Reader& r) {
  if (r.TakeIf(TokenType::kComma)) {
    r.TakeIf(TokenType::kBlank);
    return true;
  }
  return r.TakeIf(TokenType::kBlank);
}

// 15 January, 2001 and 15 Jan 2001
bool ReadDayMonthYear(Reader& r, DateParts* parts) {
  const int32_t start = r.position();
  const Token* day = r.Take();
  if (day == nullptr || day->type != TokenType::kNumber || !r.TakeIf(TokenType::kBlank)) {
    r.Rewind(start);
    return false;
  }
  const Token* name = r.Take();
  const int32_t month = (name != nullptr && name->type == TokenType::kWord) ? MonthFromWord(*name) : 0;
  if (month == 0 || !TakeYearSeparator(r) || !r.Is(TokenType::kNumber) ||
      !SetDate(month, day->value, *r.Take(), parts)) {
    r.Rewind(start);
    return false;
  }
  return true;
}

// Jan 15, 2001
bool ReadMonthDayYear(Reader& r, DateParts* parts) {
  const int32_t start = r.position();
  const Token* name = r.Take();
  const int32_t month = (name != nullptr && name->type == TokenType::kWord) ? MonthFromWord(*name) : 0;
  if (month == 0 || !r.TakeIf(TokenType::kBlank) || !r.Is(TokenType::kNumber)) {
    r.Rewind(start);
    return false;
  }
  const Token* day = r.Take();
  if (!TakeYearSeparator(r) || !r.Is(TokenType::kNumber) ||
      !SetDate(month, day->value, *r.Take(), parts)) {
    r.Rewind(start);
    return false;
  }
  return true;
}

bool ReadDate(Reader& r, DateParts* parts) {
  return ReadNumericDate(r, parts) || ReadNamedMonthDate(r, parts) ||
         ReadDayMonthYear(r, parts) || ReadMonthDayYear(r, parts);
}

// 0 none, 1 AM, 2 PM
int32_t ReadMeridiem(Reader& r) {
  const int32_t start = r.position();
  r.TakeIf(TokenType::kBlank);
  const Token* t = r.Peek();
  if (t != nullptr && t->type == TokenType::kWord) {
    const int32_t meridiem = WordEquals(*t, "AM", 2) ? 1 : WordEquals(*t, "PM", 2) ? 2 : 0;
    if (meridiem != 0) {
      r.Take();
      return meridiem;
    }
  }
  r.Rewind(start);
  return 0;
}

// hour[(:|.)minute[(:|.)second[(:|.)fraction]]][ AM|PM]. A bare hour needs
// AM/PM unless it follows a date.
bool ReadTime(Reader& r, bool bareHourAllowed, DateParts* parts) {
  const Token* fields[4] = {};
  int32_t count = 0;
  if (!r.Is(TokenType::kNumber)) return false;
  fields[count++] = r.Take();
  while (count < 4 && r.Is(TokenType::kSeparator) && r.Is(TokenType::kNumber, 1)) {
    const char sep = r.Peek()->separator;
    if (sep != ':' && sep != '.') break;
    r.Take();
    fields[count++] = r.Take();
  }
  const int32_t meridiem = ReadMeridiem(r);
  if (count == 1 && meridiem == 0 && !bareHourAllowed) return false;
  for (int32_t i = 0; i < count && i < 3; ++i) {
    if (fields[i]->length > 2) return false;
  }
  int64_t hour = fields[0]->value;
  const int64_t minute = count > 1 ? fields[1]->value : 0;
  const int64_t second = count > 2 ? fields[2]->value : 0;
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  int64_t micros = 0;
  if (count == 4) {
    // Digits beyond the microsecond are dropped.
    const Token& f = *fields[3];
    for (int32_t i = 0; i < 6; ++i) micros = micros * 10 + (i < f.length ? f.start[i] - '0' : 0);
  }
  parts->hour = static_cast<int32_t>(hour);
  parts->minute = static_cast<int32_t>(minute);
  parts->second = static_cast<int32_t>(second);
  parts->fraction = static_cast<int32_t>(micros);
  return true;
}

// After a date: blanks or one separator, then a time.
bool ReadTimeTail(Reader& r, DateParts* parts) {
  const int32_t start = r.position();
  const Token* gap = r.Take();
  const bool gapOk = gap != nullptr && (gap->type == TokenType::kBlank ||
                                        gap->type == TokenType::kSeparator);
  if (gapOk && ReadTime(r, true, parts)) return true;
  r.Rewind(start);
  return false;
}

bool ReadKind(Reader& r, int32_t kind, DateParts* parts) {
  r.TakeIf(TokenType::kBlank);
  if (kind == XEV_FORMAT_TIME) {
    if (!ReadTime(r, false, parts)) return false;
    parts->year = 1;
    parts->month = 1;
    parts->day = 2;
  } else {
    if (!ReadDate(r, parts)) return false;
    if (kind == XEV_FORMAT_DATETIME) ReadTimeTail(r, parts);
  }
  r.TakeIf(TokenType::kBlank);
  return r.AtEnd();
}

}  // namespace

bool ParseDateText(const char* text, int32_t kind, DateParts* parts) {
  if (text == nullptr || parts == nullptr) return false;
  if (kind != XEV_FORMAT_DATE && kind != XEV_FORMAT_TIME && kind != XEV_FORMAT_DATETIME) {
    return false;
  }
  Token tokens[kMaxTokens];
  int32_t count = 0;
  if (!Tokenize(text, tokens, &count)) return false;
  DateParts result{};
  Reader reader(tokens, count);
  if (!ReadKind(reader, kind, &result)) return false;
  *parts = result;
  return true;
}

}  // namespace xev::host
