# shellcheck shell=sh
# Sourced by the shell tests (". tests/signals.sh"); the C++ tests have
# catchesSignal in TestSupport.h for the same job.
#
# catches_signal PID SIGNAL waits until the process catches SIGNAL (its bit in
# SigCgt of /proc/PID/status), which a program does once its handler is in
# place, however long a loaded machine takes to get there. Status 0 once it
# does; 1 if the process ended first; 2 if a minute passed.
catches_signal() {
    _tries=0
    while :; do
        # An ended process not yet waited for still has its status, as a zombie.
        _status=$(cat "/proc/$1/status" 2>/dev/null) || return 1
        case $(printf '%s\n' "$_status" | sed -n 's/^State:[[:space:]]*//p') in Z*) return 1 ;; esac
        _mask=$(printf '%s\n' "$_status" | sed -n 's/^SigCgt:[[:space:]]*//p')
        [ $(((0x$_mask >> ($2 - 1)) & 1)) = 0 ] || return 0
        _tries=$((_tries + 1))
        [ "$_tries" -lt 600 ] || return 2
        sleep 0.1
    done
}
