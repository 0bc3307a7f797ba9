// The format operations of the host runtime: one descriptor, six kinds of
// conversion between values and text.
#include <cstdint>
#include <cstring>

#include "host/calendar.h"
#include "host/format_internal.h"
#include "host/host.h"
#include "xev/host_format.h"

namespace xev::host {
namespace {

bool IsDateKind(int32_t kind) {
  return kind == XEV_FORMAT_DATE || kind == XEV_FORMAT_TIME || kind == XEV_FORMAT_DATETIME;
}

bool HasPicture(const FormatDesc& desc) {
  return desc.picture != nullptr && desc.picture[0] != '\0';
}

const char* PointOf(const FormatDesc& desc) {
  return desc.useLocale && desc.locale.decimalPoint[0] != '\0' ? desc.locale.decimalPoint : ".";
}

NumberStyle StyleOf(const FormatDesc& desc) {
  if (!desc.useLocale) return NumberStyle{".", ",", "\3", desc.locale.currencySymbol};
  return NumberStyle{desc.locale.decimalPoint, desc.locale.thousandsSep, desc.locale.grouping,
                     desc.locale.currencySymbol};
}

void PutPlain(const FormatDesc& desc, const DecimalDigits& d, bool grouped, TextSink* out) {
  if (d.integerLength == 0) {
    out->Put('0');
  } else if (grouped) {
    PutGroupedDigits(std::string_view(d.integer, static_cast<size_t>(d.integerLength)),
                     desc.locale.thousandsSep, desc.locale.grouping, out);
  } else {
    out->Put(std::string_view(d.integer, static_cast<size_t>(d.integerLength)));
  }
  if (d.fractionLength > 0) {
    out->Put(PointOf(desc));
    out->Put(std::string_view(d.fraction, static_cast<size_t>(d.fractionLength)));
  }
}

// 1.2345E+99: for values whose plain digits would not fit.
bool PutScientific(const FormatDesc& desc, TextSink* out) {
  int128 coefficient = 0;
  int32_t exponent = 0;
  if (!NumberToParts(&desc.number, &coefficient, &exponent)) return false;
  if (coefficient < 0) {
    out->Put('-');
    coefficient = -coefficient;
  }
  char digits[48];
  int32_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + static_cast<int>(coefficient % 10));
    coefficient /= 10;
  } while (coefficient != 0);
  out->Put(digits[n - 1]);
  if (n > 1) {
    out->Put(PointOf(desc));
    for (int32_t i = n - 2; i >= 0; --i) out->Put(digits[i]);
  }
  int32_t power = exponent + n - 1;
  out->Put(power < 0 ? "E-" : "E+");
  if (power < 0) power = -power;
  char text[12];
  int32_t length = 0;
  do {
    text[length++] = static_cast<char>('0' + power % 10);
    power /= 10;
  } while (power != 0);
  while (length > 0) out->Put(text[--length]);
  return true;
}

int32_t WriteNumberKind(FormatDesc* desc) {
  const bool grouped = desc->useLocale != 0;
  DecimalDigits d;
  if (SplitNumber(&desc->number, desc->decimals, &d)) {
    TextSink out(desc->output, desc->outputSize);
    if (d.negative) out.Put('-');
    PutPlain(*desc, d, grouped, &out);
    if (out.Finish()) return 1;
  }
  if (desc->decimals >= 0) return 0;
  TextSink out(desc->output, desc->outputSize);
  return PutScientific(*desc, &out) && out.Finish() ? 1 : 0;
}

int32_t WriteCurrencyKind(FormatDesc* desc) {
  const XevLocale& locale = desc->locale;
  const int32_t places =
      locale.currencyDigits >= 0 && locale.currencyDigits <= 9 ? locale.currencyDigits : 2;
  DecimalDigits d;
  TextSink out(desc->output, desc->outputSize);
  if (!SplitNumber(&desc->number, places, &d)) return 0;
  const int32_t placement = locale.currencyPlacement;
  const bool before = placement == XEV_CURRENCY_BEFORE || placement == XEV_CURRENCY_BEFORE_SPACE;
  const bool space = placement == XEV_CURRENCY_BEFORE_SPACE || placement == XEV_CURRENCY_AFTER_SPACE;
  const bool hasSymbol = locale.currencySymbol[0] != '\0';
  if (d.negative) out.Put('-');
  if (before && hasSymbol) {
    out.Put(locale.currencySymbol);
    if (space) out.Put(' ');
  }
  PutPlain(*desc, d, desc->useLocale != 0, &out);
  if (!before && hasSymbol) {
    if (space) out.Put(' ');
    out.Put(locale.currencySymbol);
  }
  return out.Finish() ? 1 : 0;
}

