/*
 * xevtable.h - formulas evaluated over the columns of a table.
 *
 * A host that holds its data as columns (arrays of int64, double, decimal
 * text, dates, strings) binds data items to columns instead of giving each
 * item a callback, and evaluates a list of formulas over every row at once.
 * Data item nodes read the bound column at the current row inside the
 * engine; no call goes back to the host per value. Results come back as
 * columns with a mask that tells a value from a NULL and from "no value".
 *
 * A table is made from an EC whose items and formulas are in place. It may
 * evaluate on several threads: each thread works on its own copy of the EC
 * (XEVCopyEC, with the operator callbacks too) made when the table is made,
 * and takes a contiguous share of the rows; the results are the same, row for
 * row and byte for byte, whatever the thread count. Changes made to the EC
 * after XEVTableCreate are not seen by the table; make a new one. Data items
 * that are not bound to a column keep their callbacks, which are then called
 * on the table's threads (with the copy as their ec), as are functions. A
 * table is used by one thread at a time; different tables may be used on
 * different threads at once.
 *
 * Conventions are those of xev.h: 1 for success and 0 for failure; every
 * allocation can fail, and a call that fails releases what it took. Blocks
 * handed out (result columns) are made by HostAlloc and released by
 * XEVTableFreeResults.
 */
#ifndef XEV_XEVTABLE_H
#define XEV_XEVTABLE_H

#include "xev/xev.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Input columns ------------------------------------------------------- */

/* What an input column holds (XevColumn.kind), and the item type it feeds. */
#define XEV_COLUMN_INT64 1        /* int64_t per row; Number */
#define XEV_COLUMN_DOUBLE 2       /* double per row; Number, by the shortest text that
                                     reads back to the same double (0.1 is exactly 0.1);
                                     NaN is NULL, an infinity is "no value" */
#define XEV_COLUMN_DECIMAL_TEXT 3 /* text per row: a plain decimal number (HostStrToNumber);
                                     Number; an empty text is NULL, any other text that is
                                     not a number (one holding a zero byte too) is
                                     "no value" */
#define XEV_COLUMN_NUMBER 4       /* 13-byte NumberValue per row; Number or DateTime */
#define XEV_COLUMN_TIME 5         /* int64_t per row: time since the epoch in units of
                                     10^-scale seconds (scale 0, 3, 6 or 9); DateTime,
                                     exact (nanoseconds included) */
#define XEV_COLUMN_DAYS 6         /* double per row: days since the epoch, the fraction
                                     being the time of day (rounded to the microsecond);
                                     DateTime; NaN is NULL, an infinity or a day beyond
                                     10^8 days from the epoch is "no value" */
#define XEV_COLUMN_STRING 7       /* text per row (code-page bytes, no terminator needed);
                                     String or keyword items; a text holding a zero byte
                                     is "no value" (engine texts end at their first) */

/* One column of rowCount rows. The arrays are the host's: only read, during
 * XEVTableEvaluate, and they must stay valid until it returns. */
typedef struct XevColumn {
  int32_t kind;           /* XEV_COLUMN_* */
  int32_t scale;          /* XEV_COLUMN_TIME: 0 seconds, 3 milli-, 6 micro-, 9 nanoseconds */
  int32_t epochDay;       /* XEV_COLUMN_TIME, _DAYS: the day number (DatePartsToDayNumber) of
                             time 0; XEVTableUnixEpochDay() gives 1 January 1970 */
  int32_t reserved;       /* 0 */
  const void* values;     /* fixed-width kinds: rowCount values; text kinds: the bytes */
  const int64_t* offsets; /* text kinds: rowCount + 1 byte offsets into values; row i is
                             values[offsets[i] .. offsets[i + 1]) */
  const uint8_t* nulls;   /* NULL, or one byte per row, non-zero for a missing value in
                             this row: the item gives a NULL NumberValue (Number and
                             DateTime items) or an empty text (String items) */
} XevColumn;

/* ---- Result columns ------------------------------------------------------ */

/* The form a result column is wanted in (XevResult.kind). */
#define XEV_RESULT_NATURAL 0 /* NUMBER for Number and DateTime formulas, TEXT for Strings */
#define XEV_RESULT_NUMBER 1  /* 13-byte NumberValue per row (Number, DateTime); a row
                                without a value holds a NULL NumberValue */
#define XEV_RESULT_DOUBLE 2  /* double per row: a Number's nearest double; a DateTime's days
                                since epochDay; NaN in a row without a value */
#define XEV_RESULT_TEXT 3    /* text per row (offsets and bytes, no terminators): a String's
                                text, a Number's or DateTime's shortest plain text
                                (HostNumberToStr); empty in a row without a value */
#define XEV_RESULT_TIME 4    /* int64_t per row, DateTime only: units of 10^-scale seconds
                                since epochDay (scale 0, 3, 6 or 9), rounded down and held to
                                the int64_t range; INT64_MIN in a row without a value */

/* What one row of a result holds (XevResult.status). */
#define XEV_ROW_VALUE 0    /* a value */
#define XEV_ROW_NULL 1     /* a NULL Number or DateTime */
#define XEV_ROW_NO_VALUE 2 /* the formula yielded no value in this row (a function or
                              callback failed, a bound column's value could not be
                              read...); memory that runs short inside a formula fails
                              XEVTableEvaluate instead */

/* One formula to evaluate and the column it fills. The caller sets the fields
 * marked "in" and zeroes the rest; XEVTableEvaluate fills the "out" fields,
 * which XEVTableFreeResults releases. */
