#!/usr/bin/env bash
# Sets up, builds (Release) and starts VEXLO.
#   ./run.sh          start VEXLO
#   ./run.sh --demo   start a simulated QM-10 that sends memos, with COM1 pointing at it
#   ./run.sh --demo-receive   the same with a simulated QM-10 that takes memos
set -euo pipefail
cd "$(dirname "$0")"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (DISPLAY is not set); start VEXLO from a desktop session or under Xvfb." >&2
  exit 1
fi

scripts/setup.sh
BUILD=${VEXLO_RELEASE_DIR:-build-release}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)" >/dev/null

case "${1:-}" in
  --demo|--demo-receive)
    exec scripts/demo.sh "$BUILD" "$1" ;;
  "") exec "$BUILD/app/vexlo" ;;
  *) echo "run.sh: unknown option $1 (use --demo or --demo-receive)" >&2; exit 2 ;;
esac
