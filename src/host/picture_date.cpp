// Date pictures: a text with field codes that say how a date and time is
// written. The codes and examples are in docs/pictures.md. Letters are reserved
// for codes, so that a misspelt code is refused rather than printed; literal
// words go in quotes.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/calendar.h"
#include "host/format_internal.h"
#include "host/picture_date.h"

namespace xev::host {
namespace {

enum class Field { kLiteral, kYear, kMonth, kDay, kHour24, kHour12, kMinute, kSecond,
                   kFraction, kOptionalFraction, kMeridiem };

struct Piece {
  Field field;
  int32_t count;        // letters in the code
  const char* literal;  // kLiteral only
  int32_t length;       // kLiteral only
};

Field FieldOf(char c) {
  switch (c) {
    case 'y': return Field::kYear;
    case 'M': return Field::kMonth;
    case 'd': return Field::kDay;
    case 'H': return Field::kHour24;
    case 'h': return Field::kHour12;
    case 'm': return Field::kMinute;
    case 's': return Field::kSecond;
    case 'f': return Field::kFraction;
    case 'F': return Field::kOptionalFraction;
    case 't': return Field::kMeridiem;
    default: return Field::kLiteral;
  }
}

bool CountAllowed(Field field, int32_t count) {
  switch (field) {
    case Field::kYear: return count == 2 || count == 4;
    case Field::kMonth:
    case Field::kDay: return count <= 4;
    case Field::kFraction:
    case Field::kOptionalFraction: return count <= 6;
    case Field::kMeridiem: return count == 2;
    default: return count <= 2;
  }
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Walks the picture, handing each code or literal run to visit. Returns false
// when the picture is refused (unknown letter, code of a wrong length,
// unterminated quote, trailing backslash, empty picture).
template <typename Visit>
bool WalkPicture(const char* picture, Visit&& visit) {
  if (picture == nullptr || *picture == '\0') return false;
  const char* p = picture;
  while (*p != '\0') {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '\'' || c == '"') {
      const char* end = p + 1;
      while (*end != '\0' && *end != static_cast<char>(c)) {
        end += (HostIsLeadByte(static_cast<unsigned char>(*end)) && end[1] != '\0') ? 2 : 1;
      }
      if (*end == '\0') return false;
      visit(Piece{Field::kLiteral, 0, p + 1, static_cast<int32_t>(end - p - 1)});
      p = end + 1;
    } else if (c == '\\') {
      if (p[1] == '\0') return false;
      const int32_t n = (HostIsLeadByte(static_cast<unsigned char>(p[1])) && p[2] != '\0') ? 2 : 1;
      visit(Piece{Field::kLiteral, 0, p + 1, n});
      p += 1 + n;
    } else if (IsAsciiLetter(c)) {
      const Field field = FieldOf(*p);
      if (field == Field::kLiteral) return false;
      int32_t count = 0;
      while (p[count] == *p) ++count;
      if (!CountAllowed(field, count)) return false;
      visit(Piece{field, count, nullptr, 0});
      p += count;
    } else {
      const int32_t n = (HostIsLeadByte(c) && p[1] != '\0') ? 2 : 1;
      visit(Piece{Field::kLiteral, 0, p, n});
      p += n;
    }
  }
  return true;
}

void PutNumber(int64_t value, int32_t minDigits, TextSink* out) {
  char digits[24];
  int32_t n = 0;
  const bool negative = value < 0;
  uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n < minDigits) digits[n++] = '0';
  if (negative) out->Put('-');
  while (n > 0) out->Put(digits[--n]);
}

int32_t WeekdayOf(const DateParts& parts) {
  const int64_t day = DayNumberOf(parts);
  return static_cast<int32_t>(((day + 2) % 7 + 7) % 7);
}

void PutFraction(int32_t fraction, int32_t count, bool optional, TextSink* out) {
  char digits[6];
  int32_t value = fraction;
  for (int32_t i = 5; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  int32_t n = count;
  if (optional) {
    while (n > 0 && digits[n - 1] == '0') --n;
    if (n == 0) return;
    out->Put('.');
  }
  out->Put(std::string_view(digits, static_cast<size_t>(n)));
}

void PutField(const Piece& piece, const DateParts& parts, TextSink* out) {
  const int32_t n = piece.count;
  switch (piece.field) {
    case Field::kLiteral:
      out->Put(std::string_view(piece.literal, static_cast<size_t>(piece.length)));
      break;
    case Field::kYear:
      if (n == 2) {
        PutNumber(std::abs(parts.year % 100), 2, out);
      } else {
        PutNumber(parts.year, 4, out);
      }
      break;
    case Field::kMonth:
      if (n <= 2) {
        PutNumber(parts.month, n, out);
      } else {
        const char* name = kMonthNames[(parts.month + 11) % 12];
        out->Put(n == 3 ? std::string_view(name, 3) : std::string_view(name));
      }
      break;
    case Field::kDay:
      if (n <= 2) {
        PutNumber(parts.day, n, out);
      } else {
        const char* name = kWeekdayNames[WeekdayOf(parts)];
        out->Put(n == 3 ? std::string_view(name, 3) : std::string_view(name));
      }
      break;
    case Field::kHour24: PutNumber(parts.hour, n, out); break;
    case Field::kHour12: PutNumber(parts.hour % 12 == 0 ? 12 : parts.hour % 12, n, out); break;
    case Field::kMinute: PutNumber(parts.minute, n, out); break;
    case Field::kSecond: PutNumber(parts.second, n, out); break;
    case Field::kFraction: PutFraction(parts.fraction, n, false, out); break;
    case Field::kOptionalFraction: PutFraction(parts.fraction, n, true, out); break;
    case Field::kMeridiem: out->Put(parts.hour < 12 ? "AM" : "PM"); break;
  }
}

int32_t WidestField(const Piece& piece) {
  switch (piece.field) {
    case Field::kLiteral: return piece.length;
    case Field::kYear: return piece.count;
    case Field::kMonth:
    case Field::kDay:
      // "September" and "Wednesday" are the longest names.
      return piece.count == 4 ? 9 : piece.count == 3 ? 3 : 2;
    case Field::kFraction: return piece.count;
    case Field::kOptionalFraction: return piece.count + 1;
    default: return 2;
  }
}

}  // namespace

bool IsValidDatePicture(const char* picture) {
  return WalkPicture(picture, [](const Piece&) {});
}

bool WriteDateByPicture(const char* picture, const DateParts& parts, TextSink* out) {
  if (!IsValidDatePicture(picture)) return false;
  return WalkPicture(picture, [&](const Piece& piece) { PutField(piece, parts, out); });
}

namespace {

// How a compiled piece is written: chosen once per picture, so that a date
// costs one switch per piece. kSink writes as PutField does, for the pieces
// and values without a shortcut.
enum class Writer : uint8_t {
  kLiteral, kDigits, kYear, kShortYear, kMonthName, kDayName, kHour12, kFraction, kOptionalFraction, kMeridiem, kSink
};

Writer WriterOf(Field field, int32_t count) {
  switch (field) {
    case Field::kLiteral: return Writer::kLiteral;
    case Field::kYear: return count == 4 ? Writer::kYear : Writer::kShortYear;
    case Field::kMonth: return count <= 2 ? Writer::kDigits : Writer::kMonthName;
    case Field::kDay: return count <= 2 ? Writer::kDigits : Writer::kDayName;
    case Field::kHour24:
    case Field::kMinute:
    case Field::kSecond: return Writer::kDigits;
    case Field::kHour12: return Writer::kHour12;
    case Field::kFraction: return Writer::kFraction;
    case Field::kOptionalFraction: return Writer::kOptionalFraction;
    case Field::kMeridiem: return Writer::kMeridiem;
  }
  return Writer::kSink;
}

// The most a field writes: a number of a full int32 with its sign.
constexpr int32_t kMostFieldBytes = 11;

// The place of a number field among the fields of DateParts.
uint8_t PlaceOf(Field field) {
  switch (field) {
    case Field::kMonth: return 0;
    case Field::kDay: return 1;
    case Field::kHour24: return 3;
    case Field::kMinute: return 4;
    default: return 5;
  }
}

}  // namespace

bool CompileDatePicture(const char* picture, CompiledDatePicture* out) {
  using Compiled = CompiledDatePicture;
  int32_t pieces = 0;
  int32_t literalBytes = 0;
  int32_t pendingAt = 0;  // literal text not yet given to a field
  bool fits = true;
  out->most = 0;
  const auto add = [&](Field field, int32_t count) {
    if (pieces == Compiled::kMostPieces) {
      fits = false;
      return;
    }
    out->most += literalBytes - pendingAt + (field == Field::kLiteral ? 0 : kMostFieldBytes);
    out->pieces[pieces++] = {static_cast<uint8_t>(field), static_cast<uint8_t>(count), static_cast<uint8_t>(pendingAt),
                             static_cast<uint8_t>(literalBytes - pendingAt), PlaceOf(field),
                             static_cast<uint8_t>(WriterOf(field, count))};
    pendingAt = literalBytes;
  };
  const bool valid = WalkPicture(picture, [&](const Piece& piece) {
    if (piece.field != Field::kLiteral) return add(piece.field, piece.count);
    if (literalBytes + piece.length > Compiled::kMostLiteralBytes) {
      fits = false;
      return;
    }
    std::memcpy(out->literals + literalBytes, piece.literal, static_cast<size_t>(piece.length));
    literalBytes += piece.length;
  });
  if (literalBytes > pendingAt) add(Field::kLiteral, 0);
  std::memset(out->literals + literalBytes, 0, Compiled::kLiteralWord);
  out->pieceCount = pieces;
  return valid && fits;
}

namespace {

// The most a compiled picture writes: all its literal text and the widest
// of every field.
constexpr int32_t kMostCompiledText =
    CompiledDatePicture::kMostLiteralBytes + CompiledDatePicture::kMostPieces * kMostFieldBytes;

// Names padded to a fixed room: one move of the whole room copies a name,
// and the text goes on by the name's length.
constexpr size_t kNameRoom = 16;
// The most bytes written past a text's end: a name's room, less its shortest
// form of three letters, or the sink's terminator after a field.
constexpr int32_t kScribble = 16;
struct PaddedName {
  char text[kNameRoom];
  uint8_t length;
};

template <size_t N>
constexpr std::array<PaddedName, N> PadNames(const char* const (&names)[N]) {
  std::array<PaddedName, N> padded{};
  for (size_t i = 0; i < N; ++i) {
    while (names[i][padded[i].length] != '\0') {
      padded[i].text[padded[i].length] = names[i][padded[i].length];
      ++padded[i].length;
    }
  }
  return padded;
}

constexpr std::array<PaddedName, 12> kPaddedMonths = PadNames(kMonthNames);
constexpr std::array<PaddedName, 7> kPaddedWeekdays = PadNames(kWeekdayNames);

// "00" to "99".
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// A value of 0 to 99 in one or two digits, as PutNumber writes it.
char* PutPair(char* at, uint32_t value, int32_t minDigits) {
  if (value >= 10 || minDigits == 2) {
    std::memcpy(at, &kDigitPairs[2 * value], 2);
    return at + 2;
  }
  *at = static_cast<char>('0' + value);
  return at + 1;
}

// Microseconds (0 to 999999) cut to count digits, as PutFraction writes them:
// the optional form drops trailing zeros, and its point with the last one.
char* PutMicros(char* at, uint32_t micros, int32_t count, bool optional) {
  char* digits = at + (optional ? 1 : 0);
  std::memcpy(digits, &kDigitPairs[2 * (micros / 10000)], 2);
  std::memcpy(digits + 2, &kDigitPairs[2 * (micros / 100 % 100)], 2);
  std::memcpy(digits + 4, &kDigitPairs[2 * (micros % 100)], 2);
  int32_t n = count;
  if (!optional) return digits + n;
  if (micros == 0) return at;
  while (n > 0 && digits[n - 1] == '0') --n;
  if (n == 0) return at;
  *at = '.';
  return digits + n;
}

char* PutLiteral(char* at, const char* literal, int32_t length) {
  constexpr int32_t kWord = CompiledDatePicture::kLiteralWord;
  if (length <= kWord) {
    std::memcpy(at, literal, kWord);
  } else {
    std::memcpy(at, literal, static_cast<size_t>(length));
  }
  return at + length;
}

char* PutName(char* at, const PaddedName& name, int32_t count) {
  std::memcpy(at, name.text, kNameRoom);
  return at + (count == 3 ? 3 : name.length);
}

// Writes a piece by its shortcut; null when the value needs PutField.
char* PutCompiled(char* at, const CompiledDatePicture::Piece& kept,
                  const DateParts& parts, const int32_t* fields) {
  switch (static_cast<Writer>(kept.writer)) {
    case Writer::kLiteral: return at;
    case Writer::kDigits: {
      const auto value = static_cast<uint32_t>(fields[kept.place]);
      return value < 100 ? PutPair(at, value, kept.count) : nullptr;
    }
    case Writer::kYear: {
      if (parts.year < 1000 || parts.year > 9999) return nullptr;
      const auto year = static_cast<uint32_t>(parts.year);
      return PutPair(PutPair(at, year / 100, 2), year % 100, 2);
    }
    case Writer::kShortYear: return PutPair(at, static_cast<uint32_t>(std::abs(parts.year % 100)), 2);
    case Writer::kMonthName: return PutName(at, kPaddedMonths[(parts.month + 11) % 12], kept.count);
    case Writer::kDayName: return PutName(at, kPaddedWeekdays[WeekdayOf(parts)], kept.count);
    case Writer::kHour12: {
      if (parts.hour < 0 || parts.hour > 23) return nullptr;
      const int32_t hour = parts.hour % 12;
      return PutPair(at, static_cast<uint32_t>(hour == 0 ? 12 : hour), kept.count);
    }
    case Writer::kFraction:
    case Writer::kOptionalFraction: {
      const auto micros = static_cast<uint32_t>(parts.fraction);
      if (micros > 999999) return nullptr;
      return PutMicros(at, micros, kept.count, static_cast<Writer>(kept.writer) == Writer::kOptionalFraction);
    }
    case Writer::kMeridiem:
      std::memcpy(at, parts.hour < 12 ? "AM" : "PM", 2);
      return at + 2;
    case Writer::kSink: return nullptr;
  }
  return nullptr;
}

// Writes the picture's text at at and returns its end, unterminated. Past
// the end it may write up to kScribble bytes more: names and short literal
// runs are copied as whole words.
char* WriteCompiled(const CompiledDatePicture& picture, const DateParts& parts, char* at) {
  int32_t fields[7];
  static_assert(sizeof fields == sizeof parts, "DateParts is its seven fields");
  std::memcpy(fields, &parts, sizeof fields);
  for (int32_t i = 0; i < picture.pieceCount; ++i) {
    const CompiledDatePicture::Piece& kept = picture.pieces[i];
    at = PutLiteral(at, picture.literals + kept.at, kept.length);
    if (char* next = PutCompiled(at, kept, parts, fields)) {
      at = next;
      continue;
    }
    TextSink piece(at, kMostFieldBytes + 1);
    PutField(Piece{static_cast<Field>(kept.field), kept.count, nullptr, 0}, parts, &piece);
    at += piece.length();
  }
  return at;
}

}  // namespace

bool WriteDateByCompiledPicture(const CompiledDatePicture& picture, const DateParts& parts, char* text,
                                int32_t size) {
  // A buffer with room for the widest text and what may be written past it
  // takes the text straight; a smaller one gets it only when it fits, as the
  // text sink would keep it.
  if (text != nullptr && size > picture.most + kScribble) {
    *WriteCompiled(picture, parts, text) = '\0';
    return true;
  }
  char written[kMostCompiledText + kScribble];
  const auto length = static_cast<int32_t>(WriteCompiled(picture, parts, written) - written);
  if (text == nullptr || length + 1 > size) {
    if (text != nullptr && size > 0) text[0] = '\0';
    return false;
  }
  std::memcpy(text, written, static_cast<size_t>(length));
  text[length] = '\0';
  return true;
}

int32_t MeasureDatePicture(const char* picture) {
  int32_t width = 0;
  if (!WalkPicture(picture, [&](const Piece& piece) { width += WidestField(piece); })) return -1;
  return width;
}

}  // namespace xev::host
