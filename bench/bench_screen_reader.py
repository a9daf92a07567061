#!/usr/bin/python3
"""Flat review of the result list under the Orca screen reader, on the private
desktop the screen reader's test makes (tests/tst_screen_reader.py): how long
Orca takes from the key (keypad 8, flat review's current line) to its speech,
with 20 rows in the list (the baseline) and with ROWS rows, in the same run;
and, alike, from the Down key to the speech of the next row. Prints each
median, every time taken, and their ratios.

Usage: bench_screen_reader.py PATH_TO_ORVELLE [ROWS]  (default 1,000,000 rows;
Debian's python3 with orca, speech-dispatcher, openbox and xdotool)
"""

import os
import re
import statistics
import sys
import time
from datetime import datetime

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from tst_screen_reader import BUTTON, ScreenReaderDesktop, generate, refill, seconds  # noqa: E402

READS = 7  # of flat review's current line, for each list
FEW = 20  # rows in the baseline list
APART = 0.6  # seconds between the row and the read: Orca takes keys within half a second as one double press


def since_ms(sent, stamp):
    """The milliseconds from `sent` to a time in Orca's log."""
    spoken = datetime.combine(sent.date(), seconds(stamp).time())
    return (spoken - sent).total_seconds() * 1000


def flat_review_ms(desktop):
    """The milliseconds from each key to Orca's speech of the current line, by
    Orca's own log, and from each Down before it to the row's speech. Each
    time the focus moves on a row first, so that flat review builds its view
    of the window anew, as it does for a user."""
    taken = []
    downs = []
    for _ in range(READS):
        time.sleep(APART)
        sent = datetime.now()
        desktop.keys("Down")
        row = desktop.speech.wait("the next row", r"check box (not )?checked")
        downs.append(since_ms(sent, row[0]))
        place = row[1].split(" check box")[0]
        time.sleep(APART)
        sent = datetime.now()
        desktop.keys("KP_Up")  # keypad 8, without Num Lock
        stamp = desktop.speech.wait("flat review's current line", rf"checked {re.escape(place)}")[0]
        taken.append(since_ms(sent, stamp))
    return taken, downs


def main(program, rows):
    with ScreenReaderDesktop() as desktop:
        speech = desktop.speech
        window = desktop.start([program], accessible=True)
        speech.wait("the window's first focus", rf"^Start Generating {BUTTON}")
        desktop.keys(*["Tab"] * 6)
        speech.wait("the number box", r"^Number To Generate text")
        generate(desktop, str(FEW), str(FEW))
        desktop.keys(*["Tab"] * 5)
        speech.wait("the list", rf"table with {FEW} rows")
        few, few_downs = flat_review_ms(desktop)
        refill(desktop, str(rows), f"{rows:,}", f"{rows} rows")
        many, many_downs = flat_review_ms(desktop)
        desktop.end(window)

    def line(count, taken, what="flat review's current line"):
        times = ", ".join(f"{t:.0f}" for t in sorted(taken))
        return f"{what}, {count:,} rows: median {statistics.median(taken):.0f} ms [{times}]"
    print(line(FEW, few))
    print(line(rows, many))
    print(f"{rows:,} rows / {FEW} rows: {statistics.median(many) / statistics.median(few):.2f} (medians)")
    down = "Down to the next row"
    print(line(FEW, few_downs, down))
    print(line(rows, many_downs, down))
    print(f"{down}, {rows:,} rows / {FEW} rows: "
          f"{statistics.median(many_downs) / statistics.median(few_downs):.2f} (medians)")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) == 3 else 1000000)
