"""What pandas users write, and the same on the Dask path: labels, names in
backquotes, single formulas, refusals that say what to do, and one typing
rule for object columns."""
from decimal import Decimal

import dask.dataframe as dd
import pandas as pd
import pytest
from conftest import values

import xev
import xev.dask

D = Decimal


def films():
    return pd.DataFrame({"Production Budget": [10, 20], "Year": [2000, 2001], "q": [1, 2]})


def test_any_label_names_an_output_and_backquotes_name_columns(evaluate):
    out = evaluate(films(), {"Year": "`Year` + 1", "Max F": "`Production Budget` * 2",
                             "Net-Amount": "`Max F`() + q", "q": "q * 10"})
    assert list(out.columns) == ["Year", "Max F", "Net-Amount", "q"]
    assert out.to_dict("list") == {"Year": [2001, 2002], "Max F": [20, 40], "Net-Amount": [21, 42], "q": [10, 20]}
    assert str(out["Year"].dtype) == "decimal[0]"


def test_a_single_formula_gives_a_series(evaluate):
    out = evaluate(films(), "q * 2 + 0.5")
    assert isinstance(out, pd.Series) and out.name is None and values(out) == [D("2.5"), D("4.5")]


@pytest.mark.parametrize("formulas, code, hint", [
    ({"A": "A() + 1"}, 125, ""),
    ({"A": "B() + 1", "B": "A() * 2", "C": "q"}, 125, ""),
    ({"X": "Production Budget * 2"}, 102, "column 'Production Budget' is the data item Production_Budget"),
    ({"X": '"Production Budget" * 2'}, 102, "is the data item Production_Budget"),
    ({"X": "Year + 1"}, 109, "column 'Year' is the data item _Year"),
    ({"X": "Prodction_Budget * 2"}, 102, "did you mean Production_Budget?"),
    ({"X": "Net * 2", "Net": "q"}, 102, "Net()"),
], ids=["itself", "each-other", "blank", "double-quotes", "keyword", "did-you-mean", "formula-call"])
def test_refusals_say_what_to_do(evaluate, formulas, code, hint):
    with pytest.raises(xev.FormulaError) as caught:
        evaluate(films(), formulas)
    assert caught.value.code == code and hint in caught.value.hint and hint in str(caught.value)


def test_frames_of_the_other_kind_and_item_names():
    frame = films()
    with pytest.raises(TypeError, match="xev.dask.evaluate takes a Dask DataFrame"):
        xev.dask.evaluate(frame, {"A": "q"})
    with pytest.raises(TypeError, match="for a Dask DataFrame, xev.dask.evaluate"):
        xev.evaluate(dd.from_pandas(frame, npartitions=1), {"A": "q"})
    expected = {"Production Budget": "Production_Budget", "Year": "_Year", "q": "q"}
    assert xev.item_names(frame).to_dict() == expected
    assert xev.item_names(dd.from_pandas(frame, npartitions=1)).to_dict() == expected


@pytest.mark.parametrize("column, options, expected", [
    ([D("1.5"), 0, None, 2], {}, [D(3), D(0), D(0), D(4)]),            # Decimal and int, as fillna(0) leaves
    ([D("1.5"), 2.25, True, None], {}, [D(3), D("4.5"), D(2), D(0)]),   # and float, bool
    ([None, None, D("2.5"), 1], {}, [D(0), D(0), D(5), D(2)]),          # no value in the first rows
    (["1.5", "x", None, "2"], {"types": {"v": "number"}}, [D(3), None, D(0), D(4)]),  # text told Number
], ids=["decimal-int", "decimal-float-bool", "first-rows-empty", "told"])
def test_object_columns_are_typed_alike_on_both_paths(evaluate, column, options, expected):
    out = evaluate(pd.DataFrame({"v": column}), {"V": "v * 2"}, **options)
    assert values(out["V"]) == expected


@pytest.mark.parametrize("column", [[D("1.5"), D(2), "n/a", D(1)], [D("1.5"), D(2), D(1), "n/a"]],
                         ids=["first-partition", "second-partition"])
def test_a_column_of_numbers_and_text_is_refused_on_both_paths(evaluate, column):
    with pytest.raises(xev.ColumnError, match="column 'v'"):
        evaluate(pd.DataFrame({"v": column}), {"V": "v * 2"})


def test_dates_beyond_datetime64_are_missing_or_raise(evaluate):
    frame = pd.DataFrame({"q": [1, 2]})
    out = evaluate(frame, {"Far": "DateConstruct(2300, 6, 1, 0, 0, 0)", "Old": "DateConstruct(1500, 1, 1, 0, 0, 0)",
                           "Near": "DateConstruct(2262, 4, 11, 0, 0, 0)"})
    assert out["Far"].isna().all() and out["Old"].isna().all()
    assert out["Near"][0] == pd.Timestamp("2262-04-11")
    with pytest.raises(xev.EvaluationError, match="'Far'.*row 0.*datetime64"):
        evaluate(frame, {"Far": "DateConstruct(2300, 6, 1, 0, 0, 0)"}, on_no_value="raise")


def test_zoned_columns_give_zoned_results_by_clock_time(evaluate):
    berlin = pd.to_datetime(["2024-03-31 01:30", "2024-10-27 01:30", "2024-06-01 12:00"]).tz_localize(
        "Europe/Berlin", ambiguous=[True, True, True])
    frame = pd.DataFrame({"t": berlin, "n": pd.to_datetime(["2024-01-01"] * 3)})
    out = evaluate(frame, {"Later": "t + 1 HOUR", "Hour": "DateHour(t)", "Naive": "n + 1 DAY",
                           "Mixed": "DateIFF(1, t, n, n)"})
    assert str(out["Later"].dtype) == "datetime64[ns, Europe/Berlin]" and str(out["Naive"].dtype) == "datetime64[ns]"
    assert str(out["Mixed"].dtype) == "datetime64[ns]"  # columns of more than one zone: clock times
    assert values(out["Hour"]) == [1, 1, 12]  # the clock time of the column's own zone
    # 02:30 does not exist on the night of the change to summer time: read
    # with the offset before it, it is 03:30; 02:30 of the change back is
    # the first of the two.
    assert [t.isoformat() for t in out["Later"]] == [
        "2024-03-31T03:30:00+02:00", "2024-10-27T02:30:00+02:00", "2024-06-01T13:00:00+02:00"]


def test_the_frame_accessor_and_type_names():
    frame = films()
    assert values(frame.xev.evaluate("q + 1")) == [D(2), D(3)]
    for assigned in (frame.xev.assign(Double="q * 2", Quad="Double() * 2"),
                     dd.from_pandas(frame, npartitions=2).xev.assign(Double="q * 2", Quad="Double() * 2").compute()):
        assert list(assigned.columns) == [*frame.columns, "Double", "Quad"]
        assert values(assigned["Quad"]) == [D(4), D(8)]
    assert frame.xev.item_names["Year"] == "_Year"
    context = xev.Context()
    context.add_data_item("When", "datetime")
    assert context.data_items == {"When": xev.DATETIME}
    with pytest.raises(ValueError, match="unknown data type 'date'"):
        context.add_data_item("Other", "date")
