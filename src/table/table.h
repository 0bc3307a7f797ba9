// The columnar evaluation core behind xevtable.h: a table keeps one private
// copy of the host's context per thread, with every data item that is bound
// to a column answered by the table's own callbacks instead of the host's.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "host/decimal.h"
#include "xev/xevtable.h"

namespace xev::table {

// One data item read from a column.
struct Binding {
  char name[sizeof(ExpItem::name)];
  int16_t itemType;  // the item's XEV_TYPE_*
  XevColumn column;  // as given to XEVTableBind; XEVTableEvaluate may give others
};

// The last value a Number or DateTime binding gave on this thread, so that a
// column read by several formulas of a row is converted once.
struct CachedValue {
  int64_t row;  // -1: none
  bool answered;
  NumberValue number;
  // A double column: the decimals its last short value had, tried first for
  // the next (a column of prices mostly has one scale). 0 at the start.
  int32_t decimals;
};

// What the column callbacks of one copy read while it evaluates a share of
// rows (the copy's tableRows): the columns of the block being evaluated and
// the row the share is at.
struct RowCursor {
  const XevColumn* columns;  // one per binding
  const Binding* bindings;
  const int32_t* byName;     // binding indexes in name order
  int32_t bindingCount;
  int64_t row;
  CachedValue* cache;        // one per binding
};

// The callback a copy's data item gets for binding index. Indexes below
// kDirectCallbacks each have their own callback that knows its binding; the
// ones above share one that looks the name up.
constexpr int32_t kDirectCallbacks = 256;
intptr_t ColumnCallback(int32_t index);
// Lets plans read int64 and double columns without their callbacks.
void RegisterColumnReaders();

// The Number a double stands for, as DoubleToNumber makes it (the same bytes);
// false for an infinity or NaN.
bool NumberFromDouble(NumberValue* out, double value);

// A decimal text column's row of up to kPlainDigits digits with an optional
// sign and point ("24.83", "-0.5", ".5", "3.") loaded as HostStrToNumber
// reads it and LoadOrNull loads its bytes; false for any other text (an
// exponent, blanks, more digits), which takes the general reading.
constexpr int32_t kPlainDigits = 18;
bool LoadPlainDecimal(const char* text, int64_t length, host::decimal::Decimal& out);

// Whether a column of kind can feed a data item of type.
bool KindFeedsType(int32_t kind, int32_t type);
// Whether the column's arrays and settings can be read for rowCount rows.
bool ColumnUsable(const XevColumn& column, int64_t rowCount);

// How many rows a share runs through the block runner at once
// (eval/plan_blocks.h); 0 runs every row on its own. For tests and benches
// that compare the two.
void SetBlockRows(int32_t rows);

// Tables evaluate on at most this many threads.
constexpr int32_t kMaxThreads = 64;

// A DateTime holds the seconds since the start of day 0.
constexpr int64_t kSecondsPerDay = 86400;

}  // namespace xev::table

struct XevTable {
  ExprContext* source;     // the host's context: only its HEXPs are read
  int32_t threadCount;
  ExprContext** copies;    // threadCount private copies
  xev::table::Binding* bindings;
  int32_t* byName;         // binding indexes sorted by name
  int32_t bindingCount;
  int32_t bindingCapacity;
};
