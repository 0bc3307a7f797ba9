"""What a Number formula's text says about its column, before any row: a
formula that is one call of a function whose values are whole numbers
(years, months, lengths, positions...), or the difference of two DateTimes
(whole days), gives Int64; one that is a call of
NumberRound or NumberTruncate with a literal number of places gives that
many decimals. Both follow from the text alone, so every frame and every
Dask partition of a formula gets the same column type."""

from __future__ import annotations

import re
from typing import Optional

WHOLE_NUMBER_FUNCTIONS = frozenset({
    "DateYear", "DateMonth", "DateDay", "DateHour", "DateMinute", "DateQuarter", "WeekDay",
    "StrLength", "StrScan", "StrCompare",
})
_PLACES_FUNCTIONS = frozenset({"NumberRound", "NumberTruncate"})
_CALL = re.compile(r"\s*([A-Za-z_@#$][\w@#$]*)\s*\(")
_PLACES = re.compile(r"\s*\+?(\d{1,3})\s*")


def _unquoted(text: str, start: int = 0, depth: int = 0):
    """(position, character, depth) of each character from start that is
    outside strings and quoted names; depth counts the open parentheses
    before it (after it, for a ')')."""
    quote = None
    for position in range(start, len(text)):
        character = text[position]
        if quote:
            quote = None if character == quote else quote
            continue
        if character in "'\"":
            quote = character
            continue
        depth += {"(": 1, ")": -1}.get(character, 0)
        yield position, character, depth


def _outer_call(text: str) -> Optional[tuple[str, list[str]]]:
    """(function, argument texts) when text is one call and nothing else."""
    match = _CALL.match(text)
    if match is None:
        return None
    start, arguments = match.end(), []
    for position, character, depth in _unquoted(text, match.end(), 1):
        if character == ")" and depth == 0:
            arguments.append(text[start:position])
            return (match.group(1), arguments) if not text[position + 1:].strip() else None
        if character == "," and depth == 1:
            arguments.append(text[start:position])
            start = position + 1
    return None


def whole_numbers(text: str) -> bool:
    """True when the formula's values are whole numbers by its nature."""
    call = _outer_call(text)
    return call is not None and call[0] in WHOLE_NUMBER_FUNCTIONS


def stated_scale(text: str) -> Optional[int]:
    """The decimals a NumberRound(x, n) or NumberTruncate(x, n) formula
    states (n a literal 0 or more), else None."""
    call = _outer_call(text)
    if call is None or call[0] not in _PLACES_FUNCTIONS or len(call[1]) != 2:
        return None
    places = _PLACES.fullmatch(call[1][1])
    return int(places.group(1)) if places else None


def _top_level_minus(text: str) -> Optional[tuple[str, str]]:
    """(left, right) when text is two operands joined by one '-' outside
    parentheses and strings, and nothing else at that level."""
    found = []
    for position, character, depth in _unquoted(text):
        if depth == 0 and character in "+*/|<>=,":
            return None
        if depth == 0 and character == "-":
            found.append(position)
    if len(found) != 1 or not text[:found[0]].strip() or not text[found[0] + 1:].strip():
        return None
    return text[:found[0]], text[found[0] + 1:]


def is_date_difference(context, text: str) -> bool:
    """True when text is one DateTime minus another: a count of whole days.
    Each operand is parsed in context to learn its type."""
    operands = _top_level_minus(text)
    if operands is None:
        return False
    for operand in operands:
        try:
            formula = context.parse(None, operand.strip())
        except ValueError:
            return False
        kind = formula.type
        context.remove(formula)
        if kind != "DateTime":
            return False
    return True

