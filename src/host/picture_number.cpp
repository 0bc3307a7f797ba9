// Number pictures: digit placeholders, grouping, decimals, percent, currency
// symbol, literal text and separate sections for positive, negative and zero
// values. The language and examples are in docs/pictures.md.
#include <cstdint>
#include <cstring>

#include "host/format_internal.h"
#include "host/host.h"

namespace xev::host {
namespace {

enum class Kind { kZeroDigit, kOptionalDigit, kPoint, kLiteral, kCurrency, kPercent };

struct Item {
  Kind kind;
  const char* text;  // kLiteral
  int32_t length;    // kLiteral
};

constexpr int32_t kMaxItems = 96;
constexpr int32_t kMaxSections = 3;

struct Section {
  Item items[kMaxItems];
  int32_t count = 0;
  int32_t integerDigits = 0;
  int32_t fractionDigits = 0;
  int32_t firstIntegerZero = -1;  // index among integer placeholders
  bool grouping = false;
  bool percent = false;
  bool hasPoint = false;
};

bool IsDigitPlaceholder(char c) { return c == '0' || c == '#'; }

bool Add(Section* s, Item item) {
  if (s->count == kMaxItems) return false;
  s->items[s->count++] = item;
  return true;
}

int32_t CharLength(const char* p) {
  return (HostIsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
}

// Reads one section up to ";" or the end. *p is left on the ";" or the end.
bool CompileSection(const char** cursor, Section* s) {
  const char* p = *cursor;
  while (*p != '\0' && *p != ';') {
    const char c = *p;
    if (c == '"' || c == '\'') {
      const char* end = p + 1;
      while (*end != '\0' && *end != c) end += CharLength(end);
      if (*end == '\0') return false;
      if (!Add(s, Item{Kind::kLiteral, p + 1, static_cast<int32_t>(end - p - 1)})) return false;
      p = end + 1;
    } else if (c == '\\') {
      if (p[1] == '\0') return false;
      const int32_t n = CharLength(p + 1);
      if (!Add(s, Item{Kind::kLiteral, p + 1, n})) return false;
      p += 1 + n;
    } else if (IsDigitPlaceholder(c)) {
      if (!Add(s, Item{c == '0' ? Kind::kZeroDigit : Kind::kOptionalDigit, nullptr, 0})) {
        return false;
      }
      if (s->hasPoint) {
        ++s->fractionDigits;
      } else {
        if (c == '0' && s->firstIntegerZero < 0) s->firstIntegerZero = s->integerDigits;
        ++s->integerDigits;
      }
      ++p;
    } else if (c == '.') {
      if (s->hasPoint) return false;
      s->hasPoint = true;
      if (!Add(s, Item{Kind::kPoint, nullptr, 0})) return false;
      ++p;
    } else if (c == ',' && s->integerDigits > 0 && !s->hasPoint) {
      s->grouping = true;
      ++p;
    } else if (c == '%') {
      s->percent = true;
      if (!Add(s, Item{Kind::kPercent, nullptr, 0})) return false;
      ++p;
    } else if (c == '$') {
      if (!Add(s, Item{Kind::kCurrency, nullptr, 0})) return false;
      ++p;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '1' && c <= '9')) {
      // Letters and digits other than 0 must be quoted, so that a code from
      // another picture language is refused instead of printed.
      return false;
    } else {
      const int32_t n = CharLength(p);
      if (!Add(s, Item{Kind::kLiteral, p, n})) return false;
      p += n;
    }
  }
  *cursor = p;
  return true;
}

struct Picture {
  Section sections[kMaxSections];
  int32_t count = 0;
};

bool CompilePicture(const char* picture, Picture* out) {
  if (picture == nullptr || *picture == '\0') return false;
  const char* p = picture;
  while (true) {
    if (out->count == kMaxSections) return false;
    if (!CompileSection(&p, &out->sections[out->count++])) return false;
    if (*p == '\0') break;
    ++p;  // the ";"
  }
  const Section& first = out->sections[0];
  return first.integerDigits + first.fractionDigits > 0;
}

constexpr int32_t kMaxIntegerDigits = 160;

// Places the integer digits over the section's integer placeholders: digits
// beyond the placeholders go with the first one, and a placeholder without a
// digit writes "0" for "0" (and every placeholder after the first "0") and
// nothing for "#".
struct IntegerLayout {
  char digits[kMaxIntegerDigits];
  int32_t length = 0;
  int32_t skipped = 0;  // leading placeholders that write nothing
};

bool LayoutInteger(const Section& s, const DecimalDigits& d, IntegerLayout* layout) {
  const int32_t minimum = s.firstIntegerZero < 0 ? 0 : s.integerDigits - s.firstIntegerZero;
  const int32_t padding = d.integerLength < minimum ? minimum - d.integerLength : 0;
  if (d.integerLength + padding > kMaxIntegerDigits) return false;
  for (int32_t i = 0; i < padding; ++i) layout->digits[layout->length++] = '0';
  std::memcpy(layout->digits + layout->length, d.integer, static_cast<size_t>(d.integerLength));
  layout->length += d.integerLength;
  layout->skipped = s.integerDigits > layout->length ? s.integerDigits - layout->length : 0;
  return true;
}

// The value a section writes: percent sections show a hundred times it.
bool ScaledForSection(const Section& s, const NumberValue* n, NumberValue* out) {
  *out = *n;
  if (!s.percent) return true;
  int128 coefficient = 0;
  int32_t exponent = 0;
  return NumberToParts(n, &coefficient, &exponent) &&
         NumberFromParts(out, coefficient, exponent + 2);
}

// The digits an integer placeholder writes: (first, count) into layout.digits.
void PlaceholderDigits(const Section& s, const IntegerLayout& layout, int32_t index,
                       int32_t* first, int32_t* count) {
  if (index < layout.skipped) {
    *first = 0;
    *count = 0;
    return;
  }
  const int32_t overflow = layout.length - (s.integerDigits - layout.skipped);
  if (index == layout.skipped) {
    *first = 0;
    *count = overflow + 1;
  } else {
    *first = overflow + (index - layout.skipped);
    *count = 1;
  }
}

bool WriteSection(const Section& s, const NumberValue* magnitude, bool minus,
                  const NumberStyle& style, TextSink* out) {
  NumberValue scaled{};
  if (!ScaledForSection(s, magnitude, &scaled)) return false;
  DecimalDigits d;
  if (!SplitNumber(&scaled, s.fractionDigits, &d)) return false;
  IntegerLayout layout;
  if (!LayoutInteger(s, d, &layout)) return false;

  bool mark[kMaxIntegerDigits] = {};
  if (s.grouping) GroupMarks(layout.length, style.grouping, mark);

  // Trailing "#" places of the fraction drop their zeros.
  int32_t fractionShown = s.fractionDigits;
  {
    int32_t place = s.fractionDigits;
    for (int32_t i = s.count - 1; i >= 0 && place > 0; --i) {
      const Kind k = s.items[i].kind;
      if (k == Kind::kZeroDigit) break;
      if (k != Kind::kOptionalDigit) continue;
      if (d.fraction[place - 1] != '0') break;
      --place;
      fractionShown = place;
    }
  }

  if (minus) out->Put('-');
  int32_t integerIndex = 0;
  int32_t fractionIndex = 0;
  bool afterPoint = false;
  for (int32_t i = 0; i < s.count; ++i) {
    const Item& item = s.items[i];
    switch (item.kind) {
      case Kind::kLiteral: out->Put(std::string_view(item.text, static_cast<size_t>(item.length))); break;
      case Kind::kCurrency: out->Put(style.currencySymbol); break;
      case Kind::kPercent: out->Put('%'); break;
      case Kind::kPoint:
        if (s.integerDigits == 0) out->Put(std::string_view(layout.digits, static_cast<size_t>(layout.length)));
        afterPoint = true;
        if (fractionShown > 0) out->Put(style.decimalPoint);
        break;
      case Kind::kZeroDigit:
      case Kind::kOptionalDigit:
        if (afterPoint) {
          if (fractionIndex < fractionShown) out->Put(d.fraction[fractionIndex]);
          ++fractionIndex;
        } else {
          int32_t first = 0;
          int32_t count = 0;
          PlaceholderDigits(s, layout, integerIndex++, &first, &count);
          for (int32_t k = first; k < first + count; ++k) {
            if (mark[k]) out->Put(style.thousandsSep);
            out->Put(layout.digits[k]);
          }
        }
        break;
    }
  }
  return true;
}

NumberStyle Resolve(const NumberStyle& style) {
  NumberStyle s = style;
  if (s.decimalPoint == nullptr || *s.decimalPoint == '\0') s.decimalPoint = ".";
  if (s.thousandsSep == nullptr || *s.thousandsSep == '\0') s.thousandsSep = ",";
  if (s.grouping == nullptr || *s.grouping == '\0') s.grouping = "\3";
  if (s.currencySymbol == nullptr || *s.currencySymbol == '\0') s.currencySymbol = "$";
  return s;
}

}  // namespace

bool IsValidNumberPicture(const char* picture) {
  Picture compiled;
  return CompilePicture(picture, &compiled);
}

bool WriteNumberByPicture(const char* picture, const NumberValue* n, const NumberStyle& style,
                          TextSink* out) {
  Picture compiled;
  if (!CompilePicture(picture, &compiled)) return false;
  if (NumberIsNull(n)) return true;
  const NumberStyle resolved = Resolve(style);
  NumberValue zero{};
  NumberSetZero(&zero);
  const bool negative = NumberCompare(n, &zero) < 0;
  NumberValue magnitude = *n;
  if (negative) NumberNegate(&magnitude);

  const Section& first = compiled.sections[0];
  if (NumberIsZero(n) && compiled.count == 3 && compiled.sections[2].count > 0) {
    return WriteSection(compiled.sections[2], &magnitude, false, resolved, out);
  }
  if (negative && compiled.count >= 2 && compiled.sections[1].count > 0) {
    return WriteSection(compiled.sections[1], &magnitude, false, resolved, out);
  }
  if (!negative) return WriteSection(first, &magnitude, false, resolved, out);
  // A negative value in the positive section gets a minus sign, unless it
  // rounds to zero at the section's places.
  NumberValue scaled{};
  DecimalDigits d;
  if (!ScaledForSection(first, n, &scaled) || !SplitNumber(&scaled, first.fractionDigits, &d)) {
    return false;
  }
  return WriteSection(first, &magnitude, d.negative, resolved, out);
}

int32_t MeasureNumberPicture(const char* picture, const NumberStyle& style) {
  Picture compiled;
  if (!CompilePicture(picture, &compiled)) return -1;
  const NumberStyle resolved = Resolve(style);
  // The widest output is that of the largest number a section can write, 22
  // nines times 10^78, negative, written by each section in turn: every
  // integer digit is written whatever the placeholders, and the fraction is
  // cut to the section's places. A percent section takes it a hundred times,
  // which leaves the Number range, so it is measured a hundred times smaller.
  // The buffer holds a hundred digits each behind the longest separator,
  // beside literal text and currency symbols.
  char buffer[4096];
  int32_t width = 0;
  for (int32_t exponent : {78, 76}) {
    NumberValue widest{};
    if (!NumberFromParts(&widest, -static_cast<int128>(9999999999999999999ULL) * 1000 - 999, exponent)) {
      return -1;
    }
    for (int32_t i = 0; i < compiled.count; ++i) {
      TextSink out(buffer, sizeof buffer);
      NumberValue magnitude = widest;
      NumberNegate(&magnitude);
      WriteSection(compiled.sections[i], &magnitude, i == 0, resolved, &out);
      if (out.length() > width) width = out.length();
    }
  }
  return width;
}

}  // namespace xev::host
