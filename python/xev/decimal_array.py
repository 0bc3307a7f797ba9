"""xev.DecimalDtype: an exact decimal column for pandas.

A column holds integers and one scale (value = integer / 10**scale) and a
null mask, in NumPy arrays: int64 integers, or Python ints where 64 bits do
not suffice. The engine fills it from its result buffers directly, so no
Python object is made per cell; the pandas operations below work on the
integers. Rounding (division, mean, round, astype to fewer decimals) is
half away from zero, as the engine's NumberRound.
"""

from __future__ import annotations

import numbers
import re
from decimal import Decimal
from typing import Optional

import numpy as np
import pandas as pd
from pandas.api.extensions import ExtensionArray, ExtensionDtype, register_extension_dtype, take
from pandas.core.arraylike import OpsMixin

from . import frame_round, scaled

# Decimals a quotient (and a mean) has beyond the wider of its operands.
DIVISION_EXTRA_DECIMALS = 6
# Significant digits up to which float arrays are turned into decimals at once.
_FLOAT_DIGITS = 14
_NAME = re.compile(r"decimal\[(\d+)\]")


class DecimalScalar(Decimal, np.number):
    """The scalar type a DecimalDtype names: a Decimal that pandas counts
    among the numbers (describe, select_dtypes('number')). Values read from
    a column are plain Decimal objects."""


@register_extension_dtype
class DecimalDtype(ExtensionDtype):
    """Exact decimals with `scale` digits after the point ('decimal[2]')."""

    type = DecimalScalar
    kind = "O"
    na_value = pd.NA
    _metadata = ("scale",)
    _is_numeric = True

    def __init__(self, scale: int = 0):
        if isinstance(scale, bool) or not isinstance(scale, numbers.Integral) or scale < 0:
            raise ValueError(f"xev: a decimal scale is a whole number 0 or more, not {scale!r}")
        self.scale = int(scale)

    @property
    def name(self) -> str:
        return f"decimal[{self.scale}]"

    @classmethod
    def construct_from_string(cls, string: str) -> "DecimalDtype":
        if not isinstance(string, str):
            raise TypeError(f"'construct_from_string' expects a string, got {type(string)}")
        match = _NAME.fullmatch(string)
        if match is None:
            raise TypeError(f"Cannot construct a 'DecimalDtype' from '{string}'")
        return cls(int(match.group(1)))

    @classmethod
    def construct_array_type(cls) -> type:
        return DecimalArray

    def _get_common_dtype(self, dtypes: list) -> Optional[DecimalDtype]:
        widest = 0
        for dtype in dtypes:
            if isinstance(dtype, DecimalDtype):
                widest = max(widest, dtype.scale)
            elif not (pd.api.types.is_integer_dtype(dtype) or pd.api.types.is_bool_dtype(dtype)):
                return None
        return DecimalDtype(widest)

    def __reduce__(self):
        return DecimalDtype, (self.scale,)

    def __repr__(self) -> str:
        return f"DecimalDtype({self.scale})"


def _missing(value) -> bool:
    return value is None or value is pd.NA or (not isinstance(value, (str, bytes)) and pd.isna(value))


def _as_decimal(value) -> Optional[Decimal]:
    """A scalar as a Decimal; None for a missing one. A float is read as its
    shortest text, as the engine reads float columns: 0.1 is exactly 0.1."""
    if _missing(value):
        return None
    if isinstance(value, Decimal):
        return value
    if isinstance(value, (bool, np.bool_, numbers.Integral)):
        return Decimal(int(value))
    if isinstance(value, (float, np.floating)):
        if not np.isfinite(value):
            raise ValueError(f"xev: {value} is no number a decimal column holds")
        return Decimal(repr(float(value)))
    if isinstance(value, str):
        try:
            return Decimal(value.strip())
        except ArithmeticError:
            raise ValueError(f"xev: {value!r} is no number") from None
    raise TypeError(f"xev: a decimal column holds numbers, not {type(value).__name__}")


