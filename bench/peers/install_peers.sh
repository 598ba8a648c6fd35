#!/usr/bin/env bash
# Installs the programs VEXLO's benchmarks compare with, from Debian: netpbm (pngtopnm,
# jpegtopnm, pamscale, pamditherbw), ImageMagick (convert) and a C compiler for the
# picture maker (make_photo.c). Quiet and quick when everything is already there.
set -euo pipefail
packages=(netpbm imagemagick gcc libc6-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "install_peers: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
