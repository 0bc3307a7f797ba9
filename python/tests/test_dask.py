import dask
import dask.dataframe as dd
import pandas as pd
import pytest
from conftest import EXAMPLES, assert_same_frame, read_sales, sales_rows
from distributed import Client, LocalCluster

import xev
import xev.dask

FORMULAS = f"{EXAMPLES}/sales.formulas"
ROWS = 300_000
PARTITIONS = 8
THREAD_ROWS = 60_000


@pytest.fixture(scope="module")
def frame():
    return sales_rows(ROWS)


@pytest.fixture(scope="module")
def expected(frame):
    return xev.evaluate(frame, FORMULAS, where="Discount")


def test_two_worker_processes_equal_the_pandas_path(frame, expected):
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        ddf = dd.from_pandas(frame, npartitions=PARTITIONS)
        result = xev.dask.evaluate(ddf, FORMULAS, where="Discount")
        assert list(result.dtypes.astype(str)) == list(expected.dtypes.astype(str))
        assert_same_frame(result.compute(), expected)
        # Each worker process loaded the context once for all its partitions.
        assert sorted(client.run(xev.dask.loaded_contexts).values()) == [1, 1]


def test_thread_workers_equal_the_pandas_path(frame, expected):
    ddf = dd.from_pandas(frame.head(THREAD_ROWS), npartitions=PARTITIONS)
    before = xev.dask.loaded_contexts()
    with LocalCluster(n_workers=1, threads_per_worker=2, processes=False, dashboard_address=None) as cluster, \
            Client(cluster):
        result = xev.dask.evaluate(ddf, FORMULAS, where="Discount").compute()
    assert_same_frame(result, expected.loc[expected.index < THREAD_ROWS])
    # Two threads at a time need two contexts in the one process, never more.
    assert 1 <= xev.dask.loaded_contexts() - before <= 2


def test_local_threads_scheduler(frame, expected):
    ddf = dd.from_pandas(frame.head(20_000), npartitions=4)  # the sync and threaded schedulers
    with dask.config.set(scheduler="threads", num_workers=2):
        result = xev.dask.evaluate(ddf, FORMULAS, where="Discount").compute()
    assert_same_frame(result, expected.loc[expected.index < 20_000])


def test_object_column_types_from_the_first_rows_or_as_told():
    frame = pd.DataFrame({"n": ["1.5", "2"], "s": ["a", "b"]})
    ddf = dd.from_pandas(frame, npartitions=1)
    told = xev.dask.evaluate(ddf, {"N": "n * 2"}, types={"n": xev.NUMBER}).compute(scheduler="sync")
    assert [str(v) for v in told["N"]] == ["3", "4"]
    with pytest.raises(xev.FormulaError):
        xev.dask.evaluate(ddf, {"N": "n * 2"})  # first rows are text: a String item


def test_refusals_come_before_any_computation():
    ddf = dd.from_pandas(read_sales().head(10), npartitions=2)
    with pytest.raises(xev.FormulaError) as caught:
        xev.dask.evaluate(ddf, {"Bad": "Quantity *"})
    assert caught.value.code == 109


def test_worker_cache_is_bounded_and_code_pages_are_set_per_process_not_per_thread():
    frame = pd.DataFrame({"q": [1, 2]})
    for n in range(xev.dask.MAX_CACHED_PLANS + 3):
        xev.dask.evaluate(dd.from_pandas(frame, npartitions=1), {"F": f"q + {n}"}).compute(scheduler="sync")
    assert xev.dask.cached_plans() == xev.dask.MAX_CACHED_PLANS
    texts = pd.DataFrame({"s": ["値段", "ab"]})
    before = xev.code_page()
    xev.set_code_page(932)
    try:
        with LocalCluster(n_workers=1, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
                Client(cluster):
            lazy = xev.dask.evaluate(dd.from_pandas(texts, npartitions=1), {"L": "StrLength(s)"})
            assert lazy.compute()["L"].tolist() == [2, 2]  # the worker process reads Shift-JIS
    finally:
        xev.set_code_page(before)
    with pytest.raises(RuntimeError, match=f"code page {before}.*code page 932"):
        lazy.compute(scheduler="sync")
