"""The package's cffi declarations against the public headers: every
function it declares has the same signature there, and every record the
same size and fields, so that a change to a header cannot silently break
the package."""

import os
import re
import shutil
import subprocess

import cffi
import pytest
from conftest import CHECKOUT

from xev import _ffi

INCLUDE = os.path.join(CHECKOUT, "include")
RECORDS = {"ExpParam": True, "ExpItem": True, "ExprError": False, "XevColumn": False, "XevResult": False,
           "NumberValue": False, "XEVFormulaLine": False}  # name: packed
_TYPEDEFS = "typedef struct ExprContext ExprContext; typedef struct ExprRecord* HEXP;"


@pytest.fixture(scope="module")
def headers():
    """The public headers as the compiler reads them (macros expanded)."""
    compiler = shutil.which("cc")
    if compiler is None:
        pytest.skip("no C compiler to read the headers with")
    text = subprocess.run([compiler, "-E", "-P", "-I", INCLUDE, os.path.join(INCLUDE, "xev", "xevtable.h")],
                          capture_output=True, text=True, check=True).stdout
    return text.replace('__attribute__((visibility("default")))', "")


def _declared():
    return _ffi._PACKED_DECLARATIONS + _ffi._DECLARATIONS + _ffi._TABLE_DECLARATIONS


def _signature(statement):
    """(name, 'return(type, type...)') of a function prototype, parameter
    names and spacing left out; None for any other statement."""
    statement = " ".join(statement.split())
    match = re.fullmatch(r"(?:extern )?([\w\s\*]+?)\s*\b(\w+)\s*\((.*)\)", statement)
    if match is None or statement.startswith(("typedef", "struct")):
        return None
    result, name, parameters = match.groups()

    def type_of(parameter):
        parameter = re.sub(r"\s*\*\s*", "* ", parameter.strip()).strip()
        words = parameter.replace("*", "* ").split()
        if len(words) > 1 and re.fullmatch(r"\w+", words[-1]):
            words = words[:-1]
        return " ".join(words).replace("* ", "*").replace(" *", "*")

    return name, f"{type_of(result + ' x')}({', '.join(type_of(p) for p in parameters.split(','))})"


def _signatures(text):
    found = {}
    for statement in text.split(";"):
        signature = _signature(statement)
        if signature:
            found[signature[0]] = signature[1]
    return found


def test_every_declared_function_has_the_headers_signature(headers):
    declared = _signatures(_declared())
    public = _signatures(headers)
    assert len(declared) > 40
    assert {name: public.get(name) for name in declared} == declared


def test_every_declared_record_has_the_headers_layout(headers):
    for name, packed in RECORDS.items():
        body = re.search(r"typedef struct " + name + r" \{.*?\} " + name + ";", headers, re.DOTALL)
        assert body is not None, name
        own = cffi.FFI()
        own.cdef(_TYPEDEFS)
        own.cdef("typedef struct ExpParam { int16_t byName; int16_t type; int16_t subclass; } ExpParam;"
                 if name == "ExpItem" else "", packed=True)
        own.cdef(body.group(0), packed=packed)
        theirs, ours = own.typeof(name), _ffi.ffi.typeof(name)
        assert own.sizeof(theirs) == _ffi.ffi.sizeof(ours), name
        assert [(f, own.offsetof(theirs, f), t.type.cname) for f, t in theirs.fields] == \
               [(f, _ffi.ffi.offsetof(ours, f), t.type.cname) for f, t in ours.fields], name
