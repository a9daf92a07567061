"""Starts the Orca screen reader with its debug log written line by line, so
that a test can follow what it says while it runs: Orca's own --debug-file
is buffered and written only in blocks.

Usage: python3 orca_logged.py LOG_FILE [orca's own options]
"""

import runpy
import sys

ORCA = "/usr/bin/orca"

if len(sys.argv) < 2:
    sys.exit(__doc__)
log_path = sys.argv[1]
sys.argv = [ORCA] + sys.argv[2:]

from orca import debug  # noqa: E402  (Debian's orca package)

debug.debugLevel = debug.LEVEL_INFO  # the spoken lines, the events and the focus, without Orca's finest trace
debug.debugFile = open(log_path, "w", buffering=1, encoding="utf-8")
runpy.run_path(ORCA, run_name="__main__")
