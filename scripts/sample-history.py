#!/usr/bin/env python3
"""Writes a made-up day of readings into an agent's history, for pictures.

    scripts/sample-history.py HISTORY [HOURS]

HISTORY is a history.sqlite3 the agent has started (its series are taken
from it); the agent must not be running. Every series gets HOURS (default
24) of readings every 5 s up to now: a slow daily wave, the busy spells of
a working day and a little noise, with half an hour missing (the machine
slept) so the pictures show a gap.
"""
import math
import random
import sqlite3
import sys
import time

STEP_MS = 5000
PER_ROW = 24


def reading(name, t, last):
    """A plausible value of a series at t (seconds since the epoch)."""
    hour = (t / 3600.0) % 24
    day = 0.5 + 0.5 * math.sin((hour - 9) / 24 * 2 * math.pi)
    busy = 1.0 if 9.5 < hour < 11 or 14 < hour < 15.2 or 20 < hour < 20.5 else 0.0
    noise = random.gauss(0, 1)
    if name.startswith("temp:"):
        base = 38 + 14 * day + 30 * busy * (0.8 + 0.2 * math.sin(t / 600))
        return round(base + 2 * noise)
    if name.startswith("fan:"):
        return max(0, round(1800 + 1400 * day + 2600 * busy + 60 * noise))
    if name.startswith("mem:"):
        figure = name[4:]
        total = 16.0
        used = 6 + 3 * day + 4 * busy + 0.2 * noise
        shares = {"Total": total, "Used": used, "Free": total - used, "Wired": used * 0.25,
                  "Active": used * 0.45, "Inactive": used * 0.2, "Compressed": used * 0.1}
        return round(max(0.0, shares.get(figure, used)), 3)
    return last


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    hours = float(sys.argv[2]) if len(sys.argv) == 3 else 24.0
    db = sqlite3.connect(sys.argv[1])
    series = db.execute("SELECT id, name FROM series").fetchall()
    now_ms = int(time.time() * 1000)
    start_ms = now_ms - int(hours * 3600 * 1000)
    gap = (now_ms - int(4.5 * 3600 * 1000), now_ms - 4 * 3600 * 1000)
    random.seed(19)
    with db:
        db.execute("DELETE FROM chunks")
        for sid, name in series:
            if name == "temp:SMART":
                continue
            row, row_start, last = [], None, None
            t = start_ms
            while t <= now_ms:
                if gap[0] <= t < gap[1]:
                    value = None
                else:
                    value = reading(name, t / 1000.0, last)
                    last = value
                if row_start is None:
                    row_start = t
                row.append("null" if value is None else repr(value))
                if len(row) == PER_ROW or t + STEP_MS > now_ms:
                    db.execute("INSERT INTO chunks(series, start, step, vals) VALUES(?,?,?,?)",
                               (sid, row_start, STEP_MS, "[" + ",".join(row) + "]"))
                    row, row_start = [], None
                t += STEP_MS
    db.close()


if __name__ == "__main__":
    main()
