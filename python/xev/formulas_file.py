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


class _Line:
    """One line of a file as the library reads it: where it starts in the
    file's bytes, and its kind, length, name, text and problem."""

    def __init__(self, start, record):
        self.start = start
        self.kind = record.kind
        self.end = start + record.length
        self.name = (start + record.nameStart, start + record.nameStart + record.nameLength)
        self.text = (start + record.textStart, start + record.textStart + record.textLength)
        self.problem = ffi.string(record.problem).decode() if record.problem != ffi.NULL else None


def _lines(raw):
    if not raw:
        return []
    buffer = ffi.from_buffer(raw)
    record = ffi.new("XEVFormulaLine*")
    lines = []
    at = 0
    while True:
        taken = lib.XEVReadFormulaLine(buffer + at, min(len(raw) - at, _MAX_CALL_BYTES), record)
        if taken <= 0:
            return lines
        lines.append(_Line(at, record))
        at += taken


def _text_codec(raw, label, lines):
    """The codec of the file: UTF-8, or in 1252 and 932 a file of the code
    page. In UTF-8 a byte that is not is an error naming its line and byte."""
    try:
        raw.decode("utf-8")
        return "utf-8"
    except UnicodeDecodeError as error:
        if codec() != "utf-8":
            return codec()
        number, line = next((n, line) for n, line in enumerate(lines, start=1) if error.start < line.end)
        raise DefinitionError(f"{label}:{number}: byte {error.start - line.start + 1} "
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
    lines = _lines(raw)
    for number, line in enumerate(lines, start=1):
        if line.end - line.start > max_line_bytes:
            raise DefinitionError(f"{label}:{number}: line longer than {max_line_bytes} bytes "
                                  "(read_formulas(path, max_line_bytes=...) allows more)")
        if raw.find(b"\0", line.start, line.end) >= 0:
            # The engine reads a formula up to a NUL; what follows would be lost.
            raise DefinitionError(f"{label}:{number}: a NUL byte in the line")
    text_codec = _text_codec(raw, label, lines)
    definitions = []
    for number, line in enumerate(lines, start=1):
        if line.kind in (lib.XEV_LINE_BLANK, lib.XEV_LINE_COMMENT):
            continue
        if line.problem is not None:
            raise DefinitionError(f"{label}:{number}: {line.problem}")
        name, text = (raw[start:end].decode(text_codec, "replace") for start, end in (line.name, line.text))
        definitions.append(Definition(name, text, f"{label}:{number}"))
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
