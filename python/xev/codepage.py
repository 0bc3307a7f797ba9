"""The engine reads every text in one process-wide code page; Python's str
crosses into it by that code page's codec. A character the code page cannot
hold becomes '?', as it does in the reference host."""

from ._ffi import lib

_CODECS = {1252: "cp1252", 932: "cp932"}


def code_page() -> int:
    """The code page the engine runs in: 1252 (the default) or 932."""
    return lib.HostGetCodePage()


def set_code_page(number: int) -> None:
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


def encode_argument(text, what):
    """text encoded for a C string argument of the engine. The engine reads
    such a string up to its first NUL, so a NUL inside would silently cut
    the name or formula short: it is refused instead."""
    if not isinstance(text, str):
        raise TypeError(f"xev: {what} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"xev: {what} {text!r} holds a NUL character, which the engine cannot take")
    return encode(text)


def decode(data):
    if data.isascii():
        return data.decode("ascii")
    return data.decode(codec(), "replace")
