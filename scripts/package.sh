#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-package/ (VEXLO_PACKAGE_DIR names another
# folder), then cpack. The package, vexlo_<version>_amd64.deb, is put in the folder the script
# was started from; install it with
#   sudo apt-get install ./vexlo_*_amd64.deb
# The desktop entry and the AppStream metadata are checked by their own validators, and the
# package by lintian (VEXLO_LINTIAN=0 leaves lintian out). Exit status: 0 when the package was
# built and no check found an error.
set -euo pipefail
START_DIR=$PWD
cd "$(dirname "$0")/.."

# Besides what the build needs, what only building and checking the package needs:
# dpkg-shlibdeps, the two validators, lintian.
tools=(dpkg-dev desktop-file-utils appstream)
[ "${VEXLO_LINTIAN:-1}" = 0 ] || tools+=(lintian)
scripts/setup.sh "${tools[@]}"

BUILD=${VEXLO_PACKAGE_DIR:-build-package}
case "$BUILD" in /*) ;; *) BUILD="$PWD/$BUILD" ;; esac
# Debian's own compiler and linker flags (hardening: fortified functions, read-only
# relocations, immediate binding); CMake reads them when the folder is first configured.
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
  export CXXFLAGS CFLAGS LDFLAGS
fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVEXLO_BUILD_TESTS=OFF -DVEXLO_BUILD_BENCH=OFF ${VEXLO_CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)"
rm -f "$BUILD"/vexlo_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
built=$(ls "$BUILD"/vexlo_*.deb)
deb="$START_DIR/$(basename "$built")"
[ "$built" -ef "$deb" ] || cp "$built" "$deb"

status=0
desktop-file-validate resources/vexlo.desktop || status=1
appstreamcli validate --no-net --pedantic "$BUILD"/resources/package/*.metainfo.xml || status=1
if [ "${VEXLO_LINTIAN:-1}" != 0 ]; then
  # Errors fail the build; warnings are shown (docs/user-guide.md lists the ones that remain, and why).
  lintian --fail-on error "$deb" || status=1
fi
echo "package: $deb"
exit $status
