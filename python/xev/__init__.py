"""xev: exact report formulas over pandas DataFrames and Dask DataFrames.

    import xev
    result = xev.evaluate(df, {"Net": "NumberRound(Quantity * Unit_Price, 2)"})

See docs/python.md for the whole interface.
"""

from __future__ import annotations

from typing import Any

from ._ffi import library_path
from .codepage import code_page, set_code_page
from .decimal_array import DecimalArray, DecimalDtype
from .context import (DATE_MINUS_STRING, DATETIME, LIST_ALL_EXPRESSIONS, MODULO, NO_DATE_ARITH,
                      NO_STRING_CONCAT, NUMBER, RANGES_SETS, SET_QUANTIFIERS, STRING, STRING_PLUS,
                      Context, Formula)
from .errors import ColumnError, EvaluationError, FormulaError, error_message
from .formulas_file import Definition, DefinitionError, read_formulas
from .pandas import evaluate
from . import accessor as _accessor  # noqa: F401 - registers df.xev

__all__ = [
    "Context", "Formula", "DecimalDtype", "DecimalArray", "FormulaError", "ColumnError", "EvaluationError",
    "error_message", "evaluate", "item_names", "read_formulas", "Definition", "DefinitionError", "code_page",
    "set_code_page", "library_path", "NUMBER", "DATETIME", "STRING", "LIST_ALL_EXPRESSIONS", "NO_STRING_CONCAT", "SET_QUANTIFIERS", "DATE_MINUS_STRING",
    "STRING_PLUS", "NO_DATE_ARITH", "MODULO", "RANGES_SETS",
]


def item_names(df: Any) -> "pandas.Series":
    """The data item name each column of a DataFrame becomes.

    Parameters
    ----------
    df : pandas.DataFrame or dask.dataframe.DataFrame
        The frame whose column labels are named (labels may repeat).

    Returns
    -------
    pandas.Series
        The item names, indexed by the column labels.

    Examples
    --------
    >>> xev.item_names(pd.DataFrame(columns=["Production Budget", "Year"])).tolist()
    ['Production_Budget', '_Year']
    """
    import pandas as _pd
    from .naming import item_names as _names
    return _pd.Series(_names(list(df.columns)), index=df.columns, dtype=object)
