#!/bin/sh
# Builds the Debian packages from the source package (scripts/package) and
# checks them as Debian would: control fields, files, library paths, the
# desktop entry, the software centre's description and lintian; that the
# command line's package brings no GUI, X or office library, even through
# its dependencies' dependencies; and the unpacked command line. As root (CI)
# it also installs orvelle-cli alone with apt and runs it, then orvelle, whose
# window it starts on a private X desktop and finds on the accessibility bus;
# then it purges both and checks that nothing of theirs is left; then runs
# the packages' own tests (debian/tests) with autopkgtest.
set -eu
version=$1
source=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
chmod 755 "$scratch" # apt reads the packages as its own unprivileged user
installed=""
cleanup() {
    [ -z "$installed" ] || apt-get purge -y -qq -o DPkg::Lock::Timeout=600 orvelle orvelle-cli >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

"$source/scripts/package" "$scratch/debs" >"$scratch/build.log" 2>&1 || { tail -50 "$scratch/build.log"; fail "scripts/package failed"; }
arch=$(dpkg --print-architecture)
cli=$scratch/debs/orvelle-cli_${version}_$arch.deb
gui=$scratch/debs/orvelle_${version}_$arch.deb
[ -f "$cli" ] && [ -f "$gui" ] || fail "not the packages orvelle-cli and orvelle $version: $(ls "$scratch/debs")"
# A copy for whoever wants to install them afterwards (the Debian 13 leg of CI).
[ -z "${ORVELLE_KEEP_PACKAGES:-}" ] || cp "$cli" "$gui" "$ORVELLE_KEEP_PACKAGES"/

# The control fields: the version is the project's, the dependencies come from
# the binaries; the window needs its own version of the command line's data.
for deb in "$cli" "$gui"; do
    dpkg-deb -f "$deb"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: Version $(dpkg-deb -f "$deb" Version), the project's is $version"
    [ -z "$(dpkg-deb -f "$deb" Homepage)" ] || fail "$deb: a Homepage though none is known"
done
# Debian 13 renamed some libraries for its 64-bit time_t: "libqt6core6t64".
depends() { dpkg-deb -f "$1" Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//'; }
for package in libqt6core6 libsqlite3-0; do
    depends "$cli" | grep -qx "$package\(t64\)\?" || fail "orvelle-cli's Depends lack $package"
done
for package in libqt6widgets6 fonts-liberation qt6-qpa-plugins orvelle-cli; do
    depends "$gui" | grep -qx "$package\(t64\)\?" || fail "orvelle's Depends lack $package"
done
dpkg-deb -f "$gui" Depends | grep -qF "orvelle-cli (= $version)" || fail "orvelle does not depend on orvelle-cli (= $version)"
! depends "$gui" | grep -q 'uno\|libreoffice' || fail "orvelle depends on LibreOffice: $(dpkg-deb -f "$gui" Depends)"
for package in libreoffice-calc libreoffice-gtk3; do
    dpkg-deb -f "$gui" Suggests | grep -qw "$package" || fail "orvelle does not suggest $package"
done
dpkg-deb -f "$gui" Recommends | grep -qw 'qt6-wayland' || fail "orvelle does not recommend qt6-wayland"

# The command line's package and everything it depends on, followed to the
# end without recommendations: no Qt GUI, X, OpenGL or office library.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
              --no-enhances $(depends "$cli") | grep -v '^ \|^<' | sort -u)
echo "orvelle-cli brings $(echo "$closure" | wc -l) packages"
gui_libraries=$(echo "$closure" | grep -E '^(libqt6(gui|widgets|opengl|xcb|dbus)|libx11|libxcb|libgl(1|x|vnd|-)|libegl|libgbm|mesa|libwayland|libreoffice|libuno|uno-|ure$|fonts-|libfontconfig|libfreetype)' || true)
[ -z "$gui_libraries" ] || fail "orvelle-cli brings GUI or office packages: $gui_libraries"

# Exactly these files, all under /usr.
files() { dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sed 's#^\./##' | sort; }
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
files "$cli" >"$scratch/files-cli"
diff - "$scratch/files-cli" <<EOF2 || fail "orvelle-cli's files differ from the list above (-: missing, +: extra)"
usr/bin/orvelle
usr/share/bash-completion/completions/orvelle
usr/share/doc/orvelle-cli/changelog.gz
usr/share/doc/orvelle-cli/copyright
usr/share/fish/vendor_completions.d/orvelle.fish
usr/share/man/man1/orvelle.1.gz
usr/share/orvelle/zipbase.mdb
usr/share/zsh/vendor-completions/_orvelle
EOF2
files "$gui" >"$scratch/files-gui"
sort >"$scratch/expected" <<EOF2
usr/lib/$multiarch/orvelle/liborvelle_libreoffice.so
usr/lib/$multiarch/orvelle/orvelle-window
usr/lib/$multiarch/orvelle/zipbase.mdb
usr/share/applications/org.kestrova.Orvelle.desktop
usr/share/doc/orvelle/changelog.gz
usr/share/doc/orvelle/copyright
usr/share/icons/hicolor/128x128/apps/orvelle.png
usr/share/icons/hicolor/16x16/apps/orvelle.png
usr/share/icons/hicolor/256x256/apps/orvelle.png
usr/share/icons/hicolor/32x32/apps/orvelle.png
usr/share/icons/hicolor/48x48/apps/orvelle.png
usr/share/icons/hicolor/64x64/apps/orvelle.png
usr/share/metainfo/org.kestrova.Orvelle.metainfo.xml
EOF2
diff "$scratch/expected" "$scratch/files-gui" || fail "orvelle's files differ from the list above (-: missing, +: extra)"

root=$scratch/root
dpkg-deb -x "$cli" "$root"
dpkg-deb -x "$gui" "$root"
[ "$(readlink "$root/usr/lib/$multiarch/orvelle/zipbase.mdb")" = ../../../share/orvelle/zipbase.mdb ] ||
    fail "the window's zipbase.mdb links to $(readlink "$root/usr/lib/$multiarch/orvelle/zipbase.mdb")"
zcat "$root/usr/share/doc/orvelle/changelog.gz" | head -1 | grep -qF "orvelle ($version) " ||
    fail "the changelog's newest entry is not $version"
grep -qF "<release version=\"$version\"" "$root/usr/share/metainfo/org.kestrova.Orvelle.metainfo.xml" ||
    fail "the metainfo's releases lack $version"
! grep -q 'example' "$root/usr/share/metainfo/org.kestrova.Orvelle.metainfo.xml" || fail "the metainfo holds a placeholder address"
# GeoNames' postal codes are CC BY: every shipped text that names the data's
# sources gives the attribution.
credit='GeoNames (geonames.org), CC BY 4.0'
for text in usr/share/doc/orvelle-cli/copyright usr/share/doc/orvelle/copyright \
    usr/share/metainfo/org.kestrova.Orvelle.metainfo.xml; do
    grep -qF "$credit" "$root/$text" || fail "$text lacks the GeoNames attribution"
done
dpkg-deb -f "$cli" Description | grep -qF "$credit" || fail "orvelle-cli's description lacks the GeoNames attribution"
zcat "$root/usr/share/man/man1/orvelle.1.gz" | grep -qF "$credit" || fail "the manual page lacks the GeoNames attribution"
"$root/usr/bin/orvelle" --version | grep -qF "$credit" || fail "--version lacks the GeoNames attribution"

# No ELF file with a library path of its own (an empty or relative element
# would search the current folder).
for file in $(find "$root" -type f); do
    if file -b "$file" | grep -q '^ELF'; then
        ! readelf -d "$file" | grep 'RPATH\|RUNPATH' || fail "${file#"$root"} has a library path"
    fi
done

hints=$(desktop-file-validate "$root/usr/share/applications/org.kestrova.Orvelle.desktop") || fail "$hints"
[ -z "$hints" ] || fail "desktop-file-validate: $hints"
# AppStream 1.0 (Debian 13) asks for a homepage, which stays out while none is
# known, and for <developer>, which replaces the <developer_name> that
# AppStream 0.16 (Debian 12) knows alone: only hints there, not faults.
case $(appstreamcli --version) in
    *" 0."*) newer_hints="" ;;
    *) newer_hints=--override=url-homepage-missing=pedantic,developer-name-tag-deprecated=pedantic,developer-info-missing=pedantic ;;
