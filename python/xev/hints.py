"""The library's one line on how to fix a refused formula ('did you mean
Unit_Price?', 'write Net() to use the formula Net'): the hint the reference
host prints, from the same call."""

from __future__ import annotations

from ._ffi import ffi, lib
from .codepage import decode, encode

_HINT_BYTES = 512


def formula_hint(context, error) -> str:
    """The hint for error, a FormulaError of a parse in context; '' when the
    library tells none (or is too old to have the call)."""
    try:
        call = lib.XEVFormulaHint
    except AttributeError:
        return ""
    about = error.name if error.code in (107, 126) else error.text
    record = ffi.new("ExprError*")
    record.code = error.code
    record.pos = len(encode(about[:error.pos]))
    record.len = len(encode(about[error.pos:error.pos + error.length]))
    buffer = ffi.new("char[]", _HINT_BYTES)
    name = encode(error.name) if error.name else ffi.NULL
    if call(context._ec, name, encode(error.text), record, buffer, _HINT_BYTES) < 1:
        return ""
    return decode(ffi.string(buffer))
