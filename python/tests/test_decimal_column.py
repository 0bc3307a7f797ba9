import pickle
from decimal import Decimal

import dask.dataframe as dd
import numpy as np
import pandas as pd
import pytest
from conftest import values

import xev

D = Decimal


def orders():
    return pd.DataFrame({
        "q": [3, 1, 2, 4],
        "p": [19.99, 0.1, 5.5, 2.25],
        "d": [0.15, None, 0.0, 0.1],
        "when": pd.to_datetime(["2024-02-29", "1999-12-31 23:00", None, "2024-01-01"]),
        "name": ["Ann", "Bo", "", "Cy"],
        "region": ["n", "s", "n", "s"],
    })


@pytest.mark.parametrize("formula, dtype, expected", [
    ("q * p * (1 - d)", "decimal[4]", [D("50.9745"), D("0.1"), D(11), D("8.1")]),
    ("NumberRound(q * p * (1 - d), 2)", "decimal[2]", [D("50.97"), D("0.10"), D(11), D("8.10")]),
    ("q / 3", "decimal[22]", [D(1), D("0.3333333333333333333333"), D("0.6666666666666666666667"),
                              D("1.333333333333333333333")]),
    (f"q * 1{'0' * 18} + p", "decimal[2]", [D("3e18") + D("19.99"), D("1e18") + D("0.1"),
                                            D("2e18") + D("5.5"), D("4e18") + D("2.25")]),  # 128 bits
    ("DateYear(when)", "Int64", [2024, 1999, None, 2024]),
    ("StrLength(name)", "Int64", [3, 2, 0, 2]),
    ("when - DateConstruct(1999, 12, 1, 12, 0, 0)", "Int64", [8856, 30, None, 8797]),  # whole days
    ("DateYear(when) / 8", "decimal[3]", [D("253"), D("249.875"), D(0), D(253)]),
    ("d / q", "decimal[3]", [D("0.05"), D(0), D(0), D("0.025")]),  # the second partition needs more decimals
])
def test_number_results_are_exact_columns(evaluate, formula, dtype, expected):
    out = evaluate(orders(), {"F": formula})["F"]
    assert str(out.dtype) == dtype
    assert values(out) == expected


@pytest.mark.parametrize("odd, dtype", [(1.5, "decimal[1]"), (1.25, "decimal[2]"), (1e20, "decimal[1]")],
                         ids=["alike", "more-decimals", "beyond-int64"])
def test_one_row_far_from_the_first_decides_a_long_columns_scale(evaluate, odd, dtype):
    prices = np.full(10_000, 1.5)
    prices[3000] = odd
    out = evaluate(pd.DataFrame({"p": prices}), {"F": "p * 1"})["F"]
    assert (str(out.dtype), out[3000], out[9999]) == (dtype, D(repr(odd)), D("1.5"))


def test_decimal_objects_and_wide_values():
    frame = pd.DataFrame({"x": [D(10**30), D(1)]})
    out = xev.evaluate(frame, {"F": "x / 3"})  # 52 digits at one scale: more than 128 bits
    assert out["F"].dtype == "decimal[22]"
    assert out["F"].tolist() == [D("3.333333333333333333333e29"), D("0.3333333333333333333333")]
    objects = xev.evaluate(frame, {"F": "x / 4"}, numbers="decimal")["F"]
    assert objects.dtype == object and objects.tolist() == [D("2.5e29"), D("0.25")]


def column(texts, dtype=None):
    return pd.Series(pd.array([None if t is None else D(t) for t in texts], dtype=dtype or "decimal[2]"))


