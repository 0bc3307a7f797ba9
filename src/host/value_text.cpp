// Conversions between texts, Numbers and DateTime values shared by the
// evaluator, the scanner and the built-in functions. Text results go into the
// caller's buffer of kTextBufferSize bytes; a failed output leaves it empty.
#include <charconv>
#include <cstring>

#include "host/decimal.h"
#include "host/values.h"
#include "xev/host_format.h"

namespace xev::host {
namespace {

void ClearText(char* text) {
  if (text != nullptr) text[0] = '\0';
}

FormatDesc DescriptorFor(int32_t kind, char* text, int32_t size = kTextBufferSize) {
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = kind;
  desc.output = text;
  desc.outputSize = size;
  return desc;
}

// A NULL date writes the empty string, which counts as success.
bool ReadDate(const NumberValue* date, DateParts* parts) {
  return date != nullptr && date->bytes[0] != 0 &&
         NumberToDateParts(&date->bytes[1], date->bytes[0], parts) != 0;
}

int32_t WriteNumber(FormatDesc* desc, const NumberValue* number) {
  if (number == nullptr) {
    ClearText(desc->output);
    return 0;
  }
  desc->number = *number;
  return FormatNumber(desc);
}

// A count of places a report asks of most numbers: a 64-bit coefficient with
// at most 19 decimals and up to 18 places, written from its integer as the
// general writer writes it (rounded half away from zero, no sign on a zero,
// "0" before the point of a fraction). false for every other number.
bool WritePlainFixed(const NumberValue* number, int32_t places, char* text) {
  if (number == nullptr || NumberIsNull(number) || places > 18) return false;
  const decimal::Decimal d = decimal::Load(number);
  if ((d.coef >> 64) != 0 || d.exp > 0 || d.exp < -19) return false;
  auto coef = static_cast<uint64_t>(d.coef);
  int32_t scale = -d.exp;
  if (scale > places) {
    const uint64_t unit = decimal::kPow10Narrow[scale - places];
    const bool up = coef % unit >= unit / 2;
    coef = coef / unit + (up ? 1 : 0);
    scale = places;
  }
  const uint64_t power = decimal::kPow10Narrow[scale];
  char* p = text;
  if (d.neg && coef != 0) *p++ = '-';
  p = std::to_chars(p, text + kTextBufferSize, coef / power).ptr;
  if (places == 0) {
    *p = '\0';
    return true;
  }
  *p++ = '.';
  char* const fraction = p;
  std::memset(fraction, '0', static_cast<size_t>(places));
  if (scale > 0) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, coef % power).ptr;
    const auto length = static_cast<size_t>(end - digits);
    std::memcpy(fraction + scale - static_cast<int32_t>(length), digits, length);
  }
  fraction[places] = '\0';
  return true;
}

}  // namespace

int32_t DateFromText(NumberValue* result, const char* text) {
  if (result == nullptr || text == nullptr) return 0;
  FormatDesc desc;
  FormatInit(&desc);
  desc.text = text;
  desc.kind = XEV_FORMAT_DATETIME;
  if (!FormatParse(&desc)) {
    desc.kind = XEV_FORMAT_TIME;
    if (!FormatParse(&desc)) return 0;
  }
  NumberValue value{};
  value.bytes[0] = DatePartsToNumber(&value.bytes[1], &desc.date);
  *result = value;
  return 1;
}

int32_t NumberFromText(NumberValue* result, const char* text) {
  if (result == nullptr) return 0;
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = XEV_FORMAT_NUMBER;
  desc.text = text;
  if (text == nullptr || !FormatParseNumber(&desc)) {
    NumberSetNull(result);
    NumberSetZero(result);
    return 0;
  }
  *result = desc.number;
  return 1;
}

int32_t DateToText(const NumberValue* date, char* text) {
  ClearText(text);
  if (text == nullptr) return 0;
  if (date == nullptr || date->bytes[0] == 0) return 1;
  FormatDesc desc = DescriptorFor(XEV_FORMAT_DATETIME, text);
  if (!ReadDate(date, &desc.date)) return 0;
  return FormatOutput(&desc);
}

int32_t DateToTextByPicture(const NumberValue* date, const char* picture, char* text) {
  ClearText(text);
  if (text == nullptr) return 0;
  if (date == nullptr || date->bytes[0] == 0) return 1;
  if (!FormatCheckPicture(picture)) return 0;
  FormatDesc desc = DescriptorFor(XEV_FORMAT_DATETIME, text);
  FormatUseLocale(&desc);
  desc.picture = picture;
  if (!ReadDate(date, &desc.date)) return 0;
  return FormatOutput(&desc);
}

int32_t NumberToTextByPicture(const NumberValue* number, const char* picture, char* text) {
  ClearText(text);
  if (text == nullptr) return 0;
  FormatDesc desc = DescriptorFor(XEV_FORMAT_PICTURE, text);
  desc.picture = picture;
  if (!FormatPreparePicture(&desc)) return 0;
  return WriteNumber(&desc, number);
}

int32_t NumberToTextFixed(const NumberValue* number, int32_t decimals, char* text) {
  ClearText(text);
  if (text == nullptr) return 0;
  // Negative place counts act as none, like every other count of the runtime.
  if (WritePlainFixed(number, decimals < 0 ? 0 : decimals, text)) return 1;
  FormatDesc desc = DescriptorFor(XEV_FORMAT_NUMBER, text);
  desc.decimals = decimals < 0 ? 0 : decimals;
  desc.useLocale = 0;
  return WriteNumber(&desc, number);
}

int32_t NumberToCountryText(const NumberValue* number, char* text) {
  ClearText(text);
  if (text == nullptr) return 0;
  FormatDesc desc = DescriptorFor(XEV_FORMAT_NUMBER, text);
  FormatUseLocale(&desc);
  return WriteNumber(&desc, number);
}

int32_t NumberToCurrencyText(const NumberValue* number, char* text) {
  ClearText(text);
  if (text == nullptr) return 0;
  FormatDesc desc = DescriptorFor(XEV_FORMAT_CURRENCY, text);
  FormatUseLocale(&desc);
  return WriteNumber(&desc, number);
}

int32_t RecognizeDateText(const char* text, char* output, const char* picture1,
                          const char* picture3, const char* picture2) {
  ClearText(output);
  if (text == nullptr) return 0;
  struct Form {
    int32_t kind;
    int32_t code;
    const char* picture;
  };
  const Form forms[3] = {{XEV_FORMAT_DATE, 8, picture1},
                         {XEV_FORMAT_DATETIME, 10, picture3},
                         {XEV_FORMAT_TIME, 9, picture2}};
  for (const Form& form : forms) {
    FormatDesc desc;
    FormatInit(&desc);
    desc.kind = form.kind;
    desc.text = text;
    if (!FormatParse(&desc)) continue;
    if (form.picture != nullptr && output != nullptr) {
      FormatUseLocale(&desc);
      desc.picture = form.picture;
      desc.output = output;
      desc.outputSize = kTextBufferSize;
      FormatOutput(&desc);
    }
    return form.code;
  }
  return 0;
}

}  // namespace xev::host
