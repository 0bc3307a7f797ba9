"""Formulas over Dask DataFrames, partition by partition.

The client parses the formulas once and sends the context to the workers as
its block, inside a small parcel of plain values and a key. A worker process
loads each parcel once and keeps the loaded context and its table for the partitions that follow;
a worker with several threads keeps one per thread that is busy at the same
time, since a context is used by one thread at a time.
"""

from __future__ import annotations

import hashlib
import pickle
import threading
from collections import OrderedDict
from decimal import Decimal
from typing import Any, Hashable, Mapping, Optional, Union

import dask.dataframe as dd
import pandas as pd
from dask.dataframe.extensions import make_array_nonempty, make_scalar
from distributed import WorkerPlugin, get_client

from .codepage import code_page, set_code_page
from .columns import dtype_type
from .decimal_array import DecimalArray, DecimalDtype
from .errors import ColumnError
from .evaluation import Evaluator, Plan, make_plan
from .formulas_file import SINGLE_LABEL, is_single_formula
from .pandas import told_types

# Rows of the first partition that type object columns (whose dtype does not
# tell numbers from text).
_SAMPLE_ROWS = 1000

@make_array_nonempty.register(DecimalDtype)
def _decimal_example(dtype):
    """What Dask runs a function on to learn the type of its result."""
    return DecimalArray._from_sequence([Decimal(1), None], dtype=dtype)


@make_scalar.register(DecimalDtype)
def _decimal_scalar(dtype):
    return Decimal(1)


# Plans a worker process keeps loaded: the ones used last, so that a process
# serving many different reports holds at most this many contexts and tables.
MAX_CACHED_PLANS = 8
_idle = OrderedDict()  # parcel key -> evaluators no thread is using, the last used at the end
_idle_lock = threading.Lock()
_loads = {"count": 0}  # contexts loaded by this process (for tests)


class PlanParcel:
    """A plan as plain values and the key that names it."""

    def __init__(self, parcel, threads):
        self.parcel = parcel
        self.threads = threads
        self.code_page = code_page()
        self.key = hashlib.sha256(pickle.dumps((parcel, threads, self.code_page))).hexdigest()

    def __dask_tokenize__(self):
        return self.key


def _acquire(parcel):
    with _idle_lock:
        free = _idle.get(parcel.key)
        if free:
            return free.pop()
    if code_page() != parcel.code_page:
        # The code page is the process's: a worker thread must not change it
        # under the others. The client sets it in each worker process before
        # any task runs (CodePagePlugin).
        raise RuntimeError(f"xev: this process reads text in code page {code_page()}, the formulas were "
                           f"parsed in code page {parcel.code_page}; with a local scheduler call "
                           "xev.set_code_page first, with a distributed cluster through a Client")
    evaluator = Evaluator(Plan.from_parcel(parcel.parcel), parcel.threads)
    with _idle_lock:
        _loads["count"] += 1
    return evaluator


def _release(parcel, evaluator):
    with _idle_lock:
        _idle.setdefault(parcel.key, []).append(evaluator)
        _idle.move_to_end(parcel.key)
        while len(_idle) > MAX_CACHED_PLANS:
            _idle.popitem(last=False)


def cached_plans():
    """How many plans this process keeps loaded (for tests)."""
    with _idle_lock:
        return len(_idle)


class CodePagePlugin(WorkerPlugin):
    """Selects the client's code page in each worker process once, when the
    worker starts (or the plugin arrives), on the worker's own thread rather
    than on the threads that run tasks."""

    name = "xev-code-page"

    def __init__(self, number):
        self.number = number

    def setup(self, worker):
        if code_page() != self.number:
            set_code_page(self.number)


def _code_page_to_workers():
    """Registers CodePagePlugin with the current distributed Client, if any;
    local schedulers run in this process, whose code page is already set."""
    try:
        client = get_client()
    except ValueError:
        return
    client.register_worker_plugin(CodePagePlugin(code_page()), name=CodePagePlugin.name)


def loaded_contexts():
    """How many contexts this process has loaded from parcels."""
    return _loads["count"]


def evaluate_partition(frame, parcel, on_no_value, scales):
    evaluator = _acquire(parcel)
    try:
        result = evaluator.evaluate(frame, on_no_value, check_types=True)
    finally:
        _release(parcel, evaluator)
    return _at_least(result, scales)


def _at_least(result, scales):
    """Decimal columns widened to the scales the meta states (exact), so
    that every partition agrees with it or holds more decimals."""
    for name, scale in scales.items():
        dtype = result[name].dtype
        if isinstance(dtype, DecimalDtype) and dtype.scale < scale:
            result[name] = result[name].astype(DecimalDtype(scale))
    return result


def _sampled_meta(plan, sample):
    """The empty frame of the result's columns, decimal columns at the scale
    the formulas give over the sample rows (the first of the first
    partition): the scale of a decimal column depends on its values."""
    meta = plan.empty_frame()
    if sample is None or not any(isinstance(dtype, DecimalDtype) and form.scale is None
                                 for dtype, form in zip(meta.dtypes, plan.forms)):
        return meta
    try:
        evaluated = Evaluator(plan, 1).evaluate(sample)
    except (MemoryError, ValueError):
        return meta
    for name, dtype in evaluated.dtypes.items():
        if isinstance(dtype, DecimalDtype) and isinstance(meta[name].dtype, DecimalDtype):
            meta[name] = meta[name].astype(dtype)
    return meta


