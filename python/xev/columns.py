"""pandas columns as the engine's input columns.

Typing follows the reference host: int, float and Decimal columns are Number,
datetime64 columns DateTime, str columns String (a column without any value
is String too). Each column is handed over as buffers the engine reads in
place: int64 or float64 arrays, int64 times, and text as one byte buffer with
int64 offsets; only Decimal (and other Python number objects) and str
columns are walked value by value, to turn them into those bytes.
"""

import numbers

import numpy as np
import pandas as pd

from ._ffi import ffi, lib
from .codepage import encode, unencodable
from .context import DATETIME, NUMBER, STRING
from .decimal_array import DecimalDtype
from .errors import ColumnError

COLUMN_INT64 = 1
COLUMN_DOUBLE = 2
COLUMN_DECIMAL_TEXT = 3
COLUMN_NUMBER = 4
COLUMN_TIME = 5
COLUMN_STRING = 7

_NUMBER_OBJECTS = ("decimal", "integer", "floating", "mixed-integer-float")
_DATE_OBJECTS = ("datetime", "datetime64", "date")
_HELD = ("int, float, bool or Decimal values (Number), datetime64 (DateTime) or str (String)")

_unix_epoch_day = None


def unix_epoch_day():
    global _unix_epoch_day
    if _unix_epoch_day is None:
        _unix_epoch_day = lib.XEVTableUnixEpochDay()
    return _unix_epoch_day


def _unsupported(label, what):
    return ColumnError(label, f"{what} cannot be a data item; a column holds {_HELD}")


def column_type(label, series):
    """'Number', 'DateTime' or 'String' for a pandas Series; ColumnError for
    one the engine cannot hold."""
    return dtype_type(label, series.dtype, series)


def check_column_type(label, series, item_type):
    """Raises ColumnError when an object column's values are not of the type
    its data item was given (from other rows, or by types=): a column holds
    one type in every row. A column without any value fits every type."""
    if series.dtype != object or series.isna().all():
        return
    found = column_type(label, series)
    if found != item_type:
        raise ColumnError(label, f"holds {found} values in some rows and {item_type} values in others")


def dtype_type(label, dtype, values=None):
    """The data type of a column of dtype; an object column is typed by its
    values (values=None: String, the type of text)."""
    if isinstance(dtype, pd.CategoricalDtype):
        return dtype_type(label, dtype.categories.dtype, None if values is None else
                          pd.Series(values.cat.categories))
    if pd.api.types.is_bool_dtype(dtype) or pd.api.types.is_numeric_dtype(dtype):
        if pd.api.types.is_complex_dtype(dtype):
            raise _unsupported(label, f"dtype {dtype}")
        return NUMBER
    if pd.api.types.is_datetime64_any_dtype(dtype):
        return DATETIME
    if pd.api.types.is_string_dtype(dtype) and not pd.api.types.is_object_dtype(dtype):
        return STRING
    if not pd.api.types.is_object_dtype(dtype):
        raise _unsupported(label, f"dtype {dtype}")
    if values is None:
        return STRING
    inferred = pd.api.types.infer_dtype(values, skipna=True)
    if inferred in ("string", "empty"):
        return STRING
    if inferred in _NUMBER_OBJECTS or inferred == "boolean":
        return NUMBER
    if inferred in _DATE_OBJECTS:
        return DATETIME
    if inferred in ("mixed", "mixed-integer") and _all_numbers(values):
        return NUMBER  # Decimal and int together, as fillna(0) leaves them
    raise _unsupported(label, f"an object column of {inferred} values")


def _all_numbers(values):
    return all(isinstance(v, numbers.Number) and not isinstance(v, complex)
               for v in values.dropna().tolist())


class InputColumn:
    """An XevColumn and the arrays it points into (kept alive with it)."""

    def __init__(self, kind, values, offsets=None, nulls=None, scale=0, epoch_day=0):
        self.keep = [a for a in (values, offsets, nulls) if a is not None]
        self.record = ffi.new("XevColumn*")
        self.record.kind = kind
        self.record.scale = scale
        self.record.epochDay = epoch_day
        self.record.values = ffi.from_buffer(values)
        self.record.offsets = ffi.cast("int64_t*", ffi.from_buffer(offsets)) if offsets is not None else ffi.NULL
        self.record.nulls = ffi.cast("uint8_t*", ffi.from_buffer(nulls)) if nulls is not None else ffi.NULL


def _mask_bytes(mask):
    mask = np.asarray(mask, dtype=bool)
    return mask.view(np.uint8) if mask.any() else None


class _BadText(ValueError):
    def __init__(self, row, detail):
        super().__init__(row)
        self.row = row
        self.detail = detail


def _texts(strings):
    """One byte buffer and rowCount + 1 offsets for a list of str. Raises
    _BadText with the position of the first text holding a NUL (the engine's
    texts end at a NUL, so such a text would be cut short) or a character
    the code page cannot hold."""
    count = len(strings)
    try:
        joined = "\0".join(strings)
    except TypeError:  # a value that is no str: its text
        strings = list(map(str, strings))
        joined = "\0".join(strings)
    if joined.count("\0") != max(count - 1, 0):
        raise _BadText(next(i for i, s in enumerate(strings) if "\0" in s),
                       "holds a NUL character, which the engine's texts cannot hold")
    try:
        data = encode(joined)
    except UnicodeEncodeError as error:
        row = joined.count("\0", 0, error.start)
        raise _BadText(row, f"holds {unencodable(strings[row])}") from None
    separators = np.flatnonzero(np.frombuffer(data, dtype=np.uint8) == 0)
    offsets = np.empty(count + 1, dtype=np.int64)
    offsets[0] = 0
    offsets[1:count] = separators - np.arange(count - 1, dtype=np.int64)
    offsets[count] = len(data) - max(count - 1, 0)
    return np.frombuffer(data.replace(b"\0", b""), dtype=np.uint8), offsets


