#!/bin/sh
# Installs into a temporary prefix, checks the layout, then starts the
# installed command line, and the window through it, and ends that as a
# session would: each must find the database (the window through the link
# beside it), start, and the window store its settings on the way out.
set -eu
# shellcheck source=tests/signals.sh
. "$(dirname "$0")/signals.sh"
build_dir=$1
prefix=$(mktemp -d)
config=$(mktemp -d)
trap 'rm -rf "$prefix" "$config"' EXIT
DESTDIR= cmake --install "$build_dir" --prefix "$prefix" >/dev/null
plugin=""
[ ! -e "$build_dir/liborvelle_libreoffice.so" ] || plugin=lib/orvelle/liborvelle_libreoffice.so
for file in bin/orvelle share/orvelle/zipbase.mdb lib/orvelle/orvelle-window lib/orvelle/zipbase.mdb $plugin \
            share/applications/org.kestrova.Orvelle.desktop share/icons/hicolor/48x48/apps/orvelle.png \
            share/icons/hicolor/256x256/apps/orvelle.png share/man/man1/orvelle.1 \
            share/bash-completion/completions/orvelle share/zsh/vendor-completions/_orvelle \
            share/fish/vendor_completions.d/orvelle.fish; do
    [ -e "$prefix/$file" ] || { echo "missing after install: $file"; exit 1; }
done
# The menu starts the installed window, wherever the prefix is.
grep -qx "Exec=$prefix/lib/orvelle/orvelle-window" "$prefix/share/applications/org.kestrova.Orvelle.desktop" ||
    { echo "the desktop entry does not start $prefix/lib/orvelle/orvelle-window"; exit 1; }
cd /
# The command line needs no display.
places=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/orvelle" --count 3 --format csv) \
    || { echo "the installed command line failed"; exit 1; }
[ "$(printf '%s\n' "$places" | wc -l)" -eq 4 ] || { echo "the installed command line wrote: $places"; exit 1; }
# No installed file is an output, by any name: each stays as it was.
for file in bin/orvelle share/orvelle/zipbase.mdb lib/orvelle/orvelle-window lib/orvelle/zipbase.mdb $plugin \
            share/applications/org.kestrova.Orvelle.desktop share/icons/hicolor/48x48/apps/orvelle.png \
            share/man/man1/orvelle.1 share/metainfo/org.kestrova.Orvelle.metainfo.xml; do
    before=$(md5sum <"$prefix/$file")
    status=0
    "$prefix/bin/orvelle" --count 3 -o "$prefix/bin/../$file" 2>/dev/null || status=$?
    [ $status = 1 ] && [ "$(md5sum <"$prefix/$file")" = "$before" ] || { echo "-o $file: status $status"; exit 1; }
done
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$config "$prefix/bin/orvelle" &
pid=$!
# Ended once it catches the ending signals, which it does as the window is made.
catches_signal $pid 15 || { echo "the window did not start"; exit 1; }
kill -TERM $pid
wait $pid || { echo "the program did not end cleanly"; exit 1; }
grep -q '^Check1=1' "$config/Kestrova/Orvelle Software.conf" || { echo "settings not stored"; exit 1; }
[ -e "$config/Kestrova/Orvelle Software Prefixes.txt" ] || { echo "the list was not stored at close"; exit 1; }
echo "install layout and launcher fine"