def _first_rows(ddf, plan):
    """The first rows of the first partition, when a decimal column's scale
    is to be read from them."""
    if not any(form.scale is None and not form.whole and form.numbers == "exact" and form.type == "Number"
               for form in plan.forms):
        return None
    first = ddf.partitions[0]
    return first.map_partitions(pd.DataFrame.head, _SAMPLE_ROWS, meta=first._meta).compute()


def _object_sample(ddf, positions):
    if not positions:
        return None
    first = ddf.iloc[:, positions].partitions[0]
    return first.map_partitions(pd.DataFrame.head, _SAMPLE_ROWS, meta=first._meta).compute()


def _first_values(ddf, position):
    """The first values of a column that holds none in the first rows of
    the first partition, from whichever partitions have them: pandas types
    such a column by all its rows, and so must this."""
    column = ddf.iloc[:, position]
    return column.dropna().head(_SAMPLE_ROWS, npartitions=-1, compute=True)


def meta_columns(ddf, types=None):
    """(label, data type or ColumnError) per column of a Dask DataFrame: from
    its dtypes, object columns from their first values, or as types says."""
    types = told_types(types)
    meta = ddf._meta
    dtypes = list(meta.dtypes)
    labels = list(meta.columns)
    objects = [position for position, (label, dtype) in enumerate(zip(labels, dtypes))
               if label not in types and pd.api.types.is_object_dtype(dtype)]
    sample = _object_sample(ddf, objects)
    in_sample = {position: i for i, position in enumerate(objects)}
    columns = []
    for position, (label, dtype) in enumerate(zip(labels, dtypes)):
        if label in types:
            columns.append((label, types[label]))
            continue
        # By position: labels may repeat.
        values = sample.iloc[:, in_sample[position]] if position in in_sample else None
        if values is not None and values.isna().all():
            values = _first_values(ddf, position)
        try:
            columns.append((label, dtype_type(label, dtype, values)))
        except ColumnError as error:
            columns.append((label, error))
    return columns


def evaluate(ddf: dd.DataFrame, formulas: Any, where: Optional[str] = None, numbers: str = "exact", *,
             flags: int = 0, threads: int = 1, on_no_value: str = "null",
             types: Optional[Mapping[Hashable, str]] = None) -> Union[dd.DataFrame, dd.Series]:
    """A Dask DataFrame of the formulas' values, row for row what
    ``xev.evaluate`` gives for the whole frame.

    Parameters
    ----------
    ddf : dask.dataframe.DataFrame
        The rows, in partitions.
    formulas, where, numbers, flags, on_no_value, types
        As for ``xev.evaluate``; object columns are typed by their first
        values (the first rows of the first partition that hold any), and
        a partition whose values are of another type raises
        ``xev.ColumnError`` when computed, as pandas does for the frame.
    threads : int
        Engine threads per partition (1: the workers are the parallelism).

    Returns
    -------
    dask.dataframe.DataFrame or dask.dataframe.Series
        One column per formula (a Series for a single formula text).
    """
    if not isinstance(ddf, dd.DataFrame):
        raise TypeError(f"xev: xev.dask.evaluate takes a Dask DataFrame, not {type(ddf).__name__}; for a "
                        "pandas DataFrame use xev.evaluate, or dd.from_pandas(df, npartitions=...) first")
    if on_no_value not in ("null", "raise"):
        raise ValueError(f"xev: on_no_value is 'null' or 'raise', not {on_no_value!r}")
    if is_single_formula(formulas):
        single = evaluate(ddf, [(SINGLE_LABEL, formulas)], where, numbers, flags=flags, threads=threads,
                          on_no_value=on_no_value, types=types)
        return single[single.columns[0]].rename(None)
    _code_page_to_workers()
    plan = make_plan(meta_columns(ddf, types), formulas, where, numbers, flags)
    plan.told = frozenset(told_types(types))
    plan.set_zones(list(ddf._meta.dtypes))
    parcel = PlanParcel(plan.to_parcel(), threads)
    meta = _sampled_meta(plan, _first_rows(ddf, plan))
    meta.index = ddf._meta.index[:0]
    scales = {name: dtype.scale for name, dtype in meta.dtypes.items() if isinstance(dtype, DecimalDtype)}
    return ddf.map_partitions(evaluate_partition, parcel, on_no_value, scales, meta=meta)


@dd.extensions.register_dataframe_accessor("xev")
class DaskFormulaAccessor:
    """ddf.xev: ``evaluate`` and ``assign`` as on a pandas frame."""

    def __init__(self, frame: dd.DataFrame):
        self._frame = frame

    def evaluate(self, formulas, **options) -> Union[dd.DataFrame, dd.Series]:
        """``xev.dask.evaluate(ddf, formulas, **options)``."""
        return evaluate(self._frame, formulas, **options)

    def assign(self, **formulas: str) -> dd.DataFrame:
        """The frame with a column for each formula (``ddf.xev.assign(Net="q * p")``)."""
        result = evaluate(self._frame, formulas)
        return self._frame.assign(**{label: result[label] for label in result.columns})
