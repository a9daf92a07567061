# Installs, from Debian's packages, whatever of the build and test tools is
# missing, then builds. Sourced by scripts/run and scripts/test, which set
# $office: the LibreOffice Calc package to install when none is there (the
# desktop one to run, the one without a GUI for the tests). "a|b" means
# either will do; the first is installed when neither is.
packages="cmake g++ make pkgconf qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins libsqlite3-dev
fonts-liberation tzdata libreoffice-dev $office"

missing=""
for choice in $packages; do
    found=""
    for package in $(echo "$choice" | tr '|' ' '); do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" && found=yes
    done
    [ -n "$found" ] || missing="$missing ${choice%%|*}"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi

build_dir="${ORVELLE_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j2
