"""Formulas over pandas DataFrames."""

import pandas as pd

from .columns import column_type, dtype_type
from .errors import ColumnError, FormulaError
from .evaluation import Evaluator, make_plan

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


def frame_columns(df, sample=None):
    """(label, data type or ColumnError) for each column of df; object
    columns typed by their first sample rows when sample is given. Only
    object and category columns are looked into: the dtype tells the rest,
    which keeps a frame of very many columns quick to plan."""
    columns = []
    for position, (label, dtype) in enumerate(zip(df.columns, df.dtypes)):
        if dtype == object or isinstance(dtype, pd.CategoricalDtype):
            series = df.iloc[:, position]  # by position: labels may repeat
            columns.append(_typed(label, series.iloc[:sample] if sample and dtype == object else series))
        else:
            columns.append(_by_dtype(label, dtype))
    return columns


def _confirmed(df, columns, plan):
    """columns with the sampled types of the object columns the plan reads
    replaced by those of all their rows; None when none of them changes."""
    read = {position for _, _, _, position in plan.bindings}
    confirmed = list(columns)
    changed = False
    for i, (label, sampled) in enumerate(columns):
        if i in read and df.dtypes.iloc[i] == object and len(df) > _SAMPLE_ROWS:
            confirmed[i] = _typed(label, df.iloc[:, i])
            if isinstance(confirmed[i][1], ColumnError):
                raise confirmed[i][1]
            changed = changed or confirmed[i][1] != sampled
    return confirmed if changed else None


def evaluate(df, formulas, where=None, numbers="exact", *, flags=0, threads=0, on_no_value="null"):
    """The formulas' values for every row of df, as a DataFrame with one
    column per formula and df's index (of the selected rows, with where).

    formulas  a mapping of names to formula texts, (name, text) pairs, the
              path of a formulas file, or an xev.Context (all its formulas;
              its data items read the columns whose item names match)
    where     a Number formula; only rows where it is neither NULL nor 0
    numbers   'exact' (an xev.DecimalDtype column, or Int64 for formulas whose
              values are whole by nature), 'decimal' (Decimal objects),
              'float' (Float64) or 'str'
    flags     context flags, for formulas given as text
    threads   threads to evaluate on (0: one per processor)
    on_no_value
              'null' (a row where a formula gives no value holds a null) or
              'raise' (xev.EvaluationError naming the formula and row)
    """
    if on_no_value not in _NO_VALUE_CHOICES:
        raise ValueError(f"xev: on_no_value is 'null' or 'raise', not {on_no_value!r}")
    if not isinstance(df, pd.DataFrame):
        raise TypeError("xev: evaluate takes a pandas DataFrame; for Dask, xev.dask.evaluate")
    return Evaluator(_plan(df, formulas, where, numbers, flags), threads).evaluate(df, on_no_value)


def _plan(df, formulas, where, numbers, flags):
    columns = frame_columns(df, _SAMPLE_ROWS)
    sampled = len(df) > _SAMPLE_ROWS and any(dtype == object for dtype in df.dtypes)
    try:
        plan = make_plan(columns, formulas, where, numbers, flags)
    except (FormulaError, ColumnError):
        if not sampled:
            raise
        # Perhaps refused only for a type the first rows suggested.
        return make_plan(frame_columns(df), formulas, where, numbers, flags)
    confirmed = _confirmed(df, columns, plan) if sampled else None
    return plan if confirmed is None else make_plan(confirmed, formulas, where, numbers, flags)
