// Date pictures: a text with field codes that say how a date and time is
// written. The codes and examples are in docs/pictures.md. Letters are reserved
// for codes, so that a misspelt code is refused rather than printed; literal
// words go in quotes.
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

bool CompileDatePicture(const char* picture, CompiledDatePicture* out) {
  int32_t pieces = 0;
  int32_t literalBytes = 0;
  bool fits = true;
  const bool valid = WalkPicture(picture, [&](const Piece& piece) {
    if (pieces == CompiledDatePicture::kMostPieces ||
        literalBytes + piece.length > CompiledDatePicture::kMostLiteralBytes) {
      fits = false;
      return;
    }
    CompiledDatePicture::Piece& kept = out->pieces[pieces++];
    kept = {static_cast<uint8_t>(piece.field), static_cast<uint8_t>(piece.count),
            static_cast<uint8_t>(literalBytes), static_cast<uint8_t>(piece.length)};
    for (int32_t i = 0; i < piece.length; ++i) out->literals[literalBytes++] = piece.literal[i];
  });
  out->pieceCount = pieces;
  return valid && fits;
}

namespace {

// The most a compiled picture writes: every piece a literal run or a name of
// nine letters, or a number of a full int32 with its sign.
constexpr int32_t kMostCompiledText =
    CompiledDatePicture::kMostLiteralBytes + CompiledDatePicture::kMostPieces * 11;

// A field of one or two digits in its usual range: written straight.
char* PutSmall(char* at, int32_t value, int32_t minDigits) {
  if (value >= 10 || minDigits == 2) {
    *at++ = static_cast<char>('0' + value / 10);
  }
  *at++ = static_cast<char>('0' + value % 10);
  return at;
}

// True when the field can be written by PutSmall as PutField writes it.
bool IsSmallField(Field field, int32_t count, const DateParts& parts, int32_t* value) {
  switch (field) {
    case Field::kMonth: *value = parts.month; return count <= 2;
    case Field::kDay: *value = parts.day; return count <= 2;
    case Field::kHour24: *value = parts.hour; return true;
    case Field::kMinute: *value = parts.minute; return true;
    case Field::kSecond: *value = parts.second; return true;
    default: return false;
  }
}

}  // namespace

bool WriteDateByCompiledPicture(const CompiledDatePicture& picture, const DateParts& parts, char* text,
                                int32_t size) {
  // Written whole into a buffer that holds any compiled picture's text, then
  // kept when it fits, as the text sink would keep it.
  char written[kMostCompiledText + 1];
  char* at = written;
  for (int32_t i = 0; i < picture.pieceCount; ++i) {
    const CompiledDatePicture::Piece& kept = picture.pieces[i];
    const auto field = static_cast<Field>(kept.field);
    int32_t value = 0;
    if (field == Field::kLiteral) {
      for (int32_t k = 0; k < kept.length; ++k) *at++ = picture.literals[kept.at + k];
    } else if (IsSmallField(field, kept.count, parts, &value) && value >= 0 && value < 100) {
      at = PutSmall(at, value, kept.count);
    } else if (field == Field::kYear && kept.count == 4 && parts.year >= 1000 && parts.year <= 9999) {
      at = PutSmall(PutSmall(at, parts.year / 100, 2), parts.year % 100, 2);
    } else if ((field == Field::kMonth || field == Field::kDay) && kept.count >= 3) {
      const char* name = field == Field::kMonth ? kMonthNames[(parts.month + 11) % 12] : kWeekdayNames[WeekdayOf(parts)];
      const size_t length = kept.count == 3 ? 3 : std::strlen(name);
      std::memcpy(at, name, length);
      at += length;
    } else {
      TextSink piece(at, static_cast<int32_t>(written + sizeof written - at));
      PutField(Piece{field, kept.count, nullptr, 0}, parts, &piece);
      at += piece.length();
    }
  }
  const auto length = static_cast<int32_t>(at - written);
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
