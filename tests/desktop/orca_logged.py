"""Starts the Orca screen reader with its debug log written line by line, so
that a test can follow what it says while it runs (Orca's own --debug-file
is written in blocks). This Orca keeps to its own desktop: it neither looks
for nor ends the Orcas of other sessions of the same user, and it keeps the
process name it was started with, so that it is ended by its process id.

Usage: /usr/bin/python3 orca_logged.py LOG_FILE [orca's own options]
"""

import sys

ORCA = "/usr/bin/orca"

if len(sys.argv) < 2:
    sys.exit(__doc__)
log_path = sys.argv[1]
sys.argv = [ORCA] + sys.argv[2:]

from orca import debug  # noqa: E402  (Debian's orca package)

debug.debugLevel = debug.LEVEL_INFO  # the spoken lines, events and focus, without the finest trace
debug.debugFile = open(log_path, "w", buffering=1, encoding="utf-8")

launcher = {"__name__": "orca_launcher", "__file__": ORCA}
with open(ORCA, encoding="utf-8") as source:
    exec(compile(source.read(), ORCA, "exec"), launcher)
launcher["otherOrcas"] = lambda: []
launcher["setProcessName"] = lambda name: False
sys.exit(launcher["main"]())
