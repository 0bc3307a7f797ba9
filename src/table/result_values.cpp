// Turning each row's value into the form its result column asks for.
#include "table/result_values.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "host/host.h"
#include "table/table.h"

namespace xev::table {
namespace {

constexpr size_t kFirstTextBlock = 256;
constexpr int32_t kNumberTextSize = 32;
// A row without a value in an XEV_RESULT_TIME column: the smallest int64_t,
// which hosts commonly read as "not a time".
constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();

bool IsNumberType(int32_t type) { return type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME; }

// Blocks of at least one byte, so that an empty result still has its arrays.
void* AllocateRows(size_t bytesPerRow, int64_t rows) {
  return HostAlloc(bytesPerRow * static_cast<size_t>(rows > 0 ? rows : 1));
}

bool Append(ShareColumn& column, const char* text, size_t length) {
  if (length == 0) return true;  // an empty text adds nothing, and there may be no block yet
  size_t needed = static_cast<size_t>(column.byteCount) + length;
  size_t room = column.bytes == nullptr ? 0 : HostBlockSize(column.bytes);
  if (needed > room) {
    size_t grown = room < kFirstTextBlock ? kFirstTextBlock : room;
    while (grown < needed) grown *= 2;
    void* block = HostRealloc(column.bytes, grown);
    if (block == nullptr) return false;
    column.bytes = static_cast<char*>(block);
  }
  std::memcpy(column.bytes + column.byteCount, text, length);
  column.byteCount += static_cast<int64_t>(length);
  return true;
}

bool WriteText(ShareColumn& column, int64_t slot, const eval::Value* value) {
  bool ok = true;
  if (value != nullptr && value->kind == eval::Value::kText) {
    ok = Append(column, value->text, std::strlen(value->text));
  } else if (value != nullptr && !NumberIsNull(&value->number)) {
    char text[kNumberTextSize];
    int32_t length = HostNumberToStr(&value->number, text, sizeof text);
    ok = length < 0 || Append(column, text, static_cast<size_t>(length));
  }
  column.offsets[slot + 1] = column.byteCount;
  return ok;
}

// Seconds since the epoch's start as units of 10^-scale, rounded down and
// held to the int64_t range (short of the no-time mark).
int64_t TimeUnits(const NumberValue& date, const ResultShape& shape) {
  constexpr int64_t kHighest = std::numeric_limits<int64_t>::max();
  constexpr int64_t kLowest = kNoTime + 1;
  NumberValue since{};
  host::int128 coefficient = 0;
  int32_t exponent = 0;
  if (NumberSub(&since, &date, &shape.epoch) != 1 || !host::NumberToParts(&since, &coefficient, &exponent))
    return kNoTime;
  int32_t shift = exponent + shape.scale;
  for (; shift > 0; --shift) {
    coefficient *= 10;
    if (coefficient > kHighest) return kHighest;
    if (coefficient < kLowest) return kLowest;
  }
  for (; shift < 0 && coefficient != 0; ++shift) {
    host::int128 quotient = coefficient / 10;
    if (coefficient % 10 != 0 && coefficient < 0) --quotient;
    coefficient = quotient;
    if (coefficient == -1) break;  // stays -1 however far it is cut
  }
  if (coefficient > kHighest) return kHighest;
  if (coefficient < kLowest) return kLowest;
  return static_cast<int64_t>(coefficient);
}

double Days(const NumberValue& date, const ResultShape& shape) {
  NumberValue since{};
  double seconds = 0;
  if (NumberSub(&since, &date, &shape.epoch) != 1 || NumberToDouble(&since, &seconds) != 1) return std::nan("");
  return seconds / static_cast<double>(kSecondsPerDay);
}

void WriteFixed(const ResultShape& shape, ShareColumn& column, int64_t slot, const NumberValue* number) {
  unsigned char* target = column.values + slot * shape.width;
  switch (shape.kind) {
    case XEV_RESULT_NUMBER: {
      NumberValue value{};
      if (number != nullptr) value = *number;
      std::memcpy(target, &value, XEV_NUMBER_SIZE);
      return;
    }
    case XEV_RESULT_DOUBLE: {
      double value = std::nan("");
      if (number != nullptr && shape.type == XEV_TYPE_DATETIME) {
        value = Days(*number, shape);
      } else if (number != nullptr) {
        NumberToDouble(number, &value);
      }
      std::memcpy(target, &value, sizeof value);
      return;
    }
    default: {
      int64_t value = number != nullptr ? TimeUnits(*number, shape) : kNoTime;
      std::memcpy(target, &value, sizeof value);
      return;
    }
  }
}

}  // namespace

bool ShapeResult(const XevResult& result, int32_t type, ResultShape& shape) {
  shape = ResultShape{};
  shape.type = type;
  shape.kind = result.kind;
  shape.scale = result.scale;
  if (type != XEV_TYPE_NUMBER && type != XEV_TYPE_DATETIME && type != XEV_TYPE_STRING) return false;
  if (shape.kind == XEV_RESULT_NATURAL) shape.kind = IsNumberType(type) ? XEV_RESULT_NUMBER : XEV_RESULT_TEXT;
  LongToNumber(&shape.epoch, static_cast<int64_t>(result.epochDay) * kSecondsPerDay);
  switch (shape.kind) {
    case XEV_RESULT_NUMBER: shape.width = XEV_NUMBER_SIZE; return IsNumberType(type);
    case XEV_RESULT_DOUBLE: shape.width = sizeof(double); return IsNumberType(type);
    case XEV_RESULT_TEXT: return true;
    case XEV_RESULT_TIME:
      shape.width = sizeof(int64_t);
      return type == XEV_TYPE_DATETIME && (shape.scale == 0 || shape.scale == 3 || shape.scale == 6 || shape.scale == 9);
    default: return false;
  }
}

bool AllocateShareColumn(const ResultShape& shape, int64_t rows, ShareColumn& column) {
  column = ShareColumn{};
  column.status = static_cast<uint8_t*>(AllocateRows(1, rows));
  if (shape.width > 0) {
    column.values = static_cast<unsigned char*>(AllocateRows(static_cast<size_t>(shape.width), rows));
    return column.status != nullptr && column.values != nullptr;
  }
  column.offsets = static_cast<int64_t*>(AllocateRows(sizeof(int64_t), rows + 1));
  return column.status != nullptr && column.offsets != nullptr;
}

void ReleaseShareColumn(ShareColumn& column) {
  HostFree(column.values);
  HostFree(column.status);
  HostFree(column.offsets);
  HostFree(column.bytes);
  column = ShareColumn{};
}

bool WriteRow(const ResultShape& shape, ShareColumn& column, int64_t slot, const eval::Value* value) {
  const NumberValue* number = nullptr;
  uint8_t status = XEV_ROW_NO_VALUE;
  if (value != nullptr) {
    bool isNumber = value->kind == eval::Value::kNumber;
    status = isNumber && NumberIsNull(&value->number) ? XEV_ROW_NULL : XEV_ROW_VALUE;
    if (status == XEV_ROW_VALUE && isNumber) number = &value->number;
  }
  column.status[slot] = status;
  if (shape.width == 0) return WriteText(column, slot, value);
  WriteFixed(shape, column, slot, number);
  return true;
}

bool WriteHeldRows(const ResultShape& shape, ShareColumn& column, int64_t slot, const eval::BlockColumn& held,
                   const int32_t* rows, int32_t count) {
  const bool text = held.texts != nullptr;
  if (text == (shape.type != XEV_TYPE_STRING)) {
    for (int32_t k = 0; k < count; ++k) {
      if (!WriteRow(shape, column, slot + k, nullptr)) return false;
    }
    return true;
  }
  // The common shapes without a value made for each row: a Number's 13
  // bytes (a NULL as zeros), a text appended.
  if (shape.kind == XEV_RESULT_NUMBER) {
    for (int32_t k = 0; k < count; ++k) {
      const NumberValue& number = held.numbers[rows[k]];
      const bool null = NumberIsNull(&number) != 0;
      NumberValue value{};
      if (!null) value = number;
      column.status[slot + k] = null ? XEV_ROW_NULL : XEV_ROW_VALUE;
      std::memcpy(column.values + (slot + k) * shape.width, &value, XEV_NUMBER_SIZE);
    }
    return true;
  }
  if (text && shape.width == 0) {
    for (int32_t k = 0; k < count; ++k) {
      const char* row = held.texts[rows[k]];
      column.status[slot + k] = XEV_ROW_VALUE;
      if (!Append(column, row, held.lengths[rows[k]])) return false;
      column.offsets[slot + k + 1] = column.byteCount;
    }
    return true;
  }
  for (int32_t k = 0; k < count; ++k) {
    eval::Value value;
    value.number = held.numbers[rows[k]];
    value.kind = eval::Value::kNumber;
    if (!WriteRow(shape, column, slot + k, &value)) return false;
  }
  return true;
}

bool JoinColumn(const ResultShape& shape, ShareColumn* const* parts, const int64_t* counts, int32_t partCount,
                int64_t total, XevResult& out) {
  out.type = shape.type;
  out.rowCount = total;
  if (partCount == 1) {
    ShareColumn& part = *parts[0];
    if (shape.width == 0 && part.bytes == nullptr) part.bytes = static_cast<char*>(AllocateRows(1, 0));
    if (shape.width == 0 && part.bytes == nullptr) return false;
    out.status = part.status;
    out.values = shape.width > 0 ? static_cast<void*>(part.values) : static_cast<void*>(part.bytes);
    out.offsets = part.offsets;
    part = ShareColumn{};
    return true;
  }
  out.status = static_cast<uint8_t*>(AllocateRows(1, total));
  if (shape.width > 0) {
    out.values = AllocateRows(static_cast<size_t>(shape.width), total);
  } else {
    int64_t bytes = 0;
    for (int32_t p = 0; p < partCount; ++p) bytes += parts[p]->byteCount;
    out.values = AllocateRows(1, bytes);
    out.offsets = static_cast<int64_t*>(AllocateRows(sizeof(int64_t), total + 1));
  }
  if (out.status == nullptr || out.values == nullptr || (shape.width == 0 && out.offsets == nullptr)) return false;
  int64_t row = 0;
  int64_t byte = 0;
  for (int32_t p = 0; p < partCount; ++p) {
    const ShareColumn& part = *parts[p];
    int64_t count = counts[p];
    if (count == 0) continue;
    std::memcpy(out.status + row, part.status, static_cast<size_t>(count));
    if (shape.width > 0) {
      std::memcpy(static_cast<unsigned char*>(out.values) + row * shape.width, part.values,
                  static_cast<size_t>(count * shape.width));
    } else {
      for (int64_t i = 0; i < count; ++i) out.offsets[row + i + 1] = byte + part.offsets[i + 1];
      if (part.byteCount > 0) std::memcpy(static_cast<char*>(out.values) + byte, part.bytes, static_cast<size_t>(part.byteCount));
      byte += part.byteCount;
    }
    row += count;
  }
  return true;
}

}  // namespace xev::table
