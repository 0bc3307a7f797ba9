// The data item callbacks of a table's copies: each reads its bound column at
// the row the evaluating thread is at, converting the value to the item's
// type. The binding is known to the callback itself (one callback per
// binding index), so a value costs no name lookup.
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "eval/column_reads.h"
#include "eval/evaluator.h"
#include "host/decimal.h"
#include "host/host.h"
#include "table/table.h"

namespace xev::table {
namespace {

constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int64_t kMicrosPerDay = kSecondsPerDay * kMicrosPerSecond;
// Decimal texts longer than this are no number anyone writes.
constexpr int64_t kMaxDecimalText = 127;
// Days beyond this distance from the epoch lie outside every calendar date.
constexpr double kMaxDays = 1e8;

bool IsNullRow(const XevColumn& column, int64_t row) {
  return column.nulls != nullptr && column.nulls[row] != 0;
}

// The bytes of a text column's row; false for offsets that do not make a span,
// and for a row holding a zero byte. Texts in the engine end at their first
// zero byte, so such a row could only reach a formula cut short: it is a value
// that cannot be read, as a span that is no span is.
bool TextAt(const XevColumn& column, int64_t row, const char** text, int64_t* length) {
  int64_t begin = column.offsets[row];
  int64_t end = column.offsets[row + 1];
  if (begin < 0 || end < begin || (column.values == nullptr && end > 0)) return false;
  *text = static_cast<const char*>(column.values) + begin;
  *length = end - begin;
  return *length == 0 || std::memchr(*text, 0, static_cast<size_t>(*length)) == nullptr;
}

template <typename T>
T FixedAt(const XevColumn& column, int64_t row) {
  T value;
  std::memcpy(&value, static_cast<const char*>(column.values) + row * static_cast<int64_t>(sizeof(T)), sizeof value);
  return value;
}

host::int128 Pow10(int32_t k) {
  host::int128 result = 1;
  while (k-- > 0) result *= 10;
  return result;
}

// A DateTime is held as microseconds over exponent -6, as the calendar makes
// it, so that equal instants have equal bytes whichever way they came in.
// Only nanoseconds that are not whole microseconds keep exponent -9.
bool DateFromUnits(NumberValue* out, int64_t units, int32_t scale, int32_t epochDay) {
  host::int128 epochUnits = static_cast<host::int128>(epochDay) * kSecondsPerDay * Pow10(scale);
  host::int128 total = epochUnits + units;
  if (scale == 9 && total % 1000 != 0) return host::NumberFromParts(out, total, -9);
  host::int128 micros = scale <= 6 ? total * Pow10(6 - scale) : total / 1000;
  return host::NumberFromParts(out, micros, -6);
}

// Whole days and the time of day in microseconds, rounded to the microsecond.
bool DateFromDays(NumberValue* out, double days, int32_t epochDay) {
  if (!(std::fabs(days) < kMaxDays)) return false;
  double whole = std::floor(days);
  int64_t micros = std::llround((days - whole) * static_cast<double>(kMicrosPerDay));
  host::int128 total = (static_cast<host::int128>(epochDay) + static_cast<int64_t>(whole)) * kMicrosPerDay + micros;
  return host::NumberFromParts(out, total, -6);
}

// Data doubles are mostly short decimals (amounts, rates). For those the
// decimal with the fewest fraction digits that reads back as the same double
// is the one the shortest text names, and it is found without writing the
// text. Below 2^49 a unit in the last place of the scaled value stays under
// 1/8, so at most one integer can read back. Whole numbers ending in zeros
// are left to the text, which may write them with an exponent.
constexpr double kShortPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr int32_t kShortDecimals = 16;

enum class Short { kFound, kNext, kNone };

// x rounded to a whole number as nearbyint rounds it, for |x| below 2^51:
// adding 1.5 * 2^52 leaves no bits below the units, so the sum is rounded
// there (in the current rounding mode) and the difference is exact. Without
// an instruction for it in the base instruction set, nearbyint is a call.
// Where sums are held wider than a double (x87), the sum would not be
// rounded, and nearbyint stays.
inline double RoundToWhole(double x) {
#if FLT_EVAL_METHOD == 0
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  return (x + kShift) - kShift;  // not folded: the library is built without fast-math
#else
  return std::nearbyint(x);
#endif
}

// A short decimal written as 13 bytes, or loaded for a plan.
inline void Put(NumberValue* out, uint64_t magnitude, int32_t exp, bool neg) {
  host::decimal::Store(out, magnitude, exp, neg);
}
inline void Put(host::decimal::Decimal* out, uint64_t magnitude, int32_t exp, bool neg) {
  host::decimal::Set(*out, magnitude, exp, neg);
}

// value at k fraction digits: found, try k + 1, or no short decimal at all.
template <typename Out>
inline Short ShortDecimalAt(double value, int32_t k, Out* out) {
  constexpr double kLimit = 562949953421312.0;  // 2^49
  double scaled = value * kShortPow10[k];
  if (!(std::fabs(scaled) < kLimit)) return Short::kNone;
  double whole = RoundToWhole(scaled);
  if (whole / kShortPow10[k] != value) return Short::kNext;
  auto digits = static_cast<int64_t>(whole);
  if (digits % 10 == 0) return Short::kNone;
  const bool neg = digits < 0;
  Put(out, neg ? uint64_t(0) - uint64_t(digits) : uint64_t(digits), -k, neg);
  return Short::kFound;
}

// decimals: the count to try first, then the count found. A value found at
// that count with a last digit other than zero is what the search from 0
// finds: had a smaller count read back, its integer times a power of ten
// would read back here too, and at most one integer does, so it would end in
// zero.
template <typename Out>
bool ShortDecimal(double value, Out* out, int32_t& decimals) {
  if (ShortDecimalAt(value, decimals, out) == Short::kFound) return true;
  for (int32_t k = 0; k < kShortDecimals; ++k) {
    Short found = ShortDecimalAt(value, k, out);
    if (found == Short::kNext) continue;
    if (found == Short::kFound) decimals = k;
    return found == Short::kFound;
  }
  return false;
}

bool NumberFromText(NumberValue* out, const char* text, int64_t length) {
  if (length > kMaxDecimalText) return false;
  char buffer[kMaxDecimalText + 1];
  std::memcpy(buffer, text, static_cast<size_t>(length));
  buffer[length] = '\0';
  return HostStrToNumber(out, buffer) == 1;
}

// The Number of an int64 or double column's row, the double tried at
// decimals fraction digits first; false for "no value".
int32_t ConvertPlain(const XevColumn& column, int64_t row, NumberValue* out, int32_t& decimals) {
  if (IsNullRow(column, row)) {
    NumberSetNull(out);
    return 1;
  }
  if (column.kind == XEV_COLUMN_INT64) {
    LongToNumber(out, FixedAt<int64_t>(column, row));
    return 1;
  }
  double value = FixedAt<double>(column, row);
  if (std::isnan(value)) {
    NumberSetNull(out);
    return 1;
  }
  return ShortDecimal(value, out, decimals) || DoubleToNumber(out, value) == 1 ? 1 : 0;
}

// The Number or DateTime in the column's row; false for "no value".
bool ConvertNumber(const XevColumn& column, int64_t row, NumberValue* out) {
  if (IsNullRow(column, row)) {
    NumberSetNull(out);
    return true;
  }
  switch (column.kind) {
    case XEV_COLUMN_INT64: LongToNumber(out, FixedAt<int64_t>(column, row)); return true;
    case XEV_COLUMN_DOUBLE: {
      double value = FixedAt<double>(column, row);
      if (std::isnan(value)) {
        NumberSetNull(out);
        return true;
      }
      return NumberFromDouble(out, value);
    }
    case XEV_COLUMN_DECIMAL_TEXT: {
      const char* text = nullptr;
      int64_t length = 0;
      if (!TextAt(column, row, &text, &length)) return false;
      if (length == 0) {
        NumberSetNull(out);
        return true;
      }
      return NumberFromText(out, text, length);
    }
    case XEV_COLUMN_NUMBER:
      std::memcpy(out, static_cast<const char*>(column.values) + row * XEV_NUMBER_SIZE, XEV_NUMBER_SIZE);
      return true;
    case XEV_COLUMN_TIME:
      return DateFromUnits(out, FixedAt<int64_t>(column, row), column.scale, column.epochDay);
    case XEV_COLUMN_DAYS: {
      double days = FixedAt<double>(column, row);
      if (std::isnan(days)) {
        NumberSetNull(out);
        return true;
      }
      return DateFromDays(out, days, column.epochDay);
    }
    default: return false;
  }
}

int32_t DeliverNumber(const RowCursor& cursor, int32_t index, void** result) {
  CachedValue& cached = cursor.cache[index];
  if (cached.row != cursor.row) {
    cached.answered = ConvertNumber(cursor.columns[index], cursor.row, &cached.number);
    cached.row = cursor.row;
  }
  if (!cached.answered) return 0;
  std::memcpy(*result, &cached.number, XEV_NUMBER_SIZE);
  return 1;
}

// A text row into the result block, grown when it is too small.
int32_t DeliverText(const RowCursor& cursor, int32_t index, int32_t size, void** result) {
  const XevColumn& column = cursor.columns[index];
  const char* text = "";
  int64_t length = 0;
  if (!IsNullRow(column, cursor.row) && !TextAt(column, cursor.row, &text, &length)) return 0;
  if (length >= INT32_MAX) return eval::NoteMemoryShort();  // more than any block holds
  if (length + 1 > size) {
    void* grown = HostRealloc(*result, static_cast<size_t>(length) + 1);
    if (grown == nullptr) return eval::NoteMemoryShort();
    *result = grown;
  }
  auto* target = static_cast<char*>(*result);
  std::memcpy(target, text, static_cast<size_t>(length));
  target[length] = '\0';
  return 1;
}

// The copy's cursor knows the columns and the row; the column's kind tells
// a text from a Number or DateTime, as binding checked it against the item.
int32_t Deliver(ExprContext* ec, int32_t index, int32_t size, void** result) {
  const auto* cursor = static_cast<const RowCursor*>(ec->tableRows);
  if (cursor == nullptr || index >= cursor->bindingCount || result == nullptr || *result == nullptr) return 0;
  const XevColumn& column = cursor->columns[index];
  if (column.kind == XEV_COLUMN_STRING) return DeliverText(*cursor, index, size, result);
  if (column.kind == XEV_COLUMN_NUMBER && column.nulls == nullptr) {
    std::memcpy(*result, static_cast<const char*>(column.values) + cursor->row * XEV_NUMBER_SIZE, XEV_NUMBER_SIZE);
    return 1;
  }
  // Integers and short doubles cost less to convert again than to copy
  // through the row's cache twice.
  if (column.kind == XEV_COLUMN_INT64 || column.kind == XEV_COLUMN_DOUBLE) {
    return ConvertPlain(column, cursor->row, static_cast<NumberValue*>(*result), cursor->cache[index].decimals);
  }
  return DeliverNumber(*cursor, index, result);
}

template <int32_t Index>
int32_t XEV_CALL DirectCallback(ExprContext* ec, HEXP, int32_t size, void** result, const char*) {
  return Deliver(ec, Index, size, result);
}

// Bindings past the direct callbacks are found by name, in name order.
int32_t XEV_CALL NamedCallback(ExprContext* ec, HEXP, int32_t size, void** result, const char* name) {
  const auto* cursor = static_cast<const RowCursor*>(ec->tableRows);
  if (cursor == nullptr || name == nullptr) return 0;
  int32_t low = 0, high = cursor->bindingCount;
  while (low < high) {
    int32_t middle = (low + high) / 2;
    int32_t index = cursor->byName[middle];
    int order = std::strcmp(cursor->bindings[index].name, name);
    if (order == 0) return Deliver(ec, index, size, result);
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return 0;
}

template <int32_t... Indexes>
constexpr auto MakeDirectCallbacks(std::integer_sequence<int32_t, Indexes...>) {
  return std::array<XEVDataItemCallback, sizeof...(Indexes)>{&DirectCallback<Indexes>...};
}

const auto kCallbacks = MakeDirectCallbacks(std::make_integer_sequence<int32_t, kDirectCallbacks>());

// The binding a direct callback reads; the ones found by name are asked.
int32_t ColumnOfCallback(XEVDataItemCallback callback) {
  for (int32_t index = 0; index < kDirectCallbacks; ++index) {
    if (kCallbacks[static_cast<size_t>(index)] == callback) return index;
  }
  return -1;
}

// An int64 or double column read for a plan as Deliver gives it, loaded as
// the 13 bytes Deliver writes would load; the other kinds (a host's
// NumberValue bytes go to the plan as they are) are asked.
eval::ColumnRead ReadForPlan(const ExprContext* ec, int32_t index, host::decimal::Decimal& out) {
  namespace dec = host::decimal;
  const auto* cursor = static_cast<const RowCursor*>(ec->tableRows);
  if (cursor == nullptr || index >= cursor->bindingCount) return eval::ColumnRead::kAsk;
  const XevColumn& column = cursor->columns[index];
  if (column.kind != XEV_COLUMN_INT64 && column.kind != XEV_COLUMN_DOUBLE) return eval::ColumnRead::kAsk;
  if (IsNullRow(column, cursor->row)) {
    dec::Set(out, 0, dec::kNullExponent, false);
    return eval::ColumnRead::kValue;
  }
  if (column.kind == XEV_COLUMN_INT64) {
    const auto value = FixedAt<int64_t>(column, cursor->row);
    const bool neg = value < 0;
    dec::Set(out, neg ? uint64_t(0) - uint64_t(value) : uint64_t(value), 0, neg);
    return eval::ColumnRead::kValue;
  }
  const auto value = FixedAt<double>(column, cursor->row);
  if (std::isnan(value)) {
    dec::Set(out, 0, dec::kNullExponent, false);
    return eval::ColumnRead::kValue;
  }
  if (ShortDecimal(value, &out, cursor->cache[index].decimals)) return eval::ColumnRead::kValue;
  NumberValue number;
  if (DoubleToNumber(&number, value) != 1) return eval::ColumnRead::kNoValue;
  dec::LoadOrNull(out, &number);
  return eval::ColumnRead::kValue;
}

// The rows of a block as ReadForPlan and the callback give them one by one.
template <typename Read>
void ReadRows(const XevColumn& column, int64_t first, int32_t count, host::decimal::Decimal* out, uint8_t* missing,
              Read&& read) {
  namespace dec = host::decimal;
  for (int32_t i = 0; i < count; ++i) {
    if (IsNullRow(column, first + i)) {
      dec::Set(out[i], 0, dec::kNullExponent, false);
    } else if (!read(first + i, out[i])) {
      dec::Set(out[i], 0, 0, false);
      missing[i] = 1;
    }
  }
}

// A decimal text row the shortcut reads; the others (empty, no span, not
// plain) take ConvertNumber.
inline bool PlainDecimalAt(const XevColumn& column, int64_t row, host::decimal::Decimal& value) {
  const int64_t begin = column.offsets[row], end = column.offsets[row + 1];
  return begin >= 0 && end > begin && LoadPlainDecimal(static_cast<const char*>(column.values) + begin, end - begin, value);
}

bool ReadBlockForPlan(const ExprContext* ec, int32_t index, int64_t first, int32_t count, host::decimal::Decimal* out,
                      uint8_t* missing, NumberValue* bytes) {
  namespace dec = host::decimal;
  const auto* cursor = static_cast<const RowCursor*>(ec->tableRows);
  if (cursor == nullptr || index >= cursor->bindingCount) return false;
  const XevColumn& column = cursor->columns[index];
  if (column.kind == XEV_COLUMN_STRING) return false;
  if (column.kind == XEV_COLUMN_INT64) {
    ReadRows(column, first, count, out, missing, [&](int64_t row, dec::Decimal& value) {
      const auto integer = FixedAt<int64_t>(column, row);
      const bool neg = integer < 0;
      dec::Set(value, neg ? uint64_t(0) - uint64_t(integer) : uint64_t(integer), 0, neg);
      return true;
    });
    for (int32_t i = 0; bytes != nullptr && i < count; ++i) dec::StoreOrNull(&bytes[i], out[i]);
    return true;
  }
  if (column.kind == XEV_COLUMN_DOUBLE) {
    int32_t& decimals = cursor->cache[index].decimals;
    ReadRows(column, first, count, out, missing, [&](int64_t row, dec::Decimal& value) {
      const auto real = FixedAt<double>(column, row);
      if (std::isnan(real)) {
        dec::Set(value, 0, dec::kNullExponent, false);
        return true;
      }
      if (ShortDecimal(real, &value, decimals)) return true;
      NumberValue number;
      if (DoubleToNumber(&number, real) != 1) return false;
      dec::LoadOrNull(value, &number);
      return true;
    });
    for (int32_t i = 0; bytes != nullptr && i < count; ++i) dec::StoreOrNull(&bytes[i], out[i]);
    return true;
  }
  if (column.kind == XEV_COLUMN_NUMBER) {  // the host's 13 bytes, passed on as they are
    const auto* numbers = static_cast<const NumberValue*>(column.values);
    ReadRows(column, first, count, out, missing, [&](int64_t row, dec::Decimal& value) {
      dec::LoadOrNull(value, &numbers[row]);
      if (bytes != nullptr) bytes[row - first] = numbers[row];
      return true;
    });
    for (int32_t i = 0; bytes != nullptr && i < count; ++i) {
      if (IsNullRow(column, first + i)) NumberSetNull(&bytes[i]);
    }
    return true;
  }
  const bool decimalText = column.kind == XEV_COLUMN_DECIMAL_TEXT && column.values != nullptr;
  ReadRows(column, first, count, out, missing, [&](int64_t row, dec::Decimal& value) {
    if (decimalText && PlainDecimalAt(column, row, value)) {
      if (bytes != nullptr) dec::StoreOrNull(&bytes[row - first], value);
      return true;
    }
    NumberValue number;
    if (!ConvertNumber(column, row, &number)) return false;
    dec::LoadOrNull(value, &number);
    if (bytes != nullptr) bytes[row - first] = number;
    return true;
  });
  // A NULL row's bytes, as the callback writes them.
  for (int32_t i = 0; bytes != nullptr && i < count; ++i) {
    if (IsNullRow(column, first + i)) NumberSetNull(&bytes[i]);
  }
  return true;
}

}  // namespace

bool LoadPlainDecimal(const char* text, int64_t length, host::decimal::Decimal& out) {
  const char* end = text + length;
  bool neg = false;
  if (text < end && (*text == '-' || *text == '+')) neg = *text++ == '-';
  uint64_t coefficient = 0;
  int32_t digits = 0, fraction = 0;
  bool point = false;
  for (; text < end; ++text) {
    const auto digit = static_cast<unsigned>(static_cast<unsigned char>(*text) - '0');
    if (digit <= 9) {
      if (++digits > kPlainDigits) return false;
      coefficient = coefficient * 10 + digit;
      fraction += point ? 1 : 0;
    } else if (*text == '.' && !point) {
      point = true;
    } else {
      return false;  // an exponent, a blank, a second point: the general reading
    }
  }
  if (digits == 0) return false;
  // Zero is always coefficient 0, exponent 0, positive, as the reading rounds it.
  if (coefficient == 0) neg = false;
  host::decimal::Set(out, coefficient, coefficient == 0 ? 0 : -fraction, neg);
  return true;
}

namespace {

// A String column's rows as DeliverText gives them: a NULL row is the empty
// text, a row that is no text has no value.
bool ReadTextsForPlan(const ExprContext* ec, int32_t index, int64_t first, int32_t count, eval::BlockArena& arena,
                      const char** out, size_t* lengths, uint8_t* missing) {
  const auto* cursor = static_cast<const RowCursor*>(ec->tableRows);
  if (cursor == nullptr || index >= cursor->bindingCount) return false;
  const XevColumn& column = cursor->columns[index];
  if (column.kind != XEV_COLUMN_STRING) return false;
  for (int32_t i = 0; i < count; ++i) {
    const char* text = "";
    int64_t length = 0;
    out[i] = "";
    lengths[i] = 0;
    if ((!IsNullRow(column, first + i) && !TextAt(column, first + i, &text, &length)) || length >= INT32_MAX) {
      missing[i] = 1;  // no value, or more than the callback's block holds
      continue;
    }
    const char* copy = length == 0 ? "" : eval::ArenaCopy(arena, text, static_cast<size_t>(length));
    if (copy == nullptr) {
      missing[i] = 1;
      continue;
    }
    out[i] = copy;
    lengths[i] = static_cast<size_t>(length);
  }
  return true;
}

constexpr eval::ColumnReaders kReaders{&ColumnOfCallback, &ReadForPlan, &ReadBlockForPlan, &ReadTextsForPlan};

}  // namespace

bool NumberFromDouble(NumberValue* out, double value) {
  int32_t decimals = 0;
  return ShortDecimal(value, out, decimals) || DoubleToNumber(out, value) == 1;
}


void RegisterColumnReaders() { eval::SetColumnReaders(&kReaders); }

intptr_t ColumnCallback(int32_t index) {
  XEVDataItemCallback callback = index < kDirectCallbacks ? kCallbacks[static_cast<size_t>(index)] : &NamedCallback;
  return reinterpret_cast<intptr_t>(callback);
}

bool KindFeedsType(int32_t kind, int32_t type) {
  switch (kind) {
    case XEV_COLUMN_INT64:
    case XEV_COLUMN_DOUBLE:
    case XEV_COLUMN_DECIMAL_TEXT: return type == XEV_TYPE_NUMBER;
    case XEV_COLUMN_NUMBER: return type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME;
    case XEV_COLUMN_TIME:
    case XEV_COLUMN_DAYS: return type == XEV_TYPE_DATETIME;
    case XEV_COLUMN_STRING: return type == XEV_TYPE_STRING || type >= XEV_TYPE_KEYWORD;
    default: return false;
  }
}

bool ColumnUsable(const XevColumn& column, int64_t rowCount) {
  if (column.kind == XEV_COLUMN_TIME && column.scale != 0 && column.scale != 3 && column.scale != 6 &&
      column.scale != 9)
    return false;
  if (rowCount == 0) return true;
  bool text = column.kind == XEV_COLUMN_DECIMAL_TEXT || column.kind == XEV_COLUMN_STRING;
  return text ? column.offsets != nullptr : column.values != nullptr;
}

}  // namespace xev::table
