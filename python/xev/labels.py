"""Labels as pandas users write them, and the names the engine takes.

An output label the engine cannot take as a formula name ('Year', 'Max F',
'Net-Amount') gets a name derived by the column rules; the column keeps the
label. In a formula, a label in backquotes (`Production Budget`, as
DataFrame.eval reads it) stands for the name its column or formula became.
"""

from __future__ import annotations

import re
from typing import Callable, Iterable, Mapping, Optional

from .naming import item_names

# A string in single quotes (a quote inside doubled or after a backslash),
# or a label in backquotes.
_PIECES = re.compile(r"'(?:''|\\.|[^'])*'|`([^`]*)`", re.DOTALL)
_UNKNOWN_NAMES = (102, 103, 109)  # 109: a label that is a keyword (Year)


def unquoted(text: str, names: Mapping[str, str]) -> str:
    """text with each backquoted label that names something in names
    replaced by that name; strings and other backquoted names stay."""
    def replace(match):
        label = match.group(1)
        if label is None or label not in names:
            return match.group(0)
        return names[label]
    return _PIECES.sub(replace, text)


def engine_names(labels: Iterable[str], valid: Callable[[str], bool], taken: Iterable[str]) -> list[str]:
    """A formula name for each output label: the label itself when the
    engine takes it, else one derived as a column's item name is, kept
    apart from taken names and each other."""
    used = set(taken)
    names = []
    for label in labels:
        name = label if valid(label) and label not in used else _derived(label, used)
        used.add(name)
        names.append(name)
    return names


def _derived(label: str, used: set) -> str:
    base = item_names([label])[0]
    name, n = base, 2
    while name in used:
        name, n = f"{base}_{n}", n + 1
    return name


def column_hint(error, items: Mapping[str, str]) -> Optional[str]:
    """For an unknown name that is a column label written as it stands, in
    double quotes or in backquotes: which data item that column became."""
    if error.code not in _UNKNOWN_NAMES:
        return None
    for label, item in items.items():
        if label != item and any(_spans(error.text, form, error.pos) for form in (label, f'"{label}"', f"`{label}`")):
            return f"column {label!r} is the data item {item} (or write `{label}` in backquotes)"
    return None


def _spans(text: str, form: str, pos: int) -> bool:
    """True when form stands in text where pos falls (the engine may point
    at a word of a label, or just after it)."""
    start = text.find(form)
    while start >= 0:
        if start <= pos <= start + len(form):
            return True
        start = text.find(form, start + 1)
    return False
