import os
import sys

import pandas as pd
import pytest

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


def _through_dask(frame, formulas, **options):
    """xev.dask.evaluate over two partitions, computed here. The declared
    dtypes are those of the result, but for the scale of a decimal column,
    which the first rows tell and later ones may widen."""
    import dask.dataframe as dd
    import xev.dask
    lazy = xev.dask.evaluate(dd.from_pandas(frame, npartitions=2), formulas, **options)
    result = lazy.compute(scheduler="sync")
    assert lazy.map_partitions(len).compute(scheduler="sync").sum() == len(result)  # Dask's own meta work
    kind = lambda dtype: "decimal" if isinstance(dtype, xev.DecimalDtype) else str(dtype)
    declared = [lazy.dtype] if isinstance(result, pd.Series) else lazy.dtypes
    assert list(map(kind, declared)) == list(map(kind, [result.dtype] if isinstance(result, pd.Series)
                                                     else result.dtypes))
    return result


@pytest.fixture(params=["pandas", "dask"])
def evaluate(request):
    """xev.evaluate, or the same through xev.dask.evaluate: the two paths
    must agree on every case a test runs through this."""
    import xev
    return xev.evaluate if request.param == "pandas" else _through_dask
