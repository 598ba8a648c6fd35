#!/usr/bin/env bash
# Starts VEXLO with a simulated QM-10 on "COM1", in a throw-away configuration.
#   scripts/demo.sh BUILD_DIR --demo           the device sends its sample memos: choose Receive in VEXLO
#   scripts/demo.sh BUILD_DIR --demo-receive   the device takes memos: choose Send in VEXLO
# VEXLO_DEMO_BAUD sets the simulated line speed (default 9600; 0 for as fast as possible).
# VEXLO_DEMO_OUT is where the device keeps memos it takes (default ~/vexlo-demo-memos).
set -euo pipefail

BUILD=${1:?usage: scripts/demo.sh BUILD_DIR --demo|--demo-receive}
FLAG=${2:---demo}
SIM="$BUILD/tools/qm10sim/qm10-sim"
APP="$BUILD/app/vexlo"
for f in "$SIM" "$APP"; do
  [ -x "$f" ] || { echo "demo: $f is missing; build VEXLO first (./run.sh does)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vexlo-demo.XXXXXX")
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

LINK="$WORK/QM-10"
mkdir -p "$WORK/config"
# The received memos go into a throw-away library too, not into the user's own.
printf '[Comm]\nPort=COM1\n\n[General]\nWidth=720\nHeight=480\n\n[Ports]\nCOM1=%s\n\n[Library]\nFolder=%s\n' \
  "$LINK" "$WORK/memos" > "$WORK/config/VEXLO.INI"

BAUD=${VEXLO_DEMO_BAUD:-9600}
SIM_ARGS=(--loop --link "$LINK")
[ "$BAUD" != 0 ] && SIM_ARGS+=(--baud "$BAUD")
case "$FLAG" in
  --demo)
    echo "demo: the simulated QM-10 is on COM1; choose Receive in VEXLO to get its sample memos." >&2
    "$SIM" send "${SIM_ARGS[@]}" >/dev/null &
    ;;
  --demo-receive)
    OUT=${VEXLO_DEMO_OUT:-$HOME/vexlo-demo-memos}
    echo "demo: the simulated QM-10 is on COM1; send a memo from VEXLO. It keeps them in $OUT." >&2
    "$SIM" receive "${SIM_ARGS[@]}" --out "$OUT" >/dev/null &
    ;;
  *)
    echo "demo: unknown option $FLAG (use --demo or --demo-receive)" >&2
    exit 2
    ;;
esac
SIM_PID=$!

for _ in $(seq 100); do
  [ -L "$LINK" ] && break
  kill -0 "$SIM_PID" 2>/dev/null || { echo "demo: the simulator did not start" >&2; exit 1; }
  sleep 0.05
done
[ -L "$LINK" ] || { echo "demo: the simulator's line did not appear" >&2; exit 1; }

export XDG_CONFIG_HOME="$WORK/config"
"$APP"
