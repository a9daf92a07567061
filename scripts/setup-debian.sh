# Installs, from Debian's packages, whatever of the build and test tools is
# missing, then builds. Sourced by scripts/run and scripts/test, which set
# $office: the LibreOffice Calc package to install when none is there (the
# desktop one to run, the one without a GUI for the tests). "a|b" means
# either will do; the first is installed when neither is. The accessibility
# tests switch Qt's accessibility on through its private platform headers and
# drive the program over a real AT-SPI bus on Xvfb, and the screen reader
# test has Orca speak it through speech-dispatcher under openbox, keys sent
# by xdotool; the last line builds the Debian packages from the source
# package and checks them; debootstrap makes the Debian 13 root of
# scripts/test-trixie.
packages="cmake g++ make pkgconf qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins libsqlite3-dev
fonts-liberation tzdata libreoffice-dev qt6-base-private-dev xvfb dbus at-spi2-core python3-pyatspi $office
orca speech-dispatcher openbox xdotool
dpkg-dev debhelper file lintian appstream desktop-file-utils debootstrap"

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
# scripts/package sets $debian_flags: a package is built as Debian builds its
# own, with dpkg's compiler and linker flags. scripts/test sets
# $warnings_as_errors: there any compiler warning fails the build.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_COMPILE_WARNING_AS_ERROR=${warnings_as_errors:-OFF}" ${debian_flags:+\
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"}
cmake --build "$build_dir" -j2
