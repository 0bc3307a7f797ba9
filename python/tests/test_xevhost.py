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
