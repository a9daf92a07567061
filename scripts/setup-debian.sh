# Installs, from Debian's packages, whatever is missing of the groups named in
# $groups (see scripts/debian-packages), then configures the build in
# $build_dir. Sourced by scripts/run and scripts/test: both configure it
# alike, so that going from one to the other rebuilds nothing; each then
# builds what it needs.
missing=""
for group in $groups; do
    for choice in $(sed -n "s/^$group: //p" scripts/debian-packages); do
        found=""
        for package in $(echo "$choice" | tr '|' ' '); do
            dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" && found=yes
        done
        [ -n "$found" ] || missing="$missing ${choice%%|*}"
    done
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi

# Any compiler warning fails the build.
build_dir="${ORVELLE_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
