# Installs, from Debian's packages, whatever of the build and test tools is
# missing. Sourced by scripts/run and scripts/test.
packages="cmake g++ make pkgconf qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins
libsqlite3-dev fonts-liberation libreoffice-calc-nogui libreoffice-dev"

missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing="$missing $package"
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
