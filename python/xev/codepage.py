"""The engine reads every text in one process-wide code page; Python's str
crosses into it by that code page's codec. A character the code page cannot
hold becomes '?', as it does in the reference host."""

from ._ffi import lib

_CODECS = {1252: "cp1252", 932: "cp932"}


def code_page():
    """The code page the engine runs in: 1252 (the default) or 932."""
    return lib.HostGetCodePage()


def set_code_page(number):
    """Selects the engine's code page for the whole process; do it before any
    formula is parsed."""
    if number not in _CODECS or lib.HostSetCodePage(number) != 1:
        raise ValueError(f"xev: code page {number} is not supported; use 1252 or 932")


def codec():
    return _CODECS.get(lib.HostGetCodePage(), "cp1252")


def encode(text):
    if text.isascii():  # both code pages keep ASCII as it is, and this codec is the fast one
        return text.encode("ascii")
    return text.encode(codec(), "replace")


def decode(data):
    if data.isascii():
        return data.decode("ascii")
    return data.decode(codec(), "replace")
