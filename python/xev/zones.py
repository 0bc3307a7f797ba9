"""DateTime results in a time zone.

The engine works on clock times: a zoned column gives the clock time of its
own zone, and date arithmetic moves that clock (01:30 + 1 HOUR is 02:30 on
the clock). A result read from zoned columns of one zone is put back in
that zone. A clock time that a change to summer time skips (02:30 on the
night the clocks go from 02:00 to 03:00) is read with the offset in force
before the change, which makes it the instant that many minutes after the
change began (03:30): what the clock would show had it not jumped. A clock
time that the change back repeats is taken as the first of the two (summer
time)."""

from __future__ import annotations

import numpy as np
import pandas as pd

# Longer than any change of a zone's offset, shorter than the time between two.
_BEFORE_A_CHANGE = pd.Timedelta(hours=3)


def common_zone(zones):
    """The one zone of a set of columns' zones (None for a naive column), or
    None when they are not all of one zone."""
    named = {str(zone): zone for zone in zones}
    if len(named) != 1 or None in zones:
        return None
    return next(iter(named.values()))


def localized(clock_times: np.ndarray, zone) -> pd.arrays.DatetimeArray:
    """datetime64[ns] clock times as instants of zone, by the rules above."""
    clocks = pd.DatetimeIndex(clock_times)
    first_of_two = np.ones(len(clocks), dtype=bool)
    local = clocks.tz_localize(zone, ambiguous=first_of_two, nonexistent="NaT")
    skipped = np.asarray(local.isna() & ~clocks.isna())
    if not skipped.any():
        return local.array
    before = (clocks[skipped] - _BEFORE_A_CHANGE).tz_localize(zone, ambiguous=first_of_two[skipped],
                                                                nonexistent="shift_forward")
    offsets = before.tz_localize(None) - before.tz_convert("UTC").tz_localize(None)
    instants = (clocks[skipped] - offsets).tz_localize("UTC").tz_convert(zone)
    values = local.array.copy()
    values[skipped] = instants.array
    return values
