import datetime
from decimal import Decimal

import numpy as np
import pandas as pd
import pytest
from conftest import values

import xev

D = Decimal


def column_frame():
    """One column of every kind the engine takes, with a missing value in each
    column that can hold one."""
    return pd.DataFrame({
        "i64": np.array([1, -2, 3], dtype=np.int64),
        "u8": np.array([0, 255, 7], dtype=np.uint8),
        "flag": [True, False, True],
        "f64": [0.1, np.nan, -2.5],
        "f32": np.array([0.5, 1.25, 3.0], dtype=np.float32),
        "nint": pd.array([10, None, 30], dtype="Int64"),
        "nfloat": pd.array([0.2, None, 1.5], dtype="Float64"),
        "dec": [D("0.1"), None, D("123456789012345678.25")],
        "pyint": [2**62, 5, None],
        "when": pd.to_datetime(["2024-02-29 13:45:10.5", None, "1969-12-31"]),
        "zoned": pd.to_datetime(["2024-01-01 09:00"] * 3).tz_localize("Europe/Berlin"),
        "text": ["Café", None, "x y"],
        "stext": pd.array(["a", None, "c"], dtype="string"),
        "cat": pd.Categorical(["lo", "hi", "lo"]),
    })


IDENTITY = {name: name for name in column_frame().columns}


def test_every_column_type_in_and_out():
    out = xev.evaluate(column_frame(), IDENTITY)
    assert list(out.columns) == list(IDENTITY)
    assert out["i64"].tolist() == [D(1), D(-2), D(3)]
    assert out["u8"].tolist() == [D(0), D(255), D(7)]
    assert out["flag"].tolist() == [D(1), D(0), D(1)]
    assert values(out["f64"]) == [D("0.1"), None, D("-2.5")]
    assert out["f32"].tolist() == [D("0.5"), D("1.25"), D(3)]
    assert values(out["nint"]) == [D(10), None, D(30)]
    assert values(out["nfloat"]) == [D("0.2"), None, D("1.5")]
    assert values(out["dec"]) == [D("0.1"), None, D("123456789012345678.25")]
    assert values(out["pyint"]) == [D(2**62), D(5), None]
    assert out["when"].dtype == "datetime64[ns]"
    assert out["when"].tolist()[0] == pd.Timestamp("2024-02-29 13:45:10.5")
    assert pd.isna(out["when"][1]) and out["when"][2] == pd.Timestamp("1969-12-31")
    assert out["zoned"][0] == pd.Timestamp("2024-01-01 09:00", tz="Europe/Berlin")  # back in its zone
    assert out["text"].tolist() == ["Café", "", "x y"]
    assert out["stext"].tolist() == ["a", "", "c"]
    assert out["cat"].tolist() == ["lo", "hi", "lo"]


def test_number_forms():
    frame = column_frame()[["f64", "i64"]]
    floats = xev.evaluate(frame, {"F": "f64 * 2", "I": "i64 / 3"}, numbers="float")
    assert floats["F"].dtype == "Float64"
    assert floats["F"].tolist() == [0.2, 0.0, -5.0]  # NULL counts as 0 in arithmetic
    assert floats["I"][0] == 1 / 3
    texts = xev.evaluate(frame, {"F": "f64 * 2"}, numbers="str")
    assert texts["F"].tolist() == ["0.2", "0", "-5"]
    assert values(xev.evaluate(frame, {"F": "f64"}, numbers="str")["F"]) == ["0.1", None, "-2.5"]
    with pytest.raises(ValueError, match="numbers"):
        xev.evaluate(frame, {"F": "f64"}, numbers="double")


def test_arithmetic_is_exact():
    frame = pd.DataFrame({"a": [0.1, 1e-20], "b": [0.2, 1.0], "q": [3, 7], "d": [D("0.15"), D("0.1")]})
    out = xev.evaluate(frame, {"Sum": "a + b", "Net": "NumberRound(q * b * (1 - d), 2)",
                                "Third": "b / 3"})
    assert out["Sum"].tolist() == [D("0.3"), D("1.00000000000000000001")]
    assert out["Net"].tolist() == [D("0.51"), D("6.3")]
    assert out["Third"][0] == D("0.06666666666666666666667")
    assert xev.evaluate(frame, {"Sum": "a + b"}, numbers="float")["Sum"][0] == 0.3


def test_dates_with_units():
    frame = pd.DataFrame({"Ordered": pd.to_datetime(["2024-01-31 10:00", "2023-12-15"]),
                          "Shipped": pd.to_datetime(["2024-02-02 16:00", None])})
    out = xev.evaluate(frame, {"Next": "Ordered + 1 MONTH", "Early": "Ordered - 36 HOURS",
                               "Due": "DateMonthEnd(Ordered + 1 MONTH)", "Gap": "Shipped - Ordered",
                               "Yr": "DateYear(Ordered)"})
    assert out["Next"].tolist() == [pd.Timestamp("2024-02-29 10:00"), pd.Timestamp("2024-01-15")]
    assert out["Early"][0] == pd.Timestamp("2024-01-29 22:00")
    assert out["Due"][1] == pd.Timestamp("2024-01-31")
    assert out["Gap"][0] == D(2)  # days between the dates
    assert out["Yr"].tolist() == [D(2024), D(2023)]


