#!/usr/bin/python3
"""Driver of bench_accessibility: on a private desktop with an AT-SPI listener
that hears every event, runs the window to generate ROWS rows with
accessibility off and on, alternating, and prints both medians and their
ratio; then, with ROWS rows in the list, times reading the row count and
single rows over the bus.

Usage: bench_accessibility.py PATH_TO_BENCH_ACCESSIBILITY [ROWS]
       bench_accessibility.py --listen   (the listener, started by the driver)
"""

import os
import random
import re
import signal
import statistics
import subprocess
import sys
import time

from desktop.private_desktop import PrivateDesktop, find, wait_for  # PYTHONPATH: tests/, set by bench_accessibility

RUNS = 7  # of each kind


def listen():
    """Hears every event the bus carries, as a screen reader does; on SIGUSR1
    prints how many it heard since the last time."""
    import pyatspi
    from gi.repository import GLib
    heard = [0]

    def hear(_event):
        heard[0] += 1

    def report():
        print(heard[0], flush=True)
        heard[0] = 0
        return GLib.SOURCE_CONTINUE

    pyatspi.Registry.registerEventListener(hear, "object:", "window:", "focus:")
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, report)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: pyatspi.Registry.stop() or False)
    print("listening", flush=True)
    pyatspi.Registry.start()


def timed(call):
    start = time.perf_counter()
    result = call()
    return (time.perf_counter() - start) * 1000, result


def generate(desktop, bench, rows, accessible, stay=False):
    """Runs the window once; its milliseconds and, when it stays, the process."""
    window = desktop.start([bench, "--generate-and-stay" if stay else "--generate", str(rows)],
                           accessible=accessible, env={"QT_QPA_PLATFORM": "xcb"}, stdout=subprocess.PIPE)
    line = window.stdout.readline().decode()
    match = re.match(r"generated (\d+) rows in (\d+) ms, accessibility (on|off)", line)
    if not match or int(match[1]) != rows or (match[3] == "on") != accessible:
        raise RuntimeError(f"the window said: {line!r}")
    if stay:
        return float(match[2]), window
    window.wait()
    desktop.end(window)
    return float(match[2]), None


def main(bench, rows):
    with PrivateDesktop() as desktop:
        listener = desktop.start([sys.executable, os.path.abspath(__file__), "--listen"], accessible=False,
                                 stdout=subprocess.PIPE)
        if listener.stdout.readline().strip() != b"listening":
            raise RuntimeError("the listener did not start")

        def events():
            os.kill(listener.pid, signal.SIGUSR1)
            return int(listener.stdout.readline())

        times = {False: [], True: []}
        heard = 0
        for _ in range(RUNS):
            for accessible in (False, True):
                events()
                times[accessible].append(generate(desktop, bench, rows, accessible)[0])
                if accessible:
                    heard += events()
        off, on = statistics.median(times[False]), statistics.median(times[True])
        print(f"{rows:,} rows generated, accessibility off: median {off:.0f} ms {sorted(times[False])}")
        print(f"{rows:,} rows generated, accessibility on, a listener hearing {heard / RUNS:.0f} events a run: "
              f"median {on:.0f} ms {sorted(times[True])}")
        print(f"on / off: {on / off:.2f} (medians), {min(times[True]) / min(times[False]):.2f} (best runs)")

        _, window = generate(desktop, bench, rows, True, stay=True)
        app = desktop.accessible(window)
        import pyatspi
        table = wait_for("the list", lambda: find(app, "TABLE"))
        counts = [timed(lambda: table.queryTable().nRows) for _ in range(20)]
        if any(count != rows for _, count in counts):
            raise RuntimeError(f"the bus counts {counts[0][1]} rows")
        print(f"row count over the bus at {rows:,} rows: median {statistics.median(t for t, _ in counts):.2f} ms, "
              f"longest {max(t for t, _ in counts):.2f} ms")

        def read_row(row):
            cell = table.queryTable().getAccessibleAt(row, 0)
            return cell.name, cell.getState().contains(pyatspi.STATE_CHECKED)
        picks = [0, rows // 2, rows - 1] + random.sample(range(rows), 17)
        reads = [timed(lambda: read_row(row)) for row in picks]
        if not all(re.fullmatch(r".+, [A-Z]{2} \d{5}", name) for _, (name, _) in reads):
            raise RuntimeError(f"unexpected row texts: {reads[:3]}")
        print(f"one row (text and check flag) over the bus at {rows:,} rows, {len(picks)} rows first to last: "
              f"median {statistics.median(t for t, _ in reads):.2f} ms, longest {max(t for t, _ in reads):.2f} ms")


if __name__ == "__main__":
    if sys.argv[1:] == ["--listen"]:
        listen()
    elif len(sys.argv) in (2, 3):
        main(os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) == 3 else 1000000)
    else:
        sys.exit(__doc__)
