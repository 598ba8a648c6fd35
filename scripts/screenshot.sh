#!/usr/bin/env bash
# Takes a screenshot of VEXLO's frame window under a private Xvfb, with a drawn memo open in
# it: docs/frame.png.
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

# A memo as the device would send one: a few strokes on white, 124 x 121, one bit a pixel.
convert -size 124x121 xc:white -fill none -stroke black -strokewidth 2 \
  -draw "rectangle 10,12 60,50" -draw "line 70,20 112,20" -draw "line 70,32 104,32" \
  -draw "line 70,44 110,44" -draw "ellipse 40,90 26,18 0,360" -draw "line 76,70 108,108" \
  -draw "line 108,70 76,108" -monochrome "BMP3:$config/MEMO.BMP"

DISPLAY=$display XDG_CONFIG_HOME=$config "$BUILD/app/vexlo" "$config/MEMO.BMP" &
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
