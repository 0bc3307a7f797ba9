"""The engine reads every text in one process-wide code page; Python's str
crosses into it by that code page's codec. The package selects UTF-8 (65001)
when it is imported, so every str can cross as it is; in 1252 or 932 a
character the code page cannot hold is an error, never a '?'."""

from ._ffi import lib

UTF8 = 65001
_CODECS = {1252: "cp1252", 932: "cp932", UTF8: "utf-8"}


def code_page() -> int:
    """The code page the engine runs in: 65001 (UTF-8, the package's
    default), 1252 or 932."""
    return lib.HostGetCodePage()


def set_code_page(number: int) -> None:
    """Selects the engine's code page for the whole process; do it before any
    formula is parsed (a Context keeps the code page it was made in)."""
    if number not in _CODECS or lib.HostSetCodePage(number) != 1:
        raise ValueError(f"xev: code page {number} is not supported; use 65001, 1252 or 932")


def _select_default():
    # A library that does not know UTF-8 yet stays in its own default.
    if lib.HostGetCodePage() != UTF8:
        lib.HostSetCodePage(UTF8)


_select_default()


def codec():
    return _CODECS.get(lib.HostGetCodePage(), "cp1252")


def encode(text, errors="strict"):
    """text in the code page; UnicodeEncodeError for a character it cannot
    hold (and, in UTF-8, for a lone surrogate) unless errors says otherwise."""
    if text.isascii():  # every code page keeps ASCII as it is, and this codec is the fast one
        return text.encode("ascii")
    return text.encode(codec(), errors)


def unencodable(text):
    """Why text cannot be written in the code page, or '' when it can."""
    try:
        encode(text)
    except UnicodeEncodeError as error:
        return f"{text[error.start:error.end]!r}, which code page {code_page()} cannot hold"
    return ""


def encode_argument(text, what):
    """text encoded for a C string argument of the engine. The engine reads
    such a string up to its first NUL, so a NUL inside would silently cut
    the name or formula short: it is refused instead, as is a character the
    code page cannot hold."""
    if not isinstance(text, str):
        raise TypeError(f"xev: {what} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"xev: {what} {text!r} holds a NUL character, which the engine cannot take")
    try:
        return encode(text)
    except UnicodeEncodeError:
        raise ValueError(f"xev: {what} {text!r} holds {unencodable(text)}") from None


def decode(data):
    if data.isascii():
        return data.decode("ascii")
    return data.decode(codec(), "replace")