esac
appstreamcli validate-tree --no-net --strict $newer_hints "$root" || fail "appstreamcli found faults"
# Lintian runs the AppStream validator too, without those allowances: above,
# the test runs it itself.
lintian --pedantic --fail-on error,warning ${newer_hints:+--suppress-tags appstream-metadata-validation-failed} \
    "$cli" "$gui" 2>"$scratch/lintian-errors" ||
    fail "lintian found errors or warnings $(grep -v 'root privileges' "$scratch/lintian-errors")"

# The unpacked command line runs from wherever it lies, finds its database,
# and loads no library from the folder it is started in.
export XDG_CONFIG_HOME="$scratch/config"
places_in() { grep -c ', [A-Z][A-Z] [0-9]\{5\}' || true; }
"$root/usr/bin/orvelle" --version | head -1 | grep -qF " $version" || fail "the unpacked program's --version lacks $version"
[ "$("$root/usr/bin/orvelle" --count 10 | places_in)" = 10 ] || fail "the unpacked program did not write 10 places"
decoy=$scratch/decoy
mkdir "$decoy"
echo 'not a library' >"$decoy/libsqlite3.so.0"
no_decoy() {
    (cd "$decoy" && LD_DEBUG=libs "$@" --count 1 >/dev/null 2>"$scratch/ld.log") || fail "$* failed in the decoy's folder"
    ! grep -q "trying file=[^/]\|$decoy" "$scratch/ld.log" || fail "$* looked in the current folder"
    grep -q 'calling init: .*/libsqlite3.so.0' "$scratch/ld.log" || fail "$* did not load SQLite (no trace)"
}
no_decoy "$root/usr/bin/orvelle"