typedef struct XevResult {
  HEXP formula;      /* in: a Number, DateTime or String formula of the table's EC */
  int32_t kind;      /* in: XEV_RESULT_* */
  int32_t scale;     /* in: XEV_RESULT_TIME */
  int32_t epochDay;  /* in: XEV_RESULT_TIME, XEV_RESULT_DOUBLE of a DateTime */
  int32_t type;      /* out: the formula's data type (XEV_TYPE_*) */
  int64_t rowCount;  /* out: rows in the result: the rows the where formula selected */
  void* values;      /* out: rowCount values, or the bytes of a text result */
  int64_t* offsets;  /* out: text results: rowCount + 1 offsets into values */
  uint8_t* status;   /* out: one XEV_ROW_* per row */
} XevResult;

/* ---- Tables -------------------------------------------------------------- */

/* A table: an EC's formulas with their data items bound to columns, and the
 * threads and EC copies that evaluate them. */
typedef struct XevTable XevTable;

/* Makes a table over the items and formulas of ec, evaluating on threads
 * threads (0: one per processor; 1: the calling thread only; at most 64). ec
 * is only read; the table keeps one copy of ec per thread. NULL for a NULL ec
 * or when memory is short (also when a copy could not take every item and
 * formula of ec). */
XEV_API XevTable* XEV_CALL XEVTableCreate(ExprContext* ec, int32_t threads);
/* Releases the table and its copies of the EC; NULL is ignored. */
XEV_API void XEV_CALL XEVTableDestroy(XevTable* table);
/* The number of threads the table evaluates on. */
XEV_API int32_t XEV_CALL XEVTableThreadCount(const XevTable* table);

/* Binds the data item itemName to a column: from now on the item reads the
 * column (the column's arrays are given again with each evaluation, see
 * XEVTableEvaluate). Returns the binding's index (0, 1, ...), or -1 when the
 * EC has no data item of that name, when the column kind cannot feed the
 * item's type, or when memory is short. Binding a name again replaces the
 * binding's kind and keeps its index. */
XEV_API int32_t XEV_CALL XEVTableBind(XevTable* table, const char* itemName, const XevColumn* column);

/* Evaluates results[0 .. resultCount) over rows 0 .. rowCount - 1 of the
 * bound columns. columns holds one XevColumn per binding, in binding order
 * (so a host may bind once and evaluate block after block of rows); a NULL
 * columns uses the columns given to XEVTableBind. where: NULL for every row,
 * or a Number formula of the EC that selects the rows whose value is neither
 * NULL nor zero (rows where it yields no value are left out). rowIndex: NULL,
 * or set to a HostAlloc'd array of the selected rows' numbers followed by -1
 * (the caller frees it with HostFree). Each row evaluates where first, then the results in
 * order. Returns 1; 0 when memory is short (inside a formula too), when an argument is wrong (a
 * formula of another EC, a range or set, an unknown kind, a result kind that
 * cannot hold the formula's type, a column that cannot feed its item), with
 * results and rowIndex untouched. */
XEV_API int32_t XEV_CALL XEVTableEvaluate(XevTable* table, int64_t rowCount, const XevColumn* columns,
                                          XevResult* results, int32_t resultCount, HEXP where,
                                          int64_t** rowIndex);

/* Releases the out fields of results[0 .. resultCount) and zeroes them. */
XEV_API void XEV_CALL XEVTableFreeResults(XevResult* results, int32_t resultCount);

/* The day number of 1 January 1970, the epoch of most hosts' time columns. */
XEV_API int32_t XEV_CALL XEVTableUnixEpochDay(void);

/* ---- Numbers as scaled integers ------------------------------------------ */

/* A Number column held as integers and one scale, each value being
 * integer / 10^scale: how a host that keeps exact decimals in fixed-width
 * arrays takes XEV_RESULT_NUMBER results and gives XEV_COLUMN_NUMBER input,
 * with no text in between. The integers are int64_t (bits 64) or 128-bit
 * two's complement in 16 bytes, the low 8 first (bits 128). These calls
 * allocate nothing. */

/* The smallest scale (0 or more) at which every value of values[0 .. count)
 * is a whole number of 10^-scale, and the fewest bits (64 or 128) that hold
 * every value at that scale; NULL values are passed over. Returns 1; 0 when
 * some value would need more than 128 bits (a column holding both 10^30 and
 * 10^-20), leaving *scale and *bits alone. */
XEV_API int32_t XEV_CALL XEVNumbersScale(const NumberValue* values, int64_t count, int32_t* scale,
                                         int32_t* bits);

/* Writes each value of values[0 .. count) times 10^scale to out, as count
 * integers of bits bits (64 or 128); a NULL value as 0. Returns 1; 0 when a
 * value is not whole at that scale or does not fit, or for a scale below 0
 * or bits other than 64 and 128 (out then holds the rows before it). */
XEV_API int32_t XEV_CALL XEVNumbersToScaled(const NumberValue* values, int64_t count, int32_t scale,
                                            int32_t bits, void* out);

/* The NumberValues of count integers of bits bits divided by 10^scale, a
 * NULL NumberValue in each row whose nulls byte is non-zero (nulls may be
 * NULL). Returns 1; 0 when a value has more than 22 significant digits (it
 * would be rounded) or lies outside the NumberValue range, or for a scale
 * below 0 or bits other than 64 and 128 (out then holds the rows before it). */
XEV_API int32_t XEV_CALL XEVScaledToNumbers(const void* values, int64_t count, int32_t scale, int32_t bits,
                                            const uint8_t* nulls, NumberValue* out);

#ifdef __cplusplus
}
#endif

#endif /* XEV_XEVTABLE_H */
