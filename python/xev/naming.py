"""Data item names for column labels, by the reference host's rules: bytes a
name cannot hold become '_' between the parts they separate, a leading digit,
AND, DISTINCT, ALL or a date-unit word gets '_' in front, an empty label becomes ColumnN,
names are cut to 64 bytes, and repeats get _2, _3, ..."""

import re

from ._ffi import ffi, lib
from .codepage import decode, encode

MAX_NAME_BYTES = 64


def _is_name_byte(c):
    return (0x41 <= c <= 0x5A or 0x61 <= c <= 0x7A or 0x30 <= c <= 0x39 or c in b"_@#$"
            or c >= 0x81)


def _cut(name, limit):
    """name (bytes) cut to limit bytes without splitting a double-byte character."""
    if len(name) <= limit:
        return name
    keep = 0
    while keep < len(name):
        step = 2 if lib.HostIsLeadByte(name[keep]) and keep + 1 < len(name) else 1
        if keep + step > limit:
            break
        keep += step
    return name[:keep]


_PLAIN_NAME = re.compile(rb"[A-Za-z0-9_@#$]+")


def _sanitized(label, index):
    header = encode(label)
    # Most labels are plain ASCII names already; only the others are walked.
    name = bytearray(header) if _PLAIN_NAME.fullmatch(header) else bytearray()
    gap = False
    i = len(header) if name else 0
    while i < len(header):
        c = header[i]
        whole = header[i:i + 2] if lib.HostIsLeadByte(c) and i + 1 < len(header) else None
        if whole is None and not _is_name_byte(c):
            gap = True
            i += 1
            continue
        if gap and name:
            name += b"_"
        gap = False
        name += whole if whole is not None else bytes([c])
        i += 2 if whole is not None else 1
    if not name:
        return f"Column{index + 1}".encode()
    name = bytes(name)
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
