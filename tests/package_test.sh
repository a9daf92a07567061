#!/bin/sh
# Packs this build into the Debian package and checks it as Debian would: its
# control fields and files, the desktop entry, the software centre's
# description and lintian. Then unpacks it and starts that copy of the
# program. As root (CI) it also installs the package with apt, runs the
# installed program, purges the package and checks that none of it is left.
set -eu
build_dir=$1
version=$2
scratch=$(mktemp -d)
chmod 755 "$scratch" # apt reads the package as its own unprivileged user
installed=""
cleanup() {
    [ -z "$installed" ] || apt-get purge -y -qq orvelle >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch" >/dev/null
deb=$scratch/orvelle_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package named $(basename "$deb"): $(ls "$scratch")"

# The control fields: the version is the project's, the dependencies come from
# the binaries plus what Qt and the window need besides.
dpkg-deb -f "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvelle ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the project's is $version"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
field Maintainer | grep -q '^[^<]* <[^@>]*@[^>]*>$' || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 3 ] || fail "no long description"
for package in fonts-liberation qt6-qpa-plugins libqt6widgets6 libsqlite3-0; do
    field Depends | tr -d ' ' | tr ',' '\n' | grep -q "^$package\((.*)\)\?$" || fail "Depends lacks $package"
done
[ "$(field Recommends)" = libreoffice-calc ] || fail "Recommends: $(field Recommends)"

# Exactly these files, all under /usr.
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's#^\./##' | sort >"$scratch/files"
sort >"$scratch/expected" <<EOF
usr/bin/orvelle
usr/lib/orvelle/orvelle
usr/lib/orvelle/zipbase.mdb
usr/share/applications/org.kestrova.Orvelle.desktop
usr/share/doc/orvelle/changelog.gz
usr/share/doc/orvelle/copyright
usr/share/icons/hicolor/16x16/apps/orvelle.png
usr/share/icons/hicolor/32x32/apps/orvelle.png
usr/share/icons/hicolor/48x48/apps/orvelle.png
usr/share/icons/hicolor/64x64/apps/orvelle.png
usr/share/icons/hicolor/128x128/apps/orvelle.png
usr/share/icons/hicolor/256x256/apps/orvelle.png
usr/share/lintian/overrides/orvelle
usr/share/man/man1/orvelle.1.gz
usr/share/metainfo/org.kestrova.Orvelle.metainfo.xml
EOF
diff "$scratch/expected" "$scratch/files" || fail "the package's files differ from the list above (-: missing, +: extra)"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
zcat "$root/usr/share/doc/orvelle/changelog.gz" | head -1 | grep -qF "orvelle ($version) " ||
    fail "the changelog's newest entry is not $version"
grep -qF "<release version=\"$version\"" "$root/usr/share/metainfo/org.kestrova.Orvelle.metainfo.xml" ||
    fail "the metainfo's releases lack $version"

hints=$(desktop-file-validate "$root/usr/share/applications/org.kestrova.Orvelle.desktop") || fail "$hints"
[ -z "$hints" ] || fail "desktop-file-validate: $hints"
appstreamcli validate-tree --no-net --strict "$root" || fail "appstreamcli found faults"
lintian --fail-on error,warning "$deb" 2>"$scratch/lintian-errors" ||
    fail "lintian found errors or warnings $(grep -v 'root privileges' "$scratch/lintian-errors")"

# The unpacked copy runs from wherever it lies, and finds its database.
export XDG_CONFIG_HOME="$scratch/config"
places_in() { grep -c ', [A-Z][A-Z] [0-9]\{5\}' || true; }
"$root/usr/bin/orvelle" --version | head -1 | grep -qF " $version" || fail "the unpacked program's --version lacks $version"
[ "$("$root/usr/bin/orvelle" --count 10 | places_in)" = 10 ] || fail "the unpacked program did not write 10 places"

if [ "$(id -u)" != 0 ]; then
    echo "package fine (not root: the install with apt is left out)"
    exit 0
fi
if dpkg-query -W -f='${Status}' orvelle 2>/dev/null | grep -q ' installed$'; then
    echo "package fine (orvelle is installed on this machine already: the install with apt is left out)"
    exit 0
fi
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
[ "$(/usr/bin/orvelle --count 10 | places_in)" = 10 ] || fail "the installed program did not write 10 places"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq orvelle >/dev/null
installed=""
status=$(dpkg-query -W -f='${db:Status-Status}' orvelle 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "orvelle is $status after the purge"
while read -r file; do
    [ ! -e "/$file" ] && [ ! -L "/$file" ] || fail "/$file is left after the purge"
done <"$scratch/files"
for folder in /usr/lib/orvelle /usr/share/doc/orvelle; do
    [ ! -e "$folder" ] || fail "$folder is left after the purge"
done
echo "package fine, installed with apt and purged again"
