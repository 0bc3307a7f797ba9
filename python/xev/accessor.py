"""df.xev: the package's calls as methods of a pandas DataFrame.

    df.xev.evaluate({"Net": "Quantity * Unit_Price"})
    df = df.xev.assign(Net="Quantity * Unit_Price", Year="DateYear(Ordered)")
"""

from __future__ import annotations

from typing import Any, Union

import pandas as pd


@pd.api.extensions.register_dataframe_accessor("xev")
class FormulaAccessor:
    """Formulas over this DataFrame's rows."""

    def __init__(self, frame: pd.DataFrame):
        self._frame = frame

    def evaluate(self, formulas: Any, **options: Any) -> Union[pd.DataFrame, pd.Series]:
        """``xev.evaluate(df, formulas, **options)``.

        Returns
        -------
        pandas.DataFrame or pandas.Series
            One column per formula, or a Series for a single formula text.
        """
        from . import evaluate
        return evaluate(self._frame, formulas, **options)

    def assign(self, **formulas: str) -> pd.DataFrame:
        """A copy of the frame with a column for each formula, as
        ``DataFrame.assign`` does with values: ``df.xev.assign(Net="q * p")``.
        The formulas may use each other and the frame's columns.

        Returns
        -------
        pandas.DataFrame
            The frame's columns followed by the formulas' (a formula whose
            label is a column's replaces it).
        """
        from . import evaluate
        return self._frame.assign(**evaluate(self._frame, formulas))

    @property
    def item_names(self) -> pd.Series:
        """The data item name each column becomes (see ``xev.item_names``)."""
        from . import item_names
        return item_names(self._frame)
