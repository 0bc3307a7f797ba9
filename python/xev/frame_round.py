"""DataFrame.round for decimal columns.

pandas 1.5's DataFrame.round hands a column to Series.round only when its
dtype is an integer or a float one (pandas.core.frame, `_series_round`),
and returns every other column as it is; there is no extension hook on that
path. A decimal column is neither, so DataFrame.round, np.round(frame) and
round(frame) would leave it unrounded. install() wraps DataFrame.round once
per process: pandas rounds its own columns, then each decimal column the
`decimals` argument covers is rounded by its own Series.round (half away
from zero, negative places too). Where pandas already rounds extension
columns itself, rounding a rounded column again changes nothing.
"""

from __future__ import annotations

import functools

import pandas as pd

_MARK = "_xev_rounds_decimal_columns"


def _places(decimals, label):
    """The places decimals gives the column label, or None when it leaves
    the column alone (a mapping or Series without that label)."""
    if pd.api.types.is_integer(decimals):
        return int(decimals)
    try:
        return int(decimals[label])
    except KeyError:
        return None


def install(dtype_class: type) -> None:
    """Makes DataFrame.round round the columns of dtype_class too."""
    original = pd.DataFrame.round
    if getattr(original, _MARK, False):
        return

    @functools.wraps(original)
    def round(self, decimals=0, *args, **kwargs):  # noqa: A001 - pandas' name
        rounded = original(self, decimals, *args, **kwargs)
        for position, (label, dtype) in enumerate(zip(self.columns, self.dtypes)):
            places = _places(decimals, label) if isinstance(dtype, dtype_class) else None
            if places is not None:
                # By position: labels may repeat.
                rounded.isetitem(position, self.iloc[:, position].round(places))
        return rounded

    setattr(round, _MARK, True)
    pd.DataFrame.round = round