class DecimalArray(OpsMixin, ExtensionArray):
    """The array behind a DecimalDtype column: integers, scale and mask."""

    __array_priority__ = 1000

    def __init__(self, values: np.ndarray, mask: np.ndarray, scale: int):
        self._data = values
        self._mask = mask
        self._dtype = DecimalDtype(scale)

    @classmethod
    def _from_parts(cls, values, mask, scale) -> "DecimalArray":
        """An array of integers (int64 or Python ints, narrowed when they
        fit), a mask and a scale; masked slots are set to 0."""
        values = scaled.narrowed(values)
        if mask.any():
            values = np.where(mask, 0, values).astype(values.dtype, copy=False)
        return cls(values, mask, scale)

    # ---- Construction --------------------------------------------------------

    @classmethod
    def _from_sequence(cls, scalars, *, dtype=None, copy=False) -> "DecimalArray":
        if isinstance(dtype, str):
            dtype = DecimalDtype.construct_from_string(dtype)
        if isinstance(scalars, DecimalArray):
            return scalars.astype(dtype, copy=copy) if dtype is not None else scalars.copy()
        made = cls._from_integers(scalars)
        if made is None:
            made = cls._from_floats(scalars)
        if made is None:
            made = cls._from_objects(np.asarray(scalars, dtype=object), dtype)
        if dtype is not None and dtype.scale != made.scale:
            made = made._exact_at(dtype.scale)
        return made

    @classmethod
    def _from_integers(cls, scalars) -> Optional["DecimalArray"]:
        """Integer (and boolean) arrays, nullable or not, without a cell walk."""
        if isinstance(scalars, pd.Series):
            scalars = scalars.array
        if isinstance(scalars, (pd.arrays.IntegerArray, pd.arrays.BooleanArray)):
            mask = np.asarray(scalars.isna(), dtype=bool)
            return cls._from_parts(scalars.to_numpy(np.int64, na_value=0), mask, 0)
        if isinstance(scalars, np.ndarray) and scalars.dtype.kind in "biu":
            if scalars.dtype.kind == "u" and scalars.size and scalars.max() > scaled.INT64_MAX:
                return cls._from_parts(scalars.astype(object), np.zeros(len(scalars), dtype=bool), 0)
            return cls(scalars.astype(np.int64), np.zeros(len(scalars), dtype=bool), 0)
        return None

    @classmethod
    def _from_floats(cls, scalars) -> Optional["DecimalArray"]:
        """Float arrays, each value by its shortest text as the engine reads
        float columns, found for the whole array at once: at the fewest
        decimals k at which every value is the double nearest some integer
        n / 10^k. While |n| stays within _FLOAT_DIGITS, a double's rounding
        interval is narrower than a tenth of 10^-k, so that n / 10^k is the
        one number of k decimals or fewer in it, which is its shortest text.
        None for other arrays and for values past that (Decimal objects then
        decide, one by one), and for infinities (refused there)."""
        if isinstance(scalars, pd.Series):
            scalars = scalars.array
        if isinstance(scalars, pd.arrays.FloatingArray):
            mask = np.asarray(scalars.isna(), dtype=bool)
            values = scalars.to_numpy(np.float64, na_value=0.0)
        elif isinstance(scalars, np.ndarray) and scalars.dtype.kind == "f":
            mask = np.isnan(scalars)
            values = np.where(mask, 0.0, scalars.astype(np.float64, copy=False))
        else:
            return None
        if not np.isfinite(values).all():
            return None
        for scale in range(_FLOAT_DIGITS + 1):
            factor = 10.0 ** scale
            integers = np.rint(values * factor)
            if len(integers) and np.abs(integers).max() > 10.0 ** _FLOAT_DIGITS:
                return None
            if (integers / factor == values).all():
                return cls._from_parts(integers.astype(np.int64), mask, scale)
        return None

    @classmethod
    def _from_objects(cls, values: np.ndarray, dtype: Optional[DecimalDtype]) -> "DecimalArray":
        decimals = [_as_decimal(v) for v in values.tolist()]
        mask = np.fromiter((d is None for d in decimals), dtype=bool, count=len(decimals))
        present = [d for d in decimals if d is not None]
        scale = dtype.scale if dtype is not None else max(map(scaled.decimals_needed, present), default=0)
        integers = np.empty(len(decimals), dtype=object)
        integers[:] = [0 if d is None else scaled.from_decimal(d, scale) for d in decimals]
        return cls._from_parts(integers, mask, scale)

    @classmethod
    def _from_sequence_of_strings(cls, strings, *, dtype=None, copy=False) -> "DecimalArray":
        return cls._from_sequence(strings, dtype=dtype, copy=copy)

    @classmethod
    def _from_factorized(cls, values, original) -> "DecimalArray":
        return cls(scaled.narrowed(np.asarray(values)), np.zeros(len(values), dtype=bool), original.scale)

    # ---- The array's own ---------------------------------------------------

    @property
    def dtype(self) -> DecimalDtype:
        return self._dtype

    @property
    def scale(self) -> int:
        return self._dtype.scale

    @property
    def integers(self) -> np.ndarray:
        """The scaled integers (0 where a value is missing)."""
        return self._data

    def __len__(self) -> int:
        return len(self._data)

    @property
    def nbytes(self) -> int:
        return self._data.nbytes + self._mask.nbytes

    def isna(self) -> np.ndarray:
        return self._mask.copy()

    @property
    def _hasna(self) -> bool:
        return bool(self._mask.any())

    def copy(self) -> "DecimalArray":
        return DecimalArray(self._data.copy(), self._mask.copy(), self.scale)

    def _scalar(self, position: int):
        if self._mask[position]:
            return pd.NA
        return Decimal(f"{int(self._data[position])}E-{self.scale}")

    def __getitem__(self, item):
        if isinstance(item, numbers.Integral):
            return self._scalar(int(item))
        item = pd.api.indexers.check_array_indexer(self, item)
        return DecimalArray(self._data[item], self._mask[item], self.scale)

    def __iter__(self):
        return iter(self.to_decimals())

    def __setitem__(self, key, value) -> None:
        """Sets values exactly; one with more decimals than the column holds
        is a ValueError (astype to a wider decimal[n] first)."""
        key = pd.api.indexers.check_array_indexer(self, key)
        many = pd.api.types.is_list_like(value)
        incoming = (DecimalArray._from_sequence(value) if many
                    else DecimalArray._from_objects(np.array([value], dtype=object), None))
        incoming = incoming._exact_at(self.scale)
        if self._data.dtype != object and incoming._data.dtype == object:
            self._data = self._data.astype(object)
        self._data[key] = incoming._data if many else incoming._data[0]
        self._mask[key] = incoming._mask if many else incoming._mask[0]

    def take(self, indices, *, allow_fill=False, fill_value=None) -> "DecimalArray":
        fill_integer, fill_missing = 0, True
        if allow_fill and not _missing(fill_value):
            filler = DecimalArray._from_objects(np.array([fill_value], dtype=object), self.dtype)
            fill_integer, fill_missing = filler._data[0], False
        data = take(self._data, indices, allow_fill=allow_fill, fill_value=fill_integer)
        mask = take(self._mask, indices, allow_fill=allow_fill, fill_value=fill_missing)
        return DecimalArray(data, mask, self.scale)

    @classmethod
    def _concat_same_type(cls, to_concat) -> "DecimalArray":
        scale = max(a.scale for a in to_concat)
        parts = [a._exact_at(scale) for a in to_concat]
        if any(p._data.dtype == object for p in parts):
            data = np.concatenate([p._data.astype(object) for p in parts])
        else:
            data = np.concatenate([p._data for p in parts])
        return cls(data, np.concatenate([p._mask for p in parts]), scale)

    def _values_for_factorize(self):
        # INT64_MIN is never a value: magnitudes stay within INT64_MAX.
        if self._data.dtype == object:
            values = self._data.copy()
            values[self._mask] = None
            return values, None
        return np.where(self._mask, np.iinfo(np.int64).min, self._data), np.iinfo(np.int64).min

    def _values_for_argsort(self) -> np.ndarray:
        return self._data

    def __array__(self, dtype=None):
        if dtype is not None and np.dtype(dtype).kind == "f":
            return self.to_floats().astype(dtype, copy=False)
        return self.to_decimals()

    def __arrow_array__(self, type=None):  # noqa: A002 - pyarrow's name
        import pyarrow as pa
        return pa.array(self.to_decimals(None), type=type, from_pandas=True)

    def _formatter(self, boxed: bool = False):
        return lambda value: "<NA>" if value is pd.NA else str(value)

    # ---- Conversions -------------------------------------------------------

    def to_decimals(self, missing=pd.NA) -> np.ndarray:
        """An object array of Decimal, missing where a value is missing."""
        return scaled.to_decimals(self._data, self._mask, self.scale, missing)

    def to_floats(self) -> np.ndarray:
        """The nearest doubles, NaN where a value is missing."""
        data = self._data
        if data.dtype != object and self.scale <= 22 and scaled.peak(data) < 2**53:
            # Both operands exact as doubles: the one division rounds once.
            floats = data.astype(np.float64) / 10.0**self.scale
        else:
            floats = np.array([float(d) for d in self.to_decimals(Decimal(0))], dtype=np.float64)
        floats[self._mask] = np.nan
        return floats

    def _exact_at(self, scale: int) -> "DecimalArray":
        """The same values at a scale at least as large."""
        if scale == self.scale:
            return self
        if scale < self.scale:
            rounded = self.round(scale)
            if not (rounded == self).fillna(True).all():
                raise ValueError(f"xev: values with more than {scale} decimals do not fit decimal[{scale}]")
            return DecimalArray(scaled.rescaled(rounded._data, scale - rounded.scale), self._mask.copy(), scale)
        return DecimalArray(scaled.rescaled(self._data, scale - self.scale), self._mask, scale)

    def astype(self, dtype, copy=True):
        dtype = pd.api.types.pandas_dtype(dtype)
        if isinstance(dtype, DecimalDtype):
            if dtype.scale >= self.scale:
                made = self._exact_at(dtype.scale)
                return made.copy() if copy and made is self else made
            rounded = self.round(dtype.scale)
            return DecimalArray(scaled.rescaled(rounded._data, dtype.scale - rounded.scale), rounded._mask,
                                dtype.scale)
        if isinstance(dtype, pd.Float64Dtype) or isinstance(dtype, pd.Float32Dtype):
            return pd.arrays.FloatingArray(self.to_floats().astype(dtype.numpy_dtype), self._mask.copy())
        if isinstance(dtype, np.dtype) and dtype.kind == "f":
            return self.to_floats().astype(dtype, copy=False)
        if pd.api.types.is_integer_dtype(dtype):
            return self._as_integers(dtype)
        if isinstance(dtype, pd.StringDtype):
            return pd.array([None if d is None else str(d) for d in self.to_decimals(None)], dtype=dtype)
        if isinstance(dtype, np.dtype) and dtype.kind == "U":
            return np.array([str(d) for d in self.to_decimals()], dtype=dtype)
        if isinstance(dtype, np.dtype) and dtype == object:
            return self.to_decimals()
        return super().astype(dtype, copy=copy)

    def _as_integers(self, dtype):
        whole = self.round(0)
        if not (whole == self).fillna(True).all():
            raise TypeError(f"xev: cannot cast {self.dtype} values with decimals to {dtype} exactly; "
                            "round them first")
        integers = scaled.narrowed(whole._data)
        if isinstance(dtype, np.dtype):
            if self._hasna:
                raise ValueError(f"xev: cannot cast missing values to {dtype}; use Int64")
            return integers.astype(dtype)
        return pd.arrays.IntegerArray(integers.astype(dtype.numpy_dtype), self._mask.copy()) \
            if dtype.numpy_dtype == np.int64 else pd.array(whole.to_decimals(None), dtype=dtype)

    # ---- Rounding and missing values ----------------------------------------

    def round(self, decimals: int = 0, *args, **kwargs) -> "DecimalArray":
        """Rounded half away from zero to decimals places (negative: tens,
        hundreds...); the result has max(decimals, 0) decimals when that is
        fewer than the array's."""
        if decimals >= self.scale:
            return self.copy()
        factor = 10 ** (self.scale - decimals)
        quotient = scaled.divided_half_away(self._data, factor)
        if decimals < 0:
            quotient = scaled.rescaled(quotient, -decimals)
        return DecimalArray._from_parts(quotient, self._mask.copy(), max(decimals, 0))

    def fillna(self, value=None, method=None, limit=None) -> "DecimalArray":
        if method is not None or value is None:
            return super().fillna(value=value, method=method, limit=limit)
        filled = self.copy()
        filled[self._mask] = value if not pd.api.types.is_list_like(value) else value[self._mask]
        return filled

    # ---- Arithmetic and comparison -----------------------------------------

    def _operand(self, other) -> Optional["DecimalArray"]:
        """other as a DecimalArray of this length, or None for what is no number."""
        if isinstance(other, DecimalArray):
            return other
        if isinstance(other, (pd.Series, pd.Index)):
            other = other.array
        if pd.api.types.is_list_like(other):
            other = DecimalArray._from_sequence(other)
            if len(other) != len(self):
                raise ValueError("xev: operands of different lengths")
            return other
        try:
            one = DecimalArray._from_objects(np.array([other], dtype=object), None)
        except TypeError:
            return None
        return DecimalArray(np.repeat(one._data, len(self)), np.repeat(one._mask, len(self)), one.scale)

    def _arith_method(self, other, op):
        right = self._operand(other)
        if right is None:
            return NotImplemented
        name = op.__name__.strip("_")
        left = self
        if name.startswith("r"):  # radd, rsub...: other is the left operand
            left, right, name = right, self, name[1:]
        mask = left._mask | right._mask
        method = _ARITHMETIC.get(name)
        if method is None:
            raise TypeError(f"xev: {op.__name__} is not defined for decimal columns")
        return method(left, right, mask)

    def _cmp_method(self, other, op):
        right = self._operand(other)
        if right is None:
            return NotImplemented
        left_values, right_values, _ = scaled.aligned(self._data, self.scale, right._data, right.scale)
        left_values, right_values = scaled.common(left_values, right_values)
        result = np.asarray(op(left_values, right_values), dtype=bool)
        return pd.arrays.BooleanArray(result, self._mask | right._mask)

    def __neg__(self) -> "DecimalArray":
        return DecimalArray(-self._data, self._mask.copy(), self.scale)

    def __pos__(self) -> "DecimalArray":
        return self.copy()

    def __abs__(self) -> "DecimalArray":
        return DecimalArray(np.abs(self._data), self._mask.copy(), self.scale)

    # ---- Reductions --------------------------------------------------------

    def _reduce(self, name: str, *, skipna: bool = True, **kwargs):
        if not skipna and self._hasna:
            return pd.NA
        present = self[~self._mask]
        if name == "sum":
            if len(present) < kwargs.get("min_count", 0):
                return pd.NA
            return present._total()
        if name in ("min", "max"):
            if len(present) == 0:
                return pd.NA
            values = present._data
            return present._scalar(int(np.argmin(values) if name == "min" else np.argmax(values)))
        if name == "mean":
            return present._mean()
        if name == "median":
            return present._median()
        if name in ("std", "var"):
            floats = present.to_floats()
            ddof = kwargs.get("ddof", 1)
            if len(floats) <= ddof:
                return np.nan
            return float(getattr(np, name)(floats, ddof=ddof))
        if name in ("any", "all"):
            return bool(getattr(np, name)(present._data != 0))
        raise TypeError(f"xev: decimal columns do not support {name}")

    def _total(self):
        integers = scaled.widened(self._data, scaled.peak(self._data) * max(len(self), 1))
        return Decimal(f"{int(integers.sum())}E-{self.scale}")

    def _quotient(self, dividend: int, divisor: int):
        """dividend / divisor (integers at this scale) at the division's scale."""
        extra = DIVISION_EXTRA_DECIMALS
        value = scaled.divided_half_away(np.array([dividend * 10**extra], dtype=object), divisor)[0]
        return Decimal(f"{int(value)}E-{self.scale + extra}")

    def _mean(self):
        if len(self) == 0:
            return pd.NA
        total = int(scaled.widened(self._data, scaled.peak(self._data) * len(self)).sum())
        return self._quotient(total, len(self))

    def _median(self):
        if len(self) == 0:
            return pd.NA
        ordered = np.sort(self._data)
        middle = len(ordered) // 2
        if len(ordered) % 2:
            return self._quotient(int(ordered[middle]), 1)
        return self._quotient(int(ordered[middle - 1]) + int(ordered[middle]), 2)

    def _quantile(self, qs, interpolation):
        floats = pd.arrays.FloatingArray(self.to_floats(), self._mask.copy())
        return floats._quantile(qs, interpolation)

    def cumsum(self, axis: int = 0, dtype=None, out=None) -> "DecimalArray":
        """Running totals, exact, at the column's scale: what np.cumsum and so
        Series.cumsum call. From a missing value on, totals are missing
        (Series.cumsum with skipna, the default, fills those in first)."""
        bound = scaled.peak(self._data) * max(len(self), 1)
        totals = np.cumsum(scaled.widened(self._data, bound))  # masked slots hold 0
        return DecimalArray._from_parts(totals, np.logical_or.accumulate(self._mask), self.scale)

    def value_counts(self, dropna: bool = True) -> pd.Series:
        counts = pd.Series(self.to_decimals(None)).value_counts(dropna=dropna)
        index = DecimalArray._from_sequence(list(counts.index), dtype=self.dtype)
        return pd.Series(counts.to_numpy(), index=pd.Index(index))


