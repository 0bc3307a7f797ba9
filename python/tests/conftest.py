import os
import sys

import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
CHECKOUT = os.path.dirname(os.path.dirname(HERE))
EXAMPLES = os.path.join(CHECKOUT, "examples")


def read_sales():
    """examples/sales.csv as pandas reads it, dates as datetime64."""
    return pd.read_csv(os.path.join(EXAMPLES, "sales.csv"), parse_dates=["Order Date", "Ship Date"])


def sales_rows(rows, seed=1):
    """rows orders drawn from the example data, with a fresh index."""
    return read_sales().sample(rows, replace=True, random_state=seed).reset_index(drop=True)


def values(column):
    """A column's values as a list, a missing one (NA, NaT, None) as None."""
    return [None if pd.isna(v) else v for v in column]


def assert_same_frame(got, expected):
    """Equal labels, dtypes and values (pandas' own check is slow on Decimal objects)."""
    assert list(got.columns) == list(expected.columns)
    assert list(got.dtypes.astype(str)) == list(expected.dtypes.astype(str))
    assert got.index.equals(expected.index)
    for name in expected.columns:
        assert values(got[name]) == values(expected[name]), name
