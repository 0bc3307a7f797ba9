"""Data item names for column labels, by the library's rule (XEVDataItemNames),
the one the reference host follows: characters a name cannot hold become '_'
between the parts they separate, a leading digit or a word of the language gets
'_' in front, an empty label becomes ColumnN, names are cut to 64 bytes, and
repeats get _2, _3, ..."""

from ._ffi import ffi, lib
from .codepage import decode, encode


def item_names(labels):
    """The data item name of each column label (labels are turned to str; a
    character the code page cannot hold, or a NUL, is one a name cannot hold)."""
    encoded = [ffi.new("char[]", encode(str(label).replace("\0", " "), "replace")) for label in labels]
    names = ffi.new("char[]", max(len(encoded), 1) * lib.XEV_NAME_SIZE)
    if lib.XEVDataItemNames(ffi.new("const char*[]", encoded), len(encoded), names) != 1:
        raise MemoryError("xev: memory ran short while naming the columns")
    return [decode(ffi.string(names + i * lib.XEV_NAME_SIZE)) for i in range(len(encoded))]
