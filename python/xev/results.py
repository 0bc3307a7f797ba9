"""The engine's result columns as pandas arrays.

Numbers come out as the engine's shortest exact text and become Decimal
objects (or str), or as float64; DateTimes as int64 nanoseconds since 1970;
Strings as text. Each column is split and converted by numpy and C-level
loops, never by a Python function per row.
"""

from decimal import Decimal

import numpy as np
import pandas as pd

from ._ffi import ffi
from .codepage import decode
from .context import DATETIME, NUMBER

RESULT_DOUBLE = 2
RESULT_TEXT = 3
RESULT_TIME = 4
ROW_VALUE = 0
ROW_NO_VALUE = 2
_NANOSECONDS = 9
NUMBER_FORMS = ("decimal", "float", "str")


def result_kind(formula_type, numbers):
    """(XEV_RESULT_* kind, scale) a formula's column is asked in."""
    if formula_type == DATETIME:
        return RESULT_TIME, _NANOSECONDS
    if formula_type == NUMBER and numbers == "float":
        return RESULT_DOUBLE, 0
    return RESULT_TEXT, 0


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


def _nanoseconds(result, rows, missing):
    ticks = np.frombuffer(ffi.buffer(result.values, rows * 8), dtype=np.int64).copy()
    ticks[missing] = np.iinfo(np.int64).min  # NaT
    return ticks.view("datetime64[ns]")


def result_array(result, formula_type, numbers):
    """A copy of one filled XevResult as a numpy or pandas array."""
    rows = result.rowCount
    missing = _status(result, rows) != ROW_VALUE
    if formula_type == DATETIME:
        return _nanoseconds(result, rows, missing)
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
    """Positions of the rows where the formula gave no value."""
    return np.flatnonzero(_status(result, result.rowCount) == ROW_NO_VALUE)


def empty_array(formula_type, numbers):
    """An empty array of the dtype result_array gives (for Dask's meta)."""
    if formula_type == DATETIME:
        return np.empty(0, dtype="datetime64[ns]")
    if formula_type == NUMBER and numbers == "float":
        return pd.array([], dtype="Float64")
    return np.empty(0, dtype=object)


def check_numbers(numbers):
    if numbers not in NUMBER_FORMS:
        raise ValueError(f"xev: numbers must be one of {', '.join(NUMBER_FORMS)}, not {numbers!r}")

