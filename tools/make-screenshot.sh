#!/bin/sh
# Retakes docs/screenshot.png under Xvfb (Debian: xvfb). Run from the repository.
set -e
cmake --build "${ORVELLE_BUILD_DIR:-build}" -j2 --target screenshot
XDG_CONFIG_HOME=$(mktemp -d) xvfb-run -a -s "-screen 0 800x600x24" "${ORVELLE_BUILD_DIR:-build}"/tools/screenshot docs/screenshot.png
