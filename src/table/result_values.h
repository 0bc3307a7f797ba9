// Result columns: what a result asks for, the buffers a share of rows fills,
// and joining the shares into the result the host receives.
#pragma once

#include <cstdint>

#include "eval/evaluator.h"
#include "eval/plan_blocks.h"
#include "xev/xevtable.h"

namespace xev::table {

// A result's wanted form, settled before any row is evaluated.
struct ResultShape {
  int32_t kind;   // XEV_RESULT_*, never XEV_RESULT_NATURAL
  int32_t type;   // the formula's XEV_TYPE_*
  int32_t scale;  // XEV_RESULT_TIME
  int32_t width;  // bytes per row of a fixed-width kind; 0 for text
  NumberValue epoch;  // DateTimes: the seconds of epochDay's start
};

// One result's rows of one share.
struct ShareColumn {
  unsigned char* values;  // fixed-width kinds
  uint8_t* status;
  int64_t* offsets;       // text: 0, then where each row's bytes end
  char* bytes;            // text
  int64_t byteCount;
};

// Settles the shape of result for a formula of type; false when the kind
// cannot hold that type.
bool ShapeResult(const XevResult& result, int32_t type, ResultShape& shape);

bool AllocateShareColumn(const ResultShape& shape, int64_t rows, ShareColumn& column);
void ReleaseShareColumn(ShareColumn& column);

// Writes row slot of column: value, or no value for nullptr. False when
// memory is short.
bool WriteRow(const ResultShape& shape, ShareColumn& column, int64_t slot, const eval::Value* value);

// Writes rows[0] to rows[count - 1] of a held block column (eval/plan_blocks.h)
// into slots slot on of column, as WriteRow writes each row's value; a
// column of the other shape than the formula's type gives no value. False
// when memory is short.
bool WriteHeldRows(const ResultShape& shape, ShareColumn& column, int64_t slot, const eval::BlockColumn& held,
                   const int32_t* rows, int32_t count);

// Fills out's values, offsets and status from the parts (shares in row
// order, counts[i] rows each, total in all); false, with nothing kept, when
// memory is short. A single part hands its blocks over instead of copying.
bool JoinColumn(const ResultShape& shape, ShareColumn* const* parts, const int64_t* counts, int32_t partCount,
                int64_t total, XevResult& out);

}  // namespace xev::table
