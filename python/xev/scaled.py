"""Integer arrays that stand for decimals: value = integer / 10**scale.

The integers are int64 while every value fits, else an object array of
Python ints (exact at any size). Each operation checks, from the operands'
largest magnitudes, whether its int64 result could overflow and widens
first if so; results are narrowed back to int64 when they fit. Masked
slots always hold 0, so the largest magnitude is the array's own.
"""

from decimal import Context, Decimal

import numpy as np

INT64_MAX = 2**63 - 1
# Wide enough that scaling a value never rounds it.
_EXACT = Context(prec=100_000, Emax=10**9, Emin=-10**9)


def peak(values) -> int:
    """The largest magnitude in values, as a Python int."""
    if len(values) == 0:
        return 0
    return max(abs(int(values.max())), abs(int(values.min())))


def widened(values, bound: int):
    """values as Python ints when results up to bound would overflow int64."""
    if values.dtype == object or bound <= INT64_MAX:
        return values
    return values.astype(object)


def narrowed(values):
    """values as int64 when every one fits."""
    if values.dtype != object or peak(values) > INT64_MAX:
        return values
    return values.astype(np.int64)


def rescaled(values, places: int):
    """values times 10**places (places >= 0)."""
    if places == 0:
        return values
    factor = 10**places
    return widened(values, max(peak(values) * factor, factor)) * factor


def divided_half_away(values, divisor):
    """values / divisor rounded half away from zero; divisor non-zero (an
    int or an array of ints)."""
    values = widened(values, 2 * peak(values) + (divisor if np.isscalar(divisor) else peak(divisor)))
    magnitude = np.abs(values)
    divisor_magnitude = np.abs(divisor)
    if values.dtype == object and not np.isscalar(divisor):
        divisor_magnitude = divisor_magnitude.astype(object)
    quotient = (2 * magnitude + divisor_magnitude) // (2 * divisor_magnitude)
    negative = (values < 0) != (np.asarray(divisor) < 0)
    return np.where(negative, -quotient, quotient).astype(values.dtype, copy=False)


def aligned(left, left_scale: int, right, right_scale: int):
    """Both at the larger scale, and that scale."""
    scale = max(left_scale, right_scale)
    return rescaled(left, scale - left_scale), rescaled(right, scale - right_scale), scale


def common(left, right):
    """Both in one integer kind: int64 only when both are."""
    if left.dtype == object or right.dtype == object:
        return left.astype(object), right.astype(object)
    return left, right


def to_decimals(values, mask, scale: int, missing):
    """An object array of Decimal (missing where masked)."""
    suffix = f"E-{scale}"
    out = np.empty(len(values), dtype=object)
    out[:] = [Decimal(f"{v}{suffix}") for v in values.tolist()]
    if mask.any():
        out[mask] = missing
    return out


def decimals_needed(number: Decimal) -> int:
    """The decimals a finite number needs (0 for a whole one)."""
    if not number.is_finite():
        raise ValueError(f"xev: {number} is no number a decimal column holds")
    exponent = number.normalize(_EXACT).as_tuple().exponent if number else 0
    return max(-exponent, 0)


def from_decimal(number: Decimal, scale: int) -> int:
    """number times 10**scale; ValueError when that is not whole."""
    if not number.is_finite():
        raise ValueError(f"xev: {number} is no number a decimal column holds")
    scaled = number.scaleb(scale, _EXACT)
    whole = int(scaled)
    if whole != scaled:
        raise ValueError(f"xev: {number} has more than {scale} decimals")
    return whole
