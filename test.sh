#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. Exit status: 0 when every test passes.
#   ./test.sh              all tests
#   ./test.sh -L unit      only one label (unit, gui, e2e, x11); any ctest arguments pass through
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh
BUILD=${VEXLO_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VEXLO_CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)"

# The x11 tests need a real X server: start a private Xvfb for the run.
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true; }
trap cleanup EXIT
for n in $(seq 91 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  break
done

cd "$BUILD"
ctest --output-on-failure "$@"
