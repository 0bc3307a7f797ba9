"""The package against the reference host on the example report."""

import io
import os
import subprocess
from decimal import Decimal

import pandas as pd
import pytest
from conftest import CHECKOUT, EXAMPLES, read_sales

import xev

XEVHOST = os.environ.get("XEV_XEVHOST", os.path.join(CHECKOUT, "build", "release", "xevhost"))
FORMULAS = os.path.join(EXAMPLES, "sales.formulas")


def host_report(*options):
    if not os.access(XEVHOST, os.X_OK):
        pytest.skip("xevhost is not built")
    command = [XEVHOST, os.path.join(EXAMPLES, "sales.csv"), "-f", FORMULAS, "--format", "csv", *options]
    output = subprocess.run(command, check=True, capture_output=True).stdout
    return pd.read_csv(io.BytesIO(output), dtype=str, keep_default_na=False)


def as_host_text(column):
    """A result column written as the host writes CSV: numbers in their
    shortest text (a decimal column's 217.80 is 217.8), DateTimes as ISO dates with a time when it is not
    midnight, NULL as an empty field."""
    if pd.api.types.is_datetime64_any_dtype(column):
        def iso(t):
            if pd.isna(t):
                return ""
            return t.strftime("%Y-%m-%d" if t == t.normalize() else "%Y-%m-%dT%H:%M:%S")
        return [iso(t) for t in column]
    def shortest(v):
        return format(v.normalize(), "f") if isinstance(v, Decimal) else str(v)
    return ["" if v is None or v is pd.NA else shortest(v) for v in column]


@pytest.mark.parametrize("where", [None, "Discount"])
def test_example_report_equals_the_reference_host(where):
    expected = host_report(*(["--where", where] if where else []))
    got = xev.evaluate(read_sales(), FORMULAS, where=where)
    assert list(got.columns) == list(expected.columns)
    for name in expected.columns:
        assert as_host_text(got[name]) == expected[name].tolist(), name


SCRIPTS = "\ufeffŁódź,Город,n\nΑθήνα,北京,1\nabc,😀,2\n".encode()
LATIN1 = b"A,B\n1,caf\xe9\n\xff,ok\xc3\n"


@pytest.mark.parametrize("data, formulas, options, status, out, err", [
    (SCRIPTS, "\ufeffa = Łódź || Город\nl = StrLength(Łódź || Город)\n", [], 0,
     "a,l\nΑθήνα北京,7\nabc😀,4\n", ""),
    (SCRIPTS, None, ["--formula", "x=Łódź || Gorod"], 2, "",
     "--formula:1:11: error 102: ERR_VAR: Unknown input item.\n    x=Łódź || Gorod\n              ^~~~~\n"),
    (SCRIPTS, None, ["--formula", "u=StrUpper(Łódź)", "--code-page", "1252"], 2, "",
     "xevhost: warning: {csv}:1: a character that code page 1252 cannot hold was replaced by '?'"),
    (LATIN1, None, ["--formula", "x=B", "--save", "doc.xev"], 1, "",
     "xevhost: {csv}:2: byte 6 (0xE9) is not valid UTF-8; --replace-invalid"),
    (SCRIPTS, "x = n\n# caf\xe9\n".encode("latin-1"), [], 1, "", "xevhost: {formulas}:2: byte 6 (0xE9) is not valid UTF-8"),
    (LATIN1, None, ["--formula", "x=A || B", "--replace-invalid"], 0, "x\n1caf\ufffd\n\ufffdok\ufffd\n",
     "xevhost: {csv}: 3 invalid UTF-8 sequences replaced by U+FFFD\n"),
    (LATIN1, None, ["--formula", "x=B", "--code-page", "1252"], 0, "x\ncafé\nok\u00c3\n", ""),
], ids=["scripts-and-bom", "caret-under-characters", "1252-cannot-name-them", "invalid-csv", "invalid-formulas", "replace-invalid", "1252-file"])
def test_host_reads_utf8_and_refuses_or_replaces_what_is_not(tmp_path, data, formulas, options, status, out, err):
    if not os.access(XEVHOST, os.X_OK):
        pytest.skip("xevhost is not built")
    csv, script = tmp_path / "data.csv", tmp_path / "f.formulas"
    csv.write_bytes(data)
    if formulas is not None:
        script.write_bytes(formulas.encode() if isinstance(formulas, str) else formulas)
        options = ["-f", str(script), *options]
    run = subprocess.run([XEVHOST, str(csv), "--format", "csv", *options], cwd=tmp_path, capture_output=True)
    assert (run.returncode, run.stdout.decode()) == (status, out), run.stderr
    assert run.stderr.decode().startswith(err.format(csv=csv, formulas=script)), run.stderr
    assert not (tmp_path / "doc.xev").exists()  # nothing half-written


def test_a_document_saved_under_1252_is_read_under_1252_only(tmp_path):
    if not os.access(XEVHOST, os.X_OK):
        pytest.skip("xevhost is not built")
    (tmp_path / "l1.csv").write_bytes(b"Qt\xe9,B\n1,x\n")
    host = lambda *args: subprocess.run([XEVHOST, *args], cwd=tmp_path, capture_output=True)
    assert host("l1.csv", "--code-page", "1252", "--formula", "F=Qté * 2", "--save", "d.xev", "--limit", "0").returncode == 0
    refused = host("info", "d.xev")
    assert refused.returncode == 1 and b"not UTF-8: it was saved under another code page" in refused.stderr
    assert "F (formula, Number) = Qté * 2" in host("info", "d.xev", "--code-page", "1252").stdout.decode()
