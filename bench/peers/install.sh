#!/usr/bin/env bash
# Installs, from Debian, the programs the benchmarks compare VEXLO with:
#   img2pdf          pictures into a PDF, one a page, each stored as it is (bench/export)
#   graphicsmagick   `gm montage`: contact sheets of pictures (bench/export); its labels are
#                    drawn in Liberation Sans (fonts-liberation2)
# and what the benchmarks themselves use (poppler-utils, python3-pil). Idempotent.
set -euo pipefail
exec "$(dirname "$0")/../../scripts/setup.sh" img2pdf graphicsmagick fonts-liberation2 poppler-utils python3-pil
