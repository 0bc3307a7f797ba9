"""Input the engine cannot hold whole is refused with a clear error, never cut
short, renamed or read without end."""

import os
import pickle
import subprocess

import dask.dataframe as dd
import pandas as pd
import pytest

import xev
import xev.dask

NUMBERS = pd.DataFrame({"A": [1, 2]})


@pytest.mark.parametrize("frame, formulas, where, error, match", [
    (NUMBERS, {None: "A"}, None, TypeError, "formula names are str"),
    (NUMBERS, {"F": 5}, None, TypeError, "int text"),
    (NUMBERS, {"F": "A\x00 + 100"}, None, ValueError, "formula text.*NUL"),
    (NUMBERS, {"F": "A"}, "A\x00 - 1", ValueError, "formula text.*NUL"),
    (pd.DataFrame({"S": ["ab", "a\x00b"]}, index=[7, 8]), {"L": "StrLength(S)"}, None, xev.ColumnError,
     "column 'S'.*row 8.*NUL"),
], ids=["none-name", "int-text", "nul-text", "nul-where", "nul-value"])
def test_what_the_engine_would_cut_or_misread_is_refused(frame, formulas, where, error, match):
    with pytest.raises(error, match=match):
        xev.evaluate(frame, formulas, where=where)


@pytest.mark.parametrize("content, limits, match", [
    (b"A = 1\n" * 20, {"max_bytes": 100}, "longer than 100 bytes"),
    (b"A = 1\nB = " + b"1 + " * 10 + b"1\n", {"max_line_bytes": 30}, r"f\.formulas:2: line longer than 30"),
    (b"A = 1\nF = A() \x00 + 1\n", {}, r"f\.formulas:2: a NUL byte"),
    (b"A = 1\r\nB = 'caf\xe9'\n", {}, r"f\.formulas:2: byte 9 \(0xE9\) is not valid UTF-8"),
], ids=["file", "line", "nul", "not-utf8"])
def test_a_formulas_file_is_read_within_limits(tmp_path, content, limits, match):
    path = tmp_path / "f.formulas"
    path.write_bytes(content)
    with pytest.raises(xev.DefinitionError, match=match):
        xev.read_formulas(path, **limits)


def test_endless_inputs_are_refused_or_stopped(tmp_path):
    with pytest.raises(xev.DefinitionError, match="not a regular file"):
        xev.evaluate(NUMBERS, "/dev/zero")
    pipe = tmp_path / "pipe"
    os.mkfifo(pipe)
    with subprocess.Popen(f"yes 'A = 1' > {pipe}", shell=True, stderr=subprocess.DEVNULL) as writer:
        try:
            with pytest.raises(xev.DefinitionError, match="longer than 4096 bytes"):
                xev.read_formulas(pipe, max_bytes=4096)
        finally:
            writer.kill()


def test_repeated_column_labels_read_as_numbered_items():
    frame = pd.DataFrame([[1, 20, "x"], [3, 40, "y"]], columns=["A", "A", "A"])
    formulas = {"F": "A + A_2", "S": "A_3 || 'z'"}
    expected = {"F": [21, 43], "S": ["xz", "yz"]}
    assert xev.evaluate(frame, formulas).to_dict("list") == expected
    spread = xev.dask.evaluate(dd.from_pandas(frame, npartitions=2), formulas)
    assert spread.compute(scheduler="sync").to_dict("list") == expected


def test_texts_and_names_of_any_script_round_trip(evaluate):
    frame = pd.DataFrame({"Łódź": ["Αθήνα", "北京", "Москва", "ok 😀", "e\u0301"]})
    out = evaluate(frame, {"Same": "Łódź", "Len": "StrLength(Łódź)", "Up": "StrUpper(Łódź)", "Город": "StrLeft(Łódź, 1)"})
    assert out.to_dict("list") == {"Same": frame["Łódź"].tolist(), "Len": [5, 2, 6, 4, 2],
                                   "Up": ["ΑΘΉΝΑ", "北京", "МОСКВА", "OK 😀", "E\u0301"],
                                   "Город": ["Α", "北", "М", "o", "e"]}


def test_a_code_page_that_cannot_hold_a_text_refuses_it_and_a_context_keeps_its_own():
    assert xev.code_page() == 65001
    context = xev.Context()
    context.add_data_item("Город")
    stored = pickle.dumps(context)
    xev.set_code_page(1252)
    try:
        with pytest.raises(xev.ColumnError, match=r"column 's'.*row 8 holds '北京', which code page 1252"):
            xev.evaluate(pd.DataFrame({"s": ["Café", "北京"]}, index=[7, 8]), {"x": "s"})
        with pytest.raises(ValueError, match="formula text.*code page 1252 cannot hold"):
            xev.evaluate(NUMBERS, {"F": "'Город'"})
        with pytest.raises(ValueError, match="made in code page 65001"):
            context.parse("F", "Город")
        with pytest.raises(ValueError, match=r"set_code_page\(65001\)"):
            pickle.loads(stored)
    finally:
        xev.set_code_page(65001)
    assert context.parse("F", "Город").type == xev.NUMBER
