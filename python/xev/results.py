"""The engine's result columns as pandas arrays.

Numbers come out as NumberValues that the library turns into scaled
integers (an xev.DecimalDtype column, or Int64 for a formula whose values
are whole by its nature), as float64, or as the engine's shortest exact
text that becomes Decimal objects or str; DateTimes as int64 nanoseconds
since 1970; Strings as text. Each column is converted by the library, numpy
and C-level loops, never by a Python function per row (except Decimal
objects, which are one object per row by nature).
"""

from decimal import Decimal

import numpy as np
import pandas as pd

from ._ffi import ffi, lib
from .codepage import decode
from .context import DATETIME, NUMBER
from .decimal_array import DecimalArray, DecimalDtype
from .result_types import is_date_difference, stated_scale, whole_numbers
from .zones import localized

RESULT_NUMBER = 1
RESULT_DOUBLE = 2
RESULT_TEXT = 3
RESULT_TIME = 4
ROW_VALUE = 0
ROW_NO_VALUE = 2
_TYPE_DATETIME = 1
_NANOSECONDS = 9
_INT64_MAX = np.iinfo(np.int64).max
_INT64_MIN = np.iinfo(np.int64).min
NUMBER_FORMS = ("exact", "decimal", "float", "str")
# Rows in each of the three stretches whose scale is tried first for a whole column.
_SAMPLE_ROWS = 1024


class Form:
    """How one formula's column comes back: its type, the numbers choice,
    and for exact Numbers whether the column is Int64 and its stated scale."""

    def __init__(self, formula, numbers):
        self.type = formula.type
        self.numbers = numbers
        exact = self.type == NUMBER and numbers == "exact"
        text = formula.text if exact else ""
        self.whole = exact and (whole_numbers(text) or is_date_difference(formula.context, text))
        self.scale = stated_scale(text) if exact else None
        self.zone = None  # the time zone of a DateTime result, when its columns have one

    def result_kind(self):
        """(XEV_RESULT_* kind, scale) the column is asked in."""
        if self.type == DATETIME:
            return RESULT_TIME, _NANOSECONDS
        if self.type == NUMBER and self.numbers == "float":
            return RESULT_DOUBLE, 0
        if self.type == NUMBER and self.numbers == "exact":
            return RESULT_NUMBER, 0
        return RESULT_TEXT, 0

    def empty_dtype(self):
        if self.type == DATETIME:
            return np.dtype("datetime64[ns]") if self.zone is None else pd.DatetimeTZDtype("ns", self.zone)
        if self.type == NUMBER and self.numbers == "float":
            return pd.Float64Dtype()
        if self.whole:
            return pd.Int64Dtype()
        if self.type == NUMBER and self.numbers == "exact":
            return DecimalDtype(self.scale or 0)
        return np.dtype(object)


def _status(result, rows):
    return np.frombuffer(ffi.buffer(result.status, rows), dtype=np.uint8)


def _split_texts(result, rows):
    """The rows of a text result as a list of str."""
    if rows == 0:
        return []
    offsets = np.frombuffer(ffi.buffer(result.offsets, (rows + 1) * 8), dtype=np.int64)
    data = np.frombuffer(ffi.buffer(result.values, int(offsets[rows])), dtype=np.uint8)
    # Engine texts hold no NUL, so a NUL can stand between each two of them.
    joined = np.zeros(len(data) + rows - 1, dtype=np.uint8)
    keep = np.ones(len(joined), dtype=bool)
    keep[offsets[1:rows] + np.arange(rows - 1)] = False
    joined[keep] = data
    return decode(joined.tobytes()).split("\0")


def _object_array(values, missing, fill):
    out = np.empty(len(values), dtype=object)
    out[:] = values
    if missing.any():
        out[missing] = fill
    return out


def _decimals(texts, missing):
    if missing.any():
        texts = np.array(texts, dtype=object)
        texts[missing] = "0"
        texts = texts.tolist()
    out = np.fromiter(map(Decimal, texts), dtype=object, count=len(texts))
    if missing.any():
        out[missing] = pd.NA
    return out


def _ticks(result, rows):
    return np.frombuffer(ffi.buffer(result.values, rows * 8), dtype=np.int64)


def _beyond_nanoseconds(result, rows):
    """Rows whose DateTime lies outside the datetime64[ns] range: the
    engine holds such times to the int64 range, whose ends no time read from
    a column reaches (INT64_MIN itself is NaT)."""
    ticks = _ticks(result, rows)
    return (_status(result, rows) == ROW_VALUE) & ((ticks == _INT64_MAX) | (ticks <= _INT64_MIN + 1))


def _nanoseconds(result, rows, missing, zone):
    ticks = _ticks(result, rows).copy()
    ticks[missing | _beyond_nanoseconds(result, rows)] = _INT64_MIN  # NaT, never a clamped time
    clock = ticks.view("datetime64[ns]")
    return clock if zone is None else localized(clock, zone)