def _object_values(series):
    """The values as an object array with '' for missing ones, and the mask."""
    values = np.asarray(series, dtype=object)
    mask = np.asarray(pd.isna(series), dtype=bool)
    if mask.any():
        values = values.copy()
        values[mask] = ""
    return values, mask


def _text_column(series, kind, as_text=None):
    values, mask = _object_values(series)
    strings = values.tolist() if as_text is None else list(map(as_text, values.tolist()))
    try:
        data, offsets = _texts(strings)
    except _BadText as bad:
        raise ColumnError(series.name, f"the text in row {series.index[bad.row]!r} {bad.detail}") from None
    return InputColumn(kind, data, offsets, _mask_bytes(mask))


def _object_number_column(series):
    """Decimal, int and float objects by their text, which keeps them exact."""
    if pd.api.types.infer_dtype(series, skipna=True) == "boolean":
        return _number_column(series.name, series.astype("boolean"))
    return _text_column(series, COLUMN_DECIMAL_TEXT, _number_text)


def _number_text(value):
    return str(int(value)) if isinstance(value, (bool, np.bool_)) else str(value)


def _decimal_column(series):
    """A DecimalDtype column as its int64 integers at scale 0, else as
    NumberValues the library makes from its integers; as text where they do
    not make one (more than 22 digits)."""
    array = series.array
    mask = array.isna()
    # A column of every other row is a view with a step; the engine reads contiguous rows.
    integers = np.ascontiguousarray(array.integers)
    if array.scale == 0 and integers.dtype == np.int64:
        # Whole numbers: the engine reads int64 as they are, without NumberValues to make.
        return InputColumn(COLUMN_INT64, integers, nulls=_mask_bytes(mask))
    if integers.dtype == np.int64:
        values = np.empty(len(array) * 13, dtype=np.uint8)
        made = lib.XEVScaledToNumbers(ffi.from_buffer(integers), len(array), array.scale, 64,
                                      ffi.from_buffer(mask.view(np.uint8)),
                                      ffi.cast("NumberValue*", ffi.from_buffer(values)))
        if made == 1:
            return InputColumn(COLUMN_NUMBER, values)
    return _text_column(pd.Series(array.to_decimals(None), index=series.index, name=series.name),
                        COLUMN_DECIMAL_TEXT, str)


def _number_column(label, series):
    dtype = series.dtype
    if isinstance(dtype, DecimalDtype):
        return _decimal_column(series)
    if isinstance(dtype, pd.CategoricalDtype):
        series = series.astype(dtype.categories.dtype if not series.isna().any() else object)
        dtype = series.dtype
    if pd.api.types.is_extension_array_dtype(dtype):
        mask = series.isna().to_numpy()
        if pd.api.types.is_float_dtype(dtype):
            return InputColumn(COLUMN_DOUBLE, series.to_numpy(np.float64, na_value=np.nan))
        if pd.api.types.is_unsigned_integer_dtype(dtype) and dtype.itemsize == 8:
            return _text_column(series.astype(object), COLUMN_DECIMAL_TEXT, str)
        return InputColumn(COLUMN_INT64, series.to_numpy(np.int64, na_value=0), nulls=_mask_bytes(mask))
    if pd.api.types.is_object_dtype(dtype) or pd.api.types.is_string_dtype(dtype):
        return _object_number_column(series)
    values = series.to_numpy()
    if values.dtype.kind == "f":
        return InputColumn(COLUMN_DOUBLE, np.ascontiguousarray(values, dtype=np.float64))
    if values.dtype.kind == "u" and values.dtype.itemsize == 8 and values.size and values.max() > 2**63 - 1:
        return _text_column(series.astype(object), COLUMN_DECIMAL_TEXT, str)
    if values.dtype.kind in "biu":
        return InputColumn(COLUMN_INT64, np.ascontiguousarray(values, dtype=np.int64))
    raise _unsupported(label, f"dtype {dtype}")


def _datetime_column(label, series):
    if not pd.api.types.is_datetime64_any_dtype(series.dtype):
        try:
            series = pd.to_datetime(series)
        except (ValueError, TypeError, OverflowError) as error:
            raise ColumnError(label, f"its dates cannot be read as datetime64: {error}") from None
    if getattr(series.dt, "tz", None) is not None:
        series = series.dt.tz_localize(None)  # the clock time of its own zone
    values = series.to_numpy()
    unit, _ = np.datetime_data(values.dtype)
    scales = {"s": 0, "ms": 3, "us": 6, "ns": 9}
    if unit not in scales:
        values = values.astype("datetime64[ns]")
        unit = "ns"
    ticks = np.ascontiguousarray(values.view(np.int64))
    return InputColumn(COLUMN_TIME, ticks, nulls=_mask_bytes(np.isnat(values)),
                       scale=scales[unit], epoch_day=unix_epoch_day())


def input_column(label, series, item_type):
    """The engine's column for series feeding a data item of item_type."""
    if item_type == NUMBER:
        return _number_column(label, series)
    if item_type == DATETIME:
        return _datetime_column(label, series)
    if item_type == STRING:
        return _text_column(series.astype(object, copy=False), COLUMN_STRING)
    raise ColumnError(label, f"feeds a data item of type {item_type}, which no column holds")
