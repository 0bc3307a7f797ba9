"""Formulas over pandas DataFrames."""

from .columns import column_type
from .errors import ColumnError
from .evaluation import Evaluator, make_plan

_NO_VALUE_CHOICES = ("null", "raise")


def frame_columns(df):
    """(label, data type or ColumnError) for each column of df."""
    columns = []
    for label in df.columns:
        try:
            columns.append((label, column_type(label, df[label])))
        except ColumnError as error:
            columns.append((label, error))
    return columns


def evaluate(df, formulas, where=None, numbers="decimal", *, flags=0, threads=0, on_no_value="null"):
    """The formulas' values for every row of df, as a DataFrame with one
    column per formula and df's index (of the selected rows, with where).

    formulas  a mapping of names to formula texts, (name, text) pairs, the
              path of a formulas file, or an xev.Context (all its formulas;
              its data items read the columns whose item names match)
    where     a Number formula; only rows where it is neither NULL nor 0
    numbers   'decimal' (Decimal objects, exact), 'float' (Float64) or 'str'
    flags     context flags, for formulas given as text
    threads   threads to evaluate on (0: one per processor)
    on_no_value
              'null' (a row where a formula gives no value holds a null) or
              'raise' (xev.EvaluationError naming the formula and row)
    """
    if on_no_value not in _NO_VALUE_CHOICES:
        raise ValueError(f"xev: on_no_value is 'null' or 'raise', not {on_no_value!r}")
    plan = make_plan(frame_columns(df), formulas, where, numbers, flags)
    return Evaluator(plan, threads).evaluate(df, on_no_value)
