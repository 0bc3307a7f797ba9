"""Errors the package raises."""

from ._ffi import ffi, lib
from .codepage import decode, encode

# Errors about the name as a whole point at the name, not at the text.
_NAME_ERRORS = (107, 126)
_MESSAGE_BYTES = 256


def error_message(code):
    """The engine's message for an error code ('' for none)."""
    buffer = ffi.new("char[]", _MESSAGE_BYTES)
    length = lib.XEVGetErrorMessage(code, buffer, _MESSAGE_BYTES)
    return decode(ffi.buffer(buffer, length)[:])


def caret_line(length_of_line, pos, length):
    """'^~~~' under the part [pos, pos + length) of a line."""
    pos = min(pos, length_of_line)
    length = min(length, length_of_line - pos)
    return " " * pos + "^" + "~" * max(length - 1, 0)


class FormulaError(ValueError):
    """A formula the engine refused.

    code     the engine's error code (100 to 137)
    message  the engine's message for it
    name     the formula's name; text its text
    pos, length
             the part of the text the error is about, in characters of text
             (for errors about the name, 107 and 126, the part of the name)
    origin   where the formula was written ('sales.formulas:7'), or ''
    hint     one line on how to fix it ('did you mean Unit_Price?'), or ''
    """

    def __init__(self, code, pos, length, name, text, origin="", hint=""):
        self.code = code
        self.hint = hint
        self.pos = pos
        self.length = length
        self.name = name
        self.text = text
        self.origin = origin
        self.message = error_message(code)
        super().__init__(self._describe())

    @classmethod
    def from_engine(cls, error, name, text, origin="", hint=""):
        """From the engine's error record, whose offsets count code-page bytes."""
        about = name if error.code in _NAME_ERRORS else text
        encoded = encode(about, "replace")
        start = min(error.pos, len(encoded))
        end = min(start + error.len, len(encoded))
        pos = len(decode(encoded[:start]))
        length = len(decode(encoded[start:end]))
        return cls(error.code, pos, length, name, text, origin, hint)

    @property
    def line(self):
        """The definition as a line: 'name = text'."""
        return f"{self.name} = {self.text}" if self.name else self.text

    @property
    def caret(self):
        """A line of marks under the part of `line` the error is about."""
        if self.code in _NAME_ERRORS:
            start = 0
        else:
            start = len(self.line) - len(self.text)
        return caret_line(len(self.line), start + self.pos, self.length)

    def _describe(self):
        where = f"{self.origin}: " if self.origin else ""
        what = f"error {self.code}"
        if self.message:
            what += f": {self.message}"
        described = f"{where}{what}\n    {self.line}\n    {self.caret}"
        return f"{described}\n    {self.hint}" if self.hint else described

    def with_details(self, *, name=None, origin=None, hint=None):
        """The same refusal with the name the user gave, where it was
        written, or a hint."""
        return FormulaError(self.code, self.pos, self.length, self.name if name is None else name, self.text,
                            self.origin if origin is None else origin, self.hint if hint is None else hint)


class ColumnError(TypeError):
    """A column no data item type can hold; column names it."""

    def __init__(self, column, detail):
        self.column = column
        super().__init__(f"xev: column {column!r}: {detail}")


class EvaluationError(ValueError):
    """A formula that gave no value in a row (or a DateTime that pandas'
    datetime64[ns] cannot hold), when asked to raise for that."""

    def __init__(self, formula, row):
        self.formula = formula
        self.row = row
        super().__init__(f"xev: formula {formula!r} gives no value in row {row!r} (or a date and time "
                         "outside 1677-09-21 to 2262-04-11, the range of datetime64[ns])")
