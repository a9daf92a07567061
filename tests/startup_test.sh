#!/bin/sh
# The two executables from outside. The command line needs Qt Core and SQLite
# only, the window no library of LibreOffice's; neither looks for libraries
# in a folder of its own choosing. With no arguments and no display the
# command line says where to turn, in one line, with status 1; Qt's own
# arguments start the window, even before a command line option would match.
set -eu
# shellcheck source=tests/signals.sh
. "$(dirname "$0")/signals.sh"
program=$1
window=$2
scratch=$(mktemp -d)
pid=""
cleanup() {
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
libraries=$(needed "$program" | tr '\n' ' ')
for library in $(needed "$program"); do
    case $library in
        libQt6Core.so.*|libsqlite3.so.*|libstdc++.so.*|libm.so.*|libgcc_s.so.*|libc.so.*) ;;
        libasan.so.*|libubsan.so.*) ;; # a build with sanitizers
        *) fail "the command line needs $library: $libraries" ;;
    esac
done
! needed "$window" | grep -q 'uno\|reg' || fail "the window needs LibreOffice's libraries: $(needed "$window" | tr '\n' ' ')"
for file in "$program" "$window"; do
    ! readelf -d "$file" | grep -q 'RPATH\|RUNPATH' || fail "$file has a library path: $(readelf -d "$file" | grep 'RPATH\|RUNPATH')"
done

# No display: one line naming the command line's help, status 1, whatever
# Qt's arguments ask for but a platform.
for arguments in "" "-session 1234abcd" "-reverse -style fusion" "-style=fusion -qwindowtitle Orvelle"; do
    status=0
    # shellcheck disable=SC2086 # the arguments are words
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" $arguments >"$scratch/out" 2>"$scratch/err" || status=$?
    [ "$status" = 1 ] || fail "'orvelle $arguments' without a display: status $status, $(cat "$scratch/err")"
    [ ! -s "$scratch/out" ] || fail "'orvelle $arguments' without a display wrote: $(cat "$scratch/out")"
    [ "$(wc -l <"$scratch/err")" = 1 ] && grep -q "'orvelle --help'" "$scratch/err" ||
        fail "'orvelle $arguments' without a display said: $(cat "$scratch/err")"
done
# Not Qt's: the command line's usage error as before.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$program" -sessions 1 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "'orvelle -sessions 1': status $status, not a usage error"

# The session manager's restart: the window opens (its handler of SIGTERM,
# which closes it, is in place once it is made) and closes on SIGTERM,
# storing its options as at every close.
XDG_CONFIG_HOME=$scratch/config env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$program" -session 1234abcd_5678 -platform offscreen -name orvelle -reverse &
pid=$!
status=0
catches_signal "$pid" 15 || status=$?
[ "$status" != 1 ] || { wait "$pid" || true; fail "'orvelle -session ... -platform offscreen' ended without a window"; }
[ "$status" = 0 ] || fail "the window did not come up within a minute"
[ "$(readlink "/proc/$pid/exe")" = "$(readlink -f "$window")" ] || fail "the window runs as $(readlink "/proc/$pid/exe")"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" = 0 ] || fail "the window ended with status $status"
[ -e "$scratch/config/Kestrova/Orvelle Software.conf" ] || fail "the window stored no options at its close"
echo "startup fine"
