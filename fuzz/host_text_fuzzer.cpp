// Feeds arbitrary bytes to the host runtime's text readers and writers: plain
// number texts, date and time texts of every kind, date and number pictures,
// with and without a locale, under a single- and a double-byte code page and
// UTF-8.
//
// Input: one control byte, then a text, a 0 byte, a picture, a 0 byte, and
// whatever follows as the raw material of date parts and a locale record.
//
// Beyond "no crash, no read or write outside a buffer", it checks the promises
// callers build on: accepted texts name real instants and read back to the same
// value, nothing is ever written past the size given, and FormatMeasure is wide
// enough for every date and number it is asked about.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "xev/xevhost.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Cuts the input into zero-terminated pieces so that every text handed to the
// runtime ends exactly where the sanitizer can see it end.
struct Input {
  uint8_t control = 0;
  std::string text;
  std::string picture;
  std::vector<uint8_t> rest;
};

Input Split(const uint8_t* data, size_t size) {
  Input in;
  in.control = data[0];
  size_t i = 1;
  while (i < size && data[i] != 0) in.text.push_back(static_cast<char>(data[i++]));
  ++i;
  while (i < size && data[i] != 0) in.picture.push_back(static_cast<char>(data[i++]));
  ++i;
  if (i < size) in.rest.assign(data + i, data + size);
  return in;
}

int32_t TakeInt(const std::vector<uint8_t>& bytes, size_t* at) {
  uint32_t value = 0;
  for (int k = 0; k < 4; ++k) {
    value = value << 8 | (*at < bytes.size() ? bytes[*at] : 0);
    ++*at;
  }
  return static_cast<int32_t>(value);
}

void TakeField(const std::vector<uint8_t>& bytes, size_t* at, char* field, size_t capacity) {
  const size_t length = *at < bytes.size() ? bytes[*at] % capacity : 0;
  ++*at;
  for (size_t k = 0; k < length; ++k) {
    const uint8_t c = *at < bytes.size() ? bytes[*at] : 'x';
    ++*at;
    field[k] = static_cast<char>(c == 0 ? ' ' : c);
  }
  field[length] = '\0';
}

// A heap buffer of exactly the size promised to the writer, so that a write
// one byte past it is caught.
struct Output {
  explicit Output(int32_t size) : bytes(new char[size > 0 ? size : 1]), size(size) {}
  ~Output() { delete[] bytes; }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  char* bytes;
  int32_t size;
};

void CheckWritten(const Output& out, int32_t ok) {
  if (out.size <= 0) return;
  const size_t length = strnlen(out.bytes, static_cast<size_t>(out.size));
  Check(length < static_cast<size_t>(out.size));
  if (!ok) Check(length == 0);
}

void NumberTexts(const Input& in) {
  NumberValue n{};
  if (!HostStrToNumber(&n, in.text.c_str())) return;
  char text[160];
  const int32_t length = HostNumberToStr(&n, text, sizeof text);
  Check(length >= 0 && length == static_cast<int32_t>(std::strlen(text)));
  NumberValue back{};
  Check(HostStrToNumber(&back, text) == 1);
  Check(NumberCompare(&n, &back) == 0);
  // Every smaller buffer is either enough or refused, never overrun.
  for (int32_t size = 0; size <= length + 1; size += 1 + size / 4) {
    Output small(size);
    const int32_t written = HostNumberToStr(&n, small.bytes, size);
    Check(written == (size > length ? length : -1));
  }
}

bool ValidInstant(const DateParts& p) {
  return p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= 31 && p.year >= 1 &&
         p.year <= 9999 && p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 &&
         p.second >= 0 && p.second <= 59 && p.fraction >= 0 && p.fraction <= 999999;
}

bool SameFields(const DateParts& a, const DateParts& b, int32_t kind) {
  const bool date = a.year == b.year && a.month == b.month && a.day == b.day;
  const bool time = a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
                    a.fraction == b.fraction;
  if (kind == XEV_FORMAT_DATE) return date;
  if (kind == XEV_FORMAT_TIME) return time;
  return date && time;
}

void DateTexts(const Input& in) {
  for (int32_t kind = XEV_FORMAT_DATE; kind <= XEV_FORMAT_DATETIME; ++kind) {
    FormatDesc desc;
    FormatInit(&desc);
    desc.kind = kind;
    desc.text = in.text.c_str();
    if (!FormatParse(&desc)) continue;
    Check(ValidInstant(desc.date));
    // The default form of each kind reads back to what was read.
    Output out(FormatMeasure(&desc, 0) + 1);
    desc.output = out.bytes;
    desc.outputSize = out.size;
    Check(FormatOutput(&desc) == 1);
    FormatDesc back;
    FormatInit(&back);
    back.kind = kind;
    back.text = out.bytes;
    Check(FormatParse(&back) == 1);
    Check(SameFields(desc.date, back.date, kind));
  }
}

