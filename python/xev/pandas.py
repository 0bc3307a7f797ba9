"""Formulas over pandas DataFrames."""

from __future__ import annotations

from typing import Any, Hashable, Mapping, Optional, Union

import pandas as pd

from .columns import column_type, dtype_type
from .context import canonical_type
from .errors import ColumnError, FormulaError
from .evaluation import Evaluator, make_plan
from .formulas_file import SINGLE_LABEL, is_single_formula

_NO_VALUE_CHOICES = ("null", "raise")
# Object columns are first typed by this many rows; the ones the formulas
# read are then confirmed over all of their rows.
_SAMPLE_ROWS = 1000


def _typed(label, series):
    try:
        return label, column_type(label, series)
    except ColumnError as error:
        return label, error


def _by_dtype(label, dtype):
    try:
        return label, dtype_type(label, dtype)
    except ColumnError as error:
        return label, error


def frame_columns(df, sample=None, types=None):
    """(label, data type or ColumnError) for each column of df; object
    columns typed by their first sample rows when sample is given, or as
    types ({label: type name}) says. Only object and category columns are
    looked into: the dtype tells the rest, which keeps a frame of very many
    columns quick to plan."""
    types = told_types(types)
    columns = []
    for position, (label, dtype) in enumerate(zip(df.columns, df.dtypes)):
        if label in types:
            columns.append((label, types[label]))
        elif dtype == object or isinstance(dtype, pd.CategoricalDtype):
            series = df.iloc[:, position]  # by position: labels may repeat
            columns.append(_typed(label, series.iloc[:sample] if sample and dtype == object else series))
        else:
            columns.append(_by_dtype(label, dtype))
    return columns


def told_types(types):
    """{label: 'Number' | 'DateTime' | 'String'} of a types= argument."""
    return {label: canonical_type(type_) for label, type_ in (types or {}).items()}


def _confirmed(df, columns, plan, told):
    """columns with the sampled types of the object columns the plan reads
    replaced by those of all their rows; None when none of them changes.
    A column whose type was told keeps it: text read as a Number, say."""
    read = {position for _, _, _, position in plan.bindings}
    confirmed = list(columns)
    changed = False
    for i, (label, sampled) in enumerate(columns):
        if i in read and label not in told and df.dtypes.iloc[i] == object and len(df) > _SAMPLE_ROWS:
            confirmed[i] = _typed(label, df.iloc[:, i])
            if isinstance(confirmed[i][1], ColumnError):
                raise confirmed[i][1]
            changed = changed or confirmed[i][1] != sampled
    return confirmed if changed else None


def evaluate(df: pd.DataFrame, formulas: Any, where: Optional[str] = None, numbers: str = "exact", *,
             flags: int = 0, threads: int = 0, on_no_value: str = "null",
             types: Optional[Mapping[Hashable, str]] = None) -> Union[pd.DataFrame, pd.Series]:
    """Evaluates formulas over every row of a pandas DataFrame.

    Parameters
    ----------
    df : pandas.DataFrame
        The rows; each column a formula reads becomes a data item
        (``xev.item_names(df)`` tells their names).
    formulas : mapping, list of (name, text) pairs, str, path or xev.Context
        Formulas by output label (any label: the column keeps it), the path
        of a formulas file, an ``xev.Context`` (all its formulas), or a
        single formula text, which gives a Series.
    where : str, optional
        A Number formula; only rows where it is neither NULL nor 0 are kept.
    numbers : {'exact', 'decimal', 'float', 'str'}
        Number results as an ``xev.DecimalDtype`` column (or Int64 for a
        formula whose values are whole by nature), Decimal objects, Float64
        or text.
    flags : int
        Context flags for formulas given as text (``xev.RANGES_SETS``, ...).
    threads : int
        Threads to evaluate on (0: one per processor).
    on_no_value : {'null', 'raise'}
        A row where a formula gives no value holds a null, or raises
        ``xev.EvaluationError`` naming the formula and the row.
    types : mapping, optional
        ``{column label: 'Number' | 'DateTime' | 'String'}`` for object
        columns whose values do not tell.

    Returns
    -------
    pandas.DataFrame or pandas.Series
        One column per formula, in the order given, indexed by df's index
        (of the selected rows, with where); a Series for a single formula.
    """
    if on_no_value not in _NO_VALUE_CHOICES:
        raise ValueError(f"xev: on_no_value is 'null' or 'raise', not {on_no_value!r}")
    if not isinstance(df, pd.DataFrame):
        raise TypeError("xev: evaluate takes a pandas DataFrame; for a Dask DataFrame, xev.dask.evaluate")
    if is_single_formula(formulas):
        single = evaluate(df, [(SINGLE_LABEL, formulas)], where, numbers, flags=flags, threads=threads,
                          on_no_value=on_no_value, types=types)
        return single.iloc[:, 0].rename(None)
    plan = _plan(df, formulas, where, numbers, flags, types)
    plan.set_zones(list(df.dtypes))
    return Evaluator(plan, threads).evaluate(df, on_no_value)


def _plan(df, formulas, where, numbers, flags, types):
    columns = frame_columns(df, _SAMPLE_ROWS, types)
    sampled = len(df) > _SAMPLE_ROWS and any(dtype == object for dtype in df.dtypes)
    try:
        plan = make_plan(columns, formulas, where, numbers, flags)
    except (FormulaError, ColumnError):
        if not sampled:
            raise
        # Perhaps refused only for a type the first rows suggested.
        return make_plan(frame_columns(df, None, types), formulas, where, numbers, flags)
    confirmed = _confirmed(df, columns, plan, told_types(types)) if sampled else None
    return plan if confirmed is None else make_plan(confirmed, formulas, where, numbers, flags)
