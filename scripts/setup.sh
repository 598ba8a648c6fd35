#!/usr/bin/env bash
# Installs every Debian package that building, running and testing VEXLO needs.
# Idempotent: quiet and quick when everything is already there. Package names given as
# arguments are installed as well (scripts/package.sh passes the tools only it needs).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config scdoc
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libx11-dev libxfixes-dev libudev-dev
  libgtest-dev googletest
  libjpeg-dev libpng-dev zlib1g-dev
  libqt6sql6-sqlite
  dbus-daemon systemd
  qt6-translations-l10n
  xvfb xauth openbox xdotool xclip imagemagick poppler-utils python3-pil cmark python3-yaml
  at-spi2-core python3-pyatspi
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-liberation2
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