def test_where_selects_rows_and_keeps_their_labels():
    frame = pd.DataFrame({"q": [0, 5, None, 2]}, index=["a", "b", "c", "d"])
    out = xev.evaluate(frame, {"Double": "q * 2"}, where="q")
    assert list(out.index) == ["b", "d"]
    assert out["Double"].tolist() == [D(10), D(4)]
    assert len(xev.evaluate(frame, {"Double": "q * 2"}, where="q * 0")) == 0
    with pytest.raises(ValueError, match="Number formula"):
        xev.evaluate(frame, {"Double": "q * 2"}, where="'yes'")


def test_formulas_of_a_mapping_may_name_later_ones_and_a_refusal_names_its_formula():
    out = xev.evaluate(pd.DataFrame({"q": [2]}), {"A": "B() + C()", "B": "C() * 10", "C": "q + 1", "D": "A()"})
    assert list(out.columns) == ["A", "B", "C", "D"] and out["D"][0] == D(33)
    with pytest.raises(xev.FormulaError) as caught:
        xev.evaluate(pd.DataFrame({"q": [1]}), {"A": "q * 2", "B": "q *"})
    assert caught.value.name == "B" and caught.value.code == 109


@pytest.mark.parametrize("order", [1, -1], ids=["each-after-the-one-it-uses", "each-before"])
def test_a_long_chain_of_formulas_in_either_order_has_its_value(order):
    chain = {f"F{i}": f"F{i - 1}() + 1" if i else "q" for i in range(300)}
    out = xev.evaluate(pd.DataFrame({"q": [1]}), dict(list(chain.items())[::order]))
    assert out["F299"][0] == D(300)


def test_unsupported_column_is_named_when_a_formula_reads_it():
    frame = pd.DataFrame({"z": [1 + 2j], "span": pd.to_timedelta([1], unit="D"), "q": [4]})
    assert xev.evaluate(frame, {"Q": "q"})["Q"][0] == D(4)  # columns nobody reads are left alone
    with pytest.raises(xev.ColumnError, match="column 'z'.*complex128") as caught:
        xev.evaluate(frame, {"Z": "z * 2"})
    assert caught.value.column == "z"
    with pytest.raises(xev.ColumnError, match="column 'span'"):
        xev.evaluate(frame, {"S": "q"}, where="span")
    mixed = pd.DataFrame({"m": ["a", 1.5]})
    with pytest.raises(xev.ColumnError, match="column 'm'.*mixed"):
        xev.evaluate(mixed, {"M": "StrLeft(m, 1)"})


def test_no_value_rows_are_null_or_raise():
    # An infinity is no number: the item gives no value, and so does the formula.
    frame = pd.DataFrame({"x": [12.5, np.inf]}, index=[10, 20])
    assert values(xev.evaluate(frame, {"N": "x * 2"})["N"]) == [D(25), None]
    with pytest.raises(xev.EvaluationError) as caught:
        xev.evaluate(frame, {"N": "x * 2"}, on_no_value="raise")
    assert (caught.value.formula, caught.value.row) == ("N", 20)


@pytest.mark.parametrize("on_no_value", ["null", "raise"])
def test_memory_short_inside_a_formula_is_an_error_not_an_empty_cell(on_no_value):
    with pytest.raises(MemoryError):
        xev.evaluate(pd.DataFrame({"x": [1]}), {"S": "StrRepeat('abc', 1000000000)"}, on_no_value=on_no_value)


def test_a_context_reads_the_columns_its_items_name():
    context = xev.Context()
    context.add_data_item("Unit_Price")
    context.add_data_item("Sold", xev.DATETIME)
    context.parse("Price", "Unit_Price * 2")
    context.parse("DayOf", "DateDay(Sold)")
    frame = pd.DataFrame({"Unit Price": [1.5], "Sold": [datetime.datetime(2024, 5, 6)]})
    out = xev.evaluate(frame, context)
    assert out.to_dict("list") == {"Price": [D(3)], "DayOf": [D(6)]}
    assert len(context) == 2  # the where formula goes into a copy
    xev.evaluate(frame, context, where="Unit_Price")
    assert len(context) == 2
    with pytest.raises(ValueError, match="data item 'Sold' has no column"):
        xev.evaluate(frame[["Unit Price"]], context)


def test_threads_give_the_same_result():
    frame = pd.DataFrame({"q": np.arange(50_000), "s": ["ab", "cd"] * 25_000})
    formulas = {"A": "q / 7", "S": "s || NumberToStr(q, 0)"}
    one = xev.evaluate(frame, formulas, threads=1)
    pd.testing.assert_frame_equal(one, xev.evaluate(frame, formulas, threads=4))


def test_empty_frames_keep_column_types_and_object_columns_are_typed_by_all_rows():
    frame = pd.DataFrame({"q": pd.Series([], dtype="int64"), "d": pd.Series([], dtype="datetime64[ns]")})
    out = xev.evaluate(frame, {"A": "q", "B": "d + 1 DAY", "C": "'x'"}, numbers="float")
    assert len(out) == 0 and list(out.dtypes.astype(str)) == ["Float64", "datetime64[ns]", "object"]
    late = pd.DataFrame({"v": [None] * 1500 + [D("2.5")], "s": ["a"] * 1500 + [7]})
    out = xev.evaluate(late, {"V": "v * 2"})  # the first rows alone would make v a String
    assert values(out["V"])[-2:] == [D(0), D(5)]
    with pytest.raises(xev.ColumnError, match="column 's'.*mixed-integer"):
        xev.evaluate(late, {"S": "s"})
