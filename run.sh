#!/usr/bin/env bash
# Sets up, builds (Release) and starts VEXLO.
#   ./run.sh          start VEXLO
#   ./run.sh --demo   start a simulated QM-10 that sends memos, with COM1 pointing at it
#   ./run.sh --demo-receive   the same with a simulated QM-10 that takes memos
# VEXLO starts in the folder run.sh was started from, so that files it saves under a bare
# name (上書き保存 of NEW_1.BMP) land there and not in the source tree.
set -euo pipefail
START_DIR=$PWD
ROOT=$(cd "$(dirname "$0")" && pwd)

# The option is checked before anything is installed or built.
case "$#:${1:-}" in
  0:|1:--demo|1:--demo-receive) ;;
  *) echo "run.sh: unknown option ${*} (use --demo or --demo-receive, or no option)" >&2; exit 2 ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (DISPLAY is not set); start VEXLO from a desktop session or under Xvfb." >&2
  exit 1
fi

cd "$ROOT"
scripts/setup.sh
BUILD=${VEXLO_RELEASE_DIR:-build-release}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
if [ ! -f "$BUILD/build.ninja" ]; then
  echo "run.sh: building VEXLO for the first time; this takes a few minutes." >&2
fi
log=$(mktemp "${TMPDIR:-/tmp}/vexlo-configure.XXXXXX")
if ! cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXLO_BUILD_TESTS=OFF >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
# Ninja's progress line ([12/148] …) shows how far the build is.
cmake --build "$BUILD" --parallel "$(nproc)"

cd "$START_DIR"
case "${1:-}" in
  --demo|--demo-receive) exec "$ROOT/scripts/demo.sh" "$BUILD" "$1" ;;
  *) exec "$BUILD/app/vexlo" ;;
esac