DateParts PartsFrom(const Input& in, bool inRange) {
  size_t at = 0;
  DateParts p{TakeInt(in.rest, &at), TakeInt(in.rest, &at), TakeInt(in.rest, &at),
              TakeInt(in.rest, &at), TakeInt(in.rest, &at), TakeInt(in.rest, &at),
              TakeInt(in.rest, &at)};
  if (!inRange) return p;
  const auto wrap = [](int32_t v, int32_t low, int32_t count) {
    return low + static_cast<int32_t>(static_cast<uint32_t>(v) % static_cast<uint32_t>(count));
  };
  p.month = wrap(p.month, 1, 12);
  p.day = wrap(p.day, 1, 28);
  p.year = wrap(p.year, 1, 9999);
  p.hour = wrap(p.hour, 0, 24);
  p.minute = wrap(p.minute, 0, 60);
  p.second = wrap(p.second, 0, 60);
  p.fraction = wrap(p.fraction, 0, 1000000);
  return p;
}

void DatePictures(const Input& in) {
  const char* picture = in.picture.c_str();
  const bool accepted = FormatCheckPicture(picture) == 1;
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = XEV_FORMAT_DATE + in.control % 3;
  desc.picture = picture;
  const int32_t widest = FormatMeasure(&desc, 0);

  // A real instant always fits in the measured width.
  desc.date = PartsFrom(in, true);
  {
    Output out(widest + 1);
    desc.output = out.bytes;
    desc.outputSize = out.size;
    const int32_t ok = FormatOutput(&desc);
    CheckWritten(out, ok);
    if (accepted) Check(ok == 1);
  }
  // Wild parts are normalised first; whatever comes out must fit the buffer.
  desc.date = PartsFrom(in, false);
  Output out(static_cast<int32_t>(in.control % 64));
  desc.output = out.bytes;
  desc.outputSize = out.size;
  CheckWritten(out, FormatOutput(&desc));
}

void ChooseLocale(const Input& in, FormatDesc* desc) {
  switch (in.control >> 6) {
    case 0:
      return;
    case 1: {
      std::strcpy(desc->locale.decimalPoint, ",");
      std::strcpy(desc->locale.thousandsSep, ".");
      std::strcpy(desc->locale.grouping, "\3\2");
      std::strcpy(desc->locale.currencySymbol, "EUR");
      desc->locale.currencyPlacement = XEV_CURRENCY_AFTER_SPACE;
      desc->useLocale = 1;
      return;
    }
    case 2:
      FormatUseLocale(desc);
      return;
    default: {
      // Any bytes at all, as a careless host might set them.
      size_t at = 28;
      TakeField(in.rest, &at, desc->locale.decimalPoint, sizeof desc->locale.decimalPoint);
      TakeField(in.rest, &at, desc->locale.thousandsSep, sizeof desc->locale.thousandsSep);
      TakeField(in.rest, &at, desc->locale.grouping, sizeof desc->locale.grouping);
      TakeField(in.rest, &at, desc->locale.currencySymbol, sizeof desc->locale.currencySymbol);
      desc->locale.currencyPlacement = TakeInt(in.rest, &at);
      // The record promises 0 to 9 decimals; stray a little either side.
      desc->locale.currencyDigits = TakeInt(in.rest, &at) % 13 - 2;
      desc->useLocale = 1;
    }
  }
}

void NumberPictures(const Input& in) {
  FormatDesc desc;
  FormatInit(&desc);
  ChooseLocale(in, &desc);
  desc.text = in.text.c_str();
  desc.kind = XEV_FORMAT_NUMBER;
  if (!FormatParseNumber(&desc)) HostStrToNumber(&desc.number, "-1234567.891");

  desc.picture = in.picture.c_str();
  FormatPreparePicture(&desc);
  desc.decimals = static_cast<int32_t>(in.control % 12) - 1;
  for (int32_t kind = XEV_FORMAT_NUMBER; kind <= XEV_FORMAT_PICTURE; ++kind) {
    desc.kind = kind;
    const int32_t widest = FormatMeasure(&desc, 0);
    Check(widest >= 0 && widest < 4096);
    // Whatever any buffer takes fits in the measured width.
    {
      Output large(4096);
      desc.output = large.bytes;
      desc.outputSize = large.size;
      if (FormatNumber(&desc)) Check(static_cast<int32_t>(std::strlen(large.bytes)) <= widest);
    }
    for (int32_t size : {0, 1, 7, widest + 1, 400}) {
      Output out(size);
      desc.output = out.bytes;
      desc.outputSize = size;
      CheckWritten(out, FormatNumber(&desc));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const Input in = Split(data, size);
  HostSetCodePage(fuzz_support::CodePageOf((in.control & 0x20) != 0, (in.control & 0x30) == 0x30));
  NumberTexts(in);
  DateTexts(in);
  DatePictures(in);
  NumberPictures(in);
  HostSetCodePage(XEV_CP_WESTERN);
  return 0;
}
