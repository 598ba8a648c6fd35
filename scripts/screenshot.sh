#!/usr/bin/env bash
# Takes a screenshot of VEXLO's frame window under a private Xvfb: docs/frame.png.
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/frame.png}

display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
config=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$config"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

DISPLAY=$display XDG_CONFIG_HOME=$config "$BUILD/app/vexlo" &
program=$!
for _ in $(seq 100); do
  window=$(DISPLAY=$display xdotool search --onlyvisible --name '^VEXLO$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
sleep 0.5
DISPLAY=$display import -window "$window" "$OUT"
kill $program
echo "screenshot: $OUT"