if [ "$(id -u)" != 0 ]; then
    echo "packages fine (not root: the install with apt is left out)"
    exit 0
fi
for package in orvelle orvelle-cli; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$'; then
        echo "packages fine ($package is installed on this machine already: the install with apt is left out)"
        exit 0
    fi
done
installed=yes
export DEBIAN_FRONTEND=noninteractive
# The command line alone, where no window could open (its output and its
# word without the window are the packages' own tests, below).
apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "$cli" >/dev/null
no_decoy orvelle

# Then the window, seen on the accessibility bus of a private desktop.
apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "$gui" >/dev/null
PYTHONPATH=$source/tests /usr/bin/python3 - <<'EOF2' || fail "the installed window did not show on the accessibility bus"
import sys
from desktop.private_desktop import PrivateDesktop, find, wait_for
with PrivateDesktop() as desktop:
    window = desktop.start(["/usr/bin/orvelle"], accessible=True)
    app = desktop.accessible(window)
    wait_for("the window", lambda: find(app, "PUSH_BUTTON", "Start Generating"))
    desktop.end(window)
    if window.returncode != 0:
        sys.exit(f"the window ended with status {window.returncode}")
EOF2

apt-get purge -y -qq -o DPkg::Lock::Timeout=600 orvelle orvelle-cli >/dev/null
installed=""
for package in orvelle orvelle-cli; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ -z "$status" ] || [ "$status" = not-installed ] || fail "$package is $status after the purge"
done
for file in $(cat "$scratch/files-cli" "$scratch/files-gui"); do
    [ ! -e "/$file" ] && [ ! -L "/$file" ] || fail "/$file is left after the purge"
done
for folder in "/usr/lib/$multiarch/orvelle" /usr/share/orvelle /usr/share/doc/orvelle /usr/share/doc/orvelle-cli; do
    [ ! -e "$folder" ] || fail "$folder is left after the purge"
done

# The packages' own tests (debian/tests) as Debian's archive runs them: with
# autopkgtest, which installs these .debs and each test's Depends with apt
# and runs the test on this machine (its null runner). The tests use the
# installed programs alone, so the source it is given is debian/ alone.
mkdir "$scratch/tests-source"
cp -R "$source/debian" "$scratch/tests-source/"
installed=yes
status=0
autopkgtest --output-dir "$scratch/autopkgtest" "$scratch/tests-source" "$cli" "$gui" -- null \
    >"$scratch/autopkgtest.log" 2>&1 || status=$?
sed -n '/@@@@@@@@* summary$/,$p' "$scratch/autopkgtest.log"
[ "$status" = 0 ] || { tail -60 "$scratch/autopkgtest.log"; fail "autopkgtest: status $status"; }
apt-get purge -y -qq -o DPkg::Lock::Timeout=600 orvelle orvelle-cli >/dev/null
installed=""
echo "packages fine, installed with apt, run, purged again, and their own tests passed in autopkgtest"