def test_arithmetic_comparison_and_rounding():
    a, b = column(["1.25", None, "-3.50", "10.00"]), column(["0.10", "2.00", "0", "3.00"])
    assert values(a + b) == [D("1.35"), None, D("-3.5"), D(13)]
    assert values(a - 1) == values(a + -1) == [D("0.25"), None, D("-4.5"), D(9)]
    assert values(a * b) == [D("0.125"), None, D(0), D(30)] and (a * b).dtype == "decimal[4]"
    # Division: six decimals more than the wider operand, half away from zero;
    # by zero it is missing.
    assert (a / b).dtype == "decimal[8]"
    assert values(a / b) == [D("12.5"), None, None, D("3.33333333")]
    assert values(-a / 3) == [D("-0.41666667"), None, D("1.16666667"), D("-3.33333333")]
    assert values(a + 0.1) == [D("1.35"), None, D("-3.4"), D("10.1")]  # a float by its shortest text
    assert values(a + pd.Series(pd.array([1, None, 2, 3], dtype="Int64"))) == [D("2.25"), None, D("-1.5"), D(13)]
    assert values(a > b) == [True, None, False, True] and bool((a == D("1.25"))[0])
    assert values(a.round(1)) == [D("1.3"), None, D("-3.5"), D(10)]
    assert values(column(["1250.00", "-1500.00", "1499.99"]).round(-3)) == [D(1000), D(-2000), D(1000)]
    assert values(a // b) == [D(12), None, None, D(3)] and values(a % b) == [D("0.05"), None, None, D(1)]


@pytest.mark.parametrize("rounded, expected", [
    (lambda f: f.round(1), {"v": ("decimal[1]", [D("1.3"), None, D("-3.5")]), "f": [1.3, 2.0, 3.1]}),
    (lambda f: np.round(f, 1), {"v": ("decimal[1]", [D("1.3"), None, D("-3.5")]), "f": [1.3, 2.0, 3.1]}),
    (lambda f: round(f, -1), {"v": ("decimal[0]", [D(0), None, D(0)]), "f": [0.0, 0.0, 0.0]}),
    (lambda f: f.round({"v": 0}), {"v": ("decimal[0]", [D(1), None, D(-4)]), "f": [1.26, 2.0, 3.14]}),
    (lambda f: f.round(pd.Series({"f": 0})), {"v": ("decimal[2]", [D("1.25"), None, D("-3.5")]), "f": [1.0, 2.0, 3.0]}),
    (lambda f: dd.from_pandas(f, npartitions=2).round(1).compute(scheduler="sync"),
     {"v": ("decimal[1]", [D("1.3"), None, D("-3.5")]), "f": [1.3, 2.0, 3.1]}),
], ids=["method", "numpy", "builtin-negative", "mapping", "series-without-it", "dask"])
def test_frame_round_rounds_decimal_columns(rounded, expected):
    out = rounded(pd.DataFrame({"v": column(["1.25", None, "-3.50"]), "f": [1.26, 2.0, 3.14]}))
    assert (str(out["v"].dtype), values(out["v"])) == expected["v"] and values(out["f"]) == expected["f"]


@pytest.mark.parametrize("dtype", ["float64", "Float64"])
@pytest.mark.parametrize("floats", [[0.1, 0.2, 2.675, np.nan], [1e-7, -0.0, 123456789012.34, 2.5e-10],
                                    [0.1, 1 / 3], [0.5, 99999999999999.9]],
                         ids=["cents", "small-and-large", "seventeen-digits", "fifteen-digits"])
def test_float_operands_count_by_their_shortest_text(floats, dtype):
    zeros = pd.Series(pd.array([0] * len(floats), dtype="decimal[0]"))
    expected = [None if np.isnan(f) else D(repr(f)) for f in floats]
    assert values(zeros + pd.Series(floats, dtype=dtype)) == expected


def test_reductions_and_describe():
    a = column(["1.25", None, "-3.50", "10.00"])
    assert (a.sum(), a.min(), a.max()) == (D("7.75"), D("-3.5"), D(10))
    assert a.mean() == D("2.58333333") and a.median() == D("1.25")
    assert pd.isna(a.sum(skipna=False)) and a.count() == 3
    assert a.cumsum().dtype == "decimal[2]" and values(a.cumsum()) == [D("1.25"), None, D("-2.25"), D("7.75")]
    assert values(a.cumsum(skipna=False)) == [D("1.25"), None, None, None]
    described = pd.DataFrame({"a": a}).describe()["a"]
    assert described["count"] == 3 and described["max"] == 10.0 and described["mean"] == pytest.approx(2.5833333)
    assert list(pd.DataFrame({"a": a, "s": ["x"] * 4}).select_dtypes("number").columns) == ["a"]


def test_missing_values_and_conversions():
    a = column(["1.25", None, "-3.50"])
    assert a.isna().tolist() == [False, True, False]
    assert values(a.fillna(0)) == [D("1.25"), D(0), D("-3.5")] and a.fillna(0).dtype == "decimal[2]"
    floats = a.astype(float)
    assert floats.dtype == np.float64 and np.isnan(floats[1]) and floats[0] == 1.25
    assert values(a.astype("Float64")) == [1.25, None, -3.5]
    assert a.astype(object).tolist()[::2] == [D("1.25"), D("-3.50")]
    assert a.astype(str).tolist() == ["1.25", "<NA>", "-3.50"]
    assert values(a.astype("decimal[1]")) == [D("1.3"), None, D("-3.5")]  # half away from zero
    assert values(column(["2", None]).astype("Int64")) == [2, None]
    with pytest.raises(TypeError, match="round them first"):
        a.astype("Int64")
    with pytest.raises(ValueError, match="more than 2 decimals"):
        pd.array([D("0.125")], dtype="decimal[2]")
    changed = a.copy()
    changed[1], changed[0], changed[2:] = D("2.5"), None, [10**30]
    assert values(changed) == [None, D("2.5"), D(10**30)]
    with pytest.raises(ValueError, match="more than 2 decimals"):
        changed[0] = D("0.001")


def test_sorting_grouping_concatenation_pickling_display():
    frame = pd.DataFrame({"g": ["x", "y", "x", "y"], "v": column(["1.25", None, "-3.50", "10.00"])})
    assert frame.sort_values("v")["v"].index.tolist() == [2, 0, 3, 1]
    sums = frame.groupby("g")["v"].sum()
    assert sums.dtype == "decimal[2]" and sums.tolist() == [D("-2.25"), D(10)]
    assert frame.groupby("v").size().index.dtype == "decimal[2]"
    joined = pd.concat([frame["v"], column(["0.125"], "decimal[3]"), pd.Series(pd.array([7], dtype="Int64"))])
    assert joined.dtype == "decimal[3]" and values(joined)[-2:] == [D("0.125"), D(7)]
    again = pickle.loads(pickle.dumps(frame))
    assert again["v"].dtype == "decimal[2]" and values(again["v"]) == values(frame["v"])
    assert repr(frame["v"]).splitlines()[:2] == ["0     1.25", "1     <NA>"]
    assert "decimal[2]" in repr(frame.dtypes)


def test_decimal_columns_feed_formulas_exactly(evaluate):
    frame = pd.DataFrame({"v": column(["1.25", None, "-3.50", "10.00", "7", "8"]),
                          "w": pd.Series(pd.array([D("1e30"), D(1), None, D("0.5"), 0, 0], dtype="decimal[1]")),
                          "n": column(["5", "6", None, "-7", "0", "0"], "decimal[0]")}).iloc[:4]
    out = evaluate(frame, {"V": "v * 3", "W": "w + 1", "N": "n * 2"})
    assert values(out["V"]) == [D("3.75"), D(0), D("-10.5"), D(30)]  # NULL counts as 0
    assert values(out["W"]) == [D("1e30") + 1, D(2), D(1), D("1.5")]
    assert values(out["N"]) == [D(10), D(12), D(0), D(-14)]
    strided = evaluate(frame.iloc[::2], {"V": "v + n"})  # every other row: arrays that are views with a step
    assert values(strided["V"]) == [D("6.25"), D("-3.5")]