def _wide_integers(words):
    """Python ints of 128-bit two's complement values (low word first)."""
    low = words[0::2].view(np.uint64).astype(object)
    return (words[1::2].astype(object) << 64) + low


def _by_text(numbers, rows):
    """A decimal array of NumberValues too far apart for 128 bits at one
    scale (10^30 and 10^-20 in one column): Python ints, made from texts."""
    buffer = ffi.new("char[]", 64)
    texts = []
    for row in range(rows):
        lib.HostNumberToStr(numbers + row, buffer, 64)
        texts.append(ffi.string(buffer).decode("ascii"))
    return DecimalArray._from_sequence([Decimal(t) if t else None for t in texts])


def _sampled_scale(numbers, rows):
    """The scale a few stretches of rows spread over the column need, when
    they hold in 64 bits; None for a column too short to sample or too wide.
    No row needs fewer decimals than this, so when every row fits at it, it
    is the column's scale."""
    if rows < 4 * _SAMPLE_ROWS:
        return None
    scale, bits = ffi.new("int32_t*"), ffi.new("int32_t*")
    widest = 0
    for start in (0, (rows - _SAMPLE_ROWS) // 2, rows - _SAMPLE_ROWS):
        if lib.XEVNumbersScale(numbers + start, _SAMPLE_ROWS, scale, bits) != 1 or bits[0] != 64:
            return None
        widest = max(widest, scale[0])
    return widest


def _scaled_words(numbers, rows):
    """(integers as int64 words, scale, bits) of a NumberValue column, or
    None when no one scale holds it in 128 bits. The scale the sampled rows
    need is tried first: when every row fits at it, the pass that reads all
    rows for their scale is saved."""
    guess = _sampled_scale(numbers, rows)
    if guess is not None:
        words = np.empty(rows, dtype=np.int64)
        if lib.XEVNumbersToScaled(numbers, rows, guess, 64, ffi.from_buffer(words)) == 1:
            return words, guess, 64
    scale, bits = ffi.new("int32_t*"), ffi.new("int32_t*")
    if lib.XEVNumbersScale(numbers, rows, scale, bits) != 1:
        return None
    words = np.empty(rows * (bits[0] // 64), dtype=np.int64)
    if lib.XEVNumbersToScaled(numbers, rows, scale[0], bits[0], ffi.from_buffer(words)) != 1:
        raise AssertionError("xev: the library refused the scale it chose")
    return words, scale[0], bits[0]


def _exact(result, rows, missing, form):
    """An xev.DecimalDtype (or Int64) array of a NumberValue result."""
    numbers = ffi.cast("NumberValue*", result.values)
    scaled = _scaled_words(numbers, rows)
    if scaled is None:
        array = _by_text(numbers, rows)
    else:
        # Rows without a value hold a NULL NumberValue, written as 0.
        words, scale, bits = scaled
        array = DecimalArray(words if bits == 64 else _wide_integers(words), missing, scale)
    if form.whole and array.scale == 0 and array.integers.dtype == np.int64:
        return pd.arrays.IntegerArray(array.integers, missing)
    if form.scale is not None and form.scale >= array.scale:
        return array.astype(DecimalDtype(form.scale))
    return array


def result_array(result, form):
    """A copy of one filled XevResult as a numpy or pandas array."""
    formula_type, numbers = form.type, form.numbers
    rows = result.rowCount
    missing = _status(result, rows) != ROW_VALUE
    if formula_type == DATETIME:
        return _nanoseconds(result, rows, missing, form.zone)
    if formula_type == NUMBER and numbers == "exact":
        return _exact(result, rows, missing, form)
    if formula_type == NUMBER and numbers == "float":
        values = np.frombuffer(ffi.buffer(result.values, rows * 8), dtype=np.float64).copy()
        return pd.arrays.FloatingArray(values, missing.copy())
    if formula_type == NUMBER:
        texts = _split_texts(result, rows)
        if numbers == "decimal":
            return _decimals(texts, missing)
        return _object_array(texts, missing, pd.NA)
    return _object_array(_split_texts(result, rows), missing, None)


def no_value_rows(result):
    """Positions of the rows where the formula gave no value, or a DateTime
    beyond what datetime64[ns] holds."""
    rows = result.rowCount
    none = _status(result, rows) == ROW_NO_VALUE
    if result.type == _TYPE_DATETIME:
        none |= _beyond_nanoseconds(result, rows)
    return np.flatnonzero(none)


def empty_array(form):
    """An empty array of the dtype result_array gives (for Dask's meta)."""
    dtype = form.empty_dtype()
    return np.empty(0, dtype=dtype) if isinstance(dtype, np.dtype) else pd.array([], dtype=dtype)


def check_numbers(numbers):
    if numbers not in NUMBER_FORMS:
        raise ValueError(f"xev: numbers must be one of {', '.join(NUMBER_FORMS)}, not {numbers!r}")

