"""Data item names for column labels, by the reference host's rules: characters a
name cannot hold become '_' between the parts they separate, a leading digit,
AND, DISTINCT, ALL or a date-unit word gets '_' in front, an empty label becomes ColumnN,
names are cut to 64 bytes, and repeats get _2, _3, ..."""

import re

from ._ffi import ffi, lib
from .codepage import UTF8, code_page, codec, decode, encode

MAX_NAME_BYTES = 64


def _is_name_byte(c):
    return (0x41 <= c <= 0x5A or 0x61 <= c <= 0x7A or 0x30 <= c <= 0x39 or c in b"_@#$"
            or c >= 0x81)


def _keeps(char, encoded):
    """Whether a name may hold char (encoded: its bytes in the code page).
    In UTF-8 the engine is asked (names hold letters, marks and digits of any
    script); in the other code pages every character beyond ASCII but 0x80
    is kept, as the engine's scanner reads them."""
    if char.isascii():
        return _is_name_byte(encoded[0])
    if code_page() == UTF8:
        return lib.XEVValidName(ffi.NULL, b"A" + encoded, ffi.NULL) == 1
    return encoded != b"?" and (len(encoded) > 1 or encoded[0] >= 0x81)


def _cut(name, limit):
    """name (bytes) cut to limit bytes without splitting a character."""
    if len(name) <= limit:
        return name
    kept = b""
    for char in decode(name):
        encoded = encode(char, "replace")
        if len(kept) + len(encoded) > limit:
            break
        kept += encoded
    return kept


_PLAIN_NAME = re.compile(rb"[A-Za-z0-9_@#$]+")


def _sanitized(label, index):
    header = encode(label, "replace")
    # Most labels are plain ASCII names already; only the others are walked.
    if _PLAIN_NAME.fullmatch(header):
        name = header
    else:
        name = bytearray()
        gap = False
        for char in label:
            encoded = encode(char, "replace")
            if not _keeps(char, encoded):
                gap = True
                continue
            if gap and name:
                name += b"_"
            gap = False
            name += encoded
        name = bytes(name)
    if not name:
        return f"Column{index + 1}".encode()
    if name[:1].isdigit():
        name = b"_" + name
    # Words the scanner takes as keywords in any letter case (DISTINCT and
    # ALL with SET_QUANTIFIERS): a column keeps its name whatever the flags.
    if name.upper() in (b"AND", b"DISTINCT", b"ALL"):
        name = b"_" + name
    if len(name) < 67:
        renamed = ffi.new("char[]", len(name) + 2)
        if lib.XEVInputNameIsKeyword(renamed, name) != 0:
            name = ffi.string(renamed)
    return _cut(name, MAX_NAME_BYTES)


def item_names(labels):
    """The data item name of each column label (labels are turned to str)."""
    names = []
    taken = set()
    for index, label in enumerate(labels):
        base = _sanitized(str(label), index)
        name = base
        n = 2
        while name in taken:
            suffix = f"_{n}".encode()
            name = _cut(base, MAX_NAME_BYTES - len(suffix)) + suffix
            n += 1
        taken.add(name)
        names.append(decode(name))
    return names
