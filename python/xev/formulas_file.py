"""Formulas files: one 'name = formula' a line; blank lines and lines whose
first non-blank character is '#' are skipped. The same files the reference
host reads with -f."""

import os

from .codepage import codec


class Definition:
    """One formula as written: name, text, and where (origin, e.g. 'a.formulas:3')."""

    def __init__(self, name, text, origin=""):
        self.name = name
        self.text = text
        self.origin = origin

    def __repr__(self):
        return f"Definition({self.name!r}, {self.text!r}, {self.origin!r})"


class DefinitionError(ValueError):
    """A line of a formulas file that is not 'name = formula'."""


def _decode(raw):
    if raw.startswith(b"\xef\xbb\xbf"):
        raw = raw[3:]
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode(codec(), "replace")


def parse_definition(line, origin):
    equals = line.find("=")
    if equals < 0:
        raise DefinitionError(f"{origin}: expected 'name = formula'")
    name = line[:equals].strip(" \t")
    text = line[equals + 1:].strip(" \t")
    if not name:
        raise DefinitionError(f"{origin}: missing formula name before '='")
    if not text:
        raise DefinitionError(f"{origin}: missing formula text after '='")
    return Definition(name, text, origin)


def read_formulas_file(path):
    """The definitions of a formulas file, in the order they were written."""
    with open(path, "rb") as file:
        content = _decode(file.read())
    definitions = []
    label = os.path.basename(path)
    for number, line in enumerate(content.split("\n"), start=1):
        line = line.removesuffix("\r")
        stripped = line.lstrip(" \t")
        if not stripped or stripped.startswith("#"):
            continue
        definitions.append(parse_definition(line, f"{label}:{number}"))
    return definitions


def definitions_of(formulas):
    """Definitions from a mapping of names to texts, a list of (name, text)
    pairs, or the path of a formulas file."""
    if isinstance(formulas, (str, os.PathLike)):
        return read_formulas_file(formulas)
    pairs = formulas.items() if hasattr(formulas, "items") else formulas
    return [Definition(str(name), str(text)) for name, text in pairs]