def _add(left, right, mask, sign=1):
    a, b, scale = scaled.aligned(left._data, left.scale, right._data, right.scale)
    bound = scaled.peak(a) + scaled.peak(b)
    a, b = scaled.common(scaled.widened(a, bound), scaled.widened(b, bound))
    return DecimalArray._from_parts(a + b if sign > 0 else a - b, mask, scale)


def _multiply(left, right, mask):
    bound = scaled.peak(left._data) * scaled.peak(right._data)
    a, b = scaled.common(scaled.widened(left._data, bound), scaled.widened(right._data, bound))
    return DecimalArray._from_parts(a * b, mask, left.scale + right.scale)


def _divisor(right, mask):
    """right's integers with 1 where the quotient is missing (also for a
    zero divisor: a division by zero gives <NA>), and the widened mask."""
    mask = mask | (right._data == 0)
    return np.where(mask, 1, right._data).astype(right._data.dtype, copy=False), mask


def _true_divide(left, right, mask):
    # a / b at scale s = max(sa, sb) + extra: round(A * 10^(s - sa + sb) / B).
    divisor, mask = _divisor(right, mask)
    scale = max(left.scale, right.scale) + DIVISION_EXTRA_DECIMALS
    dividend = scaled.rescaled(left._data, scale - left.scale + right.scale)
    dividend, divisor = scaled.common(dividend, divisor)
    return DecimalArray._from_parts(scaled.divided_half_away(dividend, divisor), mask, scale)


def _floor_divide(left, right, mask):
    a, b, _ = scaled.aligned(left._data, left.scale, right._data, right.scale)
    b, mask = _divisor(DecimalArray(b, mask, 0), mask)
    a, b = scaled.common(a, b)
    return DecimalArray._from_parts(a // b, mask, 0)


def _modulo(left, right, mask):
    a, b, scale = scaled.aligned(left._data, left.scale, right._data, right.scale)
    b, mask = _divisor(DecimalArray(b, mask, 0), mask)
    a, b = scaled.common(a, b)
    return DecimalArray._from_parts(a % b, mask, scale)


_ARITHMETIC = {
    "add": _add,
    "sub": lambda left, right, mask: _add(left, right, mask, -1),
    "mul": _multiply,
    "truediv": _true_divide,
    "floordiv": _floor_divide,
    "mod": _modulo,
}


frame_round.install(DecimalDtype)