int32_t NumberWidth(const FormatDesc& desc) {
  // The plain form is the widest the writers make: sign, up to kMaxPlainDigits
  // integer digits (9.9E+99 has a hundred) with at worst a separator between any
  // two, the point, and the decimals, of which "as many as needed" may take
  // kMaxPlainDigits (1.5E-99). Anything longer is refused or written in the
  // shorter exponent form.
  const int32_t separators =
      desc.useLocale ? (kMaxPlainDigits - 1) * static_cast<int32_t>(std::strlen(desc.locale.thousandsSep)) : 0;
  const int32_t currencyDigits = desc.locale.currencyDigits;
  const int32_t decimals = desc.kind == XEV_FORMAT_CURRENCY
                               ? (currencyDigits >= 0 && currencyDigits <= 9 ? currencyDigits : 2)
                           : desc.decimals >= 0 ? desc.decimals
                                                : kMaxPlainDigits;
  int32_t width =
      1 + kMaxPlainDigits + separators + static_cast<int32_t>(std::strlen(PointOf(desc))) + decimals;
  if (desc.kind == XEV_FORMAT_CURRENCY) width += 1 + static_cast<int32_t>(std::strlen(desc.locale.currencySymbol));
  return width;
}

}  // namespace
}  // namespace xev::host

using namespace xev::host;

extern "C" XEV_API void XEV_CALL FormatInit(FormatDesc* desc) {
  if (desc == nullptr) return;
  *desc = FormatDesc{};
  desc->kind = XEV_FORMAT_DATETIME;
  desc->decimals = -1;
  std::strcpy(desc->locale.decimalPoint, ".");
  std::strcpy(desc->locale.thousandsSep, ",");
  std::strcpy(desc->locale.grouping, "\3");
  std::strcpy(desc->locale.currencySymbol, "$");
  desc->locale.currencyPlacement = XEV_CURRENCY_BEFORE;
  desc->locale.currencyDigits = 2;
}

extern "C" XEV_API int32_t XEV_CALL FormatParse(FormatDesc* desc) {
  if (desc == nullptr) return 0;
  if (IsDateKind(desc->kind)) return ParseDateText(desc->text, desc->kind, &desc->date) ? 1 : 0;
  return FormatParseNumber(desc);
}

extern "C" XEV_API int32_t XEV_CALL FormatParseNumber(FormatDesc* desc) {
  if (desc == nullptr) return 0;
  // Without the locale only plain numbers are read, so that "1,5" is never
  // taken for fifteen.
  const bool local = desc->useLocale != 0;
  const char* point = local ? PointOf(*desc) : ".";
  const char* separator = local ? desc->locale.thousandsSep : "";
  const char* currency = local ? desc->locale.currencySymbol : "";
  return ParseNumberText(desc->text, point, separator, desc->locale.grouping, currency,
                         &desc->number)
             ? 1
             : 0;
}

extern "C" XEV_API int32_t XEV_CALL FormatOutput(FormatDesc* desc) {
  if (desc == nullptr) return 0;
  if (!IsDateKind(desc->kind)) return FormatNumber(desc);
  TextSink out(desc->output, desc->outputSize);
  DateParts parts{};
  if (!NormaliseParts(desc->date, &parts)) return 0;
  const char* picture = HasPicture(*desc) ? desc->picture : DefaultDatePicture(desc->kind);
  if (!WriteDateByPicture(picture, parts, &out)) {
    out.Finish();
    if (desc->output != nullptr && desc->outputSize > 0) desc->output[0] = '\0';
    return 0;
  }
  return out.Finish() ? 1 : 0;
}

extern "C" XEV_API int32_t XEV_CALL FormatNumber(FormatDesc* desc) {
  if (desc == nullptr) return 0;
  if (IsDateKind(desc->kind)) return FormatOutput(desc);
  TextSink out(desc->output, desc->outputSize);
  if (NumberIsNull(&desc->number)) {
    if (desc->kind == XEV_FORMAT_PICTURE && !IsValidNumberPicture(desc->picture)) return 0;
    return out.Finish() ? 1 : 0;
  }
  switch (desc->kind) {
    case XEV_FORMAT_NUMBER: return WriteNumberKind(desc);
    case XEV_FORMAT_CURRENCY: return WriteCurrencyKind(desc);
    case XEV_FORMAT_PICTURE: {
      const bool ok = WriteNumberByPicture(desc->picture, &desc->number, StyleOf(*desc), &out);
      if (!ok && desc->output != nullptr && desc->outputSize > 0) desc->output[0] = '\0';
      return out.Finish() && ok ? 1 : 0;
    }
    default: return 0;
  }
}

extern "C" XEV_API int32_t XEV_CALL FormatCheckPicture(const char* picture) {
  return IsValidDatePicture(picture) ? 1 : 0;
}

extern "C" XEV_API int32_t XEV_CALL FormatPreparePicture(FormatDesc* desc) {
  return desc != nullptr && IsValidNumberPicture(desc->picture) ? 1 : 0;
}

extern "C" XEV_API int32_t XEV_CALL FormatMeasure(const FormatDesc* desc, int32_t width) {
  if (desc == nullptr) return width;
  int32_t widest = -1;
  if (IsDateKind(desc->kind)) {
    widest = MeasureDatePicture(HasPicture(*desc) ? desc->picture : DefaultDatePicture(desc->kind));
  } else if (desc->kind == XEV_FORMAT_PICTURE) {
    widest = MeasureNumberPicture(desc->picture, StyleOf(*desc));
  } else if (desc->kind == XEV_FORMAT_NUMBER || desc->kind == XEV_FORMAT_CURRENCY) {
    widest = NumberWidth(*desc);
  }
  return widest > width ? widest : width;
}
