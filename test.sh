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
. scripts/xvfb.sh
start_private_xvfb

cd "$BUILD"
ctest --output-on-failure "$@"
