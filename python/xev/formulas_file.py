"""Formulas files: one 'name = formula' a line (CR LF, LF and CR alone each
end a line); blank lines and lines whose first non-blank character is '#'
are skipped. The same files the reference host reads with -f, split by the
library's rule (XEVReadFormulaLine).

A file is read only up to limits its reader can state (the whole file and
one line, in bytes), and only if it is a regular file or a pipe: a device
such as /dev/zero never ends, and the limits stop a pipe that does not."""

import os
import stat

from ._ffi import ffi, lib
from .codepage import codec

# A formulas file is written by people; far past these it is not one.
MAX_FILE_BYTES = 64 << 20
# The reference host's limit for one line.
MAX_LINE_BYTES = 1 << 20
_CHUNK_BYTES = 1 << 16
# The most bytes the library reads in one call; a longer line is cut there
# and refused by the line limit.
_MAX_CALL_BYTES = 0x7FFFFFFF


class Definition:
    """One formula as written: name, text, and where (origin, e.g. 'a.formulas:3').
    It unpacks as a (name, text) pair."""

    def __init__(self, name, text, origin=""):
        self.name = name
        self.text = text
        self.origin = origin

    def __iter__(self):
        return iter((self.name, self.text))

    def __repr__(self):
        return f"Definition({self.name!r}, {self.text!r}, {self.origin!r})"


class DefinitionError(ValueError):
    """A formulas file that cannot be read as 'name = formula' lines, or a
    formula given in a form that is not a (name, text) pair of str."""


def _lines(raw):
    """(number, start, record) of each line of raw by the library's rule,
    one at a time: the record is the same object, read again for each line."""
    buffer = ffi.from_buffer(raw)
    record = ffi.new("XEVFormulaLine*")
    at = 0
    number = 0
    while at < len(raw):
        taken = lib.XEVReadFormulaLine(buffer + at, min(len(raw) - at, _MAX_CALL_BYTES), record)
        number += 1
        yield number, at, record
        at += taken


def _text_codec(raw, label):
    """The codec of the file: UTF-8, or in 1252 and 932 a file of the code
    page. In UTF-8 a byte that is not is an error naming its line and byte."""
    try:
        raw.decode("utf-8")
        return "utf-8"
    except UnicodeDecodeError as error:
        if codec() != "utf-8":
            return codec()
        number, start = next((n, start) for n, start, line in _lines(raw) if error.start < start + line.length)
        raise DefinitionError(f"{label}:{number}: byte {error.start - start + 1} "
                              f"(0x{raw[error.start]:02X}) is not valid UTF-8") from None


def _readable_kind(mode):
    return stat.S_ISREG(mode) or stat.S_ISFIFO(mode)


def _open_for_reading(path):
    """A file object for path, which must be a regular file or a pipe. A
    device is refused before it is opened, and again if the path turned into
    one in between."""
    if _readable_kind(os.stat(path).st_mode):
        file = open(path, "rb")
        if _readable_kind(os.fstat(file.fileno()).st_mode):
            return file
        file.close()
    raise DefinitionError(f"xev: {os.fspath(path)!r} is not a regular file; a formulas file is read "
                          "from a regular file or a pipe")


def _read_limited(path, max_bytes):
    with _open_for_reading(path) as file:
        chunks = []
        size = 0
        while True:
            chunk = file.read(min(_CHUNK_BYTES, max_bytes + 1 - size))
            if not chunk:
                return b"".join(chunks)
            chunks.append(chunk)
            size += len(chunk)
            if size > max_bytes:
                raise DefinitionError(f"xev: {os.fspath(path)!r} is longer than {max_bytes} bytes "
                                      "(read_formulas(path, max_bytes=...) allows more)")


def read_formulas(path: "str | os.PathLike", *, max_bytes: int = MAX_FILE_BYTES,
                  max_line_bytes: int = MAX_LINE_BYTES) -> "list[Definition]":
    """The definitions of a formulas file, in the order they were written:
    Definition objects, which unpack as (name, text) and which evaluate takes
    as its formulas. A file longer than max_bytes or with a line longer than
    max_line_bytes is refused with DefinitionError (a ValueError), as is a
    path that names neither a regular file nor a pipe."""
    raw = _read_limited(path, max_bytes)
    if raw.startswith(b"\xef\xbb\xbf"):
        raw = raw[3:]
    label = os.path.basename(os.fspath(path))
    spans = []  # (number, name start and end, text start and end) of each definition
    problem = None  # told once every line is known to be within the limits
    for number, start, line in _lines(raw):
        if line.length > max_line_bytes:
            raise DefinitionError(f"{label}:{number}: line longer than {max_line_bytes} bytes "
                                  "(read_formulas(path, max_line_bytes=...) allows more)")
        if raw.find(b"\0", start, start + line.length) >= 0:
            # The engine reads a formula up to a NUL; what follows would be lost.
            raise DefinitionError(f"{label}:{number}: a NUL byte in the line")
        if line.kind == lib.XEV_LINE_DEFINITION:
            name, text = start + line.nameStart, start + line.textStart
            spans.append((number, name, name + line.nameLength, text, text + line.textLength))
        elif line.problem != ffi.NULL and problem is None:
            problem = f"{label}:{number}: {ffi.string(line.problem).decode()}"
    text_codec = _text_codec(raw, label)
    if problem is not None:
        raise DefinitionError(problem)
    definitions = [Definition(raw[name:name_end].decode(text_codec, "replace"),
                              raw[text:text_end].decode(text_codec, "replace"), f"{label}:{number}")
                   for number, name, name_end, text, text_end in spans]
    return definitions


def _pair(entry):
    """A Definition of one (name, text) pair of a mapping or list."""
    if isinstance(entry, Definition):
        return entry
    try:
        name, text = entry
    except (TypeError, ValueError):
        raise DefinitionError(f"xev: a formula is given as a (name, text) pair, not {entry!r}") from None
    for what, value in (("name", name), ("text", text)):
        if not isinstance(value, str):
            raise TypeError(f"xev: formula {what}s are str; {name!r}: {text!r} has a "
                            f"{type(value).__name__} {what}")
    return Definition(name, text)


# The output label of a formula given alone; the engine names it.
SINGLE_LABEL = ""


def is_single_formula(formulas):
    """True for a str that is a formula text rather than the path of a
    formulas file: a path names something that exists or ends in '.formulas'."""
    return (isinstance(formulas, str) and not formulas.endswith(".formulas")
            and not os.path.exists(formulas))


def definitions_of(formulas):
    """Definitions from a mapping of names to texts, a list of (name, text)
    pairs (or Definitions), or the path of a formulas file."""
    if isinstance(formulas, (str, os.PathLike)):
        return read_formulas(formulas)
    pairs = formulas.items() if hasattr(formulas, "items") else formulas
    return [_pair(entry) for entry in pairs]
